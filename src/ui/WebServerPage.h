#pragma once
// The page "Web Server": port, users, passwords and anonymous access, start and stop, and the server's log.
// Leaving a field writes the global settings.

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TLoggerMain;

class TWebServerPage : public QWidget
{
  Q_OBJECT
public:
  TWebServerPage(TLoggerMain& iController, QWidget* iParent = nullptr);
  ~TWebServerPage() override;

  void btnWebServerStartClick();
  void btnWebServerStopClick();
  // Shows an error to the user (a message box that does not block; tests replace it).
  std::function<void(const QString&)> ShowError;

  QLineEdit* edWebServerPort;
  QLineEdit* edWebServerAdminUser;
  QLineEdit* edWebServerAdminPassword;
  QLineEdit* edWebServerReadOnlyUser;
  QLineEdit* edWebServerReadOnlyPassword;
  QComboBox* cbAnonymousAccess;
  QPushButton* btnWebServerStart;
  QPushButton* btnWebServerStop;
  QPlainTextEdit* memWebServerLog;

private:
  // Copies the fields into the settings and writes all global keys.
  void FieldLeft();
  void StoreFields();
  void UpdateState();
  void ShowLog();

  TLoggerMain& fController;
  // Set by any thread that adds a line to the server's log; the page shows the log at its next look.
  std::shared_ptr<std::atomic<bool>> fLogChanged;
  QTimer fLogTimer;
  // A password field typed into since its text was last stored: it is hashed (slowly) when it is stored, not at
  // every key.
  bool fAdminPasswordTyped = false;
  bool fReadOnlyPasswordTyped = false;
};

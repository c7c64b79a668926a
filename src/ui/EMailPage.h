#pragma once
// The page "E-Mail": the SMTP account of the alarm e-mails and the test e-mail. Leaving a field writes the
// global settings; the test e-mail goes out from a worker, so the controller never waits for a mail server.

#include <QWidget>
#include <functional>
#include <thread>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class TLoggerMain;

class TEMailPage : public QWidget
{
  Q_OBJECT
public:
  TEMailPage(TLoggerMain& iController, QWidget* iParent = nullptr);
  ~TEMailPage() override;

  void btnEmailTestClick();
  // Reports the test's result to the user (message boxes that do not block; tests replace them).
  std::function<void(const QString&)> ShowError;
  std::function<void(const QString&)> ShowInformation;

  QLineEdit* edEMailSMTPServer;
  QLineEdit* edEMailSMTPPort;
  QComboBox* cbEmailEncryption;
  QCheckBox* cbEmailVerifyCertificate;
  QLineEdit* edEmailUser;
  QLineEdit* edEmailPassword;
  QLineEdit* edEMailFromAddress;
  QLineEdit* edEMailRecipients;
  QPushButton* btnEmailTest;

private:
  void StoreFields();
  void FieldLeft();
  void TestFinished(const QString& iError);

  TLoggerMain& fController;
  std::thread fTestThread;
};

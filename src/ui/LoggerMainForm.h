#pragma once
// The main window: a view over the application controller with the pages "Slots", "Web Server", "Messages",
// "JACK", "E-Mail" and "About", a tray icon and the close question. Everything runs on the controller's thread
// and nothing here waits: dialogs and message boxes are modal for the window only, so recording, alarms and the
// web server go on while they are open.

#include "ui/ConfigureSlot.h"
#include "ui/SlotCellSource.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <memory>

class QMenu;
class QPlainTextEdit;
class QSystemTrayIcon;
class QTabWidget;
class TAboutPage;
class TEMailPage;
class TJACKPage;
class TLoggerMain;
class TWebServerPage;
struct TSlotSettings;

class TLoggerMainForm : public QWidget
{
  Q_OBJECT
public:
  explicit TLoggerMainForm(TLoggerMain& iController, QWidget* iParent = nullptr);
  ~TLoggerMainForm() override;

  // Log-off, shutdown, SIGTERM and SIGINT: the normal close without the question.
  void CloseWithoutQuestion();
  // A second start or the tray icon asked for the window: shown, restored and brought to the front.
  void RestoreWindow();
  // Opens the slot dialog for the focused slot (the button "Settings..." and a double click).
  void btnSettingsClick();
  // The open slot dialog, if any.
  TConfigureSlotForm* SlotDialog() const { return fSlotDialog; }
  // The open close question, if any.
  QMessageBox* CloseQuestion() const { return fCloseQuestion; }

  QTabWidget* pcMain;
  TSlotView* vdtSlots;
  TWebServerPage* tsWebServer;
  QPlainTextEdit* memLog;
  TJACKPage* tsJACK;
  TEMailPage* tsEMail;
  TAboutPage* tsAbout;
  QSystemTrayIcon* TrayIcon = nullptr; // none where the desktop has no tray

signals:
  // The window has closed: global settings written, web server stopped. The caller ends the event loop.
  void Closed();

protected:
  void showEvent(QShowEvent* iEvent) override;
  void closeEvent(QCloseEvent* iEvent) override;
  void changeEvent(QEvent* iEvent) override;
  void moveEvent(QMoveEvent* iEvent) override;
  void resizeEvent(QResizeEvent* iEvent) override;

private:
  void FormShow();
  void AskClose();
  void btnStartClick();
  void btnStopClick();
  void UpdateSlotButtons();
  void miOpenFolderClick();
  // Applies the settings of the slot dialog's OK through the controller; a failure to store them shows a box.
  void SlotDialogAccepted(int iSlot, const TSlotSettings& iSettings);
  void ShowLog();
  // The column count, vertical auto-size and window bounds into the settings that the next write stores.
  void StoreViewSettings();

  TLoggerMain& fController;
  TControllerSlotSource fSource;
  bool fFirstShow = true;
  bool fWindowsShuttingDown = false;
  bool fCloseAllowed = false;
  bool fClosed = false;
  QPointer<QMessageBox> fCloseQuestion;
  QPointer<TConfigureSlotForm> fSlotDialog;
  std::unique_ptr<QMenu> mnuTrayIcon;
};

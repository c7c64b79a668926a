#include "ui/LoggerMainForm.h"

#include "app/LoggerMain.h"
#include "slots/SlotInfo.h"
#include "ui/AboutPage.h"
#include "ui/ConfigureSlot.h"
#include "ui/EMailPage.h"
#include "ui/JACKPage.h"
#include "ui/MessageBoxes.h"
#include "ui/WebServerPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

TLoggerMainForm::TLoggerMainForm(TLoggerMain& iController, QWidget* iParent)
    : QWidget(iParent), fController(iController), fSource(iController)
{
  setWindowTitle("Brendle Tapevault");
  setWindowIcon(QIcon(":/status_ok"));
  resize(454, 504);
  setMinimumSize(454, 110);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);
  pcMain = new QTabWidget;
  layout->addWidget(pcMain);

  vdtSlots = new TSlotView(fSource);
  pcMain->addTab(vdtSlots, "Slots");
  tsWebServer = new TWebServerPage(fController);
  pcMain->addTab(tsWebServer, "Web Server");
  memLog = new QPlainTextEdit;
  memLog->setReadOnly(true);
  memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pcMain->addTab(memLog, "Messages");
  tsJACK = new TJACKPage(fController);
  pcMain->addTab(tsJACK, "JACK");
  tsEMail = new TEMailPage(fController);
  pcMain->addTab(tsEMail, "E-Mail");
  tsAbout = new TAboutPage;
  pcMain->addTab(tsAbout, "About");

  const TGlobalSettings& settings = fController.Settings();
  vdtSlots->SetVerticalAutoSize(settings.VerticalAutoSize);
  vdtSlots->SetColumnCount(settings.ColumnCount);
  connect(vdtSlots, &TSlotView::FocusedSlotChanged, this, &TLoggerMainForm::UpdateSlotButtons);
  // A slot started or stopped from the web, or given another source, changes the buttons too.
  connect(vdtSlots, &TSlotView::Refreshed, this, &TLoggerMainForm::UpdateSlotButtons);
  connect(vdtSlots, &TSlotView::SettingsRequested, this, &TLoggerMainForm::btnSettingsClick);
  connect(vdtSlots, &TSlotView::StartRequested, this, &TLoggerMainForm::btnStartClick);
  connect(vdtSlots, &TSlotView::StopRequested, this, &TLoggerMainForm::btnStopClick);
  connect(vdtSlots, &TSlotView::OpenFolderRequested, this, &TLoggerMainForm::miOpenFolderClick);
  connect(vdtSlots, &TSlotView::ColumnsChanged, this, &TLoggerMainForm::StoreViewSettings);

  connect(&fController.Log(), &TLogQueue::LinesAdded, this, &TLoggerMainForm::ShowLog);
  ShowLog();

  if (QSystemTrayIcon::isSystemTrayAvailable())
  {
    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon->setToolTip("Brendle Tapevault");
    mnuTrayIcon = std::make_unique<QMenu>();
    QAction* restore = mnuTrayIcon->addAction("Restore", this, &TLoggerMainForm::RestoreWindow);
    mnuTrayIcon->setDefaultAction(restore);
    mnuTrayIcon->addAction("Exit", this, &QWidget::close);
    TrayIcon->setContextMenu(mnuTrayIcon.get());
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason iReason)
            {
              if (iReason == QSystemTrayIcon::Trigger || iReason == QSystemTrayIcon::DoubleClick)
                RestoreWindow();
            });
  }
}

TLoggerMainForm::~TLoggerMainForm() = default;

void TLoggerMainForm::showEvent(QShowEvent* iEvent)
{
  QWidget::showEvent(iEvent);
  if (fFirstShow)
  {
    fFirstShow = false;
    FormShow();
  }
}

void TLoggerMainForm::FormShow()
{
  if (fController.Settings().WebServerEnabled)
    tsWebServer->btnWebServerStartClick();

  const std::optional<TWindowPlacement>& placement = fController.Settings().WindowPlacement;
  if (!placement)
  {
    if (const QScreen* screen = this->screen())
    {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
    return;
  }
  const QRect current = geometry();
  setGeometry(placement->Left.value_or(current.left()), placement->Top.value_or(current.top()),
              placement->Width.value_or(current.width()), placement->Height.value_or(current.height()));
  if (placement->Maximized)
    QTimer::singleShot(0, this, &QWidget::showMaximized);
}

void TLoggerMainForm::StoreViewSettings()
{
  TGlobalSettings& settings = fController.Settings();
  settings.ColumnCount = vdtSlots->ColumnCount();
  settings.VerticalAutoSize = vdtSlots->VerticalAutoSize();
  if (fFirstShow)
    return;
  const QRect bounds = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  TWindowPlacement placement;
  placement.Left = bounds.left();
  placement.Top = bounds.top();
  placement.Width = bounds.width();
  placement.Height = bounds.height();
  placement.Maximized = isMaximized();
  settings.WindowPlacement = placement;
}

void TLoggerMainForm::moveEvent(QMoveEvent* iEvent)
{
  QWidget::moveEvent(iEvent);
  StoreViewSettings();
}

void TLoggerMainForm::resizeEvent(QResizeEvent* iEvent)
{
  QWidget::resizeEvent(iEvent);
  StoreViewSettings();
}

void TLoggerMainForm::closeEvent(QCloseEvent* iEvent)
{
  if (fClosed)
    return;
  if (!fCloseAllowed && !fWindowsShuttingDown && fController.Settings().CloseConfirmation)
  {
    iEvent->ignore();
    AskClose();
    return;
  }
  fClosed = true;
  if (fCloseQuestion)
    fCloseQuestion->close();
  if (fSlotDialog)
    fSlotDialog->reject();
  StoreViewSettings();
  fController.Close();
  if (TrayIcon)
    TrayIcon->hide();
  iEvent->accept();
  emit Closed();
}

void TLoggerMainForm::AskClose()
{
  if (fCloseQuestion)
    return;
  if (isMinimized() || !isVisible())
    RestoreWindow();
  fCloseQuestion = new QMessageBox(QMessageBox::Question, "Brendle Tapevault", "Exit Brendle Tapevault?",
                                   QMessageBox::Yes | QMessageBox::No, this);
  fCloseQuestion->setDefaultButton(QMessageBox::No);
  fCloseQuestion->setAttribute(Qt::WA_DeleteOnClose);
  fCloseQuestion->setWindowModality(Qt::WindowModal);
  connect(fCloseQuestion, &QMessageBox::finished, this,
          [this](int iResult)
          {
            if (iResult != QMessageBox::Yes)
              return;
            fCloseAllowed = true;
            // After the box has gone.
            QTimer::singleShot(0, this, &QWidget::close);
          });
  fCloseQuestion->open();
}

void TLoggerMainForm::CloseWithoutQuestion()
{
  fWindowsShuttingDown = true;
  close();
}

void TLoggerMainForm::changeEvent(QEvent* iEvent)
{
  QWidget::changeEvent(iEvent);
  if (iEvent->type() != QEvent::WindowStateChange)
    return;
  StoreViewSettings();
  // Minimised into the tray: the window leaves the task bar. Without a tray it just stays minimised.
  if (isMinimized() && TrayIcon)
  {
    TrayIcon->show();
    QTimer::singleShot(0, this, &QWidget::hide);
  }
}

void TLoggerMainForm::RestoreWindow()
{
  if (isMinimized())
    setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  if (TrayIcon)
    TrayIcon->hide();
}

void TLoggerMainForm::UpdateSlotButtons()
{
  const int focused = vdtSlots->FocusedSlot();
  if (focused < 0)
    return;
  const TSlotSettings settings = fController.Slot(focused).Settings();
  const bool usable = settings.Input.Source != rsDisabled;
  vdtSlots->UpdateSlotButtons(usable && !settings.Enabled, usable && settings.Enabled);
}

void TLoggerMainForm::btnStartClick()
{
  if (vdtSlots->FocusedSlot() < 0)
    return;
  fController.Slot(vdtSlots->FocusedSlot()).SetEnabled(true);
  UpdateSlotButtons();
}

void TLoggerMainForm::btnStopClick()
{
  if (vdtSlots->FocusedSlot() < 0)
    return;
  fController.Slot(vdtSlots->FocusedSlot()).SetEnabled(false);
  UpdateSlotButtons();
}

void TLoggerMainForm::miOpenFolderClick()
{
  if (vdtSlots->FocusedSlot() < 0)
    return;
  const QString folder =
      QString::fromStdString(fController.Slot(vdtSlots->FocusedSlot()).Settings(&TSlotSettings::Output).Folder);
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
    fController.AddLogMessage("Cannot open the folder " + folder.toStdString());
}

void TLoggerMainForm::btnSettingsClick()
{
  const int slot = vdtSlots->FocusedSlot();
  if (slot < 0 || fSlotDialog)
    return;
  fSlotDialog = new TConfigureSlotForm(fController.Slot(slot), this);
  fSlotDialog->setAttribute(Qt::WA_DeleteOnClose);
  fSlotDialog->setWindowModality(Qt::WindowModal);
  connect(fSlotDialog, &QDialog::accepted, this, [this, slot] { SlotDialogAccepted(slot, fSlotDialog->Settings()); });
  fSlotDialog->open();
}

void TLoggerMainForm::SlotDialogAccepted(int iSlot, const TSlotSettings& iSettings)
{
  const TSlotSettingsOutcome outcome = fController.ApplySlotSettings(iSlot, iSettings, TSettingsEditor{});
  if (!outcome.StoreError.empty())
    ShowErrorBox(this, QString::fromStdString(outcome.StoreError));
  UpdateSlotButtons();
}

void TLoggerMainForm::ShowLog()
{
  QString text;
  for (const std::string& line : fController.Log().Lines())
    text += QString::fromStdString(line) + '\n';
  text.chop(1);
  memLog->setPlainText(text);
  memLog->verticalScrollBar()->setValue(memLog->verticalScrollBar()->maximum());
}

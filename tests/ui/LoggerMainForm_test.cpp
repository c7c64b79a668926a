#include "app/LoggerMain.h"
#include "slots/SlotInfo.h"
#include "support/SlotSettingsEdit.h"
#include "ui/LoggerMainForm.h"
#include "ui/UiTestRoot.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace
{
class LoggerMainFormTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fController.Start();
    fWindow = std::make_unique<TLoggerMainForm>(fController);
    fWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fWindow.get()));
  }
  void TearDown() override { fWindow.reset(); }

  TUiTestRoot fRoot{"[General]\nSlotCount=5\nColumnCount=2\nCloseConfirmation=on\n"};
  TLoggerMain fController;
  std::unique_ptr<TLoggerMainForm> fWindow;
};

TEST_F(LoggerMainFormTest, PagesViewAndLog)
{
  const QStringList pages = {"Slots", "Web Server", "Messages", "JACK", "E-Mail", "About"};
  ASSERT_EQ(fWindow->pcMain->count(), pages.size());
  for (int i = 0; i < pages.size(); ++i)
    EXPECT_EQ(fWindow->pcMain->tabText(i), pages[i]);
  EXPECT_EQ(fWindow->windowTitle(), "Brendle Tapevault");
  EXPECT_EQ(fWindow->vdtSlots->ColumnCount(), 2);
  EXPECT_EQ(fWindow->vdtSlots->Grid().RowCount, 3);

  fController.AddLogMessage("hello from the test");
  EXPECT_TRUE(fWindow->memLog->toPlainText().endsWith(": hello from the test"));
  // Without a tray (offscreen) minimising just minimises.
  EXPECT_EQ(fWindow->TrayIcon != nullptr, QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(LoggerMainFormTest, SlotButtonsAndDialog)
{
  TSlotInfo& slot = fController.Slot(3);
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Input.Source = rsSoundcard; });
  ASSERT_TRUE(fWindow->vdtSlots->SetFocusedCell(1, 1));
  EXPECT_TRUE(fWindow->vdtSlots->StopButton()->isEnabled());
  EXPECT_FALSE(fWindow->vdtSlots->StartButton()->isEnabled());
  fWindow->vdtSlots->StopButton()->click();
  EXPECT_FALSE(slot.Settings().Enabled);
  EXPECT_TRUE(fWindow->vdtSlots->StartButton()->isEnabled());
  // Started from the web: the buttons follow within a repaint.
  fController.PostSlotStart(3);
  EXPECT_TRUE(QTest::qWaitFor([&] { return fWindow->vdtSlots->StopButton()->isEnabled(); }, 5000));
  EXPECT_TRUE(slot.Settings().Enabled);
  EXPECT_FALSE(fWindow->vdtSlots->StartButton()->isEnabled());
  fController.PostSlotStop(3);
  EXPECT_TRUE(QTest::qWaitFor([&] { return fWindow->vdtSlots->StartButton()->isEnabled(); }, 5000));

  fWindow->btnSettingsClick();
  TConfigureSlotForm* dialog = fWindow->SlotDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
  EXPECT_EQ(dialog->windowTitle(), "Configure Slot 4");
  dialog->edName->setText("Late show");
  dialog->btnOkClick();
  EXPECT_EQ(slot.Settings().Name, "Late show");
  EXPECT_EQ(fRoot.Key("Slot3", "Name"), "Late show") << "the window stores the section after OK";
  EXPECT_TRUE(QTest::qWaitFor([&] { return fWindow->SlotDialog() == nullptr; }, 5000));
}

TEST_F(LoggerMainFormTest, CloseAsksAndSignalClosesWithoutQuestion)
{
  QSignalSpy closed(fWindow.get(), &TLoggerMainForm::Closed);
  fWindow->close();
  ASSERT_NE(fWindow->CloseQuestion(), nullptr);
  EXPECT_EQ(fWindow->CloseQuestion()->text(), "Exit Brendle Tapevault?");
  EXPECT_EQ(fWindow->CloseQuestion()->defaultButton(), fWindow->CloseQuestion()->button(QMessageBox::No));
  EXPECT_TRUE(fWindow->isVisible());
  fWindow->CloseQuestion()->button(QMessageBox::No)->click();
  EXPECT_TRUE(fWindow->isVisible());
  EXPECT_EQ(closed.count(), 0);

  fWindow->vdtSlots->SetColumnCount(3);
  fWindow->close();
  ASSERT_NE(fWindow->CloseQuestion(), nullptr);
  // SIGTERM while the question is open: closes at once, in order, without asking.
  fWindow->CloseWithoutQuestion();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(fWindow->isVisible());
  EXPECT_EQ(fRoot.Key("General", "ColumnCount"), "3");
  EXPECT_EQ(fRoot.Key("Webserver", "Enabled"), "off");
  EXPECT_NE(fRoot.Key("MainWindowPosition", "Width"), "<missing>");
}

TEST_F(LoggerMainFormTest, RestoreBringsTheWindowBack)
{
  fWindow->showMinimized();
  QTest::qWait(50);
  fWindow->RestoreWindow();
  EXPECT_FALSE(fWindow->isMinimized());
  EXPECT_TRUE(fWindow->isVisible());
}
} // namespace

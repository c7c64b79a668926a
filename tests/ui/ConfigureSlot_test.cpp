#include "slots/SlotInfo.h"
#include "support/SettingsTempFolder.h"
#include "ui/ConfigureSlot.h"
#include "ui/UpDownSpinBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace
{
class ConfigureSlotTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    TSettingsTempFolder::WriteFile(fFile, "[Slot0]\nName=Morning\nSource=Soundcard\nDevice=ALSA:gone\n"
                                          "Folder=/rec/morning\nFormat=wav16\nBitrate=128\n");
    fIni = std::make_unique<TIniFile>(fFile);
    fSlot = std::make_unique<TSlotInfo>(*fIni, 0, false);
    fDialog = std::make_unique<TConfigureSlotForm>(*fSlot);
    fDialog->ShowMessage = [this](const QString& iText) { fMessages << iText; };
  }
  std::string Key(const std::string& iKey) { return fIni->ReadString("Slot0", iKey, "<missing>"); }
  // What the window does after OK: the dialog's settings applied to the slot.
  static TSlotSettingsEffects Apply(const TConfigureSlotForm& iDialog, TSlotInfo& ioSlot)
  {
    return ApplySlotSettings(ioSlot, iDialog.Settings(), {}, [](const std::string&) {}).Effects;
  }

  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
  std::unique_ptr<TIniFile> fIni;
  std::unique_ptr<TSlotInfo> fSlot;
  std::unique_ptr<TConfigureSlotForm> fDialog;
  QStringList fMessages;
};

TEST_F(ConfigureSlotTest, LoadsTheSlotAndAMissingDevice)
{
  EXPECT_EQ(fDialog->windowTitle(), "Configure Slot 1");
  EXPECT_EQ(fDialog->edName->text(), "Morning");
  EXPECT_TRUE(fDialog->rbSoundcard->isChecked());
  EXPECT_EQ(fDialog->cbDevice->currentIndex(), -1);
  EXPECT_FALSE(fDialog->btnControlPanel->isEnabled());
  EXPECT_EQ(fDialog->cbFormat->currentText(), "WAV (16 bit)");
  EXPECT_EQ(fDialog->cbBitrate->currentText(), "") << "WAV empties the bit rate";
  EXPECT_TRUE(fDialog->edFileExtension->isHidden());
  EXPECT_EQ(fDialog->lblCleanupDays->text(), "days");
  EXPECT_EQ(fDialog->edCleanupDays->value(), 365);
  const QStringList pages = {"General", "Input", "Output", "Cleanup", "Streaming", "Silence Detection"};
  for (int i = 0; i < pages.size(); ++i)
    EXPECT_EQ(fDialog->pcPages->tabText(i), pages[i]);
}

TEST_F(ConfigureSlotTest, OnlyTheNameChangedReportsNoChanges)
{
  TSlotInfo fresh(*fIni, 1, false);
  TConfigureSlotForm dialog(fresh);
  dialog.edName->setText("Evening");
  dialog.btnOkClick();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const TSlotSettingsEffects effects = Apply(dialog, fresh);
  EXPECT_FALSE(effects.Input);
  EXPECT_FALSE(effects.Output);
  EXPECT_EQ(fresh.Settings().Name, "Evening");
}

TEST_F(ConfigureSlotTest, AMissingDeviceIsStoredEmptyAsAChangedInput)
{
  fDialog->btnOkClick();
  EXPECT_TRUE(Apply(*fDialog, *fSlot).Input);
  EXPECT_EQ(fSlot->Settings().Input.Device, "");
  EXPECT_EQ(fSlot->Settings().Input.Source, rsSoundcard);
}

TEST_F(ConfigureSlotTest, ChangesAreWrittenAndReported)
{
  fDialog->cbFormat->setCurrentIndex(0); // MP3: the rate list returns, the typed value stays empty
  EXPECT_EQ(fDialog->cbBitrate->count(), 14);
  fDialog->cbBitrate->setEditText("320");
  QTest::keyClicks(fDialog->edCleanupDays, "");
  fDialog->edCleanupDays->setValue(30);
  EXPECT_EQ(fDialog->lblCleanupDays->text(), "days (~98 GB)");
  fDialog->edRecordDelay->selectAll();
  QTest::keyClicks(fDialog->edRecordDelay, "5000");
  EXPECT_EQ(fDialog->edRecordDelay->value(), 3600);
  QTest::keyClicks(fDialog->edStreamURL, "http://radio/");
  EXPECT_TRUE(fDialog->rbStream->isChecked()) << "typing a URL chooses the stream";
  fDialog->cbRecordChannels->setCurrentIndex(1);
  fDialog->edTimeSlotLength->setText("x");
  fDialog->edSilenceThreshold->setValue(-42);
  fDialog->cbStreamingEnabled->setChecked(true);

  fDialog->btnOkClick();
  EXPECT_EQ(fDialog->result(), QDialog::Accepted);
  const TSlotSettingsEffects effects = Apply(*fDialog, *fSlot);
  EXPECT_TRUE(effects.Input);
  EXPECT_TRUE(effects.Output);
  fSlot->FlushConfig();
  EXPECT_EQ(Key("Source"), "Stream");
  EXPECT_EQ(Key("StreamURL"), "http://radio/");
  EXPECT_EQ(Key("Device"), "");
  EXPECT_EQ(Key("Format"), "mp3");
  EXPECT_EQ(Key("Bitrate"), "320");
  EXPECT_EQ(Key("CleanupDays"), "30");
  EXPECT_EQ(Key("RecordDelay"), "3600");
  EXPECT_EQ(Key("Channels"), "left");
  EXPECT_EQ(Key("TimeSlotLength"), "60") << "not a number keeps the old value";
  EXPECT_EQ(Key("SilenceThreshold"), "-42");
  EXPECT_EQ(Key("StreamingEnabled"), "on");
  EXPECT_EQ(Key("Name"), "Morning");
}

TEST_F(ConfigureSlotTest, FormatRulesAndEstimate)
{
  fDialog->cbFormat->setCurrentIndex(1); // MP2 from WAV: the list stays empty until a value is typed
  EXPECT_EQ(fDialog->cbBitrate->count(), 0);
  EXPECT_EQ(fDialog->cbBitrate->currentText(), "");
  fDialog->cbBitrate->setEditText("128");
  EXPECT_EQ(fDialog->lblCleanupDays->text(), "days (~481 GB)");
  fDialog->cbFormat->setCurrentIndex(5); // custom with WAV header
  EXPECT_FALSE(fDialog->edFileExtension->isHidden());
  EXPECT_EQ(fDialog->cbBitrate->currentText(), "");
  fDialog->cbBitrate->setEditText("128");
  EXPECT_EQ(fDialog->lblCleanupDays->text(), "days");
}

TEST_F(ConfigureSlotTest, EmptyFolderStaysInTheDialogAndWritesNothing)
{
  fDialog->edName->setText("Changed");
  fDialog->edFolder->setText("");
  fDialog->btnOkClick();
  EXPECT_EQ(fMessages, QStringList{"Output folder must not be empty."});
  EXPECT_EQ(fDialog->pcPages->currentWidget(), fDialog->tsOutput);
  EXPECT_NE(fDialog->result(), QDialog::Accepted);
  EXPECT_EQ(fSlot->Settings().Name, "Morning");
  EXPECT_EQ(fSlot->Settings().Output.Folder, "/rec/morning");
}

TEST_F(ConfigureSlotTest, AlarmOnlySlot)
{
  TSlotInfo alarm(*fIni, 2, true);
  TConfigureSlotForm dialog(alarm);
  EXPECT_EQ(dialog.windowTitle(), "Configure Slot 3 (Alarm only)");
  EXPECT_FALSE(dialog.cbFormat->isEnabled());
  EXPECT_EQ(dialog.cbFormat->currentText(), "No recording");
}
} // namespace

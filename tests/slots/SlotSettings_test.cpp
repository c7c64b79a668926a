#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "support/SettingsTempFolder.h"
#include "support/SlotSettingsEdit.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace
{
class SlotSettingsTest : public ::testing::Test
{
protected:
  void SetUpFile(const std::string& iContent) { TSettingsTempFolder::WriteFile(fFile, iContent); }
  // The lines of one section as the file holds them, without the header.
  std::vector<std::string> SectionLines(const std::string& iSection)
  {
    std::istringstream text(TSettingsTempFolder::ReadFile(fFile));
    std::vector<std::string> result;
    bool inside = false;
    for (std::string line; std::getline(text, line);)
    {
      if (line.starts_with('['))
        inside = line == "[" + iSection + "]";
      else if (inside && !line.empty())
        result.push_back(line);
    }
    return result;
  }

  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
};

TEST_F(SlotSettingsTest, AMissingSectionGivesEveryDefault)
{
  TIniFile ini(fFile);
  TSlotInfo slot(ini, 3, false);
  EXPECT_EQ(slot.Index(), 3);
  EXPECT_FALSE(slot.AlarmOnly());
  EXPECT_EQ(slot.Settings().Name, "Slot 4");
  EXPECT_TRUE(slot.Settings().Enabled);
  EXPECT_EQ(slot.Settings().Input.Source, rsDisabled);
  EXPECT_EQ(slot.Settings().Input.Channels, rcStereo);
  EXPECT_FALSE(slot.Settings().Input.Record16bit);
  EXPECT_EQ(slot.Settings().Output.Format, sfMP3);
  EXPECT_EQ(slot.Settings().Output.Bitrate, 128);
  EXPECT_EQ(slot.Settings().Output.Mode, smStereo);
  EXPECT_EQ(slot.Settings().Input.Samplerate, 44100);
  EXPECT_EQ(slot.Settings().Output.Folder, SpecialFolderPath(CSIDL_MYMUSIC) + "/Tapevault/Slot 4");
  EXPECT_EQ(slot.Settings().TimeSlots.Length, 60);
  EXPECT_TRUE(slot.Settings().TimeSlots.Align);
  EXPECT_EQ(slot.Settings().TimeSlots.Offset, 0);
  EXPECT_TRUE(slot.Settings().Cleanup.DaysEnabled);
  EXPECT_EQ(slot.Settings().Cleanup.Days, 365);
  EXPECT_TRUE(slot.Settings().Cleanup.SpaceEnabled);
  EXPECT_EQ(slot.Settings().Cleanup.Space, 5);
  EXPECT_EQ(slot.Settings().Silence.Threshold, -30);
  EXPECT_EQ(slot.Settings().Silence.Detection, 0);
  EXPECT_EQ(slot.Settings().OutputStream.Port, 8000);
  EXPECT_FALSE(slot.Settings().OutputStream.Enabled);
  EXPECT_EQ(slot.DatabasePath(), slot.Settings().Output.Folder + "/Tapevault.db");
}

TEST_F(SlotSettingsTest, FlushConfigWritesExactlyTheOwnedKeysInOrder)
{
  TIniFile ini(fFile);
  TSlotInfo slot(ini, 0, false);
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Output.Folder = "/rec/one"; });
  slot.FlushConfig();
  const std::vector<std::string> expected = {"Enabled=on",
                                             "Name=Slot 1",
                                             "Folder=/rec/one",
                                             "SecondaryFolder=",
                                             "FlatFilenames=off",
                                             "NoAutoRotate=off",
                                             "TimeSlotLength=60",
                                             "TimeSlotAlign=on",
                                             "TimeSlotOffset=0",
                                             "CueSheet=off",
                                             "Source=None",
                                             "Channels=stereo",
                                             "Device=",
                                             "16bit=off",
                                             "NominalLevel=0",
                                             "StreamURL=",
                                             "RecordDelay=0",
                                             "Format=mp3",
                                             "DatabaseFile=",
                                             "FilenamePrefix=",
                                             "CustomFilename=",
                                             "FileExtension=",
                                             "Bitrate=128",
                                             "Samplerate=44100",
                                             "Mode=stereo",
                                             "EncoderOptions=",
                                             "EncoderFilename=",
                                             "CleanupDaysEnabled=on",
                                             "CleanupSpaceEnabled=on",
                                             "CleanupDays=365",
                                             "CleanupSpace=5",
                                             "SilenceThreshold=-30",
                                             "SilenceDetection=0",
                                             "SilenceDetectionIfInactive=off",
                                             "StreamingEnabled=off",
                                             "StreamingOnly=off",
                                             "StreamingHost=",
                                             "StreamingServerMode=off",
                                             "StreamingPort=8000",
                                             "StreamingMountPoint=",
                                             "StreamingStreamID=",
                                             "StreamingPassword=",
                                             "StreamingMimeType=",
                                             "StreamingTitle=",
                                             "StreamingURL=",
                                             "StreamingGenre=",
                                             "StreamingAIM=",
                                             "StreamingIRC=",
                                             "StreamingICQ=",
                                             "StreamingDescription=",
                                             "StreamingPublic=off",
                                             "StreamingForwardMetadata=off",
                                             "SendEmailSilenceDetected=off",
                                             "SendEmailSilenceOK=off",
                                             "HTTPAlarmSilenceDetected=",
                                             "HTTPAlarmSilenceOK=",
                                             "WinampPlugin=",
                                             "WinampPluginStreamOnly=off",
                                             "WinampPluginControls="};
  EXPECT_EQ(SectionLines("Slot0"), expected);
}

TEST_F(SlotSettingsTest, SwitchesAreOnOnlyForExactlyOn)
{
  const std::pair<const char*, bool> cases[] = {{"on", true}, {"On", false},  {"ON", false},
                                                {"1", false}, {"off", false}, {"yes", false}};
  for (const auto& [text, expected] : cases)
  {
    SetUpFile(std::string("[Slot0]\nEnabled=") + text + "\nCueSheet=" + text + "\n");
    TIniFile ini(fFile);
    TSlotInfo slot(ini, 0, false);
    EXPECT_EQ(slot.Settings().Enabled, expected) << text;
    EXPECT_EQ(slot.Settings().Output.CueSheet, expected) << text;
  }
}

TEST_F(SlotSettingsTest, WordsAreReadWithCaseAndUnknownWordsFallBack)
{
  struct TCase
  {
    const char* Source;
    const char* Channels;
    const char* Format;
    const char* Mode;
    TRecordSource ExpectedSource;
    TRecordChannels ExpectedChannels;
    TBassStreamingFormat ExpectedFormat;
    TBassStreamingMode ExpectedMode;
  };
  const TCase cases[] = {
      {"Soundcard", "left", "mp2", "mono", rsSoundcard, rcLeft, sfMP2, smMono},
      {"Stream", "right", "ogg", "jointstereo", rsStream, rcRight, sfOggVorbis, smJointStereo},
      {"soundcard", "Left", "MP3", "Stereo", rsDisabled, rcStereo, sfMP3, smMono},
      {"None", "stereo", "WAV16", "stereo", rsDisabled, rcStereo, sfMP3, smStereo},
      {"", "", "wav16", "", rsDisabled, rcStereo, sfWAV16, smMono},
      {"x", "x", "wav32", "x", rsDisabled, rcStereo, sfWAV32, smMono},
      {"x", "x", "customwav", "x", rsDisabled, rcStereo, sfCustomWAV, smMono},
      {"x", "x", "customraw", "x", rsDisabled, rcStereo, sfCustomRaw, smMono},
      {"x", "x", "none", "x", rsDisabled, rcStereo, sfNone, smMono},
  };
  for (const TCase& c : cases)
  {
    SetUpFile(std::string("[Slot0]\nSource=") + c.Source + "\nChannels=" + c.Channels + "\nFormat=" + c.Format +
              "\nMode=" + c.Mode + "\n");
    TIniFile ini(fFile);
    TSlotInfo slot(ini, 0, false);
    EXPECT_EQ(slot.Settings().Input.Source, c.ExpectedSource) << c.Source;
    EXPECT_EQ(slot.Settings().Input.Channels, c.ExpectedChannels) << c.Channels;
    EXPECT_EQ(slot.Settings().Output.Format, c.ExpectedFormat) << c.Format;
    EXPECT_EQ(slot.Settings().Output.Mode, c.ExpectedMode) << c.Mode;
  }
}

TEST_F(SlotSettingsTest, EveryWordSurvivesARoundTrip)
{
  for (int value = 0; value < 8; ++value)
  {
    {
      TIniFile ini(fFile);
      TSlotInfo slot(ini, 0, false);
      EditSlotSettings(slot, [&](TSlotSettings& ioSettings)
                       { ioSettings.Output.Format = static_cast<TBassStreamingFormat>(value); });
      EditSlotSettings(slot, [&](TSlotSettings& ioSettings)
                       { ioSettings.Input.Source = static_cast<TRecordSource>(value % 3); });
      EditSlotSettings(slot, [&](TSlotSettings& ioSettings)
                       { ioSettings.Input.Channels = static_cast<TRecordChannels>(value % 3); });
      EditSlotSettings(slot, [&](TSlotSettings& ioSettings)
                       { ioSettings.Output.Mode = static_cast<TBassStreamingMode>(value % 3); });
      slot.FlushConfig();
    }
    TIniFile ini(fFile);
    TSlotInfo slot(ini, 0, false);
    EXPECT_EQ(slot.Settings().Output.Format, value);
    EXPECT_EQ(slot.Settings().Input.Source, value % 3);
    EXPECT_EQ(slot.Settings().Input.Channels, value % 3);
    EXPECT_EQ(slot.Settings().Output.Mode, value % 3);
  }
}

TEST_F(SlotSettingsTest, AnAlarmOnlySlotNeverRecords)
{
  SetUpFile("[Slot4]\nFormat=mp3\n");
  TIniFile ini(fFile);
  TSlotInfo slot(ini, 4, true);
  EXPECT_TRUE(slot.AlarmOnly());
  EXPECT_EQ(slot.Settings().Output.Format, sfNone);
  slot.FlushConfig();
  EXPECT_EQ(ini.ReadString("Slot4", "Format", ""), "none");
}

TEST_F(SlotSettingsTest, HandWrittenKeysStayAsWrittenAndAreNeverAdded)
{
  const std::vector<std::string> handWritten = {"asioworkaround = on",
                                                "ExtraSleep=250",
                                                "ClockSource=BASS:2",
                                                "EncoderQueueLength=abc",
                                                "StreamingTitleFilename=/srv/title.txt",
                                                "StreamingConnectDelay=1500"};
  std::string section = "[Slot0]\n";
  for (const std::string& line : handWritten)
    section += line + "\n";
  SetUpFile(section + "[Slot1]\nName=Other\n");
  TIniFile ini(fFile);
  TSlotInfo slot0(ini, 0, false);
  TSlotInfo slot1(ini, 1, false);
  EXPECT_EQ(slot0.Settings().Input.ExtraSleep, 250);
  slot0.FlushConfig();
  slot1.FlushConfig();
  const auto lines = SectionLines("Slot0");
  ASSERT_GE(lines.size(), handWritten.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + handWritten.size()), handWritten);
  for (const char* key : {"ASIOWorkaround", "ExtraSleep", "ClockSource", "EncoderQueueLength", "StreamingTitleFilename",
                          "StreamingConnectDelay"})
    EXPECT_FALSE(ini.ValueExists("Slot1", key)) << key;
}

TEST_F(SlotSettingsTest, GeneralKeysAreTheDefaultsOfTheSlotKeys)
{
  SetUpFile("[General]\nTimeSlotLength=30\nTimeSlotOffset=15\nStreamingConnectDelay=2000\n"
            "DefaultClockSource=BASS\nDatabaseFolder=/db\n"
            "[Slot0]\nName=Zero\n"
            "[Slot1]\nTimeSlotLength=10\nTimeSlotOffset=x\nDatabaseFolder=/elsewhere\n");
  TIniFile ini(fFile);
  TSlotInfo slot0(ini, 0, false);
  TSlotInfo slot1(ini, 1, false);
  EXPECT_EQ(slot0.Settings().TimeSlots.Length, 30);
  EXPECT_EQ(slot0.Settings().TimeSlots.Offset, 15);
  EXPECT_EQ(slot1.Settings().TimeSlots.Length, 10);
  EXPECT_EQ(slot1.Settings().TimeSlots.Offset, 15) << "an unreadable number takes the default";
  EXPECT_EQ(slot0.DatabasePath(), "/db/Tapevault_0.db");
  EXPECT_EQ(slot1.DatabasePath(), "/db/Tapevault_1.db") << "a slot's own DatabaseFolder is not read";
  slot0.FlushConfig();
  EXPECT_EQ(ini.ReadString("General", "TimeSlotLength", ""), "30");
  EXPECT_FALSE(ini.ValueExists("Slot0", "ClockSource"));
}

TEST_F(SlotSettingsTest, TheDefaultFolderKeepsTheNameReadAtStart)
{
  SetUpFile("[Slot0]\nName=News\n");
  TIniFile ini(fFile);
  TSlotInfo slot(ini, 0, false);
  EXPECT_EQ(slot.Settings().Output.Folder, SpecialFolderPath(CSIDL_MYMUSIC) + "/Tapevault/News");
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Name = "Sports"; });
  slot.FlushConfig();
  EXPECT_EQ(ini.ReadString("Slot0", "Folder", ""), SpecialFolderPath(CSIDL_MYMUSIC) + "/Tapevault/News");
  EXPECT_EQ(ini.ReadString("Slot0", "Name", ""), "Sports");
}

TEST_F(SlotSettingsTest, NumbersRoundTripAndTheNominalLevelFitsSixteenBits)
{
  SetUpFile("[Slot0]\nNominalLevel=40000\nSilenceThreshold=-45\nSamplerate=48000\nRecordDelay=5\n");
  TIniFile ini(fFile);
  TSlotInfo slot(ini, 0, false);
  EXPECT_EQ(slot.Settings().Input.NominalLevel, 32767);
  EXPECT_EQ(slot.Settings().Silence.Threshold, -45);
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Input.Samplerate = 22050; });
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Silence.Threshold = -60; });
  slot.FlushConfig();
  TSlotInfo reread(ini, 0, false);
  EXPECT_EQ(reread.Settings().Input.Samplerate, 22050);
  EXPECT_EQ(reread.Settings().Silence.Threshold, -60);
  EXPECT_EQ(reread.Settings().Input.RecordDelay, 5);
}

// data/slot-settings.ini sets every key of a slot to a value other than its default; data/slot-settings-written.ini
// is what the program wrote from it into an emptied section, so that the order of the keys shows as well.
TEST_F(SlotSettingsTest, WritesTheSectionByteForByte)
{
  const std::filesystem::path data = std::filesystem::path(TAPEVAULT_SOURCE_DIR) / "tests/slots/data";
  const std::string written = TSettingsTempFolder::ReadFile(data / "slot-settings-written.ini");
  ASSERT_FALSE(written.empty());
  SetUpFile(TSettingsTempFolder::ReadFile(data / "slot-settings.ini"));
  {
    TIniFile ini(fFile);
    TSlotInfo slot0(ini, 0, false);
    TSlotInfo slot1(ini, 1, false);
    for (const std::string& line : SectionLines("Slot0"))
      ini.DeleteKey("Slot0", line.substr(0, line.find('=')));
    slot0.FlushConfig();
    slot1.FlushConfig();
  }
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), written);

  // What was written reads back to the same values.
  TIniFile ini(fFile);
  TSlotInfo reread(ini, 0, false);
  reread.FlushConfig();
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), written);
}

TEST_F(SlotSettingsTest, LogLinesStartWithTheSlotName)
{
  TIniFile ini(fFile);
  TSlotInfo slot(ini, 0, false);
  slot.LogMessage("dropped, no handler yet");
  std::vector<std::pair<TSlotInfo*, std::string>> lines;
  slot.SetOnLogMessage([&](TSlotInfo* Sender, const std::string& iMessage) { lines.emplace_back(Sender, iMessage); });
  slot.LogMessage("Recording from X");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, &slot);
  EXPECT_EQ(lines[0].second, "Slot 1: Recording from X");
}
} // namespace

#include "slots/SlotInfo.h"
#include "slots/SlotSettingsCheck.h"
#include "support/SettingsTempFolder.h"

#include <gtest/gtest.h>

namespace
{
TEST(SlotSettingsCheckTest, NumbersRangesAndUpDownPositions)
{
  EXPECT_EQ(ParseInteger(" 42 "), 42);
  EXPECT_EQ(ParseInteger("+7"), 7);
  EXPECT_EQ(ParseInteger("-100"), -100);
  for (const char* text : {"", " ", "x", "12x", "1.5", "+-3", "99999999999"})
    EXPECT_FALSE(ParseInteger(text)) << text;

  struct TCase
  {
    const char* Text;
    int Current;
    TValueRange Range;
    int Expected;
  };
  const TCase cases[] = {
      {"5000", 60, RecordDelayRange, 3600},   {"-5", 60, RecordDelayRange, 0},
      {"abc", 60, RecordDelayRange, 60},      {"", -30, SilenceThresholdRange, -30},
      {"0", 5, CleanupDaysRange, 1},          {"-200", 0, NominalLevelRange, -100},
      {"120", 0, SilenceDetectionRange, 120}, {"40000", 5, CleanupSpaceRange, 32767},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(UpDownPosition(c.Text, c.Current, c.Range), c.Expected) << c.Text;
}

TEST(SlotSettingsCheckTest, StorageEstimateAndBitRateRules)
{
  struct TCase
  {
    const char* Bitrate;
    const char* Days;
    TBassStreamingFormat Format;
    const char* Expected;
  };
  const TCase cases[] = {
      {"128", "365", sfMP3, "days (~481 GB)"},
      {"320", "30", sfOggVorbis, "days (~98 GB)"},
      {"128", "365", sfCustomWAV, "days"},
      {"128", "365", sfCustomRaw, "days"},
      {"", "365", sfMP3, "days"},
      {"x", "365", sfMP2, "days"},
      {"128", "x", sfMP3, "days (~0 GB)"},
      {"32", "32767", sfMP3, "days (~10799 GB)"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(StorageEstimateText(c.Bitrate, c.Days, c.Format), c.Expected) << c.Bitrate << " " << c.Days;

  EXPECT_EQ(BitrateListRule(sfMP3), brOfferRates);
  EXPECT_EQ(BitrateListRule(sfOggVorbis), brOfferRates);
  for (TBassStreamingFormat f : {sfWAV16, sfWAV32, sfCustomWAV, sfCustomRaw})
    EXPECT_EQ(BitrateListRule(f), brClear);
  EXPECT_EQ(BitrateListRule(sfMP2), brKeep);
  EXPECT_EQ(BitrateListRule(sfNone), brKeep);
  EXPECT_EQ(BitrateChoices().front(), "32");
  EXPECT_EQ(BitrateChoices().back(), "320");
  EXPECT_EQ(BitrateChoices().size(), 14u);
}

TEST(SlotSettingsCheckTest, ChecksAndChanges)
{
  TSlotEdit old;
  old.Folder = "/rec";
  EXPECT_FALSE(CheckSlotEdit(old));
  TSlotEdit empty = old;
  empty.Folder.clear();
  EXPECT_EQ(CheckSlotEdit(empty), std::string("Output folder must not be empty."));

  struct TCase
  {
    const char* What;
    void (*Change)(TSlotEdit&);
    bool Input;
    bool Output;
  };
  const TCase cases[] = {
      {"name", [](TSlotEdit& e) { e.Name = "News"; }, false, false},
      {"source", [](TSlotEdit& e) { e.RecordSource = rsStream; }, true, false},
      {"device", [](TSlotEdit& e) { e.Device = "ALSA:hw:0"; }, true, false},
      {"url", [](TSlotEdit& e) { e.StreamURL = "http://a/"; }, true, false},
      {"folder case", [](TSlotEdit& e) { e.Folder = "/REC"; }, false, true},
      {"flat", [](TSlotEdit& e) { e.FlatFilenames = true; }, false, true},
      {"format", [](TSlotEdit& e) { e.AudioFormat = sfOggVorbis; }, false, true},
      {"bitrate", [](TSlotEdit& e) { e.Bitrate = 0; }, false, true},
      {"mode", [](TSlotEdit& e) { e.Mode = smMono; }, false, true},
      {"options", [](TSlotEdit& e) { e.EncoderOptions = "-q 2"; }, false, true},
      {"encoder", [](TSlotEdit& e) { e.EncoderFilename = "/usr/bin/lame"; }, false, true},
      {"length", [](TSlotEdit& e) { e.TimeSlotLength = 30; }, false, false},
      {"silence", [](TSlotEdit& e) { e.SilenceThreshold = -40; }, false, false},
  };
  for (const TCase& c : cases)
  {
    TSlotEdit changed = old;
    c.Change(changed);
    const TSlotEditChanges result = CompareSlotEdits(old, changed);
    EXPECT_EQ(result.Input, c.Input) << c.What;
    EXPECT_EQ(result.Output, c.Output) << c.What;
  }
}

TEST(SlotSettingsCheckTest, ApplyWritesEverySettingAndLimitsRanges)
{
  TSettingsTempFolder folder;
  TIniFile ini(folder / "Tapevault.ini");
  TSlotInfo slot(ini, 0, false);
  TSlotEdit edit = ReadSlotEdit(slot);
  edit.Name = "Morning";
  edit.RecordSource = rsStream;
  edit.StreamURL = "http://radio/";
  edit.RecordChannels = rcRight;
  edit.RecordDelay = 5000;
  edit.SilenceThreshold = -45;
  edit.CleanupDays = 0;
  edit.AudioFormat = sfWAV16;
  edit.StreamingPassword = "pw";
  edit.HTTPAlarmSilenceOK = "http://ok/";
  ApplySlotEdit(slot, edit);

  const TSlotEdit read = ReadSlotEdit(slot);
  EXPECT_EQ(read.Name, "Morning");
  EXPECT_EQ(read.RecordSource, rsStream);
  EXPECT_EQ(read.StreamURL, "http://radio/");
  EXPECT_EQ(read.RecordChannels, rcRight);
  EXPECT_EQ(read.RecordDelay, 3600);
  EXPECT_EQ(read.SilenceThreshold, -45);
  EXPECT_EQ(read.CleanupDays, 1);
  EXPECT_EQ(read.AudioFormat, sfWAV16);
  EXPECT_EQ(read.StreamingPassword, "pw");
  EXPECT_EQ(read.HTTPAlarmSilenceOK, "http://ok/");

  TSlotInfo alarmOnly(ini, 1, true);
  TSlotEdit alarmEdit = ReadSlotEdit(alarmOnly);
  alarmEdit.AudioFormat = sfMP3;
  ApplySlotEdit(alarmOnly, alarmEdit);
  EXPECT_EQ(alarmOnly.AudioFormat(), sfNone);
}
} // namespace

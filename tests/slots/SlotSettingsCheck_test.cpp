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
  TSlotSettings old;
  old.Output.Folder = "/rec";
  EXPECT_TRUE(CheckSlotSettings(old, false).empty());
  TSlotSettings empty = old;
  empty.Output.Folder.clear();
  const std::vector<TSettingsMessage> refusals = CheckSlotSettings(empty, false);
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].Key, "Folder");
  EXPECT_EQ(refusals[0].Message, "Output folder must not be empty.");

  struct TCase
  {
    const char* What;
    void (*Change)(TSlotSettings&);
    bool Input;
    bool Output;
  };
  const TCase cases[] = {
      {"name", [](TSlotSettings& e) { e.Name = "News"; }, false, false},
      {"source", [](TSlotSettings& e) { e.Input.Source = rsStream; }, true, false},
      {"device", [](TSlotSettings& e) { e.Input.Device = "ALSA:hw:0"; }, true, false},
      {"url", [](TSlotSettings& e) { e.Input.StreamURL = "http://a/"; }, true, false},
      {"folder case", [](TSlotSettings& e) { e.Output.Folder = "/REC"; }, false, true},
      {"flat", [](TSlotSettings& e) { e.Output.FlatFilenames = true; }, false, true},
      {"format", [](TSlotSettings& e) { e.Output.Format = sfOggVorbis; }, false, true},
      {"bitrate", [](TSlotSettings& e) { e.Output.Bitrate = 0; }, false, true},
      {"mode", [](TSlotSettings& e) { e.Output.Mode = smMono; }, false, true},
      {"options", [](TSlotSettings& e) { e.Output.EncoderOptions = "-q 2"; }, false, true},
      {"encoder", [](TSlotSettings& e) { e.Output.EncoderFilename = "/usr/bin/lame"; }, false, true},
      {"length", [](TSlotSettings& e) { e.TimeSlots.Length = 30; }, false, false},
      {"silence", [](TSlotSettings& e) { e.Silence.Threshold = -40; }, false, false},
  };
  for (const TCase& c : cases)
  {
    TSlotSettings changed = old;
    c.Change(changed);
    const TSlotSettingsEffects result = CompareSlotSettings(old, changed);
    EXPECT_EQ(result.Input, c.Input) << c.What;
    EXPECT_EQ(result.Output, c.Output) << c.What;
  }
}

TEST(SlotSettingsCheckTest, StreamURLsAreHttpOrHttpsOnly)
{
  const struct
  {
    const char* URL;
    bool Allowed;
  } cases[] = {
      {"", true}, // no stream configured
      {"http://radio.example/live.mp3", true},
      {"HTTPS://radio.example:8443/list.pls", true},
      {"file:///etc/passwd", false},
      {"/etc/passwd", false},
      {"concat:http://radio.example/a.mp3|/etc/passwd", false},
      {"gopher://radio.example/", false},
      {"data:audio/mpeg;base64,AAAA", false},
      {"http:/etc/passwd", false},
      {"http://", false},
  };
  for (const auto& c : cases)
  {
    TSlotSettings settings;
    settings.Output.Folder = "/rec";
    settings.Input.Source = rsStream;
    settings.Input.StreamURL = c.URL;
    const std::vector<TSettingsMessage> refusals = CheckSlotSettings(settings, false);
    if (c.Allowed)
    {
      EXPECT_TRUE(refusals.empty()) << c.URL;
    }
    else
    {
      ASSERT_EQ(refusals.size(), 1u) << c.URL;
      EXPECT_EQ(refusals[0].Key, "StreamURL");
      EXPECT_EQ(refusals[0].Message, "The stream URL must start with http:// or https://.");
    }
  }
}

TEST(SlotSettingsCheckTest, ApplyWritesEverySettingAndLimitsRanges)
{
  TSettingsTempFolder folder;
  TIniFile ini(folder / "Tapevault.ini");
  TSlotInfo slot(ini, 0, false);
  TSlotSettings edit = slot.Settings();
  edit.Name = "Morning";
  edit.Input.Source = rsStream;
  edit.Input.StreamURL = "http://radio/";
  edit.Input.Channels = rcRight;
  edit.Input.RecordDelay = 5000;
  edit.Silence.Threshold = -45;
  edit.Cleanup.Days = 0;
  edit.Output.Format = sfWAV16;
  edit.OutputStream.Password = "pw";
  edit.Silence.HTTPAlarmOK = "http://ok/";
  EXPECT_EQ(ApplySlotSettings(slot, edit, {}, [](const std::string&) {}).Changed.size(), 10u);

  const TSlotSettings read = slot.Settings();
  EXPECT_EQ(read.Name, "Morning");
  EXPECT_EQ(read.Input.Source, rsStream);
  EXPECT_EQ(read.Input.StreamURL, "http://radio/");
  EXPECT_EQ(read.Input.Channels, rcRight);
  EXPECT_EQ(read.Input.RecordDelay, 3600);
  EXPECT_EQ(read.Silence.Threshold, -45);
  EXPECT_EQ(read.Cleanup.Days, 1);
  EXPECT_EQ(read.Output.Format, sfWAV16);
  EXPECT_EQ(read.OutputStream.Password, "pw");
  EXPECT_EQ(read.Silence.HTTPAlarmOK, "http://ok/");

  TSlotInfo alarmOnly(ini, 1, true);
  TSlotSettings alarmEdit = alarmOnly.Settings();
  alarmEdit.Output.Format = sfMP3;
  alarmOnly.WriteSettings(alarmEdit);
  EXPECT_EQ(alarmOnly.Settings().Output.Format, sfNone);
}
} // namespace

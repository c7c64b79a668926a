// Encoder cycling on a slot recording from a real PulseAudio server with the real encoders: names, database
// rows, exact durations, gap-free file changes, and what happens when an encoder fails.

#include "audio/engine/AudioEngine.h"
#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotPipelineFixture.h"
#include "support/SlotSettingsEdit.h"
#include "support/Wait.h"

#include <csignal>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace
{
using namespace std::chrono_literals;
using SlotEncoderTest = TSlotPipelineTest;

constexpr double kRate = 44100;

// Decoded frames of a file (ffmpeg, 44100 Hz stereo).
size_t DecodedFrames(const std::string& iFile)
{
  std::string output;
  const int status =
      RunProgram({"sh", "-c", "ffmpeg -v error -i '" + iFile + "' -f s16le -ac 2 -ar 44100 - | wc -c"}, {}, output);
  return status == 0 ? std::stoul(output) / 4 : 0;
}

// 0 also when it does not exist (yet).
uintmax_t FileBytes(const std::string& iPath)
{
  std::error_code missing;
  const uintmax_t bytes = std::filesystem::file_size(iPath, missing);
  return missing ? 0 : bytes;
}

// Process ids of the children of this process running iProgram.
std::set<pid_t> ChildrenRunning(const std::string& iProgram)
{
  std::set<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
  {
    const std::string stat = TSettingsTempFolder::ReadFile(entry.path() / "stat");
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || stat.substr(open + 1, close - open - 1) != iProgram)
      continue;
    int parent = 0;
    if (std::sscanf(stat.c_str() + close + 2, "%*c %d", &parent) == 1 && parent == ::getpid())
      children.insert(std::stoi(entry.path().filename()));
  }
  return children;
}

// One of them; 0 when there is none.
pid_t ChildRunning(const std::string& iProgram)
{
  const std::set<pid_t> children = ChildrenRunning(iProgram);
  return children.empty() ? 0 : *children.begin();
}

TEST_F(SlotEncoderTest, ConsecutiveFilesHoldTheSignalWithoutGapOrDoubledSample)
{
  TSlotInfo& slot = MakeSlot();
  slot.Initialize();
  slot.StartRecording();
  auto tone = fServer->PlayTone("tone", 3000, 6);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > 0.4f; }, 3s));
  std::this_thread::sleep_for(200ms);
  for (int file = 0; file < 4; ++file)
  {
    const int64_t before = static_cast<int64_t>(MillisecondClock());
    slot.CycleEncoder();
    ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
    EXPECT_GE(slot.RecordStartTickCount(), before);
    // The file's length in the slot's frames, not in wall-clock time a busy machine stretches.
    ASSERT_TRUE(WaitUntil([&] { return slot.CurrentRecordingDuration() >= 1.1f; }, 5s));
  }
  slot.FinishRecording();
  EXPECT_EQ(slot.Encoder(), 0u);
  EXPECT_EQ(slot.CurrentFilename(), "");

  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(CountLog("Slot 1: Encoding to file " + fFolder / "rec/t"), 4u);
  std::vector<int16_t> signal;
  std::vector<size_t> joins;
  TBrendleRegExpr name;
  for (const TRow& row : rows)
  {
    EXPECT_TRUE(name.Matches("^t\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.wav$", row.Filename)) << row.Filename;
    EXPECT_TRUE(name.Matches("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$", row.StartTime)) << row.StartTime;
    const std::vector<int16_t> samples = ReadWav16(fFolder / "rec/" + row.Filename);
    ASSERT_TRUE(row.Duration);
    EXPECT_DOUBLE_EQ(*row.Duration, static_cast<double>(samples.size() / 2) / kRate);
    EXPECT_NEAR(*row.Duration, 1.1, 0.2);
    if (!signal.empty())
      joins.push_back(signal.size() / 2);
    signal.insert(signal.end(), samples.begin(), samples.end());
  }
  // A sine continues by x[n] = 2 cos(w) x[n-1] - x[n-2]; a lost or doubled frame breaks that by about
  // 0.5 (1 - cos w) = 0.1 of full scale, rounding by less than 0.001.
  const double c = std::cos(2 * M_PI * 3000 / kRate);
  double worst = 0;
  double worstAtJoin = 0;
  for (size_t n = 2; n < signal.size() / 2; ++n)
    for (size_t channel = 0; channel < 2; ++channel)
    {
      auto x = [&](size_t i) { return signal[2 * i + channel] / 32768.0; };
      const double residual = std::fabs(x(n) - 2 * c * x(n - 1) + x(n - 2));
      worst = std::max(worst, residual);
      for (size_t join : joins)
        if (n >= join && n < join + 2)
          worstAtJoin = std::max(worstAtJoin, residual);
    }
  EXPECT_LT(worst, 0.003);
  EXPECT_LT(worstAtJoin, 0.003);
  EXPECT_EQ(joins.size(), 3u);
}

struct TFormatCase
{
  std::string Format;
  std::string Extension;
  // How far the decoded length may be from the stored one: a codec frame, none for MP3, whose info frame tells
  // the decoder the exact length.
  size_t FrameLength;
};

void PrintTo(const TFormatCase& iCase, std::ostream* oStream)
{
  *oStream << iCase.Format;
}

class SlotEncoderFormatTest : public TSlotPipelineTest, public testing::WithParamInterface<TFormatCase>
{
};

TEST_P(SlotEncoderFormatTest, FilesAreDecodableAndAsLongAsStored)
{
  TSlotInfo& slot = MakeSlot("Format=" + GetParam().Format + "\n");
  slot.Initialize();
  slot.StartRecording();
  auto tone = fServer->PlayTone("tone", 1000, 4);
  for (int file = 0; file < 2; ++file)
  {
    slot.CycleEncoder();
    ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
    std::this_thread::sleep_for(1200ms);
  }
  slot.FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  for (const TRow& row : rows)
  {
    EXPECT_EQ(std::filesystem::path(row.Filename).extension(), GetParam().Extension);
    ASSERT_TRUE(row.Duration);
    const double stored = *row.Duration * kRate;
    const double decoded = static_cast<double>(DecodedFrames(fFolder / "rec/" + row.Filename));
    EXPECT_NEAR(decoded, stored, static_cast<double>(GetParam().FrameLength)) << row.Filename;
    EXPECT_NEAR(*row.Duration, 1.2, 0.25);
  }
}

INSTANTIATE_TEST_SUITE_P(DefaultEncoders, SlotEncoderFormatTest,
                         testing::Values(TFormatCase{"mp3", ".mp3", 0}, TFormatCase{"mp2", ".mp2", 1152},
                                         TFormatCase{"ogg", ".ogg", 2048}),
                         [](const testing::TestParamInfo<TFormatCase>& iInfo) { return iInfo.param.Format; });

TEST_F(SlotEncoderTest, ANameInUseGetsASuffixInsteadOfOverwritingTheRecording)
{
  TSlotInfo& slot = MakeSlot("CustomFilename=take\n");
  slot.Initialize();
  slot.StartRecording();
  for (int file = 0; file < 3; ++file)
  {
    slot.CycleEncoder();
    std::this_thread::sleep_for(300ms);
  }
  slot.FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  const char* names[] = {"take.wav", "take-1.wav", "take-2.wav"};
  for (size_t i = 0; i < 3; ++i)
  {
    EXPECT_EQ(rows[i].Filename, names[i]);
    ASSERT_TRUE(rows[i].Duration);
    EXPECT_DOUBLE_EQ(*rows[i].Duration, static_cast<double>(ReadWav16(fFolder / "rec/" + names[i]).size() / 2) / kRate);
  }
}

TEST_F(SlotEncoderTest, StockFormatsRunInTheProcessUnlessAProgramOrOptionsAreNamed)
{
  struct TCase
  {
    std::string Settings;
    TFileEncoderKind Kind;
  };
  const TCase cases[] = {
      {"Format=mp3\n", fkLibrary},
      {"Format=mp3\nEncoderFilename=lame\n", fkProgram},
      {"Format=mp2\nEncoderOptions=--quiet\n", fkProgram},
      {"Format=ogg\n", fkLibrary},
      {"Format=wav16\n", fkWAV},
  };
  for (const TCase& c : cases)
  {
    TSlotInfo& slot = MakeSlot(c.Settings);
    slot.Initialize();
    slot.StartRecording();
    slot.CycleEncoder();
    ASSERT_NE(slot.Encoder(), 0u) << c.Settings << slot.ErrorMessage();
    EXPECT_EQ(slot.Status()->EncoderKind, c.Kind) << c.Settings;
    const bool program = ChildRunning("lame") != 0 || ChildRunning("twolame") != 0 || ChildRunning("oggenc") != 0;
    EXPECT_EQ(program, c.Kind == fkProgram) << c.Settings;
    slot.FinishRecording();
    ASSERT_TRUE(slot.WaitForWorker(30s));
    EXPECT_TRUE(WaitUntil([] { return ChildRunning("lame") == 0 && ChildRunning("twolame") == 0; }, 10s));
  }
}

TEST_F(SlotEncoderTest, AStandbyProgramTakesOverAtItsBoundaryAndIsDroppedForAnotherOne)
{
  TSlotInfo& slot = MakeSlot("Format=mp3\nEncoderFilename=lame\nCustomFilename=live\n");
  slot.Initialize();
  slot.StartRecording();
  slot.SetLastTimeSlot(1);
  slot.CycleEncoder();
  ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
  const std::set<pid_t> first = ChildrenRunning("lame");
  ASSERT_EQ(first.size(), 1u);
  slot.PrepareStandby(2, Now());
  const std::set<pid_t> both = ChildrenRunning("lame");
  ASSERT_EQ(both.size(), 2u);
  const pid_t standby = *std::find_if(both.begin(), both.end(), [&](pid_t p) { return !first.count(p); });
  // At its time slot's boundary the standby takes over; the old program goes.
  slot.SetLastTimeSlot(2);
  slot.CycleEncoder();
  EXPECT_EQ(slot.CurrentFilename(), fFolder / "rec/live-1.mp3");
  EXPECT_TRUE(WaitUntil([&] { return ChildrenRunning("lame") == std::set<pid_t>{standby}; }, 10s));
  std::this_thread::sleep_for(300ms);
  // One prepared for another time slot is stopped and its file removed; a program starts as without it.
  slot.PrepareStandby(3, Now());
  EXPECT_EQ(ChildrenRunning("lame").size(), 2u);
  slot.SetLastTimeSlot(4);
  slot.CycleEncoder();
  EXPECT_EQ(slot.CurrentFilename(), fFolder / "rec/live-3.mp3");
  std::this_thread::sleep_for(300ms);
  slot.FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].Filename, "live-1.mp3");
  EXPECT_EQ(rows[2].Filename, "live-3.mp3");
  EXPECT_FALSE(std::filesystem::exists(fFolder / "rec/live-2.mp3"));
  // The file the standby took over holds what passed from its boundary on.
  ASSERT_TRUE(rows[1].Duration);
  EXPECT_NEAR(*rows[1].Duration, static_cast<double>(DecodedFrames(fFolder / "rec/live-1.mp3")) / kRate, 0.03);
  EXPECT_GT(*rows[1].Duration, 0.2);
  EXPECT_TRUE(WaitUntil([] { return ChildRunning("lame") == 0; }, 10s));
}

class SlotDeadEncoderTest : public TSlotPipelineTest
{
protected:
  struct TKilled
  {
    std::chrono::steady_clock::duration Noticed; // from the kill to the next file
    double FirstSeconds = 0;                     // the first file's time by the clock
  };
  // Records to live.mp3 with iSettings until its encoder program iProgram wrote to it and iSettle more, kills the
  // program and runs the controller's check until the next file starts.
  void KillEncoder(const std::string& iSettings, const std::string& iProgram, std::chrono::milliseconds iSettle,
                   TKilled& oKilled)
  {
    TSlotInfo& slot = MakeSlot(iSettings + "CustomFilename=live\n");
    slot.Initialize();
    slot.StartRecording();
    slot.CycleEncoder();
    const uint32_t first = slot.Encoder();
    ASSERT_NE(first, 0u) << slot.ErrorMessage();
    const int64_t firstStart = slot.RecordStartTickCount();
    // lame writes in bursts; on a busy machine its first one may take a while.
    ASSERT_TRUE(WaitUntil([&] { return FileBytes(fFolder / "rec/live.mp3") > 0; }, 5s));
    std::this_thread::sleep_for(iSettle);
    const pid_t program = ChildRunning(iProgram);
    ASSERT_NE(program, 0);
    ::kill(program, SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    // The controller's timer.
    ASSERT_TRUE(WaitUntil(
        [&]
        {
          slot.CheckEncoder();
          return slot.Encoder() != first;
        },
        2s));
    oKilled.Noticed = std::chrono::steady_clock::now() - killed;
    oKilled.FirstSeconds = static_cast<double>(slot.RecordStartTickCount() - firstStart) / 1000;
  }
};

TEST_F(SlotDeadEncoderTest, ADeadEncoderIsNoticedWithinASecondAndTheNextFileStarts)
{
  TKilled killed;
  ASSERT_NO_FATAL_FAILURE(KillEncoder("Format=mp3\nEncoderFilename=lame\n", "lame", 0ms, killed));
  EXPECT_LT(killed.Noticed, 1000ms);
  TSlotInfo& slot = *fSlot;
  EXPECT_EQ(CountLog("Slot 1: Encoder stopped unexpectedly: " + fFolder / "rec/live.mp3"), 1u);
  EXPECT_EQ(slot.CurrentFilename(), fFolder / "rec/live-1.mp3");
  EXPECT_EQ(TAudioEngine::EncodeIsActive(slot.Encoder()), esRunning);
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_TRUE(rows[0].Duration);
  EXPECT_GT(*rows[0].Duration, 0.0);
  // What was still in the killed program's pipe never reached the file: the row counts what did, and the rest as
  // a dropout at the file's end. Both file starts are a pull pass from their first sample.
  const double duration = *rows[0].Duration;
  EXPECT_NEAR(duration, static_cast<double>(DecodedFrames(fFolder / "rec/live.mp3")) / kRate, 0.03);
  EXPECT_NEAR(duration + rows[0].Dropouts, killed.FirstSeconds, 0.15) << rows[0].DropoutMarks;
  if (rows[0].Dropouts > 0)
  {
    EXPECT_EQ(rows[0].DropoutMarks, Format("%.2f+%.2f", duration, rows[0].Dropouts));
    EXPECT_EQ(
        CountLog(Format("%.2f s of audio dropped: the encoder of ", rows[0].Dropouts) + fFolder / "rec/live.mp3 ended"),
        1u);
  }
  // A running encoder is left alone.
  slot.CheckEncoder();
  EXPECT_EQ(CountLog("Encoder stopped unexpectedly"), 1u);
}

TEST_F(SlotDeadEncoderTest, AnEncoderKilledBeforeItWroteAudioLeavesNoFileAndItsLossIsTheNextFilesDropout)
{
  // A program that writes a header and then only reads, as an encoder killed during its start leaves it.
  const std::string program = fFolder / "header-only";
  TSettingsTempFolder::WriteFile(program, "#!/bin/sh\nfor last; do :; done\nprintf 'OggS\\0\\2' > \"$last\"\n"
                                          "exec cat > /dev/null\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  TKilled killed;
  ASSERT_NO_FATAL_FAILURE(KillEncoder("Format=mp3\nEncoderFilename=" + program + "\n", "cat", 400ms, killed));
  fSlot->FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Filename, "live-1.mp3");
  EXPECT_FALSE(std::filesystem::exists(fFolder / "rec/live.mp3"));
  EXPECT_NEAR(rows[0].Dropouts, killed.FirstSeconds, 0.15);
  EXPECT_EQ(rows[0].DropoutMarks, Format("0.00+%.2f", rows[0].Dropouts));
}

TEST_F(SlotEncoderTest, EnabledStartsAndEndsFilesOnlyWhenItChanges)
{
  TSlotInfo& slot = MakeSlot();
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  const uint32_t encoder = slot.Encoder();
  ASSERT_NE(encoder, 0u);
  slot.SetEnabled(true);
  EXPECT_EQ(slot.Encoder(), encoder);
  std::this_thread::sleep_for(300ms);
  slot.SetEnabled(false);
  EXPECT_EQ(slot.Encoder(), 0u);
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_TRUE(Rows()[0].Duration);
  slot.SetEnabled(true);
  EXPECT_NE(slot.Encoder(), 0u);
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(SlotEncoderTest, Wav32KeepsTheMixersFloatSamples)
{
  TSlotInfo& slot = MakeSlot("Format=wav32\nCustomFilename=float\n");
  slot.Initialize();
  slot.StartRecording();
  auto tone = fServer->PlayTone("tone", 1000, 2);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > 0.4f; }, 3s));
  slot.CycleEncoder();
  std::this_thread::sleep_for(300ms);
  slot.FinishRecording();
  ASSERT_TRUE(slot.WaitForWorker(30s));
  const std::string file = TSettingsTempFolder::ReadFile(fFolder / "rec/float.wav");
  ASSERT_GT(file.size(), 58u);
  uint16_t tag = 0, bits = 0;
  std::memcpy(&tag, file.data() + 20, 2);
  std::memcpy(&bits, file.data() + 34, 2);
  EXPECT_EQ(tag, 3); // IEEE float
  EXPECT_EQ(bits, 32);
  float peak = 0;
  for (size_t at = 58; at + 4 <= file.size(); at += 4)
  {
    float sample = 0;
    std::memcpy(&sample, file.data() + at, 4);
    peak = std::max(peak, std::fabs(sample));
  }
  EXPECT_NEAR(peak, 0.5, 0.02);
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_DOUBLE_EQ(*Rows()[0].Duration, static_cast<double>(file.size() - 58) / 8 / kRate);
}

TEST_F(SlotEncoderTest, AnAlarmOnlySlotNeverRecords)
{
  TSlotInfo& slot = MakeSlot("Format=mp3\n", true);
  slot.Initialize();
  slot.StartRecording();
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Output.Format = sfMP3; });
  slot.CycleEncoder();
  EXPECT_EQ(slot.Encoder(), 0u);
  EXPECT_EQ(slot.Settings().Output.Format, sfNone);
  EXPECT_EQ(slot.ErrorMessage(), "");
}

TEST_F(SlotEncoderTest, AnEncoderTheEngineRefusesIsShownNotLogged)
{
  TSlotInfo& slot = MakeSlot("Format=mp3\nEncoderFilename=/nonexistent/lame\n");
  slot.Initialize();
  slot.StartRecording();
  fLog.clear();
  slot.CycleEncoder();
  EXPECT_EQ(slot.Encoder(), 0u);
  EXPECT_EQ(slot.ErrorMessage(), BassErrorText(ecFileOpen));
  EXPECT_EQ(slot.CurrentFilename(), "");
  EXPECT_EQ(slot.RecordStartTickCount(), 0);
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(Rows().empty());
  // The next change tries again.
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Output.EncoderFilename = ""; });
  slot.CycleEncoder();
  EXPECT_NE(slot.Encoder(), 0u);
  EXPECT_EQ(slot.ErrorMessage(), "");
}

TEST_F(SlotEncoderTest, DatabaseStatementErrorsAreLoggedAndTheRecordingGoesOn)
{
  TSlotInfo& slot = MakeSlot();
  slot.GetDatabaseConnection()
      ->PrepareStatement("CREATE TRIGGER refuse BEFORE INSERT ON recordings BEGIN SELECT RAISE(FAIL, 'refused'); END")
      ->ExecuteUpdatePrepared();
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  EXPECT_NE(slot.Encoder(), 0u);
  // The insert is tried again and again, logged once.
  EXPECT_TRUE(WaitUntil([&] { return CountLog("Slot 1: Error updating database: ") == 1; }, 10s));
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(CountLog("Slot 1: Error updating database: "), 1u);
  EXPECT_EQ(slot.CurrentRecordingID(), 0);
  slot.FinishRecording();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(fFolder / "rec"))
    if (entry.path().extension() == ".wav")
      files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  // The file is complete once its encoder has stopped, though its row is still missing; once the database
  // takes it, the row comes with the file's length.
  EXPECT_TRUE(WaitUntil([&] { return ReadWav16(files[0]).size() > 44100u * 2; }, 10s));
  slot.GetDatabaseConnection()->PrepareStatement("DROP TRIGGER refuse")->ExecuteUpdatePrepared();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(rows[0].Duration);
  EXPECT_DOUBLE_EQ(*rows[0].Duration, static_cast<double>(ReadWav16(files[0]).size() / 2) / kRate);
}

TEST_F(SlotEncoderTest, AFullQueueDropsAudioAndIsLoggedOncePerFile)
{
  // A program that reads nothing, behind a queue of 100 ms.
  TSlotInfo& slot = MakeSlot("Format=customraw\nFileExtension=raw\nEncoderFilename=sleep\nEncoderOptions=2\n"
                             "EncoderQueueLength=100\n");
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
  std::this_thread::sleep_for(1200ms);
  slot.FinishRecording();
  EXPECT_EQ(CountLog("Slot 1: Encoder queue full: "), 1u);
  for (const std::string& line : Log())
    if (line.find("Encoder queue full") != std::string::npos)
    {
      double seconds = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "Slot 1: Encoder queue full: %lf", &seconds), 1) << line;
      EXPECT_NEAR(seconds, 0.7, 0.4) << line;
      // The log line's rounding.
      EXPECT_NEAR(slot.Status()->Counters.EncoderDroppedSeconds, seconds, 0.05);
    }
}
} // namespace

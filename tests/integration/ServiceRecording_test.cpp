// The service records two PulseAudio inputs around a minute boundary: one slot aligned to one-minute time slots
// (MP3 through the lame program), one rotating by length (WAV). After SIGTERM the files, their database rows and
// durations must fit the clock, the configuration must hold every slot section, and nothing the program started may
// live on.

#include "ServiceTestRoot.h"
#include "support/Wait.h"
#include "support/WavFile.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sqlite3.h>

namespace
{
using namespace servicetest;

constexpr double BytesPerSecond = 44100 * 4; // 16-bit stereo at 44100 Hz

struct TRecordingRow
{
  int ID = 0;
  std::string StartText;
  double Start = 0;     // seconds since the epoch
  double Duration = -1; // -1 for NULL
  std::string FileName;
};

double WallClock()
{
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Local "yyyy-mm-dd hh:nn:ss[.zzz]" to seconds since the epoch; NAN when it does not parse.
double LocalTextToEpoch(const std::string& iText, const char* iFormat)
{
  std::tm parts{};
  int milliseconds = 0;
  if (std::sscanf(iText.c_str(), iFormat, &parts.tm_year, &parts.tm_mon, &parts.tm_mday, &parts.tm_hour, &parts.tm_min,
                  &parts.tm_sec, &milliseconds) < 6)
    return NAN;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  return static_cast<double>(std::mktime(&parts)) + milliseconds / 1000.0;
}

std::vector<TRecordingRow> ReadRecordings(const std::string& iDatabase)
{
  std::vector<TRecordingRow> result;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(iDatabase.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
  {
    ADD_FAILURE() << "cannot open " << iDatabase << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return result;
  }
  sqlite3_stmt* query = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT id, starttime, duration, filename FROM recordings ORDER BY id", -1, &query,
                         nullptr) != SQLITE_OK)
    ADD_FAILURE() << "cannot read the recordings of " << iDatabase << ": " << sqlite3_errmsg(db);
  while (query && sqlite3_step(query) == SQLITE_ROW)
  {
    TRecordingRow row;
    row.ID = sqlite3_column_int(query, 0);
    row.StartText = reinterpret_cast<const char*>(sqlite3_column_text(query, 1));
    row.Start = LocalTextToEpoch(row.StartText, "%d-%d-%d %d:%d:%d.%d");
    if (sqlite3_column_type(query, 2) != SQLITE_NULL)
      row.Duration = sqlite3_column_double(query, 2);
    row.FileName = reinterpret_cast<const char*>(sqlite3_column_text(query, 3));
    result.push_back(row);
  }
  sqlite3_finalize(query);
  sqlite3_close(db);
  return result;
}

// Every file below iFolder except the database, relative, sorted.
std::set<std::string> RecordingFiles(const std::string& iFolder)
{
  std::set<std::string> result;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(iFolder, error))
    if (entry.is_regular_file() && !entry.path().filename().string().starts_with("Tapevault.db"))
      result.insert(std::filesystem::relative(entry.path(), iFolder).string());
  return result;
}

// The time a generated recording name stands for ("yyyy/mm/dd/yyyy-mm-dd-hh-nn-ss.ext").
double NameTime(const std::string& iRelativeName)
{
  return LocalTextToEpoch(std::filesystem::path(iRelativeName).stem().string(), "%d-%d-%d-%d-%d-%d");
}

// Seconds of audio in an MP3 file as FFmpeg reads it.
double Mp3Seconds(const std::string& iPath)
{
  std::string output;
  const int code =
      RunProgram({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", iPath}, {}, output);
  EXPECT_EQ(code, 0) << output;
  return std::atof(output.c_str());
}

// Checks the RIFF structure of a finished 16-bit stereo WAV file and returns the seconds of its data chunk.
double WavSeconds(const std::string& iPath)
{
  const TWavFile file = ReadWavFile(iPath);
  if (!file.Valid)
  {
    ADD_FAILURE() << iPath << " is no WAV file with a data chunk";
    return 0;
  }
  EXPECT_EQ(file.RiffSize, file.FileSize - 8) << iPath << ": RIFF size";
  EXPECT_EQ(file.FormatTag, 1U) << iPath << ": PCM";
  EXPECT_EQ(file.Channels, 2U) << iPath << ": channels";
  EXPECT_EQ(file.SampleRate, 44100U) << iPath << ": sample rate";
  EXPECT_EQ(file.Bits, 16U) << iPath << ": bits";
  EXPECT_EQ(file.DataOffset + file.DataSize, file.FileSize) << iPath << ": data chunk size";
  return file.DataSize / BytesPerSecond;
}

// Whole minutes of the epoch are minute boundaries of local time (every zone offset in use here is whole hours).
int64_t MinuteOf(double iEpoch)
{
  return static_cast<int64_t>(std::floor(iEpoch / 60));
}

const std::vector<std::string> SlotKeys = {"Enabled",
                                           "Name",
                                           "Folder",
                                           "SecondaryFolder",
                                           "FlatFilenames",
                                           "NoAutoRotate",
                                           "TimeSlotLength",
                                           "TimeSlotAlign",
                                           "TimeSlotOffset",
                                           "CueSheet",
                                           "Source",
                                           "Channels",
                                           "Device",
                                           "16bit",
                                           "NominalLevel",
                                           "StreamURL",
                                           "RecordDelay",
                                           "Format",
                                           "DatabaseFile",
                                           "FilenamePrefix",
                                           "CustomFilename",
                                           "FileExtension",
                                           "Bitrate",
                                           "Samplerate",
                                           "Mode",
                                           "EncoderOptions",
                                           "EncoderFilename",
                                           "CleanupDaysEnabled",
                                           "CleanupSpaceEnabled",
                                           "CleanupDays",
                                           "CleanupSpace",
                                           "SilenceThreshold",
                                           "SilenceDetection",
                                           "SilenceDetectionIfInactive",
                                           "StreamingEnabled",
                                           "StreamingOnly",
                                           "StreamingHost",
                                           "StreamingServerMode",
                                           "StreamingPort",
                                           "StreamingMountPoint",
                                           "StreamingStreamID",
                                           "StreamingPassword",
                                           "StreamingMimeType",
                                           "StreamingTitle",
                                           "StreamingURL",
                                           "StreamingGenre",
                                           "StreamingAIM",
                                           "StreamingIRC",
                                           "StreamingICQ",
                                           "StreamingDescription",
                                           "StreamingPublic",
                                           "StreamingForwardMetadata",
                                           "SendEmailSilenceDetected",
                                           "SendEmailSilenceOK",
                                           "HTTPAlarmSilenceDetected",
                                           "HTTPAlarmSilenceOK",
                                           "WinampPlugin",
                                           "WinampPluginStreamOnly",
                                           "WinampPluginControls"};

std::string SlotSection(int iIndex, const std::string& iName, const std::string& iDevice, const std::string& iFormat,
                        const std::string& iFolder, bool iAligned)
{
  return "[Slot" + std::to_string(iIndex) + "]\nName=" + iName + "\nSource=Soundcard\nDevice=" + iDevice +
         "\nFormat=" + iFormat + "\nFolder=" + iFolder +
         "\nTimeSlotLength=1\nTimeSlotAlign=" + (iAligned ? "on" : "off") +
         "\nCleanupSpaceEnabled=off\n"
         // a hand-tuning key the program reads and must leave as written
         "EncoderQueueLength=8000\n";
}

TEST(ServiceRecording, AlignedAndLengthSlotsRotateAroundAMinuteBoundaryAndCloseCleanly)
{
  TPulseServer pulse({"sinkA", "sinkB"});
  ASSERT_NO_THROW(pulse.Start());
  const auto toneA = pulse.PlayTone("sinkA", 440, 100);
  const auto toneB = pulse.PlayTone("sinkB", 880, 100);

  TServiceRoot root;
  const std::string alignedFolder = root / "Aligned";
  const std::string lengthFolder = root / "ByLength";
  root.WriteConfig("[General]\nSlotCount=2\nAlarmSlotCount=0\n\n" +
                   SlotSection(0, "Aligned", "PULSE:sinkA.monitor", "mp3", alignedFolder, true) +
                   // The program, not the library in the process: its end is checked below.
                   "EncoderFilename=lame\n\n" +
                   SlotSection(1, "ByLength", "PULSE:sinkB.monitor", "wav16", lengthFolder, false));

  const double programStart = WallClock();
  const auto program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine(StartedPattern, StartTimeout)) << program->Output();
  // Both slots begin a file at once: the aligned one at its first check, the other because it is not aligned.
  ASSERT_TRUE(program->WaitForLine("ByLength: Encoding to file ", StartTimeout)) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Aligned: Encoding to file ", StartTimeout)) << program->Output();

  // The slot rotating by length changes its file one minute after its first one; by then the aligned slot has
  // crossed at least one minute boundary.
  const std::string lengthFilePattern = "ByLength: Encoding to file ";
  ASSERT_TRUE(
      WaitUntil([&] { return program->MatchingLines(lengthFilePattern).size() >= 2; }, std::chrono::seconds(100)))
      << program->Output();
  // Give the second file some length, then stop well away from a boundary, so that the count of aligned files is
  // certain.
  std::this_thread::sleep_for(3s);
  WaitUntil(
      [&]
      {
        const double second = std::fmod(WallClock(), 60);
        return second >= 2 && second < 57;
      },
      std::chrono::seconds(5));

  const std::vector<pid_t> helpers = program->Descendants();
  std::vector<std::string> helperNames;
  for (const pid_t pid : helpers)
    helperNames.push_back(ProcessName(pid));
  EXPECT_NE(std::find(helperNames.begin(), helperNames.end(), "lame"), helperNames.end())
      << "no lame among the program's processes";

  const double stopTime = WallClock();
  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  for (size_t i = 0; i < helpers.size(); ++i)
    EXPECT_FALSE(ProcessAlive(helpers[i])) << helperNames[i] << " (" << helpers[i] << ") outlived the program";
  EXPECT_TRUE(program->MatchingLines("Error|error").empty()) << program->Output();

  // Aligned slot: the first file from the start, then one per minute boundary, each named after its start.
  const std::vector<TRecordingRow> aligned = ReadRecordings(alignedFolder + "/Tapevault.db");
  ASSERT_FALSE(aligned.empty());
  EXPECT_NEAR(aligned[0].Start, programStart, 15) << aligned[0].StartText;
  EXPECT_EQ(static_cast<int64_t>(aligned.size()), MinuteOf(stopTime) - MinuteOf(aligned[0].Start) + 1)
      << "first file " << aligned[0].StartText;
  std::set<std::string> names;
  for (size_t i = 0; i < aligned.size(); ++i)
  {
    const TRecordingRow& row = aligned[i];
    SCOPED_TRACE(row.StartText + " " + row.FileName);
    names.insert(row.FileName);
    if (i > 0)
    {
      EXPECT_LT(std::fmod(row.Start, 60), 1.5) << "not at a minute boundary";
      EXPECT_EQ(MinuteOf(row.Start), MinuteOf(aligned[i - 1].Start) + 1);
    }
    const double end = i + 1 < aligned.size() ? aligned[i + 1].Start : stopTime;
    EXPECT_NEAR(row.Duration, end - row.Start, i + 1 < aligned.size() ? 1.0 : 2.5);
    EXPECT_TRUE(row.FileName.ends_with(".mp3"));
    EXPECT_GE(row.Start - NameTime(row.FileName), 0);
    EXPECT_LT(row.Start - NameTime(row.FileName), 1.5);
    EXPECT_NEAR(Mp3Seconds(alignedFolder + "/" + row.FileName), row.Duration, 1.0);
  }
  EXPECT_EQ(RecordingFiles(alignedFolder), names);

  // Slot by length: a file of one minute, then the one that ended with the program.
  const std::vector<TRecordingRow> byLength = ReadRecordings(lengthFolder + "/Tapevault.db");
  ASSERT_EQ(byLength.size(), 2U);
  EXPECT_NEAR(byLength[0].Start, programStart, 15);
  EXPECT_GE(byLength[1].Start - byLength[0].Start, 60);
  EXPECT_LT(byLength[1].Start - byLength[0].Start, 61.5);
  EXPECT_NEAR(byLength[0].Duration, byLength[1].Start - byLength[0].Start, 1.0);
  EXPECT_NEAR(byLength[1].Duration, stopTime - byLength[1].Start, 2.5);
  names.clear();
  for (const TRecordingRow& row : byLength)
  {
    SCOPED_TRACE(row.FileName);
    names.insert(row.FileName);
    EXPECT_TRUE(row.FileName.ends_with(".wav"));
    // The WAV file holds exactly the frames the stored duration counts.
    EXPECT_NEAR(WavSeconds(lengthFolder + "/" + row.FileName), row.Duration, 0.05);
  }
  EXPECT_EQ(RecordingFiles(lengthFolder), names);

  // The configuration: global keys and every slot section written back, hand-tuning keys untouched.
  const std::vector<std::string> sections = ReadIniSections(root.ConfigPath());
  for (const char* name : {"General", "Webserver", "EMail", "Slot0", "Slot1"})
    EXPECT_EQ(std::count(sections.begin(), sections.end(), name), 1) << name;
  EXPECT_EQ(std::count(sections.begin(), sections.end(), "Slot2"), 0);
  const std::vector<TIniEntry> entries = ReadIniEntries(root.ConfigPath());
  const auto general = IniSection(entries, "General");
  EXPECT_EQ(general.at("SlotCount"), "2");
  EXPECT_EQ(general.at("ColumnCount"), "1");
  EXPECT_EQ(IniSection(entries, "Webserver").at("Enabled"), "off");
  EXPECT_EQ(IniSection(entries, "EMail").at("Encryption"), "none");
  for (const auto& [section, name, format, align] :
       {std::tuple{"Slot0", "Aligned", "mp3", "on"}, std::tuple{"Slot1", "ByLength", "wav16", "off"}})
  {
    SCOPED_TRACE(section);
    const auto slot = IniSection(entries, section);
    for (const std::string& key : SlotKeys)
      EXPECT_EQ(slot.count(key), 1U) << key;
    EXPECT_EQ(slot.at("Name"), name);
    EXPECT_EQ(slot.at("Enabled"), "on");
    EXPECT_EQ(slot.at("Source"), "Soundcard");
    EXPECT_EQ(slot.at("Format"), format);
    EXPECT_EQ(slot.at("TimeSlotAlign"), align);
    EXPECT_EQ(slot.at("TimeSlotLength"), "1");
    EXPECT_EQ(slot.at("EncoderQueueLength"), "8000");
  }
}

} // namespace

#pragma once
// A slot recording from a real PulseAudio server: a private daemon with null sinks whose monitors are the
// capture inputs, a temporary folder with the configuration file, the recordings and the database, and the
// slot's log lines.

#include "audio/AudioDevices.h"
#include "lib/IniFile.h"
#include "lib/SimpleSQL.h"
#include "slots/SlotInfo.h"
#include "support/PulseServer.h"
#include "support/SettingsTempFolder.h"
#include "support/WavFile.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TSlotPipelineTest : public testing::Test
{
protected:
  // Sinks: "tone" for tones, "stereo" for a signal with different left and right content, "quiet" for silence.
  static void SetUpTestSuite()
  {
    fServer = std::make_unique<TPulseServer>(std::vector<std::string>{"tone", "stereo", "quiet"});
    fServer->Start();
    fServer->ExportAddress();
    for (const std::string& problem : EnumerateDevices())
      ADD_FAILURE() << problem;
  }
  static void TearDownTestSuite()
  {
    FreeDevices();
    fServer.reset();
  }
  void TearDown() override { fSlot.reset(); }

  // A slot 0 recording from the monitor of "tone" into flat WAV files named "t<time>" in the temporary folder;
  // iSettings lines ("Key=value\n") replace these defaults or add to them.
  TSlotInfo& MakeSlot(const std::string& iSettings = "", bool iAlarmOnly = false)
  {
    std::string section;
    for (const std::string line :
         {"Source=Soundcard", "Device=PULSE:tone.monitor", "Format=wav16", "FlatFilenames=on", "FilenamePrefix=t"})
      if (("\n" + iSettings).find("\n" + line.substr(0, line.find('=') + 1)) == std::string::npos)
        section += line + "\n";
    TSettingsTempFolder::WriteFile(fFolder / "Tapevault.ini",
                                   "[Slot0]\n" + section + "Folder=" + fFolder / "rec" + "\n" + iSettings);
    fIni = std::make_unique<TIniFile>(fFolder / "Tapevault.ini");
    fSlot = std::make_unique<TSlotInfo>(*fIni, 0, iAlarmOnly);
    fSlot->SetOnLogMessage(
        [this](TSlotInfo*, const std::string& iMessage)
        {
          std::lock_guard lock(fLogMutex);
          fLog.push_back(iMessage);
        });
    return *fSlot;
  }

  std::vector<std::string> Log()
  {
    std::lock_guard lock(fLogMutex);
    return fLog;
  }
  size_t CountLog(const std::string& iPart)
  {
    size_t count = 0;
    for (const std::string& line : Log())
      count += line.find(iPart) != std::string::npos;
    return count;
  }

  // Plays iFile (a WAV file) into iSink; the process ends with the sound.
  std::unique_ptr<TProcessLauncher> Play(const std::string& iSink, const std::string& iFile)
  {
    return std::make_unique<TProcessLauncher>(std::vector<std::string>{"paplay", "-d", iSink, iFile},
                                              fServer->ClientEnvironment(), fFolder / "paplay.log");
  }

  struct TRow
  {
    int ID = 0;
    std::string StartTime;
    std::optional<double> Duration;
    std::string Filename;
    double Dropouts = 0;
    std::string DropoutMarks;
  };
  // The rows once the slot's worker has stored what was handed to it.
  std::vector<TRow> Rows()
  {
    EXPECT_TRUE(fSlot->WaitForWorker(std::chrono::seconds(30)));
    std::vector<TRow> rows;
    const auto result = fSlot->GetDatabaseConnection()
                            ->PrepareStatement("SELECT id, starttime, duration, filename, dropouts, dropoutmarks "
                                               "FROM recordings ORDER BY id")
                            ->ExecuteQueryPrepared();
    while (result->Next())
    {
      TRow row{result->GetInt(1),
               result->GetString(2),
               std::nullopt,
               result->GetString(4),
               result->IsNull(5) ? 0 : result->GetFloat(5),
               result->IsNull(6) ? "" : result->GetString(6)};
      if (!result->IsNull(3))
        row.Duration = result->GetFloat(3);
      rows.push_back(row);
    }
    return rows;
  }

  // The interleaved samples of a 16-bit PCM WAV file (empty when it is none).
  static std::vector<int16_t> ReadWav16(const std::string& iPath) { return ReadWavFile(iPath).Samples16(); }

  // Writes a 16-bit stereo WAV file whose left channel is a sine of iLeftHz and right one of iRightHz (0 =
  // silence), amplitude 0.5.
  static void WriteStereoWav(const std::string& iPath, double iLeftHz, double iRightHz, double iSeconds)
  {
    constexpr uint32_t rate = 44100;
    const uint32_t frames = static_cast<uint32_t>(iSeconds * rate);
    std::vector<int16_t> samples(size_t(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i)
    {
      const double t = static_cast<double>(i) / rate;
      samples[2 * i] = static_cast<int16_t>(iLeftHz > 0 ? 16384 * std::sin(2 * M_PI * iLeftHz * t) : 0);
      samples[2 * i + 1] = static_cast<int16_t>(iRightHz > 0 ? 16384 * std::sin(2 * M_PI * iRightHz * t) : 0);
    }
    const uint32_t bytes = frames * 4;
    std::ofstream out(iPath, std::ios::binary);
    auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
  }

  static inline std::unique_ptr<TPulseServer> fServer;
  TSettingsTempFolder fFolder;
  std::unique_ptr<TIniFile> fIni;
  std::unique_ptr<TSlotInfo> fSlot;
  std::mutex fLogMutex;
  std::vector<std::string> fLog;
};

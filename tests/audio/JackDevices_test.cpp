#include "audio/AudioDevices.h"
#include "audio/backends/CaptureTypes.h"
#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "support/EngineRead.h"
#include "support/JackServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"
#include "support/Wait.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace
{
using namespace std::chrono_literals;

// The samples of a push stream's bytes as floats, whether they are 16-bit or float.
std::vector<float> Samples(const std::vector<unsigned char>& iBytes, bool i16bit)
{
  std::vector<float> samples;
  for (size_t at = 0; at + (i16bit ? 2 : 4) <= iBytes.size(); at += i16bit ? 2 : 4)
  {
    if (i16bit)
    {
      int16_t value;
      std::memcpy(&value, &iBytes[at], 2);
      samples.push_back(value / 32768.0f);
    }
    else
    {
      float value;
      std::memcpy(&value, &iBytes[at], 4);
      samples.push_back(value);
    }
  }
  return samples;
}

// Checks that iSamples (frames of iPorts.size() channels) are silence followed by the signal of iPorts without a
// single frame missing or changed; returns the frames of signal.
size_t ExpectSignal(const std::vector<float>& iSamples, const std::vector<int>& iPorts)
{
  const size_t channels = iPorts.size();
  const size_t frames = iSamples.size() / channels;
  size_t frame = 0;
  while (frame < frames && iSamples[frame * channels] == 0.0f)
    ++frame;
  if (frame == frames)
  {
    ADD_FAILURE() << "no signal in " << frames << " frames";
    return 0;
  }
  const int64_t start = JackSignalFrame(iSamples[frame * channels], iPorts[0]);
  EXPECT_GE(start, 0) << "not the signal: " << iSamples[frame * channels];
  const size_t first = frame;
  for (; frame < frames; ++frame)
    for (size_t c = 0; c < channels; ++c)
    {
      const float expected = JackSignalValue(static_cast<uint64_t>(start) + (frame - first), iPorts[c]);
      if (iSamples[frame * channels + c] != expected)
      {
        ADD_FAILURE() << "frame " << frame << " channel " << c << ": " << iSamples[frame * channels + c] * 32768
                      << " instead of " << expected * 32768 << " (" << frame - first << " frames of signal before)";
        return frame - first;
      }
    }
  return frames - first;
}

class JackDevicesTest : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    fServer = std::make_unique<TJackServer>();
    try
    {
      fServer->Start();
      fServer->ExportName();
      fServerInfo = ProbeJackServer("");
    }
    catch (const std::exception& e)
    {
      fStartFailure = e.what();
    }
  }
  static void TearDownTestSuite()
  {
    FreeDevices();
    fServer.reset();
  }
  void SetUp() override { ASSERT_TRUE(fStartFailure.empty()) << fStartFailure; }

  // The bundles formed from the suite's server with the configuration iSection ("Key=value\n" lines of
  // "JACKDevice0"), as (identifier, name) pairs.
  std::vector<std::pair<std::string, std::string>> Bundles(const std::string& iSection)
  {
    TSettingsTempFolder folder;
    TSettingsTempFolder::WriteFile(folder / "Tapevault.ini", "[JACKDevice0]\n" + iSection);
    TIniFile ini(folder / "Tapevault.ini");
    TJACKDeviceInfo device(0, "", fServerInfo, &ini);
    std::vector<std::pair<std::string, std::string>> result;
    for (const auto& bundle : device.SubDevices())
      result.emplace_back(Format("JACK:0:%d:%d", bundle->Index(), bundle->ChannelCount()), bundle->Name());
    return result;
  }

  static inline std::unique_ptr<TJackServer> fServer;
  static inline TJackServerInfo fServerInfo;
  static inline std::string fStartFailure;
};

TEST_F(JackDevicesTest, TheDefaultServerGivesStereoBundlesOfItsCapturePortsAfterALSA)
{
  EnumerateDevices();
  std::vector<std::pair<std::string, std::string>> listed;
  bool pulseSeen = false;
  for (const TDeviceListEntry& entry : DeviceList().Entries())
  {
    if (entry.Identifier.rfind("JACK:", 0) == 0)
    {
      EXPECT_FALSE(pulseSeen) << "JACK comes before PulseAudio";
      listed.emplace_back(entry.Identifier, entry.Device->Name());
    }
    else
      pulseSeen = pulseSeen || entry.Identifier.rfind("PULSE:", 0) == 0;
  }
  const std::string prefix = "JACK: " + fServer->Name() + " - ";
  const std::vector<std::pair<std::string, std::string>> expected{{"JACK:0:0:2", prefix + "capture_1, capture_2"},
                                                                  {"JACK:0:2:2", prefix + "capture_3, capture_4"},
                                                                  {"JACK:0:4:2", prefix + "capture_5, capture_6"},
                                                                  {"JACK:0:6:2", prefix + "capture_7, capture_8"}};
  EXPECT_EQ(expected, listed);
  ASSERT_EQ(1u, JACKDevices().size());
  const TJACKDeviceInfo& device = *JACKDevices()[0];
  EXPECT_EQ(8, device.ChannelCount());
  EXPECT_EQ("capture_8", device.GetChannelName(7));
  EXPECT_EQ(2, device.GetChannelBundle(6));
  EXPECT_EQ(0, device.GetChannelBundle(7));
  EXPECT_FALSE(device.SubDevices()[0]->HasControlPanel());
  FreeDevices();
}

TEST_F(JackDevicesTest, ChannelBundleKeysShapeTheBundlesAndTheirIdentifiers)
{
  struct TCase
  {
    std::string Section;
    std::vector<std::string> Identifiers;
  };
  const TCase cases[] = {
      {"", {"JACK:0:0:2", "JACK:0:2:2", "JACK:0:4:2", "JACK:0:6:2"}},
      {"ChannelBundle0=1\n", {"JACK:0:0:1", "JACK:0:1:2", "JACK:0:3:2", "JACK:0:5:2", "JACK:0:7:1"}},
      {"ChannelBundle0=0\nChannelBundle1=-4\n", {"JACK:0:0:1", "JACK:0:1:1", "JACK:0:2:2", "JACK:0:4:2", "JACK:0:6:2"}},
      {"ChannelBundle0=4\n", {"JACK:0:0:4", "JACK:0:4:2", "JACK:0:6:2"}},
      {"ChannelBundle1=1\nChannelBundle2=6\n", {"JACK:0:0:2", "JACK:0:2:6"}},
      {"ChannelBundle0=16\n", {"JACK:0:0:8"}},
      {"ChannelBundle0=x\n", {"JACK:0:0:2", "JACK:0:2:2", "JACK:0:4:2", "JACK:0:6:2"}},
  };
  for (const TCase& c : cases)
  {
    std::vector<std::string> identifiers;
    for (const auto& [identifier, name] : Bundles(c.Section))
      identifiers.push_back(identifier);
    EXPECT_EQ(c.Identifiers, identifiers) << c.Section;
  }
  EXPECT_EQ("JACK: " + fServer->Name() + " - capture_8", Bundles("ChannelBundle0=1\n").back().second);
}

TEST_F(JackDevicesTest, WritingKeepsBundleStartsAndDeletesTheKeysInsideBundles)
{
  TSettingsTempFolder folder;
  TSettingsTempFolder::WriteFile(
      folder / "Tapevault.ini", "[JACKDevice0]\nChannelBundle0=3\nChannelBundle1=7\nSamplerate=44100\nThreadCount=x\n");
  TIniFile ini(folder / "Tapevault.ini");
  TJACKDeviceInfo device(0, "", fServerInfo, &ini);
  device.SetChannelBundle(3, 1);
  device.SetBufferSize(512);
  device.WriteConfig(ini);
  const std::string section = "JACKDevice0";
  // Bundles 0-2, 3, (4 inside the old bundle 3-4: not a start), 5-6, 7 (cut short at the last port).
  const std::pair<int, int> written[] = {{0, 3}, {1, -1}, {2, -1}, {3, 1}, {4, 0}, {5, 2}, {6, -1}, {7, 1}};
  for (const auto& [channel, size] : written)
    EXPECT_EQ(size, ini.ReadInteger(section, Format("ChannelBundle%d", channel), -1)) << channel;
  EXPECT_EQ(512, ini.ReadInteger(section, "BufferSize", 0));
  EXPECT_EQ(44100, ini.ReadInteger(section, "Samplerate", 0));
  EXPECT_EQ(1, ini.ReadInteger(section, "ThreadCount", 0));
}

TEST_F(JackDevicesTest, TwoBundlesShareOneClientAndRecordTheSignalSampleExact)
{
  TJACKDeviceInfo device(0, "", fServerInfo, nullptr);
  TJACKSubDeviceInfo& first = *device.SubDevices()[0];
  TJACKSubDeviceInfo& second = *device.SubDevices()[1];
  const uint32_t firstStream = first.AddClient(44100, true, false);
  ASSERT_NE(0u, firstStream);
  const uint32_t secondStream = second.AddClient(44100, false, false);
  ASSERT_NE(0u, secondStream);
  TChannelInfo info;
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(firstStream, info));
  EXPECT_EQ(fServer->SampleRate(), info.Rate) << "JACK's rate is the server's";
  EXPECT_EQ(2u, info.Channels);
  EXPECT_EQ(0u, info.Flags & chFloat);
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(secondStream, info));
  EXPECT_NE(0u, info.Flags & chFloat);

  TJackSignal signal(fServer->Name(), 4);
  EXPECT_EQ((std::vector<std::string>{"signal", "system", "tapevault"}), signal.Clients());
  EXPECT_EQ((std::vector<std::string>{"tapevault:bundle0-2_in_1", "tapevault:bundle0-2_in_2",
                                      "tapevault:bundle2-2_in_1", "tapevault:bundle2-2_in_2"}),
            signal.Ports("^tapevault:"));
  signal.Connect(0, "tapevault:bundle0-2_in_1");
  signal.Connect(1, "tapevault:bundle0-2_in_2");
  signal.Connect(2, "tapevault:bundle2-2_in_1");
  signal.Connect(3, "tapevault:bundle2-2_in_2");

  std::vector<unsigned char> firstData, secondData;
  const auto collect = [&](std::chrono::milliseconds iTime, bool iSecond)
  {
    for (const auto end = std::chrono::steady_clock::now() + iTime; std::chrono::steady_clock::now() < end;)
    {
      std::this_thread::sleep_for(100ms);
      const std::vector<unsigned char> more = ReadAll(firstStream);
      firstData.insert(firstData.end(), more.begin(), more.end());
      if (iSecond)
      {
        const std::vector<unsigned char> moreSecond = ReadAll(secondStream);
        secondData.insert(secondData.end(), moreSecond.begin(), moreSecond.end());
      }
    }
  };
  collect(1500ms, true);
  // Stopping the second bundle leaves the first one running without a gap.
  second.RemoveClient(secondStream);
  EXPECT_EQ(1, device.ActiveChannels());
  EXPECT_EQ(2u, signal.Ports("^tapevault:").size());
  const size_t firstBefore = firstData.size();
  collect(1000ms, false);
  first.RemoveClient(firstStream);
  EXPECT_EQ(0, device.ActiveChannels());
  EXPECT_TRUE(WaitUntil([&] { return signal.Ports("^tapevault:").empty(); })) << "the client is closed";

  const std::vector<unsigned char> rest = ReadAll(firstStream);
  firstData.insert(firstData.end(), rest.begin(), rest.end());
  EXPECT_GT(firstData.size(), firstBefore + 48000 * 4 / 2);
  EXPECT_GT(ExpectSignal(Samples(firstData, true), {0, 1}), 48000u * 2);
  EXPECT_GT(ExpectSignal(Samples(secondData, false), {2, 3}), 48000u);
  TAudioEngine::StreamFree(firstStream);
  TAudioEngine::StreamFree(secondStream);
}

TEST_F(JackDevicesTest, AServerThatIsNotRunningReportsJACKInit)
{
  TJACKDeviceInfo device(0, "tapevault-no-such-server", fServerInfo, nullptr);
  try
  {
    device.SubDevices()[0]->AddClient(48000, false, false);
    ADD_FAILURE() << "started";
  }
  catch (const EAudioDeviceError& e)
  {
    EXPECT_EQ(std::string("JACKInit: cannot connect to the server"), e.what());
  }
  EXPECT_TRUE(device.SubDevices()[0]->Clients().empty());
  EXPECT_EQ(0, device.ActiveChannels());
}

TEST(JackServerLoss, TheBundleReportsTheLossAndResumesWhenTheServerReturns)
{
  TJackServer server;
  server.Start();
  TJACKDeviceInfo device(0, server.Name(), ProbeJackServer(server.Name()), nullptr);
  TJACKSubDeviceInfo& bundle = *device.SubDevices()[0];
  const uint32_t stream = bundle.AddClient(48000, false, false);
  ASSERT_NE(0u, stream);
  EXPECT_EQ("", bundle.LastError());

  server.Stop(true);
  ASSERT_TRUE(WaitUntil([&] { return !bundle.LastError().empty(); })) << "the loss is reported";
  EXPECT_EQ(std::vector<uint32_t>{stream}, bundle.Clients());

  server.Start();
  ASSERT_TRUE(WaitUntil([&] { return bundle.LastError().empty(); })) << bundle.LastError();
  TJackSignal signal(server.Name(), 2);
  ASSERT_EQ(2u, signal.Ports("^tapevault:bundle0-2_in_").size()) << "the ports are back";
  signal.Connect(0, "tapevault:bundle0-2_in_1");
  signal.Connect(1, "tapevault:bundle0-2_in_2");
  ReadAll(stream);
  std::vector<unsigned char> data;
  for (int i = 0; i < 10; ++i)
  {
    std::this_thread::sleep_for(100ms);
    const std::vector<unsigned char> more = ReadAll(stream);
    data.insert(data.end(), more.begin(), more.end());
  }
  EXPECT_GT(ExpectSignal(Samples(data, false), {0, 1}), 48000u / 4) << "capture resumed";
  bundle.RemoveClient(stream);
  TAudioEngine::StreamFree(stream);
}
} // namespace

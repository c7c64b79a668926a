#include "audio/AudioDevices.h"
#include "audio/backends/CaptureTypes.h"
#include "audio/engine/AudioEngine.h"
#include "support/AlsaPulseConfig.h"
#include "support/EngineRead.h"
#include "support/PulseServer.h"
#include "support/Wait.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace
{
using namespace std::chrono_literals;

constexpr uint32_t cRate = 44100;

double FloatRMS(const std::vector<unsigned char>& iBytes)
{
  double sum = 0;
  const size_t count = iBytes.size() / sizeof(float);
  for (size_t i = 0; i < count; ++i)
  {
    float value;
    std::memcpy(&value, &iBytes[i * sizeof(float)], sizeof value);
    sum += value * value;
  }
  return count == 0 ? 0 : std::sqrt(sum / count);
}

// Length of the longest end of iFirst that is also the beginning of iSecond.
size_t Overlap(const std::vector<unsigned char>& iFirst, const std::vector<unsigned char>& iSecond)
{
  for (size_t length = std::min(iFirst.size(), iSecond.size()); length > 0; --length)
  {
    if (std::memcmp(iFirst.data() + iFirst.size() - length, iSecond.data(), length) == 0)
      return length;
  }
  return 0;
}

// Lines of "pactl list short source-outputs": one per running capture stream.
size_t CaptureStreams(const TPulseServer& iServer)
{
  const std::string text = iServer.Pactl({"list", "short", "source-outputs"});
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TDeviceInfoWithClients& Input(const std::string& iIdentifier)
{
  auto* device = dynamic_cast<TDeviceInfoWithClients*>(DeviceList().Find(iIdentifier));
  if (device == nullptr)
    throw std::runtime_error("no input " + iIdentifier);
  return *device;
}

class DevicesTest : public TPulseServerTest
{
protected:
  static void SetUpTestSuite()
  {
    if (!StartSuiteServer({"sink1", "sink2"}))
      return;
    UseAlsaPulseConfig(Server().Folder(), Server().Address(), {{"tapevault_tone", "sink1.monitor", "Tone capture"}},
                       "pcm.tapevault_null { type null hint { show on description \"Nothing\" } }\n");
    // Not a divisor of the rate, so the tone does not repeat within a buffer and equal data means same data.
    fTone = Server().PlayTone("sink1", 431.7, 120);
    fProblems = EnumerateDevices();
  }
  static void TearDownTestSuite()
  {
    FreeDevices();
    fTone.reset();
    StopSuiteServer();
  }

  static std::unique_ptr<TProcessLauncher> fTone;
  static std::vector<std::string> fProblems;
};

std::unique_ptr<TProcessLauncher> DevicesTest::fTone;
std::vector<std::string> DevicesTest::fProblems;

TEST_F(DevicesTest, ListsALSAThenPulseAudioInputsUnderTheirIdentifiers)
{
  EXPECT_TRUE(fProblems.empty()) << fProblems.front();
  std::vector<std::pair<std::string, std::string>> listed;
  for (const TDeviceListEntry& entry : DeviceList().Entries())
    listed.emplace_back(entry.Identifier, entry.Device->Name());
  const std::vector<std::pair<std::string, std::string>> expected{
      {"ALSA:tapevault_tone", "ALSA: Tone capture"},
      {"ALSA:tapevault_null", "ALSA: Nothing"},
      {"PULSE:sink1.monitor", "PulseAudio: Monitor of sink1"},
      {"PULSE:sink2.monitor", "PulseAudio: Monitor of sink2"}};
  EXPECT_EQ(expected, listed);
  ASSERT_EQ(2u, PulseDevices().size());
  EXPECT_EQ(1, PulseDevices()[1]->Index());
  EXPECT_EQ("sink2.monitor", PulseDevices()[1]->SourceName());
}

TEST_F(DevicesTest, LooksIdentifiersUpWithoutRegardToCase)
{
  EXPECT_EQ(PulseDevices()[0].get(), DeviceList().Find("pulse:SINK1.Monitor"));
  EXPECT_EQ(ALSADevices()[0].get(), DeviceList().Find("alsa:TAPEVAULT_TONE"));
  EXPECT_EQ(nullptr, DeviceList().Find("PULSE:sink1"));
  EXPECT_EQ(nullptr, DeviceList().Find(""));
}

TEST_F(DevicesTest, TwoClientsShareOneCaptureAndGetTheSameData)
{
  TDeviceInfoWithClients& input = Input("PULSE:sink1.monitor");
  const uint32_t first = input.AddClient(cRate, false, false);
  ASSERT_NE(0u, first) << TAudioEngine::ErrorGetCode();
  std::this_thread::sleep_for(300ms);
  const uint32_t second = input.AddClient(48000, false, false);
  ASSERT_NE(0u, second) << TAudioEngine::ErrorGetCode();
  EXPECT_EQ((std::vector<uint32_t>{first, second}), input.Clients());
  EXPECT_EQ(1u, CaptureStreams(Server()));
  std::this_thread::sleep_for(1s);

  // Stopping one client keeps the capture running for the other.
  input.RemoveClient(first);
  EXPECT_EQ(std::vector<uint32_t>{second}, input.Clients());
  EXPECT_EQ(1u, CaptureStreams(Server()));
  const std::vector<unsigned char> firstData = ReadAll(first);
  std::this_thread::sleep_for(200ms);
  input.RemoveClient(second);
  EXPECT_TRUE(input.Clients().empty());
  EXPECT_EQ(0u, CaptureStreams(Server()));
  const std::vector<unsigned char> secondData = ReadAll(second);

  // Both streams run at the input's rate: what the second got while both were attached is the end of the first.
  TChannelInfo info;
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(second, info));
  EXPECT_EQ(cRate, info.Rate);
  const size_t common = Overlap(firstData, secondData);
  EXPECT_GT(common, cRate * 8 * 9 / 10);
  EXPECT_GT(secondData.size() - common, cRate * 8 / 10);
  EXPECT_NEAR(0.5 / std::sqrt(2.0), FloatRMS(secondData), 0.05);
  TAudioEngine::StreamFree(first);
  TAudioEngine::StreamFree(second);
}

TEST_F(DevicesTest, PulseAudioClientsGetFloatEvenWhenAskingFor16Bit)
{
  TDeviceInfoWithClients& input = Input("PULSE:sink2.monitor");
  const uint32_t stream = input.AddClient(cRate, true, false);
  ASSERT_NE(0u, stream);
  TChannelInfo info;
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(stream, info));
  EXPECT_NE(0u, info.Flags & chFloat);
  input.RemoveClient(stream);
  TAudioEngine::StreamFree(stream);
}

TEST_F(DevicesTest, ALSAInputCapturesTheToneAndLaterClientsGetItsFormat)
{
  TDeviceInfoWithClients& input = Input("ALSA:tapevault_tone");
  const uint32_t first = input.AddClient(cRate, true, false);
  ASSERT_NE(0u, first);
  const uint32_t second = input.AddClient(cRate, false, false);
  ASSERT_NE(0u, second);
  std::this_thread::sleep_for(1s);
  input.RemoveClient(first);
  input.RemoveClient(second);
  for (const uint32_t stream : {first, second})
  {
    TChannelInfo info;
    ASSERT_TRUE(TAudioEngine::ChannelGetInfo(stream, info));
    EXPECT_EQ(0u, info.Flags & chFloat) << "the input runs in 16 bits";
  }
  const std::vector<unsigned char> data = ReadAll(first);
  ASSERT_GT(data.size(), cRate * 4 / 2);
  double sum = 0;
  for (size_t i = 0; i + 1 < data.size(); i += 2)
  {
    int16_t sample;
    std::memcpy(&sample, &data[i], 2);
    sum += (sample / 32768.0) * (sample / 32768.0);
  }
  EXPECT_NEAR(0.5 / std::sqrt(2.0), std::sqrt(sum / (data.size() / 2)), 0.05);
  TAudioEngine::StreamFree(first);
  TAudioEngine::StreamFree(second);
}

TEST_F(DevicesTest, AStreamTheEngineRefusesIsNotAttachedAndStopsTheInput)
{
  // The null PCM accepts any rate, the engine does not.
  TDeviceInfoWithClients& input = Input("ALSA:tapevault_null");
  EXPECT_EQ(0u, input.AddClient(1000000, false, false));
  EXPECT_EQ(ecFrequency, TAudioEngine::ErrorGetCode());
  EXPECT_TRUE(input.Clients().empty());
  const uint32_t stream = input.AddClient(cRate, false, false);
  EXPECT_NE(0u, stream) << "the input starts again at another rate";
  input.RemoveClient(stream);
  TAudioEngine::StreamFree(stream);
}

TEST_F(DevicesTest, InputsThatCannotStartReportWhyAndKeepNoClient)
{
  TPulseDeviceInfo pulse(9, "no.such.source", "PulseAudio: gone");
  TALSADeviceInfo alsa(9, "no_such_pcm", "ALSA: gone");
  const std::pair<TDeviceInfoWithClients*, std::string> cases[] = {{&pulse, "RecordStart: No such entity"},
                                                                   {&alsa, "Init: No such file or directory (open)"}};
  for (const auto& [input, message] : cases)
  {
    try
    {
      input->AddClient(cRate, false, false);
      ADD_FAILURE() << input->Name() << " started";
    }
    catch (const EAudioDeviceError& e)
    {
      EXPECT_EQ(message, e.what());
    }
    EXPECT_TRUE(input->Clients().empty());
  }
}

TEST_F(DevicesTest, RemovingAnUnknownClientChangesNothing)
{
  TDeviceInfoWithClients& input = Input("PULSE:sink2.monitor");
  const uint32_t stream = input.AddClient(cRate, false, false);
  input.RemoveClient(stream + 1000);
  input.RemoveClient(0);
  EXPECT_EQ(std::vector<uint32_t>{stream}, input.Clients());
  EXPECT_EQ(1u, CaptureStreams(Server()));
  input.RemoveClient(stream);
  TAudioEngine::StreamFree(stream);
}

TEST_F(DevicesTest, ClientsComeAndGoWhileTheCaptureRuns)
{
  TDeviceInfoWithClients& input = Input("PULSE:sink1.monitor");
  const uint32_t keeper = input.AddClient(cRate, false, false);
  ASSERT_NE(0u, keeper);
  for (int round = 0; round < 200; ++round)
  {
    const uint32_t stream = input.AddClient(cRate, false, false);
    ASSERT_NE(0u, stream);
    if (round % 10 == 0)
      std::this_thread::sleep_for(5ms);
    input.RemoveClient(stream);
    TAudioEngine::StreamFree(stream);
  }
  EXPECT_EQ(std::vector<uint32_t>{keeper}, input.Clients());
  input.RemoveClient(keeper);
  EXPECT_GT(ReadAll(keeper).size(), 0u);
  TAudioEngine::StreamFree(keeper);
}

TEST(DevicesServerLoss, TheInputReportsTheLossAndRecoversWhileItsClientsStayAttached)
{
  TPulseServer server({"sink1"});
  server.Start();
  server.ExportAddress();
  TPulseDeviceInfo input(0, "sink1.monitor", "PulseAudio: sink1");
  const uint32_t stream = input.AddClient(cRate, false, false);
  ASSERT_NE(0u, stream);
  EXPECT_EQ("", input.LastError());

  server.Stop();
  const auto waitFor = [&](bool iFailed) { WaitUntil([&] { return input.LastError().empty() != iFailed; }, 10s); };
  waitFor(true);
  EXPECT_EQ("Read: Connection terminated", input.LastError());
  EXPECT_EQ(std::vector<uint32_t>{stream}, input.Clients());

  server.Start();
  waitFor(false);
  EXPECT_EQ("", input.LastError());
  ReadAll(stream);
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(ReadAll(stream).size(), cRate * 8 / 10) << "capture resumed";
  input.RemoveClient(stream);
  TAudioEngine::StreamFree(stream);
}
} // namespace

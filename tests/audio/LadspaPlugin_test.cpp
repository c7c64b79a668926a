// The LADSPA host with the plug-ins of ladspa-sdk and swh-plugins: finding and loading, port layouts,
// controls with their hints, the latency port, and running in a mixer's chain.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/LadspaPlugin.h"
#include "support/EngineSignal.h"
#include "support/SettingsTempFolder.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace
{
constexpr uint32_t kRate = 44100;
const std::vector<std::string> kSystem = {"/usr/lib/ladspa"};

std::unique_ptr<TLadspaPlugin> LoadOrFail(const std::string& iName)
{
  std::string error;
  std::unique_ptr<TLadspaPlugin> plugin = TLadspaPlugin::Load(iName, error, kSystem);
  EXPECT_TRUE(plugin) << iName << ": " << error;
  return plugin;
}

float Peak(const std::vector<float>& iSamples)
{
  float peak = 0;
  for (float s : iSamples)
    peak = std::max(peak, std::fabs(s));
  return peak;
}

TEST(LadspaPlugin, LoadsByNameAndReportsWhatIsMissing)
{
  TSettingsTempFolder folder;
  std::filesystem::create_directories(folder / "own");
  std::filesystem::copy_file("/usr/lib/ladspa/amp.so", folder / "own/myamp.so");
  TSettingsTempFolder::WriteFile(folder / "own/broken.so", "not a library");
  const std::vector<std::string> folders = {folder / "own", "/usr/lib/ladspa"};
  struct TCase
  {
    std::string Name;
    int Error; // ecOK: loads
    std::string Label;
    std::string Text;
  };
  const TCase cases[] = {
      {"/usr/lib/ladspa/amp.so:amp_stereo", ecOK, "amp_stereo", ""},
      {"/usr/lib/ladspa/amp.so", ecOK, "amp_mono", ""}, // a bare library: its first plug-in
      {"amp.so:amp_stereo", ecOK, "amp_stereo", ""},    // a name: looked up in the folders
      {"myamp.so:amp_mono", ecOK, "amp_mono", ""},
      {"missing.so:x", ecFileOpen, "", "LADSPA library missing.so not found"},
      {"/nowhere/amp.so:amp_mono", ecFileOpen, "", "LADSPA library /nowhere/amp.so not found"},
      {"broken.so", ecFileForm, "", "cannot be loaded"},
      {"/usr/lib/ladspa/amp.so:amp_surround", ecNotAvailable, "",
       "/usr/lib/ladspa/amp.so has no plug-in labelled amp_surround"},
  };
  for (const TCase& c : cases)
  {
    std::string error;
    const std::unique_ptr<TLadspaPlugin> plugin = TLadspaPlugin::Load(c.Name, error, folders);
    EXPECT_EQ(TAudioEngine::ErrorGetCode(), c.Error) << c.Name;
    ASSERT_EQ(plugin != nullptr, c.Error == ecOK) << c.Name << ": " << error;
    if (plugin)
      EXPECT_EQ(plugin->Label(), c.Label);
    else
      EXPECT_NE(error.find(c.Text), std::string::npos) << error;
  }
}

TEST(LadspaPlugin, SearchFoldersFollowLadspaPath)
{
  setenv("LADSPA_PATH", "/opt/a::/opt/b", 1);
  EXPECT_EQ(TLadspaPlugin::SearchFolders(),
            (std::vector<std::string>{"/opt/a", "/opt/b", "/usr/lib/ladspa", "/usr/local/lib/ladspa"}));
  unsetenv("LADSPA_PATH");
  EXPECT_EQ(TLadspaPlugin::SearchFolders(), (std::vector<std::string>{"/usr/lib/ladspa", "/usr/local/lib/ladspa"}));
}

TEST(LadspaPlugin, ListsInstalledPlugins)
{
  const std::vector<TLadspaEntry> entries = TLadspaPlugin::Installed(kSystem);
  auto find = [&](const std::string& iLabel)
  { return std::find_if(entries.begin(), entries.end(), [&](const TLadspaEntry& e) { return e.Label == iLabel; }); };
  ASSERT_NE(find("amp_stereo"), entries.end());
  EXPECT_EQ(find("amp_stereo")->Path, "/usr/lib/ladspa/amp.so");
  EXPECT_EQ(find("amp_stereo")->Name, "Stereo Amplifier");
  EXPECT_EQ(find("amp_stereo")->AudioInputs, 2u);
  ASSERT_NE(find("fastLookaheadLimiter"), entries.end());
}

TEST(LadspaPlugin, RefusesPortLayoutsThatDoNotFitTheChannels)
{
  struct TCase
  {
    std::string Name;
    uint32_t Channels;
    bool Fits;
  };
  const TCase cases[] = {
      {"amp.so:amp_stereo", 2, true},              // 2 in, 2 out
      {"amp.so:amp_mono", 2, true},                // one instance per channel
      {"amp.so:amp_mono", 1, true},                //
      {"amp.so:amp_stereo", 1, false},             // 2 ports for 1 channel
      {"noise.so:noise_white", 2, false},          // no input
      {"surround_encoder_1401.so", 2, false},      // 4 in, 2 out
      {"fast_lookahead_limiter_1913.so", 2, true}, //
  };
  for (const TCase& c : cases)
  {
    std::unique_ptr<TLadspaPlugin> plugin = LoadOrFail(c.Name);
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->Start(kRate, c.Channels), c.Fits) << c.Name;
    EXPECT_EQ(plugin->Started(), c.Fits);
    if (!c.Fits)
    {
      EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFormat);
      EXPECT_NE(plugin->Error().find("audio inputs"), std::string::npos) << plugin->Error();
      // Not started: nothing is inserted, the audio stays as it is.
      EXPECT_EQ(plugin->Insert(1, 0), 0u);
      EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecStart);
      std::vector<float> samples = SineFloat(kRate, 1000, 0.5, 256, 2);
      const std::vector<float> before = samples;
      plugin->Process(samples.data(), 256, 2);
      EXPECT_EQ(samples, before);
    }
  }
}

TEST(LadspaPlugin, ControlsTakeHintedDefaultsAndStoredValuesWithinRange)
{
  std::unique_ptr<TLadspaPlugin> plugin = LoadOrFail("fast_lookahead_limiter_1913.so");
  ASSERT_TRUE(plugin && plugin->Start(kRate, 2));
  ASSERT_EQ(plugin->Controls().size(), 5u);
  EXPECT_EQ(plugin->ControlsText(), "Input gain (dB)=0;Limit (dB)=0;Release time (s)=0.507499993");
  // Unknown names and unreadable values are skipped, values are clamped to the hinted range.
  plugin->ApplyControlsText("Limit (dB)=-50;Unknown=3;Input gain (dB)=x;Release time (s)=0.1");
  EXPECT_EQ(plugin->ControlsText(), "Input gain (dB)=0;Limit (dB)=-20;Release time (s)=0.100000001");
  // The limiter reports the delay of its look-ahead.
  EXPECT_GT(plugin->LatencyFrames(), 0);

  std::unique_ptr<TLadspaPlugin> amp = LoadOrFail("amp.so:amp_stereo");
  ASSERT_TRUE(amp && amp->Start(kRate, 2));
  EXPECT_EQ(amp->LatencyFrames(), -1);
  amp->ApplyControlsText("Gain=-1");
  EXPECT_EQ(amp->ControlsText(), "Gain=0"); // bounded below by 0
}

// A tone through a mixer whose chain holds the plug-in.
std::vector<float> ThroughMixer(TLadspaPlugin& iPlugin, uint32_t iFrames, double iAmplitude)
{
  const uint32_t mixer = TAudioEngine::MixerCreate(kRate, 2, chDecode | chFloat);
  uint64_t frame = 0;
  TAudioEngine::ChannelSetDSP(
      mixer,
      [&](float* ioBuffer, uint32_t iLength)
      {
        const uint32_t frames = iLength / 8;
        const std::vector<float> tone = SineFloat(kRate, 1000, iAmplitude, frames, 2, frame);
        std::copy(tone.begin(), tone.end(), ioBuffer);
        // Different content on the right, so that a channel mix-up shows.
        for (uint32_t f = 0; f < frames; ++f)
          ioBuffer[2 * f + 1] *= 0.5f;
        frame += frames;
      },
      100);
  EXPECT_NE(iPlugin.Insert(mixer, -500), 0u);
  std::vector<float> samples(size_t(iFrames) * 2);
  EXPECT_EQ(TAudioEngine::ChannelGetData(mixer, samples.data(), iFrames * 8), int64_t(iFrames) * 8);
  TAudioEngine::StreamFree(mixer);
  return samples;
}

TEST(LadspaPlugin, AmplifiesInTheChainPerChannel)
{
  for (const std::string name : {"amp.so:amp_stereo", "amp.so:amp_mono"})
  {
    std::unique_ptr<TLadspaPlugin> plugin = LoadOrFail(name);
    ASSERT_TRUE(plugin && plugin->Start(kRate, 2));
    plugin->ApplyControlsText("Gain=0.5");
    // More than one block: the plug-in runs in blocks of its instantiation size.
    const uint32_t frames = 3 * TLadspaPlugin::kBlockFrames + 100;
    const std::vector<float> out = ThroughMixer(*plugin, frames, 0.8);
    EXPECT_NEAR(FitSine(out.data(), 2, 0, frames, kRate, 1000).Amplitude, 0.4, 1e-4) << name;
    EXPECT_NEAR(FitSine(out.data(), 2, 1, frames, kRate, 1000).Amplitude, 0.2, 1e-4) << name;
  }
}

TEST(LadspaPlugin, LimiterHoldsPeaksUnderItsCeiling)
{
  std::unique_ptr<TLadspaPlugin> plugin = LoadOrFail("fast_lookahead_limiter_1913.so");
  ASSERT_TRUE(plugin && plugin->Start(kRate, 2));
  plugin->ApplyControlsText("Limit (dB)=-12;Input gain (dB)=6");
  const std::vector<float> out = ThroughMixer(*plugin, kRate, 0.9);
  const float ceiling = std::pow(10.0f, -12.0f / 20.0f);
  // After the look-ahead has filled: the peaks stay under the ceiling, and the tone is still there.
  const std::vector<float> settled(out.begin() + 2 * 4410, out.end());
  EXPECT_LE(Peak(settled), ceiling * 1.001f);
  EXPECT_GT(Peak(settled), ceiling * 0.8f);
  EXPECT_GT(plugin->Control(3), 10.0f); // the attenuation it reports, in dB
}
} // namespace

// The slot's sound-processing plug-in (LADSPA plug-ins of ladspa-sdk and swh-plugins) on a slot recording a
// known tone from a real PulseAudio server: what the recordings hold, the log lines of failures, the stream-only
// position (heard by a listener of the built-in stream server), and reloading while recording.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/LadspaPlugin.h"
#include "slots/SlotPipelineFixture.h"
#include "support/EngineSignal.h"
#include "support/PythonTestServer.h"
#include "support/SlotSettingsEdit.h"
#include "support/StreamListener.h"
#include "support/Wait.h"

#include <algorithm>
#include <cmath>

namespace
{
using namespace std::chrono_literals;
using SlotPluginTest = TSlotPipelineTest;

// The tone's amplitude in WriteStereoWav's files.
constexpr float kToneAmplitude = 0.5f;

float Peak(const std::vector<int16_t>& iSamples, size_t iFrom)
{
  float peak = 0;
  for (size_t i = iFrom; i < iSamples.size(); ++i)
    peak = std::max(peak, std::fabs(iSamples[i] / 32768.0f));
  return peak;
}

class SlotPluginRecording : public SlotPluginTest
{
protected:
  // Records about a second of a 1 kHz tone on both channels through the slot's plug-in; the recording's samples
  // once the tone is there.
  std::vector<int16_t> RecordTone(TSlotInfo& iSlot)
  {
    iSlot.Initialize();
    iSlot.StartRecording();
    const std::string file = fFolder / "tone.wav";
    if (!TSettingsTempFolder::Exists(file))
      WriteStereoWav(file, 1000, 1000, 4.0);
    auto tone = Play("stereo", file);
    // The meters see the signal before the plug-in.
    EXPECT_TRUE(WaitUntil([&] { return iSlot.LevelLeft() > kToneAmplitude * 0.95f; }, 4s));
    iSlot.CycleEncoder();
    EXPECT_NE(iSlot.Encoder(), 0u) << iSlot.ErrorMessage();
    std::this_thread::sleep_for(1000ms);
    iSlot.FinishRecording();
    // The cases share the folder and its database: the newest row is this recording.
    const std::vector<TRow> rows = Rows();
    if (rows.empty())
    {
      ADD_FAILURE() << "no recording";
      return {};
    }
    return ReadWav16(fFolder / "rec/" + rows.back().Filename);
  }
};

struct TPluginCase
{
  std::string Name;
  std::string Settings;
  std::vector<std::string> Logged;
  float PeakLow;
  float PeakHigh;
};

TEST_F(SlotPluginRecording, RecordingsHoldWhatThePluginMadeOfTheTone)
{
  const TPluginCase cases[] = {
      {"none", "", {}, 0.49f, 0.51f},
      // -6 dB: half the amplitude, by one instance for both channels or one per channel.
      {"stereo amplifier",
       "WinampPlugin=/usr/lib/ladspa/amp.so:amp_stereo\nWinampPluginControls=Gain=0.5\n",
       {"Slot 1: Sound-processing plug-in Stereo Amplifier (amp_stereo) running"},
       0.245f,
       0.255f},
      {"mono amplifier",
       "WinampPlugin=amp.so:amp_mono\nWinampPluginControls=Gain=0.5;Unknown=7\n",
       {"Slot 1: Sound-processing plug-in Mono Amplifier (amp_mono) running"},
       0.245f,
       0.255f},
      // A limiter at -12 dBFS with 6 dB more gain in front: the peaks stay under its ceiling.
      {"limiter",
       "WinampPlugin=fast_lookahead_limiter_1913.so\nWinampPluginControls=Input gain (dB)=6;Limit (dB)=-12\n",
       {"Slot 1: Sound-processing plug-in Fast Lookahead limiter (fastLookaheadLimiter) running, latency "},
       0.2f,
       0.2512f},
      // A second limiter, one instance per channel, its limit clamped to the hinted range (-50 .. 0).
      {"hard limiter",
       "WinampPlugin=hard_limiter_1413.so:hardLimiter\nWinampPluginControls=dB limit=-60\n",
       {"Slot 1: Sound-processing plug-in Hard Limiter (hardLimiter) running"},
       0.0f,
       0.0033f},
      // Failures: the log lines, and the recording goes on unprocessed.
      {"missing library",
       "WinampPlugin=/nowhere/limiter.so:limit\n",
       {"Slot 1: BASS_WADSP_Load: BASS Error 2",
        "Slot 1: Sound-processing plug-in /nowhere/limiter.so:limit not loaded: LADSPA library /nowhere/limiter.so "
        "not found"},
       0.49f,
       0.51f},
      {"missing label",
       "WinampPlugin=amp.so:amp_quad\n",
       {"Slot 1: BASS_WADSP_Load: BASS Error 37",
        "Slot 1: Sound-processing plug-in amp.so:amp_quad not loaded: /usr/lib/ladspa/amp.so has no plug-in "
        "labelled amp_quad"},
       0.49f,
       0.51f},
      {"wrong port layout",
       "WinampPlugin=noise.so:noise_white\n",
       {"Slot 1: BASS_WADSP_Start: BASS Error 6",
        "Slot 1: Sound-processing plug-in noise.so:noise_white not started: White Noise Source (noise_white) has 0 "
        "audio inputs and 1 audio outputs; a channel of 2 needs 1 and 1 or 2 and 2",
        "Slot 1: BASS_WADSP_ChannelSetDSP: BASS Error 9"},
       0.49f,
       0.51f},
  };
  for (const TPluginCase& c : cases)
  {
    SCOPED_TRACE(c.Name);
    fLog.clear();
    TSlotInfo& slot = MakeSlot("Device=PULSE:stereo.monitor\n" + c.Settings);
    const std::vector<int16_t> samples = RecordTone(slot);
    ASSERT_GT(samples.size(), 44100u);
    // A limiter's gain needs a moment to settle at the start of the tone: the second half counts.
    const float peak = Peak(samples, samples.size() / 2);
    EXPECT_GE(peak, c.PeakLow);
    EXPECT_LE(peak, c.PeakHigh);
    std::vector<std::string> pluginLines;
    for (const std::string& line : Log())
      if (line.find("plug-in") != std::string::npos || line.find("BASS_WADSP") != std::string::npos)
        pluginLines.push_back(line);
    ASSERT_EQ(pluginLines.size(), c.Logged.size()) << testing::PrintToString(Log());
    for (size_t i = 0; i < c.Logged.size(); ++i)
      EXPECT_EQ(pluginLines[i].rfind(c.Logged[i], 0), 0u) << pluginLines[i];
    // A failed plug-in is not in the chain; a running one is.
    EXPECT_EQ(slot.SoundPlugin().DSP() != 0, c.Logged.size() == 1);
    fSlot.reset();
  }
  EXPECT_TRUE(TSlotPlugin::Initialized());
}

TEST_F(SlotPluginTest, StreamOnlyProcessesTheOutgoingStreamNotTheRecording)
{
  const int port = FreeLoopbackPort();
  TSlotInfo& slot = MakeSlot("Device=PULSE:stereo.monitor\nFormat=mp3\nStreamingEnabled=on\nStreamingServerMode=on\n"
                             "StreamingHost=127.0.0.1\nStreamingPort=" +
                             std::to_string(port) +
                             "\nWinampPlugin=amp.so:amp_stereo\nWinampPluginControls=Gain=0.5\n"
                             "WinampPluginStreamOnly=on\n");
  slot.Initialize();
  slot.StartRecording();
  const std::string file = fFolder / "tone.wav";
  WriteStereoWav(file, 1000, 1000, 8.0);
  auto tone = Play("stereo", file);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > kToneAmplitude * 0.95f; }, 4s));
  slot.CycleEncoder();
  ASSERT_TRUE(WaitUntil([&] { return slot.StreamingStatus() == ssConnected; }, 10s)) << slot.StreamingMessage();
  // Two seconds of the 128 kbit/s stream as a listener of the built-in server gets them.
  const TStreamCapture stream = ListenToStream("http://127.0.0.1:" + std::to_string(port) + "/", 32000);
  slot.FinishRecording();
  const std::vector<float> streamed = DecodeToMono(stream.Audio);
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  const std::vector<float> recorded = DecodeToMono(TSettingsTempFolder::ReadFile(fFolder / "rec/" + rows[0].Filename));
  ASSERT_GT(streamed.size(), 44100u / 2);
  ASSERT_GT(recorded.size(), 44100u / 2);
  // The tone's amplitude late in the capture (the codec's ringing would blur peaks).
  auto amplitude = [](const std::vector<float>& iSamples)
  {
    // A tenth of a second: the capture's clock adjustments move the frequency slightly.
    return FitSineNear(iSamples.data() + iSamples.size() * 3 / 4, 1, 0, 4410, 44100, 1000, 5).Amplitude;
  };
  // The recording holds the tone as it came (MP3 keeps it within half a dB), the stream half of it.
  EXPECT_NEAR(amplitude(recorded), kToneAmplitude, 0.04);
  EXPECT_NEAR(amplitude(streamed) / amplitude(recorded), 0.5, 0.03);
  EXPECT_EQ(CountLog("Sound-processing plug-in Stereo Amplifier (amp_stereo) running on the stream only"), 1u);
}

TEST_F(SlotPluginTest, ReloadWhileRecordingLeavesNoGapInTheFile)
{
  TSlotInfo& slot = MakeSlot("Device=PULSE:stereo.monitor\nWinampPlugin=amp.so:amp_stereo\nWinampPluginControls="
                             "Gain=0.5\n");
  slot.Initialize();
  slot.StartRecording();
  const std::string file = fFolder / "tone.wav";
  WriteStereoWav(file, 1000, 1000, 5.0);
  auto tone = Play("stereo", file);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > kToneAmplitude * 0.95f; }, 4s));
  slot.CycleEncoder();
  ASSERT_NE(slot.Encoder(), 0u);
  // Reloads, also to the mono variant and back, while the pull thread runs the chain.
  for (int i = 0; i < 8; ++i)
  {
    EditSlotSettings(slot, [&](TSlotSettings& ioSettings)
                     { ioSettings.Plugin.Library = i % 2 ? "amp.so:amp_mono" : "amp.so:amp_stereo"; });
    slot.ReloadWinampPlugin();
    ASSERT_NE(slot.SoundPlugin().DSP(), 0u);
    std::this_thread::sleep_for(130ms);
  }
  slot.FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  const std::vector<int16_t> samples = ReadWav16(fFolder / "rec/" + rows[0].Filename);
  ASSERT_TRUE(rows[0].Duration);
  EXPECT_DOUBLE_EQ(*rows[0].Duration, static_cast<double>(samples.size() / 2) / 44100);
  EXPECT_GT(*rows[0].Duration, 0.9);
  // Every frame went through exactly one amplifier: the tone at half amplitude throughout, and a sine continues
  // by x[n] = 2 cos(w) x[n-1] - x[n-2]; a lost, doubled or unprocessed frame breaks that.
  const size_t frames = samples.size() / 2;
  const double c = std::cos(2 * M_PI * 1000 / 44100.0);
  double worst = 0;
  for (size_t n = 2; n < frames; ++n)
    for (size_t channel = 0; channel < 2; ++channel)
    {
      auto x = [&](size_t i) { return samples[2 * i + channel] / 32768.0; };
      worst = std::max(worst, std::fabs(x(n) - 2 * c * x(n - 1) + x(n - 2)));
    }
  EXPECT_LT(worst, 0.003);
  EXPECT_NEAR(Peak(samples, 0), 0.25f, 0.005f);
  EXPECT_EQ(CountLog("BASS_WADSP"), 0u);
}

TEST_F(SlotPluginTest, ControlValuesPersistAndAnEmptyNameReleasesThePlugin)
{
  TSlotInfo& slot = MakeSlot("WinampPlugin=fast_lookahead_limiter_1913.so\n"
                             "WinampPluginControls=Limit (dB)=-3;Release time (s)=9\n");
  slot.Initialize();
  TLadspaPlugin* plugin = slot.SoundPlugin().Plugin();
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->ControlsText(), "Input gain (dB)=0;Limit (dB)=-3;Release time (s)=2");
  plugin->SetControl(0, 4.5f);
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Plugin.Controls = plugin->ControlsText(); });
  slot.FlushConfig();
  EXPECT_NE(TSettingsTempFolder::ReadFile(fFolder / "Tapevault.ini")
                .find("WinampPluginControls=Input gain (dB)=4.5;Limit (dB)=-3;Release time (s)=2\n"),
            std::string::npos);
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Plugin.Library = ""; });
  slot.ReloadWinampPlugin();
  EXPECT_EQ(slot.SoundPlugin().Plugin(), nullptr);
  EXPECT_EQ(slot.SoundPlugin().DSP(), 0u);
}
} // namespace

#pragma once
// A decode mixer fed with a 440 Hz tone (amplitude 0.5, 44.1 kHz stereo) and pulled by a thread of its own
// about twice as fast as real time, for encoders that stream what it carries (header-only: only tests that
// link the engine include it).

#include "audio/engine/AudioEngine.h"
#include "support/EngineSignal.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

class TToneMixer
{
public:
  TToneMixer()
  {
    fMixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chNonStop | chFloat);
    fPush = TAudioEngine::StreamCreatePush(44100, 2, chDecode);
    TAudioEngine::MixerAddChannel(fMixer, fPush, 0);
    fFeeder = std::thread(
        [this]
        {
          std::vector<float> out(441 * 2);
          for (uint64_t fed = 0; !fStop; fed += 441)
          {
            if (fPaused)
            {
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
              continue;
            }
            const std::vector<int16_t> sine = SineInt16(44100, 440, 0.5, 441, 2, fed);
            TAudioEngine::StreamPutData(fPush, sine.data(), 441 * 4);
            TAudioEngine::ChannelGetData(fMixer, out.data(), 441 * 8);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        });
  }
  ~TToneMixer()
  {
    fStop = true;
    fFeeder.join();
    TAudioEngine::StreamFree(fMixer);
    TAudioEngine::StreamFree(fPush);
  }
  TToneMixer(const TToneMixer&) = delete;
  TToneMixer& operator=(const TToneMixer&) = delete;

  uint32_t Mixer() const { return fMixer; }
  // While paused, the mixer is not pulled: encoders get nothing new.
  void Pause(bool iPaused) { fPaused = iPaused; }

private:
  uint32_t fMixer = 0;
  uint32_t fPush = 0;
  std::atomic<bool> fStop{false};
  std::atomic<bool> fPaused{false};
  std::thread fFeeder;
};

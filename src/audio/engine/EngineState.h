#pragma once
// Process-wide state behind TAudioEngine: the structural lock and the configuration values.

#include <atomic>
#include <cstdint>
#include <mutex>

struct TEngineState
{
  static TEngineState& Instance();

  // Serialises every change of the graph (channels, sources, chain elements). Never taken by a pulling or
  // capture thread.
  std::mutex Graph;
  // Held by callers around "set encoder config, start encoder".
  std::mutex EncoderSetup;

  std::atomic<int32_t> FloatDSP{1};
  std::atomic<int32_t> NetPlaylist{0};
  std::atomic<int32_t> NetTimeoutMilliseconds{5000};
  std::atomic<int32_t> EncodePriority{-1000};
  std::atomic<int32_t> EncodeQueueMilliseconds{6000};
};

#pragma once
// Collects buffers that a capture thread hands over, for tests that examine what a device delivered.

#include "Wait.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

class TCapturedAudio
{
public:
  // To be called from the capture thread.
  void Add(const void* iBuffer, uint32_t iLength)
  {
    std::lock_guard lock(fMutex);
    const auto* bytes = static_cast<const unsigned char*>(iBuffer);
    fBytes.insert(fBytes.end(), bytes, bytes + iLength);
  }

  size_t Size() const
  {
    std::lock_guard lock(fMutex);
    return fBytes.size();
  }

  void Clear()
  {
    std::lock_guard lock(fMutex);
    fBytes.clear();
  }

  std::vector<unsigned char> Bytes() const
  {
    std::lock_guard lock(fMutex);
    return fBytes;
  }

  // Waits until at least iBytes arrived (true) or iTimeoutMs passed (false).
  bool WaitFor(size_t iBytes, int iTimeoutMs) const
  {
    return WaitUntil([&] { return Size() >= iBytes; }, std::chrono::milliseconds(iTimeoutMs));
  }

  // Root mean square of the samples (float32, or int16 scaled to full scale 1.0).
  double RMS(bool i16bit) const { return SampleRMS(Bytes(), i16bit); }

  static double SampleRMS(const std::vector<unsigned char>& iBytes, bool i16bit)
  {
    const size_t size = i16bit ? 2 : 4;
    const size_t count = iBytes.size() / size;
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
    {
      double value;
      if (i16bit)
      {
        int16_t sample;
        std::memcpy(&sample, &iBytes[i * size], size);
        value = sample / 32768.0;
      }
      else
      {
        float sample;
        std::memcpy(&sample, &iBytes[i * size], size);
        value = sample;
      }
      sum += value * value;
    }
    return count == 0 ? 0.0 : std::sqrt(sum / count);
  }

private:
  mutable std::mutex fMutex;
  std::vector<unsigned char> fBytes;
};

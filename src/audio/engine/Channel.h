#pragma once
// Base of every channel: its format, its position, and the chain of elements its samples pass. Reading runs
// production and chain under the channel's lock; changes of the chain build the new element list outside
// the lock and only swap it in under the lock, so the pulling thread waits at most for a swap.

#include "audio/engine/ChainElement.h"
#include "audio/engine/HandleTable.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class TMixer;

struct TChannelFormat
{
  uint32_t Rate = 0;
  uint32_t Channels = 0;
  bool Float = false;
  uint32_t SampleBytes() const { return Float ? 4 : 2; }
  uint32_t FrameBytes() const { return Channels * SampleBytes(); }
};

class TChannel : public TEngineObject
{
public:
  // Production and chain see at most this many frames at a time, so every step works on bounded buffers.
  static constexpr uint32_t kBlockFrames = 4096;

  TChannel(const TChannelFormat& iFormat, bool iDecode);

  const TChannelFormat& Format() const { return fFormat; }
  bool IsDecode() const { return fDecode; }
  // Frames delivered by Read so far.
  uint64_t Position() const { return fPosition.load(std::memory_order_acquire); }

  // Produces up to iLength bytes (whole frames) and runs the chain on them; returns the bytes delivered.
  // Never blocks beyond a chain swap, never allocates.
  uint32_t Read(void* oBuffer, uint32_t iLength);

  // Stops whatever pulls the channel by itself (an output device); the channel is about to be freed.
  virtual void Stop() {}

  // Chain changes; callers serialise them (the engine's structural lock).
  void InsertElement(TChainElement* iElement);
  bool RemoveElement(TChainElement* iElement);
  // iNew takes iOld's place between two buffers; one of another priority goes to the place of its priority.
  bool ReplaceElement(TChainElement* iOld, TChainElement* iNew);
  const std::vector<TChainElement*>& Elements() const { return fElements; }
  // Elements started for the chain that wait outside it (standby encoders); the structural lock guards them.
  std::vector<TChainElement*>& Standby() { return fStandby; }
  // Runs iChange under the channel's lock, i.e. between two buffers.
  template <class F> void BetweenBuffers(F&& iChange)
  {
    std::lock_guard lock(fLock);
    iChange();
  }

  // The mixer this channel is a source of; the engine's structural lock guards it.
  TMixer* Mixer() const { return fMixer; }
  void SetMixer(TMixer* iMixer) { fMixer = iMixer; }

protected:
  // Produces up to iFrames frames into oBuffer; fewer when the source has no more right now.
  virtual uint32_t Produce(void* oBuffer, uint32_t iFrames) = 0;

private:
  void SwapElements(std::vector<TChainElement*>& ioElements, TChainElement* iLeaving, TChainElement* iJoining);

  const TChannelFormat fFormat;
  const bool fDecode;
  std::atomic<uint64_t> fPosition{0};
  std::mutex fLock;
  std::vector<TChainElement*> fElements;
  std::vector<TChainElement*> fStandby;
  TMixer* fMixer = nullptr;
};

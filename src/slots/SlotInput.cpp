#include "slots/SlotInput.h"

#include "audio/AudioDevicesBase.h"
#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotErrors.h"

#include <chrono>
#include <thread>
#include <utility>

void TSlotInput::AttachDevice(TDeviceInfoWithClients& iDevice, const std::string& iDeviceID, uint32_t iMixer,
                              const TDeviceOpening& iOpening)
{
  const uint32_t channel = iDevice.AddClient(iOpening.SampleRate, iOpening.Use16Bit, iOpening.ASIOWorkaround);
  if (channel == 0)
    throw ESlotError(Format("AddClient: BASS Error %d", TAudioEngine::ErrorGetCode()));
  if (iOpening.ExtraSleep > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(iOpening.ExtraSleep));
  if (!TAudioEngine::MixerAddChannel(iMixer, channel, 0))
  {
    const int error = TAudioEngine::ErrorGetCode();
    iDevice.RemoveClient(channel);
    TAudioEngine::StreamFree(channel);
    throw ESlotError(Format("MixerAddChannel: %s", BassErrorText(error).c_str()));
  }
  std::lock_guard lock(fLock);
  fAttached.Device = &iDevice;
  fAttached.Channel = channel;
  fAttached.DeviceID = iDeviceID;
  ++fAttachment;
}

void TSlotInput::AttachStream(int iSlotIndex, uint32_t iMixer, const std::string& iURL, TInputStream::TEvents iEvents)
{
  auto stream = std::make_unique<TInputStream>(iSlotIndex, iMixer, iURL, std::move(iEvents));
  std::lock_guard lock(fLock);
  fAttached.Stream = std::move(stream);
  ++fAttachment;
}

void TSlotInput::SetStreamURL(std::string iURL)
{
  std::lock_guard lock(fLock);
  fStreamURL = std::move(iURL);
}

void TSlotInput::Detach()
{
  TAttached old;
  {
    std::lock_guard lock(fLock);
    std::swap(old, fAttached);
    ++fAttachment;
  }
  if (old.Device)
  {
    old.Device->RemoveClient(old.Channel);
    TAudioEngine::StreamFree(old.Channel);
  }
  // Ends the stream's thread; its stream leaves the mixer.
  old.Stream.reset();
}

TDeviceInfoWithClients* TSlotInput::Device() const
{
  std::lock_guard lock(fLock);
  return fAttached.Device;
}

std::string TSlotInput::DeviceID() const
{
  std::lock_guard lock(fLock);
  return fAttached.DeviceID;
}

uint32_t TSlotInput::Channel() const
{
  std::lock_guard lock(fLock);
  return fAttached.Channel;
}

std::string TSlotInput::StreamURL() const
{
  std::lock_guard lock(fLock);
  return fStreamURL;
}

std::string TSlotInput::StreamStatus() const
{
  std::lock_guard lock(fLock);
  return fAttached.Stream && fAttached.Stream->Channel() == 0 ? fAttached.Stream->Status() : std::string();
}

uint32_t TSlotInput::StreamChannel() const
{
  std::lock_guard lock(fLock);
  return fAttached.Stream ? fAttached.Stream->Channel() : 0;
}

TSlotInput::TSource TSlotInput::Source() const
{
  std::lock_guard lock(fLock);
  return {fAttached.Stream ? fAttached.Stream->Channel() : fAttached.Channel, fAttachment};
}

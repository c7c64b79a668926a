#pragma once
// The capture device registry: every capture input found at program start, under the identifier a slot's
// "Device" setting holds. ALSA PCMs come first ("ALSA:<pcm name>"), then PulseAudio sources
// ("PULSE:<source name>"). The registry is filled once before other threads exist and read-only afterwards.
// PulseAudio is asked at the server libpulse finds (PULSE_SERVER, the user's server); ALSA reads its
// configuration (ALSA_CONFIG_PATH or the system's).

#include "audio/AudioDevicesALSA.h"
#include "audio/AudioDevicesBase.h"
#include "audio/AudioDevicesList.h"
#include "audio/AudioDevicesPulse.h"

#include <memory>
#include <string>
#include <vector>

// Lists every input into DeviceList (after freeing a previous enumeration). Returns why a kind of input could
// not be listed (for example "PulseAudio: Init: Connection refused"), for the log; the other kinds are listed
// all the same.
std::vector<std::string> EnumerateDevices();
// Stops every input that still runs and frees the devices; DeviceList is empty afterwards.
void FreeDevices();

TDeviceList& DeviceList();
const std::vector<std::unique_ptr<TALSADeviceInfo>>& ALSADevices();
const std::vector<std::unique_ptr<TPulseDeviceInfo>>& PulseDevices();

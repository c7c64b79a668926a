#pragma once
// The capture device registry: every capture input found at program start, under the identifier a slot's
// "Device" setting holds. ALSA PCMs come first ("ALSA:<pcm name>"), then the bundles of JACK capture ports
// ("JACK:<device>:<first port>:<size>"), then PulseAudio sources ("PULSE:<source name>"). The registry is filled once
// before other threads exist and read-only afterwards. PulseAudio is asked at the server libpulse finds (PULSE_SERVER,
// the user's server); ALSA reads its configuration (ALSA_CONFIG_PATH or the system's). JACK device 0 is the default
// server (JACK_DEFAULT_SERVER), listed only when it runs: the program never starts a server.

#include "audio/AudioDevicesALSA.h"
#include "audio/AudioDevicesBase.h"
#include "audio/AudioDevicesJACK.h"
#include "audio/AudioDevicesList.h"
#include "audio/AudioDevicesPulse.h"

#include <memory>
#include <string>
#include <vector>

// Lists every input into DeviceList (after freeing a previous enumeration). Returns why a kind of input could
// not be listed (for example "PulseAudio: Init: Connection refused"), for the log; the other kinds are listed
// all the same. The JACK devices read their "JACKDevice<n>" sections from iConfigFile (nullptr: defaults).
std::vector<std::string> EnumerateDevices(TIniFile* iConfigFile = nullptr);
// Writes every JACK device's section (bundle sizes and server parameters) into iConfigFile.
void WriteJACKDeviceSections(TIniFile& iConfigFile);
// Stops every input that still runs and frees the devices; DeviceList is empty afterwards.
void FreeDevices();

TDeviceList& DeviceList();
const std::vector<std::unique_ptr<TALSADeviceInfo>>& ALSADevices();
const std::vector<std::unique_ptr<TJACKDeviceInfo>>& JACKDevices();
const std::vector<std::unique_ptr<TPulseDeviceInfo>>& PulseDevices();

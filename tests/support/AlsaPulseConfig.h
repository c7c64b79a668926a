#pragma once
// An ALSA configuration for tests: capture PCMs of type pulse that record sources of a test PulseAudio server,
// so ALSA capture can be tested without a sound card. The file replaces the system's ALSA configuration for this
// process (ALSA_CONFIG_PATH), which makes the list of ALSA PCMs exactly the ones written here.

#include <string>
#include <vector>

struct TAlsaPulsePCM
{
  std::string Name;        // the PCM name, for example "tapevault_test"
  std::string Source;      // the PulseAudio source it records, for example "sink1.monitor"
  std::string Description; // shown by the PCM's hint
};

// Writes "<iFolder>/asoundrc" with the PCMs, all talking to iServerAddress, followed by iMoreConfig (further
// ALSA configuration text), and points ALSA_CONFIG_PATH of this process at it. Returns the file's path.
std::string UseAlsaPulseConfig(const std::string& iFolder, const std::string& iServerAddress,
                               const std::vector<TAlsaPulsePCM>& iPCMs, const std::string& iMoreConfig = "");

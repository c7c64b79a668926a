#pragma once
// What paces a slot's mixer: the text "BASS" or "BASS:n" names an output device whose clock pulls the mixer
// (1 = the default sink, n = the n-th sink); any other text, also an empty one, leaves it to the slot's own
// pull thread on the system clock.

#include <cstdint>
#include <optional>
#include <string>

// The output device the clock source text names, or nothing for the pull thread. Case-sensitive.
std::optional<uint32_t> ClockSourceDevice(const std::string& iClockSource);

#pragma once
// Measuring the free space of the volume that holds a slot's recordings, for the cleanup by free space.

#include <cstdint>
#include <functional>
#include <string>

// Bytes available to the program on the volume holding iFolder; -1 when that cannot be determined.
using TFreeSpaceFunction = std::function<int64_t(const std::string& iFolder)>;

// The real measurement (statvfs: available blocks times the fragment size).
int64_t AvailableBytes(const std::string& iFolder);

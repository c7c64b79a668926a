#pragma once
// Byte ranges of the Range header ("bytes=first-last", either side may be absent) and which part of a file
// answers one of them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TByteRangeSpec
{
  std::optional<uint64_t> First;
  std::optional<uint64_t> Last;
};

// The ranges of a Range header; nothing when the header is not a readable byte-range set (it is then
// ignored, as if absent). Numbers too large for 64 bits count as the largest value.
std::optional<std::vector<TByteRangeSpec>> ParseRangeHeader(const std::string& iHeader);

enum TRangeStatus
{
  rgWholeFile,     // 200
  rgPart,          // 206 with First..Last
  rgNotSatisfiable // 416
};

struct TRangeAnswer
{
  TRangeStatus Status = rgWholeFile;
  uint64_t First = 0;
  uint64_t Last = 0; // inclusive
};

// One range applied to a file of iSize bytes.
TRangeAnswer ResolveByteRange(const TByteRangeSpec& iRange, uint64_t iSize);

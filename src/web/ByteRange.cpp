#include "web/ByteRange.h"

#include "web/WebText.h"

#include <algorithm>
#include <limits>

namespace
{
std::string Trim(const std::string& iText)
{
  const size_t first = iText.find_first_not_of(" \t");
  if (first == std::string::npos)
    return std::string();
  return iText.substr(first, iText.find_last_not_of(" \t") - first + 1);
}

// A run of digits, saturated at the largest 64-bit value; nothing when empty or not all digits.
std::optional<uint64_t> ReadNumber(const std::string& iText)
{
  if (iText.empty())
    return std::nullopt;
  uint64_t value = 0;
  constexpr uint64_t maximum = std::numeric_limits<uint64_t>::max();
  for (const char c : iText)
  {
    if (c < '0' || c > '9')
      return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    value = value > (maximum - digit) / 10 ? maximum : value * 10 + digit;
  }
  return value;
}

std::optional<TByteRangeSpec> ParseSpec(const std::string& iSpec)
{
  const size_t dash = iSpec.find('-');
  if (dash == std::string::npos)
    return std::nullopt;
  const std::string first = Trim(iSpec.substr(0, dash));
  const std::string last = Trim(iSpec.substr(dash + 1));
  TByteRangeSpec spec;
  if (!first.empty() && !(spec.First = ReadNumber(first)))
    return std::nullopt;
  if (!last.empty() && !(spec.Last = ReadNumber(last)))
    return std::nullopt;
  if (!spec.First && !spec.Last)
    return std::nullopt;
  return spec;
}
} // namespace

std::optional<std::vector<TByteRangeSpec>> ParseRangeHeader(const std::string& iHeader)
{
  const std::string header = Trim(iHeader);
  const size_t equals = header.find('=');
  if (equals == std::string::npos || !SameTextASCII(Trim(header.substr(0, equals)), "bytes"))
    return std::nullopt;
  std::vector<TByteRangeSpec> ranges;
  size_t start = equals + 1;
  while (start <= header.size())
  {
    const size_t comma = std::min(header.find(',', start), header.size());
    const std::string element = Trim(header.substr(start, comma - start));
    if (!element.empty())
    {
      const auto spec = ParseSpec(element);
      if (!spec)
        return std::nullopt;
      ranges.push_back(*spec);
    }
    start = comma + 1;
  }
  if (ranges.empty())
    return std::nullopt;
  return ranges;
}

TRangeAnswer ResolveByteRange(const TByteRangeSpec& iRange, uint64_t iSize)
{
  TRangeAnswer answer;
  if (!iRange.First)
  {
    const uint64_t suffix = iRange.Last.value_or(0);
    if (suffix == 0 || iSize == 0)
      answer.Status = rgNotSatisfiable;
    else
    {
      answer.Status = rgPart;
      answer.First = iSize - std::min(suffix, iSize);
      answer.Last = iSize - 1;
    }
    return answer;
  }
  const uint64_t first = *iRange.First;
  if (first >= iSize)
    answer.Status = rgNotSatisfiable;
  else if (!iRange.Last)
  {
    answer.Status = rgPart;
    answer.First = first;
    answer.Last = iSize - 1;
  }
  else if (*iRange.Last >= first)
  {
    answer.Status = rgPart;
    answer.First = first;
    answer.Last = std::min(*iRange.Last, iSize - 1);
  }
  return answer;
}

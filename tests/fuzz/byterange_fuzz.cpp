// Range headers from the network. The first line of the input is the file's size in bytes (digits; anything else
// counts as 1000), the rest the header. A header that is read must say the same when written out again, and every
// part answered lies inside the file and is the one the range asks for.
#include "FuzzChecks.h"
#include "web/ByteRange.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
uint64_t FileSize(const std::string& iText)
{
  if (iText.empty() || iText.size() > 19 || iText.find_first_not_of("0123456789") != std::string::npos)
    return 1000;
  return std::stoull(iText);
}

std::string HeaderText(const std::vector<TByteRangeSpec>& iRanges)
{
  std::string text = "bytes=";
  for (const TByteRangeSpec& range : iRanges)
    text += (&range == &iRanges.front() ? "" : ",") + (range.First ? std::to_string(*range.First) : "") + "-" +
            (range.Last ? std::to_string(*range.Last) : "");
  return text;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const std::string input(reinterpret_cast<const char*>(iData), iSize);
  const size_t newline = std::min(input.find('\n'), input.size());
  const uint64_t size = FileSize(input.substr(0, newline));
  const auto ranges = ParseRangeHeader(input.substr(std::min(newline + 1, input.size())));
  if (!ranges)
    return 0;
  Check(!ranges->empty());
  const auto again = ParseRangeHeader(HeaderText(*ranges));
  Check(again && again->size() == ranges->size());
  for (size_t i = 0; i < ranges->size(); ++i)
  {
    const TByteRangeSpec& range = (*ranges)[i];
    Check(range.First || range.Last);
    Check((*again)[i].First == range.First && (*again)[i].Last == range.Last);

    const TRangeAnswer answer = ResolveByteRange(range, size);
    if (answer.Status != rgPart)
    {
      // Not satisfiable only when no byte of the file is asked for; the whole file only for a reversed range.
      if (answer.Status == rgNotSatisfiable)
        Check(range.First ? *range.First >= size : (size == 0 || range.Last == 0u));
      else
        Check(range.First && range.Last && *range.Last < *range.First && *range.First < size);
      continue;
    }
    Check(answer.First <= answer.Last && answer.Last < size);
    if (range.First)
    {
      Check(answer.First == *range.First);
      Check(answer.Last == (range.Last ? std::min(*range.Last, size - 1) : size - 1));
    }
    else
      Check(answer.Last == size - 1 && answer.Last - answer.First + 1 == std::min(*range.Last, size));
  }
  return 0;
}

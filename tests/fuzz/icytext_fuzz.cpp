// Titles and addresses on their way to listeners and stream servers (ICY headers and metadata blocks). The input
// is a title, optionally followed by a NUL byte and an address. The texts must hold no line break or other control
// character, the metadata exactly its two fields with quotes only where the fields begin and end, it must fit
// into one metadata block, and UTF-8 must stay UTF-8 however the texts are cut.
#include "FuzzChecks.h"
#include "audio/engine/IcyText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
// What a listener's parser reads: the value from the opening quote after iName= up to the next "';".
std::string FieldValue(const std::string& iMetadata, size_t iStart, const std::string& iName, size_t& oEnd)
{
  Check(iMetadata.compare(iStart, iName.size() + 2, iName + "='") == 0);
  const size_t valueStart = iStart + iName.size() + 2;
  oEnd = iMetadata.find("';", valueStart);
  Check(oEnd != std::string::npos);
  const std::string value = iMetadata.substr(valueStart, oEnd - valueStart);
  Check(value.find('\'') == std::string::npos);
  oEnd += 2;
  return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const std::string input(reinterpret_cast<const char*>(iData), iSize);
  const size_t nul = input.find('\0');
  const std::string title = input.substr(0, nul);
  const std::string url = nul == std::string::npos ? std::string() : input.substr(nul + 1);

  const std::string line = OneLineText(input);
  Check(OneLine(line) && line.size() <= input.size());
  const std::string field = IcyFieldValue(title);
  Check(OneLine(field) && field.find('\'') == std::string::npos);

  const std::string metadata = IcyMetadata(title, url);
  Check(OneLine(metadata) && metadata.size() <= 255 * 16);
  size_t end = 0;
  const std::string titleValue = FieldValue(metadata, 0, "StreamTitle", end);
  Check(field.rfind(titleValue, 0) == 0);
  if (!url.empty())
  {
    const std::string urlValue = FieldValue(metadata, end, "StreamUrl", end);
    Check(IcyFieldValue(url).rfind(urlValue, 0) == 0);
  }
  Check(end == metadata.size());
  if (ValidUTF8(input))
    Check(ValidUTF8(line) && ValidUTF8(metadata));
  return 0;
}

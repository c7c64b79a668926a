#include "audio/backends/AlsaEnumerate.h"

#include <alsa/asoundlib.h>
#include <cstdlib>
#include <memory>

namespace
{
std::string HintText(const void* iHint, const char* iId)
{
  const std::unique_ptr<char, decltype(&std::free)> value(snd_device_name_get_hint(iHint, iId), &std::free);
  return value ? std::string(value.get()) : std::string();
}

std::string JoinLines(std::string iText)
{
  for (size_t at = iText.find('\n'); at != std::string::npos; at = iText.find('\n', at + 2))
    iText.replace(at, 1, ", ");
  return iText;
}
} // namespace

std::vector<TAlsaPCM> ListAlsaCapturePCMs()
{
  std::vector<TAlsaPCM> result;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr)
    return result;
  for (void** hint = hints; *hint != nullptr; ++hint)
  {
    const std::string direction = HintText(*hint, "IOID");
    const std::string name = HintText(*hint, "NAME");
    // No direction means the PCM plays and captures.
    if (name.empty() || (!direction.empty() && direction != "Input"))
      continue;
    const std::string description = JoinLines(HintText(*hint, "DESC"));
    result.push_back({name, description.empty() ? name : description});
  }
  snd_device_name_free_hint(hints);
  return result;
}

#include "slots/SlotTypes.h"

#include <array>

namespace
{
// Word tables indexed by the enumeration's ordinal; the value 0 is the fallback of an unknown word.
constexpr std::array<const char*, 3> SourceWords{"None", "Soundcard", "Stream"};
constexpr std::array<const char*, 3> ChannelWords{"stereo", "left", "right"};
constexpr std::array<const char*, 8> FormatWords{"mp3",   "mp2",       "ogg",       "wav16",
                                                 "wav32", "customwav", "customraw", "none"};
constexpr std::array<const char*, 3> ModeWords{"mono", "stereo", "jointstereo"};

template <size_t N> size_t IndexOf(const std::array<const char*, N>& iWords, const std::string& iText)
{
  for (size_t i = 0; i < N; ++i)
    if (iText == iWords[i])
      return i;
  return 0;
}

template <size_t N> std::string WordOf(const std::array<const char*, N>& iWords, size_t iIndex)
{
  return iIndex < N ? iWords[iIndex] : iWords[0];
}
} // namespace

TRecordSource RecordSourceFromText(const std::string& iText)
{
  // "None" is only ever written; reading it gives rsDisabled like any other unknown word.
  return static_cast<TRecordSource>(IndexOf(SourceWords, iText));
}

std::string RecordSourceText(TRecordSource iSource)
{
  return WordOf(SourceWords, iSource);
}

TRecordChannels RecordChannelsFromText(const std::string& iText)
{
  return static_cast<TRecordChannels>(IndexOf(ChannelWords, iText));
}

std::string RecordChannelsText(TRecordChannels iChannels)
{
  return WordOf(ChannelWords, iChannels);
}

TBassStreamingFormat StreamingFormatFromText(const std::string& iText)
{
  return static_cast<TBassStreamingFormat>(IndexOf(FormatWords, iText));
}

std::string StreamingFormatText(TBassStreamingFormat iFormat)
{
  return WordOf(FormatWords, iFormat);
}

TBassStreamingMode StreamingModeFromText(const std::string& iText)
{
  return static_cast<TBassStreamingMode>(IndexOf(ModeWords, iText));
}

std::string StreamingModeText(TBassStreamingMode iMode)
{
  return WordOf(ModeWords, iMode);
}

#include "slots/OutputStreamText.h"

#include "lib/Errors.h"
#include "slots/InputStreamTitleText.h"

#include <algorithm>
#include <cstdint>

namespace
{
// UTF-16 text (after its mark) as UTF-8; a lone surrogate or an odd last byte becomes U+FFFD.
std::string UTF16ToUTF8(const std::string& iBytes, size_t iStart, bool iBigEndian)
{
  std::string text;
  auto unit = [&](size_t iAt)
  {
    const auto first = static_cast<uint8_t>(iBytes[iAt]);
    const auto second = static_cast<uint8_t>(iBytes[iAt + 1]);
    return static_cast<uint32_t>(iBigEndian ? (first << 8) | second : (second << 8) | first);
  };
  size_t at = iStart;
  while (at + 1 < iBytes.size())
  {
    uint32_t code = unit(at);
    at += 2;
    if (code >= 0xD800 && code < 0xDC00 && at + 1 < iBytes.size() && unit(at) >= 0xDC00 && unit(at) < 0xE000)
    {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(at) - 0xDC00);
      at += 2;
    }
    else if (code >= 0xD800 && code < 0xE000)
      code = 0xFFFD;
    AppendUTF8(text, code);
  }
  if (at < iBytes.size())
    AppendUTF8(text, 0xFFFD);
  return text;
}

std::string FirstLine(const std::string& iText)
{
  return iText.substr(0, iText.find_first_of("\r\n"));
}
} // namespace

std::string StreamingServerAddress(const TOutputStreamAddress& iAddress)
{
  if (iAddress.ServerMode)
    return Format("%s:%d", iAddress.Host.c_str(), iAddress.Port);
  if (!iAddress.MountPoint.empty())
  {
    const std::string mount = iAddress.MountPoint[0] == '/' ? iAddress.MountPoint : "/" + iAddress.MountPoint;
    return Format("%s:%d%s", iAddress.Host.c_str(), iAddress.Port, mount.c_str());
  }
  if (!iAddress.StreamID.empty())
    return Format("%s:%d,%s", iAddress.Host.c_str(), iAddress.Port, iAddress.StreamID.c_str());
  return Format("%s:%d", iAddress.Host.c_str(), iAddress.Port);
}

std::string StreamingContentType(const std::string& iMimeType, TBassStreamingFormat iFormat)
{
  if (!iMimeType.empty())
    return iMimeType;
  switch (iFormat)
  {
  case sfMP3:
    return "audio/mpeg";
  case sfOggVorbis:
    return "audio/ogg";
  default:
    return std::string();
  }
}

std::string StreamingCastHeaders(const std::string& iAIM, const std::string& iIRC, const std::string& iICQ)
{
  return "icy-aim:" + iAIM + "\r\nicy-irc:" + iIRC + "\r\nicy-icq:" + iICQ + "\r\n";
}

TStreamInfo StreamingInfo(const TSlotSettings::TOutputStream& iStream, TBassStreamingFormat iFormat, int iBitrate)
{
  TStreamInfo info;
  info.Content = StreamingContentType(iStream.MimeType, iFormat);
  info.Name = iStream.Title;
  info.URL = iStream.URL;
  info.Genre = iStream.Genre;
  info.Description = iStream.Description;
  info.Headers = StreamingCastHeaders(iStream.AIM, iStream.IRC, iStream.ICQ);
  info.Bitrate = static_cast<uint32_t>(std::max(iBitrate, 0));
  info.Public = iStream.Public;
  return info;
}

std::string TitleFileTitle(const std::string& iBytes)
{
  if (iBytes.starts_with("\xEF\xBB\xBF"))
    return FirstLine(MetadataToUTF8(iBytes.substr(3)));
  if (iBytes.starts_with("\xFF\xFE"))
    return FirstLine(UTF16ToUTF8(iBytes, 2, false));
  if (iBytes.starts_with("\xFE\xFF"))
    return FirstLine(UTF16ToUTF8(iBytes, 2, true));
  return FirstLine(MetadataToUTF8(iBytes));
}

#include "audio/engine/Playlist.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace
{
std::string Lower(std::string iText)
{
  std::transform(iText.begin(), iText.end(), iText.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return iText;
}

std::string Trimmed(const std::string& iText)
{
  size_t first = iText.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (first == std::string::npos)
    return std::string();
  size_t last = iText.find_last_not_of(" \t\r\n");
  return iText.substr(first, last - first + 1);
}

// The address without query and fragment, lower case, for looking at its extension.
std::string PathPart(const std::string& iURL)
{
  return Lower(iURL.substr(0, iURL.find_first_of("?#")));
}

bool EndsWith(const std::string& iText, const char* iEnd)
{
  size_t length = std::strlen(iEnd);
  return iText.size() >= length && iText.compare(iText.size() - length, length, iEnd) == 0;
}

bool HasScheme(const std::string& iText)
{
  size_t colon = iText.find("://");
  return colon != std::string::npos && colon > 0 &&
         std::all_of(iText.begin(), iText.begin() + long(colon), [](unsigned char c) { return std::isalpha(c); });
}

std::string Resolved(const std::string& iEntry, const std::string& iBaseURL)
{
  if (HasScheme(iEntry))
    return iEntry;
  std::string base = iBaseURL.substr(0, iBaseURL.find_first_of("?#"));
  size_t authority = base.find("://");
  if (authority == std::string::npos)
    return iEntry;
  size_t pathStart = base.find('/', authority + 3);
  if (!iEntry.empty() && iEntry[0] == '/')
    return base.substr(0, pathStart) + iEntry;
  if (pathStart == std::string::npos)
    return base + "/" + iEntry;
  return base.substr(0, base.rfind('/') + 1) + iEntry;
}
} // namespace

bool IsPlaylistResponse(const std::string& iContentType, const std::string& iURL)
{
  const std::string type = Lower(iContentType.substr(0, iContentType.find(';')));
  if (type == "audio/x-scpls" || type == "audio/scpls" || type == "audio/x-mpegurl" || type == "audio/mpegurl" ||
      type == "application/x-mpegurl" || type == "application/vnd.apple.mpegurl" || type == "application/pls+xml")
    return true;
  // Servers often send playlist files as text or bytes of no particular kind; the address tells then.
  if (type.empty() || type == "text/plain" || type == "application/octet-stream")
  {
    const std::string path = PathPart(iURL);
    return EndsWith(path, ".pls") || EndsWith(path, ".m3u") || EndsWith(path, ".m3u8");
  }
  return false;
}

bool IsHLSPlaylist(const std::string& iText)
{
  return iText.find("#EXT-X-") != std::string::npos;
}

std::vector<std::string> PlaylistEntries(const std::string& iText, const std::string& iBaseURL, size_t iMaxEntries)
{
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < iText.size() && entries.size() < iMaxEntries)
  {
    size_t end = iText.find_first_of("\r\n", start);
    if (end == std::string::npos)
      end = iText.size();
    const std::string line = Trimmed(iText.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == '[')
      continue;
    // .pls: FileN=address; other keys (TitleN, LengthN, NumberOfEntries, Version) are no entries.
    size_t equals = line.find('=');
    if (equals != std::string::npos && !HasScheme(line.substr(0, equals + 1)))
    {
      const std::string key = Lower(line.substr(0, equals));
      if (key.rfind("file", 0) == 0)
      {
        const std::string value = Trimmed(line.substr(equals + 1));
        if (!value.empty())
          entries.push_back(Resolved(value, iBaseURL));
      }
      continue;
    }
    entries.push_back(Resolved(line, iBaseURL));
  }
  return entries;
}

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
  size_t First = iText.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (First == std::string::npos)
    return std::string();
  size_t Last = iText.find_last_not_of(" \t\r\n");
  return iText.substr(First, Last - First + 1);
}

// The address without query and fragment, lower case, for looking at its extension.
std::string PathPart(const std::string& iURL)
{
  return Lower(iURL.substr(0, iURL.find_first_of("?#")));
}

bool EndsWith(const std::string& iText, const char* iEnd)
{
  size_t Length = std::strlen(iEnd);
  return iText.size() >= Length && iText.compare(iText.size() - Length, Length, iEnd) == 0;
}

bool HasScheme(const std::string& iText)
{
  size_t Colon = iText.find("://");
  return Colon != std::string::npos && Colon > 0 &&
         std::all_of(iText.begin(), iText.begin() + long(Colon), [](unsigned char c) { return std::isalpha(c); });
}

std::string Resolved(const std::string& iEntry, const std::string& iBaseURL)
{
  if (HasScheme(iEntry))
    return iEntry;
  std::string Base = iBaseURL.substr(0, iBaseURL.find_first_of("?#"));
  size_t Authority = Base.find("://");
  if (Authority == std::string::npos)
    return iEntry;
  size_t PathStart = Base.find('/', Authority + 3);
  if (!iEntry.empty() && iEntry[0] == '/')
    return Base.substr(0, PathStart) + iEntry;
  if (PathStart == std::string::npos)
    return Base + "/" + iEntry;
  return Base.substr(0, Base.rfind('/') + 1) + iEntry;
}
} // namespace

bool IsPlaylistResponse(const std::string& iContentType, const std::string& iURL)
{
  const std::string Type = Lower(iContentType.substr(0, iContentType.find(';')));
  if (Type == "audio/x-scpls" || Type == "audio/scpls" || Type == "audio/x-mpegurl" || Type == "audio/mpegurl" ||
      Type == "application/x-mpegurl" || Type == "application/vnd.apple.mpegurl" || Type == "application/pls+xml")
    return true;
  // Servers often send playlist files as text or bytes of no particular kind; the address tells then.
  if (Type.empty() || Type == "text/plain" || Type == "application/octet-stream")
  {
    const std::string Path = PathPart(iURL);
    return EndsWith(Path, ".pls") || EndsWith(Path, ".m3u") || EndsWith(Path, ".m3u8");
  }
  return false;
}

bool IsHLSPlaylist(const std::string& iText)
{
  return iText.find("#EXT-X-") != std::string::npos;
}

std::vector<std::string> PlaylistEntries(const std::string& iText, const std::string& iBaseURL, size_t iMaxEntries)
{
  std::vector<std::string> Entries;
  size_t Start = 0;
  while (Start < iText.size() && Entries.size() < iMaxEntries)
  {
    size_t End = iText.find_first_of("\r\n", Start);
    if (End == std::string::npos)
      End = iText.size();
    const std::string Line = Trimmed(iText.substr(Start, End - Start));
    Start = End + 1;
    if (Line.empty() || Line[0] == '#' || Line[0] == '[')
      continue;
    // .pls: FileN=address; other keys (TitleN, LengthN, NumberOfEntries, Version) are no entries.
    size_t Equals = Line.find('=');
    if (Equals != std::string::npos && !HasScheme(Line.substr(0, Equals + 1)))
    {
      const std::string Key = Lower(Line.substr(0, Equals));
      if (Key.rfind("file", 0) == 0)
      {
        const std::string Value = Trimmed(Line.substr(Equals + 1));
        if (!Value.empty())
          Entries.push_back(Resolved(Value, iBaseURL));
      }
      continue;
    }
    Entries.push_back(Resolved(Line, iBaseURL));
  }
  return Entries;
}

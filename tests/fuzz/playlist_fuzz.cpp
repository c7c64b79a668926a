// Playlists (.pls, .m3u, .m3u8) as stations publish them. The first line of the input is the address the playlist
// came from, the rest its text. Every entry is one trimmed line that is no comment or section; an entry without
// a scheme of its own is resolved onto the playlist's server, so a playlist from an http(s) address never leads
// to another kind of address unless it names one, and those the stream input refuses.
#include "FuzzChecks.h"
#include "audio/engine/Playlist.h"
#include "audio/engine/StreamURL.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
bool StartsWithNoCase(const std::string& iText, const std::string& iStart)
{
  return iText.size() >= iStart.size() &&
         std::equal(iStart.begin(), iStart.end(), iText.begin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

bool WebAddress(const std::string& iText)
{
  return (StartsWithNoCase(iText, "http://") && iText.size() > 7) ||
         (StartsWithNoCase(iText, "https://") && iText.size() > 8);
}

// "scheme://host" of an address.
std::string Origin(const std::string& iURL)
{
  const std::string base = iURL.substr(0, iURL.find_first_of("?#"));
  return base.substr(0, base.find('/', base.find("://") + 3));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const std::string input(reinterpret_cast<const char*>(iData), iSize);
  // Only an http(s) address is ever fetched, and it is one line (the settings refuse control characters, entries
  // are split at line ends): a first line that is no such address stands for a fixed one.
  const size_t newline = std::min(input.find_first_of("\r\n"), input.size());
  const std::string firstLine = input.substr(0, newline);
  const std::string base = IsAllowedStreamURL(firstLine) ? firstLine : "http://radio.example/list/playlist.pls";
  const std::string text = input.substr(std::min(newline + 1, input.size()));
  IsPlaylistResponse(base, base);
  IsHLSPlaylist(text);

  const std::vector<std::string> entries = PlaylistEntries(text, base);
  Check(entries.size() <= 16);
  for (const std::string& entry : entries)
  {
    Check(!entry.empty() && entry.find_first_of("\r\n") == std::string::npos);
    Check(entry.front() != '#' && entry.front() != '[');
    Check(std::string(" \t").find(entry.back()) == std::string::npos);
    Check(IsAllowedStreamURL(entry) == WebAddress(entry));
    // An entry that is not in the text as it stands was resolved against the playlist's address.
    if (text.find(entry) == std::string::npos)
      Check(WebAddress(entry) && entry.rfind(Origin(base), 0) == 0);
  }
  return 0;
}

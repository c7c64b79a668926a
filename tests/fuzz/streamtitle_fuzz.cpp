// What stations send, on arbitrary bytes: ICY metadata text to a title (always valid UTF-8 on one line without
// control characters), Vorbis comments to metadata text and back, the cue sheet lines of the title (the title one
// field), and playlist entries. Nothing may crash, and the texts must keep their shape.
#include "FuzzChecks.h"
#include "audio/engine/Playlist.h"
#include "audio/engine/StreamTags.h"
#include "slots/InputStreamTitleText.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const std::string text(reinterpret_cast<const char*>(iData), iSize);
  if (!ValidUTF8(MetadataToUTF8(text)))
    std::abort();
  const std::optional<std::string> title = StreamTitleFromMetadata(text);
  if (title)
  {
    if (!ValidUTF8(*title) ||
        std::any_of(title->begin(), title->end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
      std::abort();
    const std::vector<std::string> lines = CueSheetTrackLines(static_cast<int>(iSize), *title, int64_t(iSize) * 997);
    const std::string field = lines.size() == 3 ? lines[1].substr(std::min<size_t>(lines[1].size(), 11)) : "";
    if (lines.size() != 3 || lines[1].rfind("    TITLE \"", 0) != 0 || field.empty() || field.back() != '"' ||
        field.find('"') != field.size() - 1 || lines[2].rfind("    INDEX 01 ", 0) != 0)
      std::abort();
  }
  // A title without "';" in it survives the round trip through the Vorbis comment form.
  const size_t half = text.size() / 2;
  const std::string artist = MetadataToUTF8(text.substr(0, half)), name = MetadataToUTF8(text.substr(half));
  if (artist.find("';") == std::string::npos && name.find("';") == std::string::npos && !artist.empty() &&
      !name.empty())
  {
    const std::optional<std::string> back = StreamTitleFromMetadata(VorbisCommentStreamTitle(artist, name));
    if (!back || *back != FlattenedTitle(artist + " - " + name))
      std::abort();
  }
  for (const std::string& entry : PlaylistEntries(text, "http://radio.example/list/playlist.pls"))
    if (entry.empty() || entry.find_first_of("\r\n") != std::string::npos)
      std::abort();
  return 0;
}

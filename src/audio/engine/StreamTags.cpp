#include "audio/engine/StreamTags.h"

std::string VorbisCommentStreamTitle(const std::string& iArtist, const std::string& iTitle)
{
  if (iArtist.empty() && iTitle.empty())
    return std::string();
  const std::string title = iArtist.empty() ? iTitle : iTitle.empty() ? iArtist : iArtist + " - " + iTitle;
  return "StreamTitle='" + title + "';";
}

#pragma once
// Stream metadata in the form radio stations send it over ICY: "StreamTitle='...';". Ogg, Opus and FLAC streams
// carry titles as Vorbis comments instead; they are presented the same way, so that every station has titles.

#include <string>

// "StreamTitle='ARTIST - TITLE';" (either part alone without the dash); empty when both are empty.
std::string VorbisCommentStreamTitle(const std::string& iArtist, const std::string& iTitle);

#pragma once
// Playlists that radio stations publish instead of a stream address: .pls (File1=...) and plain .m3u (one address
// per line, # lines are comments). HLS playlists (.m3u8 with #EXT-X- tags) are streams of their own, read by the
// demuxer.

#include <string>
#include <vector>

// Whether a response of this content type (or, for a vague one, at this address) holds a playlist to resolve.
bool IsPlaylistResponse(const std::string& iContentType, const std::string& iURL);
// Whether iText is an HLS playlist.
bool IsHLSPlaylist(const std::string& iText);
// The entries of a .pls or .m3u text in order, relative ones resolved against iBaseURL; at most iMaxEntries.
std::vector<std::string> PlaylistEntries(const std::string& iText, const std::string& iBaseURL,
                                         size_t iMaxEntries = 16);

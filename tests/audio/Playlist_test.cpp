// Playlists of radio stations: which responses are playlists, and their entries.

#include "audio/engine/Playlist.h"

#include <gtest/gtest.h>

TEST(Playlist, RecognisesPlaylistResponses)
{
  EXPECT_TRUE(IsPlaylistResponse("audio/x-scpls", "http://a/listen"));
  EXPECT_TRUE(IsPlaylistResponse("audio/x-mpegurl; charset=utf-8", "http://a/listen"));
  EXPECT_TRUE(IsPlaylistResponse("text/plain", "http://a/radio.PLS?x=1"));
  EXPECT_TRUE(IsPlaylistResponse("", "http://a/radio.m3u"));
  EXPECT_FALSE(IsPlaylistResponse("audio/mpeg", "http://a/radio.m3u"));
  EXPECT_FALSE(IsPlaylistResponse("text/plain", "http://a/stream"));
  EXPECT_TRUE(IsHLSPlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:10\nseg1.ts\n"));
  EXPECT_FALSE(IsHLSPlaylist("#EXTM3U\n#EXTINF:-1,Radio\nhttp://a/live\n"));
}

TEST(Playlist, ListsEntriesResolvedAgainstThePlaylist)
{
  EXPECT_EQ(PlaylistEntries("[playlist]\r\nNumberOfEntries=3\r\nFile1=http://a:8000/live\r\nTitle1=A\r\n"
                            "File2=other.mp3\r\nFile3=/root.aac\r\nVersion=2\r\n",
                            "http://host/lists/radio.pls?id=4"),
            (std::vector<std::string>{"http://a:8000/live", "http://host/lists/other.mp3", "http://host/root.aac"}));
  EXPECT_EQ(PlaylistEntries("\xEF\xBB\xBF#EXTM3U\n#EXTINF:-1,Radio\nhttps://b/stream?x=1&y=2\n\n", "http://host/r.m3u"),
            (std::vector<std::string>{"https://b/stream?x=1&y=2"}));
  EXPECT_TRUE(PlaylistEntries("# nothing\n", "http://host/r.m3u").empty());
  EXPECT_EQ(PlaylistEntries(std::string(100, 'x') + "\n" + std::string(100, 'y'), "http://h/", 1).size(), 1u);
}

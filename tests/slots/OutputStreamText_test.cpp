// The texts of the outgoing stream: server address, content type, cast headers, what the stream tells about
// itself, and the title file's title.

#include "slots/OutputStreamText.h"

#include <gtest/gtest.h>

TEST(OutputStreamText, ServerAddress)
{
  struct TCase
  {
    TOutputStreamAddress Address;
    const char* Expected;
  };
  const TCase cases[] = {
      {{false, "H", 8000, "live", ""}, "H:8000/live"},
      {{false, "H", 8000, "/live", "1"}, "H:8000/live"},
      {{false, "H", 8000, "", "1"}, "H:8000,1"},
      {{false, "radio.example", 8010, "", ""}, "radio.example:8010"},
      {{true, "127.0.0.1", 8100, "live", "1"}, "127.0.0.1:8100"},
      {{true, "", 8100, "", ""}, ":8100"},
  };
  for (const TCase& test : cases)
    EXPECT_EQ(StreamingServerAddress(test.Address), test.Expected) << test.Expected;
}

TEST(OutputStreamText, ContentType)
{
  struct TCase
  {
    const char* MimeType;
    TBassStreamingFormat Format;
    const char* Expected;
  };
  const TCase cases[] = {
      {"", sfMP3, "audio/mpeg"},
      {"", sfOggVorbis, "audio/ogg"},
      {"", sfMP2, ""},
      {"", sfWAV16, ""},
      {"", sfCustomRaw, ""},
      {"audio/aacp", sfCustomRaw, "audio/aacp"},
      {"application/ogg", sfOggVorbis, "application/ogg"},
  };
  for (const TCase& test : cases)
    EXPECT_EQ(StreamingContentType(test.MimeType, test.Format), test.Expected) << test.Format;
}

TEST(OutputStreamText, CastHeadersAreAlwaysAllThree)
{
  EXPECT_EQ(StreamingCastHeaders("", "", ""), "icy-aim:\r\nicy-irc:\r\nicy-icq:\r\n");
  EXPECT_EQ(StreamingCastHeaders("a", "#radio", "123"), "icy-aim:a\r\nicy-irc:#radio\r\nicy-icq:123\r\n");
}

TEST(OutputStreamText, StreamInfoForCastAndServerAlike)
{
  TSlotSettings::TOutputStream stream;
  stream.Title = "Radio";
  stream.URL = "http://radio.example/";
  stream.Genre = "News";
  stream.Description = "Around the clock";
  stream.AIM = "a";
  stream.Public = true;
  const TStreamInfo info = StreamingInfo(stream, sfOggVorbis, 96);
  EXPECT_EQ(info.Content, "audio/ogg");
  EXPECT_EQ(info.Name, "Radio");
  EXPECT_EQ(info.URL, "http://radio.example/");
  EXPECT_EQ(info.Genre, "News");
  EXPECT_EQ(info.Description, "Around the clock");
  EXPECT_EQ(info.Headers, "icy-aim:a\r\nicy-irc:\r\nicy-icq:\r\n");
  EXPECT_EQ(info.Bitrate, 96u);
  EXPECT_TRUE(info.Public);
  stream.MimeType = "audio/aacp";
  stream.Public = false;
  const TStreamInfo custom = StreamingInfo(stream, sfCustomRaw, 64);
  EXPECT_EQ(custom.Content, "audio/aacp");
  EXPECT_FALSE(custom.Public);
}

TEST(OutputStreamText, TitleFileTitle)
{
  struct TCase
  {
    std::string Bytes;
    const char* Expected;
  };
  const TCase cases[] = {
      {"", ""},
      {"Artist - Song", "Artist - Song"},
      {"First\r\nSecond\r\n", "First"},
      {"First\nSecond", "First"},
      {"\r\nSecond", ""},
      {"Caf\xC3\xA9", "Caf\xC3\xA9"},               // UTF-8 without a mark
      {"Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"}, // not UTF-8: Windows-1252
      {"\xEF\xBB\xBF"
       "Caf\xC3\xA9\r\nx",
       "Caf\xC3\xA9"}, // UTF-8 mark
      {std::string("\xFF\xFE"
                   "C\0a\0f\0\xE9\0\r\0\n\0x\0",
                   16),
       "Caf\xC3\xA9"},                                                  // UTF-16 LE
      {std::string("\xFE\xFF\0C\0a\0f\0\xE9", 10), "Caf\xC3\xA9"},      // UTF-16 BE
      {std::string("\xFF\xFE\x3D\xD8\x01\xDE", 6), "\xF0\x9F\x98\x81"}, // surrogate pair
      {std::string("\xFF\xFE\x3D\xD8"
                   "A\0",
                   6),
       "\xEF\xBF\xBD"
       "A"}, // lone surrogate
  };
  for (const TCase& test : cases)
    EXPECT_EQ(TitleFileTitle(test.Bytes), test.Expected) << test.Bytes;
}

#pragma once
// The texts of a slot's outgoing stream: the server address handed to the engine, the content type, the extra
// cast headers, and the title read from a title file.

#include "audio/engine/EngineTypes.h"
#include "slots/SlotSettings.h"
#include "slots/SlotTypes.h"

#include <string>

struct TOutputStreamAddress
{
  bool ServerMode = false; // the slot serves the stream itself; Host is the address to listen on
  std::string Host;
  int Port = 8000;
  std::string MountPoint;
  std::string StreamID;
};

// "host:port" for the built-in server; for casting "host:port/mount" (a "/" put in front of a mount point
// without one), else "host:port,sid" with a stream ID, else "host:port".
std::string StreamingServerAddress(const TOutputStreamAddress& iAddress);
// iMimeType when set, else "audio/mpeg" for MP3, "audio/ogg" for Ogg Vorbis, empty for every other format.
std::string StreamingContentType(const std::string& iMimeType, TBassStreamingFormat iFormat);
// "icy-aim:", "icy-irc:" and "icy-icq:" with their values, each line ended by CR LF; always all three.
std::string StreamingCastHeaders(const std::string& iAIM, const std::string& iIRC, const std::string& iICQ);
// What the stream tells its server and listeners about itself, for a cast and for the built-in server alike:
// content type, name ("StreamingTitle"), URL, genre, description, the extra cast headers, bit rate and public flag.
TStreamInfo StreamingInfo(const TSlotSettings::TOutputStream& iStream, TBassStreamingFormat iFormat, int iBitrate);
// The title in a title file's bytes: its first line (empty for an empty file) in UTF-8. A byte-order mark
// selects UTF-8 or UTF-16 (either byte order); without one, valid UTF-8 is taken as it is and anything else as
// Windows-1252, as the titles of incoming streams.
std::string TitleFileTitle(const std::string& iBytes);

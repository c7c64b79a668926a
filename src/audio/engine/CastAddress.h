#pragma once
// The server text of a cast: "host:port/mount" (Icecast 2), "host:port" (Shoutcast v1) or "host:port,sid"
// (Shoutcast v2 stream ID). IPv6 hosts go in brackets.

#include <cstdint>
#include <optional>
#include <string>

struct TCastAddress
{
  enum TProtocol
  {
    cpIcecast,   // HTTP PUT to a mount point
    cpShoutcast, // legacy ICY source protocol (to the server's source port)
  };
  TProtocol Protocol = cpIcecast;
  std::string Host;
  uint16_t Port = 0;
  std::string Mount;    // with its leading "/", Icecast only
  std::string StreamID; // Shoutcast v2 only; empty for v1
};

// Empty when the text has no host, no valid port, or an empty mount or stream ID.
std::optional<TCastAddress> ParseCastAddress(const std::string& iServer);

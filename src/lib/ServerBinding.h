#pragma once
// Where a server listens (the web server, the built-in stream server): the port text of the settings and the
// listening socket made from it.

#include "lib/FileHandle.h"

#include <cstdint>
#include <string>

struct TServerBinding
{
  // Empty: every address (IPv6 and IPv4).
  std::string Address;
  uint16_t Port = 0;
};

// "address:port" (the address is the text before the last colon, IPv6 addresses also in brackets) and ":port"
// bind at that port; any other text sets ioDefaultPort when it is a number and keeps it otherwise, and binds
// every address at ioDefaultPort. Throws when a port lies outside 0 to 65535.
TServerBinding ServerBindingFromText(const std::string& iPortText, uint16_t& ioDefaultPort);

// A listening TCP socket for the binding; throws with a readable reason (address in use, address not local).
// oPort receives the port actually bound (the binding's port, or the one chosen for port 0).
TFileHandle OpenListenSocket(const TServerBinding& iBinding, uint16_t& oPort);

// "address:port" for messages: "*" for every address, IPv6 addresses in brackets.
std::string DisplayAddress(const TServerBinding& iBinding);

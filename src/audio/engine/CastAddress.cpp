#include "audio/engine/CastAddress.h"

#include <charconv>

std::optional<TCastAddress> ParseCastAddress(const std::string& iServer)
{
  TCastAddress address;
  std::string rest;
  if (!iServer.empty() && iServer.front() == '[')
  {
    const size_t close = iServer.find(']');
    if (close == std::string::npos || close + 1 >= iServer.size() || iServer[close + 1] != ':')
      return std::nullopt;
    address.Host = iServer.substr(1, close - 1);
    rest = iServer.substr(close + 2);
  }
  else
  {
    const size_t colon = iServer.find(':');
    if (colon == std::string::npos)
      return std::nullopt;
    address.Host = iServer.substr(0, colon);
    rest = iServer.substr(colon + 1);
  }
  if (address.Host.empty())
    return std::nullopt;
  const size_t portEnd = rest.find_first_not_of("0123456789");
  const std::string port = rest.substr(0, portEnd);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
    return std::nullopt;
  address.Port = static_cast<uint16_t>(value);
  const std::string tail = portEnd == std::string::npos ? std::string() : rest.substr(portEnd);
  if (tail.empty())
    address.Protocol = TCastAddress::cpShoutcast;
  else if (tail.front() == '/')
  {
    if (tail.size() < 2)
      return std::nullopt;
    address.Mount = tail;
  }
  else if (tail.front() == ',')
  {
    if (tail.size() < 2)
      return std::nullopt;
    address.Protocol = TCastAddress::cpShoutcast;
    address.StreamID = tail.substr(1);
  }
  else
    return std::nullopt;
  return address;
}

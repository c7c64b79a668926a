#include "web/ClientAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

std::string ClientAddressText(const sockaddr* iAddress)
{
  char text[INET6_ADDRSTRLEN] = "";
  if (!iAddress)
    return "";
  if (iAddress->sa_family == AF_INET)
  {
    sockaddr_in address;
    std::memcpy(&address, iAddress, sizeof(address));
    return inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text)) ? text : "";
  }
  if (iAddress->sa_family != AF_INET6)
    return "";
  sockaddr_in6 address;
  std::memcpy(&address, iAddress, sizeof(address));
  if (IN6_IS_ADDR_V4MAPPED(&address.sin6_addr))
    return inet_ntop(AF_INET, &address.sin6_addr.s6_addr[12], text, sizeof(text)) ? text : "";
  return inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof(text)) ? text : "";
}

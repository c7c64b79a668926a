#include "lib/ServerBinding.h"

#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>

namespace
{
uint16_t PortNumber(const std::string& iText)
{
  const int port = DigitsToInt(iText);
  if (port < 0 || port > 65535)
    throw std::runtime_error(Format("Invalid port %s", iText.c_str()));
  return static_cast<uint16_t>(port);
}

TFileHandle BindAndListen(const sockaddr* iAddress, socklen_t iLength, int& oError)
{
  TFileHandle socket(::socket(iAddress->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid())
  {
    oError = errno;
    return socket;
  }
  const int on = 1;
  const int off = 0;
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  if (iAddress->sa_family == AF_INET6)
    ::setsockopt(socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof(off));
  if (::bind(socket.Get(), iAddress, iLength) != 0 || ::listen(socket.Get(), SOMAXCONN) != 0)
  {
    oError = errno;
    return TFileHandle();
  }
  return socket;
}
} // namespace

TServerBinding ServerBindingFromText(const std::string& iPortText, uint16_t& ioDefaultPort)
{
  TServerBinding binding;
  TBrendleRegExpr expression;
  if (expression.Matches("^(.*):(\\d+)$", iPortText))
  {
    binding.Address = expression.Group(1);
    if (binding.Address.size() >= 2 && binding.Address.front() == '[' && binding.Address.back() == ']')
      binding.Address = binding.Address.substr(1, binding.Address.size() - 2);
    binding.Port = PortNumber(expression.Group(2));
    return binding;
  }
  if (DigitsToInt(iPortText) >= 0)
    ioDefaultPort = PortNumber(iPortText);
  binding.Port = ioDefaultPort;
  return binding;
}

TFileHandle OpenListenSocket(const TServerBinding& iBinding, uint16_t& oPort)
{
  int error = 0;
  TFileHandle socket;
  if (iBinding.Address.empty())
  {
    // Every address: one IPv6 socket that also takes IPv4, or IPv4 alone where IPv6 is missing.
    sockaddr_in6 any6{};
    any6.sin6_family = AF_INET6;
    any6.sin6_addr = in6addr_any;
    any6.sin6_port = htons(iBinding.Port);
    socket = BindAndListen(reinterpret_cast<const sockaddr*>(&any6), sizeof(any6), error);
    if (!socket.Valid() && (error == EAFNOSUPPORT || error == EADDRNOTAVAIL))
    {
      sockaddr_in any4{};
      any4.sin_family = AF_INET;
      any4.sin_addr.s_addr = htonl(INADDR_ANY);
      any4.sin_port = htons(iBinding.Port);
      socket = BindAndListen(reinterpret_cast<const sockaddr*>(&any4), sizeof(any4), error);
    }
  }
  else
  {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    const int result =
        ::getaddrinfo(iBinding.Address.c_str(), std::to_string(iBinding.Port).c_str(), &hints, &addresses);
    if (result != 0)
      throw std::runtime_error(Format("Invalid address %s: %s", iBinding.Address.c_str(), ::gai_strerror(result)));
    socket = BindAndListen(addresses->ai_addr, addresses->ai_addrlen, error);
    ::freeaddrinfo(addresses);
  }
  if (!socket.Valid())
    throw std::runtime_error(
        Format("Could not bind socket to %s: %s", DisplayAddress(iBinding).c_str(), std::strerror(error)));
  sockaddr_storage bound{};
  socklen_t length = sizeof(bound);
  ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
  oPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port
                                            : reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  return socket;
}

std::string DisplayAddress(const TServerBinding& iBinding)
{
  const std::string address = iBinding.Address.empty() ? std::string("*") : iBinding.Address;
  if (address.find(':') != std::string::npos)
    return "[" + address + "]:" + std::to_string(iBinding.Port);
  return address + ":" + std::to_string(iBinding.Port);
}

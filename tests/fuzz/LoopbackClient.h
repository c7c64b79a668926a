#pragma once
// The client side of the fuzz targets that talk to a real web server on loopback.

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// Sends iRequest from iSource (an address of 127.0.0.0/8) and reads the answer until the server closes the
// connection.
inline std::string Exchange(uint16_t iPort, const std::string& iRequest, uint32_t iSource = INADDR_LOOPBACK)
{
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(iSource);
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    std::abort();
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(iPort);
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    std::abort();
  timeval timeout{10, 0};
  ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  ::send(socket, iRequest.data(), iRequest.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[65536];
  ssize_t received = 0;
  while ((received = ::recv(socket, buffer, sizeof(buffer), 0)) > 0)
    answer.append(buffer, static_cast<size_t>(received));
  ::close(socket);
  return answer;
}

// Each input comes from an address of its own among 127.<iNet>.0.0/16: wrong credentials lock only their sender
// out for a while, and the next inputs still reach the handlers.
inline uint32_t NextSourceAddress(uint8_t iNet)
{
  static uint32_t input = 0;
  return (127u << 24) | (uint32_t(iNet) << 16) | (1 + input++ % 65534);
}

// Requests from the network: the input's lines are the method, the path, the query, a form body, a Range
// header and an Authorization header, sent as one HTTP request to a real server on loopback that serves two
// slots with recordings. Whatever arrives, the server answers in HTTP (or closes) and goes on serving.

#include "../support/WebTestController.h"
#include "web/StaticContent.h"
#include "web/WebServer.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{
// Switch requests are ignored: inputs must not pile up state.
class TFuzzController : public TWebTestController
{
public:
  void PostSlotStart(int) override {}
  void PostSlotStop(int) override {}
  void AddLogMessage(const std::string&) override {}
};

struct TServer
{
  TServer() : Server(Controller, (Controller.Root() / "static").string())
  {
    TSlotInfo& news = Controller.AddSlot("News", rsStream, "http://radio.example/news");
    Controller.AddSlot("Disabled");
    std::filesystem::create_directories(std::filesystem::path(news.Settings().Output.Folder) / "2024");
    std::ofstream(std::filesystem::path(news.Settings().Output.Folder) / "2024" / "a.mp3") << std::string(1000, 'x');
    TWebTestController::AddRecording(news, "2024-03-15 10:00:00.000", 3600, "2024\\a.mp3");
    TWebTestController::AddRecording(news, "2024-03-31 02:30:00.000", std::nullopt, "../outside.mp3");
    Controller.Settings.Port = "127.0.0.1:0";
    Controller.Settings.Access = TAccessSettings{"admin", PasswordHash("pw"), "ro", PasswordHash("pw"), alReadOnly};
    std::string error;
    if (!Server.Start(error))
      std::abort();
  }
  TFuzzController Controller;
  TWebServer Server;
};

TServer& Server()
{
  static TServer server;
  return server;
}

// A header value or request-line part must not end the line early.
std::string OneLine(std::string iText)
{
  for (char& c : iText)
    if (c == '\r' || c == '\n')
      c = ' ';
  return iText;
}

std::string BuildRequest(const uint8_t* iData, size_t iSize)
{
  std::vector<std::string> fields(6);
  size_t field = 0;
  for (size_t i = 0; i < iSize; ++i)
  {
    if (iData[i] == '\n' && field < fields.size() - 1)
      ++field;
    else
      fields[field] += static_cast<char>(iData[i]);
  }
  const std::string method = fields[0].empty() ? std::string("GET") : OneLine(fields[0]);
  std::string target = "/" + OneLine(fields[1]);
  for (char& c : target)
    if (c == ' ')
      c = '+';
  if (!fields[2].empty())
    target += "?" + OneLine(fields[2]);
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (!fields[4].empty())
    request += "Range: " + OneLine(fields[4]) + "\r\n";
  if (!fields[5].empty())
    request += "Authorization: " + OneLine(fields[5]) + "\r\n";
  request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(fields[3].size()) +
             "\r\n\r\n" + fields[3];
  return request;
}

// Sends the request from iSource (an address of 127.0.0.0/8) and reads the answer until the server closes the
// connection.
std::string Exchange(uint16_t iPort, const std::string& iRequest, uint32_t iSource = INADDR_LOOPBACK)
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
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const uint16_t port = Server().Server.Port();
  // Each input comes from an address of its own among 127.1.0.0/16: wrong credentials lock only their sender out
  // for a while, and the next inputs still reach the handlers.
  static uint32_t input = 0;
  const uint32_t source = (127u << 24) | (1u << 16) | (1 + input++ % 65534);
  const std::string answer = Exchange(port, BuildRequest(iData, iSize), source);
  // An answer is an HTTP answer (the engine may also just close on a request line it cannot read), and the
  // server still serves other clients afterwards.
  if (!answer.empty() && answer.compare(0, 7, "HTTP/1.") != 0)
    std::abort();
  if (Exchange(port, "GET /ws/slots HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").compare(0, 12, "HTTP/1.1 200") !=
      0)
    std::abort();
  return 0;
}

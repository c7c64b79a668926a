// Requests from the network: the input's lines are the method, the path, the query, a form body, a Range
// header and an Authorization header, sent as one HTTP request to a real server on loopback that serves two
// slots with recordings. Whatever arrives, the server answers in HTTP (or closes) and goes on serving.

#include "../support/WebTestController.h"
#include "LoopbackClient.h"
#include "web/StaticContent.h"
#include "web/WebServer.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const uint16_t port = Server().Server.Port();
  const std::string answer = Exchange(port, BuildRequest(iData, iSize), NextSourceAddress(1));
  // An answer is an HTTP answer (the engine may also just close on a request line it cannot read), and the
  // server still serves other clients afterwards.
  if (!answer.empty() && answer.compare(0, 7, "HTTP/1.") != 0)
    std::abort();
  if (Exchange(port, "GET /ws/slots HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").compare(0, 12, "HTTP/1.1 200") !=
      0)
    std::abort();
  return 0;
}

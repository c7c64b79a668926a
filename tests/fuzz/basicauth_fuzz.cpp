// Authorization headers from the network, as sent to a real server on loopback that knows an administrator
// "admin" and a read-only user "ro" (password "pw" each; stored in the older digest form, which is quick to
// check) and lets requests without credentials read. The input is the header's value. The server answers
// GET /ws/access with the administrator level only for the administrator's credentials, read-only only for the
// read-only user's, names no other user, and refuses everything else; the plain headers of the two users work.
#include "../support/WebTestController.h"
#include "FuzzChecks.h"
#include "LoopbackClient.h"
#include "web/WebServer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace
{
const char* const cPasswordDigest = "EC32C1BD17CD5D82ECF33C545C81E6D5";

class TFuzzController : public TWebTestController
{
public:
  void AddLogMessage(const std::string&) override {}
};

struct TServer
{
  TServer() : Server(Controller, (Controller.Root() / "static").string())
  {
    Controller.Settings.Port = "127.0.0.1:0";
    Controller.Settings.Access = TAccessSettings{"admin", cPasswordDigest, "ro", cPasswordDigest, alReadOnly};
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

// "Basic" and standard Base64 of "user:password", read leniently (any case, any spaces, the code ending at
// its first other character: padding, a space or junk): a header that gives access must at least say this much.
std::optional<std::string> DecodedBasic(const std::string& iHeader)
{
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t at = iHeader.find_first_not_of(' ');
  if (at == std::string::npos || iHeader.size() < at + 6)
    return std::nullopt;
  std::string scheme = iHeader.substr(at, 5);
  for (char& c : scheme)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "basic" || iHeader[at + 5] != ' ')
    return std::nullopt;
  const size_t codeStart = std::min(iHeader.find_first_not_of(' ', at + 5), iHeader.size());
  const std::string code = iHeader.substr(codeStart, iHeader.find_first_not_of(alphabet, codeStart) - codeStart);
  std::string text;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : code)
  {
    const size_t value = alphabet.find(c);
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8)
    {
      count -= 8;
      text += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return text;
}

// The text member iName of a flat JSON answer.
std::string Member(const std::string& iAnswer, const std::string& iName)
{
  const std::string start = "\"" + iName + "\":";
  size_t at = iAnswer.find(start);
  Check(at != std::string::npos);
  at = iAnswer.find('"', at + start.size());
  Check(at != std::string::npos);
  return iAnswer.substr(at + 1, iAnswer.find('"', at + 1) - at - 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  std::string header(reinterpret_cast<const char*>(iData), iSize);
  for (char& c : header)
    if (c == '\r' || c == '\n')
      c = ' ';
  const std::string answer = Exchange(Server().Server.Port(),
                                      "GET /ws/access HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                      "Authorization: " +
                                          header + "\r\n\r\n",
                                      NextSourceAddress(2));
  const std::optional<std::string> credentials = DecodedBasic(header);
  if (answer.empty())
    return 0;
  if (answer.compare(0, 12, "HTTP/1.1 200") != 0)
  {
    Check(answer.compare(0, 9, "HTTP/1.1 ") == 0);
    Check(header != "Basic YWRtaW46cHc=" && header != "Basic cm86cHc=");
    return 0;
  }
  const std::string body = answer.substr(answer.find("\r\n\r\n"));
  const std::string level = Member(body, "Level"), user = Member(body, "User");
  if (level == "admin")
    Check(credentials == "admin:pw" && user == "admin");
  else
    Check(level == "read-only" && credentials == "ro:pw" && user == "ro");
  return 0;
}

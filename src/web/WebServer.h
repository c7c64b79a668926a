#pragma once
// The HTTP server: libmicrohttpd with one thread per connection, started and stopped by the controller, with
// its own log. Requests are handed to a TWebDispatcher made at each start from the settings of that moment.

#include "web/HTTPDaemon.h"
#include "web/WebServerLog.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class IWebController;
class TWebDispatcher;

class TWebServer
{
public:
  // iStaticFolder: the override folder of the browser application (by default resources/web beside the
  // program). iLimits: what clients may hold of the server.
  TWebServer(IWebController& iController, std::string iStaticFolder, THTTPLimits iLimits = {});
  ~TWebServer();
  TWebServer(const TWebServer&) = delete;
  TWebServer& operator=(const TWebServer&) = delete;

  // Starts with the controller's settings unless the server runs already. On failure the server stays stopped,
  // "Error starting web server: %s" goes to the server log and oError gets that line's text for the user.
  bool Start(std::string& oError);
  // Stops a running server; open connections are closed.
  void Stop();
  bool Active() const;
  // The port listened on while active (useful after binding port 0).
  uint16_t Port() const;

  TWebServerLog& Log() { return fLog; }

private:
  IWebController& fController;
  std::string fStaticFolder;
  THTTPLimits fLimits;
  TWebServerLog fLog;
  mutable std::mutex fMutex;
  uint16_t fDefaultPort = 5252;
  uint16_t fPort = 0;
  std::unique_ptr<TWebDispatcher> fDispatcher;
  // After the dispatcher it calls, so that it is destroyed first.
  std::unique_ptr<THTTPDaemon> fDaemon;
};

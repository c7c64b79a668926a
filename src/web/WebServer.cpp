#include "web/WebServer.h"

#include "lib/Errors.h"
#include "lib/ServerBinding.h"
#include "web/HTTPDaemon.h"
#include "web/TLSCertificate.h"
#include "web/WebController.h"
#include "web/WebDispatcher.h"
#include "web/WebResources.h"

#include <exception>
#include <optional>

TWebServer::TWebServer(IWebController& iController, std::string iStaticFolder, THTTPLimits iLimits)
    : fController(iController), fStaticFolder(std::move(iStaticFolder)), fLimits(iLimits)
{
}

TWebServer::~TWebServer() = default;

bool TWebServer::Start(std::string& oError)
{
  if (Active())
    return true;
  const TWebServerSettings settings = fController.WebServerSettings();
  bool https = false;
  TServerBinding binding;
  uint16_t port = 0;
  try
  {
    binding = ServerBindingFromText(settings.Port, fDefaultPort);
    TFileHandle socket = OpenListenSocket(binding, port);
    std::optional<TTLSCertificate> tls = LoadTLSCertificate(settings.CertificateFile, settings.KeyFile);
    https = tls.has_value();
    auto dispatcher = std::make_unique<TWebDispatcher>(fController, settings,
                                                       TStaticContent(fStaticFolder, TWebResources::Instance()));
    auto daemon = std::make_unique<THTTPDaemon>(socket, *dispatcher, fLimits, std::move(tls));
    std::lock_guard lock(fMutex);
    fDispatcher = std::move(dispatcher);
    fDaemon = std::move(daemon);
    fPort = port;
  }
  catch (const std::exception& error)
  {
    oError = Format("Error starting web server: %s", error.what());
    fLog.Add(oError);
    return false;
  }
  // The address actually bound (port 0 chooses one), for people and for scripts that start the program.
  binding.Port = port;
  fLog.Add(Format("Web server listening on %s://%s/", https ? "https" : "http", DisplayAddress(binding).c_str()));
  fLog.Add(https ? "Web server started (HTTPS)" : "Web server started");
  fController.WebServerStateChanged(true);
  return true;
}

void TWebServer::Stop()
{
  std::unique_ptr<THTTPDaemon> daemon;
  {
    std::lock_guard lock(fMutex);
    daemon = std::exchange(fDaemon, nullptr);
    fPort = 0;
  }
  if (!daemon)
    return;
  fDispatcher->EndStreams();
  daemon.reset();
  fDispatcher.reset();
  fLog.Add("Web server stopped");
  fController.WebServerStateChanged(false);
}

bool TWebServer::Active() const
{
  std::lock_guard lock(fMutex);
  return fDaemon != nullptr;
}

uint16_t TWebServer::Port() const
{
  std::lock_guard lock(fMutex);
  return fPort;
}

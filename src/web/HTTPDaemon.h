#pragma once
// The HTTP engine (libmicrohttpd, one thread per connection) and the translation between its requests and
// answers and those of TWebDispatcher.

#include "web/FileHandle.h"
#include "web/RequestDeadline.h"
#include "web/TLSCertificate.h"

#include <chrono>
#include <memory>
#include <optional>

struct MHD_Daemon;
class TWebDispatcher;

// What one client, and all of them together, may hold of the server.
struct THTTPLimits
{
  // Open connections from one client address; more are closed at once.
  unsigned PerAddress = 32;
  // Open connections altogether (each is a thread). Reaching it, a new client address still gets in: the oldest
  // slow connection of the address holding the most makes room (TRequestDeadline).
  unsigned Total = 256;
  // A connection without any traffic for this long is closed.
  unsigned IdleSeconds = 60;
  // A request's headers and body must arrive within this time.
  std::chrono::milliseconds RequestTime{30000};
};

class THTTPDaemon
{
public:
  // Serves ioListenSocket (taken over on success) with iDispatcher, which must outlive the daemon; HTTPS with
  // iTLS, plain HTTP without. Throws when the engine cannot start.
  THTTPDaemon(TFileHandle& ioListenSocket, const TWebDispatcher& iDispatcher, const THTTPLimits& iLimits,
              std::optional<TTLSCertificate> iTLS = std::nullopt);
  // Closes the listening socket and every connection and waits for the connection threads.
  ~THTTPDaemon();
  THTTPDaemon(const THTTPDaemon&) = delete;
  THTTPDaemon& operator=(const THTTPDaemon&) = delete;

  // What the engine's callbacks reach.
  struct TContext
  {
    TContext(const TWebDispatcher& iDispatcher, const THTTPLimits& iLimits)
        : Dispatcher(iDispatcher), Deadline(iLimits.RequestTime, iLimits.Total)
    {
    }
    const TWebDispatcher& Dispatcher;
    TRequestDeadline Deadline;
  };

private:
  // The engine reads the PEM texts while it runs.
  const std::optional<TTLSCertificate> fTLS;
  std::unique_ptr<TContext> fContext;
  MHD_Daemon* fDaemon = nullptr;
};

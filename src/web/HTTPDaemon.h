#pragma once
// The HTTP engine (libmicrohttpd, one thread per connection) and the translation between its requests and
// answers and those of TWebDispatcher.

#include "web/FileHandle.h"

struct MHD_Daemon;
class TWebDispatcher;

// Serves ioListenSocket (taken over on success) with iDispatcher, which must outlive the daemon. Throws when
// the engine cannot start.
MHD_Daemon* StartHTTPDaemon(TFileHandle& ioListenSocket, const TWebDispatcher& iDispatcher);
// Closes the listening socket and every connection and waits for the connection threads.
void StopHTTPDaemon(MHD_Daemon* iDaemon);

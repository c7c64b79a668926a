#pragma once
// A real HTTP server for tests (Python's http.server, one thread per connection) on a loopback port, plain or
// with TLS (a certificate of a private CA). It records every request as it arrives, before answering. Paths:
//   /status/CODE   answers with that status code
//   /hang          reads the request and never answers
//   /auth/...      demands Basic authentication with the user and password given to the constructor (401 with a
//                  challenge otherwise), then answers 200
//   anything else  200 "OK"

#include "PythonTestServer.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct TReceivedRequest
{
  std::string Path; // with the query
  std::string UserAgent;
  std::string Authorization; // the header as sent; empty without
};

class THttpTestServer
{
public:
  explicit THttpTestServer(bool iTLS = false, const std::string& iUser = "alarm",
                           const std::string& iPassword = "s3cret");

  int Port() const { return fServer->Port(); }
  // With TLS: the CA that signed the server's certificate for 127.0.0.1.
  std::string CAFile() const { return fServer->CAFile(); }
  // "http://127.0.0.1:PORT" + iPath ("https://" with TLS)
  std::string URL(const std::string& iPath) const;
  std::vector<TReceivedRequest> Requests() const;
  // Requests() once at least iCount arrived, or what arrived until iTimeout.
  std::vector<TReceivedRequest> WaitForRequests(size_t iCount, std::chrono::milliseconds iTimeout) const;

private:
  bool fTLS;
  std::unique_ptr<TPythonTestServer> fServer;
};

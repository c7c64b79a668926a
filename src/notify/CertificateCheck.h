#pragma once
// How a TLS client (the SMTP account, the HTTP alarm calls) checks the certificate of its servers.

#include <string>

struct TCertificateCheck
{
  bool Verify = true; // the certificate must chain to a trusted CA and name the host connected to
  std::string CAFile; // PEM file of the trusted CAs; empty: libcurl's default CA store (the system's)
};

#pragma once
// The e-mail settings as the page "E-Mail" holds them (section "EMail"); the controller fills this from its
// settings model for every alarm or test e-mail.

#include "notify/CertificateCheck.h"

#include <string>

enum TEmailEncryption
{
  eeNone,     // in clear
  eeSTARTTLS, // clear connection upgraded by STARTTLS
  eeSSL       // TLS from the first byte
};

struct TEmailSettings
{
  std::string Server;
  std::string Port; // text as typed; empty or not a number means 25
  TEmailEncryption Encryption = eeNone;
  std::string User;
  std::string Password;
  std::string From;
  std::string Recipients; // address list
  // With encryption: how the server's certificate is checked (not at all for a self-signed server).
  TCertificateCheck Certificate;
};

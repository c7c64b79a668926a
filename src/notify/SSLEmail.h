#pragma once
// One e-mail sent over SMTP: in clear, upgraded by STARTTLS, or over TLS from the first byte. Created for one
// message, filled, sent with SendEmail and freed.

#include <string>
#include <vector>

class TSSLEmail
{
public:
  TSSLEmail() = default;
  TSSLEmail(std::string ASMTPServer, int ASMTPPort, std::string AUserName, std::string APassword);

  // Builds the message and runs the SMTP conversation. Throws EAddressListError for unusable addresses (before
  // connecting) and ECurlError with libcurl's text for every failure of the conversation. A refused login is
  // tried again, on a new connection, with the next mechanism the server announces; nothing else is retried.
  void SendEmail() const;

  std::string edSMTPServer;
  int edSMTPPort = 25;
  std::string edUserName;
  std::string edPassword;
  bool edSSLConnection = true;     // TLS at all
  bool edRequireTLS = false;       // with TLS: STARTTLS after EHLO instead of TLS right after connecting
  bool edVerifyCertificate = true; // with TLS: the server's certificate and name must check out
  std::string edCAFile;            // PEM file of the trusted CAs; empty: the system's CA store
  std::string edSenderEmail;
  std::string edSenderName;
  std::string edToEmail; // address lists
  std::string edCCEmail;
  std::string edBCCEmail;
  std::string edSubject;
  std::vector<std::string> edBody;
};

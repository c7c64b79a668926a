#pragma once
// One e-mail sent over SMTP: in clear, upgraded by STARTTLS, or over TLS from the first byte. Created for one
// message, filled, sent with SendEmail and freed.

#include "notify/CertificateCheck.h"

#include <string>
#include <vector>

class TSSLEmail
{
public:
  TSSLEmail() = default;
  TSSLEmail(std::string asmtpServer, int asmtpPort, std::string aUserName, std::string aPassword);

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
  TCertificateCheck edCertificate; // with TLS: how the server's certificate is checked
  std::string edSenderEmail;
  std::string edSenderName;
  std::string edToEmail; // address lists
  std::string edCCEmail;
  std::string edBCCEmail;
  std::string edSubject;
  std::vector<std::string> edBody;
};

#pragma once
// A real SMTP server for tests (aiosmtpd, run by the system's Python) on a loopback port: in clear, with
// STARTTLS required, or with TLS from the first byte (a certificate of a private CA for 127.0.0.1); optionally
// with AUTH (CRAM-MD5, LOGIN and PLAIN offered). Recipients whose local part is "refused" are refused (550).
// Every message it accepts is written to a file, so tests can check envelope, headers and body.

#include "PythonTestServer.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

enum TSmtpTestMode
{
  stPlain,
  stSTARTTLS,   // STARTTLS offered and required before anything else
  stImplicitTLS // TLS from the first byte
};

struct TReceivedMail
{
  std::string MailFrom;
  std::vector<std::string> Recipients; // envelope, in order
  std::string Helo;                    // the client's EHLO name
  std::string TLSVersion;              // "TLSv1.2", ...; empty in clear
  std::string Auth;                    // "MECHANISM login" of the session's successful AUTH; empty without
  std::string Content;                 // the message as received (headers, empty line, body)

  // The first header of that name (case-insensitive), unfolded; empty when absent.
  std::string Header(const std::string& iName) const;
  // The body after the empty line, quoted-printable decoded when the message says so.
  std::string DecodedBody() const;
};

class TSmtpTestServer
{
public:
  // With a user name, AUTH checks that user and password; iAuthRequired makes mail without AUTH fail. Only the
  // mechanisms of iAccepted (comma-separated) accept a login; the others are offered but refuse every one.
  explicit TSmtpTestServer(TSmtpTestMode iMode, const std::string& iUser = "", const std::string& iPassword = "",
                           bool iAuthRequired = true, const std::string& iAccepted = "PLAIN,LOGIN,CRAM-MD5");

  int Port() const { return fServer->Port(); }
  // With TLS: the CA that signed the server's certificate for 127.0.0.1.
  std::string CAFile() const { return fServer->CAFile(); }
  std::vector<TReceivedMail> Mails() const;
  // Mails() once at least iCount arrived, or what arrived until iTimeout.
  std::vector<TReceivedMail> WaitForMails(size_t iCount, std::chrono::milliseconds iTimeout) const;
  // Every AUTH attempt of any session: "MECHANISM login ok" or "MECHANISM login failed".
  std::vector<std::string> AuthAttempts() const;

private:
  std::unique_ptr<TPythonTestServer> fServer;
};

#include "notify/SSLEmail.h"

#include "lib/Errors.h"
#include "notify/CurlEasy.h"
#include "notify/MailMessage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

namespace
{

constexpr long ConnectTimeoutSeconds = 30;
// The longest wait for one server reply, so that a server that stops answering cannot hold the caller forever.
constexpr long ReplyTimeoutSeconds = 60;
// The SASL mechanisms libcurl speaks, tried one at a time in this order among those the server announces: a
// server may announce a mechanism and still refuse every login with it. libcurl alone would try only the one it
// ranks best.
constexpr std::array<std::string_view, 4> AuthMechanisms{"PLAIN", "LOGIN", "EXTERNAL", "CRAM-MD5"};

struct TCurlSList
{
  ~TCurlSList() { curl_slist_free_all(List); }
  void Append(const std::string& iText)
  {
    curl_slist* Extended = curl_slist_append(List, iText.c_str());
    if (!Extended)
      throw ECurlError("Out of memory");
    List = Extended;
  }
  curl_slist* List = nullptr;
};

struct TUpload
{
  std::string Text;
  size_t Sent = 0;
};

size_t ReadUpload(char* oBuffer, size_t iSize, size_t iCount, void* iUpload)
{
  TUpload& Upload = *static_cast<TUpload*>(iUpload);
  const size_t Length = std::min(iSize * iCount, Upload.Text.size() - Upload.Sent);
  std::memcpy(oBuffer, Upload.Text.data() + Upload.Sent, Length);
  Upload.Sent += Length;
  return Length;
}

std::string ServerURL(const std::string& iServer, int iPort, bool iImplicitTLS)
{
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> URL(curl_url(), curl_url_cleanup);
  if (!URL)
    throw ECurlError("Out of memory");
  // A bare IPv6 address needs the brackets of a URL host.
  const bool IPv6 = iServer.find(':') != std::string::npos && iServer.front() != '[';
  const std::string Host = IPv6 ? "[" + iServer + "]" : iServer;
  const std::string Port = std::to_string(iPort);
  for (const auto& [Part, Value] : {std::pair{CURLUPART_SCHEME, iImplicitTLS ? "smtps" : "smtp"},
                                    std::pair{CURLUPART_HOST, Host.c_str()}, std::pair{CURLUPART_PORT, Port.c_str()}})
  {
    const CURLUcode Code = curl_url_set(URL.get(), Part, Value, 0);
    if (Code != CURLUE_OK)
      throw ECurlError(Format("SMTP server \"%s\" port %d: %s", iServer.c_str(), iPort, curl_url_strerror(Code)));
  }
  char* Text = nullptr;
  const CURLUcode Code = curl_url_get(URL.get(), CURLUPART_URL, &Text, 0);
  if (Code != CURLUE_OK)
    throw ECurlError(Format("SMTP server \"%s\": %s", iServer.c_str(), curl_url_strerror(Code)));
  std::string Result = Text;
  curl_free(Text);
  return Result;
}

bool Announces(const std::string& iAnnounced, std::string_view iMechanism)
{
  std::istringstream Words(iAnnounced);
  for (std::string Word; Words >> Word;)
    if (Word == iMechanism)
      return true;
  return false;
}

// Runs the transfer with a login, trying the mechanisms in turn after refusals. A failure that is no refused
// login ends it at once.
void PerformWithLogin(TCurlEasy& ioCurl, TUpload& ioUpload, const std::string& iUser, const std::string& iPassword)
{
  ioCurl.SetOption(CURLOPT_USERNAME, iUser.c_str());
  ioCurl.SetOption(CURLOPT_PASSWORD, iPassword.c_str());
  // Every attempt logs in on a connection of its own.
  ioCurl.SetOption(CURLOPT_FRESH_CONNECT, 1L);
  std::optional<std::string> Announced; // known after the first attempt
  std::optional<ECurlError> Refusal;
  for (const std::string_view Mechanism : AuthMechanisms)
  {
    // EXTERNAL proves who the client is by other means than a password; libcurl starts it only without one.
    if ((Mechanism == "EXTERNAL" && !iPassword.empty()) || (Announced && !Announces(*Announced, Mechanism)))
      continue;
    ioCurl.SetOption(CURLOPT_LOGIN_OPTIONS, ("AUTH=" + std::string(Mechanism)).c_str());
    ioUpload.Sent = 0;
    try
    {
      ioCurl.Perform();
      return;
    }
    catch (const ECurlError& Error)
    {
      if (Error.Code() != CURLE_LOGIN_DENIED)
        throw;
      Announced = ioCurl.AnnouncedAuth();
      if (Announces(*Announced, Mechanism))
        Refusal = Error;
    }
  }
  if (Refusal)
    throw *Refusal;
  throw ECurlError(Format("The SMTP server offers none of the login mechanisms PLAIN, LOGIN, EXTERNAL, CRAM-MD5 "
                          "(it offers \"%s\")",
                          Announced.value_or("").c_str()),
                   CURLE_LOGIN_DENIED);
}

TMailAddress ParseSender(const std::string& iSender, const std::string& iSenderName)
{
  const std::vector<TMailAddress> List = ParseAddressList(iSender);
  if (List.size() != 1)
    throw EAddressListError(Format("Invalid sender address \"%s\"", iSender.c_str()));
  TMailAddress Sender = List.front();
  if (!iSenderName.empty())
    Sender.Name = iSenderName;
  return Sender;
}

} // namespace

TSSLEmail::TSSLEmail(std::string ASMTPServer, int ASMTPPort, std::string AUserName, std::string APassword)
    : edSMTPServer(std::move(ASMTPServer)), edSMTPPort(ASMTPPort), edUserName(std::move(AUserName)),
      edPassword(std::move(APassword))
{
}

void TSSLEmail::SendEmail() const
{
  TMailMessage Message;
  Message.From = ParseSender(edSenderEmail, edSenderName);
  Message.To = ParseAddressList(edToEmail);
  Message.Cc = ParseAddressList(edCCEmail);
  std::vector<TMailAddress> Bcc = ParseAddressList(edBCCEmail);
  Message.Subject = edSubject;
  Message.Body = edBody;
  Message.MessageID = NewMessageID(Message.From.Address);
  Message.Date = std::time(nullptr);

  TCurlSList Recipients;
  for (const std::vector<TMailAddress>* List : {&Message.To, &Message.Cc, &Bcc})
  {
    for (const TMailAddress& Recipient : *List)
      Recipients.Append("<" + Recipient.Address + ">");
  }
  if (!Recipients.List)
    throw EAddressListError("No recipient address");

  TUpload Upload{BuildMailMessage(Message)};
  const std::string Sender = "<" + Message.From.Address + ">";
  TCurlEasy Curl;
  Curl.KeepServerReplies();
  Curl.SetOption(CURLOPT_URL, ServerURL(edSMTPServer, edSMTPPort, edSSLConnection && !edRequireTLS).c_str());
  Curl.SetOption(CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  Curl.SetOption(CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
  Curl.SetOption(CURLOPT_SERVER_RESPONSE_TIMEOUT, ReplyTimeoutSeconds);
  if (edSSLConnection)
  {
    // TLS must succeed: a server without STARTTLS fails the e-mail instead of getting it in clear.
    Curl.SetOption(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    Curl.SetOption(CURLOPT_SSLVERSION,
                   static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    Curl.CheckCertificate(edCertificate, "EMail");
  }
  Curl.SetOption(CURLOPT_MAIL_FROM, Sender.c_str());
  Curl.SetOption(CURLOPT_MAIL_RCPT, Recipients.List);
  Curl.SetOption(CURLOPT_UPLOAD, 1L);
  Curl.SetOption(CURLOPT_READFUNCTION, ReadUpload);
  Curl.SetOption(CURLOPT_READDATA, &Upload);
  Curl.SetOption(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(Upload.Text.size()));
  if (edUserName.empty() && edPassword.empty())
    Curl.Perform();
  else
    PerformWithLogin(Curl, Upload, edUserName, edPassword);
}

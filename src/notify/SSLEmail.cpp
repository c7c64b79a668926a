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
    curl_slist* extended = curl_slist_append(List, iText.c_str());
    if (!extended)
      throw ECurlError("Out of memory");
    List = extended;
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
  TUpload& upload = *static_cast<TUpload*>(iUpload);
  const size_t length = std::min(iSize * iCount, upload.Text.size() - upload.Sent);
  std::memcpy(oBuffer, upload.Text.data() + upload.Sent, length);
  upload.Sent += length;
  return length;
}

std::string ServerURL(const std::string& iServer, int iPort, bool iImplicitTLS)
{
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  if (!url)
    throw ECurlError("Out of memory");
  // A bare IPv6 address needs the brackets of a URL host.
  const bool iPv6 = iServer.find(':') != std::string::npos && iServer.front() != '[';
  const std::string host = iPv6 ? "[" + iServer + "]" : iServer;
  const std::string port = std::to_string(iPort);
  for (const auto& [Part, Value] : {std::pair{CURLUPART_SCHEME, iImplicitTLS ? "smtps" : "smtp"},
                                    std::pair{CURLUPART_HOST, host.c_str()}, std::pair{CURLUPART_PORT, port.c_str()}})
  {
    const CURLUcode code = curl_url_set(url.get(), Part, Value, 0);
    if (code != CURLUE_OK)
      throw ECurlError(Format("SMTP server \"%s\" port %d: %s", iServer.c_str(), iPort, curl_url_strerror(code)));
  }
  char* text = nullptr;
  const CURLUcode code = curl_url_get(url.get(), CURLUPART_URL, &text, 0);
  if (code != CURLUE_OK)
    throw ECurlError(Format("SMTP server \"%s\": %s", iServer.c_str(), curl_url_strerror(code)));
  std::string result = text;
  curl_free(text);
  return result;
}

bool Announces(const std::string& iAnnounced, std::string_view iMechanism)
{
  std::istringstream words(iAnnounced);
  for (std::string word; words >> word;)
    if (word == iMechanism)
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
  std::optional<std::string> announced; // known after the first attempt
  std::optional<ECurlError> refusal;
  for (const std::string_view mechanism : AuthMechanisms)
  {
    // EXTERNAL proves who the client is by other means than a password; libcurl starts it only without one.
    if ((mechanism == "EXTERNAL" && !iPassword.empty()) || (announced && !Announces(*announced, mechanism)))
      continue;
    ioCurl.SetOption(CURLOPT_LOGIN_OPTIONS, ("AUTH=" + std::string(mechanism)).c_str());
    ioUpload.Sent = 0;
    try
    {
      ioCurl.Perform();
      return;
    }
    catch (const ECurlError& error)
    {
      if (error.Code() != CURLE_LOGIN_DENIED)
        throw;
      announced = ioCurl.AnnouncedAuth();
      if (Announces(*announced, mechanism))
        refusal = error;
    }
  }
  if (refusal)
    throw *refusal;
  throw ECurlError(Format("The SMTP server offers none of the login mechanisms PLAIN, LOGIN, EXTERNAL, CRAM-MD5 "
                          "(it offers \"%s\")",
                          announced.value_or("").c_str()),
                   CURLE_LOGIN_DENIED);
}

TMailAddress ParseSender(const std::string& iSender, const std::string& iSenderName)
{
  const std::vector<TMailAddress> list = ParseAddressList(iSender);
  if (list.size() != 1)
    throw EAddressListError(Format("Invalid sender address \"%s\"", iSender.c_str()));
  TMailAddress sender = list.front();
  if (!iSenderName.empty())
    sender.Name = iSenderName;
  return sender;
}

} // namespace

TSSLEmail::TSSLEmail(std::string asmtpServer, int asmtpPort, std::string aUserName, std::string aPassword)
    : edSMTPServer(std::move(asmtpServer)), edSMTPPort(asmtpPort), edUserName(std::move(aUserName)),
      edPassword(std::move(aPassword))
{
}

void TSSLEmail::SendEmail() const
{
  TMailMessage message;
  message.From = ParseSender(edSenderEmail, edSenderName);
  message.To = ParseAddressList(edToEmail);
  message.Cc = ParseAddressList(edCCEmail);
  std::vector<TMailAddress> bcc = ParseAddressList(edBCCEmail);
  message.Subject = edSubject;
  message.Body = edBody;
  message.MessageID = NewMessageID(message.From.Address);
  message.Date = std::time(nullptr);

  TCurlSList recipients;
  for (const std::vector<TMailAddress>* list : {&message.To, &message.Cc, &bcc})
  {
    for (const TMailAddress& recipient : *list)
      recipients.Append("<" + recipient.Address + ">");
  }
  if (!recipients.List)
    throw EAddressListError("No recipient address");

  TUpload upload{BuildMailMessage(message)};
  const std::string sender = "<" + message.From.Address + ">";
  TCurlEasy curl;
  curl.KeepServerReplies();
  curl.SetOption(CURLOPT_URL, ServerURL(edSMTPServer, edSMTPPort, edSSLConnection && !edRequireTLS).c_str());
  curl.SetOption(CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl.SetOption(CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
  curl.SetOption(CURLOPT_SERVER_RESPONSE_TIMEOUT, ReplyTimeoutSeconds);
  if (edSSLConnection)
  {
    // TLS must succeed: a server without STARTTLS fails the e-mail instead of getting it in clear.
    curl.SetOption(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl.SetOption(CURLOPT_SSLVERSION,
                   static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    curl.CheckCertificate(edCertificate, "EMail");
  }
  curl.SetOption(CURLOPT_MAIL_FROM, sender.c_str());
  curl.SetOption(CURLOPT_MAIL_RCPT, recipients.List);
  curl.SetOption(CURLOPT_UPLOAD, 1L);
  curl.SetOption(CURLOPT_READFUNCTION, ReadUpload);
  curl.SetOption(CURLOPT_READDATA, &upload);
  curl.SetOption(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.Text.size()));
  if (edUserName.empty() && edPassword.empty())
    curl.Perform();
  else
    PerformWithLogin(curl, upload, edUserName, edPassword);
}

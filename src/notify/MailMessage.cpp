#include "notify/MailMessage.h"

#include "lib/Errors.h"
#include "notify/MimeEncoding.h"

#include <random>

namespace
{

std::string FormatAddress(const TMailAddress& iAddress)
{
  if (iAddress.Name.empty())
    return iAddress.Address;
  return EncodeDisplayName(iAddress.Name) + " <" + iAddress.Address + ">";
}

// One address per line keeps long lists within the line length limit.
std::string AddressHeader(const char* iName, const std::vector<TMailAddress>& iList)
{
  std::string line = std::string(iName) + ": ";
  for (size_t index = 0; index < iList.size(); ++index)
    line += (index ? ",\r\n " : "") + FormatAddress(iList[index]);
  return line + "\r\n";
}

std::string JoinLines(const std::vector<std::string>& iLines)
{
  std::string result;
  for (size_t index = 0; index < iLines.size(); ++index)
    result += (index ? "\r\n" : "") + iLines[index];
  return result;
}

} // namespace

std::string BuildMailMessage(const TMailMessage& iMessage)
{
  std::string text;
  text += "Date: " + FormatMailDate(iMessage.Date) + "\r\n";
  text += "From: " + FormatAddress(iMessage.From) + "\r\n";
  text += "Reply-To: " + iMessage.From.Address + "\r\n";
  text += AddressHeader("To", iMessage.To);
  if (!iMessage.Cc.empty())
    text += AddressHeader("Cc", iMessage.Cc);
  text += "Subject: " + EncodeHeaderText(iMessage.Subject, 9) + "\r\n";
  text += "Message-ID: " + iMessage.MessageID + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  text += "Content-Transfer-Encoding: quoted-printable\r\n";
  text += "\r\n";
  text += EncodeQuotedPrintable(JoinLines(iMessage.Body)) + "\r\n";
  return text;
}

std::string MessageIDDomain(const std::string& iSenderAddress)
{
  const size_t at = iSenderAddress.find('@');
  if (at == std::string::npos)
    return "UNKNOWN";
  const size_t end = iSenderAddress.find('@', at + 1);
  const std::string domain = iSenderAddress.substr(at + 1, end == std::string::npos ? end : end - at - 1);
  return domain.empty() ? "UNKNOWN" : domain;
}

std::string NewMessageID(const std::string& iSenderAddress)
{
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  unsigned char bytes[16];
  for (unsigned char& byte : bytes)
    byte = static_cast<unsigned char>(generator());
  bytes[6] = (bytes[6] & 0x0F) | 0x40; // version 4: random
  bytes[8] = (bytes[8] & 0x3F) | 0x80; // RFC 4122 variant
  std::string guid;
  for (int index = 0; index < 16; ++index)
  {
    if (index == 4 || index == 6 || index == 8 || index == 10)
      guid += '-';
    guid += Format("%02x", bytes[index]);
  }
  return "<" + guid + "@" + MessageIDDomain(iSenderAddress) + ">";
}

std::string FormatMailDate(std::time_t iTime)
{
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&iTime, &local);
  const long offset = local.tm_gmtoff / 60;
  const long absOffset = offset < 0 ? -offset : offset;
  return Format("%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday], local.tm_mday, months[local.tm_mon],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', absOffset / 60,
                absOffset % 60);
}

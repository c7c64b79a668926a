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
  std::string Line = std::string(iName) + ": ";
  for (size_t Index = 0; Index < iList.size(); ++Index)
    Line += (Index ? ",\r\n " : "") + FormatAddress(iList[Index]);
  return Line + "\r\n";
}

std::string JoinLines(const std::vector<std::string>& iLines)
{
  std::string Result;
  for (size_t Index = 0; Index < iLines.size(); ++Index)
    Result += (Index ? "\r\n" : "") + iLines[Index];
  return Result;
}

} // namespace

std::string BuildMailMessage(const TMailMessage& iMessage)
{
  std::string Text;
  Text += "Date: " + FormatMailDate(iMessage.Date) + "\r\n";
  Text += "From: " + FormatAddress(iMessage.From) + "\r\n";
  Text += "Reply-To: " + iMessage.From.Address + "\r\n";
  Text += AddressHeader("To", iMessage.To);
  if (!iMessage.Cc.empty())
    Text += AddressHeader("Cc", iMessage.Cc);
  Text += "Subject: " + EncodeHeaderText(iMessage.Subject, 9) + "\r\n";
  Text += "Message-ID: " + iMessage.MessageID + "\r\n";
  Text += "MIME-Version: 1.0\r\n";
  Text += "Content-Type: text/plain; charset=UTF-8\r\n";
  Text += "Content-Transfer-Encoding: quoted-printable\r\n";
  Text += "\r\n";
  Text += EncodeQuotedPrintable(JoinLines(iMessage.Body)) + "\r\n";
  return Text;
}

std::string MessageIDDomain(const std::string& iSenderAddress)
{
  const size_t At = iSenderAddress.find('@');
  if (At == std::string::npos)
    return "UNKNOWN";
  const size_t End = iSenderAddress.find('@', At + 1);
  const std::string Domain = iSenderAddress.substr(At + 1, End == std::string::npos ? End : End - At - 1);
  return Domain.empty() ? "UNKNOWN" : Domain;
}

std::string NewMessageID(const std::string& iSenderAddress)
{
  static thread_local std::mt19937_64 Generator{std::random_device{}()};
  unsigned char Bytes[16];
  for (unsigned char& Byte : Bytes)
    Byte = static_cast<unsigned char>(Generator());
  Bytes[6] = (Bytes[6] & 0x0F) | 0x40; // version 4: random
  Bytes[8] = (Bytes[8] & 0x3F) | 0x80; // RFC 4122 variant
  std::string GUID;
  for (int Index = 0; Index < 16; ++Index)
  {
    if (Index == 4 || Index == 6 || Index == 8 || Index == 10)
      GUID += '-';
    GUID += Format("%02x", Bytes[Index]);
  }
  return "<" + GUID + "@" + MessageIDDomain(iSenderAddress) + ">";
}

std::string FormatMailDate(std::time_t iTime)
{
  static const char* const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm Local{};
  localtime_r(&iTime, &Local);
  const long Offset = Local.tm_gmtoff / 60;
  const long AbsOffset = Offset < 0 ? -Offset : Offset;
  return Format("%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", Days[Local.tm_wday], Local.tm_mday, Months[Local.tm_mon],
                Local.tm_year + 1900, Local.tm_hour, Local.tm_min, Local.tm_sec, Offset < 0 ? '-' : '+', AbsOffset / 60,
                AbsOffset % 60);
}

#pragma once
// The text of one e-mail as it travels after SMTP's DATA: headers and a UTF-8 plain-text body.

#include "notify/MailAddressList.h"

#include <ctime>
#include <string>
#include <vector>

struct TMailMessage
{
  TMailAddress From; // also the Reply-To address
  std::vector<TMailAddress> To;
  std::vector<TMailAddress> Cc; // blind copies never appear in the text
  std::string Subject;
  std::vector<std::string> Body; // lines, joined by CR LF
  std::string MessageID;         // with its angle brackets
  std::time_t Date = 0;
};

// Header block, empty line, quoted-printable body; every line ends in CR LF.
std::string BuildMailMessage(const TMailMessage& iMessage);

// The domain for a Message-ID: the sender address after its first at sign, up to a second one; "UNKNOWN" when
// there is no at sign or nothing after it.
std::string MessageIDDomain(const std::string& iSenderAddress);
// "<" + a new random GUID in lower case + "@" + MessageIDDomain + ">"
std::string NewMessageID(const std::string& iSenderAddress);
// RFC 5322 date in local time with its offset, for example "Tue, 14 Mar 2023 12:00:00 +0100".
std::string FormatMailDate(std::time_t iTime);

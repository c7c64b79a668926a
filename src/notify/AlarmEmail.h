#pragma once
// Alarm and test e-mails composed from the e-mail settings: the subject is the alarm line, the body names the
// host and the time.

#include "notify/EmailSettings.h"
#include "notify/NotifyLog.h"

#include <string>

// The port of the settings: the text as a number, 25 when it is empty or not a number.
int EmailPort(const std::string& iPortText);

// Sends one e-mail with iText as subject, synchronously. An alarm (iIsTest false) logs a failure through iLog as
// "Error sending e-mail: %s" and returns; a test lets the error (std::exception) reach the caller.
void SendAlarmEmail(const TEmailSettings& iSettings, const std::string& iText, bool iIsTest, const TLogProc& iLog);

// The test e-mail of the settings page; throws on failure. On success the caller confirms with
// TestEmailSentText.
void SendTestEmail(const TEmailSettings& iSettings);
inline constexpr const char* TestEmailSentText = "Test e-mail has been sent. Please check your inbox.";

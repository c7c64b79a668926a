#pragma once
// One HTTP alarm call: a GET whose answer is read and thrown away.

#include "notify/CertificateCheck.h"

#include <string>

// "Mozilla/5.0 (compatible; Tapevault/%d.%d.%d.%d)" with the program's version, or without the version when it
// cannot be read. Built once per process.
const std::string& HTTPAlarmUserAgent();

// GETs iURL over plain TCP, or over TLS when it begins with "https" in any letter case; iCertificateCheck says how
// the server's certificate is checked. iReadTimeout (ms) ends a call whose server stops sending. A server asking
// for authentication is answered with the user name and password of the URL. Throws ECurlError with libcurl's
// text on any failure, an answer with status 400 or above included.
void PerformHTTPAlarmCall(const std::string& iURL, unsigned iReadTimeout, const TCertificateCheck& iCertificateCheck);

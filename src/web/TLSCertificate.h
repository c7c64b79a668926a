#pragma once
// HTTPS for the web server: the certificate and private key files of the settings, read and checked when the
// server starts, so that a wrong file is named in the start error rather than left to the TLS engine's silence.

#include <optional>
#include <string>

struct TTLSCertificate
{
  // PEM texts as read: the certificate (followed by any intermediate certificates) and its private key.
  std::string Certificate;
  std::string Key;
};

// Nothing when neither file is named (plain HTTP). Throws with a reason that names the file when only one is
// named, a file cannot be read, holds no PEM certificate or unencrypted PEM private key, or the key does not
// belong to the certificate.
std::optional<TTLSCertificate> LoadTLSCertificate(const std::string& iCertificateFile, const std::string& iKeyFile);

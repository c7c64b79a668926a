#include "web/TLSCertificate.h"

#include "lib/Errors.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sstream>
#include <stdexcept>

namespace
{
struct TOpenSSLDeleter
{
  void operator()(BIO* iBio) const { BIO_free(iBio); }
  void operator()(X509* iCertificate) const { X509_free(iCertificate); }
  void operator()(EVP_PKEY* iKey) const { EVP_PKEY_free(iKey); }
};

std::string ReadWholeFile(const std::string& iFileName, const char* iWhat)
{
  std::ifstream file(iFileName, std::ios::binary);
  std::ostringstream content;
  if (!file || !(content << file.rdbuf()))
    throw std::runtime_error(Format("Cannot read the %s file %s: %s", iWhat, iFileName.c_str(), std::strerror(errno)));
  return content.str();
}

std::unique_ptr<BIO, TOpenSSLDeleter> MemoryBIO(const std::string& iText)
{
  return std::unique_ptr<BIO, TOpenSSLDeleter>(BIO_new_mem_buf(iText.data(), static_cast<int>(iText.size())));
}

// A key protected by a pass phrase cannot be used by a service that starts unattended: refused without a prompt.
int NoPassPhrase(char*, int, int, void*)
{
  return -1;
}
} // namespace

std::optional<TTLSCertificate> LoadTLSCertificate(const std::string& iCertificateFile, const std::string& iKeyFile)
{
  if (iCertificateFile.empty() && iKeyFile.empty())
    return std::nullopt;
  if (iCertificateFile.empty() || iKeyFile.empty())
    throw std::runtime_error(Format("HTTPS needs a certificate file and a key file; only the %s file %s is set",
                                    iKeyFile.empty() ? "certificate" : "key",
                                    (iKeyFile.empty() ? iCertificateFile : iKeyFile).c_str()));
  TTLSCertificate result{ReadWholeFile(iCertificateFile, "certificate"), ReadWholeFile(iKeyFile, "key")};
  const std::unique_ptr<X509, TOpenSSLDeleter> certificate(
      PEM_read_bio_X509(MemoryBIO(result.Certificate).get(), nullptr, &NoPassPhrase, nullptr));
  const std::unique_ptr<EVP_PKEY, TOpenSSLDeleter> key(
      PEM_read_bio_PrivateKey(MemoryBIO(result.Key).get(), nullptr, &NoPassPhrase, nullptr));
  // The reasons are ours; OpenSSL's queue would only confuse a later caller on this thread.
  ERR_clear_error();
  if (!certificate)
    throw std::runtime_error(Format("The certificate file %s holds no PEM certificate", iCertificateFile.c_str()));
  if (!key)
    throw std::runtime_error(
        Format("The key file %s holds no PEM private key without a pass phrase", iKeyFile.c_str()));
  if (X509_check_private_key(certificate.get(), key.get()) != 1)
  {
    ERR_clear_error();
    throw std::runtime_error(
        Format("The key in %s does not belong to the certificate in %s", iKeyFile.c_str(), iCertificateFile.c_str()));
  }
  return result;
}

#include "web/WebAccess.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <stdexcept>

namespace
{
const char cPasswordSalt[] = "KestrelVoxMarbleFen";

// The stored hash is compared as text; the time taken must not tell how much of it matched.
bool SameHash(const std::string& iLeft, const std::string& iRight)
{
  return iLeft.size() == iRight.size() && CRYPTO_memcmp(iLeft.data(), iRight.data(), iLeft.size()) == 0;
}
} // namespace

std::string PasswordHash(const std::string& iPassword)
{
  const std::string salted = cPasswordSalt + iPassword;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(salted.data(), salted.size(), digest, &length, EVP_md5(), nullptr) != 1)
    throw std::runtime_error("MD5 is not available");
  static const char hex[] = "0123456789ABCDEF";
  std::string result;
  for (unsigned int i = 0; i < length; ++i)
  {
    result += hex[digest[i] >> 4];
    result += hex[digest[i] & 15];
  }
  return result;
}

TAccessLevel DetermineAccessLevel(const TAccessSettings& iSettings, bool iHasAuthorization,
                                  const std::optional<TWebCredentials>& iCredentials)
{
  if (!iHasAuthorization)
    return iSettings.AnonymousAccess;
  if (!iCredentials)
    return alNone;
  const std::string hash = PasswordHash(iCredentials->Password);
  if (iCredentials->User == iSettings.AdminUser && SameHash(hash, iSettings.AdminPasswordHash))
    return alAdmin;
  if (iCredentials->User == iSettings.ReadOnlyUser && SameHash(hash, iSettings.ReadOnlyPasswordHash))
    return alReadOnly;
  return alNone;
}

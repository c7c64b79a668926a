#include "web/PasswordHash.h"

#include <charconv>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace
{
using TBytes = std::vector<unsigned char>;

const std::string cScheme = "pbkdf2-sha256";
// A few tens of milliseconds of one core: slow for a guesser, and a logged-in browser pays it only once (see
// TPasswordCache).
constexpr unsigned long cIterations = 100000;
constexpr size_t cSaltSize = 16;
constexpr size_t cKeySize = 32;
// Stored values beyond these are not computed: a mistyped file must not stall every login for minutes.
constexpr unsigned long cMaxIterations = 10000000;
constexpr size_t cMaxKeySize = 64;
const char cLegacySalt[] = "KestrelVoxMarbleFen";

std::string Hex(const TBytes& iBytes, const char* iDigits)
{
  std::string result;
  for (const unsigned char byte : iBytes)
  {
    result += iDigits[byte >> 4];
    result += iDigits[byte & 15];
  }
  return result;
}

std::optional<TBytes> FromHex(std::string_view iText)
{
  if (iText.size() % 2 != 0)
    return std::nullopt;
  TBytes result(iText.size() / 2);
  for (size_t i = 0; i < result.size(); ++i)
  {
    const char* first = iText.data() + 2 * i;
    if (std::from_chars(first, first + 2, result[i], 16).ptr != first + 2)
      return std::nullopt;
  }
  return result;
}

bool SameBytes(const TBytes& iLeft, const TBytes& iRight)
{
  return iLeft.size() == iRight.size() && CRYPTO_memcmp(iLeft.data(), iRight.data(), iLeft.size()) == 0;
}

TBytes DeriveKey(const std::string& iPassword, const TBytes& iSalt, unsigned long iIterations, size_t iSize)
{
  TBytes key(iSize);
  if (PKCS5_PBKDF2_HMAC(iPassword.data(), static_cast<int>(iPassword.size()), iSalt.data(),
                        static_cast<int>(iSalt.size()), static_cast<int>(iIterations), EVP_sha256(),
                        static_cast<int>(key.size()), key.data()) != 1)
    throw std::runtime_error("PBKDF2-HMAC-SHA256 is not available");
  return key;
}

TBytes LegacyHash(const std::string& iPassword)
{
  const std::string salted = cLegacySalt + iPassword;
  TBytes digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (EVP_Digest(salted.data(), salted.size(), digest.data(), &length, EVP_md5(), nullptr) != 1)
    throw std::runtime_error("MD5 is not available");
  digest.resize(length);
  return digest;
}

// "<iterations>$<salt hex>$<hash hex>" after the scheme.
bool NewFormMatches(const std::string& iPassword, std::string_view iParameters)
{
  const size_t firstDollar = iParameters.find('$');
  const size_t secondDollar = iParameters.find('$', firstDollar == std::string_view::npos ? 0 : firstDollar + 1);
  if (firstDollar == std::string_view::npos || secondDollar == std::string_view::npos)
    return false;
  unsigned long iterations = 0;
  const std::string_view count = iParameters.substr(0, firstDollar);
  if (std::from_chars(count.data(), count.data() + count.size(), iterations).ptr != count.data() + count.size() ||
      iterations == 0 || iterations > cMaxIterations)
    return false;
  const std::optional<TBytes> salt = FromHex(iParameters.substr(firstDollar + 1, secondDollar - firstDollar - 1));
  const std::optional<TBytes> stored = FromHex(iParameters.substr(secondDollar + 1));
  if (!salt || !stored || stored->empty() || stored->size() > cMaxKeySize)
    return false;
  return SameBytes(DeriveKey(iPassword, *salt, iterations, stored->size()), *stored);
}
} // namespace

std::string PasswordHash(const std::string& iPassword)
{
  TBytes salt(cSaltSize);
  if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
    throw std::runtime_error("No random numbers for a password salt");
  const char* digits = "0123456789abcdef";
  return cScheme + '$' + std::to_string(cIterations) + '$' + Hex(salt, digits) + '$' +
         Hex(DeriveKey(iPassword, salt, cIterations, cKeySize), digits);
}

bool PasswordMatches(const std::string& iPassword, const std::string& iStoredHash)
{
  const std::string prefix = cScheme + '$';
  if (iStoredHash.starts_with(prefix))
    return NewFormMatches(iPassword, std::string_view(iStoredHash).substr(prefix.size()));
  // The older form is compared as the text it was written as: upper-case digits only.
  const std::string legacy = Hex(LegacyHash(iPassword), "0123456789ABCDEF");
  return legacy.size() == iStoredHash.size() && CRYPTO_memcmp(legacy.data(), iStoredHash.data(), legacy.size()) == 0;
}

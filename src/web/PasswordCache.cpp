#include "web/PasswordCache.h"

#include <algorithm>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <stdexcept>

TPasswordCache::TPasswordCache(TVerifier iVerify, size_t iCapacity)
    : fVerify(std::move(iVerify)), fCapacity(std::max<size_t>(iCapacity, 1))
{
  if (RAND_bytes(fKey.data(), static_cast<int>(fKey.size())) != 1)
    throw std::runtime_error("No random numbers for the password cache");
}

bool TPasswordCache::Matches(const std::string& iPassword, const std::string& iStoredHash)
{
  const TDigest digest = Digest(iPassword, iStoredHash);
  {
    std::lock_guard lock(fMutex);
    // Every entry is compared, each in constant time: how long the look-up takes tells nothing.
    bool known = false;
    for (const TDigest& match : fMatches)
      known |= CRYPTO_memcmp(match.data(), digest.data(), digest.size()) == 0;
    if (known)
      return true;
  }
  if (!fVerify(iPassword, iStoredHash))
    return false;
  std::lock_guard lock(fMutex);
  if (fMatches.size() < fCapacity)
    fMatches.push_back(digest);
  else
  {
    fMatches[fNext] = digest;
    fNext = (fNext + 1) % fCapacity;
  }
  return true;
}

TPasswordCache::TDigest TPasswordCache::Digest(const std::string& iPassword, const std::string& iStoredHash) const
{
  // The password's length first, so that no other split of the same bytes gives the same digest.
  const std::string message = std::to_string(iPassword.size()) + ':' + iPassword + iStoredHash;
  TDigest digest;
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), fKey.data(), static_cast<int>(fKey.size()),
            reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(), &length) ||
      length != digest.size())
    throw std::runtime_error("HMAC-SHA256 is not available");
  return digest;
}

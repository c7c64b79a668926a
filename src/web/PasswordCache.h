#pragma once
// Passwords that matched their stored hash lately, so that a browser, which sends its credentials with every
// request, pays the slow hash once rather than per request. Only matches are kept, as keyed digests of the
// password and the stored hash (the key is random per cache): the memory holds nothing a fast guess could be
// tested against. Bounded; safe to use from several request threads at once.

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TPasswordCache
{
public:
  // iVerify: the slow check (PasswordMatches); iCapacity: matches kept, the oldest giving way.
  using TVerifier = std::function<bool(const std::string& iPassword, const std::string& iStoredHash)>;
  explicit TPasswordCache(TVerifier iVerify, size_t iCapacity = 32);

  // iVerify's answer, from memory when this pair matched before.
  bool Matches(const std::string& iPassword, const std::string& iStoredHash);

private:
  using TDigest = std::array<unsigned char, 32>;
  TDigest Digest(const std::string& iPassword, const std::string& iStoredHash) const;

  const TVerifier fVerify;
  const size_t fCapacity;
  std::array<unsigned char, 32> fKey;
  std::mutex fMutex;
  std::vector<TDigest> fMatches;
  size_t fNext = 0;
};

#pragma once
// Log lines that a client can cause at will (an odd method name per request) reach the program's log at most
// once a minute per client address; the next line that gets through says how many were held back. Safe to call
// from several request threads at once.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class TRateLimitedLog
{
public:
  static constexpr int64_t cIntervalMilliseconds = 60000;
  // Addresses remembered at most; beyond that old ones are forgotten, and while all are recent every client
  // shares one allowance.
  static constexpr size_t cMaxAddresses = 4096;

  // The line to log for iLine from iAddress at iNow (milliseconds of any steady clock), or nothing when one was
  // logged for that address less than a minute ago.
  std::optional<std::string> Take(const std::string& iAddress, const std::string& iLine, int64_t iNow);

private:
  struct TAddress
  {
    int64_t LastLogged = 0;
    uint64_t HeldBack = 0;
  };
  void Forget(int64_t iNow);

  std::mutex fMutex;
  std::map<std::string, TAddress> fAddresses;
};

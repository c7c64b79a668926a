#pragma once
// Failed logins per client address: after MaxFailures wrong credentials within Window, the address is refused
// for LockTime, whatever it sends, so that passwords cannot be guessed at the speed of the network. Safe to use
// from several request threads at once; holds a bounded number of addresses.

#include "web/WebResponse.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// What /metrics tells of the logins since the server started.
struct TLoginCounts
{
  uint64_t FailedLogins = 0;
  uint64_t LockOuts = 0;
};

class TLoginThrottle
{
public:
  using TClock = std::chrono::steady_clock;
  using TNow = std::function<TClock::time_point()>;

  static constexpr size_t MaxFailures = 5;
  static constexpr std::chrono::seconds Window{60};
  static constexpr std::chrono::seconds LockTime{60};

  // iNow: the clock (tests step their own).
  explicit TLoginThrottle(TNow iNow = &TClock::now);

  // How long iAddress is still refused, in whole seconds rounded up; nothing when it is not.
  std::optional<std::chrono::seconds> RefusedFor(const std::string& iAddress);
  // iAddress gave wrong credentials. True when this failure starts its lock-out.
  bool Failed(const std::string& iAddress);
  TLoginCounts Counts() const;

private:
  struct TClient
  {
    // The latest failures, at most MaxFailures, oldest first.
    std::deque<TClock::time_point> Failures;
    std::optional<TClock::time_point> LockedUntil;
  };
  void MakeRoom(TClock::time_point iNow);

  const TNow fNow;
  mutable std::mutex fMutex;
  std::unordered_map<std::string, TClient> fClients;
  TLoginCounts fCounts;
};

// 429 with "Retry-After" for a refused address.
TWebResponse TooManyLoginsAnswer(std::chrono::seconds iRetryAfter);

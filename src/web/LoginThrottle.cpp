#include "web/LoginThrottle.h"

#include <algorithm>

namespace
{
// Addresses remembered at most; beyond it those with nothing current, then the longest quiet, are forgotten.
constexpr size_t cMaxClients = 10000;
} // namespace

TLoginThrottle::TLoginThrottle(TNow iNow) : fNow(std::move(iNow)) {}

std::optional<std::chrono::seconds> TLoginThrottle::RefusedFor(const std::string& iAddress)
{
  const TClock::time_point now = fNow();
  std::lock_guard lock(fMutex);
  const auto client = fClients.find(iAddress);
  if (client == fClients.end() || !client->second.LockedUntil)
    return std::nullopt;
  if (*client->second.LockedUntil <= now)
  {
    fClients.erase(client);
    return std::nullopt;
  }
  return std::chrono::ceil<std::chrono::seconds>(*client->second.LockedUntil - now);
}

bool TLoginThrottle::Failed(const std::string& iAddress)
{
  const TClock::time_point now = fNow();
  std::lock_guard lock(fMutex);
  ++fCounts.FailedLogins;
  if (!fClients.contains(iAddress))
    MakeRoom(now);
  TClient& client = fClients[iAddress];
  if (client.LockedUntil && *client.LockedUntil > now)
    return false;
  client.LockedUntil.reset();
  client.Failures.push_back(now);
  if (client.Failures.size() > MaxFailures)
    client.Failures.pop_front();
  if (client.Failures.size() < MaxFailures || now - client.Failures.front() > Window)
    return false;
  client.Failures.clear();
  client.LockedUntil = now + LockTime;
  ++fCounts.LockOuts;
  return true;
}

TLoginCounts TLoginThrottle::Counts() const
{
  std::lock_guard lock(fMutex);
  return fCounts;
}

void TLoginThrottle::MakeRoom(TClock::time_point iNow)
{
  if (fClients.size() < cMaxClients)
    return;
  std::erase_if(fClients,
                [&](const auto& iEntry)
                {
                  const TClient& client = iEntry.second;
                  return client.LockedUntil ? *client.LockedUntil <= iNow
                                            : client.Failures.empty() || iNow - client.Failures.back() > Window;
                });
  if (fClients.size() < cMaxClients)
    return;
  const auto quietest =
      std::min_element(fClients.begin(), fClients.end(),
                       [](const auto& iLeft, const auto& iRight)
                       {
                         const auto last = [](const TClient& iClient)
                         { return iClient.LockedUntil ? *iClient.LockedUntil : iClient.Failures.back(); };
                         return last(iLeft.second) < last(iRight.second);
                       });
  fClients.erase(quietest);
}

TWebResponse TooManyLoginsAnswer(std::chrono::seconds iRetryAfter)
{
  TWebResponse response;
  response.Status = 429;
  response.ContentType = "text/html; charset=ISO-8859-1";
  response.SetHeader("Retry-After", std::to_string(iRetryAfter.count()));
  response.Body = std::string("Too many failed logins; try again later");
  return response;
}

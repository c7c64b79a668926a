#include "web/RateLimitedLog.h"

#include "lib/Errors.h"

std::optional<std::string> TRateLimitedLog::Take(const std::string& iAddress, const std::string& iLine, int64_t iNow)
{
  std::lock_guard lock(fMutex);
  if (fAddresses.size() >= cMaxAddresses && !fAddresses.contains(iAddress))
    Forget(iNow);
  const std::string key = fAddresses.size() >= cMaxAddresses ? std::string("*") : iAddress;
  auto [entry, added] = fAddresses.try_emplace(key);
  TAddress& address = entry->second;
  if (!added && iNow - address.LastLogged < cIntervalMilliseconds)
  {
    ++address.HeldBack;
    return std::nullopt;
  }
  std::string line = iLine;
  if (address.HeldBack > 0)
    line += Format(" (%llu more from %s not logged)", static_cast<unsigned long long>(address.HeldBack), key.c_str());
  address = {iNow, 0};
  return line;
}

void TRateLimitedLog::Forget(int64_t iNow)
{
  std::erase_if(fAddresses, [iNow](const auto& iEntry)
                { return iNow - iEntry.second.LastLogged >= cIntervalMilliseconds && iEntry.second.HeldBack == 0; });
}

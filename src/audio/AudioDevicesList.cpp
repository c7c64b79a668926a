#include "audio/AudioDevicesList.h"

#include <strings.h>

void TDeviceList::Add(std::string iIdentifier, TDeviceInfo* iDevice)
{
  fEntries.push_back({std::move(iIdentifier), iDevice});
}

TDeviceInfo* TDeviceList::Find(const std::string& iIdentifier) const
{
  for (const TDeviceListEntry& entry : fEntries)
  {
    if (entry.Identifier.size() == iIdentifier.size() && strcasecmp(entry.Identifier.c_str(), iIdentifier.c_str()) == 0)
      return entry.Device;
  }
  return nullptr;
}

#pragma once
// The registry's list of selectable inputs: identifier texts paired with their device objects, in the order of
// enumeration. It does not own the devices.

#include <string>
#include <vector>

class TDeviceInfo;

struct TDeviceListEntry
{
  std::string Identifier;
  TDeviceInfo* Device;
};

class TDeviceList
{
public:
  void Add(std::string iIdentifier, TDeviceInfo* iDevice);
  void Clear() { fEntries.clear(); }
  // The device registered under iIdentifier, compared without regard to (ASCII) letter case; nullptr if absent.
  TDeviceInfo* Find(const std::string& iIdentifier) const;
  const std::vector<TDeviceListEntry>& Entries() const { return fEntries; }

private:
  std::vector<TDeviceListEntry> fEntries;
};

#include "audio/engine/HandleTable.h"

#include <thread>

THandleTable& THandleTable::Instance()
{
  static THandleTable Table;
  return Table;
}

THandleTable::THandleTable()
{
  fFree.reserve(kSize);
  for (uint32_t Index = kSize; Index-- > 0;)
    fFree.push_back(Index);
}

uint32_t THandleTable::Add(std::unique_ptr<TEngineObject> iObject)
{
  std::lock_guard Lock(fMutex);
  if (fFree.empty())
    return 0;
  uint32_t Index = fFree.back();
  fFree.pop_back();
  TEntry& Entry = fEntries[Index];
  // The generation fills the bits above the index and is never 0, so no handle is 0.
  Entry.Generation = (Entry.Generation + 1) & ((1u << (32 - kIndexBits)) - 1);
  if (Entry.Generation == 0)
    Entry.Generation = 1;
  uint32_t Handle = (Entry.Generation << kIndexBits) | Index;
  iObject->fHandle = Handle;
  Entry.Object.store(iObject.release(), std::memory_order_relaxed);
  Entry.Handle.store(Handle, std::memory_order_seq_cst);
  return Handle;
}

std::unique_ptr<TEngineObject> THandleTable::Remove(uint32_t iHandle)
{
  std::lock_guard Lock(fMutex);
  TEntry& Entry = fEntries[iHandle & (kSize - 1)];
  if (iHandle == 0 || Entry.Handle.load(std::memory_order_seq_cst) != iHandle)
    return nullptr;
  Entry.Handle.store(0, std::memory_order_seq_cst);
  // A pinning thread holds its pin only for one call (a copy or one buffer of the chain).
  while (Entry.Pins.load(std::memory_order_seq_cst) != 0)
    std::this_thread::yield();
  std::unique_ptr<TEngineObject> Object(Entry.Object.exchange(nullptr, std::memory_order_acquire));
  fFree.push_back(iHandle & (kSize - 1));
  return Object;
}

TEngineObject* THandleTable::PinObject(uint32_t iHandle, TEntry*& oEntry)
{
  if (iHandle == 0)
    return nullptr;
  TEntry& Entry = fEntries[iHandle & (kSize - 1)];
  // Pin first, then check: Remove clears the handle before it looks at the pins (both sequentially
  // consistent), so either Remove sees this pin and waits, or this check sees the cleared handle.
  Entry.Pins.fetch_add(1, std::memory_order_seq_cst);
  if (Entry.Handle.load(std::memory_order_seq_cst) != iHandle)
  {
    Entry.Pins.fetch_sub(1, std::memory_order_release);
    return nullptr;
  }
  oEntry = &Entry;
  return Entry.Object.load(std::memory_order_acquire);
}

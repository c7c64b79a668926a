#include "audio/engine/HandleTable.h"

#include <thread>

THandleTable& THandleTable::Instance()
{
  static THandleTable table;
  return table;
}

THandleTable::THandleTable()
{
  fFree.reserve(kSize);
  for (uint32_t index = kSize; index-- > 0;)
    fFree.push_back(index);
}

uint32_t THandleTable::Add(std::unique_ptr<TEngineObject> iObject)
{
  std::lock_guard lock(fMutex);
  if (fFree.empty())
    return 0;
  uint32_t index = fFree.back();
  fFree.pop_back();
  TEntry& entry = fEntries[index];
  // The generation fills the bits above the index and is never 0, so no handle is 0.
  entry.Generation = (entry.Generation + 1) & ((1u << (32 - kIndexBits)) - 1);
  if (entry.Generation == 0)
    entry.Generation = 1;
  uint32_t handle = (entry.Generation << kIndexBits) | index;
  iObject->fHandle = handle;
  entry.Object.store(iObject.release(), std::memory_order_relaxed);
  entry.Handle.store(handle, std::memory_order_seq_cst);
  return handle;
}

std::unique_ptr<TEngineObject> THandleTable::Remove(uint32_t iHandle)
{
  std::lock_guard lock(fMutex);
  TEntry& entry = fEntries[iHandle & (kSize - 1)];
  if (iHandle == 0 || entry.Handle.load(std::memory_order_seq_cst) != iHandle)
    return nullptr;
  entry.Handle.store(0, std::memory_order_seq_cst);
  // A pinning thread holds its pin only for one call (a copy or one buffer of the chain).
  while (entry.Pins.load(std::memory_order_seq_cst) != 0)
    std::this_thread::yield();
  std::unique_ptr<TEngineObject> object(entry.Object.exchange(nullptr, std::memory_order_acquire));
  fFree.push_back(iHandle & (kSize - 1));
  return object;
}

TEngineObject* THandleTable::PinObject(uint32_t iHandle, TEntry*& oEntry)
{
  if (iHandle == 0)
    return nullptr;
  TEntry& entry = fEntries[iHandle & (kSize - 1)];
  // Pin first, then check: Remove clears the handle before it looks at the pins (both sequentially
  // consistent), so either Remove sees this pin and waits, or this check sees the cleared handle.
  entry.Pins.fetch_add(1, std::memory_order_seq_cst);
  if (entry.Handle.load(std::memory_order_seq_cst) != iHandle)
  {
    entry.Pins.fetch_sub(1, std::memory_order_release);
    return nullptr;
  }
  oEntry = &entry;
  return entry.Object.load(std::memory_order_acquire);
}

#pragma once
// Owns every engine object and maps 32-bit handles to them. Handles carry a generation, so a freed handle
// never finds a later object. Looking up pins the object: Remove waits until no pin is left, which lets a
// capture or pulling thread use an object without taking any lock while another thread frees it.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class TEngineObject
{
public:
  virtual ~TEngineObject() = default;
  // The object's handle, set when the table takes it.
  uint32_t Handle() const { return fHandle; }

private:
  friend class THandleTable;
  uint32_t fHandle = 0;
};

// A looked-up object, pinned until this goes out of scope.
template <class T> class TPinned
{
public:
  TPinned() = default;
  TPinned(std::atomic<uint32_t>* iPins, T* iObject) : fPins(iPins), fObject(iObject) {}
  TPinned(TPinned&& iOther) noexcept : fPins(iOther.fPins), fObject(iOther.fObject)
  {
    iOther.fPins = nullptr;
    iOther.fObject = nullptr;
  }
  TPinned& operator=(TPinned&& iOther) noexcept
  {
    Release();
    std::swap(fPins, iOther.fPins);
    std::swap(fObject, iOther.fObject);
    return *this;
  }
  TPinned(const TPinned&) = delete;
  ~TPinned() { Release(); }
  explicit operator bool() const { return fObject != nullptr; }
  T* operator->() const { return fObject; }
  T& operator*() const { return *fObject; }
  T* Get() const { return fObject; }

private:
  void Release()
  {
    if (fPins)
      fPins->fetch_sub(1, std::memory_order_release);
    fPins = nullptr;
    fObject = nullptr;
  }

  std::atomic<uint32_t>* fPins = nullptr;
  T* fObject = nullptr;
};

class THandleTable
{
public:
  static THandleTable& Instance();

  // 0 when the table is full (the object is then destroyed).
  uint32_t Add(std::unique_ptr<TEngineObject> iObject);
  // Unpublishes the handle, waits for its pins to go, hands the object back; nullptr for an unknown handle.
  std::unique_ptr<TEngineObject> Remove(uint32_t iHandle);

  // The object of iHandle if it is a T, pinned; empty otherwise. Never blocks, never allocates.
  template <class T> TPinned<T> Pin(uint32_t iHandle)
  {
    TEntry* entry = nullptr;
    TEngineObject* object = PinObject(iHandle, entry);
    if (!object)
      return {};
    T* typed = dynamic_cast<T*>(object);
    if (!typed)
    {
      entry->Pins.fetch_sub(1, std::memory_order_release);
      return {};
    }
    return TPinned<T>(&entry->Pins, typed);
  }

private:
  static constexpr uint32_t kIndexBits = 14;
  static constexpr uint32_t kSize = 1u << kIndexBits;

  struct TEntry
  {
    std::atomic<uint32_t> Handle{0};
    std::atomic<uint32_t> Pins{0};
    std::atomic<TEngineObject*> Object{nullptr};
    uint32_t Generation = 0; // guarded by fMutex
  };

  THandleTable();
  TEngineObject* PinObject(uint32_t iHandle, TEntry*& oEntry);

  std::array<TEntry, kSize> fEntries;
  std::mutex fMutex; // Add and Remove
  std::vector<uint32_t> fFree;
};

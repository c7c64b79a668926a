#pragma once
// Owns an open file descriptor.

#include <cstdint>
#include <string>
#include <utility>

class TFileHandle
{
public:
  TFileHandle() = default;
  explicit TFileHandle(int iDescriptor) : fDescriptor(iDescriptor) {}
  ~TFileHandle() { Reset(); }
  TFileHandle(TFileHandle&& iOther) noexcept : fDescriptor(iOther.Release()) {}
  TFileHandle& operator=(TFileHandle&& iOther) noexcept
  {
    if (this != &iOther)
    {
      Reset();
      fDescriptor = iOther.Release();
    }
    return *this;
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;

  int Get() const { return fDescriptor; }
  bool Valid() const { return fDescriptor >= 0; }
  int Release() { return std::exchange(fDescriptor, -1); }
  void Reset();

private:
  int fDescriptor = -1;
};

// Opens an existing regular file for reading (never blocks on special files); an invalid handle otherwise.
// oSize receives its current size.
TFileHandle OpenRegularFile(const std::string& iPath, uint64_t& oSize);

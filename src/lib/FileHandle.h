#pragma once
// Owns an open file descriptor.

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

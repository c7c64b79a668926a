#pragma once
// An owned file descriptor of the encoders (pipes, files), closed with its owner.

#include <unistd.h>
#include <utility>

class TEncoderFd
{
public:
  TEncoderFd() = default;
  explicit TEncoderFd(int iFd) : fFd(iFd) {}
  TEncoderFd(TEncoderFd&& iOther) noexcept : fFd(std::exchange(iOther.fFd, -1)) {}
  TEncoderFd& operator=(TEncoderFd&& iOther) noexcept
  {
    if (this != &iOther)
    {
      Close();
      fFd = std::exchange(iOther.fFd, -1);
    }
    return *this;
  }
  ~TEncoderFd() { Close(); }

  int Get() const { return fFd; }
  bool IsOpen() const { return fFd >= 0; }
  void Close()
  {
    if (fFd >= 0)
      ::close(std::exchange(fFd, -1));
  }

private:
  int fFd = -1;
};

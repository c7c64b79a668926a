#pragma once
// An owned file descriptor of the encoders (pipes, files), closed with its owner.

#include <cerrno>
#include <cstddef>
#include <cstdint>
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

// Writes iSize bytes to iFd, going on after interruptions and partial writes; returns the bytes written, less
// than iSize when a write failed (a full disk).
inline size_t WriteFully(int iFd, const uint8_t* iData, size_t iSize)
{
  size_t done = 0;
  while (done < iSize)
  {
    const ssize_t written = ::write(iFd, iData + done, iSize - done);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      break;
    done += static_cast<size_t>(written);
  }
  return done;
}

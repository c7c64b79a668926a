#include "web/FileHandle.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

void TFileHandle::Reset()
{
  if (fDescriptor >= 0)
    ::close(fDescriptor);
  fDescriptor = -1;
}

TFileHandle OpenRegularFile(const std::string& iPath, uint64_t& oSize)
{
  oSize = 0;
  if (iPath.find('\0') != std::string::npos)
    return TFileHandle();
  // Non-blocking, so that a FIFO of that name cannot hold the request thread; read access never excludes a
  // writer, so a file still being recorded can be delivered.
  TFileHandle file(::open(iPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat status;
  if (!file.Valid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
    return TFileHandle();
  oSize = static_cast<uint64_t>(status.st_size);
  return file;
}

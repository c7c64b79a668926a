#include "web/FileHandle.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

TFileHandle OpenRegularFileBeneath(const std::string& iFolder, const std::string& iRelativePath, uint64_t& oSize)
{
  oSize = 0;
  if (iFolder.find('\0') != std::string::npos || iRelativePath.find('\0') != std::string::npos)
    return TFileHandle();
  // The folder itself may be reached through links: that is where the operator put it.
  const TFileHandle folder(::open(iFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid())
    return TFileHandle();
  // The kernel resolves the rest strictly inside the folder, so a link planted there cannot reach the
  // configuration file or the system. Non-blocking, so that a FIFO of that name cannot hold the request
  // thread; read access never excludes a writer, so a file still being recorded can be delivered.
  open_how how{};
  how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  TFileHandle file(static_cast<int>(::syscall(SYS_openat2, folder.Get(), iRelativePath.c_str(), &how, sizeof(how))));
  struct stat status;
  if (!file.Valid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
    return TFileHandle();
  oSize = static_cast<uint64_t>(status.st_size);
  return file;
}

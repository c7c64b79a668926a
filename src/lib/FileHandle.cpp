#include "lib/FileHandle.h"

#include <unistd.h>

void TFileHandle::Reset()
{
  if (fDescriptor >= 0)
    ::close(fDescriptor);
  fDescriptor = -1;
}

#include "audio/engine/EncoderScheduling.h"

#include <sys/resource.h>

namespace
{
// Ahead of ordinary processes (0), behind what an administrator raised further.
constexpr int kEncoderNiceness = -10;
} // namespace

void FavourEncoderTask(pid_t iTask)
{
  // On Linux the niceness of a thread id applies to that thread alone.
  setpriority(PRIO_PROCESS, static_cast<id_t>(iTask), kEncoderNiceness);
}

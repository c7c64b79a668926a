#include "audio/engine/LastError.h"

namespace
{
thread_local int gLastError = ecOK;
}

void SetLastEngineError(int iCode)
{
  gLastError = iCode;
}

int LastEngineError()
{
  return gLastError;
}

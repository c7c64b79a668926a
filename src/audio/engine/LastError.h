#pragma once
// The calling thread's last engine error, as ErrorGetCode reports it.

#include "audio/engine/EngineTypes.h"

void SetLastEngineError(int iCode);
int LastEngineError();

// Sets the error and returns iResult, so that failures read as one statement: return Fail(ecHandle, 0).
template <typename T> T Fail(int iCode, T iResult)
{
  SetLastEngineError(iCode);
  return iResult;
}

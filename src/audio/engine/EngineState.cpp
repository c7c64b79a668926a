#include "audio/engine/EngineState.h"

TEngineState& TEngineState::Instance()
{
  static TEngineState State;
  return State;
}

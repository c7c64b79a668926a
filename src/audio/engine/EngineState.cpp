#include "audio/engine/EngineState.h"

TEngineState& TEngineState::Instance()
{
  static TEngineState state;
  return state;
}

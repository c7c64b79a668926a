#include "audio/engine/EncodeDetach.h"

#include "audio/engine/AudioEngine.h"
#include "audio/engine/ChainEncoder.h"
#include "audio/engine/Channel.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"

#include <mutex>

bool EncodeDetach(uint32_t iEncoder, TEncodeSpan& oSpan)
{
  std::lock_guard lock(TEngineState::Instance().Graph);
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, false);
  if (!encoder->IsDetached())
  {
    encoder->Channel().RemoveElement(encoder.Get());
    encoder->SetDetached();
  }
  oSpan = encoder->Span();
  return Fail(ecOK, true);
}

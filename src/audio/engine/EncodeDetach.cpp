#include "audio/engine/EncodeDetach.h"

#include "audio/engine/AudioEngine.h"
#include "audio/engine/ChainEncoder.h"
#include "audio/engine/Channel.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"

#include <mutex>

bool EncodeDetach(uint32_t iEncoder, TEncodeSpan& oSpan)
{
  std::lock_guard Lock(TEngineState::Instance().Graph);
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, false);
  if (!Encoder->IsDetached())
  {
    Encoder->Channel().RemoveElement(Encoder.Get());
    Encoder->SetDetached();
  }
  oSpan = Encoder->Span();
  return Fail(ecOK, true);
}

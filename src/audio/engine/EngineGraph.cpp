#include "audio/engine/EngineGraph.h"

#include "audio/engine/Channel.h"

bool FreeChannel(uint32_t iHandle, TGarbage& oGarbage)
{
  THandleTable& Table = THandleTable::Instance();
  if (!Table.Pin<TChannel>(iHandle))
    return false;
  std::unique_ptr<TEngineObject> Object = Table.Remove(iHandle);
  TChannel* Channel = static_cast<TChannel*>(Object.get());
  for (TChainElement* Element : Channel->Elements())
    oGarbage.push_back(Table.Remove(Element->Handle()));
  oGarbage.push_back(std::move(Object));
  return true;
}

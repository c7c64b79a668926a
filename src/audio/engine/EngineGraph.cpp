#include "audio/engine/EngineGraph.h"

#include "audio/engine/Mixer.h"

bool FreeChannel(uint32_t iHandle, TGarbage& oGarbage)
{
  THandleTable& Table = THandleTable::Instance();
  if (!Table.Pin<TChannel>(iHandle))
    return false;
  std::unique_ptr<TEngineObject> Object = Table.Remove(iHandle);
  TChannel* Channel = static_cast<TChannel*>(Object.get());
  // Nothing may pull the channel once its elements go: stop its output, take it out of its mixer.
  Channel->Stop();
  if (Channel->Mixer())
    Channel->Mixer()->RemoveSource(*Channel);
  if (TMixer* Mixer = dynamic_cast<TMixer*>(Channel))
    for (TChannel* Source : Mixer->Sources())
      Mixer->RemoveSource(*Source);
  for (TChainElement* Element : Channel->Elements())
    oGarbage.push_back(Table.Remove(Element->Handle()));
  oGarbage.push_back(std::move(Object));
  return true;
}

bool IsAncestor(const TChannel& iChannel, const TChannel& iOf)
{
  for (const TChannel* Parent = iOf.Mixer(); Parent; Parent = Parent->Mixer())
    if (Parent == &iChannel)
      return true;
  return false;
}

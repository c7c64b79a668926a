#include "audio/engine/EngineGraph.h"

#include "audio/engine/Mixer.h"

bool FreeChannel(uint32_t iHandle, TGarbage& oGarbage)
{
  THandleTable& table = THandleTable::Instance();
  if (!table.Pin<TChannel>(iHandle))
    return false;
  std::unique_ptr<TEngineObject> object = table.Remove(iHandle);
  TChannel* channel = static_cast<TChannel*>(object.get());
  // Nothing may pull the channel once its elements go: stop its output, take it out of its mixer.
  channel->Stop();
  if (channel->Mixer())
    channel->Mixer()->RemoveSource(*channel);
  if (TMixer* mixer = dynamic_cast<TMixer*>(channel))
    for (TChannel* source : mixer->Sources())
      mixer->RemoveSource(*source);
  for (TChainElement* element : channel->Elements())
    oGarbage.push_back(table.Remove(element->Handle()));
  for (TChainElement* element : channel->Standby())
    oGarbage.push_back(table.Remove(element->Handle()));
  oGarbage.push_back(std::move(object));
  return true;
}

bool IsAncestor(const TChannel& iChannel, const TChannel& iOf)
{
  for (const TChannel* parent = iOf.Mixer(); parent; parent = parent->Mixer())
    if (parent == &iChannel)
      return true;
  return false;
}

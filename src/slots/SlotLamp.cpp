#include "slots/SlotLamp.h"

#include "slots/SlotSettings.h"
#include "slots/SlotStatus.h"

TSlotLamp SlotLamp(const TSlotLampFacts& iFacts)
{
  if (iFacts.Source == rsDisabled)
    return slDisabled;
  TSlotLamp lamp = slError; // an input that delivers nothing
  if (iFacts.InputDelivers)
  {
    if (iFacts.EncoderRunning || (iFacts.Enabled && iFacts.NoFileWanted))
      lamp = slOK;
    else if (!iFacts.Enabled)
      lamp = slDisabled;
  }
  // An outgoing stream that should run and does not turns the lamp red whatever the recording does.
  const bool streamFails = iFacts.StreamingStatus == ssConnecting || iFacts.StreamingStatus == ssError;
  return iFacts.StreamingEnabled && streamFails ? slError : lamp;
}

TSlotLampFacts SlotLampFacts(const TSlotSettings& iSettings, const TSlotStatus& iStatus)
{
  TSlotLampFacts facts;
  facts.Source = iSettings.Input.Source;
  facts.InputDelivers = facts.Source == rsStream ? iStatus.StreamOpen : iStatus.DeviceName.has_value();
  facts.EncoderRunning = iStatus.Recording;
  facts.Enabled = iSettings.Enabled;
  facts.NoFileWanted = iSettings.Output.Format == sfNone || iSettings.OutputStream.Only;
  facts.StreamingEnabled = iSettings.OutputStream.Enabled;
  facts.StreamingStatus = iStatus.StreamingStatus;
  return facts;
}

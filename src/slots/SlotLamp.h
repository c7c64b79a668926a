#pragma once
// The state lamp a slot shows in the window and on the browser's monitor: green while it does what it should,
// gray while it is switched off, red otherwise. Both views decide it here, from the same facts.

#include "slots/SlotTypes.h"

struct TSlotSettings;
struct TSlotStatus;

enum TSlotLamp
{
  slOK,
  slDisabled,
  slError
};

struct TSlotLampFacts
{
  TRecordSource Source = rsDisabled;
  bool InputDelivers = false; // the device is attached, or the stream is connected
  bool EncoderRunning = false;
  bool Enabled = false;
  bool NoFileWanted = false; // no file format, or streaming only
  bool StreamingEnabled = false;
  TStreamingStatus StreamingStatus = ssDisabled;
};

TSlotLamp SlotLamp(const TSlotLampFacts& iFacts);
TSlotLampFacts SlotLampFacts(const TSlotSettings& iSettings, const TSlotStatus& iStatus);

#pragma once
// Changes settings of a slot in a test: its settings with iChange applied, written into the slot as an editor
// does (WriteSettings), without the restarts that ApplySlotSettings adds.

#include "slots/SlotInfo.h"

template <typename TChange> void EditSlotSettings(TSlotInfo& ioSlot, TChange iChange)
{
  TSlotSettings settings = ioSlot.Settings();
  iChange(settings);
  ioSlot.WriteSettings(settings);
}

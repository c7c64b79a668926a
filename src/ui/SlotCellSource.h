#pragma once
// The slot view's source over the controller's slots: a snapshot of each slot at every repaint, with the fall-off
// of the shown levels.

#include "ui/SlotView.h"

class TLoggerMain;
class TSlotInfo;

// What a slot shows at this moment: its published status and its settings; takes no slot lock. Updates the slot's
// shown levels: each falls by iLevelFactor, but never below the latest peak.
TSlotCellData SnapshotSlot(TSlotInfo& iSlot, float iLevelFactor);

class TControllerSlotSource : public ISlotViewSource
{
public:
  explicit TControllerSlotSource(TLoggerMain& iController);
  int SlotCount() const override;
  TSlotCellData CellData(int iSlot) override;

private:
  TLoggerMain& fController;
  float fLevelFactor;
};

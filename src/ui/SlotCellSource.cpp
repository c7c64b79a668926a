#include "ui/SlotCellSource.h"

#include "app/LoggerMain.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "ui/LevelMeter.h"

namespace
{
// The outgoing stream's part of the cell.
void SnapshotStreaming(const TSlotSettings& iSettings, const TSlotStatus& iStatus, TSlotCellData& oData)
{
  oData.StreamingEnabled = iSettings.OutputStream.Enabled;
  oData.StreamingStatus = iStatus.StreamingStatus;
  oData.StreamingMessage = iStatus.StreamingMessage;
  const int64_t since = iStatus.StreamingActiveSince;
  oData.StreamingActiveMilliseconds = since < 0 ? -1 : static_cast<int64_t>(MillisecondClock()) - since;
}
} // namespace

TSlotCellData SnapshotSlot(TSlotInfo& iSlot, float iLevelFactor)
{
  const TSlotSettings settings = iSlot.Settings();
  const std::shared_ptr<const TSlotStatus> status = iSlot.Status();
  TSlotCellData d;
  d.Name = settings.Name;
  d.RecordSource = settings.Input.Source;
  d.DeviceName = status->DeviceName;
  d.ErrorMessage = status->ErrorMessage;
  if (d.RecordSource == rsStream)
  {
    d.StreamOpen = status->StreamOpen;
    d.StreamURL = status->StreamURL;
    d.StreamTitle = status->StreamTitle;
    // A slot whose stream input could not even be set up has no status of its own, only its error.
    d.StreamStatus = status->StreamStatus;
    if (d.StreamStatus.empty())
      d.StreamStatus = d.ErrorMessage;
  }
  d.EncoderRunning = status->Recording;
  if (d.EncoderRunning)
  {
    const int64_t now = static_cast<int64_t>(MillisecondClock());
    d.CurrentFilename = status->CurrentFilename;
    d.RecordingMilliseconds = now - status->RecordStartTickCount;
    d.SilenceMilliseconds = now - status->LastOverSilenceTickCount;
  }
  d.SilenceThreshold = settings.Silence.Threshold;
  d.Enabled = settings.Enabled;
  d.AudioFormat = settings.Output.Format;
  d.StreamingOnly = settings.OutputStream.Only;
  SnapshotStreaming(settings, *status, d);
  d.NominalLevel = settings.Input.NominalLevel;

  d.LevelLeft = FallLevel(iSlot.CurrentLevelLeft(), status->LevelLeft, iLevelFactor);
  d.LevelRight = FallLevel(iSlot.CurrentLevelRight(), status->LevelRight, iLevelFactor);
  iSlot.SetCurrentLevelLeft(d.LevelLeft);
  iSlot.SetCurrentLevelRight(d.LevelRight);
  return d;
}

TControllerSlotSource::TControllerSlotSource(TLoggerMain& iController)
    : fController(iController), fLevelFactor(LevelFactor(TSlotView::RepaintInterval))
{
}

int TControllerSlotSource::SlotCount() const
{
  return fController.SlotCount();
}

TSlotCellData TControllerSlotSource::CellData(int iSlot)
{
  return SnapshotSlot(fController.Slot(iSlot), fLevelFactor);
}

#include "ui/SlotCellSource.h"

#include "app/LoggerMain.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "ui/LevelMeter.h"

namespace
{
// The outgoing stream's part of the cell.
void SnapshotStreaming(TSlotInfo& iSlot, const TSlotSettings& iSettings, TSlotCellData& oData)
{
  oData.StreamingEnabled = iSettings.OutputStream.Enabled;
  oData.StreamingStatus = iSlot.StreamingStatus();
  oData.StreamingMessage = iSlot.StreamingMessage();
  const int64_t since = iSlot.StreamingActiveSince();
  oData.StreamingActiveMilliseconds = since < 0 ? -1 : static_cast<int64_t>(MillisecondClock()) - since;
}
} // namespace

TSlotCellData SnapshotSlot(TSlotInfo& iSlot, float iLevelFactor)
{
  const TSlotSettings settings = iSlot.Settings();
  TSlotCellData d;
  d.Name = settings.Name;
  d.RecordSource = settings.Input.Source;
  d.DeviceName = iSlot.CurrentDeviceName();
  d.ErrorMessage = iSlot.ErrorMessage();
  if (d.RecordSource == rsStream)
  {
    d.StreamOpen = iSlot.StreamChannel() != 0;
    d.StreamURL = iSlot.CurrentStreamURL();
    d.StreamTitle = iSlot.CurrentStreamTitle();
    // A slot whose stream input could not even be set up has no status of its own, only its error.
    d.StreamStatus = iSlot.StreamStatus();
    if (d.StreamStatus.empty())
      d.StreamStatus = d.ErrorMessage;
  }
  d.EncoderRunning = iSlot.Encoder() != 0;
  if (d.EncoderRunning)
  {
    d.CurrentFilename = iSlot.CurrentFilename();
    d.RecordingMilliseconds = static_cast<int64_t>(MillisecondClock()) - iSlot.RecordStartTickCount();
    d.SilenceMilliseconds = iSlot.GetCurrentSilenceDurationMilliseconds();
  }
  d.SilenceThreshold = settings.Silence.Threshold;
  d.Enabled = settings.Enabled;
  d.AudioFormat = settings.Output.Format;
  d.StreamingOnly = settings.OutputStream.Only;
  SnapshotStreaming(iSlot, settings, d);
  d.NominalLevel = settings.Input.NominalLevel;

  d.LevelLeft = FallLevel(iSlot.CurrentLevelLeft(), iSlot.LevelLeft(), iLevelFactor);
  d.LevelRight = FallLevel(iSlot.CurrentLevelRight(), iSlot.LevelRight(), iLevelFactor);
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

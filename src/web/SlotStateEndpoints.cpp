#include "lib/BrendleRegExpr.h"
#include "lib/PersistentStorage.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "web/SlotApi.h"
#include "web/WebController.h"

namespace
{
// Whole seconds since a tick count of the millisecond clock, rounded down.
int64_t SecondsSince(int64_t iTickCount)
{
  const int64_t elapsed = static_cast<int64_t>(MillisecondClock()) - iTickCount;
  return elapsed >= 0 ? elapsed / 1000 : -((-elapsed + 999) / 1000);
}

// The input of a slot: nothing when disabled, the device in use (iNoDevice when none) or the stream URL.
std::string SourceText(TSlotInfo& iSlot, const char* iNoDevice)
{
  const TSlotSettings::TInput input = iSlot.Settings(&TSlotSettings::Input);
  switch (input.Source)
  {
  case rsSoundcard:
    return iSlot.CurrentDeviceName().value_or(iNoDevice);
  case rsStream:
    return input.StreamURL;
  default:
    return std::string();
  }
}

// The state of the outgoing stream as a word.
const char* StreamingStatusWord(TStreamingStatus iStatus)
{
  switch (iStatus)
  {
  case ssConnecting:
    return "connecting";
  case ssConnected:
    return "connected";
  case ssError:
    return "error";
  default:
    return "disabled";
  }
}
} // namespace

std::string TSlotApi::SlotListJSON() const
{
  auto slots = std::make_shared<TPersistentArray>();
  for (int i = 0; i < fController.SlotCount(); ++i)
  {
    TSlotInfo& slot = fController.Slot(i);
    const IPersistentObjectRef object = slots->AddObject();
    object->SetString("CurrentTitle", slot.CurrentStreamTitle())
        ->SetBoolean("Recording", slot.Encoder() != 0)
        ->SetNumber("ID", i)
        ->SetNumber("LastMetadata", static_cast<double>(SecondsSince(slot.LastMetadataTickCount())))
        ->SetString("Source", SourceText(slot, "Err"))
        ->SetString("Name", slot.Settings(&TSlotSettings::Name))
        ->SetNumber("Silence", static_cast<double>(SecondsSince(slot.LastOverSilenceTickCount())))
        // A stream slot's state while its stream is not connected ("Connecting...", the error of the last
        // attempt); empty otherwise.
        ->SetString("StreamStatus", slot.StreamStatus());
    // The outgoing stream: its state, the host, server address or error that goes with it, and the seconds
    // it has been connected (null while it is not).
    object->SetString("Streaming", StreamingStatusWord(slot.StreamingStatus()))
        ->SetString("StreamingMessage", slot.StreamingMessage());
    if (const int64_t since = slot.StreamingActiveSince(); since >= 0)
      object->SetNumber("StreamingOnline", static_cast<double>(SecondsSince(since)));
    else
      object->SetNull("StreamingOnline");
  }
  return slots->AsJSon(true, true);
}

void TSlotApi::Name(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(iSlot.Settings(&TSlotSettings::Name));
}

void TSlotApi::Source(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(SourceText(iSlot, "Error"));
}

void TSlotApi::Recording(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(iSlot.Encoder() != 0 ? "1" : "0");
}

void TSlotApi::Silence(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(std::to_string(SecondsSince(iSlot.LastOverSilenceTickCount())));
}

void TSlotApi::LastMetadata(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(std::to_string(SecondsSince(iSlot.LastMetadataTickCount())));
}

void TSlotApi::CurrentTitle(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(iSlot.CurrentStreamTitle());
}

#include "lib/BrendleRegExpr.h"
#include "lib/PersistentStorage.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "web/SlotApi.h"
#include "web/SlotStatusText.h"
#include "web/WebController.h"

namespace
{
// The input of a slot: nothing when disabled, the device in use (iNoDevice when none) or the stream URL.
std::string SourceText(TSlotInfo& iSlot, const TSlotStatus& iStatus, const char* iNoDevice)
{
  const TSlotSettings::TInput input = iSlot.Settings(&TSlotSettings::Input);
  switch (input.Source)
  {
  case rsSoundcard:
    return iStatus.DeviceName.value_or(iNoDevice);
  case rsStream:
    return input.StreamURL;
  default:
    return std::string();
  }
}
} // namespace

std::string TSlotApi::SlotListJSON() const
{
  auto slots = std::make_shared<TPersistentArray>();
  for (int i = 0; i < fController.SlotCount(); ++i)
  {
    TSlotInfo& slot = fController.Slot(i);
    const std::shared_ptr<const TSlotStatus> status = slot.Status();
    const IPersistentObjectRef object = slots->AddObject();
    object->SetString("CurrentTitle", status->StreamTitle)
        ->SetBoolean("Recording", status->Recording)
        ->SetNumber("ID", i)
        ->SetNumber("LastMetadata", static_cast<double>(SecondsSince(status->LastMetadataTickCount)))
        ->SetString("Source", SourceText(slot, *status, "Err"))
        ->SetString("Name", slot.Settings(&TSlotSettings::Name))
        ->SetNumber("Silence", static_cast<double>(SecondsSince(status->LastOverSilenceTickCount)))
        // A stream slot's state while its stream is not connected ("Connecting...", the error of the last
        // attempt); empty otherwise.
        ->SetString("StreamStatus", status->StreamStatus);
    // The outgoing stream: its state, the host, server address or error that goes with it, and the seconds
    // it has been connected (null while it is not).
    object->SetString("Streaming", StreamingStatusWord(status->StreamingStatus))
        ->SetString("StreamingMessage", status->StreamingMessage);
    if (const int64_t since = status->StreamingActiveSince; since >= 0)
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
  oResponse = TextAnswer(SourceText(iSlot, *iSlot.Status(), "Error"));
}

void TSlotApi::Recording(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(iSlot.Status()->Recording ? "1" : "0");
}

void TSlotApi::Silence(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(std::to_string(SecondsSince(iSlot.Status()->LastOverSilenceTickCount)));
}

void TSlotApi::LastMetadata(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(std::to_string(SecondsSince(iSlot.Status()->LastMetadataTickCount)));
}

void TSlotApi::CurrentTitle(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  oResponse = TextAnswer(iSlot.Status()->StreamTitle);
}

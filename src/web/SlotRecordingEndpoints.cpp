#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "web/FileDelivery.h"
#include "web/RecordingQueries.h"
#include "web/SlotApi.h"
#include "web/WebText.h"

#include <stdexcept>

namespace
{
TCurrentRecording CurrentRecording(TSlotInfo& iSlot)
{
  return TCurrentRecording{iSlot.CurrentRecordingID(), iSlot.CurrentRecordingDuration()};
}

// A calendar bound: ISO 8601, a value without zone taken as UTC, converted to local time. Whatever keeps the
// text from being read is the one error the caller sees.
TDateTime CalendarBound(const TWebRequest& iRequest, const char* iName)
{
  const auto text = iRequest.Param(iName);
  try
  {
    if (text)
      return ParseISO8601(*text, false);
  }
  catch (const std::exception&)
  {
  }
  throw std::runtime_error("Date parse error");
}
} // namespace

void TSlotApi::Stats(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest&, TWebResponse& oResponse) const
{
  const ISQLConnectionRef connection = iSlot.ReadConnection();
  oResponse = JSONAnswer(StatsJSON(*connection));
}

void TSlotApi::CalendarEvents(TSlotInfo& iSlot, const TBrendleRegExpr&, const TWebRequest& iRequest,
                              TWebResponse& oResponse) const
{
  const TDateTime start = CalendarBound(iRequest, "start");
  const TDateTime end = CalendarBound(iRequest, "end");
  const ISQLConnectionRef connection = iSlot.ReadConnection();
  oResponse = JSONAnswer(
      CalendarEventsJSON(*connection, start, end, CurrentRecording(iSlot), iSlot.Settings(&TSlotSettings::Name)));
}

void TSlotApi::DayList(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest&,
                       TWebResponse& oResponse) const
{
  const TDateTime day =
      EncodeDate(DigitsToInt(iMatch.Group(2)), DigitsToInt(iMatch.Group(3)), DigitsToInt(iMatch.Group(4)));
  const ISQLConnectionRef connection = iSlot.ReadConnection();
  oResponse = JSONAnswer(DayListJSON(*connection, day, CurrentRecording(iSlot)));
}

void TSlotApi::GetFile(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                       TWebResponse& oResponse) const
{
  const int id = DigitsToInt(iMatch.Group(2));
  std::optional<std::string> storedName;
  if (id >= 0)
  {
    const ISQLConnectionRef connection = iSlot.ReadConnection();
    storedName = RecordingFileName(*connection, id);
  }
  const TSlotSettings::TOutput output = iSlot.Settings(&TSlotSettings::Output);
  if (!storedName || !DeliverRecording(output.Folder, output.SecondaryFolder, *storedName, iRequest.Range, oResponse))
    oResponse = NotFoundAnswer();
}

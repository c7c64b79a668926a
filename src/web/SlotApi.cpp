#include "web/SlotApi.h"

#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "web/WebController.h"
#include "web/WebText.h"

TSlotApi::TSlotApi(IWebController& iController) : fController(iController) {}

std::string TSlotApi::RewriteSlotPath(const std::string& iPath)
{
  static const std::string singular = "/ws/slot/";
  if (iPath.compare(0, singular.size(), singular) == 0)
    return "/ws/slots/" + iPath.substr(singular.size());
  return iPath;
}

std::vector<TWebRoute> TSlotApi::Routes() const
{
  return {
      {rmGetOrPost, "^/(ws/)?execute$", alAdmin, blPassOver, false,
       [this](const TRouteCall& iCall, TWebResponse& oResponse) { return Command(iCall, oResponse); }},
      {rmGet, "^/ws/slots$", alReadOnly, blPassOver, false,
       [this](const TRouteCall&, TWebResponse& oResponse)
       {
         oResponse = JSONAnswer(SlotListJSON());
         return true;
       }},
      SlotRoute("^/ws/slots/(\\d+)/name$", &TSlotApi::Name),
      SlotRoute("^/ws/slots/(\\d+)/source$", &TSlotApi::Source),
      SlotRoute("^/ws/slots/(\\d+)/recording$", &TSlotApi::Recording),
      SlotRoute("^/ws/slots/(\\d+)/silence$", &TSlotApi::Silence),
      SlotRoute("^/ws/slots/(\\d+)/lastmetadata$", &TSlotApi::LastMetadata),
      SlotRoute("^/ws/slots/(\\d+)/currenttitle$", &TSlotApi::CurrentTitle),
      SlotRoute("^/ws/slots/(\\d+)/stats", &TSlotApi::Stats),
      SlotRoute("^/ws/slots/(\\d+)/calendarevents", &TSlotApi::CalendarEvents),
      SlotRoute("^/ws/slots/(\\d+)/list/(\\d+)/(\\d+)/(\\d+)", &TSlotApi::DayList),
      SlotRoute("^/ws/slots/(\\d+)/getfile/(\\d+)", &TSlotApi::GetFile),
  };
}

TWebRoute TSlotApi::SlotRoute(const char* iPattern, TEndpoint iEndpoint) const
{
  return {rmGet,
          iPattern,
          alReadOnly,
          blPassOver,
          false,
          [this, iEndpoint](const TRouteCall& iCall, TWebResponse& oResponse)
          {
            if (TSlotInfo* slot = FindSlot(iCall.Match.Group(1)))
              (this->*iEndpoint)(*slot, iCall.Match, iCall.Request, oResponse);
            else
              oResponse = NotFoundAnswer();
            return true;
          }};
}

bool TSlotApi::Command(const TRouteCall& iCall, TWebResponse& oResponse) const
{
  const TWebRequest& request = iCall.Request;
  // Another site's page (a form, a link, an image) would be sent with the administrator's cached login.
  if (request.CrossSite())
  {
    oResponse = ForbiddenAnswer("Commands are accepted only from this server's own pages and from scripts.");
    return true;
  }
  const std::string command = request.Param("command").value_or("");
  // The command counts slots from 1; 0 and numbers beyond int become negative and are ignored by the controller.
  TBrendleRegExpr expression;
  const bool start = expression.Matches("^SLOT (\\d+) START$", command);
  if (start || expression.Matches("^SLOT (\\d+) STOP$", command))
  {
    const int slot = DigitsToInt(expression.Group(1)) - 1;
    if (slot >= 0 && slot < fController.SlotCount())
      fController.AddLogMessage(
          Format("Slot %d %s from the web by %s", slot + 1, start ? "START" : "STOP", request.RequesterName().c_str()));
    if (start)
      fController.PostSlotStart(slot);
    else
      fController.PostSlotStop(slot);
  }
  oResponse = EmptyAnswer();
  return true;
}

TSlotInfo* TSlotApi::FindSlot(const std::string& iDigits) const
{
  const int index = DigitsToInt(iDigits);
  if (index < 0 || index >= fController.SlotCount())
    return nullptr;
  return &fController.Slot(index);
}

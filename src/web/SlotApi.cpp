#include "web/SlotApi.h"

#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "web/WebController.h"
#include "web/WebText.h"

namespace
{
bool IsCommandPath(const std::string& iPath)
{
  return iPath == "/execute" || iPath == "/ws/execute";
}

// "/ws/slot/..." is another spelling of "/ws/slots/...".
std::string RewriteSlotPath(const std::string& iPath)
{
  static const std::string singular = "/ws/slot/";
  if (iPath.compare(0, singular.size(), singular) == 0)
    return "/ws/slots/" + iPath.substr(singular.size());
  return iPath;
}
} // namespace

// Tried in this order; patterns without "$" accept anything after the match.
const TSlotApi::TRoute TSlotApi::cRoutes[] = {
    {"^/ws/slots/(\\d+)/name$", &TSlotApi::Name},
    {"^/ws/slots/(\\d+)/source$", &TSlotApi::Source},
    {"^/ws/slots/(\\d+)/recording$", &TSlotApi::Recording},
    {"^/ws/slots/(\\d+)/silence$", &TSlotApi::Silence},
    {"^/ws/slots/(\\d+)/lastmetadata$", &TSlotApi::LastMetadata},
    {"^/ws/slots/(\\d+)/currenttitle$", &TSlotApi::CurrentTitle},
    {"^/ws/slots/(\\d+)/stats", &TSlotApi::Stats},
    {"^/ws/slots/(\\d+)/calendarevents", &TSlotApi::CalendarEvents},
    {"^/ws/slots/(\\d+)/list/(\\d+)/(\\d+)/(\\d+)", &TSlotApi::DayList},
    {"^/ws/slots/(\\d+)/getfile/(\\d+)", &TSlotApi::GetFile},
};

TSlotApi::TSlotApi(IWebController& iController) : fController(iController) {}

bool TSlotApi::HandleCommand(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const
{
  if (iLevel != alAdmin || !IsCommandPath(iRequest.Path))
    return false;
  // Another site's page (a form, a link, an image) would be sent with the administrator's cached login.
  if (iRequest.CrossSite())
  {
    oResponse = ForbiddenAnswer("Commands are accepted only from this server's own pages and from scripts.");
    return true;
  }
  const std::string command = iRequest.Param("command").value_or("");
  // The command counts slots from 1; 0 and numbers beyond int become negative and are ignored by the controller.
  TBrendleRegExpr expression;
  const bool start = expression.Matches("^SLOT (\\d+) START$", command);
  if (start || expression.Matches("^SLOT (\\d+) STOP$", command))
  {
    const int slot = DigitsToInt(expression.Group(1)) - 1;
    if (slot >= 0 && slot < fController.SlotCount())
      fController.AddLogMessage(Format("Slot %d %s from the web by %s", slot + 1, start ? "START" : "STOP",
                                       iRequest.RequesterName().c_str()));
    if (start)
      fController.PostSlotStart(slot);
    else
      fController.PostSlotStop(slot);
  }
  oResponse = EmptyAnswer();
  return true;
}

bool TSlotApi::HandleGet(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const
{
  if (HandleCommand(iRequest, iLevel, oResponse))
    return true;
  const std::string path = RewriteSlotPath(iRequest.Path);
  if (path == "/ws/slots")
  {
    oResponse = JSONAnswer(SlotListJSON());
    return true;
  }
  TBrendleRegExpr match;
  for (const TRoute& route : cRoutes)
  {
    if (!match.Matches(route.Pattern, path))
      continue;
    TSlotInfo* slot = FindSlot(match.Group(1));
    if (!slot)
      oResponse = NotFoundAnswer();
    else
      (this->*route.Endpoint)(*slot, match, iRequest, oResponse);
    return true;
  }
  return false;
}

TSlotInfo* TSlotApi::FindSlot(const std::string& iDigits) const
{
  const int index = DigitsToInt(iDigits);
  if (index < 0 || index >= fController.SlotCount())
    return nullptr;
  return &fController.Slot(index);
}

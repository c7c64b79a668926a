#pragma once
// The slot endpoints of the routing table: the commands that switch slots, and the read-only slot endpoints
// (state, statistics, calendar events, day lists, file delivery), in the order they are tried. Every
// answer is built on the request's thread from the slot objects and a database connection of its own.

#include "web/WebRoute.h"

#include <vector>

class IWebController;
class TBrendleRegExpr;
class TSlotInfo;

class TSlotApi
{
public:
  explicit TSlotApi(IWebController& iController);

  // The rows of the routing table: "/execute" and "/ws/execute" for administrators (passed over for lower
  // levels), then the slot endpoints for every level. Paths "/ws/slot/..." are to be rewritten "/ws/slots/..."
  // before they are matched.
  std::vector<TWebRoute> Routes() const;
  static std::string RewriteSlotPath(const std::string& iPath);

private:
  // A per-slot endpoint; iMatch holds the groups of its route (1 = the slot number).
  using TEndpoint = void (TSlotApi::*)(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                                       TWebResponse& oResponse) const;
  // The row of a per-slot endpoint: a slot number outside the table gets the not-found answer.
  TWebRoute SlotRoute(const char* iPattern, TEndpoint iEndpoint) const;

  // The slot of a path's number; nullptr when it is not below the slot count.
  TSlotInfo* FindSlot(const std::string& iDigits) const;
  // Queues the command's switch, empty answer; refused when another site's page sent it.
  bool Command(const TRouteCall& iCall, TWebResponse& oResponse) const;

  // Slot state (SlotStateEndpoints.cpp)
  std::string SlotListJSON() const;
  void Name(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
            TWebResponse& oResponse) const;
  void Source(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
              TWebResponse& oResponse) const;
  void Recording(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                 TWebResponse& oResponse) const;
  void Silence(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
               TWebResponse& oResponse) const;
  void LastMetadata(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                    TWebResponse& oResponse) const;
  void CurrentTitle(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                    TWebResponse& oResponse) const;

  // Recordings (SlotRecordingEndpoints.cpp)
  void Stats(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
             TWebResponse& oResponse) const;
  void CalendarEvents(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                      TWebResponse& oResponse) const;
  void DayList(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
               TWebResponse& oResponse) const;
  void GetFile(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
               TWebResponse& oResponse) const;

  IWebController& fController;
};

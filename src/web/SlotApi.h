#pragma once
// The endpoints behind the dispatch: the command endpoints that switch slots, and the read-only slot
// endpoints (state, statistics, calendar events, day lists, file delivery), tried in a fixed order. Every
// answer is built on the request's thread from the slot objects and a database connection of its own.

#include "web/WebAccess.h"
#include "web/WebRequest.h"
#include "web/WebResponse.h"

class IWebController;
class TBrendleRegExpr;
class TSlotInfo;

class TSlotApi
{
public:
  explicit TSlotApi(IWebController& iController);

  // "/execute" and "/ws/execute" at the administrator level: queues the command's switch, empty answer.
  // False for any other path and for lower levels.
  bool HandleCommand(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const;
  // GET: the command endpoints, then the slot endpoints; false when no endpoint matches the path.
  bool HandleGet(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const;

private:
  // A per-slot endpoint; iMatch holds the groups of its route (1 = the slot number).
  using TEndpoint = void (TSlotApi::*)(TSlotInfo& iSlot, const TBrendleRegExpr& iMatch, const TWebRequest& iRequest,
                                       TWebResponse& oResponse) const;
  struct TRoute
  {
    const char* Pattern;
    TEndpoint Endpoint;
  };
  static const TRoute cRoutes[];

  // The slot of a path's number; nullptr when it is not below the slot count.
  TSlotInfo* FindSlot(const std::string& iDigits) const;

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

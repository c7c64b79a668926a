#pragma once
// The endpoints behind the dispatch: the command endpoints that switch slots, and the read-only slot
// endpoints (state, statistics, calendar events, day lists, file delivery), tried in a fixed order.

#include "web/WebAccess.h"
#include "web/WebRequest.h"
#include "web/WebResponse.h"

class IWebController;

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
  IWebController& fController;
};

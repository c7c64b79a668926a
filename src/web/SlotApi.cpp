#include "web/SlotApi.h"

#include "lib/BrendleRegExpr.h"
#include "web/WebController.h"
#include "web/WebText.h"

namespace
{
bool IsCommandPath(const std::string& iPath)
{
  return iPath == "/execute" || iPath == "/ws/execute";
}
} // namespace

TSlotApi::TSlotApi(IWebController& iController) : fController(iController) {}

bool TSlotApi::HandleCommand(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const
{
  if (iLevel != alAdmin || !IsCommandPath(iRequest.Path))
    return false;
  const std::string command = iRequest.Param("command").value_or("");
  // The command counts slots from 1; 0 and numbers beyond int become negative and are ignored by the controller.
  TBrendleRegExpr expression;
  if (expression.Matches("^SLOT (\\d+) START$", command))
    fController.PostSlotStart(DigitsToInt(expression.Group(1)) - 1);
  else if (expression.Matches("^SLOT (\\d+) STOP$", command))
    fController.PostSlotStop(DigitsToInt(expression.Group(1)) - 1);
  oResponse = EmptyAnswer();
  return true;
}

bool TSlotApi::HandleGet(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const
{
  return HandleCommand(iRequest, iLevel, oResponse);
}

#include "web/WebDispatcher.h"

#include "web/MetricsEndpoint.h"
#include "web/WebController.h"
#include "web/WebText.h"

#include <exception>

TWebDispatcher::TWebDispatcher(IWebController& iController, TAccessSettings iAccess, TStaticContent iStaticContent)
    : fController(iController), fAccess(std::move(iAccess)), fStaticContent(std::move(iStaticContent)),
      fSlotApi(iController), fConfigApi(iController)
{
}

TWebResponse TWebDispatcher::CommandGet(const TWebRequest& iRequest) const
{
  const TAccessLevel level = DetermineAccessLevel(fAccess, iRequest.HasAuthorization, iRequest.Credentials);
  if (level == alNone)
    return UnauthorizedAnswer();
  TWebResponse response;
  try
  {
    Answer(iRequest, level, response);
  }
  catch (const std::exception& error)
  {
    return ErrorAnswer(error.what(), response.ContentType);
  }
  return response;
}

TWebResponse TWebDispatcher::CommandOther(const TWebRequest& iRequest) const
{
  if (DetermineAccessLevel(fAccess, iRequest.HasAuthorization, iRequest.Credentials) == alNone)
    return UnauthorizedAnswer();
  // Only a client with credentials gets this far; a method name is a short token, anything longer is junk.
  fController.AddLogMessage(PrintableASCII(iRequest.Method, 32));
  return MethodNotAllowedAnswer();
}

void TWebDispatcher::Answer(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const
{
  if (iRequest.Method == "GET")
  {
    if (iRequest.Path == "/")
      oResponse = RedirectAnswer("/index.html");
    else if (iRequest.Path == "/metrics")
    {
      oResponse.ContentType = "text/plain; version=0.0.4; charset=utf-8";
      oResponse.Body = MetricsText(fController);
    }
    else if (!fStaticContent.Serve(iRequest.Path, oResponse) && !fConfigApi.Handle(iRequest, iLevel, oResponse) &&
             !fSlotApi.HandleGet(iRequest, iLevel, oResponse))
      oResponse = NotFoundAnswer();
  }
  else if (iRequest.Method == "POST")
  {
    if (!fConfigApi.Handle(iRequest, iLevel, oResponse) && !fSlotApi.HandleCommand(iRequest, iLevel, oResponse))
      oResponse = EmptyAnswer();
  }
  else
    oResponse = EmptyAnswer();
}

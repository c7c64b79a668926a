#include "web/WebDispatcher.h"

#include "lib/Errors.h"
#include "web/MetricsEndpoint.h"
#include "web/WebController.h"
#include "web/WebText.h"

#include <exception>

TWebDispatcher::TWebDispatcher(IWebController& iController, TAccessSettings iAccess, TStaticContent iStaticContent,
                               TLoginThrottle::TNow iNow)
    : fController(iController), fAccess(std::move(iAccess)), fStaticContent(std::move(iStaticContent)),
      fSlotApi(iController), fConfigApi(iController), fLoginThrottle(std::move(iNow))
{
}

TWebResponse TWebDispatcher::CommandGet(const TWebRequest& iRequest) const
{
  TAccessLevel level = alNone;
  if (std::optional<TWebResponse> refusal = Refusal(iRequest, level))
    return std::move(*refusal);
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
  TAccessLevel level = alNone;
  if (std::optional<TWebResponse> refusal = Refusal(iRequest, level))
    return std::move(*refusal);
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
      oResponse.Body = MetricsText(fController, fLoginThrottle.Counts());
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

std::optional<TWebResponse> TWebDispatcher::Refusal(const TWebRequest& iRequest, TAccessLevel& oLevel) const
{
  if (const std::optional<std::chrono::seconds> wait = fLoginThrottle.RefusedFor(iRequest.ClientAddress))
    return TooManyLoginsAnswer(*wait);
  oLevel = DetermineAccessLevel(fAccess, iRequest.HasAuthorization, iRequest.Credentials);
  if (oLevel != alNone)
    return std::nullopt;
  // Only wrong credentials count; a browser's first request without any is the usual way to ask for them.
  if (iRequest.HasAuthorization && fLoginThrottle.Failed(iRequest.ClientAddress))
    fController.AddLogMessage(Format("Too many failed logins from %s; refused for %d s", iRequest.ClientAddress.c_str(),
                                     static_cast<int>(TLoginThrottle::LockTime.count())));
  return UnauthorizedAnswer();
}

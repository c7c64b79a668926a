#include "web/WebDispatcher.h"

#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "web/MetricsEndpoint.h"
#include "web/WebController.h"
#include "web/WebText.h"

#include <exception>

namespace
{
// Where "/login" leads once the browser has credentials: a page of this server named by "to", else the calendar.
std::string PageAfterLogin(const TWebRequest& iRequest)
{
  const std::string page = iRequest.Param("to").value_or("");
  const bool local = page.starts_with("/") && !page.starts_with("//") && page.find('\\') == std::string::npos &&
                     !HasControlCharacters(page);
  return local ? page : "/index.html";
}
} // namespace

TWebDispatcher::TWebDispatcher(IWebController& iController, const TWebServerSettings& iSettings,
                               TStaticContent iStaticContent, TLoginThrottle::TNow iNow)
    : fController(iController), fAccess(iSettings.Access), fStaticContent(std::move(iStaticContent)),
      fSlotApi(iController), fConfigApi(iController, iSettings.AllowProgramSettings), fLoginThrottle(std::move(iNow)),
      fEvents(iController)
{
  fRoutes = {
      {rmGet, "^/$", alReadOnly, blPassOver, false,
       [](const TRouteCall&, TWebResponse& oResponse)
       {
         oResponse = RedirectAnswer("/index.html");
         return true;
       }},
      {rmGet, "^/metrics$", alReadOnly, blPassOver, false,
       [this](const TRouteCall&, TWebResponse& oResponse)
       {
         oResponse.ContentType = "text/plain; version=0.0.4; charset=utf-8";
         oResponse.Body = MetricsText(fController, fLoginThrottle.Counts());
         return true;
       }},
      {rmGet, "^/ws/events$", alReadOnly, blPassOver, false,
       [this](const TRouteCall&, TWebResponse& oResponse)
       {
         oResponse.ContentType = "text/event-stream";
         oResponse.SetHeader("Cache-Control", "no-cache");
         oResponse.Body = fEvents.Subscribe();
         return true;
       }},
      // The browser application: a file beside the program, else the embedded one; other paths go on.
      {rmGet, "", alReadOnly, blPassOver, false,
       [this](const TRouteCall& iCall, TWebResponse& oResponse)
       { return fStaticContent.Serve(iCall.Request, oResponse); }},
  };
  for (const std::vector<TWebRoute>& routes : {fConfigApi.Routes(), fSlotApi.Routes()})
    fRoutes.insert(fRoutes.end(), routes.begin(), routes.end());
}

TWebResponse TWebDispatcher::CommandGet(const TWebRequest& iRequest) const
{
  TWebResponse response = Dispatch(iRequest);
  AddSecurityHeaders(response);
  return response;
}

void TWebDispatcher::EndStreams()
{
  fEvents.Stop();
}

TWebResponse TWebDispatcher::CommandOther(const TWebRequest& iRequest) const
{
  TAccessLevel level = alNone;
  std::optional<TWebResponse> response = Refusal(iRequest, level);
  if (!response)
  {
    // A method name is a short token, anything longer is junk; and a client may send as many as it likes.
    if (std::optional<std::string> line = fMethodLog.Take(iRequest.ClientAddress, PrintableASCII(iRequest.Method, 32),
                                                          static_cast<int64_t>(MillisecondClock())))
      fController.AddLogMessage(*line);
    response = MethodNotAllowedAnswer();
  }
  AddSecurityHeaders(*response);
  return std::move(*response);
}

bool TWebDispatcher::AdministratorExists() const
{
  return !fAccess.AdminUser.empty() || !fAccess.AdminPasswordHash.empty();
}

TWebResponse TWebDispatcher::Dispatch(const TWebRequest& iRequest) const
{
  TAccessLevel level = alNone;
  if (std::optional<TWebResponse> refusal = Refusal(iRequest, level))
    return std::move(*refusal);
  // A browser asks for a password only when challenged: "/login" challenges every request without credentials.
  if (iRequest.Path == "/login")
    return iRequest.HasAuthorization ? RedirectAnswer(PageAfterLogin(iRequest)) : UnauthorizedAnswer();
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

void TWebDispatcher::Answer(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const
{
  // HEAD is answered as GET (the engine leaves the body out, not its length), but never by a row that also takes
  // POST: those run commands.
  const bool head = iRequest.Method == "HEAD";
  const TRouteMethods method = iRequest.Method == "POST" ? rmPost : rmGet;
  const std::string path = TSlotApi::RewriteSlotPath(iRequest.Path);
  TBrendleRegExpr match;
  for (const TWebRoute& route : fRoutes)
  {
    if (!(route.Methods & method) || (head && (route.Methods & rmPost)) || !match.Matches(route.Pattern, path))
      continue;
    if (route.Level == alAdmin && iLevel != alAdmin)
    {
      // A browser asks for a password only when challenged: a request without credentials that needs the
      // administrator gets the challenge whenever there is one.
      if (!iRequest.HasAuthorization && AdministratorExists())
      {
        oResponse = UnauthorizedAnswer();
        return;
      }
      if (route.Below == blPassOver)
        continue;
      oResponse = JSONErrorAnswer(403, "This needs the administrator level.");
      return;
    }
    if (route.Changes)
      if (std::optional<TWebResponse> refusal = CheckChangingRequest(iRequest, iLevel))
      {
        oResponse = std::move(*refusal);
        return;
      }
    if (route.Handler({iRequest, match, iLevel}, oResponse))
      return;
  }
  // Nothing serves the path: GET (and HEAD) is not found, a POST elsewhere gets the empty answer.
  oResponse = method == rmGet ? NotFoundAnswer() : EmptyAnswer();
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

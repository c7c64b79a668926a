#pragma once
// The order in which a request is answered: access level, then the first row of the routing table that serves
// its method and path (static content, configuration, command and slot endpoints); nothing for HEAD. Every error
// becomes the error answer. Independent of the HTTP engine and safe to call from several request threads at once.

#include "web/ConfigApi.h"
#include "web/LoginThrottle.h"
#include "web/RateLimitedLog.h"
#include "web/SlotApi.h"
#include "web/SlotEvents.h"
#include "web/StaticContent.h"
#include "web/WebAccess.h"
#include "web/WebRequest.h"
#include "web/WebResponse.h"

class IWebController;
struct TWebServerSettings;

class TWebDispatcher
{
public:
  // iNow: the clock of the failed-login lock-outs.
  TWebDispatcher(IWebController& iController, const TWebServerSettings& iSettings, TStaticContent iStaticContent,
                 TLoginThrottle::TNow iNow = &TLoginThrottle::TClock::now);
  // The routing table points into this object.
  TWebDispatcher(const TWebDispatcher&) = delete;
  TWebDispatcher& operator=(const TWebDispatcher&) = delete;

  // GET, POST and HEAD. "/login" challenges a request without credentials and sends one with them on to the page
  // its parameter "to" names.
  TWebResponse CommandGet(const TWebRequest& iRequest) const;
  // Every other method: refused with 405 once the request is authenticated; its name (made printable) then
  // goes to the program's log as one line, at most once a minute per client address.
  TWebResponse CommandOther(const TWebRequest& iRequest) const;
  // Ends the answers without an end (the monitors' event streams), so that the engine can close their
  // connections; called before it stops.
  void EndStreams();

private:
  bool AdministratorExists() const;
  TWebResponse Dispatch(const TWebRequest& iRequest) const;
  // The refusal of a request that may not be answered (401, or 429 after repeated failed logins from its address),
  // otherwise nothing and oLevel.
  std::optional<TWebResponse> Refusal(const TWebRequest& iRequest, TAccessLevel& oLevel) const;
  void Answer(const TWebRequest& iRequest, TAccessLevel iLevel, TWebResponse& oResponse) const;

  IWebController& fController;
  TAccessSettings fAccess;
  TStaticContent fStaticContent;
  TSlotApi fSlotApi;
  TConfigApi fConfigApi;
  mutable TLoginThrottle fLoginThrottle;
  mutable TSlotEvents fEvents;
  // Every endpoint, in the order tried: "/", "/metrics", "/ws/events", the browser application's files, the
  // configuration and the slot endpoints.
  std::vector<TWebRoute> fRoutes;
  mutable TRateLimitedLog fMethodLog;
};

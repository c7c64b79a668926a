#pragma once
// The configuration endpoints for administrators: the capture inputs, each slot's settings (read, and changed
// with the same checks and effects as the slot dialog's OK) and their key table, the program's settings and the
// test e-mail. Every
// read and change runs on the controller's thread; the request waits for it.
//
// Requests that change something are protected against other sites' pages, which a browser would send with the
// administrator's Basic credentials: they must be POSTs of a JSON body ("Content-Type: application/json", which
// a page can send elsewhere only after asking first) and must not come from another site's page (see
// TWebRequest::CrossSite). GET never changes anything.

#include "web/WebRoute.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class IWebController;
class TBrendleRegExpr;

class TConfigApi
{
public:
  // iAllowProgramSettings: whether settings that run code may be changed (the configuration file's hand-set
  // switch). iTimeout: how long a request waits for the controller's thread before it gives up (503).
  TConfigApi(IWebController& iController, bool iAllowProgramSettings,
             std::chrono::milliseconds iTimeout = std::chrono::seconds(10));

  // The rows of the routing table: "/ws/access" for every level, the configuration paths for administrators
  // (403 below), their POSTs as changing requests.
  std::vector<TWebRoute> Routes() const;

private:
  using TEndpoint = void (TConfigApi::*)(const TRouteCall& iCall, TWebResponse& oResponse) const;
  using TSlotEndpoint = void (TConfigApi::*)(int iSlot, const TRouteCall& iCall, TWebResponse& oResponse) const;
  TWebRoute Route(TRouteMethods iMethod, const char* iPattern, TEndpoint iEndpoint) const;
  // A slot number outside the table gets the not-found answer.
  TWebRoute SlotRoute(TRouteMethods iMethod, const char* iPattern, TSlotEndpoint iEndpoint) const;
  // Administrators only, 403 below; POSTs are changing requests.
  static TWebRoute AdministratorRoute(TRouteMethods iMethod, const char* iPattern,
                                      std::function<void(const TRouteCall&, TWebResponse&)> iHandler);

  void Access(const TRouteCall& iCall, TWebResponse& oResponse) const;
  void NotFound(const TRouteCall& iCall, TWebResponse& oResponse) const;
  void Devices(const TRouteCall& iCall, TWebResponse& oResponse) const;
  void SlotList(const TRouteCall& iCall, TWebResponse& oResponse) const;
  void SlotSettings(int iSlot, const TRouteCall& iCall, TWebResponse& oResponse) const;
  void ChangeSlotSettings(int iSlot, const TRouteCall& iCall, TWebResponse& oResponse) const;
  void ProgramSettings(const TRouteCall& iCall, TWebResponse& oResponse) const;
  // The key table of the slot settings, for the browser's settings page.
  void Schema(const TRouteCall& iCall, TWebResponse& oResponse) const;
  void ChangeProgramSettings(const TRouteCall& iCall, TWebResponse& oResponse) const;
  void SendTestEmail(const TRouteCall& iCall, TWebResponse& oResponse) const;

  // Runs iWork on the controller's thread; false (and the busy answer in oResponse) when it did not come to it.
  bool OnControllerThread(const std::function<void()>& iWork, TWebResponse& oResponse) const;
  // The slot of a path's number, -1 when it is not in the table.
  int SlotIndex(const std::string& iDigits) const;

  IWebController& fController;
  bool fAllowProgramSettings;
  std::chrono::milliseconds fTimeout;
};

// Whether a changing request may be carried out: nothing when it may, else the refusal (403 or 415).
std::optional<TWebResponse> CheckChangingRequest(const TWebRequest& iRequest, TAccessLevel iLevel);

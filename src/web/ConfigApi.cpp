#include "web/ConfigApi.h"

#include "audio/AudioDevices.h"
#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"
#include "lib/PersistentStorage.h"
#include "slots/SlotInfo.h"
#include "slots/SlotSettingsCheck.h"
#include "web/ControllerCall.h"
#include "web/ProgramSettingsJSON.h"
#include "web/SlotSettingsJSON.h"
#include "web/WebController.h"
#include "web/WebText.h"

namespace
{
TWebResponse JSONStatus(int iStatus, const IPersistentStorageRef& iBody)
{
  TWebResponse response = JSONAnswer(iBody->AsJSon(true, true));
  response.Status = iStatus;
  return response;
}

// 400 with {"Errors": [{"Key", "Message"}]}: the messages at the fields they concern; other statuses with an
// "Error" for the whole request as well.
TWebResponse RefusalAnswer(const std::vector<TSettingsMessage>& iMessages, int iStatus = 400,
                           const std::string& iError = {})
{
  auto errors = std::make_shared<TPersistentArray>();
  for (const TSettingsMessage& message : iMessages)
    errors->AddObject()->SetString("Key", message.Key)->SetString("Message", message.Message);
  auto body = std::make_shared<TPersistentObject>();
  if (!iError.empty())
    body->SetString("Error", iError);
  body->SetArray("Errors", errors);
  return JSONStatus(iStatus, body);
}

const char cProgramSettingsLocked[] =
    "Settings that run programs or load libraries can be changed from the web only where the configuration file "
    "allows it by hand ([Webserver] AllowProgramSettings=on)";

std::string JoinKeys(const std::vector<std::string>& iKeys)
{
  std::string result;
  for (const std::string& key : iKeys)
    result += (result.empty() ? "" : ", ") + key;
  return result;
}

// "application/json", with or without parameters (a charset).
bool IsJSONContentType(const std::string& iContentType)
{
  std::string type = LowerCaseASCII(iContentType.substr(0, iContentType.find(';')));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
    type.pop_back();
  return type == "application/json";
}
} // namespace

std::optional<TWebResponse> CheckChangingRequest(const TWebRequest& iRequest, TAccessLevel iLevel)
{
  if (iLevel != alAdmin)
    return JSONErrorAnswer(403, "This needs the administrator level.");
  if (iRequest.CrossSite())
    return JSONErrorAnswer(403, "Changes are accepted only from this server's own pages.");
  if (!IsJSONContentType(iRequest.ContentType))
    return JSONErrorAnswer(415, "Changes must be sent as a JSON body (Content-Type: application/json).");
  return std::nullopt;
}

TConfigApi::TConfigApi(IWebController& iController, bool iAllowProgramSettings, std::chrono::milliseconds iTimeout)
    : fController(iController), fAllowProgramSettings(iAllowProgramSettings), fTimeout(iTimeout)
{
}

std::vector<TWebRoute> TConfigApi::Routes() const
{
  return {
      {rmGet, "^/ws/access$", alReadOnly, blPassOver, false,
       [this](const TRouteCall& iCall, TWebResponse& oResponse)
       {
         Access(iCall, oResponse);
         return true;
       }},
      Route(rmGet, "^/ws/config/devices$", &TConfigApi::Devices),
      Route(rmGet, "^/ws/config/slots$", &TConfigApi::SlotList),
      Route(rmGet, "^/ws/config/program$", &TConfigApi::ProgramSettings),
      Route(rmGet, "^/ws/config/schema$", &TConfigApi::Schema),
      SlotRoute(rmGet, "^/ws/config/slots/(\\d+)$", &TConfigApi::SlotSettings),
      Route(rmPost, "^/ws/config/program$", &TConfigApi::ChangeProgramSettings),
      Route(rmPost, "^/ws/config/testemail$", &TConfigApi::SendTestEmail),
      SlotRoute(rmPost, "^/ws/config/slots/(\\d+)$", &TConfigApi::ChangeSlotSettings),
      // Any other path of the configuration: after the same checks, not found.
      Route(rmGet, "^/ws/config/", &TConfigApi::NotFound),
      Route(rmPost, "^/ws/config/", &TConfigApi::NotFound),
  };
}

TWebRoute TConfigApi::Route(TRouteMethods iMethod, const char* iPattern, TEndpoint iEndpoint) const
{
  return AdministratorRoute(iMethod, iPattern,
                            [this, iEndpoint](const TRouteCall& iCall, TWebResponse& oResponse)
                            { (this->*iEndpoint)(iCall, oResponse); });
}

TWebRoute TConfigApi::SlotRoute(TRouteMethods iMethod, const char* iPattern, TSlotEndpoint iEndpoint) const
{
  return AdministratorRoute(iMethod, iPattern,
                            [this, iEndpoint](const TRouteCall& iCall, TWebResponse& oResponse)
                            {
                              const int slot = SlotIndex(iCall.Match.Group(1));
                              if (slot < 0)
                                oResponse = NotFoundAnswer();
                              else
                                (this->*iEndpoint)(slot, iCall, oResponse);
                            });
}

TWebRoute TConfigApi::AdministratorRoute(TRouteMethods iMethod, const char* iPattern,
                                         std::function<void(const TRouteCall&, TWebResponse&)> iHandler)
{
  return {iMethod,
          iPattern,
          alAdmin,
          blForbidden,
          iMethod == rmPost,
          [handler = std::move(iHandler)](const TRouteCall& iCall, TWebResponse& oResponse)
          {
            handler(iCall, oResponse);
            return true;
          }};
}

void TConfigApi::Access(const TRouteCall& iCall, TWebResponse& oResponse) const
{
  auto body = std::make_shared<TPersistentObject>();
  body->SetString("Level", iCall.Level == alAdmin ? "admin" : "read-only");
  body->SetString("User",
                  iCall.Request.HasAuthorization && iCall.Request.Credentials ? iCall.Request.RequesterName() : "");
  if (iCall.Level == alAdmin && !fAllowProgramSettings)
    body->SetObject("Locked", ProgramSettingsLockToJSON())->SetString("LockedReason", cProgramSettingsLocked);
  oResponse = JSONStatus(200, body);
}

void TConfigApi::NotFound(const TRouteCall&, TWebResponse& oResponse) const
{
  oResponse = NotFoundAnswer();
}

bool TConfigApi::OnControllerThread(const std::function<void()>& iWork, TWebResponse& oResponse) const
{
  if (RunOnControllerThread(fController, iWork, fTimeout))
    return true;
  oResponse = JSONErrorAnswer(503, "The program is busy; nothing was changed. Please try again.");
  return false;
}

int TConfigApi::SlotIndex(const std::string& iDigits) const
{
  const int index = DigitsToInt(iDigits);
  return index >= 0 && index < fController.SlotCount() ? index : -1;
}

void TConfigApi::Devices(const TRouteCall&, TWebResponse& oResponse) const
{
  auto devices = std::make_shared<TPersistentArray>();
  if (OnControllerThread(
          [&]
          {
            for (const TDeviceListEntry& entry : DeviceList().Entries())
              devices->AddObject()->SetString("ID", entry.Identifier)->SetString("Name", entry.Device->Name());
          },
          oResponse))
    oResponse = JSONStatus(200, devices);
}

void TConfigApi::SlotList(const TRouteCall&, TWebResponse& oResponse) const
{
  auto slots = std::make_shared<TPersistentArray>();
  if (OnControllerThread(
          [&]
          {
            for (int i = 0; i < fController.SlotCount(); ++i)
            {
              const TSlotInfo& slot = fController.Slot(i);
              slots->AddObject()
                  ->SetNumber("ID", i)
                  ->SetString("Name", slot.Settings(&TSlotSettings::Name))
                  ->SetBoolean("AlarmOnly", slot.AlarmOnly());
            }
          },
          oResponse))
    oResponse = JSONStatus(200, slots);
}

void TConfigApi::SlotSettings(int iSlot, const TRouteCall&, TWebResponse& oResponse) const
{
  TSlotSettings settings;
  if (OnControllerThread([&] { settings = fController.Slot(iSlot).Settings(); }, oResponse))
    oResponse = JSONStatus(200, SlotSettingsToJSON(settings));
}

void TConfigApi::Schema(const TRouteCall&, TWebResponse& oResponse) const
{
  oResponse = JSONStatus(200, SlotSettingsSchemaToJSON());
}

void TConfigApi::ChangeSlotSettings(int iSlot, const TRouteCall& iCall, TWebResponse& oResponse) const
{
  std::vector<TSettingsMessage> messages;
  const TSlotSettingsChange change = ParseSlotSettings(iCall.Request.Body, messages);
  if (!messages.empty())
  {
    oResponse = RefusalAnswer(messages);
    return;
  }
  std::vector<std::string> locked;
  TSlotSettingsOutcome outcome;
  const bool ran = OnControllerThread(
      [&]
      {
        const TSlotInfo& slot = fController.Slot(iSlot);
        const TSlotSettings old = slot.Settings();
        TSlotSettings edit = old;
        change.ApplyTo(edit);
        // The fields' own refusals come before the lock.
        outcome.Refusals = CheckSlotSettings(edit, slot.AlarmOnly());
        if (!outcome.Refusals.empty())
          return;
        if (!fAllowProgramSettings)
          locked = ChangedProgramKeys(old, edit);
        if (locked.empty())
          outcome = fController.ApplySlotSettings(iSlot, edit, {true, iCall.Request.RequesterName()});
      },
      oResponse);
  if (!ran)
    return;
  if (!outcome.Refusals.empty())
  {
    oResponse = RefusalAnswer(outcome.Refusals);
    return;
  }
  if (!locked.empty())
  {
    std::vector<TSettingsMessage> refusals;
    for (const std::string& key : locked)
      refusals.push_back({key, "Locked: this setting runs code on the recorder."});
    oResponse = RefusalAnswer(refusals, 403,
                              Format("%s; nothing was changed: %s", cProgramSettingsLocked, JoinKeys(locked).c_str()));
    return;
  }
  if (!outcome.StoreError.empty())
  {
    oResponse = JSONErrorAnswer(500, "The settings are in force but could not be stored: " + outcome.StoreError);
    return;
  }
  auto changed = std::make_shared<TPersistentArray>();
  for (const std::string& key : outcome.Changed)
    changed->AddString(key);
  auto body = std::make_shared<TPersistentObject>();
  body->SetArray("Changed", changed)
      ->SetBoolean("InputRestarted", outcome.Effects.Input)
      ->SetBoolean("NewFile", outcome.Effects.Output);
  oResponse = JSONStatus(200, body);
}

void TConfigApi::ProgramSettings(const TRouteCall&, TWebResponse& oResponse) const
{
  TWebProgramSettings settings;
  if (OnControllerThread([&] { settings = fController.ProgramSettings(); }, oResponse))
    oResponse = JSONAnswer(ProgramSettingsToJSON(settings));
}

void TConfigApi::ChangeProgramSettings(const TRouteCall& iCall, TWebResponse& oResponse) const
{
  std::vector<TSettingsMessage> messages;
  const TProgramSettingsChange change = ParseProgramSettings(iCall.Request.Body, messages);
  if (!messages.empty())
  {
    oResponse = RefusalAnswer(messages);
    return;
  }
  std::string storeError;
  if (!OnControllerThread(
          [&]
          {
            TWebProgramSettings settings = fController.ProgramSettings();
            change.ApplyTo(settings);
            if (change.Members.empty())
              return;
            fController.AddLogMessage(Format("Program settings changed from the web by %s: %s",
                                             iCall.Request.RequesterName().c_str(), JoinKeys(change.Keys()).c_str()));
            try
            {
              fController.ChangeProgramSettings(settings);
            }
            catch (const std::exception& e)
            {
              storeError = e.what();
              fController.AddLogMessage(storeError);
            }
          },
          oResponse))
    return;
  if (!storeError.empty())
  {
    oResponse = JSONErrorAnswer(500, "The settings are in force but could not be stored: " + storeError);
    return;
  }
  auto changed = std::make_shared<TPersistentArray>();
  for (const std::string& key : change.Keys())
    changed->AddString(key);
  auto body = std::make_shared<TPersistentObject>();
  body->SetArray("Changed", changed);
  oResponse = JSONStatus(200, body);
}

void TConfigApi::SendTestEmail(const TRouteCall&, TWebResponse& oResponse) const
{
  TWebProgramSettings settings;
  if (!OnControllerThread([&] { settings = fController.ProgramSettings(); }, oResponse))
    return;
  // On the request's thread: a mail server that does not answer holds up this request only.
  try
  {
    auto body = std::make_shared<TPersistentObject>();
    body->SetString("Message", fController.SendTestEmail(settings.Email));
    oResponse = JSONStatus(200, body);
  }
  catch (const std::exception& e)
  {
    oResponse = JSONErrorAnswer(502, e.what());
  }
}

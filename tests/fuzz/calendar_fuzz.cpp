// The calendar's parameters: the input's first line is "start", the rest "end", both read by the ISO 8601
// parser. Against a slot with recordings around the daylight-saving changes, every request ends in the JSON
// answer or in the error answer "Date parse error", never in anything else.

#include "../support/WebTestController.h"
#include "web/StaticContent.h"
#include "web/WebDispatcher.h"
#include "web/WebResources.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
struct TFixture
{
  TFixture()
      : Dispatcher(Controller, AccessOnly({"", "", "", "", alReadOnly}),
                   TStaticContent((Controller.Root() / "static").string(), TWebResources::Instance()))
  {
    TSlotInfo& slot = Controller.AddSlot("News");
    for (const char* start : {"2024-03-31 01:00:00.000", "2024-03-31 02:30:00.000", "2024-03-31 03:00:00.000",
                              "2024-10-27 02:30:00.000", "2024-10-27", "0001-01-01", "9999-12-31 23:59:59.999"})
      TWebTestController::AddRecording(slot, start, 3600, "2024\\news.mp3");
    TWebTestController::AddRecording(slot, "2024-06-01 12:00:00.000", std::nullopt, "abandoned.mp3");
  }
  TWebTestController Controller;
  TWebDispatcher Dispatcher;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  static TFixture fixture;
  const std::string input(reinterpret_cast<const char*>(iData), iSize);
  const size_t newline = input.find('\n');
  TWebRequest request;
  request.Method = "GET";
  request.Path = "/ws/slots/0/calendarevents";
  request.Params = {{"start", input.substr(0, newline)},
                    {"end", newline == std::string::npos ? std::string() : input.substr(newline + 1)}};
  const TWebResponse response = fixture.Dispatcher.CommandGet(request);
  const auto* body = std::get_if<std::string>(&response.Body);
  const bool json = response.Status == 200 && response.ContentType == "application/json" && body && !body->empty() &&
                    body->front() == '[' && body->back() == ']';
  const bool parseError = response.Status == 500 && body && *body == "Date parse error";
  if (!json && !parseError)
    std::abort();
  return 0;
}

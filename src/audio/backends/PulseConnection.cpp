#include "audio/backends/PulseConnection.h"

#include "audio/backends/CaptureTypes.h"
#include "lib/Errors.h"

#include <chrono>
#include <pulse/pulseaudio.h>

namespace
{
constexpr int cListTimeoutMs = 5000;

struct TListResult
{
  std::vector<TPulseEndpoint> Endpoints;
  bool Done = false;
  bool Failed = false;
};

template <typename TInfo> void CollectEndpoint(pa_context*, const TInfo* iInfo, int iEndOfList, void* iUserData)
{
  auto& result = *static_cast<TListResult*>(iUserData);
  if (iEndOfList != 0)
  {
    result.Failed = iEndOfList < 0;
    result.Done = true;
    return;
  }
  result.Endpoints.push_back({iInfo->name, iInfo->description != nullptr ? iInfo->description : iInfo->name});
}

std::vector<TPulseEndpoint> FinishList(TPulseConnection& iConnection, pa_operation* iOperation, TListResult& iResult,
                                       const char* iStep)
{
  if (iOperation == nullptr)
    throw EAudioDeviceError(Format("%s: %s", iStep, iConnection.ErrorText().c_str()));
  const bool finished = iConnection.RunUntil([&] { return iResult.Done; }, cListTimeoutMs);
  pa_operation_cancel(iOperation);
  pa_operation_unref(iOperation);
  if (!finished || iResult.Failed)
    throw EAudioDeviceError(Format("%s: %s", iStep, finished ? iConnection.ErrorText().c_str() : "Timeout"));
  return std::move(iResult.Endpoints);
}
} // namespace

TPulseConnection::TPulseConnection(const char* iStep, int iTimeoutMs)
{
  fLoop = pa_mainloop_new();
  if (fLoop == nullptr)
    throw EAudioDeviceError(Format("%s: %s", iStep, "cannot create the PulseAudio main loop"));
  fContext = pa_context_new(pa_mainloop_get_api(fLoop), "Tapevault");
  const bool connected = fContext != nullptr &&
                         pa_context_connect(fContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                         RunUntil([this] { return pa_context_get_state(fContext) == PA_CONTEXT_READY; }, iTimeoutMs);
  if (!connected)
  {
    const std::string reason = fContext == nullptr ? std::string("cannot create a PulseAudio context")
                               : PA_CONTEXT_IS_GOOD(pa_context_get_state(fContext)) ? std::string("Timeout")
                                                                                    : ErrorText();
    Release();
    throw EAudioDeviceError(Format("%s: %s", iStep, reason.c_str()));
  }
}

TPulseConnection::~TPulseConnection()
{
  Release();
}

void TPulseConnection::Release() noexcept
{
  if (fContext != nullptr)
  {
    pa_context_disconnect(fContext);
    pa_context_unref(fContext);
    fContext = nullptr;
  }
  if (fLoop != nullptr)
  {
    pa_mainloop_free(fLoop);
    fLoop = nullptr;
  }
}

bool TPulseConnection::RunUntil(const std::function<bool()>& iDone, int iTimeoutMs)
{
  using TClock = std::chrono::steady_clock;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(iTimeoutMs);
  while (!iDone())
  {
    if (Failed())
      return false;
    const auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClock::now());
    if (remaining.count() <= 0)
      return false;
    if (pa_mainloop_prepare(fLoop, static_cast<int>(remaining.count())) < 0 || pa_mainloop_poll(fLoop) < 0 ||
        pa_mainloop_dispatch(fLoop) < 0)
      return false;
  }
  return true;
}

bool TPulseConnection::Iterate()
{
  return pa_mainloop_iterate(fLoop, 1, nullptr) >= 0 && !Failed();
}

void TPulseConnection::Wakeup()
{
  pa_mainloop_wakeup(fLoop);
}

bool TPulseConnection::Failed() const
{
  const pa_context_state_t state = pa_context_get_state(fContext);
  return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

std::string TPulseConnection::ErrorText() const
{
  return pa_strerror(pa_context_errno(fContext));
}

std::vector<TPulseEndpoint> ListPulseSources(TPulseConnection& iConnection, const char* iStep)
{
  TListResult result;
  return FinishList(iConnection,
                    pa_context_get_source_info_list(iConnection.Context(), CollectEndpoint<pa_source_info>, &result),
                    result, iStep);
}

std::vector<TPulseEndpoint> ListPulseSinks(TPulseConnection& iConnection, const char* iStep)
{
  TListResult result;
  return FinishList(iConnection,
                    pa_context_get_sink_info_list(iConnection.Context(), CollectEndpoint<pa_sink_info>, &result),
                    result, iStep);
}

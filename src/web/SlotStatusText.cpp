#include "web/SlotStatusText.h"

#include "lib/TapevaultTools.h"

int64_t SecondsSince(int64_t iTickCount)
{
  const int64_t elapsed = static_cast<int64_t>(MillisecondClock()) - iTickCount;
  return elapsed >= 0 ? elapsed / 1000 : -((-elapsed + 999) / 1000);
}

const char* StreamingStatusWord(TStreamingStatus iStatus)
{
  switch (iStatus)
  {
  case ssConnecting:
    return "connecting";
  case ssConnected:
    return "connected";
  case ssError:
    return "error";
  default:
    return "disabled";
  }
}

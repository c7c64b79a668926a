#include "slots/SlotPlugin.h"

#include "audio/engine/AudioEngine.h"
#include "audio/engine/LadspaPlugin.h"
#include "lib/Errors.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace
{
std::atomic<bool> gInitialized{false};
std::once_flag gInitOnce;
std::vector<std::string> gFolders;

// The search folders are read once per process, by the first slot that loads a plug-in.
const std::vector<std::string>& Folders()
{
  std::call_once(gInitOnce,
                 []
                 {
                   gFolders = TLadspaPlugin::SearchFolders();
                   gInitialized = true;
                 });
  return gFolders;
}
} // namespace

bool PluginInSearchFolders(const std::string& iName)
{
  return TLadspaPlugin::InFolders(iName, Folders());
}

TSlotPlugin::TSlotPlugin(TLogProc iLog) : fLog(std::move(iLog)) {}

TSlotPlugin::~TSlotPlugin()
{
  Release();
}

bool TSlotPlugin::Initialized()
{
  return gInitialized;
}

bool TSlotPlugin::CheckPluginResult(const std::string& iCallName, bool iSuccess)
{
  if (!iSuccess)
    fLog(Format("%s: BASS Error %d", iCallName.c_str(), TAudioEngine::ErrorGetCode()));
  return iSuccess;
}

void TSlotPlugin::Release()
{
  if (fDSP)
    TAudioEngine::ChannelRemoveDSP(fMixer, fDSP);
  fDSP = 0;
  fPlugin.reset();
}

void TSlotPlugin::Reload(const std::string& iName, bool iStreamOnly, const std::string& iControls, uint32_t iMixer)
{
  if (iName.empty())
  {
    Release();
    return;
  }
  std::string error;
  std::unique_ptr<TLadspaPlugin> next = TLadspaPlugin::Load(iName, error, Folders());
  if (!CheckPluginResult("BASS_WADSP_Load", next != nullptr))
  {
    fLog(Format("Sound-processing plug-in %s not loaded: %s", iName.c_str(), error.c_str()));
    Release();
    return;
  }
  TChannelInfo info;
  const bool started = TAudioEngine::ChannelGetInfo(iMixer, info) && next->Start(info.Rate, info.Channels);
  if (!CheckPluginResult("BASS_WADSP_Start", started) && !next->Error().empty())
    fLog(Format("Sound-processing plug-in %s not started: %s", iName.c_str(), next->Error().c_str()));
  // Also when it did not start, so that its controls show (and keep) the stored values.
  next->ApplyControlsText(iControls);
  // The new plug-in takes the old one's place between two buffers: every buffer passes exactly one of them.
  const uint32_t dsp = next->Insert(iMixer, iStreamOnly ? kStreamOnlyPriority : kPriority, fMixer == iMixer ? fDSP : 0);
  CheckPluginResult("BASS_WADSP_ChannelSetDSP", dsp != 0);
  if (dsp == 0 || fMixer != iMixer)
    Release();
  fDSP = dsp;
  fMixer = iMixer;
  fPlugin = std::move(next);
  if (fDSP)
  {
    const int latency = fPlugin->LatencyFrames();
    fLog(Format("Sound-processing plug-in %s (%s) running%s%s", fPlugin->Name().c_str(), fPlugin->Label().c_str(),
                iStreamOnly ? " on the stream only" : "",
                latency >= 0 ? Format(", latency %d samples", latency).c_str() : ""));
  }
}

#pragma once
// A slot's sound-processing plug-in (LADSPA): loading the one the settings name, starting it at the slot
// mixer's rate and channels with the stored control values, and its place in the mixer's chain, before the
// file encoder or, when it processes the stream only, between the file encoder and the streaming encoder.
// Failures are logged with the names operators know ("BASS_WADSP_Load: BASS Error 2") and a line saying why;
// the audio then goes on unprocessed.
//
// Threads: the controller's thread only (the slot's construction, Initialize, the slot dialog, Destroy). The
// plug-in itself runs on the thread that pulls the slot mixer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TLadspaPlugin;

// Whether a plug-in name ("lib.so:label") can only load a library from the LADSPA search folders.
bool PluginInSearchFolders(const std::string& iName);

class TSlotPlugin
{
public:
  using TLogProc = std::function<void(const std::string&)>;
  // Chain priorities: after the measuring callbacks (0) and before the file encoder (-1000); stream only
  // between the file encoder and the streaming encoder (-2000).
  static constexpr int32_t kPriority = -500;
  static constexpr int32_t kStreamOnlyPriority = -1500;

  explicit TSlotPlugin(TLogProc iLog);
  ~TSlotPlugin();
  TSlotPlugin(const TSlotPlugin&) = delete;
  TSlotPlugin& operator=(const TSlotPlugin&) = delete;

  // Replaces the current plug-in by iName ("lib.so:label"; empty: none) on iMixer with the control values of
  // iControls ("name=value;..."). The new one is loaded and started before the old one leaves the chain, so
  // the audio keeps flowing while a plug-in is reloaded.
  void Reload(const std::string& iName, bool iStreamOnly, const std::string& iControls, uint32_t iMixer);
  // Takes the plug-in out of the chain and frees it.
  void Release();
  // The loaded plug-in (started or not), nullptr when none; for the slot dialog's controls.
  TLadspaPlugin* Plugin() const { return fPlugin.get(); }
  // The chain element of the inserted plug-in, 0 when it is not in the chain.
  uint32_t DSP() const { return fDSP; }
  // Logs "<call>: BASS Error <code>" with the engine's last error when iSuccess is false; returns iSuccess.
  bool CheckPluginResult(const std::string& iCallName, bool iSuccess);
  // Whether a slot of this process has loaded a plug-in (which fixes the plug-in search folders).
  static bool Initialized();

private:
  TLogProc fLog;
  std::unique_ptr<TLadspaPlugin> fPlugin;
  uint32_t fMixer = 0;
  uint32_t fDSP = 0;
};

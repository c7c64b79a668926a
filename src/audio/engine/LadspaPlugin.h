#pragma once
// Host of one LADSPA plug-in on a float channel: loads "library.so:label" (a bare library takes its first
// plug-in; a name without a folder is looked up in LADSPA_PATH, then /usr/lib/ladspa and /usr/local/lib/ladspa),
// instantiates it at the channel's rate for its channel count (a mono plug-in runs once per channel), and runs
// it as a DSP callback of the channel's chain.
//
// Failures set the engine's last error (TAudioEngine::ErrorGetCode) and keep a text saying why (Error()):
// ecFileOpen no such library, ecFileForm not a LADSPA library, ecNotAvailable no plug-in of that label,
// ecFormat audio ports that do not fit the channel, ecCreate the plug-in refused to instantiate, ecStart
// inserting a plug-in that is not started.
//
// Threads: everything but Process and the control values runs on one controlling thread. Control values may be
// set from that thread while the channel runs; Process picks them up at the next block. Buffers are allocated by
// Start, Process never allocates.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _LADSPA_Descriptor;

// A control port of the plug-in, its range and default at the rate it was started with.
struct TLadspaControl
{
  std::string Name;
  unsigned long Port = 0;
  bool Output = false;
  bool HasLower = false;
  bool HasUpper = false;
  float Lower = 0.0f;
  float Upper = 0.0f;
  float Default = 0.0f;
  bool Toggled = false;
  bool Integer = false;
  bool Logarithmic = false;
  // iValue within the hinted range: rounded for integers, 0 or 1 for toggles.
  float Limit(float iValue) const;
};

// One plug-in of an installed library, for choosers.
struct TLadspaEntry
{
  std::string Path;
  std::string Label;
  std::string Name;
  unsigned AudioInputs = 0;
  unsigned AudioOutputs = 0;
};

class TLadspaPlugin
{
public:
  ~TLadspaPlugin();
  TLadspaPlugin(const TLadspaPlugin&) = delete;
  TLadspaPlugin& operator=(const TLadspaPlugin&) = delete;

  // Folders a library name without a folder is looked up in: those of LADSPA_PATH, then the system's.
  static std::vector<std::string> SearchFolders();
  // The library file iLibrary names: itself when it holds a "/", else the first of iFolders that has it;
  // empty when none has it.
  static std::string FindLibrary(const std::string& iLibrary, const std::vector<std::string>& iFolders);
  // Whether the library "library[:label]" names can only be one inside iFolders: a name without a folder, or a
  // path to an existing file whose real location (links resolved) lies beneath one of them.
  static bool InFolders(const std::string& iName, const std::vector<std::string>& iFolders);
  // Every plug-in of every library in iFolders, by path and then in library order.
  static std::vector<TLadspaEntry> Installed(const std::vector<std::string>& iFolders);

  // Loads "library[:label]"; nullptr on failure, with the engine error set and oError saying why.
  static std::unique_ptr<TLadspaPlugin> Load(const std::string& iName, std::string& oError,
                                             const std::vector<std::string>& iFolders = SearchFolders());

  const std::string& Path() const { return fPath; }
  std::string Label() const;
  std::string Name() const;
  unsigned AudioInputs() const { return fAudioInputs; }
  unsigned AudioOutputs() const { return fAudioOutputs; }

  // Instantiates for a channel of iRate and iChannels and activates; the controls return to their defaults at
  // that rate. False with the engine error and Error() set.
  bool Start(uint32_t iRate, uint32_t iChannels);
  bool Started() const { return !fInstances.empty(); }
  const std::string& Error() const { return fError; }

  // Adds the plug-in to iChannel's chain at iPriority (TAudioEngine::ChannelSetDSP), in place of the DSP
  // iReplaces when given; the element's handle, 0 on failure. The channel must be the kind it was started for.
  uint32_t Insert(uint32_t iChannel, int32_t iPriority, uint32_t iReplaces = 0);

  // Control ports in port order (inputs and outputs); values of outputs are those of the last block.
  const std::vector<TLadspaControl>& Controls() const { return fControls; }
  float Control(size_t iIndex) const { return fValues[iIndex].load(std::memory_order_relaxed); }
  // Sets an input control, limited to its range.
  void SetControl(size_t iIndex, float iValue);
  // "name=value;name=value" of the input controls in port order.
  std::string ControlsText() const;
  // Sets the input controls that iText names; unknown names and unreadable values are skipped.
  void ApplyControlsText(const std::string& iText);
  // Frames of delay the plug-in reports through its "latency" output port; -1 when it has none.
  int LatencyFrames() const;

  // Runs the plug-in in place over iFrames interleaved frames of iChannels, in blocks of at most the size it
  // was started with. Real-time safe. Unchanged audio when it is not started or iChannels differs.
  void Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels);

  static constexpr uint32_t kBlockFrames = 4096;

private:
  TLadspaPlugin() = default;
  void ReadControls(uint32_t iRate);
  void Stop();

  std::string fPath;
  void* fLibrary = nullptr;
  const _LADSPA_Descriptor* fDescriptor = nullptr;
  std::vector<unsigned long> fInputPorts;
  std::vector<unsigned long> fOutputPorts;
  unsigned fAudioInputs = 0;
  unsigned fAudioOutputs = 0;
  std::vector<TLadspaControl> fControls;
  std::unique_ptr<std::atomic<float>[]> fValues;
  std::string fError;

  // Started state, all allocated by Start.
  struct TInstance
  {
    void* Handle = nullptr;
    std::vector<std::vector<float>> Inputs;  // per audio input port
    std::vector<std::vector<float>> Outputs; // per audio output port
    std::vector<float> ControlPorts;         // per control port, in fControls order
  };
  std::vector<TInstance> fInstances;
  uint32_t fChannels = 0;
};

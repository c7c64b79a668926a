#include "audio/engine/LadspaPlugin.h"

#include "audio/engine/AudioEngine.h"
#include "audio/engine/LastError.h"
#include "lib/Errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <ladspa.h>
#include <strings.h>
#include <sys/stat.h>

namespace
{
// "lib.so:label" into library and label; a colon that is part of a folder name comes before the last "/".
std::pair<std::string, std::string> SplitName(const std::string& iName)
{
  const size_t colon = iName.rfind(':');
  if (colon != std::string::npos && (iName.rfind('/') == std::string::npos || colon > iName.rfind('/')))
    return {iName.substr(0, colon), iName.substr(colon + 1)};
  return {iName, std::string()};
}

const char* const kSystemFolders[] = {"/usr/lib/ladspa", "/usr/local/lib/ladspa"};

bool IsFile(const std::string& iPath)
{
  struct stat info
  {
  };
  return stat(iPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

LADSPA_Descriptor_Function DescriptorFunction(void* iLibrary)
{
  return reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(iLibrary, "ladspa_descriptor"));
}

// Default of a control port from its hints (LADSPA's rules), before limiting.
float HintedDefault(const LADSPA_PortRangeHint& iHint, float iLower, float iUpper)
{
  const LADSPA_PortRangeHintDescriptor h = iHint.HintDescriptor;
  const bool logarithmic = LADSPA_IS_HINT_LOGARITHMIC(h) && iLower > 0 && iUpper > 0;
  auto between = [&](float iWeight)
  {
    if (logarithmic)
      return std::exp(std::log(iLower) * (1 - iWeight) + std::log(iUpper) * iWeight);
    return iLower * (1 - iWeight) + iUpper * iWeight;
  };
  switch (h & LADSPA_HINT_DEFAULT_MASK)
  {
  case LADSPA_HINT_DEFAULT_MINIMUM:
    return iLower;
  case LADSPA_HINT_DEFAULT_LOW:
    return between(0.25f);
  case LADSPA_HINT_DEFAULT_MIDDLE:
    return between(0.5f);
  case LADSPA_HINT_DEFAULT_HIGH:
    return between(0.75f);
  case LADSPA_HINT_DEFAULT_MAXIMUM:
    return iUpper;
  case LADSPA_HINT_DEFAULT_0:
    return 0.0f;
  case LADSPA_HINT_DEFAULT_1:
    return 1.0f;
  case LADSPA_HINT_DEFAULT_100:
    return 100.0f;
  case LADSPA_HINT_DEFAULT_440:
    return 440.0f;
  default:
    // No default: the lower bound when there is one, else 0 within the range.
    return LADSPA_IS_HINT_BOUNDED_BELOW(h) ? iLower : 0.0f;
  }
}

bool IsLatencyPort(const TLadspaControl& iControl)
{
  return iControl.Output &&
         (strcasecmp(iControl.Name.c_str(), "latency") == 0 || strcasecmp(iControl.Name.c_str(), "_latency") == 0);
}
} // namespace

float TLadspaControl::Limit(float iValue) const
{
  if (!std::isfinite(iValue))
    iValue = Default;
  if (Toggled)
    return iValue > 0.0f ? 1.0f : 0.0f;
  if (Integer)
    iValue = std::round(iValue);
  if (HasLower)
    iValue = std::max(iValue, Lower);
  if (HasUpper)
    iValue = std::min(iValue, Upper);
  return iValue;
}

std::vector<std::string> TLadspaPlugin::SearchFolders()
{
  std::vector<std::string> folders;
  if (const char* path = std::getenv("LADSPA_PATH"))
  {
    std::string text = path;
    for (size_t start = 0; start <= text.size();)
    {
      const size_t end = std::min(text.find(':', start), text.size());
      if (end > start)
        folders.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }
  folders.insert(folders.end(), std::begin(kSystemFolders), std::end(kSystemFolders));
  return folders;
}

std::string TLadspaPlugin::FindLibrary(const std::string& iLibrary, const std::vector<std::string>& iFolders)
{
  if (iLibrary.find('/') != std::string::npos)
    return IsFile(iLibrary) ? iLibrary : std::string();
  if (iLibrary.empty())
    return {};
  for (const std::string& folder : iFolders)
  {
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + iLibrary;
    if (IsFile(path))
      return path;
  }
  return {};
}

std::vector<TLadspaEntry> TLadspaPlugin::Installed(const std::vector<std::string>& iFolders)
{
  std::vector<std::string> libraries;
  for (const std::string& folder : iFolders)
    if (DIR* dir = opendir(folder.c_str()))
    {
      while (const dirent* entry = readdir(dir))
      {
        const std::string name = entry->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
          libraries.push_back(folder + (folder.back() == '/' ? "" : "/") + name);
      }
      closedir(dir);
    }
  std::sort(libraries.begin(), libraries.end());
  std::vector<TLadspaEntry> entries;
  for (const std::string& path : libraries)
  {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
      continue;
    if (LADSPA_Descriptor_Function function = DescriptorFunction(library))
      for (unsigned long i = 0; const LADSPA_Descriptor* d = function(i); ++i)
      {
        TLadspaEntry entry{path, d->Label ? d->Label : "", d->Name ? d->Name : ""};
        for (unsigned long p = 0; p < d->PortCount; ++p)
          if (LADSPA_IS_PORT_AUDIO(d->PortDescriptors[p]))
            ++(LADSPA_IS_PORT_INPUT(d->PortDescriptors[p]) ? entry.AudioInputs : entry.AudioOutputs);
        entries.push_back(std::move(entry));
      }
    dlclose(library);
  }
  return entries;
}

bool TLadspaPlugin::InFolders(const std::string& iName, const std::vector<std::string>& iFolders)
{
  const std::string library = SplitName(iName).first;
  if (library.find('/') == std::string::npos)
    return true;
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(library, error);
  if (error)
    return false;
  for (const std::string& folder : iFolders)
  {
    const std::filesystem::path base = std::filesystem::canonical(folder, error);
    if (error)
      continue;
    const auto [end, unused] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    if (end == base.end())
      return true;
  }
  return false;
}

std::unique_ptr<TLadspaPlugin> TLadspaPlugin::Load(const std::string& iName, std::string& oError,
                                                   const std::vector<std::string>& iFolders)
{
  const auto [library, label] = SplitName(iName);
  const std::string path = FindLibrary(library, iFolders);
  if (path.empty())
  {
    oError = Format("LADSPA library %s not found", library.c_str());
    return Fail(ecFileOpen, nullptr);
  }
  auto plugin = std::unique_ptr<TLadspaPlugin>(new TLadspaPlugin);
  plugin->fPath = path;
  plugin->fLibrary = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!plugin->fLibrary)
  {
    oError = Format("%s cannot be loaded: %s", path.c_str(), dlerror());
    return Fail(ecFileForm, nullptr);
  }
  LADSPA_Descriptor_Function function = DescriptorFunction(plugin->fLibrary);
  if (!function)
  {
    oError = Format("%s is no LADSPA library", path.c_str());
    return Fail(ecFileForm, nullptr);
  }
  for (unsigned long i = 0; const LADSPA_Descriptor* d = function(i); ++i)
    if (label.empty() || (d->Label && label == d->Label))
    {
      plugin->fDescriptor = d;
      break;
    }
  if (!plugin->fDescriptor)
  {
    oError = label.empty() ? Format("%s holds no plug-in", path.c_str())
                           : Format("%s has no plug-in labelled %s", path.c_str(), label.c_str());
    return Fail(ecNotAvailable, nullptr);
  }
  const LADSPA_Descriptor& d = *plugin->fDescriptor;
  if (!d.instantiate || !d.connect_port || !d.run || !d.cleanup)
  {
    oError = Format("%s (%s) lacks functions every LADSPA plug-in has", path.c_str(), plugin->Label().c_str());
    return Fail(ecFileForm, nullptr);
  }
  for (unsigned long p = 0; p < d.PortCount; ++p)
    if (LADSPA_IS_PORT_AUDIO(d.PortDescriptors[p]))
      (LADSPA_IS_PORT_INPUT(d.PortDescriptors[p]) ? plugin->fInputPorts : plugin->fOutputPorts).push_back(p);
  plugin->fAudioInputs = static_cast<unsigned>(plugin->fInputPorts.size());
  plugin->fAudioOutputs = static_cast<unsigned>(plugin->fOutputPorts.size());
  plugin->ReadControls(44100);
  return Fail(ecOK, std::move(plugin));
}

TLadspaPlugin::~TLadspaPlugin()
{
  Stop();
  if (fLibrary)
    dlclose(fLibrary);
}

std::string TLadspaPlugin::Label() const
{
  return fDescriptor->Label ? fDescriptor->Label : "";
}

std::string TLadspaPlugin::Name() const
{
  return fDescriptor->Name ? fDescriptor->Name : "";
}

void TLadspaPlugin::ReadControls(uint32_t iRate)
{
  const LADSPA_Descriptor& d = *fDescriptor;
  fControls.clear();
  for (unsigned long p = 0; p < d.PortCount; ++p)
  {
    if (!LADSPA_IS_PORT_CONTROL(d.PortDescriptors[p]))
      continue;
    const LADSPA_PortRangeHint& hint = d.PortRangeHints[p];
    const LADSPA_PortRangeHintDescriptor h = hint.HintDescriptor;
    const float scale = LADSPA_IS_HINT_SAMPLE_RATE(h) ? static_cast<float>(iRate) : 1.0f;
    TLadspaControl control;
    control.Name = d.PortNames[p] ? d.PortNames[p] : "";
    control.Port = p;
    control.Output = LADSPA_IS_PORT_OUTPUT(d.PortDescriptors[p]);
    control.HasLower = LADSPA_IS_HINT_BOUNDED_BELOW(h);
    control.HasUpper = LADSPA_IS_HINT_BOUNDED_ABOVE(h);
    control.Lower = hint.LowerBound * scale;
    control.Upper = hint.UpperBound * scale;
    control.Toggled = LADSPA_IS_HINT_TOGGLED(h);
    control.Integer = LADSPA_IS_HINT_INTEGER(h);
    control.Logarithmic = LADSPA_IS_HINT_LOGARITHMIC(h);
    // The fixed defaults (0, 1, 100, 440) are not scaled by the rate, those between the bounds are.
    control.Default = HintedDefault(hint, control.Lower, control.Upper);
    control.Default = control.Limit(control.Default);
    fControls.push_back(std::move(control));
  }
  fValues = std::make_unique<std::atomic<float>[]>(fControls.size());
  for (size_t i = 0; i < fControls.size(); ++i)
    fValues[i].store(fControls[i].Default, std::memory_order_relaxed);
}

bool TLadspaPlugin::Start(uint32_t iRate, uint32_t iChannels)
{
  Stop();
  fError.clear();
  const unsigned ins = fAudioInputs;
  const unsigned outs = fAudioOutputs;
  // One instance for all channels, or one per channel of a mono plug-in.
  unsigned instances = 0;
  if (ins == outs && ins == iChannels)
    instances = 1;
  else if (ins == 1 && outs == 1)
    instances = iChannels;
  if (instances == 0 || iChannels == 0)
  {
    fError = Format("%s (%s) has %u audio inputs and %u audio outputs; a channel of %u needs 1 and 1 or %u and %u",
                    Name().c_str(), Label().c_str(), ins, outs, iChannels, iChannels, iChannels);
    return Fail(ecFormat, false);
  }
  ReadControls(iRate);
  const LADSPA_Descriptor& d = *fDescriptor;
  fInstances.resize(instances);
  for (TInstance& instance : fInstances)
  {
    instance.Handle = d.instantiate(&d, iRate);
    if (!instance.Handle)
    {
      Stop();
      fError = Format("%s (%s) cannot run at %u Hz", Name().c_str(), Label().c_str(), iRate);
      return Fail(ecCreate, false);
    }
    instance.Inputs.assign(ins, std::vector<float>(kBlockFrames));
    instance.Outputs.assign(outs, std::vector<float>(kBlockFrames));
    instance.ControlPorts.resize(fControls.size());
    for (size_t i = 0; i < fControls.size(); ++i)
    {
      instance.ControlPorts[i] = fControls[i].Default;
      d.connect_port(instance.Handle, fControls[i].Port, &instance.ControlPorts[i]);
    }
    for (unsigned i = 0; i < ins; ++i)
      d.connect_port(instance.Handle, fInputPorts[i], instance.Inputs[i].data());
    for (unsigned i = 0; i < outs; ++i)
      d.connect_port(instance.Handle, fOutputPorts[i], instance.Outputs[i].data());
    if (d.activate)
      d.activate(instance.Handle);
  }
  fChannels = iChannels;
  // Plug-ins write their output controls (the latency among them) while they run: one short silent block.
  std::vector<float> silence(size_t(64) * iChannels);
  Process(silence.data(), 64, iChannels);
  return Fail(ecOK, true);
}

void TLadspaPlugin::Stop()
{
  for (TInstance& instance : fInstances)
    if (instance.Handle)
    {
      if (fDescriptor->deactivate)
        fDescriptor->deactivate(instance.Handle);
      fDescriptor->cleanup(instance.Handle);
    }
  fInstances.clear();
  fChannels = 0;
}

uint32_t TLadspaPlugin::Insert(uint32_t iChannel, int32_t iPriority, uint32_t iReplaces)
{
  if (!Started())
    return Fail(ecStart, 0u);
  TChannelInfo info;
  if (!TAudioEngine::ChannelGetInfo(iChannel, info))
    return 0;
  if (info.Channels != fChannels)
    return Fail(ecFormat, 0u);
  return TAudioEngine::ChannelSetDSP(
      iChannel,
      [this](float* ioBuffer, uint32_t iLength)
      { Process(ioBuffer, iLength / (fChannels * uint32_t(sizeof(float))), fChannels); },
      iPriority, iReplaces);
}

void TLadspaPlugin::SetControl(size_t iIndex, float iValue)
{
  if (iIndex < fControls.size() && !fControls[iIndex].Output)
    fValues[iIndex].store(fControls[iIndex].Limit(iValue), std::memory_order_relaxed);
}

std::string TLadspaPlugin::ControlsText() const
{
  std::string text;
  for (size_t i = 0; i < fControls.size(); ++i)
  {
    if (fControls[i].Output)
      continue;
    if (!text.empty())
      text += ';';
    text += fControls[i].Name + "=" + Format("%.9g", static_cast<double>(Control(i)));
  }
  return text;
}

void TLadspaPlugin::ApplyControlsText(const std::string& iText)
{
  for (size_t start = 0; start < iText.size();)
  {
    const size_t end = std::min(iText.find(';', start), iText.size());
    const std::string pair = iText.substr(start, end - start);
    start = end + 1;
    const size_t equals = pair.rfind('=');
    if (equals == std::string::npos)
      continue;
    const std::string name = pair.substr(0, equals);
    const std::string number = pair.substr(equals + 1);
    char* stop = nullptr;
    const float value = std::strtof(number.c_str(), &stop);
    if (number.empty() || *stop != '\0')
      continue;
    for (size_t i = 0; i < fControls.size(); ++i)
      if (!fControls[i].Output && fControls[i].Name == name)
      {
        SetControl(i, value);
        break;
      }
  }
}

int TLadspaPlugin::LatencyFrames() const
{
  for (size_t i = 0; i < fControls.size(); ++i)
    if (IsLatencyPort(fControls[i]))
      return static_cast<int>(std::lround(Control(i)));
  return -1;
}

void TLadspaPlugin::Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels)
{
  if (fInstances.empty() || iChannels != fChannels)
    return;
  const LADSPA_Descriptor& d = *fDescriptor;
  const size_t controls = fControls.size();
  const bool perChannel = fInstances.size() > 1;
  for (uint32_t done = 0; done < iFrames;)
  {
    const uint32_t frames = std::min(iFrames - done, kBlockFrames);
    float* block = ioBuffer + size_t(done) * iChannels;
    for (size_t k = 0; k < fInstances.size(); ++k)
    {
      TInstance& instance = fInstances[k];
      for (size_t i = 0; i < controls; ++i)
        if (!fControls[i].Output)
          instance.ControlPorts[i] = fValues[i].load(std::memory_order_relaxed);
      for (size_t port = 0; port < instance.Inputs.size(); ++port)
      {
        const size_t channel = perChannel ? k : port;
        float* in = instance.Inputs[port].data();
        for (uint32_t f = 0; f < frames; ++f)
          in[f] = block[size_t(f) * iChannels + channel];
      }
      d.run(instance.Handle, frames);
      for (size_t port = 0; port < instance.Outputs.size(); ++port)
      {
        const size_t channel = perChannel ? k : port;
        const float* out = instance.Outputs[port].data();
        for (uint32_t f = 0; f < frames; ++f)
          block[size_t(f) * iChannels + channel] = out[f];
      }
    }
    // Output controls as the first instance reports them.
    for (size_t i = 0; i < controls; ++i)
      if (fControls[i].Output)
        fValues[i].store(fInstances[0].ControlPorts[i], std::memory_order_relaxed);
    done += frames;
  }
}

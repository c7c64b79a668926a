#include "AlsaPulseConfig.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

std::string UseAlsaPulseConfig(const std::string& iFolder, const std::string& iServerAddress,
                               const std::vector<TAlsaPulsePCM>& iPCMs, const std::string& iMoreConfig)
{
  const std::string path = iFolder + "/asoundrc";
  std::ofstream out(path);
  for (const TAlsaPulsePCM& pcm : iPCMs)
    out << "pcm." << pcm.Name << " {\n  type pulse\n  device \"" << pcm.Source << "\"\n  server \"" << iServerAddress
        << "\"\n  hint { show on description \"" << pcm.Description << "\" }\n}\n";
  out << iMoreConfig;
  out.close();
  if (!out)
    throw std::runtime_error("cannot write " + path);
  setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  return path;
}

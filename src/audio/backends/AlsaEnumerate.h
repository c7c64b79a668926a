#pragma once
// Lists the ALSA PCMs that can capture, as the configuration's hints describe them (what "arecord -L" shows).

#include <string>
#include <vector>

struct TAlsaPCM
{
  std::string Name;
  // The hint's description, its lines joined with ", "; the name when the hint has none.
  std::string Description;
};

// In the order ALSA lists them. Empty when ALSA has no hints (no configuration).
std::vector<TAlsaPCM> ListAlsaCapturePCMs();

#pragma once
// The real length of a recording file, read from the file itself: what the encoder got into it before it was
// ended, for files whose end was not seen (the program crashed, the encoder was killed). A WAV file is
// measured by its data and gets a header that matches it; any other format is decoded.

#include <optional>
#include <string>

struct TMeasuredDuration
{
  double Seconds = 0;
  bool HeaderRepaired = false; // a WAV header that did not match the data was rewritten
};

// Nothing when the file is missing or cannot be read as audio.
std::optional<TMeasuredDuration> MeasureRecordingDuration(const std::string& iPath);

#include "audio/engine/Resampler.h"

#include <algorithm>
#include <cstring>
#include <soxr.h>
#include <stdexcept>
#include <string>

TResampler::TResampler(double iInputRate, double iOutputRate, uint32_t iChannels, bool iVariable)
    : fChannels(iChannels), fVariable(iVariable), fNominalRatio(iInputRate / iOutputRate)
{
  if (!iVariable && iInputRate == iOutputRate)
    return;
  soxr_io_spec_t IO = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_quality_spec_t Quality = soxr_quality_spec(SOXR_HQ, iVariable ? SOXR_VR : 0);
  soxr_runtime_spec_t Runtime = soxr_runtime_spec(1);
  soxr_error_t Error = nullptr;
  // A variable resampler is created with its largest ratio and then set to the nominal one.
  fSoxr = iVariable ? soxr_create(fNominalRatio * (1 + kMaxTrim), 1, iChannels, &Error, &IO, &Quality, &Runtime)
                    : soxr_create(iInputRate, iOutputRate, iChannels, &Error, &IO, &Quality, &Runtime);
  if (!Error && iVariable)
    Error = soxr_set_io_ratio(fSoxr, fNominalRatio, 0);
  if (Error)
  {
    soxr_delete(fSoxr);
    throw std::runtime_error(std::string("soxr: ") + Error);
  }
}

TResampler::~TResampler()
{
  soxr_delete(fSoxr);
}

size_t TResampler::Process(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput,
                           size_t iOutputFrames)
{
  if (!fSoxr)
  {
    size_t Frames = std::min(iInputFrames, iOutputFrames);
    std::memcpy(oOutput, iInput, Frames * fChannels * sizeof(float));
    oInputUsed = Frames;
    return Frames;
  }
  size_t Written = 0;
  oInputUsed = 0;
  soxr_process(fSoxr, iInput, iInputFrames, &oInputUsed, oOutput, iOutputFrames, &Written);
  return Written;
}

void TResampler::SetTrim(double iTrim, size_t iSlewFrames)
{
  iTrim = std::clamp(iTrim, 1 - kMaxTrim, 1 + kMaxTrim);
  if (!fVariable || iTrim == fTrim)
    return;
  fTrim = iTrim;
  soxr_set_io_ratio(fSoxr, fNominalRatio * fTrim, iSlewFrames);
}

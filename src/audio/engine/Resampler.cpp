#include "audio/engine/Resampler.h"

#include <algorithm>
#include <cstring>
#include <soxr.h>
#include <stdexcept>
#include <string>

namespace
{
constexpr size_t kConvertedFrames = 1024;
}

TResampler::TResampler(double iInputRate, double iOutputRate, uint32_t iChannels, bool iVariable)
    : fChannels(iChannels), fNominalRatio(iInputRate / iOutputRate)
{
  if (iVariable)
    fTrimmer = std::make_unique<TTrimInterpolator>(iChannels);
  if (iInputRate == iOutputRate)
    return;
  if (iVariable)
    fConverted = std::make_unique<float[]>(kConvertedFrames * iChannels);
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  // Small transform blocks: soxr takes input in blocks, and the larger default ones (over 0.1 s at low rates)
  // would eat into the backlog that drift control holds, until a source runs dry.
  runtime.log2_min_dft_size = 9;
  runtime.log2_large_dft_size = 10;
  soxr_error_t error = nullptr;
  fSoxr = soxr_create(iInputRate, iOutputRate, iChannels, &error, &io, &quality, &runtime);
  if (error)
  {
    soxr_delete(fSoxr);
    throw std::runtime_error(std::string("soxr: ") + error);
  }
}

TResampler::~TResampler()
{
  soxr_delete(fSoxr);
}

size_t TResampler::Process(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput,
                           size_t iOutputFrames)
{
  if (!fTrimmer)
    return Convert(iInput, iInputFrames, oInputUsed, oOutput, iOutputFrames);
  if (!fSoxr)
    return fTrimmer->Process(iInput, iInputFrames, oInputUsed, oOutput, iOutputFrames);
  // The trimmer takes what it can of the converted frames; while the output is not full that is all of them, and
  // soxr converts more.
  size_t written = 0;
  oInputUsed = 0;
  for (;;)
  {
    size_t used = 0;
    written += fTrimmer->Process(fConverted.get() + fConvertedStart * fChannels, fConvertedCount, used,
                                 oOutput + written * fChannels, iOutputFrames - written);
    fConvertedStart += used;
    fConvertedCount -= used;
    if (written == iOutputFrames)
      return written;
    size_t made = 0;
    used = 0;
    soxr_process(fSoxr, iInput + oInputUsed * fChannels, iInputFrames - oInputUsed, &used, fConverted.get(),
                 kConvertedFrames, &made);
    oInputUsed += used;
    fConvertedStart = 0;
    fConvertedCount = made;
    if (used == 0 && made == 0)
      return written;
  }
}

size_t TResampler::Convert(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput,
                           size_t iOutputFrames)
{
  oInputUsed = 0;
  if (!fSoxr)
  {
    oInputUsed = std::min(iInputFrames, iOutputFrames);
    std::memcpy(oOutput, iInput, oInputUsed * fChannels * sizeof(float));
    return oInputUsed;
  }
  size_t written = 0;
  soxr_process(fSoxr, iInput, iInputFrames, &oInputUsed, oOutput, iOutputFrames, &written);
  return written;
}

double TResampler::HeldFrames() const
{
  // soxr's delay counts, in output frames, the input it holds; the trimmer works at the output rate after soxr.
  const double converted = (fSoxr ? soxr_delay(fSoxr) : 0.0) + double(fConvertedCount);
  return (converted + (fTrimmer ? fTrimmer->HeldFrames() : 0.0)) * fNominalRatio;
}

void TResampler::SetTrim(double iTrim, size_t iSlewFrames)
{
  iTrim = std::clamp(iTrim, 1 - kMaxTrim, 1 + kMaxTrim);
  if (!fTrimmer || iTrim == fTrim)
    return;
  fTrim = iTrim;
  fTrimmer->SetRatio(fTrim, iSlewFrames);
}

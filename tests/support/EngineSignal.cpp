#include "EngineSignal.h"

#include <cmath>

namespace
{
double SineAt(double iRate, double iFrequency, double iAmplitude, uint64_t iFrame)
{
  return iAmplitude * std::sin(2 * M_PI * iFrequency * double(iFrame) / iRate);
}
} // namespace

std::vector<int16_t> SineInt16(double iRate, double iFrequency, double iAmplitude, uint32_t iFrames, uint32_t iChannels,
                               uint64_t iFirstFrame)
{
  std::vector<int16_t> Samples(size_t(iFrames) * iChannels);
  for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
  {
    int16_t Value = int16_t(std::lround(32767 * SineAt(iRate, iFrequency, iAmplitude, iFirstFrame + Frame)));
    for (uint32_t Channel = 0; Channel < iChannels; ++Channel)
      Samples[size_t(Frame) * iChannels + Channel] = Value;
  }
  return Samples;
}

std::vector<float> SineFloat(double iRate, double iFrequency, double iAmplitude, uint32_t iFrames, uint32_t iChannels,
                             uint64_t iFirstFrame)
{
  std::vector<float> Samples(size_t(iFrames) * iChannels);
  for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
  {
    float Value = float(SineAt(iRate, iFrequency, iAmplitude, iFirstFrame + Frame));
    for (uint32_t Channel = 0; Channel < iChannels; ++Channel)
      Samples[size_t(Frame) * iChannels + Channel] = Value;
  }
  return Samples;
}

TSineFit FitSine(const float* iSamples, uint32_t iChannels, uint32_t iChannel, uint32_t iFrames, double iRate,
                 double iFrequency)
{
  // Least squares on sin, cos and a constant term.
  double Sss = 0, Scc = 0, Ssc = 0, Sxs = 0, Sxc = 0, Sx = 0, Ss = 0, Sc = 0;
  for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
  {
    double Angle = 2 * M_PI * iFrequency * Frame / iRate;
    double S = std::sin(Angle), C = std::cos(Angle), X = iSamples[size_t(Frame) * iChannels + iChannel];
    Sss += S * S, Scc += C * C, Ssc += S * C, Sxs += X * S, Sxc += X * C, Sx += X, Ss += S, Sc += C;
  }
  double N = iFrames;
  // Solve the 3x3 normal equations [Sss Ssc Ss; Ssc Scc Sc; Ss Sc N] * [a b d] = [Sxs Sxc Sx] by Cramer's rule.
  auto Det = [](double a, double b, double c, double d, double e, double f, double g, double h, double i)
  { return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g); };
  double D = Det(Sss, Ssc, Ss, Ssc, Scc, Sc, Ss, Sc, N);
  double A = Det(Sxs, Ssc, Ss, Sxc, Scc, Sc, Sx, Sc, N) / D;
  double B = Det(Sss, Sxs, Ss, Ssc, Sxc, Sc, Ss, Sx, N) / D;
  double Offset = Det(Sss, Ssc, Sxs, Ssc, Scc, Sxc, Ss, Sc, Sx) / D;
  double Residual = 0;
  for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
  {
    double Angle = 2 * M_PI * iFrequency * Frame / iRate;
    double E = iSamples[size_t(Frame) * iChannels + iChannel] - (A * std::sin(Angle) + B * std::cos(Angle) + Offset);
    Residual += E * E;
  }
  return TSineFit{iFrequency, std::hypot(A, B), std::atan2(B, A), std::sqrt(Residual / N)};
}

TSineFit FitSineNear(const float* iSamples, uint32_t iChannels, uint32_t iChannel, uint32_t iFrames, double iRate,
                     double iFrequency, double iWidth)
{
  // Golden-section search for the least residual.
  const double Golden = (std::sqrt(5.0) - 1) / 2;
  double Low = iFrequency - iWidth, High = iFrequency + iWidth;
  auto Residual = [&](double f) { return FitSine(iSamples, iChannels, iChannel, iFrames, iRate, f).ResidualRms; };
  double X1 = High - Golden * (High - Low), X2 = Low + Golden * (High - Low);
  double R1 = Residual(X1), R2 = Residual(X2);
  for (int Step = 0; Step < 40; ++Step)
  {
    if (R1 < R2)
    {
      High = X2, X2 = X1, R2 = R1;
      X1 = High - Golden * (High - Low);
      R1 = Residual(X1);
    }
    else
    {
      Low = X1, X1 = X2, R1 = R2;
      X2 = Low + Golden * (High - Low);
      R2 = Residual(X2);
    }
  }
  return FitSine(iSamples, iChannels, iChannel, iFrames, iRate, (Low + High) / 2);
}

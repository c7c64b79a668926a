#include "audio/engine/DriftControl.h"

#include <algorithm>

double TDriftControl::Update(double iBacklogFrames, double iElapsedSeconds)
{
  double Backlog = iBacklogFrames / fInputRate;
  if (!fStarted)
  {
    fFiltered = Backlog;
    fStarted = true;
  }
  fFiltered += std::min(1.0, iElapsedSeconds / kFilterSeconds) * (Backlog - fFiltered);
  double Excess = fFiltered - fTargetSeconds;
  fIntegralTrim = std::clamp(fIntegralTrim + kIntegral * Excess * iElapsedSeconds, -kMaxIntegral, kMaxIntegral);
  return 1.0 + std::clamp(kProportional * Excess + fIntegralTrim, -kMaxTrim, kMaxTrim);
}

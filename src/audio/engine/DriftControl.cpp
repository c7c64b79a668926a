#include "audio/engine/DriftControl.h"

#include <algorithm>

double TDriftControl::Update(double iBacklogFrames, double iElapsedSeconds)
{
  double backlog = iBacklogFrames / fInputRate;
  if (!fStarted)
  {
    fFiltered = backlog;
    fStarted = true;
  }
  fFiltered += std::min(1.0, iElapsedSeconds / kFilterSeconds) * (backlog - fFiltered);
  double excess = fFiltered - fTargetSeconds;
  fIntegralTrim = std::clamp(fIntegralTrim + kIntegral * excess * iElapsedSeconds, -kMaxIntegral, kMaxIntegral);
  return 1.0 + std::clamp(kProportional * excess + fIntegralTrim, -kMaxTrim, kMaxTrim);
}

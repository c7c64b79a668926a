#pragma once
// Keeps a push source's backlog near a small target when its producer runs on another clock: a PI controller
// on the low-passed backlog trims the rate ratio by at most kMaxTrim. The integral settles on the clocks'
// true ratio, so over months the backlog (latency and memory) stays where it is and nothing is dropped or
// repeated while the clocks differ by less than kMaxIntegral (0.1 %).

class TDriftControl
{
public:
  // Backlog the controller aims at by default; also what a source gathers before it starts or restarts.
  static constexpr double kTargetSeconds = 0.2;
  static constexpr double kMaxTrim = 0.002;

  explicit TDriftControl(double iInputRate, double iTargetSeconds = kTargetSeconds)
      : fInputRate(iInputRate), fTargetSeconds(iTargetSeconds)
  {
  }

  // After each rendered block: the backlog in input frames and the output time the block covered.
  // Returns the trim, the factor on the nominal rate ratio: above 1 (consume faster) when the producer is fast.
  double Update(double iBacklogFrames, double iElapsedSeconds);
  // The producer stalled and the source gathers again: forget the filtered backlog, keep the clock estimate.
  void Restart() { fStarted = false; }
  // The clocks' ratio as measured so far (the integral part of the trim, free of the backlog's ripple).
  double ClockRatio() const { return 1.0 + fIntegralTrim; }
  double TargetFrames() const { return fTargetSeconds * fInputRate; }

private:
  static constexpr double kFilterSeconds = 2.0;
  static constexpr double kProportional = 0.01;        // trim per second of excess backlog
  static constexpr double kIntegral = 0.01 * 0.01 / 4; // critically damped with kProportional
  static constexpr double kMaxIntegral = 0.001;

  const double fInputRate;
  const double fTargetSeconds;
  bool fStarted = false;
  double fFiltered = 0;
  double fIntegralTrim = 0;
};

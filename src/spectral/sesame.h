#pragma once

// The SESAME (2004) criteria for a reliable H/V curve and a clear H/V peak, each with the value
// it tested and its threshold.

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarvik {

// The highest of LocalPeaks(values, lo, hi) (spectral/hvsr.h), the first of them when several
// are equally high: a local maximum is a point above its left neighbour and above the first
// differing value to its right (the first point of a plateau). The ends of values have a
// neighbour missing and are never peaks; a flat or monotonic stretch has none.
std::optional<size_t> HighestPeak(std::span<const double> values, size_t lo, size_t hi);

struct TSesameCriterion {
  std::string Id;    // "reliable.1" .. "reliable.3", "clear.1" .. "clear.6"
  std::string Test;  // the condition as the guidelines write it
  // False when the curve gives nothing to test (no frequency in the range, no peak of the
  // ±σ curves, fewer than 2 windows); the criterion then fails and Value is 0.
  bool Evaluated = false;
  double Value = 0.0;
  double Threshold = 0.0;
  bool Pass = false;
};

struct TSesameResult {
  std::vector<TSesameCriterion> Reliability;  // 3
  std::vector<TSesameCriterion> Clarity;      // 6
  int ReliablePassed = 0;
  int ClearPassed = 0;
  // All three reliability criteria, and at least five of the six clear-peak criteria.
  bool Reliable() const { return ReliablePassed == 3; }
  bool Clear() const { return ClearPassed >= 5; }
};

// ε(f0) (Hz) and θ(f0) of the guidelines' table of stability thresholds, by f0 band:
// below 0.2 Hz 0.25·f0 and 3.0; [0.2, 0.5) 0.20·f0 and 2.5; [0.5, 1) 0.15·f0 and 2.0;
// [1, 2) 0.10·f0 and 1.78; 2 Hz and above 0.05·f0 and 1.58.
struct TSesameThresholds {
  double Epsilon = 0.0;
  double Theta = 0.0;
};
TSesameThresholds SesameThresholds(double f0);

// What the criteria are tested on: the mean curve A(f) on the grid with its lognormal spread
// σ_ln(f) (σA(f) = exp σ_ln(f)), the peak f0 = grid[peak] with A0 = A(f0), the window length
// in seconds, the windows forming the mean, the spread σf (Hz) of the windows' peak frequencies,
// and the band [band_lo, band_hi] (grid indices, inclusive) searched for the peaks of
// A·σA and A/σA.
struct TSesameInput {
  std::span<const double> Grid;
  std::span<const double> Mean;
  std::span<const double> SigmaLn;
  size_t Peak = 0;
  double WindowSeconds = 0.0;
  int Windows = 0;
  double SigmaF = 0.0;
  bool HasSigmaF = false;
  size_t BandLo = 0;
  size_t BandHi = 0;
};

// Evaluates the nine criteria; the input's arrays must be of equal length with Peak inside.
TSesameResult EvaluateSesame(const TSesameInput& in);

}  // namespace tarvik

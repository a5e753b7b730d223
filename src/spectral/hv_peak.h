#pragma once

// The peak of a classic H/V ratio curve (the H/Z column of a ratio file): the frequency f0 and
// the amplitude A0 the chart marks.

#include <cstddef>
#include <span>

namespace tarvik {

struct TRatioPeak {
  bool Found = false;
  size_t Index = 0;  // into the curve given
  double F0 = 0.0;   // Hz
  double A0 = 0.0;
};

// The highest local maximum (as LocalPeaks defines one) of values over frequencies (Hz,
// ascending) whose frequency lies in [fmin, fmax]; 0 for either end means that end of the curve.
// Only finite, positive values count: a point that is not one breaks the curve and is never a
// neighbour of a peak. A curve that only rises or falls across the band has no peak (Found
// false): its largest value at an end is no resonance.
TRatioPeak FindRatioPeak(std::span<const double> frequencies, std::span<const double> values,
                         double fmin = 0.0, double fmax = 0.0);

}  // namespace tarvik

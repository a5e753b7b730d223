#include "spectral/hv_peak.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "spectral/hvsr.h"

namespace tarvik {

TRatioPeak FindRatioPeak(std::span<const double> frequencies, std::span<const double> values,
                         double fmin, double fmax) {
  TRatioPeak peak;
  const size_t n = std::min(frequencies.size(), values.size());
  if (n < 3) return peak;
  // Points that are no ratio (NaN, infinite, 0 or below) are made lower than any ratio, so that
  // no maximum is found beside them and none at them.
  std::vector<double> curve(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
  for (double& v : curve) {
    if (!std::isfinite(v) || v <= 0.0) v = -1.0;
  }
  size_t lo = 0, hi = n - 1;
  if (fmin > 0.0) {
    while (lo < n && !(frequencies[lo] >= fmin)) ++lo;
  }
  if (fmax > 0.0) {
    while (hi > 0 && !(frequencies[hi] <= fmax)) --hi;
  }
  if (lo >= n || hi < lo) return peak;
  for (size_t i : LocalPeaks(curve, lo, hi)) {
    if (curve[i] <= 0.0 || curve[i - 1] <= 0.0 || !std::isfinite(frequencies[i])) continue;
    size_t j = i + 1;
    while (j < n && curve[j] == curve[i]) ++j;
    if (j >= n || curve[j] <= 0.0) continue;
    if (!peak.Found || curve[i] > peak.A0) {
      peak.Found = true;
      peak.Index = i;
      peak.F0 = frequencies[i];
      peak.A0 = curve[i];
    }
  }
  return peak;
}

}  // namespace tarvik

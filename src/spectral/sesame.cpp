#include "spectral/sesame.h"

#include <algorithm>
#include <cmath>

#include "spectral/hvsr.h"

namespace tarvik {

std::optional<size_t> HighestPeak(std::span<const double> values, size_t lo, size_t hi) {
  // The first of the highest when several peaks are equally high.
  std::optional<size_t> best;
  for (size_t i : LocalPeaks(values, lo, hi)) {
    if (!best || values[i] > values[*best]) best = i;
  }
  return best;
}

TSesameThresholds SesameThresholds(double f0) {
  // SESAME (2004), table of threshold values for the stability conditions.
  if (f0 < 0.2) return {0.25 * f0, 3.0};
  if (f0 < 0.5) return {0.20 * f0, 2.5};
  if (f0 < 1.0) return {0.15 * f0, 2.0};
  if (f0 < 2.0) return {0.10 * f0, 1.78};
  return {0.05 * f0, 1.58};
}

namespace {

TSesameCriterion Criterion(const char* id, const char* test) {
  TSesameCriterion c;
  c.Id = id;
  c.Test = test;
  return c;
}

// Value < Threshold (or > with above), evaluated.
void Judge(TSesameCriterion& c, double value, double threshold, bool above) {
  c.Evaluated = std::isfinite(value);
  c.Value = c.Evaluated ? value : 0.0;
  c.Threshold = threshold;
  c.Pass = c.Evaluated && (above ? value > threshold : value < threshold);
}

}  // namespace

TSesameResult EvaluateSesame(const TSesameInput& in) {
  TSesameResult r;
  const size_t n = std::min({in.Grid.size(), in.Mean.size(), in.SigmaLn.size()});
  if (in.Peak >= n) return r;
  const double f0 = in.Grid[in.Peak];
  const double a0 = in.Mean[in.Peak];
  auto sigma_a = [&](size_t i) { return std::exp(in.SigmaLn[i]); };

  // Reliable curve (SESAME 2004): i) f0 > 10/lw; ii) nc = lw·nw·f0 > 200; iii) σA(f) < 2 for
  // 0.5·f0 < f < 2·f0 when f0 > 0.5 Hz, < 3 otherwise.
  TSesameCriterion c1 = Criterion("reliable.1", "f0 > 10 / lw");
  if (in.WindowSeconds > 0.0) Judge(c1, f0, 10.0 / in.WindowSeconds, true);
  TSesameCriterion c2 = Criterion("reliable.2", "nc(f0) = lw * nw * f0 > 200");
  Judge(c2, in.WindowSeconds * in.Windows * f0, 200.0, true);
  TSesameCriterion c3 =
      Criterion("reliable.3", "sigmaA(f) < 2 (3 if f0 < 0.5 Hz) for 0.5 f0 < f < 2 f0");
  double worst = -HUGE_VAL;
  for (size_t i = 0; i < n; ++i) {
    if (in.Grid[i] > 0.5 * f0 && in.Grid[i] < 2.0 * f0) worst = std::max(worst, sigma_a(i));
  }
  Judge(c3, worst, f0 > 0.5 ? 2.0 : 3.0, false);
  if (in.Windows < 2) c3.Evaluated = c3.Pass = false;
  r.Reliability = {c1, c2, c3};

  // Clear peak: i) some f in [f0/4, f0) with A(f) < A0/2; ii) some f in (f0, 4·f0] with
  // A(f) < A0/2; iii) A0 > 2; iv) the peaks of A·σA and A/σA within f0 ± 5 %; v) σf < ε(f0);
  // vi) σA(f0) < θ(f0).
  TSesameCriterion k1 = Criterion("clear.1", "exists f- in [f0/4, f0] with A(f-) < A0/2");
  TSesameCriterion k2 = Criterion("clear.2", "exists f+ in [f0, 4 f0] with A(f+) < A0/2");
  double low = HUGE_VAL, high = HUGE_VAL;
  for (size_t i = 0; i < n; ++i) {
    const double f = in.Grid[i];
    if (f >= f0 / 4.0 && f < f0) low = std::min(low, in.Mean[i]);
    if (f > f0 && f <= 4.0 * f0) high = std::min(high, in.Mean[i]);
  }
  Judge(k1, low, a0 / 2.0, false);
  Judge(k2, high, a0 / 2.0, false);
  TSesameCriterion k3 = Criterion("clear.3", "A0 > 2");
  Judge(k3, a0, 2.0, true);

  TSesameCriterion k4 =
      Criterion("clear.4", "fpeak[A(f) * sigmaA(f)] and fpeak[A(f) / sigmaA(f)] = f0 +- 5 %");
  std::vector<double> upper(n), lower(n);
  for (size_t i = 0; i < n; ++i) {
    upper[i] = in.Mean[i] * sigma_a(i);
    lower[i] = in.Mean[i] / sigma_a(i);
  }
  const auto up = HighestPeak(upper, in.BandLo, in.BandHi);
  const auto down = HighestPeak(lower, in.BandLo, in.BandHi);
  double deviation = HUGE_VAL;
  if (up && down) {
    deviation = std::max(std::fabs(in.Grid[*up] - f0), std::fabs(in.Grid[*down] - f0)) / f0;
  }
  Judge(k4, deviation, 0.05, false);
  if (in.Windows < 2) k4.Evaluated = k4.Pass = false;

  const TSesameThresholds t = SesameThresholds(f0);
  TSesameCriterion k5 = Criterion("clear.5", "sigmaf < epsilon(f0)");
  Judge(k5, in.HasSigmaF ? in.SigmaF : HUGE_VAL, t.Epsilon, false);
  TSesameCriterion k6 = Criterion("clear.6", "sigmaA(f0) < theta(f0)");
  Judge(k6, sigma_a(in.Peak), t.Theta, false);
  if (in.Windows < 2) k6.Evaluated = k6.Pass = false;
  r.Clarity = {k1, k2, k3, k4, k5, k6};

  for (const auto& c : r.Reliability) r.ReliablePassed += c.Pass ? 1 : 0;
  for (const auto& c : r.Clarity) r.ClearPassed += c.Pass ? 1 : 0;
  return r;
}

}  // namespace tarvik

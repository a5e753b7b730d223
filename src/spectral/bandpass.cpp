#include "spectral/bandpass.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

#include "common/rounding.h"

namespace tarvik {

void DesignBandPass(int32_t n, TBiquadCascade& cascade, double f_high, double f_low,
                    double f_nyquist) {
  cascade = TBiquadCascade{};
  n = std::min(n, kMaxBiquadSections);
  if (n <= 0) return;
  if (!std::isfinite(f_high) || !std::isfinite(f_low) || !std::isfinite(f_nyquist)) return;
  if (f_nyquist <= 0.0 || f_low <= 0.0) return;
  // tan(ω·T/2) passes its pole at the Nyquist frequency.
  if (f_high >= f_nyquist) f_high = 0.99 * f_nyquist;
  if (f_high <= f_low) return;

  using Real = long double;
  using Complex = std::complex<Real>;
  const Real pi = std::numbers::pi_v<Real>;
  const Real T = 1.0L / (2.0L * static_cast<Real>(f_nyquist));
  auto prewarp = [T](Real w) { return 2.0L / T * std::tan(w * T / 2.0L); };
  const Real wl = 2.0L * pi * static_cast<Real>(f_low);
  const Real wh = 2.0L * pi * static_cast<Real>(f_high);
  const Real Wl = prewarp(wl);
  const Real Wh = prewarp(wh);
  const Real W0 = prewarp(std::sqrt(wl * wh));
  const Real K = 2.0L / (W0 * T);
  const Real BW = Wh - Wl;

  // Each prototype pole p in the upper half plane maps onto the band-pass poles q ± r; a
  // section (α, β) holds one of them with its conjugate, in units of Ω0.
  std::array<std::pair<Real, Real>, kMaxBiquadSections> sections{};
  int stored = 0;
  for (int k = 0; stored < n; ++k) {
    const Real theta = static_cast<Real>(2 * k + 1) * pi / static_cast<Real>(2 * n);
    const Complex q = Complex(-std::sin(theta), std::cos(theta)) * (BW / 2.0L);
    if (2 * k + 1 == n) {
      // The real pole of an odd order: q ± r are either a conjugate pair or two real poles,
      // and one section holds both, s² − 2q·s + Ωl·Ωh. (Taking |q + r|² as the constant term
      // is right only for a conjugate pair; for a band wider than about 5.8:1 it would put a
      // double pole at q + r and lose q − r.)
      sections[static_cast<size_t>(stored++)] = {-2.0L * q.real() / W0, Wl * Wh / (W0 * W0)};
      continue;
    }
    const Complex r = std::sqrt(q * q - Wl * Wh);
    for (const Complex s : {q + r, q - r}) {
      if (stored == n) break;
      const Complex sn = s / W0;
      sections[static_cast<size_t>(stored++)] = {-2.0L * sn.real(), std::norm(sn)};
    }
  }

  cascade.Count = n;
  for (int i = 0; i < n; ++i) {
    const auto [alpha, beta] = sections[static_cast<size_t>(i)];
    const Real D = 1.0L / (K + alpha + beta / K);
    TBiquadSection& s = cascade.Sections[static_cast<size_t>(i)];
    s.B0 = static_cast<double>(D);
    s.B1 = 0.0;
    s.B2 = static_cast<double>(-D);
    s.A1 = static_cast<double>(2.0L * D * (beta / K - K));
    s.A2 = static_cast<double>(D * (K - alpha + beta / K));
  }

  const double m =
      std::abs(EvaluateDigitalSections(cascade, 2.0 * f_nyquist, std::sqrt(f_high * f_low)));
  if (m == 0.0 || !std::isfinite(m)) return;
  const double gain = std::pow(1.0 / m, 1.0 / n);
  for (int i = 0; i < n; ++i) {
    TBiquadSection& s = cascade.Sections[static_cast<size_t>(i)];
    s.B0 *= gain;
    s.B1 *= gain;
    s.B2 *= gain;
  }
}

namespace {

// One section's coefficients and the two previous inputs and outputs of its running pass.
struct Stage {
  double B0 = 0, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
  double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
};

inline double Step(Stage& s, double x) {
  // The terms that do not need the previous output first, so that each value waits only for
  // one product and one subtraction after the previous one.
  const double partial = s.B0 * x + s.B1 * s.X1 + s.B2 * s.X2 - s.A2 * s.Y2;
  const double y = partial - s.A1 * s.Y1;
  s.X2 = s.X1;
  s.X1 = x;
  s.Y2 = s.Y1;
  s.Y1 = y;
  return y;
}

// Runs G (1..3) consecutive sections over y[from..to] in one sweep, forward or backward. Each
// value goes through the sections in order, which gives exactly what one pass per section
// gives, but the recursions of the sections overlap in the processor instead of waiting for one
// another, and their state stays in registers. The history starts from the two entries before
// `from`, which no pass changes.
template <int G, bool kBackward>
void Sweep(double* y, const TBiquadSection* sections, ptrdiff_t from, ptrdiff_t to) {
  constexpr ptrdiff_t kStep = kBackward ? -1 : 1;
  const double h1 = y[from - kStep];
  const double h2 = y[from - 2 * kStep];
  auto start = [&](int g) {
    const TBiquadSection& s = sections[g < G ? g : 0];
    return Stage{s.B0, s.B1, s.B2, s.A1, s.A2, h1, h2, h1, h2};
  };
  Stage s0 = start(0), s1 = start(1), s2 = start(2);
  for (ptrdiff_t i = from; kBackward ? i >= to : i <= to; i += kStep) {
    double v = Step(s0, y[i]);
    if constexpr (G > 1) v = Step(s1, v);
    if constexpr (G > 2) v = Step(s2, v);
    y[i] = v;
  }
}

template <bool kBackward>
void SweepAll(double* y, const TBiquadSection* sections, int count, ptrdiff_t from, ptrdiff_t to) {
  while (count > 0) {
    const int g = std::min(count, 3);
    if (g == 1) {
      Sweep<1, kBackward>(y, sections, from, to);
    } else if (g == 2) {
      Sweep<2, kBackward>(y, sections, from, to);
    } else {
      Sweep<3, kBackward>(y, sections, from, to);
    }
    sections += g;
    count -= g;
  }
}

}  // namespace

void FilterBuffer(std::span<double> y, const TBiquadCascade& cascade, bool bidirectional) {
  const auto N = static_cast<ptrdiff_t>(y.size());
  const int count = std::clamp(cascade.Count, 0, kMaxBiquadSections);
  if (N <= 2 || count == 0) return;
  SweepAll<false>(y.data(), cascade.Sections.data(), count, 2, N - 1);
  if (bidirectional) SweepAll<true>(y.data(), cascade.Sections.data(), count, N - 3, 0);
}

void FilterSamples(std::span<const int32_t> values, const TBiquadCascade& cascade,
                   bool bidirectional, std::vector<int32_t>& out, std::vector<double>& workspace) {
  const size_t L = values.size();
  workspace.resize(L + 4);
  double* buffer = workspace.data();
  buffer[0] = buffer[1] = buffer[L + 2] = buffer[L + 3] = 0.0;
  for (size_t i = 0; i < L; ++i) buffer[i + 2] = values[i];
  FilterBuffer(std::span<double>(buffer, L + 4), cascade, bidirectional);
  out.resize(L + 4);
  for (size_t i = 0; i < L; ++i) out[i] = RoundToInt32Clamped(buffer[i + 2]);
  std::fill(out.begin() + static_cast<ptrdiff_t>(L), out.end(), 0);
}

void FilterSamples(std::span<const int32_t> values, const TBiquadCascade& cascade,
                   bool bidirectional, std::vector<int32_t>& out) {
  std::vector<double> workspace;
  FilterSamples(values, cascade, bidirectional, out, workspace);
}

std::vector<int32_t> FilterSamples(std::span<const int32_t> values, const TBiquadCascade& cascade,
                                   bool bidirectional) {
  std::vector<int32_t> out;
  FilterSamples(values, cascade, bidirectional, out);
  return out;
}

}  // namespace tarvik

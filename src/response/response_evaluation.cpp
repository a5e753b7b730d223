#include "response/response_evaluation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tarvik {

namespace {

TComplex LaplaceVariable(double f) {
  return {0.0, 2.0 * std::numbers::pi * f};
}

// True when a running product nears the ends of the double range.
bool NeedsFold(TComplex p) {
  const double m = std::fabs(p.real()) + std::fabs(p.imag());
  return m > 1e150 || (m < 1e-150 && m != 0.0);
}

// Π(s − zᵢ) / Π(s − pₖ) without the constant factor. Numerator and denominator are multiplied
// out separately and divided once (one complex division per frequency instead of one per
// pole); a product about to leave the double range is folded into the result first, so that
// many roots far from s cannot overflow.
TComplex RootsProduct(const TComplexFilter& zp, TComplex s) {
  const int zeros = std::clamp(zp.ZeroCount, 0, kMaxRoots);
  const int poles = std::clamp(zp.PoleCount, 0, kMaxRoots);
  TComplex result(1.0, 0.0);
  TComplex num(1.0, 0.0);
  TComplex den(1.0, 0.0);
  const auto fold = [&] {
    result *= num / den;
    num = den = TComplex(1.0, 0.0);
  };
  for (int i = 0; i < zeros; ++i) {
    num *= s - zp.Zeros[static_cast<size_t>(i)];
    if (NeedsFold(num)) fold();
  }
  for (int k = 0; k < poles; ++k) {
    den *= s - zp.Poles[static_cast<size_t>(k)];
    if (NeedsFold(den)) fold();
  }
  return result * (num / den);
}

// Interpolates a value between two rows at fraction t. The geometric rule a·(b/a)^t is used
// when allowed and both values are non-zero and of one sign (a negative pair, such as two phase
// lags, is interpolated as the mirror of the positive one); otherwise the linear rule.
double Interpolate(double a, double b, double t, bool geometric_allowed) {
  if (geometric_allowed && a != 0.0 && b != 0.0 && (a > 0.0) == (b > 0.0)) {
    const double sign = a > 0.0 ? 1.0 : -1.0;
    return sign * std::exp(std::log(std::fabs(a)) + t * std::log(b / a));
  }
  return a + t * (b - a);
}

// The complex number of modulus |amplitude| and argument phase (a negative amplitude turns it
// by π, as the product amplitude·e^(jφ) does).
TComplex Complex(double amplitude, double phase) {
  return {amplitude * std::cos(phase), amplitude * std::sin(phase)};
}

}  // namespace

TComplex EvaluateZP(const TComplexFilter& zp, double f) {
  return RootsProduct(zp, LaplaceVariable(f)) * zp.NormFactor;
}

TComplex EvaluateCascades(const TPolyCascades& cascades, double f) {
  const TComplex s = LaplaceVariable(f);
  TComplex h(1.0, 0.0);
  const int count = std::clamp(cascades.Count, 0, kMaxPolyCascades);
  for (int c = 0; c < count; ++c) {
    const TPolyCascade& cascade = cascades.Items[static_cast<size_t>(c)];
    const int order = std::clamp(cascade.Order, 0, kMaxCascadeOrder);
    TComplex numerator(cascade.Numerator[0], 0.0);
    TComplex denominator(1.0, 0.0);
    TComplex power(1.0, 0.0);
    for (int k = 1; k <= order; ++k) {
      power *= s;
      numerator += cascade.Numerator[static_cast<size_t>(k)] * power;
      denominator += cascade.Denominator[static_cast<size_t>(k - 1)] * power;
    }
    h *= numerator / denominator;
  }
  return h;
}

TComplex EvaluateFAP(const TFAPFilter& table, double f) {
  const size_t n = table.size();
  if (n == 0) return {1.0, 0.0};
  if (n == 1) return Complex(table[0].Amplitude, table[0].Phase);
  size_t i = 0;
  while (i < n && f > table[i].Frequency) ++i;
  i = std::clamp<size_t>(i, 1, n - 1);
  const TFAPRow& lo = table[i - 1];
  const TFAPRow& hi = table[i];
  double amplitude = 0.0;
  double phase = 0.0;
  if (hi.Frequency == lo.Frequency) {
    // Two rows at one frequency (a step, or the copies that pad a short table): no slope to
    // follow, so the lower row holds up to that frequency and the upper one beyond it.
    const TFAPRow& row = f <= lo.Frequency ? lo : hi;
    amplitude = row.Amplitude;
    phase = row.Phase;
  } else {
    const double t = (f - lo.Frequency) / (hi.Frequency - lo.Frequency);
    const bool geometric = lo.Frequency != 0.0 && hi.Frequency != 0.0 && f != 0.0;
    amplitude = Interpolate(lo.Amplitude, hi.Amplitude, t, geometric);
    phase = Interpolate(lo.Phase, hi.Phase, t, geometric);
  }
  return Complex(amplitude, phase);
}

TComplex EvaluateDigitalStage(const TDigitalStage& stage, double f) {
  if (!(stage.Rate > 0.0)) return {std::numeric_limits<double>::quiet_NaN(), 0.0};
  const double w = 2.0 * std::numbers::pi * f / stage.Rate;
  if (stage.ByRoots) {
    const TComplex z = std::polar(1.0, w);
    TComplex num(1.0, 0.0), den(1.0, 0.0);
    for (const TComplex& r : stage.Zeros) num *= z - r;
    for (const TComplex& r : stage.Poles) den *= z - r;
    return num / den;
  }
  // Horner's rule in z⁻¹, from the highest power down.
  const TComplex zi = std::polar(1.0, -w);
  const auto polynomial = [&](const std::vector<double>& c) {
    TComplex sum(0.0, 0.0);
    for (auto it = c.rbegin(); it != c.rend(); ++it) sum = sum * zi + *it;
    return sum;
  };
  const TComplex num = polynomial(stage.Numerator);
  return stage.Denominator.empty() ? num : num / polynomial(stage.Denominator);
}

namespace {

TComplex EvaluateDescription(const TFilterPack& pack, double f) {
  const TDeviceInfo& d = pack.Device;
  if (d.ZPAvailable) return EvaluateZP(pack.ZP, f);
  if (d.BiCascadeAvailable) return EvaluateSections(pack.BiCascade, f);
  if (d.CascadeAvailable) return EvaluateCascades(pack.Cascades, f);
  if (d.FAPAvailable) return EvaluateFAP(pack.FAP, f);
  return {1.0, 0.0};
}

}  // namespace

TComplex EvaluatePack(const TFilterPack& pack, double f) {
  TComplex h = EvaluateDescription(pack, f);
  for (const TDigitalStage& stage : pack.Digital) h *= EvaluateDigitalStage(stage, f);
  return h;
}

TComplex EvaluateChain(const TCombinedFilter& chain, double f) {
  TComplex h(1.0, 0.0);
  for (const TFilterPack& pack : chain) h *= EvaluatePack(pack, f);
  return h;
}

double ResponseModulus(TComplex h) {
  const double m = std::sqrt(h.real() * h.real() + h.imag() * h.imag());
  return std::isfinite(m) ? m : std::numeric_limits<double>::infinity();
}

bool NormalizeZP(TComplexFilter& zp) {
  const TComplex h0 = RootsProduct(zp, LaplaceVariable(zp.NormFrequency));
  if (zp.NormType >= 2) {
    zp.NormValue = std::abs(zp.NormFactor * h0);
    return true;
  }
  if (zp.NormType <= 0) zp.NormValue = 1.0;
  double m = std::abs(h0);
  bool ok = true;
  if (m == 0.0 || !std::isfinite(m)) {
    m = 1.0;
    ok = false;
  }
  zp.NormFactor = std::fabs(zp.NormValue / m);
  return ok;
}

}  // namespace tarvik

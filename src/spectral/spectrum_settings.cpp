#include "spectral/spectrum_settings.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "common/rounding.h"

namespace tarvik {

const TSpectrumSettings& DefaultSpectrumSettings(int set) {
  return kDefaultSpectrumSettings[set == kEventSet ? kEventSet : kMicroseismSet];
}

void RestoreDefaults(TSpectrumSettings& settings, int set) {
  settings = DefaultSpectrumSettings(set);
}

double BesselI0(double x) {
  if (x == 0.0) return 1.0;
  if (std::isnan(x)) return x;
  if (std::isinf(x)) return std::numeric_limits<double>::infinity();
  // Power series Σ ((x/2)^2)^k / (k!)^2, summed until a term drops below 1e-8. Once the sum
  // overflows the terms stay infinite, so that case ends the loop too.
  const double q = (x / 2.0) * (x / 2.0);
  double term = 1.0;
  double sum = 1.0;
  double k = 1.0;
  do {
    term = term * q / (k * k);
    k += 1.0;
    sum += term;
    if (std::isinf(sum)) return sum;
  } while (term >= 1e-8);
  return sum;
}

namespace {

// Half-length of each cosine taper of the tapered-cosine window: b is the percentage of the
// window left flat; values that would make L negative (b above 100) fall back to 15 %.
int64_t TukeyTaper(int64_t M, double b) {
  double L = RoundHalfEven((1.0 - b / 100.0) * static_cast<double>(M) / 2.0);
  if (L < 0.0) L = RoundHalfEven(0.15 * static_cast<double>(M));
  // Keeps the conversion defined for absurd b; a taper longer than the window is meaningless.
  if (!(L <= static_cast<double>(M))) L = static_cast<double>(M);
  return static_cast<int64_t>(L);
}

double TukeyValue(int64_t i, int64_t M, int64_t L) {
  if (i < L) {
    return 0.5 *
           (1.0 + std::cos(static_cast<double>(i - L) * std::numbers::pi / static_cast<double>(L)));
  }
  if (i < M - L) return 1.0;
  return 0.5 * (1.0 + std::cos(static_cast<double>(i - L - M + 1) * std::numbers::pi /
                               static_cast<double>(L)));
}

// The value for types whose formula depends on e = 2i/M - 1 and φ = 2πi/M only (plus b).
double ShapeValue(int64_t i, int64_t M, int32_t type, double b, double i0b) {
  const double di = static_cast<double>(i);
  const double dm = static_cast<double>(M);
  const double e = 2.0 * di / dm - 1.0;
  switch (type) {
    case kWindowBartlett:
      return 1.0 - std::fabs(e);
    case kWindowHann:
      return (1.0 - std::cos(2.0 * std::numbers::pi * di / dm)) / 2.0;
    case kWindowHamming:
      return 0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * di / dm);
    case kWindowGauss:
      return std::exp(-0.5 * (b * e) * (b * e));
    case kWindowKaiser:
      return BesselI0(b * std::sqrt(1.0 - e * e)) / i0b;
    case kWindowWelch:
      return 1.0 - e * e;
    default:
      return 1.0;
  }
}

}  // namespace

double WindowValue(int64_t i, int64_t M, int32_t type, double b) {
  if (i < 0 || i >= M) return 0.0;
  if (type == kWindowTukey) return TukeyValue(i, M, TukeyTaper(M, b));
  return ShapeValue(i, M, type, b, type == kWindowKaiser ? BesselI0(b) : 1.0);
}

void FillWindow(std::span<double> w, int32_t type, double b) {
  const auto M = static_cast<int64_t>(w.size());
  if (type == kWindowTukey) {
    const int64_t L = TukeyTaper(M, b);
    for (int64_t i = 0; i < M; ++i) w[static_cast<size_t>(i)] = TukeyValue(i, M, L);
    return;
  }
  const double i0b = type == kWindowKaiser ? BesselI0(b) : 1.0;
  for (int64_t i = 0; i < M; ++i) w[static_cast<size_t>(i)] = ShapeValue(i, M, type, b, i0b);
}

int64_t NextPowerOfTwo(int64_t n) {
  if (n <= 0) return 0;
  if (n > (int64_t{1} << 62)) return 0;
  int64_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

bool DeriveGeometry(TSpectrumSettings& settings, double fs, std::string* message) {
  const TStatus status = DeriveSegmentGeometry(settings, fs);
  if (!status.Ok() && message != nullptr) *message = Text(status, TLanguage::kRussian);
  return status.Ok();
}

TStatus DeriveSegmentGeometry(TSpectrumSettings& settings, double fs) {
  auto fail = [](TCode code) { return MakeStatus(code); };
  const double samples = RoundHalfEven(fs * settings.SilenceDur);
  // A segment needs at least two samples: with one, the window's sum of squares may be 0 and
  // the normalisation divides by it; with none there is nothing to transform.
  if (!(samples >= 2.0)) {
    return fail(TCode::kSegmentTooShort);
  }
  if (samples > static_cast<double>(kMaxSegmentSamples)) {
    return fail(TCode::kSegmentTooLong);
  }
  const auto a = static_cast<int64_t>(samples);
  const int64_t p = NextPowerOfTwo(a);

  int64_t segment = a;
  int64_t transform = a;
  int64_t offset = 0;
  double normalization = 1.0;
  if (settings.UseFFT) {
    transform = p;
    if (settings.FillByZero) {
      offset = (p - a) / 2;
      normalization = static_cast<double>(p) / static_cast<double>(a);
    } else {
      segment = p;
    }
  }

  const int32_t type = settings.WindowType;
  const double i0b = type == kWindowKaiser ? BesselI0(settings.B) : 1.0;
  const int64_t taper = type == kWindowTukey ? TukeyTaper(transform, settings.B) : 0;
  double sum_squares = 0.0;
  for (int64_t i = offset; i < offset + segment; ++i) {
    const double w = type == kWindowTukey ? TukeyValue(i, transform, taper)
                                          : ShapeValue(i, transform, type, settings.B, i0b);
    sum_squares += w * w;
  }
  if (!(sum_squares > 0.0) || std::isinf(sum_squares)) {
    return fail(TCode::kWindowHasNoWeight);
  }

  settings.SegmentLength = static_cast<int32_t>(segment);
  settings.TransformLength = static_cast<int32_t>(transform);
  settings.DataOffset = static_cast<int32_t>(offset);
  settings.Normalization = static_cast<double>(segment) * normalization / sum_squares;
  if (settings.EstimationType == TEstimationType::kBartlett) {
    // A negative duration read from a project would move the quiet-interval search backwards.
    settings.NoiseGap = std::max(0, RoundToInt32Clamped(fs * settings.NoiseDur));
  }
  return {};
}

}  // namespace tarvik

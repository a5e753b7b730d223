#include "spectral/psd_segments.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "response/response_evaluation.h"

namespace tarvik {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Periods of the grid step by an eighth of an octave; each point averages one octave.
constexpr double kGridStep = 0.125;
constexpr int32_t kMinimumWindow = 16;

// Cosine taper over the first and last tenth of n samples: rises from 0 to 1 over the first
// tenth, falls back to 0 over the last.
std::vector<double> CosineTaper(int32_t n) {
  std::vector<double> w(static_cast<size_t>(n), 1.0);
  const int32_t edge = static_cast<int32_t>(n * 0.1 + 0.5);
  if (edge < 2) return w;
  for (int32_t i = 0; i < edge; ++i) {
    const double v = 0.5 * (1.0 - std::cos(std::numbers::pi * i / (edge - 1)));
    w[static_cast<size_t>(i)] = v;
    w[static_cast<size_t>(n - 1 - i)] = v;
  }
  return w;
}

}  // namespace

float PsdMissing() {
  return std::numeric_limits<float>::quiet_NaN();
}

bool CheckPsdSettings(const TPsdSettings& settings, std::string* why) {
  if (!(settings.SegmentSeconds > 0.0) || !std::isfinite(settings.SegmentSeconds)) {
    if (why) *why = "the segment length must be a positive number of seconds";
    return false;
  }
  if (!(settings.Overlap >= 0.0 && settings.Overlap < 1.0)) {
    if (why) *why = "the overlap must be at least 0 and below 1";
    return false;
  }
  return true;
}

bool MakePsdGeometry(const TPsdSettings& settings, double rate, TPsdGeometry& g, std::string* why) {
  g = {};
  if (!CheckPsdSettings(settings, why)) return false;
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    if (why) *why = "the record has no sampling rate";
    return false;
  }
  const double samples = settings.SegmentSeconds * rate;
  if (samples < 4.0 * kMinimumWindow || samples > 4e12) {
    if (why) {
      *why = "a segment of " + std::to_string(settings.SegmentSeconds) +
             " s holds too few samples at this rate (at least " +
             std::to_string(4 * kMinimumWindow) + " are needed)";
    }
    return false;
  }
  g.Rate = rate;
  g.SegmentSamples = std::llround(samples);
  int64_t nfft = kMinimumWindow;
  while (nfft * 2 <= g.SegmentSamples / 4 && nfft < (int64_t{1} << 30)) nfft *= 2;
  g.Nfft = static_cast<int32_t>(nfft);
  g.WindowStep = g.Nfft / 4;
  g.Windows = static_cast<int32_t>((g.SegmentSamples - g.Nfft) / g.WindowStep + 1);

  const double shortest = 2.0 / rate;
  const double longest = g.Nfft / rate;
  const double half_octave = std::sqrt(2.0);
  const double lines_per_hz = g.Nfft / rate;
  for (int j = 0;; ++j) {
    const double t = shortest * std::exp2(j * kGridStep);
    if (t > longest * (1.0 + 1e-9)) break;
    g.Periods.push_back(t);
    const double first = std::ceil(lines_per_hz / (t * half_octave) - 1e-9);
    const double last = std::floor(lines_per_hz * half_octave / t + 1e-9);
    g.LineFirst.push_back(static_cast<int32_t>(std::max(1.0, first)));
    g.LineLast.push_back(static_cast<int32_t>(std::min<double>(g.Nfft / 2, last)));
  }
  return true;
}

std::vector<double> AccelerationFactors(const TCombinedFilter& chain, double adc_coef,
                                        const TPsdGeometry& geometry) {
  std::vector<double> factors(static_cast<size_t>(geometry.Lines()), 0.0);
  for (int32_t k = 1; k < geometry.Lines(); ++k) {
    const double f = k * geometry.Rate / geometry.Nfft;
    const double h = ResponseModulus(EvaluateChain(chain, f)) * std::fabs(adc_coef);
    const double w = kTwoPi * f;
    const double factor = w * w / (h * h);
    if (std::isfinite(factor) && factor > 0.0) factors[static_cast<size_t>(k)] = factor;
  }
  return factors;
}

TPsdCalculator::TPsdCalculator(const TPsdGeometry& geometry, int64_t transforms)
    : geometry_(geometry),
      transform_(static_cast<size_t>(geometry.Nfft), transforms),
      taper_(CosineTaper(geometry.Nfft)),
      power_(static_cast<size_t>(geometry.Lines())),
      prefix_(static_cast<size_t>(geometry.Lines()) + 1) {
  double sum_w2 = 0.0;
  for (double w : taper_) sum_w2 += w * w;
  // One-sided density of the window average: |X|² / (rate · Σw²) per window, over the windows.
  scale_ = 1.0 / (geometry.Rate * sum_w2 * geometry.Windows);
}

void TPsdCalculator::Compute(const int32_t* samples, std::span<const double> factors,
                             std::vector<float>& full, std::vector<float>& grid) {
  const int32_t m = geometry_.Nfft;
  const int32_t lines = geometry_.Lines();
  std::fill(power_.begin(), power_.end(), 0.0);
  std::span<double> in = transform_.Input();
  const double centre = (m - 1) / 2.0;
  const double stt = static_cast<double>(m) * (static_cast<double>(m) * m - 1.0) / 12.0;
  const double* taper = taper_.data();
  for (int32_t w = 0; w < geometry_.Windows; ++w) {
    const int32_t* x = samples + static_cast<int64_t>(w) * geometry_.WindowStep;
    // Least-squares line through the window, about its centre so that the slope's sum does not
    // cancel a large offset.
    double sy = 0.0, sty = 0.0;
    for (int32_t i = 0; i < m; ++i) {
      const double y = x[i];
      sy += y;
      sty += (i - centre) * y;
    }
    const double a = sy / m;
    const double b = sty / stt;
    double* out = in.data();
    for (int32_t i = 0; i < m; ++i) out[i] = taper[i] * (x[i] - a - b * (i - centre));
    const std::span<const double> spectrum = transform_.Execute();
    const double* s = spectrum.data();
    double* p = power_.data();
    for (int32_t k = 0; k < lines; ++k) p[k] += s[2 * k] * s[2 * k] + s[2 * k + 1] * s[2 * k + 1];
  }

  full.resize(static_cast<size_t>(lines));
  // Prefix sums of the acceleration density and of the usable lines, for the octave averages.
  prefix_[0] = 0.0;
  std::vector<int32_t>& usable = usable_;
  usable.assign(static_cast<size_t>(lines) + 1, 0);
  for (int32_t k = 0; k < lines; ++k) {
    // Every line but 0 and (for an even length) the Nyquist line stands for its mirror image.
    const double twice = (k == 0 || 2 * k == m) ? 1.0 : 2.0;
    const double density = power_[static_cast<size_t>(k)] * scale_ * twice *
                           (static_cast<size_t>(k) < factors.size() ? factors[k] : 0.0);
    const bool ok = density > 0.0 && std::isfinite(density);
    full[static_cast<size_t>(k)] =
        ok ? static_cast<float>(10.0 * std::log10(density)) : PsdMissing();
    prefix_[static_cast<size_t>(k) + 1] = prefix_[static_cast<size_t>(k)] + (ok ? density : 0.0);
    usable[static_cast<size_t>(k) + 1] = usable[static_cast<size_t>(k)] + (ok ? 1 : 0);
  }
  const size_t points = geometry_.Periods.size();
  grid.resize(points);
  for (size_t j = 0; j < points; ++j) {
    const int32_t lo = geometry_.LineFirst[j];
    const int32_t hi = geometry_.LineLast[j];
    const int32_t n =
        lo <= hi ? usable[static_cast<size_t>(hi) + 1] - usable[static_cast<size_t>(lo)] : 0;
    if (n <= 0) {
      grid[j] = PsdMissing();
      continue;
    }
    const double mean =
        (prefix_[static_cast<size_t>(hi) + 1] - prefix_[static_cast<size_t>(lo)]) / n;
    grid[j] = mean > 0.0 ? static_cast<float>(10.0 * std::log10(mean)) : PsdMissing();
  }
}

}  // namespace tarvik

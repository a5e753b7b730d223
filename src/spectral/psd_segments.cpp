#include "spectral/psd_segments.h"

#include <algorithm>
#include <bit>
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

// 10·log10(v) for a positive finite v, to about 1e-8 dB, without a library call, so that the
// loop over every line of a segment stays cheap: v = m·2^e with m in [√½, √2), and
// ln m = 2·atanh((m − 1)/(m + 1)) by its series, whose terms beyond t⁹ stay below 1e-9.
inline double Decibels(double v) {
  const uint64_t bits = std::bit_cast<uint64_t>(v);
  int64_t e = static_cast<int64_t>((bits >> 52) & 0x7FF) - 1023;
  double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFULL) | 0x3FF0000000000000ULL);
  if (m > std::numbers::sqrt2) {
    m *= 0.5;
    ++e;
  }
  const double t = (m - 1.0) / (m + 1.0);
  const double t2 = t * t;
  const double ln_m =
      2.0 * t * (1.0 + t2 * (1.0 / 3 + t2 * (1.0 / 5 + t2 * (1.0 / 7 + t2 * (1.0 / 9)))));
  constexpr double kDbPerLn = 10.0 / std::numbers::ln10;
  constexpr double kDbPerOctave = 10.0 * 0.30102999566398119521;
  return kDbPerLn * ln_m + kDbPerOctave * static_cast<double>(e);
}

// The loops over every sample and line, built also for processors with AVX2 (chosen when
// the program starts) where the compiler can make such copies: they cost as much as the
// transforms otherwise.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__)
#define TARVIK_PSD_HOT __attribute__((target_clones("avx2", "default")))
#else
#define TARVIK_PSD_HOT
#endif

// Σ y and Σ i·y over n samples, exactly.
TARVIK_PSD_HOT void BlockSums(const int32_t* x, int32_t n, int64_t& sum_y, int64_t& sum_iy) {
  int64_t sy = 0, siy = 0;
  for (int32_t i = 0; i < n; ++i) {
    sy += x[i];
    siy += static_cast<int64_t>(i) * x[i];
  }
  sum_y = sy;
  sum_iy = siy;
}

// out = taper·(x − a − b·(i − centre)); the taper is 1 from edge to n − edge, where it is not
// read (the loop runs at the speed of memory).
TARVIK_PSD_HOT void TaperDetrended(double* __restrict out, const double* __restrict taper,
                                   const int32_t* __restrict x, int32_t n, int32_t edge, double a,
                                   double b, double centre) {
  const double a0 = a - b * centre;
  for (int32_t i = 0; i < edge; ++i) out[i] = taper[i] * (x[i] - a0 - b * i);
  for (int32_t i = edge; i < n - edge; ++i) out[i] = x[i] - a0 - b * i;
  for (int32_t i = n - edge; i < n; ++i) out[i] = taper[i] * (x[i] - a0 - b * i);
}

// p[k] += |X_k|² for lines given as real, imaginary pairs.
TARVIK_PSD_HOT void AddPower(double* __restrict p, const double* __restrict s, int32_t lines) {
  for (int32_t k = 0; k < lines; ++k) p[k] += s[2 * k] * s[2 * k] + s[2 * k + 1] * s[2 * k + 1];
}

}  // namespace

float PsdMissing() {
  return std::numeric_limits<float>::quiet_NaN();
}

bool CheckPsdSettings(const TPsdSettings& settings, TStatus* why) {
  if (!(settings.SegmentSeconds > 0.0) || !std::isfinite(settings.SegmentSeconds)) {
    if (why) *why = MakeStatus(TCode::kPsdSegmentNotPositive);
    return false;
  }
  if (!(settings.Overlap >= 0.0 && settings.Overlap < 1.0)) {
    if (why) *why = MakeStatus(TCode::kPsdOverlapOutOfRange);
    return false;
  }
  return true;
}

bool MakePsdGeometry(const TPsdSettings& settings, double rate, TPsdGeometry& g, TStatus* why) {
  g = {};
  if (!CheckPsdSettings(settings, why)) return false;
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    if (why) *why = MakeStatus(TCode::kPsdNoSamplingRate);
    return false;
  }
  const double samples = settings.SegmentSeconds * rate;
  if (samples < 4.0 * kMinimumWindow || samples > 4e12) {
    if (why) {
      *why = MakeStatus(TCode::kPsdSegmentTooShort, {std::to_string(settings.SegmentSeconds),
                                                     std::to_string(4 * kMinimumWindow)});
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
  while (taper_edge_ < geometry.Nfft / 2 && taper_[static_cast<size_t>(taper_edge_)] < 1.0) {
    ++taper_edge_;
  }
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
  // Sums of each quarter window (the window step) in exact integers: a window's least-squares
  // line then comes from its four quarters instead of another pass over its samples.
  const int32_t step = geometry_.WindowStep;
  const int32_t blocks = geometry_.Windows + 3;
  block_y_.resize(static_cast<size_t>(blocks));
  block_iy_.resize(static_cast<size_t>(blocks));
  for (int32_t q = 0; q < blocks; ++q) {
    BlockSums(samples + static_cast<int64_t>(q) * step, step, block_y_[static_cast<size_t>(q)],
              block_iy_[static_cast<size_t>(q)]);
  }
  for (int32_t w = 0; w < geometry_.Windows; ++w) {
    const int32_t* x = samples + static_cast<int64_t>(w) * step;
    // Least-squares line through the window, about its centre so that the slope's sum does not
    // cancel a large offset: Σ(i − c)·y = Σ i·y − c·Σ y, each exact before the subtraction.
    int64_t sy_exact = 0;
    double siy = 0.0;
    for (int32_t q = 0; q < 4; ++q) {
      const int64_t by = block_y_[static_cast<size_t>(w + q)];
      sy_exact += by;
      siy += static_cast<double>(block_iy_[static_cast<size_t>(w + q)] +
                                 static_cast<int64_t>(q) * step * by);
    }
    const double sy = static_cast<double>(sy_exact);
    const double sty = siy - centre * sy;
    const double a = sy / m;
    const double b = sty / stt;
    TaperDetrended(in.data(), taper, x, m, taper_edge_, a, b, centre);
    AddPower(power_.data(), transform_.Execute().data(), lines);
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
    // Subnormal densities (below −3070 dB) are not a level anyone measures: left out.
    const bool ok = density >= std::numeric_limits<double>::min() && std::isfinite(density);
    full[static_cast<size_t>(k)] = ok ? static_cast<float>(Decibels(density)) : PsdMissing();
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

// Band-pass filtering of one channel of 24 hours at 100 Hz (8.64 million samples) with the
// interference filter of the default settings (NoiseOrder 6: 3 sections), forward and
// backward. The reference in the same run is the same work done one section after another with
// the terms in formula order, as a direct reading of the passes would do it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/rounding.h"
#include "spectral/bandpass.h"

namespace {

constexpr size_t kDaySamples = 24 * 3600 * 100;

std::vector<int32_t> Day() {
  std::mt19937 rng(1);
  std::normal_distribution<double> noise(0.0, 20000.0);
  std::vector<int32_t> x(kDaySamples);
  for (int32_t& v : x) v = static_cast<int32_t>(std::lround(noise(rng)));
  return x;
}

tarvik::TBiquadCascade InterferenceFilter() {
  const double fs = 100.0;
  tarvik::TBiquadCascade c;
  tarvik::DesignBandPass(6 / 2, c, std::min(100.0, 0.99 * fs / 2), 0.1, fs / 2);
  return c;
}

void BM_FilterSamples(benchmark::State& state) {
  const std::vector<int32_t> x = Day();
  const tarvik::TBiquadCascade c = InterferenceFilter();
  std::vector<int32_t> out;
  std::vector<double> workspace;
  tarvik::FilterSamples(x, c, true, out, workspace);  // the buffers' pages, outside the timing
  for (auto _ : state) {
    tarvik::FilterSamples(x, c, true, out, workspace);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * x.size()));
}

void SectionPass(std::vector<double>& y, const tarvik::TBiquadSection& k, bool backward) {
  const auto N = static_cast<ptrdiff_t>(y.size());
  if (!backward) {
    double x1 = y[1], x2 = y[0];
    for (ptrdiff_t i = 2; i < N; ++i) {
      const double x = y[i];
      y[i] = k.B0 * x + k.B1 * x1 + k.B2 * x2 - k.A1 * y[i - 1] - k.A2 * y[i - 2];
      x2 = x1, x1 = x;
    }
  } else {
    double x1 = y[N - 2], x2 = y[N - 1];
    for (ptrdiff_t i = N - 3; i >= 0; --i) {
      const double x = y[i];
      y[i] = k.B0 * x + k.B1 * x1 + k.B2 * x2 - k.A1 * y[i + 1] - k.A2 * y[i + 2];
      x2 = x1, x1 = x;
    }
  }
}

void BM_SectionBySectionReference(benchmark::State& state) {
  const std::vector<int32_t> x = Day();
  const tarvik::TBiquadCascade c = InterferenceFilter();
  std::vector<int32_t> out(x.size() + 4);
  std::vector<double> y(x.size() + 4);
  for (auto _ : state) {
    y[0] = y[1] = y[x.size() + 2] = y[x.size() + 3] = 0.0;
    for (size_t i = 0; i < x.size(); ++i) y[i + 2] = x[i];
    for (int s = 0; s < c.Count; ++s) SectionPass(y, c.Sections[s], false);
    for (int s = 0; s < c.Count; ++s) SectionPass(y, c.Sections[s], true);
    for (size_t i = 0; i < x.size(); ++i) out[i] = tarvik::RoundToInt32Clamped(y[i + 2]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * x.size()));
}

}  // namespace

BENCHMARK(BM_FilterSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectionBySectionReference)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The spectrum of a 24-hour three-channel 100 Hz record already in memory (Bartlett estimate,
// 8192-sample segments, power spectrum, unit responses), beside a minimal Welch average of the
// same samples written with FFTW directly (a measured plan): window, real-to-complex transform,
// sum of |X|² per line. The minimal Welch is the practical limit of what the engine's segment
// loop can cost.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench_support.h"
#include "common/ui_host.h"
#include "spectral/spectrum_engine.h"
#include "spectral/spectrum_settings.h"
#include "spectral/transforms.h"

namespace {

constexpr double kRate = 100.0;
constexpr int kChannels = 3;
constexpr int kSegment = 8192;
constexpr size_t kSamples = 24 * 3600 * 100;

const tarvik::TData32& Day() {
  static const tarvik::TData32 kData = [] {
    tarvik::TData32 d(kChannels, std::vector<int32_t>(kSamples));
    std::mt19937 rng(1);
    std::uniform_int_distribution<int32_t> u(-30000, 30000);
    for (auto& row : d) {
      for (auto& x : row) x = u(rng);
    }
    return d;
  }();
  return kData;
}

// Argument 0: the first records of a run, whose transforms run FFTW's estimated plan (few
// enough iterations that the record count stays below what makes the engine measure a plan);
// 1: a record of a long run, after a month of such records, when the plan has been measured.
void BM_CalculateSpectra(benchmark::State& state) {
  if (state.range(0) == 1) tarvik::TRealTransform announce(kSegment, int64_t{1} << 20);
  const tarvik::TData32& data = Day();
  const tarvik::TFileRecord record = tarvik::bench::DayRecord(kChannels, kRate, kSamples);
  tarvik::TSpectrumSettings s;
  s.EstimationType = tarvik::TEstimationType::kBartlett;
  s.SpectrumType = tarvik::TSpectrumType::kPower;
  s.SilenceDur = kSegment / kRate;
  tarvik::NullUiHost host;
  tarvik::TMatrix2D mean, stdev;
  for (auto _ : state) {
    const tarvik::TSpectraStatus st = tarvik::CalculateSpectraOfSamples(
        record, data, s, record.SelectStart, record.SelectFinish, host, mean, stdev);
    if (!st.Computed() || st.Segments != static_cast<int>(kSamples / kSegment)) {
      state.SkipWithError("spectra not computed");
    }
    benchmark::DoNotOptimize(mean.data());
  }
}

// The reference's own loops, in blocks of eight so that the compiler vectorises them as it
// does the engine's.
void WeighReference(double* __restrict out, const double* __restrict w,
                    const int32_t* __restrict x) {
  for (int i = 0; i < kSegment; i += 8) {
    for (int j = i; j < i + 8; ++j) out[j] = w[j] * x[j];
  }
}

void AddPower(const double* __restrict x, double* __restrict sum) {
  // x holds kSegment / 2 + 1 interleaved complex values.
  int k = 0;
  for (; k + 8 <= kSegment / 2 + 1; k += 8) {
    for (int j = k; j < k + 8; ++j) sum[j] += x[2 * j] * x[2 * j] + x[2 * j + 1] * x[2 * j + 1];
  }
  for (; k <= kSegment / 2; ++k) sum[k] += x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
}

void BM_FftwWelch(benchmark::State& state) {
  const tarvik::TData32& data = Day();
  std::vector<double> window(kSegment);
  tarvik::FillWindow(window, tarvik::kWindowHann, 0.0);
  double* in = fftw_alloc_real(kSegment);
  fftw_complex* out = fftw_alloc_complex(kSegment / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(kSegment, in, out, FFTW_MEASURE);
  std::vector<std::vector<double>> sum(kChannels, std::vector<double>(kSegment / 2 + 1));
  for (auto _ : state) {
    for (int c = 0; c < kChannels; ++c) {
      std::fill(sum[c].begin(), sum[c].end(), 0.0);
      const int32_t* x = data[c].data();
      for (size_t v = 0; v + kSegment <= kSamples; v += kSegment) {
        WeighReference(in, window.data(), x + v);
        fftw_execute(plan);
        AddPower(&out[0][0], sum[c].data());
      }
    }
    benchmark::DoNotOptimize(sum.data());
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}

}  // namespace

// The estimated plan first: FFTW would otherwise plan from the wisdom the reference's measuring
// leaves behind.
BENCHMARK(BM_CalculateSpectra)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_FftwWelch)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CalculateSpectra)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();

// Transform of one spectrum segment: the real-input transform the spectrum calculation runs
// beside FFTW's real-to-complex transform of the same data written directly (a measured plan),
// the complex transform beside FFTW's split-array complex transform, and the transform of a
// length without a power of two beside the per-term sine/cosine loop.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "spectral/spectrum_settings.h"
#include "spectral/transforms.h"

namespace {

// A windowed noise segment, as the spectrum calculation hands it to the transform.
std::vector<double> Segment(size_t M) {
  std::mt19937 rng(42);
  std::normal_distribution<double> noise(0.0, 1000.0);
  std::vector<double> window(M);
  tarvik::FillWindow(window, tarvik::kWindowHann, 0.0);
  std::vector<double> x(M);
  for (size_t i = 0; i < M; ++i) x[i] = noise(rng) * window[i];
  return x;
}

// Second argument 1: the object is made for a long run of its length, which gets the measured
// plan; 0: a short run's plan, estimated (registered first, before any measured plan exists).
void BM_TarvikRealTransform(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  tarvik::TRealTransform transform(M, state.range(1) ? int64_t{1} << 40 : 0);
  const std::span<double> in = transform.Input();
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), in.begin());
    benchmark::DoNotOptimize(transform.Execute().data());
  }
}

// The whole spectrum in split arrays scaled by 1/M, as the complex transform gives it.
void BM_TarvikForwardReal(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  tarvik::TFftPlan plan(M);
  std::vector<double> re(M), im(M);
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), re.begin());
    plan.ForwardReal(re, im);
    benchmark::DoNotOptimize(re.data());
    benchmark::DoNotOptimize(im.data());
  }
}

void BM_FftwRealToComplex(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  double* in = fftw_alloc_real(M);
  fftw_complex* out = fftw_alloc_complex(M / 2 + 1);
  fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(M), in, out, FFTW_MEASURE);
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), in);
    fftw_execute(p);
    benchmark::DoNotOptimize(out);
  }
  fftw_destroy_plan(p);
  fftw_free(in);
  fftw_free(out);
}

void BM_TarvikComplex(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  tarvik::TFftPlan plan(M);
  std::vector<double> re(M), im(M);
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), re.begin());
    std::copy(x.rbegin(), x.rend(), im.begin());
    plan.Transform(re, im, true);
    benchmark::DoNotOptimize(re.data());
    benchmark::DoNotOptimize(im.data());
  }
}

void BM_FftwComplexSplit(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  double* re = fftw_alloc_real(M);
  double* im = fftw_alloc_real(M);
  double* ore = fftw_alloc_real(M);
  double* oim = fftw_alloc_real(M);
  fftw_iodim dim{static_cast<int>(M), 1, 1};
  fftw_plan p = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, re, im, ore, oim, FFTW_MEASURE);
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), re);
    std::copy(x.rbegin(), x.rend(), im);
    fftw_execute(p);
    benchmark::DoNotOptimize(ore);
    benchmark::DoNotOptimize(oim);
  }
  fftw_destroy_plan(p);
  fftw_free(re), fftw_free(im), fftw_free(ore), fftw_free(oim);
}

void BM_TarvikDft(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  tarvik::TDftPlan plan(M);
  std::vector<double> re(M), im(M);
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), re.begin());
    std::fill(im.begin(), im.end(), 0.0);
    plan.Transform(re, im, true);
    benchmark::DoNotOptimize(re.data());
  }
}

// The transform with the angle of every term computed afresh in extended precision: M² sine
// and cosine evaluations.
void BM_PerTermDft(benchmark::State& state) {
  const auto M = static_cast<size_t>(state.range(0));
  const std::vector<double> x = Segment(M);
  std::vector<double> re(M), im(M), sr(M), si(M);
  for (auto _ : state) {
    std::copy(x.begin(), x.end(), re.begin());
    std::fill(im.begin(), im.end(), 0.0);
    for (size_t k = 0; k < M; ++k) {
      long double ar = 0, ai = 0;
      for (size_t j = 0; j < M; ++j) {
        const long double theta = static_cast<long double>(k) * 2.0L *
                                  std::numbers::pi_v<long double> * static_cast<long double>(j) /
                                  static_cast<long double>(M);
        const long double c = std::cos(theta), s = std::sin(theta);
        ar += re[j] * c + im[j] * s;
        ai += -re[j] * s + im[j] * c;
      }
      sr[k] = static_cast<double>(ar), si[k] = static_cast<double>(ai);
    }
    for (size_t k = 0; k < M; ++k) re[k] = sr[k] / M, im[k] = si[k] / M;
    benchmark::DoNotOptimize(re.data());
  }
}

}  // namespace

BENCHMARK(BM_TarvikRealTransform)->ArgsProduct({{2048, 8192, 16384}, {0, 1}});
BENCHMARK(BM_TarvikForwardReal)->Arg(2048)->Arg(8192)->Arg(16384);
BENCHMARK(BM_FftwRealToComplex)->Arg(2048)->Arg(8192)->Arg(16384);
BENCHMARK(BM_TarvikComplex)->Arg(2048)->Arg(8192)->Arg(16384);
BENCHMARK(BM_FftwComplexSplit)->Arg(2048)->Arg(8192)->Arg(16384);
BENCHMARK(BM_TarvikDft)->Arg(2000);
BENCHMARK(BM_PerTermDft)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();

// Station-noise PSDs of a channel-week at 100 Hz (60.5 M samples in memory): every hour-long
// segment every half hour checked for gaps, fingerprinted, transformed in windows of 65536
// (detrend, taper, transform, power, response, dB, octave smoothing) and encoded as store days,
// beside the bare transforms the method needs done by FFTW in the same run (each window's
// samples converted into the plan's input, then executed): the floor. Goal: at most 1.3 times
// the floor. Then the statistics of a year of hourly PSDs (8,760 segments): in memory on the
// 100 Hz grid, and read from a store of 365 day files (at 1 Hz, to keep the disk small). Goal:
// under 0.5 s.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "spectral/psd_segments.h"
#include "spectral/psd_stats.h"
#include "spectral/psd_store.h"

namespace {

constexpr double kRate = 100.0;
constexpr int64_t kWeek = 7 * 86400 * 100;

const std::vector<int32_t>& Week() {
  static const std::vector<int32_t> kData = [] {
    std::vector<int32_t> d(static_cast<size_t>(kWeek));
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 800.0);
    double y = 0.0;
    for (int32_t& x : d) {
      y = 0.9 * y + noise(rng);
      x = static_cast<int32_t>(std::lround(y));
    }
    return d;
  }();
  return kData;
}

const tarvik::TPsdGeometry& Geometry() {
  static const tarvik::TPsdGeometry kG = [] {
    tarvik::TPsdGeometry geometry;
    tarvik::MakePsdGeometry({3600.0, 0.5}, kRate, geometry, nullptr);
    return geometry;
  }();
  return kG;
}

int64_t SegmentCount() {
  const tarvik::TPsdGeometry& g = Geometry();
  const int64_t step = g.SegmentSamples / 2;
  return (kWeek - g.SegmentSamples) / step + 1;
}

void BM_PsdWeek(benchmark::State& state) {
  const std::vector<int32_t>& week = Week();
  const tarvik::TPsdGeometry& g = Geometry();
  // A geophone-like chain would only change the factors; a unit chain keeps the bench small.
  const std::vector<double> factors = tarvik::AccelerationFactors({}, 419430.4, g);
  const int64_t segments = SegmentCount();
  for (auto _ : state) {
    tarvik::TPsdCalculator calc(g, segments * g.Windows);
    tarvik::TPsdDay day;
    day.Rate = kRate;
    day.SegmentSeconds = 3600.0;
    day.Overlap = 0.5;
    day.Nfft = g.Nfft;
    day.Periods = g.Periods;
    size_t bytes = 0;
    for (int64_t s = 0; s < segments; ++s) {
      const int32_t* x = week.data() + s * g.SegmentSamples / 2;
      tarvik::TPsdSegment seg;
      seg.Start = 1.7e9 + 1800.0 * static_cast<double>(s);
      seg.Fingerprint = tarvik::Fingerprint(x, static_cast<size_t>(g.SegmentSamples) * 4);
      calc.Compute(x, factors, seg.Full, seg.Grid);
      day.Segments.push_back(std::move(seg));
      if (day.Segments.size() == 47 || s + 1 == segments) {
        bytes += tarvik::EncodePsdDay(day).size();
        day.Segments.clear();
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["segments"] = static_cast<double>(segments);
  state.counters["transforms"] = static_cast<double>(segments * g.Windows);
}
BENCHMARK(BM_PsdWeek)->Unit(benchmark::kMillisecond)->Iterations(2);

// flags: FFTW_MEASURE for the fastest plan FFTW finds; the estimated plan that the product's
// transforms run for runs of this size is given beside it.
void PsdWeekFftw(benchmark::State& state, unsigned flags) {
  const std::vector<int32_t>& week = Week();
  const tarvik::TPsdGeometry& g = Geometry();
  const int n = g.Nfft;
  double* in = fftw_alloc_real(static_cast<size_t>(n));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, flags);
  const int64_t segments = SegmentCount();
  for (auto _ : state) {
    double sink = 0.0;
    for (int64_t s = 0; s < segments; ++s) {
      const int32_t* x = week.data() + s * g.SegmentSamples / 2;
      for (int32_t w = 0; w < g.Windows; ++w) {
        const int32_t* window = x + static_cast<int64_t>(w) * g.WindowStep;
        for (int i = 0; i < n; ++i) in[i] = window[i];
        fftw_execute(plan);
        sink += out[1][0];
      }
    }
    benchmark::DoNotOptimize(sink);
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}
void BM_PsdWeekFftwFloor(benchmark::State& state) {
  PsdWeekFftw(state, FFTW_MEASURE);
}
void BM_PsdWeekFftwEstimated(benchmark::State& state) {
  PsdWeekFftw(state, FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
}
BENCHMARK(BM_PsdWeekFftwFloor)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PsdWeekFftwEstimated)->Unit(benchmark::kMillisecond)->Iterations(2);

// A year of hourly segments with levels that wander from day to night.
std::vector<tarvik::TPsdSegment> Year(size_t points) {
  std::vector<tarvik::TPsdSegment> year(8760);
  std::mt19937 rng(5);
  std::normal_distribution<float> noise(0.0f, 3.0f);
  for (size_t s = 0; s < year.size(); ++s) {
    year[s].Start = 1.7e9 + 3600.0 * static_cast<double>(s);
    year[s].Grid.resize(points);
    const float daily = 10.0f * std::sin(2.0f * 3.14159f * static_cast<float>(s % 24) / 24.0f);
    for (size_t j = 0; j < points; ++j) {
      year[s].Grid[j] = -140.0f + daily + 0.1f * static_cast<float>(j) + noise(rng);
    }
  }
  return year;
}

void BM_PsdStatsYearInMemory(benchmark::State& state) {
  const tarvik::TPsdGeometry& g = Geometry();
  const std::vector<tarvik::TPsdSegment> year = Year(g.Periods.size());
  std::vector<const tarvik::TPsdSegment*> chosen;
  for (const auto& s : year) chosen.push_back(&s);
  const std::vector<double> percentiles = {5, 10, 50, 90, 95};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvik::ComputePsdStats(g.Periods, chosen, percentiles));
  }
  state.counters["periods"] = static_cast<double>(g.Periods.size());
}
BENCHMARK(BM_PsdStatsYearInMemory)->Unit(benchmark::kMillisecond);

void BM_PsdStatsYearFromStore(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path store = fs::temp_directory_path() / "tarvik_bench_psd_store";
  fs::remove_all(store);
  tarvik::TPsdGeometry g;
  tarvik::MakePsdGeometry({3600.0, 0.0}, 1.0, g, nullptr);
  std::vector<tarvik::TPsdSegment> year = Year(g.Periods.size());
  for (int d = 0; d < 365; ++d) {
    tarvik::TPsdDay day;
    day.Channel = "XX.BENCH..LHZ";
    day.Rate = 1.0;
    day.SegmentSeconds = 3600.0;
    day.Nfft = g.Nfft;
    day.Periods = g.Periods;
    for (int h = 0; h < 24; ++h) {
      tarvik::TPsdSegment seg = year[static_cast<size_t>(d * 24 + h)];
      seg.Start = 19723.0 * 86400.0 + (d * 24 + h) * 3600.0;
      seg.Full.assign(static_cast<size_t>(g.Lines()), -150.0f);
      day.Segments.push_back(std::move(seg));
    }
    tarvik::TStatus error;
    tarvik::WritePsdDay(store / tarvik::PsdDayFileName(19723 + d), day, error);
  }
  tarvik::TPsdSelection night;
  tarvik::ParseHours("22-05", night.Hours, nullptr);
  tarvik::TPsdZone zone;
  zone.Open("Europe/Moscow", nullptr);
  const std::vector<double> percentiles = {5, 10, 50, 90, 95};
  for (auto _ : state) {
    const tarvik::TPsdChannelData data = tarvik::LoadPsdChannel(store, std::nullopt, std::nullopt);
    std::vector<const tarvik::TPsdSegment*> all, chosen;
    for (const auto& s : data.Segments) {
      all.push_back(&s);
      if (tarvik::PsdSelected(night, zone, s.Start)) chosen.push_back(&s);
    }
    benchmark::DoNotOptimize(tarvik::ComputePsdStats(data.Header.Periods, all, percentiles));
    benchmark::DoNotOptimize(tarvik::ComputePsdStats(data.Header.Periods, chosen, percentiles));
    state.counters["segments"] = static_cast<double>(all.size());
  }
  fs::remove_all(store);
}
BENCHMARK(BM_PsdStatsYearFromStore)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Cost of correcting one channel's spectrum for its recording chain: the chain is evaluated at
// every line of the spectrum (8193 lines for a 16384-point transform).
//
// Reference in the same run: a hand-written loop over the same roots that forms numerator and
// denominator products and divides once per line. Report BM_Chain... / BM_Reference... ratios.

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "response/rsp_file.h"

namespace {

using tarvik::TComplex;

constexpr int kLines = 8193;
constexpr double kRate = 200.0;

// A 4-pole 3-zero velocity sensor (three zeros at the origin, a 1 s corner and two high poles).
tarvik::TFilterPack Sensor() {
  tarvik::TFilterPack pack;
  pack.Device.ZPAvailable = true;
  tarvik::TComplexFilter& zp = pack.ZP;
  zp.Kind = 'S';
  zp.NormType = 1;
  zp.NormValue = 1500.0;
  zp.NormFrequency = 1.0;
  zp.ZeroCount = 3;
  zp.PoleCount = 4;
  zp.Poles[0] = {-4.444, 4.444};
  zp.Poles[1] = {-4.444, -4.444};
  zp.Poles[2] = {-1.083, 0.0};
  zp.Poles[3] = {-314.0, 0.0};
  tarvik::NormalizeZP(zp);
  return pack;
}

double Frequency(int k) {
  return k * kRate / (2.0 * (kLines - 1));
}

void BM_ChainModulus(benchmark::State& state) {
  tarvik::TCombinedFilter chain;
  tarvik::AppendPack(Sensor(), chain);
  for (auto _ : state) {
    double sum = 0.0;
    for (int k = 0; k < kLines; ++k) {
      sum += tarvik::ResponseModulus(tarvik::EvaluateChain(chain, Frequency(k)));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ChainModulus);

void BM_ReferenceProductThenDivide(benchmark::State& state) {
  const tarvik::TComplexFilter zp = Sensor().ZP;
  for (auto _ : state) {
    double sum = 0.0;
    for (int k = 0; k < kLines; ++k) {
      const TComplex s(0.0, 2.0 * std::numbers::pi * Frequency(k));
      TComplex num(zp.NormFactor, 0.0);
      TComplex den(1.0, 0.0);
      for (int i = 0; i < zp.ZeroCount; ++i) num *= s - zp.Zeros[static_cast<size_t>(i)];
      for (int i = 0; i < zp.PoleCount; ++i) den *= s - zp.Poles[static_cast<size_t>(i)];
      sum += std::abs(num / den);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ReferenceProductThenDivide);

// Sensor and amplifier as the engine builds them for a channel: two .rsp files read, then
// evaluated at every line.
void BM_LoadAndEvaluateChannel(benchmark::State& state) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "tarvik-bench-response";
  std::filesystem::create_directories(dir);
  const std::string sensor = (dir / "sensor.rsp").string();
  std::ofstream(sensor, std::ios::binary)
      << "[DEVICE]\r\nZP available=True\r\n[ZP]\r\nNormalization type=1\r\n"
         "Normalization value=1500\r\nNumber of zeroes=3\r\nNumber of poles=4\r\n"
         "[ZEROES]\r\n[POLES]\r\n-4.444 4.444\r\n-4.444 -4.444\r\n-1.083 0\r\n-314 0\r\n";
  std::string amplifier;
  tarvik::WriteUnitResponseTemplate((dir / "amp").string(), "Z", kRate, &amplifier);
  for (auto _ : state) {
    tarvik::TCombinedFilter chain;
    if (!tarvik::LoadChannelChain("", sensor, amplifier, chain).Ok()) state.SkipWithError("load");
    double sum = 0.0;
    for (int k = 0; k < kLines; ++k) {
      sum += tarvik::ResponseModulus(tarvik::EvaluateChain(chain, Frequency(k)));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadAndEvaluateChannel);

// A 50-row FAP table, searched row by row at every line.
void BM_FapTable(benchmark::State& state) {
  tarvik::TFAPFilter table;
  for (int i = 0; i < 50; ++i) {
    const double f = 0.01 * std::pow(10.0, i * 5.0 / 49.0);
    table.push_back({f, 1.0 + i, -0.01 * i});
  }
  for (auto _ : state) {
    double sum = 0.0;
    for (int k = 0; k < kLines; ++k) {
      sum += tarvik::ResponseModulus(tarvik::EvaluateFAP(table, Frequency(k)));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_FapTable);

}  // namespace

BENCHMARK_MAIN();

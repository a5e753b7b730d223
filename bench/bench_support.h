// Pieces shared by the benchmark programs that pack a synthetic day of miniSEED with libmseed
// and report our rates against a reference measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "records/record_model.h"

namespace tarvik::bench {

// A day-long record of `channels` selected channels (E, N, Z, ...) at rate Hz already in
// memory: unit ADC coefficients, a level above every sample (so every sample is tested).
inline TFileRecord DayRecord(int channels, double rate, int64_t samples) {
  TFileRecord r;
  r.Station = "BENCH";
  r.SampRate = rate;
  r.Start = EncodeDateTime(2024, 1, 1);
  r.SampleCount = static_cast<int32_t>(samples);
  r.Channels.resize(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    r.Channels[c].Selected = true;
    r.Channels[c].Level = 1000000;
    r.Channels[c].ADCCoef = 1.0;
    r.Channels[c].Axis = static_cast<Component>(c);
  }
  r.SelectStart = r.Start;
  r.SelectFinish = r.Start + 1.0;
  return r;
}

// Microtremor-like counts at rate Hz: low-pass filtered noise whose level swings between a quiet
// night and a noisy day over the samples (so that every Steim-2 word layout occurs), plus a
// slow swell.
inline std::vector<int32_t> NoiseSignal(unsigned seed, int64_t samples, double rate) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> white(0.0, 1.0);
  std::vector<int32_t> out(static_cast<size_t>(samples));
  double y = 0.0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / static_cast<double>(out.size());
    const double level = 5.0 + 395.0 * (0.5 - 0.5 * std::cos(2.0 * M_PI * t));
    y = 0.8 * y + level * white(rng);
    const double swell = 3000.0 * std::sin(2.0 * M_PI * 0.15 * static_cast<double>(i) / rate);
    out[i] = static_cast<int32_t>(std::lround(y + swell));
  }
  return out;
}

// libmseed's record handler: appends each packed record to the FILE* it is given.
inline void WriteRecord(char* record, int length, void* file) {
  std::fwrite(record, 1, static_cast<size_t>(length), static_cast<std::FILE*>(file));
}

// Prints the console table and keeps each benchmark's rate (items per second) for the ratio
// lines; with repetitions, the median stands for the benchmark.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) Rates[run.run_name.str()] = it->second.value;
    }
  }
  std::map<std::string, double> Rates;
};

}  // namespace tarvik::bench

#pragma once

// Records and samples for the preview suites: a record header of a chosen shape, and the
// designed record of quiet noise with two bursts at known places.

#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "records/record_model.h"
#include "viewers/preview_model.h"

namespace tarvik::testing {

inline constexpr double kPreviewRate = 100.0;
inline const TDateTime kPreviewStart = EncodeDateTime(2024, 5, 14, 10, 30, 0);

// A record of channels channels and n samples at 100 Hz, every channel selected, the span the
// whole record, the level not set.
inline TFileRecord PreviewRecord(int channels, int64_t n) {
  TFileRecord r;
  r.File = "designed";
  r.Station = "DSG";
  r.Start = kPreviewStart;
  r.SampRate = kPreviewRate;
  r.SampleCount = static_cast<int32_t>(n);
  r.Finish = r.Start + SpanOfSamples(static_cast<double>(n), kPreviewRate);
  r.SelectStart = r.Start;
  r.SelectFinish = r.Finish;
  r.Channels.resize(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    r.Channels[c].Selected = true;
    r.Channels[c].Level = 2147483647;
    r.Channels[c].Channel = std::string("HH") + "ENZ"[c % 3];
  }
  return r;
}

// SilenceDur 20 s and NoiseDur 5 s: segments of 2048 samples, a gap of 500 at 100 Hz.
inline TPreviewOptions PreviewOptions() {
  TPreviewOptions o;
  o.Settings.SilenceDur = 20.0;
  o.Settings.NoiseDur = 5.0;
  o.DefaultRate = kPreviewRate;
  return o;
}

// Half an hour of quiet noise within ±50 counts with one spike of 80 at kSpike, and bursts of
// ±5000 at kBurst1 (100 samples) and kBurst2 (50 samples), the same on every channel.
inline constexpr int64_t kDesignedLength = 180000;
inline constexpr int64_t kSpike = 20000;
inline constexpr int64_t kBurst1 = 50000;
inline constexpr int64_t kBurst2 = 120000;

inline std::vector<int32_t> DesignedChannel(uint32_t seed) {
  std::vector<int32_t> x(kDesignedLength);
  uint32_t state = seed;
  for (int32_t& v : x) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<int32_t>(state >> 16) % 101 - 50;
  }
  x[kSpike] = 80;
  for (int64_t i = 0; i < 100; ++i) x[kBurst1 + i] = i % 2 ? -5000 : 5000;
  for (int64_t i = 0; i < 50; ++i) x[kBurst2 + i] = i % 2 ? -5000 : 5000;
  return x;
}

inline TData32 DesignedSamples(int channels) {
  TData32 data;
  for (int c = 0; c < channels; ++c) data.push_back(DesignedChannel(17u + c));
  return data;
}

}  // namespace tarvik::testing

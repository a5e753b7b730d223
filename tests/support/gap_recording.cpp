#include "gap_recording.h"

#include <cmath>
#include <numbers>
#include <random>

#include "../records/record_test_files.h"

namespace tarvik::testing {

TData32 GapRecording::Demeaned() const {
  TData32 out = Raw;
  for (std::vector<int32_t>& x : out) {
    long double sum = 0;
    int64_t n = 0;
    for (int64_t i = 0; i < static_cast<int64_t>(x.size()); ++i) {
      if (i >= kGapFirst && i <= kGapLast) continue;
      sum += x[i];
      ++n;
    }
    const auto mean = static_cast<int64_t>(std::nearbyint(static_cast<double>(sum / n)));
    for (int64_t i = 0; i < static_cast<int64_t>(x.size()); ++i) {
      x[i] = i >= kGapFirst && i <= kGapLast ? 0 : static_cast<int32_t>(x[i] - mean);
    }
  }
  return out;
}

GapRecording WriteGapRecording(const std::string& path) {
  GapRecording rec;
  rec.Start = EncodeDateTime(2023, 8, 14, 2, 0, 0);
  std::mt19937 rng(2023);
  std::uniform_int_distribution<int32_t> noise(-2000, 2000);
  static const char* const kNames[] = {"HHZ", "HHN", "HHE"};
  rec.Raw.assign(3, std::vector<int32_t>(GapRecording::kCount, 0));
  std::vector<MsChannel> pieces;
  for (int piece = 0; piece < 2; ++piece) {
    const int64_t first = piece == 0 ? 0 : GapRecording::kGapLast + 1;
    const int64_t end = piece == 0 ? GapRecording::kGapFirst : GapRecording::kCount;
    for (int c = 0; c < 3; ++c) {
      MsChannel ch;
      ch.Station = "GAP";
      ch.Channel = kNames[c];
      ch.Rate = static_cast<int>(GapRecording::kRate);
      ch.Start = rec.Start + static_cast<double>(first) / GapRecording::kRate / kSecondsPerDay;
      for (int64_t i = first; i < end; ++i) {
        rec.Raw[c][i] = noise(rng);
        ch.Samples.push_back(rec.Raw[c][i]);
      }
      pieces.push_back(std::move(ch));
    }
  }
  WriteMiniSeed(path, pieces);
  return rec;
}

TRecordRanges QuietBySample(const TData32& samples, int32_t level, const TRecordRanges& gap,
                            int64_t n, int64_t g, int64_t first, int64_t last) {
  const auto disturbed = [&](int64_t j) {
    for (const auto& [a, b] : gap) {
      if (j >= a && j <= b) return true;
    }
    for (const std::vector<int32_t>& x : samples) {
      const int64_t v = x[j];
      const int64_t moved = v >= 0 ? v - 1 : v + 1;
      if (std::llabs(moved) > level) return true;
    }
    return false;
  };
  TRecordRanges out;
  int64_t a = first;
  while (a < last) {
    int64_t j = a, b = a, mark = a - 1;
    bool hit = false;
    do {
      hit = disturbed(j);
      if (j - mark >= n && !hit) {
        b = j;
        mark = j;
      }
      ++j;
    } while (!hit && j <= last);
    if (b > a) out.emplace_back(static_cast<int32_t>(a), static_cast<int32_t>(b));
    a = j + g;
  }
  return out;
}

std::vector<std::vector<double>> WelchBySum(const TData32& samples, const TRecordRanges& intervals,
                                            std::span<const double> window, double rate) {
  const auto n = static_cast<int64_t>(window.size());
  const int64_t lines = n / 2 + 1;
  std::vector<double> cosine(static_cast<size_t>(n)), sine(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const double phase = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
    cosine[i] = std::cos(phase);
    sine[i] = std::sin(phase);
  }
  double sum_squares = 0.0;
  for (double w : window) sum_squares += w * w;
  std::vector<std::vector<double>> out(samples.size(), std::vector<double>(lines, 0.0));
  int64_t segments = 0;
  std::vector<double> weighted(static_cast<size_t>(n));
  for (const auto& [a, b] : intervals) {
    for (int64_t v = a; v + n - 1 <= b; v += n, ++segments) {
      for (size_t c = 0; c < samples.size(); ++c) {
        for (int64_t i = 0; i < n; ++i) weighted[i] = window[i] * samples[c][v + i];
        for (int64_t k = 0; k < lines; ++k) {
          double re = 0.0, im = 0.0;
          for (int64_t i = 0, phase = 0; i < n; ++i) {
            re += weighted[i] * cosine[phase];
            im -= weighted[i] * sine[phase];
            phase += k;
            if (phase >= n) phase -= n;
          }
          const double both_sides = k == 0 || 2 * k == n ? 1.0 : 2.0;
          out[c][k] += std::hypot(re, im) * both_sides / rate;
        }
      }
    }
  }
  for (std::vector<double>& row : out) {
    for (double& x : row)
      x = x / static_cast<double>(segments) * static_cast<double>(n) / sum_squares;
  }
  return out;
}

}  // namespace tarvik::testing

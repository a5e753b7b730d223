#pragma once

// What the charts of the H/V statistics through time and by direction show, read from the
// JSON files a run writes beside the ".hv" file ("STEM_time.json", "STEM_azimuths.json"): f0
// with its ±σf band over time (or over azimuth), and the mean H/V curves as a colour map over
// time (or azimuth) and frequency.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

inline constexpr int64_t kMaxHvSeriesBytes = int64_t{256} << 20;

struct THvsrSeriesChart {
  bool ByTime = true;  // else by azimuth
  std::string Station;
  std::string FirstStart;  // ISO 8601, the start of the first interval (by time)
  // The middle of each interval in hours from the first interval's start (by time), or degrees
  // (by azimuth).
  std::vector<double> X;
  // The length of one interval in hours (by time); 0 by azimuth.
  double Width = 0.0;
  // f0 of each X with f0 − σf and f0 + σf (Hz); NaN where there is none.
  std::vector<double> F0, F0Low, F0High;
  // The grid (Hz) and one mean curve per X on it (empty where there is none).
  std::vector<double> Frequency;
  std::vector<std::vector<double>> Mean;
  // The largest mean H/V of the map (the top of the colour scale).
  double MaxMean = 0.0;
};

// True for a path ending in "_time.json" or "_azimuths.json".
bool IsHvsrSeriesFile(std::string_view path);

// Parses the bytes of such a file. Fails (false, the reason in error) on bytes that are not
// JSON or lack what the chart needs: the list of intervals or azimuths, the map's frequencies
// (positive, increasing) and one curve per entry, empty or of the grid's length, of finite
// numbers.
bool ParseHvsrSeriesJson(std::string_view bytes, THvsrSeriesChart& out, std::string& error);

// Reads and parses the file at path (at most kMaxHvSeriesBytes); false with the reason, which
// names the file, in error.
bool ReadHvsrSeriesFile(const std::string& path, THvsrSeriesChart& out, std::string& error);

}  // namespace tarvik

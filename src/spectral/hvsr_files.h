#pragma once

// Readers of the files the H/V statistics write beside the ".hv" file: "STEM_windows.csv" (every
// window's curve and fate), "STEM_report.json" (the settings, the windows and the SESAME
// criteria), and the series by time or azimuth ("STEM_time.json", "STEM_azimuths.json"). The
// readers are strict: anything a writer here would not have written is refused with a status
// naming the file, and the line when the fault has one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "spectral/hv_export.h"
#include "spectral/hvsr.h"

namespace tarvik {

// The largest files read: far above what a day of windows on a fine grid makes, far below what
// would exhaust memory.
inline constexpr int64_t kMaxHvFileBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxHvWindowsBytes = int64_t{128} << 20;
inline constexpr int64_t kMaxHvReportBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxHvSeriesBytes = int64_t{256} << 20;

// One row of "_windows.csv".
struct THvWindowCurve {
  int Number = 0;  // from 1
  int64_t FirstSample = 0;
  double StartSeconds = 0.0;
  TWindowFate Fate = TWindowFate::kKept;
  double F0 = 0.0;             // 0 when the window has no peak
  std::vector<double> Values;  // on the file's grid; NaN where the field is empty
};

struct THvWindowsFile {
  std::vector<double> Grid;  // Hz, positive and increasing
  std::vector<THvWindowCurve> Windows;
};

// Parses "_windows.csv": the header "window,first_sample,start_s,fate,f0" and the grid
// frequencies, then one row per window with exactly as many fields. Fails (out empty, the status
// with the 1-based Line) on any other header, a grid that is not positive and increasing, a row
// of another length, a window number that is not a positive integer, a fate other than kept,
// rejected, no_peak and unusable, or a field that is not a finite number (f0 and the curve's
// fields may be empty).
TStatus ParseHvWindowsCsv(std::string_view bytes, THvWindowsFile& out);

// One SESAME criterion of the report.
struct THvCriterion {
  std::string Id;  // "reliable.1" .. "reliable.3", "clear.1" .. "clear.6"
  std::string Test;
  bool Evaluated = false;
  double Value = 0.0;
  double Threshold = 0.0;
  bool Pass = false;
};

// What is taken from "_report.json".
struct THvReport {
  double WindowSeconds = 0.0;
  int Total = 0, Kept = 0, Rejected = 0, NoPeak = 0, Unusable = 0;
  bool HasF0Average = false;
  double F0Average = 0.0, A0Average = 0.0;
  bool HasF0Windows = false;
  double F0Median = 0.0, MinusSigma = 0.0, PlusSigma = 0.0, SigmaF = 0.0;
  int F0WindowCount = 0;
  bool SesameEvaluated = false;
  int ReliablePassed = 0, ClearPassed = 0;
  std::vector<THvCriterion> Reliability;  // 3
  std::vector<THvCriterion> Clarity;      // 6
  bool Ok = false;
  std::string Verdict;
};

// Parses "_report.json". Fails (out reset; the status with the Line of the first byte that is
// not JSON, or naming the key at fault) on bytes that are not JSON, nesting deeper than a report
// has, or a key that is used and missing or of the wrong type: the window counts, f0 both ways
// (an object or null), the verdict, and the SESAME groups with three and six criteria, each with
// id, test, evaluated, value (a number, or null when not evaluated), threshold and pass.
TStatus ParseHvReport(std::string_view bytes, THvReport& out);

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

// Parses "_time.json" or "_azimuths.json". Fails (out empty) on bytes that are not JSON or lack
// what the chart needs: the list of intervals or azimuths, the map's frequencies (positive,
// increasing) and one curve per entry, empty or of the grid's length, of finite numbers.
TStatus ParseHvsrSeriesJson(std::string_view bytes, THvsrSeriesChart& out);

// True when bytes open more than max_depth JSON arrays or objects at once (strings skipped):
// such a document is refused before a parser builds it.
bool JsonNestsDeeperThan(std::string_view bytes, int max_depth);

// The bytes of path, at most max_bytes: kFileNotFound, kFileUnreadable or kFileTooLarge (File
// set) otherwise.
TStatus ReadBoundedFile(const std::string& path, int64_t max_bytes, std::vector<uint8_t>& bytes);

// The files read and parsed. A damaged file gives kFileDamaged(path, reason) with File and, when
// the reason has one, Line; a missing or unreadable one the status of ReadBoundedFile.
TStatus ReadHvFile(const std::string& path, THvFile& out);
TStatus ReadHvWindowsFile(const std::string& path, THvWindowsFile& out);
TStatus ReadHvReportFile(const std::string& path, THvReport& out);
// A series file: kFileNotFound, kFileTooLargeNoLimit, kFileUnreadable, or kFileSays(path,
// reason) for damaged contents.
TStatus ReadHvsrSeriesFile(const std::string& path, THvsrSeriesChart& out);

// The companions of a ".hv" file: its path without the extension + "_windows.csv" and
// + "_report.json".
std::string HvWindowsPath(const std::string& hv_path);
std::string HvReportPath(const std::string& hv_path);

// True for a path whose extension is ".hv" (any case).
bool IsHvFile(std::string_view path);
// True for a path ending in "_time.json" or "_azimuths.json".
bool IsHvsrSeriesFile(std::string_view path);

}  // namespace tarvik

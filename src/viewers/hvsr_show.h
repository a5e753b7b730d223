#pragma once

// What the spectrum viewer shows for a record's per-window H/V statistics: the ".hv" file (the
// mean curve, its ±σ curves and f0) together with the two files written beside it,
// "STEM_windows.csv" (every window's curve and fate) and "STEM_report.json" (the settings, the
// windows and the SESAME criteria). The companions are read strictly; when one is missing or
// damaged the chart still shows what the ".hv" file holds and the message says what is left out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ui_host.h"
#include "spectral/hvsr.h"
#include "viewers/spectrum_chart.h"

namespace tarvik {

// The largest files the viewer reads: far above what a day of windows on a fine grid makes,
// far below what would exhaust memory.
inline constexpr int64_t kMaxHvFileBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxHvWindowsBytes = int64_t{128} << 20;
inline constexpr int64_t kMaxHvReportBytes = int64_t{64} << 20;

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
// frequencies, then one row per window with exactly as many fields. Fails (false, out empty,
// error "строка N: ...") on any other header, a grid that is not positive and increasing, a row
// of another length, a window number that is not a positive integer, a fate other than kept,
// rejected, no_peak and unusable, or a field that is not a finite number (f0 and the curve's
// fields may be empty).
bool ParseHvWindowsCsv(std::string_view bytes, THvWindowsFile& out, std::string& error);

// One SESAME criterion of the report.
struct THvCriterion {
  std::string Id;  // "reliable.1" .. "reliable.3", "clear.1" .. "clear.6"
  std::string Test;
  bool Evaluated = false;
  double Value = 0.0;
  double Threshold = 0.0;
  bool Pass = false;
};

// What the viewer takes from "_report.json".
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

// Parses "_report.json". Fails (false, out reset, error naming the line of bytes that are not
// JSON, or the key at fault) on bytes that are not JSON, nesting deeper than a report has, or a
// key the viewer uses that is missing or of the wrong type: the window counts, f0 both ways (an
// object or null), the verdict, and the SESAME groups with three and six criteria, each with id,
// test, evaluated, value (a number, or null when not evaluated), threshold and pass.
bool ParseHvReport(std::string_view bytes, THvReport& out, std::string& error);

// The companions of a ".hv" file: its path without the extension + "_windows.csv" and
// + "_report.json".
std::string HvWindowsPath(const std::string& hv_path);
std::string HvReportPath(const std::string& hv_path);

// True for a path whose extension is ".hv" (any case).
bool IsHvFile(std::string_view path);

enum class THvsrShown {
  kNothing,  // the ".hv" file is missing or damaged: the chart is empty
  kPartial,  // a companion is missing, damaged or of another analysis: left out, see the message
  kWhole,
};

// The chart of an H/V analysis, log frequency axis and linear ratio axis: each window's curve
// thin, translucent and behind the rest (kept ones grey and over the others; rejected and
// no-peak ones tinted and titled so; unusable ones have no curve), the mean curve with its ±σ
// curves, and the f0 ± σf band of the windows' peak frequencies (from the report; without it, the
// ".hv" file's lognormal f0 ÷ and × exp σ). The side panel lists each SESAME criterion with its
// tested value, threshold and outcome, the verdict and the window counts. Prev/Next and the choice
// list are off. Problems with the files are reported through host in one message and kept among the
// panel's notes.
THvsrShown ShowHvsrResult(TSpectrumView& view, const std::string& hv_path, UiHost& host);

}  // namespace tarvik

#pragma once

// The files of a per-window H/V analysis: the ".hv" text file (the layout other H/V tools read:
// "#" header lines, then frequency, average, min and max per line), a CSV of every window's
// curve and a JSON report; and the reader of the ".hv" layout.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/record_model.h"
#include "spectral/hvsr.h"
#include "spectral/result_files.h"

namespace tarvik {

// Where a record's analysis goes: a folder "HVSR" beside the H/V ratio folder, files named
// after the record's amplitude-spectrum file without its "prim_" and ".dat" (STATION_yymmdd-
// hhnnss): ".hv", "_windows.csv" and "_report.json".
struct THvsrPaths {
  std::string Folder;
  std::string Hv;
  std::string Windows;
  std::string Report;
};
THvsrPaths HvsrFilePaths(const TResultFolders& folders, const TFileRecord& record);

// The ".hv" text: header lines "# Number of windows = K" (windows of the mean curve),
// "# f0 from average\tF0", "# Number of windows for f0 = N", "# f0 from windows\tF0\tLOW\tHIGH"
// (lognormal median divided and multiplied by exp σ_ln), "# Peak amplitude\tA0", then one line
// per grid point: frequency, mean curve, mean ÷ exp σ_ln, mean × exp σ_ln. Values that do not
// exist (no peak) are written as 0. LF line ends become CR LF.
std::string HvFileText(const THvsrResult& result);
// One line per window: its number (from 1), first sample, start in seconds from the record's
// start, fate, peak frequency (empty when none) and its curve (empty fields when unusable);
// the header names the grid frequencies.
std::string WindowsCsvText(const THvsrResult& result, double rate);
// The report: the record, the settings, window counts and each window's fate, f0 and A0 of the
// mean curve, f0 from the windows, each SESAME criterion, the verdict and the mean curve.
std::string ReportJsonText(const THvsrResult& result, const TFileRecord& record);

// Writes the three files, replacing all three earlier ones together; false with the reason,
// every earlier file as it was, when one could not be written.
bool WriteHvsrFiles(const THvsrPaths& paths, const THvsrResult& result, const TFileRecord& record,
                    std::string& message);
// The same with more files (path, bytes) replaced together with them, before them; the reason
// as a status.
bool WriteHvsrFiles(const THvsrPaths& paths, const THvsrResult& result, const TFileRecord& record,
                    const std::vector<std::pair<std::string, std::string>>& more, TStatus& error);

// What a ".hv" file holds.
struct THvFile {
  int Windows = 0;
  double F0Average = 0.0;
  int WindowsForF0 = 0;
  double F0Windows = 0.0, F0WindowsLow = 0.0, F0WindowsHigh = 0.0;
  double PeakAmplitude = 0.0;
  std::vector<double> Frequency, Average, Min, Max;
};

// Parses the bytes of a ".hv" file: "#" lines carry the header values (TAB, space or "="
// separated; unknown ones are skipped), every other non-blank line four numbers. Fails (false,
// the 1-based line and the cause in error) on a line that is not four finite numbers, a header
// value that is not a number, or neither a known header line nor a data line (a file of an
// analysis without a curve has only its header).
bool ParseHvFile(std::string_view bytes, THvFile& out, std::string* error = nullptr);

}  // namespace tarvik

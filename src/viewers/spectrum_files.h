#pragma once

// The viewer's reading of result files. Unlike the lenient readers the H/V calculation uses, a
// file the viewer is to draw or average must be whole: one header, at least one row, every row
// as many numbers as the header has columns. A damaged file is refused with the file and the
// line at fault, so that nothing half-read is drawn or written.

#include <string>
#include <string_view>
#include <vector>

#include "common/ui_host.h"
#include "spectral/result_files.h"

namespace tarvik {

// Parses the bytes of a result file: a header ("Freq" and one name per column, separated by
// TAB, or by blanks when the header has no TAB), then rows of a frequency and value/spread
// pairs, numbers separated by TAB or blanks. Values may be "INF", "-INF" or "NAN" as the
// writers put them; frequencies must be finite and never decrease. Blank lines are skipped.
// Fails (false, table empty, error "строка N: ...") when there is no row, a row has another
// number of fields than the first, a field is not a number, the header's column count differs
// from the rows', or there is no pair or more than kMaxResultPairs.
bool ParseViewerTable(std::string_view bytes, TResultTable& table, std::string& error);
// The same with the fault as a status: kAtLine around the reason (kFieldCountCut,
// kMoreFieldsThanFirstRow, kFrequencyDecreases, ...), kNotANumberField or kNoDataRows; Line set
// when the fault has one.
TStatus ParseViewerTable(std::string_view bytes, TResultTable& table);

// What a file is read as (the status text shown while it loads).
enum class TViewerFile { kSpectrum, kRatio, kThreeComponent };

// Reads and parses the file at path. A missing file shows "Файл PATH не найден", a damaged one
// "Файл PATH поврежден: строка N: ..."; both give an empty table and false. A ratio or
// three-component file must have at least three pairs.
bool LoadViewerTable(const std::string& path, TViewerFile kind, UiHost& host, TResultTable& table);

// What a result file holds.
enum class TResultKind {
  kSpectrum,   // a spectrum whose name does not tell amplitude from power (an average, a copy)
  kAmplitude,  // amplitude spectra: a record's "prim_" file
  kPower,      // power spectra: a record's "power_" file
  kHVRatio,    // H/V ratios: the columns E/Z, N/Z, H/Z
  kRelative,   // relative spectra: the columns E1/E2, N1/N2, Z1/Z2
};

// The kind of a result file named path whose column titles are names (value and spread names
// alternating, as the readers give them): ratios by their value columns, otherwise a spectrum
// whose file name tells amplitude ("prim_…") or power ("power_…"), without regard to case.
TResultKind ResultKindOf(std::string_view path, const std::vector<std::string>& names);

bool IsRatio(TResultKind kind);
// A spectrum of the given kind is power spectra: kPower, or kSpectrum when the caller says so.
bool IsPower(TResultKind kind, bool said_power);

// Whether files of two kinds can share a chart or an average: the same kind, or a spectrum of
// untold kind beside amplitude or power spectra.
bool KindsAgree(TResultKind a, TResultKind b);

// The name of kind as a status: kKindAmplitude, kKindPower, kKindSpectrum, kKindHvRatio,
// kKindRelative.
TStatus ResultKindName(TResultKind kind);

// The first two files (of paths, with their kinds) that cannot share a chart or an average, as
// the message the user is shown (kFilesOfDifferentKinds: each file with its kind); Ok when all
// agree.
TStatus KindConflict(const std::vector<std::string>& paths, const std::vector<TResultKind>& kinds);

}  // namespace tarvik

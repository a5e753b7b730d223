#pragma once

// Spectrum and ratio result files: the result folder tree, the file names of a record's
// results, the writers of spectrum, three-component and ratio files, their readers, and the
// alignment of several spectra to one frequency grid.
//
// Every file is Windows-1251 text with CR LF line ends: one header line, then one line per
// frequency, fields separated by TAB, numbers with "." whatever the process locale.

#include <string>
#include <string_view>
#include <vector>

#include "common/ui_host.h"
#include "records/record_model.h"

namespace tarvik {

// Rows of doubles: one row per channel or component.
using TMatrix2D = std::vector<std::vector<double>>;

// The result folders derived from a project's results folder (full paths, native separators).
// None is created here: a writer creates its file's folder when it writes the file.
struct TResultFolders {
  std::string Results;
  std::string ZipData;
  std::string SpectraIdent;
  std::string SpectraPrimary;
  std::string SpectraSinchronous;
  std::string SpectraRelative;
  std::string SpectraCombinations;
  std::string SpectraNakamura;
  std::string EventsPrimary;
  std::string EventsSinchronous;
  std::string EventsRelative;
  std::string EventsCombinations;
  std::string EventsNakamura;
};

// The folders under results_folder ("\" in a stored path counts as a separator); an empty
// results_folder means program_folder (the folder of the program's executable).
TResultFolders DeriveResultFolders(std::string_view results_folder,
                                   std::string_view program_folder = {});

// The record's station made safe as part of a file name: separators, characters that Windows
// refuses in names and control characters become "_", so a station name read from a recorder
// file can never lead a result outside its folder.
std::string StationForFileName(std::string_view station);

// "prim_STATION_yymmdd-hhnnss.dat" (or "power_..." when power) in the Primary folder of the
// record's kind (Events when IsEvent), the time stamp being the record's SelectStart.
std::string SpectrumFilePath(const TResultFolders& folders, const TFileRecord& record, bool power);
// "nak_" + the name of the record's amplitude-spectrum file, in the Spectra Nakamura folder (for
// event records too).
std::string RatioFilePath(const TResultFolders& folders, const TFileRecord& record);

// Writes text to path (UTF-8), creating its folder first. The text goes to a temporary file
// that replaces path only when complete, so a failure leaves the earlier file as it was; the
// reason, in the platform's words, goes to message.
bool WriteFileText(const std::string& path, std::string_view text, std::string& message);

// A value as the result files write it: four significant digits, fixed-point when the
// magnitude is at least 0.00001 and below 10000, otherwise mantissa, "E" and an exponent signed
// only when negative ("1.5E-7", "2.5E4"); "0" for zero, "INF", "-INF", "NAN".
std::string FormatResultValue(double value);
// A frequency as written: fixed-point, five decimals.
std::string FormatResultFrequency(double value);

enum class TWriteOutcome {
  kWritten,
  kNothingToWrite,  // no rows (no quiet interval, no spectrum file): no file is made
  kStopped,         // the stop flag was set while the text was formed: no file is made
  kFailed,          // the input rows do not fit together, or the file could not be written
};

struct TWriteStatus {
  TWriteOutcome Outcome = TWriteOutcome::kWritten;
  TStatus Status;  // why nothing was written (kOk when written or stopped)

  explicit operator bool() const { return Outcome == TWriteOutcome::kWritten; }
};

// The record's spectrum file (amplitude or power: the same layout). Columns: "Freq", then the
// first selected E, N and Z channels (an absent one as "E_Amp E_StDev" with zeros), then every
// other selected channel in channel order, each as a value and a StDev column. A selected
// channel counts when Mean and StDev hold its row. Line i is at frequency
// i·SampRate/transform_length; transform_length 0 means 2·(lines − 1), which is right for every
// even transform length. Writes nothing when no selected channel has a row (kNothingToWrite),
// when the rows differ in length (kFailed) or when stopped; an I/O failure is shown to the user
// and gives kFailed. The file's folder is created when missing.
TWriteStatus WriteSpectrum(const std::string& path, const TFileRecord& record,
                           const TMatrix2D& mean, const TMatrix2D& stdev, UiHost& host,
                           int64_t transform_length = 0);

// The viewer's three-component spectrum (rows E, N, Z) at the given frequencies.
TWriteStatus WriteThreeComponent(const std::string& path, const std::vector<double>& frequencies,
                                 const TMatrix2D& mean, const TMatrix2D& stdev, UiHost& host);

// A ratio file: rows E/Z, N/Z, H/Z and their spreads. Line i is at i·samp_rate/(2·(lines − 1)),
// or at frequencies[i] when frequencies holds one value per line (the frequency column of the
// spectrum file the ratios came from).
TWriteStatus WriteRatios(const std::string& path, const TMatrix2D& ratios, const TMatrix2D& stdev,
                         UiHost& host, double samp_rate,
                         const std::vector<double>* frequencies = nullptr);

// What a result file holds: its frequency column, one row per value column and one per spread
// column (each as long as the frequency column), and the header's column names.
struct TResultTable {
  std::vector<double> Frequencies;
  TMatrix2D Values;
  TMatrix2D StDev;
  std::vector<std::string> Names;  // UTF-8
};

// More value/spread pairs than any record can write; columns beyond are ignored.
inline constexpr int kMaxResultPairs = 64;

// Parses the bytes of a result file. With pairs > 0 exactly that many pairs are read from every
// line (three-component and ratio files); with pairs 0 the header decides: its fields after the
// first, split at TAB and space, are the names, and (fields − 1) div 2 pairs are read, but no
// more than the longest line holds nor kMaxResultPairs. Each line is read on its own: numbers
// it lacks are 0, the rest of it is ignored, blank lines are skipped. Fails (false, with the
// 1-based line in error) when a field is not a number; the table is then empty.
bool ParseResultTable(std::string_view bytes, int pairs, TResultTable& table,
                      std::string* error = nullptr);
// The same, the fault as kResultFieldNotNumber with its Line.
TStatus ParseResultText(std::string_view bytes, int pairs, TResultTable& table);

// The three-component spectrum file (rows E, N, Z). A missing file shows "Файл PATH не найден",
// a damaged one says so; both give empty outputs and false.
bool ReadThreeComponent(const std::string& path, UiHost& host, TMatrix2D& amplitudes,
                        TMatrix2D& stdev, std::vector<double>& frequencies);

// A spectrum file of any number of columns, with the header's column names.
bool ReadSpectrum(const std::string& path, UiHost& host, TMatrix2D& values, TMatrix2D& stdev,
                  std::vector<double>& frequencies, std::vector<std::string>& names);

// A relative-spectrum file (three pairs); a missing file gives false without a message.
bool ReadRelative(const std::string& path, UiHost& host, TMatrix2D& values, TMatrix2D& stdev,
                  std::vector<double>& frequencies);

// Brings spectra about to be averaged onto one grid: the step is the smallest of
// (last frequency)/(lines − 1), each spectrum is cut after its first line above the lowest top
// frequency, and its rows are resampled linearly onto f[0] + i·step. Spectra of fewer than two
// lines are left as they are. Returns the step; 0 (nothing resampled) when no usable step
// results or the grid would be absurdly long.
double AlignFrequencies(std::vector<std::vector<double>>& frequencies,
                        std::vector<TMatrix2D>& values, std::vector<TMatrix2D>& stdev);

}  // namespace tarvik

#pragma once

// What the spectrum viewer shows for each of its operations: one spectrum file with its spread,
// several files in one chart, a ratio file, the average or median of a set of files (also
// written to a file), and the frequency responses of a record's channels. Each operation
// rebuilds the view's series from scratch.

#include <string>
#include <vector>

#include "common/ui_host.h"
#include "records/record_model.h"
#include "response/response_model.h"
#include "spectral/result_files.h"
#include "viewers/spectrum_chart.h"

namespace tarvik {

// One spectrum file: a line per value column and the spread as dots at value ± spread, from the
// second frequency line on. With LogY a value that is not above 0 is left out with its upper
// dot; a lower dot is drawn only when above 0. Sets the caption (the path), the left-axis title,
// "Интегрирование" (power only) and Prev/Next. A missing or damaged file is reported through
// host and leaves the chart empty; false then.
bool ShowSpectrumFile(TSpectrumView& view, const std::string& path, bool power, int unit_out,
                      int unit_item, UiHost& host);

// Several spectrum files in one chart: a line per value column of each file, titled
// "COLUMN (FILE NAME)", in palette order, without spread and without the positivity rule.
// Prev/Next, the choice list and "Зафиксировать выбор" are disabled. Nothing is shown when any
// file is missing or damaged (reported through host); false then.
bool ShowSpectrumFiles(TSpectrumView& view, const std::vector<std::string>& paths, bool power,
                       int unit_out, int unit_item, UiHost& host);

// A ratio file: the three ratios (E/Z, N/Z, H/Z for H/V, else E1/E2, N1/N2, Z1/Z2), each with
// its spread as dots. False as above.
bool ShowRatioFile(TSpectrumView& view, const std::string& path, bool hv, UiHost& host);

// The average (or median) of a set of three-component spectra, on the first file's grid.
struct TAverageResult {
  std::vector<double> Frequencies;
  TMatrix2D Values;  // E, N, Z
  TMatrix2D StDev;
  std::vector<std::string> Names;  // the six column titles of the last file used
  // Files left out because their column count differs from the first file's.
  std::vector<std::string> LeftOut;
  int FilesUsed = 0;
};

// Combines tables line by line after AlignFrequencies: the result has the first table's grid cut
// to the shortest aligned table, so that every table contributes to every line. Per line and
// component, the average m = Σv/k with the spread √((kΣv² − (Σv)²)/((k − 1)k)) (0 for one
// table or a negative bracket), or the median with the spread (largest − smallest)/2. Tables
// with another column count than the first are left out (their files named in LeftOut). Uses
// the first three value/spread pairs. False when no table has three pairs.
bool CombineSpectra(std::vector<TResultTable> tables, const std::vector<std::string>& files,
                    bool median, TAverageResult& result);

// Loads every file, combines them as CombineSpectra does, draws the result as ShowSpectrumFile
// draws a file and writes it to output as a three-component spectrum. Files left out are named
// in a message. Nothing is drawn or written when a file is missing or damaged, or when no file
// has three pairs; false then (the reason through host).
bool ShowAverage(TSpectrumView& view, const std::vector<std::string>& paths,
                 const std::string& output, bool power, int unit_out, int unit_item, bool median,
                 UiHost& host, TAverageResult* result = nullptr);

// Which responses ShowResponses draws.
enum TResponseMode : int {
  kSensorResponses = 0,
  kAmplifierResponses = 1,
  kChannelResponses = 2,
  kChainResponses = 3,  // channel response times the ADC coefficient
};

// The frequency responses of every channel of record, one line per channel titled with its
// name, at fmin·1.1^k below fmax (fmin 0: 0.01 Hz; fmax 0: half the sampling rate; fmin itself
// always). A channel's chain is its channel response file when one is named, else its sensor
// and amplifier files when both are named; a named file that does not exist is skipped. Mode 0
// draws the sensor file's response and mode 1 the amplifier file's (nothing when that file is
// not part of the chain); modes 2 and 3 the whole chain. Fails with the message of a response
// file that does not load; the channels drawn before it stay.
TStatus ShowResponses(TSpectrumView& view, const TFileRecord& record, int mode, double fmax,
                      double fmin);

}  // namespace tarvik

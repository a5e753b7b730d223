#pragma once

// Horizontal-to-vertical spectral ratios of a record, formed from its saved amplitude
// spectrum file: E/Z and N/Z line by line, H/Z as their mean, with spreads carried along.

#include <string>
#include <vector>

#include "common/ui_host.h"
#include "records/record_model.h"
#include "spectral/result_files.h"

namespace tarvik {

// Turns three amplitude rows (E, N, Z) and their spreads, in place, into the rows E/Z, N/Z, H/Z
// and their spreads. A line where Z is 0 gives the ratios 1 and the spreads 0. Rows beyond the
// third are dropped; fewer than three rows, or rows of unequal length, give empty matrices.
void FormHVRatios(TMatrix2D& values, TMatrix2D& stdev);

// The components a record lacks for H/V ratios, as "Z" or "E, N" (in the order E, N, Z): those
// that none of its selected channels has. Empty when it has all three.
std::string MissingHVComponents(const TFileRecord& record);

// Reads the amplitude spectrum file prim_path (its first E, N, Z column pairs) and forms the
// ratios. Returns false with both outputs empty when the file is missing or damaged (the reader
// has told the user), or when the file has no spectrum for one of E, N and Z (its columns are
// the zeros written in place of a missing channel); reason, when given, then receives the status
// the user was told about that. frequencies, when given, receives the file's frequency column, for
// WriteRatios.
bool CalculateHV(const std::string& prim_path, UiHost& host, TMatrix2D& ratios, TMatrix2D& stdev,
                 std::vector<double>* frequencies = nullptr, TStatus* reason = nullptr);

}  // namespace tarvik

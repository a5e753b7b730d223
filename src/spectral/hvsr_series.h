#pragma once

// The H/V statistics of a record through time (one result per interval of its selection) and
// by direction (one result per azimuth of the rotated horizontals), and the files they are
// written as beside the record's ".hv" file: a CSV table of f0, A0 and the verdicts, and a JSON
// document with the same values and every mean curve (the spectrogram, or the azimuth map).

#include <string>
#include <vector>

#include "common/datetime.h"
#include "records/record_model.h"
#include "spectral/hv_export.h"
#include "spectral/hvsr.h"

namespace tarvik {

// One interval of the selection: its start, length and the statistics of its windows.
struct THvsrInterval {
  TDateTime Start = 0.0;
  double Seconds = 0.0;
  THvsrResult Result;
};

// The intervals of `every` seconds from the record's SelectStart on that cover its selection
// (the last one may be shorter), each with the statistics of the windows that begin in it. The
// windows' curves are shared, not recomputed: windows is the set of the whole selection.
std::vector<THvsrInterval> AnalyseIntervals(const THvsrWindowSet& windows,
                                            const TFileRecord& record, double every,
                                            const THvsrSettings& settings);

// "STEM_time.csv"/"STEM_time.json" and "STEM_azimuths.csv"/"STEM_azimuths.json" beside the
// ".hv" file of paths.
struct THvsrSeriesPaths {
  std::string TimeCsv, TimeJson, AzimuthCsv, AzimuthJson;
};
THvsrSeriesPaths HvsrSeriesPaths(const THvsrPaths& paths);

// One line per interval: start (ISO 8601 UTC), seconds, windows and windows kept, f0 of the
// mean curve, σf of the windows' peaks (Hz), A0, σ_ln of the mean curve at f0, SESAME counts,
// whether f0 was found and the verdict; empty fields where there is no value. CR LF.
std::string TimeSeriesCsvText(const std::vector<THvsrInterval>& intervals);
// The same values per interval, and the spectrogram: the grid, the interval starts and each
// interval's mean curve (empty when it has none).
std::string TimeSeriesJsonText(const std::vector<THvsrInterval>& intervals,
                               const TFileRecord& record, double every);

// One line per azimuth: azimuth, windows kept, f0, σf, A0, σ_ln at f0, whether f0 was found
// and the verdict; then the lognormal statistics of f0 and A0 over the azimuths. CR LF.
std::string AzimuthCsvText(const THvsrAzimuths& azimuths);
// The same values and the map: the grid, the azimuths and each azimuth's mean curve.
std::string AzimuthJsonText(const THvsrAzimuths& azimuths, const TFileRecord& record, double step);

}  // namespace tarvik

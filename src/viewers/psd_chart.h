#pragma once

// The chart of a noise-statistics result (the JSON document of psd-stats): the probability
// density over period and level as a colour map (cells even in log period, one per 1 dB), with
// the percentiles, the mode, the mean and the noise models of the Earth drawn over it.

#include <string>

#include "common/status.h"
#include "viewers/spectrum_chart.h"

namespace tarvik {

// Whether path names a noise-statistics result: a ".json" file (by its extension; its content
// is checked when it is shown).
bool IsPsdStatsFile(const std::string& path);

// Which picture of a result: the density over period and level; a spectrogram (a colour map of
// time × period, the level as colour, a missing segment left blank); or the mean level of a band of
// periods over time (a line broken where segments are missing). The last two need a result written
// with the segments (psd-stats --with-segments).
struct TPsdChartChoice {
  enum class Kind { kDensity, kSpectrogram, kBandLevel } Kind = Kind::kDensity;
  double BandFirst = 0.0;  // periods, s
  double BandLast = 0.0;
};

// "density", "spectrogram" or "band:TMIN-TMAX" (periods in seconds); the reason otherwise.
TStatus ParsePsdChartChoice(const std::string& text, TPsdChartChoice& choice);

// Fills view with the chart of the result at path; the reason, naming the file, when it cannot
// be read, is no noise-statistics result or lacks what the choice draws.
TStatus ShowPsdStats(TSpectrumView& view, const std::string& path, const TPsdChartChoice& choice);

}  // namespace tarvik

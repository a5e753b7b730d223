#pragma once

// The chart of a noise-statistics result (the JSON document of psd-stats): the probability
// density per period as coloured dots, one colour per range of shares, with the percentiles,
// the mode, the mean and the noise models of the Earth drawn over it.

#include <string>

#include "viewers/spectrum_chart.h"

namespace tarvik {

// Whether path names a noise-statistics result: a ".json" file (by its extension; its content
// is checked when it is shown).
bool IsPsdStatsFile(const std::string& path);

// Fills view with the chart of the result at path; false, with the reason naming the file, when
// it cannot be read or is no noise-statistics result.
bool ShowPsdStats(TSpectrumView& view, const std::string& path, std::string& error);

}  // namespace tarvik

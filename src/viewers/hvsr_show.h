#pragma once

// What the spectrum viewer shows for a record's per-window H/V statistics: the ".hv" file (the
// mean curve, its ±σ curves and f0) together with the two files written beside it,
// "STEM_windows.csv" (every window's curve and fate) and "STEM_report.json" (the settings, the
// windows and the SESAME criteria), read by spectral/hvsr_files.h. When a companion is missing
// or damaged the chart still shows what the ".hv" file holds and the message says what is left
// out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ui_host.h"
#include "spectral/hvsr_files.h"
#include "viewers/spectrum_chart.h"

namespace tarvik {

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

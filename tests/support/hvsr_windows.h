#pragma once

#include <vector>

#include "records/record_model.h"
#include "spectral/hvsr.h"

namespace tarvik::testing {

// Per-window H/V curves made directly on a log grid (80 points from 0.2 Hz, each 1.06 times the
// last): window w peaks at peaks[w] Hz, 4 times its background, the whole curve scaled by
// 1 + 0.03·w; 0 gives a flat curve (no peak), a negative value a curve with a zero on it (an
// unusable window). Windows of `seconds` follow each other at 100 samples per second.
THvsrWindowSet PeakedWindows(const std::vector<double>& peaks, double seconds);

// The record the H/V statistics suites write their files for: station ST1, 100 Hz, from
// 2023-01-02 03:04:05.
TFileRecord HvsrTestRecord();

}  // namespace tarvik::testing

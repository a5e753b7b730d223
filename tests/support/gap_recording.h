#pragma once

// The record with a gap that the loader, the spectra, the preview and the command line are all
// checked on, and the independent answers they are checked against: every sample tried one by
// one, every line of every segment transformed by a plain sum.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "records/record_model.h"

namespace tarvik::testing {

// Ten minutes of three channels (HHZ, HHN, HHE) of uniform noise within ±2000 counts at 100 Hz,
// a gap of five minutes, ten more minutes; one miniSEED file.
struct GapRecording {
  static constexpr double kRate = 100.0;
  static constexpr int64_t kGapFirst = 60000;
  static constexpr int64_t kGapLast = 89999;
  static constexpr int64_t kCount = 150000;
  static constexpr int32_t kLevel = 2500;
  TDateTime Start = 0.0;
  // The samples written, channel by channel, 0 in the gap.
  TData32 Raw;

  // The samples as loading gives them: each channel less the mean of its recorded samples
  // (rounded to nearest, ties to even), the gap 0.
  TData32 Demeaned() const;
};

GapRecording WriteGapRecording(const std::string& path);

// The quiet intervals of samples[first..last] found sample by sample: a sample is disturbed when
// one of the channels, moved one count toward zero, exceeds level in magnitude, or when it lies
// in gap; a whole number of segments of n samples from a quiet stretch's first sample is kept,
// and the search resumes g samples after each disturbed sample.
TRecordRanges QuietBySample(const TData32& samples, int32_t level, const TRecordRanges& gap,
                            int64_t n, int64_t g, int64_t first, int64_t last);

// The Welch average of the one-sided amplitude spectra of the segments of n samples that fill
// the intervals, per channel: each segment weighted by window (n values), transformed by a
// plain sum, |X|·2/rate (|X|/rate at 0 and at n/2), averaged and multiplied by n / Σ window².
std::vector<std::vector<double>> WelchBySum(const TData32& samples, const TRecordRanges& intervals,
                                            std::span<const double> window, double rate);

}  // namespace tarvik::testing

#pragma once

// Per-window H/V statistics of a record: every quiet segment the spectrum engine transforms is
// a window; its E, N and Z spectra, corrected for the recording chain as the primary spectra
// are, give one H/V curve on a logarithmic grid (Konno–Ohmachi smoothing or none). The curves
// are summarised in the lognormal sense (Cox et al. 2020): the mean curve exp(mean ln H/V) with
// σ_ln, f0 and A0 of its peak, and the median and σ_ln of the windows' own peak frequencies;
// windows whose peak frequency is an outlier are rejected by the frequency-domain algorithm of
// Cox et al. (2020); the SESAME (2004) criteria judge the result.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/ui_host.h"
#include "records/record_model.h"
#include "spectral/hvsr_settings.h"
#include "spectral/result_files.h"
#include "spectral/sesame.h"
#include "spectral/spectrum_engine.h"
#include "spectral/spectrum_settings.h"

namespace tarvik {

// What became of a window.
enum class TWindowFate : int32_t {
  kKept = 0,
  kRejected = 1,  // its peak frequency was an outlier (window rejection)
  kNoPeak = 2,    // no peak in the search band (rejected when rejection is on)
  kUnusable = 3,  // its curve is not a positive finite number everywhere (a zero component)
};
const char* FateName(TWindowFate fate);

// The windows of a record before statistics: one H/V curve per window on the grid.
struct THvsrWindowSet {
  std::vector<double> Grid;          // Hz, ascending
  TMatrix2D Curves;                  // one row per window, Grid.size() values
  std::vector<int64_t> FirstSample;  // of each window in the record
  double WindowSeconds = 0.0;
  // Frequencies (Hz) of narrow lines standing out in the spectra of all three components: a
  // monochromatic source (machinery), not a resonance of the site. Peaks of the H/V curves
  // there are never taken as f0.
  std::vector<double> IndustrialLines;
};

// A local maximum of the mean curve in the search band above half of A0.
struct THvsrPeak {
  size_t Index = 0;  // on the grid
  double Frequency = 0.0;
  double Amplitude = 0.0;
  // Kept windows whose own curve has a local maximum within 10 % of Frequency.
  int Support = 0;
  bool Industrial = false;  // at the frequency of an industrial line: never f0
  bool Chosen = false;      // f0
};

struct THvsrResult {
  THvsrSettings Settings;
  std::vector<double> Grid;
  TMatrix2D Curves;
  std::vector<int64_t> FirstSample;
  std::vector<TWindowFate> Fate;
  std::vector<double> WindowF0;  // each window's peak frequency; 0 when it has none
  double WindowSeconds = 0.0;
  size_t BandLo = 0, BandHi = 0;  // grid indices of the search band, inclusive
  int Iterations = 0;             // of the window rejection

  // The mean curve over the kept windows (over every usable window when none is kept) and its
  // lognormal spread; empty when no window is usable.
  int MeanWindows = 0;
  std::vector<double> Mean;
  std::vector<double> SigmaLn;
  bool HasF0Mean = false;
  size_t PeakIndex = 0;
  double F0Mean = 0.0;
  double A0Mean = 0.0;

  // The kept windows' peak frequencies: lognormal median exp(mean ln f0), σ_ln, and σf, their
  // standard deviation in Hz (the guidelines' σf).
  int F0Windows = 0;
  double F0Median = 0.0;
  double SigmaLnF0 = 0.0;
  double SigmaF = 0.0;

  // Every local maximum of the mean curve in the search band above A0/2 (industrial ones
  // too), in order of frequency; Ambiguous when another one that is not industrial comes within
  // 10 % of A0: f0 could as well be there.
  std::vector<THvsrPeak> Peaks;
  bool Ambiguous = false;
  std::vector<double> IndustrialLines;

  TSesameResult Sesame;
  // True when f0 was found both ways and the criteria were tested on at least 2 windows.
  bool Ok = false;
  // "f0 = 2.00 ± 0.03 Hz, A0 = 4.4, SESAME reliable 3/3, clear 6/6", or why there is no f0: the
  // English the report files keep.
  std::string Verdict;
  // Why there is no f0, as a status told in the user's language; Ok when f0 was found.
  TStatus Reason;
  // The verdict when f0 was found, as a status told in the user's language (its English is
  // Verdict); Ok when there is no f0.
  TStatus Finding;

  int Count(TWindowFate fate) const;
};

// The statistics of a set of windows (the curves as given, nothing recomputed).
THvsrResult AnalyseWindows(THvsrWindowSet windows, const THvsrSettings& settings);

// Every local maximum of values at an index in [lo, hi], in index order: a point above its left
// neighbour and above the first differing value to its right (the first point of a plateau).
std::vector<size_t> LocalPeaks(std::span<const double> values, size_t lo, size_t hi);

// Narrow lines present at the same frequency in each of the three mean line spectra e, n and
// z (line k at k·line_step Hz), between fmin and fmax: a line of z that is a local maximum
// standing at least 4 times above the median of its neighbourhood (±15 %, leaving out ±2 % or
// the width of a window's line, width_hz, whichever is wider), with the same in e and n within
// one line. Returns their frequencies, ascending.
std::vector<double> FindIndustrialLines(std::span<const double> e, std::span<const double> n,
                                        std::span<const double> z, double line_step,
                                        double width_hz, double fmin, double fmax);

// The windows of set whose first sample lies in [origin + k·length, origin + (k+1)·length)
// and before end, for k = 0 .. count - 1, each as a set of its own (same grid, window length
// and lines).
std::vector<THvsrWindowSet> SplitWindows(const THvsrWindowSet& set, int64_t origin, int64_t length,
                                         size_t count, int64_t end);

// Peak statistics of frequencies in the lognormal sense: mean and sample standard deviation of
// ln f (0 for fewer than 2).
struct TLognormal {
  double MeanLn = 0.0;
  double SigmaLn = 0.0;
};
TLognormal LognormalOf(const std::vector<double>& frequencies);

// The frequency-domain window rejection of Cox et al. (2020) over the windows marked kept
// whose peak frequency is f0[i]: each pass keeps the windows with ln f0 strictly inside
// mean ± n·σ (lognormal, over the windows kept so far) and stops once the lognormal median
// exp μ_ln and the spread factor exp σ_ln change by less than 1 % (or σ is 0, or fewer than 2
// windows are left), after at most 50 passes. Marks the others kRejected; returns the passes made.
int RejectWindows(const std::vector<double>& f0, std::vector<TWindowFate>& fate, double n);

enum class THvsrOutcome {
  kAnalysed,  // Result holds the statistics (Result.Ok tells whether f0 was found)
  kFailed,    // Message says why (no E, N or Z channel, no quiet segment, bad settings...)
  kStopped,
};

struct THvsrStatus {
  THvsrOutcome Outcome = THvsrOutcome::kAnalysed;
  // Why the analysis failed (the record's station first); Ok otherwise.
  TStatus Failure;
};

// The windows of record's samples over its selection with the spectrum settings the primary
// spectra use: the first selected E, N and Z channels form them. With only_e the horizontal
// is the E channel alone (the caller has put a rotated horizontal there).
THvsrStatus CollectWindowsOfSamples(const TFileRecord& record, const TData32& samples,
                                    std::span<const TRecordRanges> unread,
                                    const TSpectrumSettings& spectrum,
                                    const THvsrSettings& settings, UiHost& host,
                                    THvsrWindowSet& windows, bool only_e = false);

// The same, loading the record's samples first.
THvsrStatus CollectRecordWindows(TFileRecord& record, const TSpectrumSettings& spectrum,
                                 double default_rate, const THvsrSettings& settings, UiHost& host,
                                 THvsrWindowSet& windows, HeaderCache* headers = nullptr);

// The statistics per direction: the horizontal components rotated to azimuth a (degrees
// clockwise from N, the "1" axis, toward E, the "2" axis), H(a) = N·cos a + E·sin a, and its
// ratio to Z.
struct THvsrAzimuth {
  double Azimuth = 0.0;
  THvsrResult Result;
};
struct THvsrAzimuths {
  std::vector<THvsrAzimuth> Directions;
  // Lognormal statistics of f0 and A0 of the mean curves over the directions that have one.
  int WithF0 = 0;
  double F0Median = 0.0, F0SigmaLn = 0.0;
  double A0Median = 0.0, A0SigmaLn = 0.0;
};

// Records of up to this many bytes of samples are read once for every direction; longer ones
// (or of unknown length) are read again, in blocks, for each direction.
inline constexpr int64_t kAzimuthWholeRecordBytes = int64_t{512} << 20;

// Analyses the record as AnalyseRecord does (whole), then once per azimuth 0, step, 2·step ...
// up to 180 (inclusive when it falls on the step), reading it in blocks each time, E turned
// toward the azimuth as it is read. Fails when E and N are not recorded through the same chain,
// since the rotation is made on the samples.
THvsrStatus AnalyseRecordAzimuths(TFileRecord& record, const TSpectrumSettings& spectrum,
                                  double default_rate, const THvsrSettings& settings, double step,
                                  UiHost& host, THvsrWindowSet& whole, THvsrAzimuths& azimuths,
                                  HeaderCache* headers = nullptr,
                                  int64_t whole_record_bytes = kAzimuthWholeRecordBytes);

// The same over samples already loaded (unread: the spans without data, per channel).
THvsrStatus AnalyseSamplesAzimuths(const TFileRecord& record, const TData32& samples,
                                   std::span<const TRecordRanges> unread,
                                   const TSpectrumSettings& spectrum, const THvsrSettings& settings,
                                   double step, UiHost& host, THvsrWindowSet& whole,
                                   THvsrAzimuths& azimuths);

// The analysis of record's samples over select_start..select_finish with the spectrum settings
// the primary spectra use: the first selected E, N and Z channels form the windows.
THvsrStatus AnalyseRecordSamples(const TFileRecord& record, const TData32& samples,
                                 const TSpectrumSettings& spectrum, const THvsrSettings& settings,
                                 UiHost& host, THvsrResult& result);

// The same, loading the record's samples first (default_rate is the SampRateDefault setting;
// headers, when given, keeps the files' headers across the records of a run).
THvsrStatus AnalyseRecord(TFileRecord& record, const TSpectrumSettings& spectrum,
                          double default_rate, const THvsrSettings& settings, UiHost& host,
                          THvsrResult& result, HeaderCache* headers = nullptr);

}  // namespace tarvik

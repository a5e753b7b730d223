#pragma once

// The spectrum of one record: the quiet parts of the selected span are cut into segments,
// windowed and transformed; the segment spectra are averaged (Bartlett estimate) or one segment
// is smoothed over frequency (Daniell estimate); the result is divided by each channel's
// recording chain and expressed as displacement, velocity or acceleration, with a standard
// deviation per line.
//
// Nothing here keeps state between calls, so several records can be computed on several
// threads at once (each with its own record, matrices and UiHost or a thread-safe one).

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/ui_host.h"
#include "records/load_record.h"
#include "records/record_model.h"
#include "response/biquad.h"
#include "response/response_model.h"
#include "spectral/result_files.h"
#include "spectral/spectrum_settings.h"

namespace tarvik {

class HeaderCache;

enum class TSpectraOutcome {
  kComputed,         // Mean and StDev hold the spectra
  kStopped,          // the stop flag ended the work; the matrices must not be saved
  kNoQuietInterval,  // nothing quiet to transform; both matrices empty
  kBadGeometry,      // the settings give no usable segment at the record's rate
  kResponseFailed,   // a channel's response file did not load; both matrices empty
  kLoadFailed,       // no samples could be read from the record's files
};

struct TSpectraStatus {
  TSpectraOutcome Outcome = TSpectraOutcome::kComputed;
  // What the user was shown when the spectra were not computed (kOk otherwise), and its
  // Russian text, as the window shows it (empty when computed).
  TStatus Failure;
  std::string Message;
  // The settings as used: derived geometry for the record's rate, and for a Daniell estimate
  // the segment length actually transformed. Its TransformLength gives the line frequencies.
  TSpectrumSettings Used;
  // Segments averaged (K).
  int32_t Segments = 0;
  // The quiet intervals transformed (sample indices, first and last inclusive).
  TRecordRanges Intervals;
  // The samples of the span that hold no recorded data in some channel computed (gaps, damaged
  // blocks, unreadable parts of files), and their length in seconds; none of them is quiet.
  TRecordRanges Gaps;
  double GapSeconds = 0.0;

  bool Computed() const { return Outcome == TSpectraOutcome::kComputed; }
};

// One transformed segment as a TSegmentHook sees it: its 0-based number, its first sample
// index and length in samples, the spacing of its lines (line k lies at k·LineStep Hz), and per
// channel of the sample matrix its one-sided spectrum divided by the channel's chain and scaled
// exactly as the averaged spectra are (lines where the chain gives no usable factor are 0);
// rows of channels not selected are empty.
struct TSegmentSpectra {
  int32_t Index = 0;
  int64_t FirstSample = 0;
  int64_t Length = 0;
  double LineStep = 0.0;
  std::span<const std::vector<double>> Rows;
};

// Called on the calculating thread after every segment, in order; returning false stops the
// calculation as the stop flag does.
using TSegmentHook = std::function<bool(const TSegmentSpectra&)>;

// Quiet intervals of samples[c][first..last] for the Bartlett estimate. A sample of a selected
// channel is disturbed when, moved one count toward zero (0 becomes −1), its magnitude exceeds
// the channel's level; level 2147483647 keeps every sample quiet, a negative level none. Each
// interval holds a whole number of segments of settings.SegmentLength samples, all quiet; the
// search after a disturbed sample d resumes at d + 1 + settings.NoiseGap. Channels not selected
// are never tested; last is cut to the shortest selected channel. The spans of unread[c] (one
// list per channel, as LoadRecord reports them) hold no recorded data: every sample in them is
// disturbed when channel c is tested.
void FindQuietIntervals(const TData32& samples, std::span<const int32_t> level,
                        std::span<const bool> selected, TRecordRanges& intervals,
                        const TSpectrumSettings& settings, int64_t first, int64_t last,
                        std::span<const TRecordRanges> unread = {});

// Smooths one channel's rows of a Daniell estimate in place: each line from 1 on becomes the
// mean of window lines starting at it, its spread √(mean/N·2π·rate/(window/2)) with N the
// segment length transformed, the tail repeats the last smoothed line, and the averages are
// shifted by window div 2 to centre them. Line 0 is kept. A window below 1 counts as 1.
void DaniellSmooth(std::span<double> mean, std::span<double> stdev, int32_t window,
                   int32_t segment_length, double rate);

// The factor a spectral value at frequency f is divided by: |chain(f)|·|adc_coef|·UnitCoef, over
// the edge filter's modulus when EdgeEffect is set, times 2πf for displacement or over 2πf for
// acceleration, squared for power spectra. Anything not finite (a division by zero frequency,
// a response that cannot be evaluated) gives +∞, so the line becomes 0.
double ChainCorrection(const TCombinedFilter& chain, double adc_coef,
                       const TSpectrumSettings& settings, const TBiquadCascade& edge_filter,
                       double rate, double f);

// The record's message about the gaps its spectra left out: "STATION: пропуски в данных: 2
// (300 с) не вошли в расчет"; empty when the span had none.
std::string GapMessage(const std::string& station, const TSpectraStatus& status);
// The same as kGapsLeftOut; kOk when the span had none.
TStatus GapStatus(const std::string& station, const TSpectraStatus& status);

// Loads the recording chain of channel c of record (paths stored with "\" are taken in this
// system's form); the message names the channel and the file when a response does not load.
TStatus LoadRecordChain(const TFileRecord& record, int c, TCombinedFilter& chain);

// The spectra of record from its already loaded samples (one array per channel, as LoadRecord
// gives them) over the span select_start..select_finish. record.SampRate and the channels'
// ChanSelected, Level, ADCCoef and response paths are used. mean and stdev get one row per
// channel of samples and TransformLength div 2 + 1 values per row; rows of channels not
// selected stay 0. The response files of the selected channels are loaded before any work, and
// one that does not load ends the calculation with a message naming channel and file. Every
// failure is shown through host.ShowMessage and returned in the status. hook, when given, sees
// every segment's own spectra. unread gives per channel the samples that hold no recorded data
// (LoadReport::unread): no segment takes any of them.
TSpectraStatus CalculateSpectraOfSamples(const TFileRecord& record, const TData32& samples,
                                         const TSpectrumSettings& settings, TDateTime select_start,
                                         TDateTime select_finish, UiHost& host, TMatrix2D& mean,
                                         TMatrix2D& stdev, const TSegmentHook& hook = {},
                                         std::span<const TRecordRanges> unread = {});

// Loads record's samples with LoadRecord (default_rate is the SampRateDefault setting; the
// record's SampRate and SampleCount are updated; headers, when given, keeps the files' headers
// across records) and computes its spectra as above. The response files are checked before
// the samples are loaded. turn, when active, turns the horizontals as they are read.
TSpectraStatus CalculateSpectra(TFileRecord& record, const TSpectrumSettings& settings,
                                TDateTime select_start, TDateTime select_finish,
                                double default_rate, UiHost& host, TMatrix2D& mean,
                                TMatrix2D& stdev, const TSegmentHook& hook = {},
                                HeaderCache* headers = nullptr, const HorizontalTurn& turn = {});

}  // namespace tarvik

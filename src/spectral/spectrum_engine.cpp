#include "spectral/spectrum_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <optional>

#include "common/paths.h"
#include "common/rounding.h"
#include "records/load_record.h"
#include "records/record_window.h"
#include "records/sample_ranges.h"
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "spectral/bandpass.h"
#include "spectral/quiet_search_reason.h"
#include "spectral/transforms.h"

namespace tarvik {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kTiny = 1e-30;

// The length of the gaps in seconds as the messages give it.
std::string GapSecondsText(double seconds) {
  char length[64];
  std::snprintf(length, sizeof length, "%.6g", seconds);
  return length;
}

// The failure of status: kept with its Russian text (what the window shows) and shown.
void Fail(TSpectraStatus& status, TSpectraOutcome outcome, TStatus failure, UiHost& host) {
  status.Outcome = outcome;
  status.Message = Text(failure, TLanguage::kRussian);
  status.Failure = std::move(failure);
  host.ShowMessage(status.Failure);
}

int ToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

// The channels whose spectra are computed: selected and present in the sample matrix.
std::vector<int> SelectedChannels(const TFileRecord& record, size_t channel_count) {
  std::vector<int> out;
  const int n =
      static_cast<int>(std::min({channel_count, record.Channels.size(), size_t{kMaxChannels}}));
  for (int c = 0; c < n; ++c) {
    if (record.Channels[c].Selected) out.push_back(c);
  }
  return out;
}

// Loads the chains of the given channels; on failure the user is told which channel and file.
bool LoadChains(const TFileRecord& record, const std::vector<int>& channels,
                std::vector<TCombinedFilter>& chains, TSpectraStatus& status, UiHost& host) {
  chains.assign(kMaxChannels, {});
  for (int c : channels) {
    const TStatus loaded = LoadRecordChain(record, c, chains[c]);
    if (!loaded.Ok()) {
      Fail(status, TSpectraOutcome::kResponseFailed, loaded, host);
      return false;
    }
  }
  return true;
}

// The most samples the inputs of one segment's channels may hold for the segment loop to test
// the segments itself (8 MB of inputs: 32 channels of 2^15 samples, 3 of over 2^18).
constexpr int64_t kMaxTestedInputSamples = int64_t{1} << 20;

// The hot loops of the segment loop work in blocks of a fixed length, which the compiler turns
// into vector instructions at every optimisation level; the rest is done one by one.
constexpr int64_t kBlock = 8;

// out[i] = w[i]·x[i] for i < n.
void Weigh(double* __restrict out, const double* __restrict w, const int32_t* __restrict x,
           int64_t n) {
  int64_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    for (int64_t j = 0; j < kBlock; ++j) out[i + j] = w[i + j] * x[i + j];
  }
  for (; i < n; ++i) out[i] = w[i] * x[i];
}

// Weigh, testing the samples as they go by: whether every x[i] lies within low..high. The
// segment loop tests a segment of each channel while it weighs it, so that the samples are
// read from memory once, not once by the search and again by the weighing. Each chunk is
// tested on its own (a loop of integer comparisons alone vectorises best) and then weighed
// while it is still in the first-level cache.
bool WeighQuiet(double* __restrict out, const double* __restrict w, const int32_t* __restrict x,
                int64_t n, int32_t low, int32_t high) {
  constexpr int64_t kChunk = 8 * kBlock;
  int bad = 0;
  int64_t i = 0;
  for (; i + kChunk <= n; i += kChunk) {
    for (int64_t j = i; j < i + kChunk; ++j) {
      bad |= static_cast<int>(x[j] > high) | static_cast<int>(x[j] < low);
    }
    for (int64_t j = i; j < i + kChunk; j += kBlock) {
      for (int64_t k = j; k < j + kBlock; ++k) out[k] = w[k] * x[k];
    }
  }
  for (; i < n; ++i) {
    out[i] = w[i] * x[i];
    bad |= static_cast<int>(x[i] > high) | static_cast<int>(x[i] < low);
  }
  return bad == 0;
}

// Adds the one-sided spectrum of an M-point transform to sum, and its square to squares: x
// holds lines 0..M div 2 of the unscaled transform as real, imaginary pairs; each value is
// |X/M|² (power) or |X/M| (amplitude) times M/fs, doubled for its mirror image except line 0
// and, for an even M, the Nyquist line M/2. This is the one-sided spectrum of the transforms
// module, formed here in the same pass as the sums; with kKeep the segment's own values also go
// to keep. The 1/M of the transform is folded into the factor: for a power-of-two M that
// scaling is exact, so the values are bit for bit those of the scaled transform.
template <bool kPower, bool kKeep>
void AddOneSided(const double* __restrict x, int64_t M, double fs, double* __restrict sum,
                 double* __restrict squares, double* __restrict keep) {
  const int64_t last = M / 2;
  const double inverse = 1.0 / static_cast<double>(M);
  const double edge_factor = static_cast<double>(M) / fs * (kPower ? inverse * inverse : inverse);
  const double factor = 2.0 * edge_factor;
  const bool nyquist = M % 2 == 0 && last > 0;
  for (int64_t k : {int64_t{0}, last}) {
    const double p = x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
    const double v = (kPower ? p : std::sqrt(p)) * (k == 0 || nyquist ? edge_factor : factor);
    sum[k] += v;
    squares[k] += v * v;
    if constexpr (kKeep) keep[k] = v;
    if (last == 0) return;
  }
  int64_t k = 1;
  for (; k + kBlock <= last; k += kBlock) {
    for (int64_t j = k; j < k + kBlock; ++j) {
      const double p = x[2 * j] * x[2 * j] + x[2 * j + 1] * x[2 * j + 1];
      const double v = (kPower ? p : std::sqrt(p)) * factor;
      sum[j] += v;
      squares[j] += v * v;
      if constexpr (kKeep) keep[j] = v;
    }
  }
  for (; k < last; ++k) {
    const double p = x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
    const double v = (kPower ? p : std::sqrt(p)) * factor;
    sum[k] += v;
    squares[k] += v * v;
    if constexpr (kKeep) keep[k] = v;
  }
}

template <bool kKeep>
void AddOneSided(bool power, const double* x, int64_t M, double fs, double* sum, double* squares,
                 double* keep) {
  if (power) {
    AddOneSided<true, kKeep>(x, M, fs, sum, squares, keep);
  } else {
    AddOneSided<false, kKeep>(x, M, fs, sum, squares, keep);
  }
}

// The first disturbed sample of x[from..to) or to when none: above high or below low, or 0
// itself when zero_disturbed.
int64_t FirstDisturbed(const int32_t* x, int64_t from, int64_t to, int64_t high, int64_t low,
                       bool zero_disturbed) {
  if (high > std::numeric_limits<int32_t>::max() && low <= std::numeric_limits<int32_t>::min() &&
      !zero_disturbed) {
    return to;  // every value is quiet
  }
  if (zero_disturbed) {
    for (int64_t j = from; j < to; ++j) {
      const int64_t v = x[j];
      if (v > high || v < low || (v == 0 && zero_disturbed)) return j;
    }
    return to;
  }
  // Blocks whose test the compiler can vectorise; the exact sample is found in the block that
  // holds one.
  const auto hi =
      static_cast<int32_t>(std::min<int64_t>(high, std::numeric_limits<int32_t>::max()));
  const auto lo = static_cast<int32_t>(std::max<int64_t>(low, std::numeric_limits<int32_t>::min()));
  constexpr int64_t kBlock = 256;
  int64_t j = from;
  for (; j + kBlock <= to; j += kBlock) {
    int bad = 0;
    for (int64_t i = 0; i < kBlock; ++i) bad |= (x[j + i] > hi) | (x[j + i] < lo);
    if (bad != 0) break;
  }
  for (; j < to; ++j) {
    if (x[j] > hi || x[j] < lo) return j;
  }
  return to;
}

// The samples the calculation reads: the whole matrix, or a moving part of a record read in
// blocks, which holds from the first sample still needed up to the furthest one asked for.
class SampleWindow {
 public:
  explicit SampleWindow(const TData32& all) : all_(&all) {
    for (const auto& row : all) sizes_.push_back(static_cast<int64_t>(row.size()));
  }
  explicit SampleWindow(RecordBlocks& blocks)
      : moving_(std::in_place, blocks),
        sizes_(static_cast<size_t>(blocks.Channels()), blocks.Count()) {}

  // Samples per channel of the whole record.
  std::span<const int64_t> Sizes() const { return sizes_; }
  // Channel c from sample Base() on.
  const int32_t* Row(size_t c) const {
    return all_ != nullptr ? (*all_)[c].data() : moving_->Row(c);
  }
  int64_t Base() const { return moving_ ? moving_->Base() : 0; }

  // Reads blocks until the window holds the samples before end (or the record ends).
  void Fill(int64_t end) {
    if (moving_) moving_->Fill(end);
  }
  // Forgets the samples before below.
  void Drop(int64_t below) {
    if (moving_) moving_->Drop(below);
  }

 private:
  const TData32* all_ = nullptr;
  std::optional<RecordWindow> moving_;
  std::vector<int64_t> sizes_;
};

// The search of FindQuietIntervals, run piece by piece: each Extend goes on up to a horizon, so
// that the spectrum calculation can transform the segments of samples it has just tested, while
// they are still in the cache, instead of reading the record from memory twice. Pieces of one
// interval found by successive calls are joined, so the intervals come out as one search over
// the whole span gives them.
class QuietSearch {
 public:
  QuietSearch(std::span<const int64_t> sizes, std::span<const int32_t> level,
              std::span<const bool> selected, const TSpectrumSettings& settings, int64_t first,
              int64_t last, std::span<const TRecordRanges> unread)
      : last_(last) {
    const size_t n = std::min({sizes.size(), level.size(), selected.size()});
    for (size_t c = 0; c < n; ++c) {
      if (!selected[c]) continue;
      // x is disturbed when |x - 1| (x >= 0) or |x + 1| (x < 0) exceeds the level: above
      // level + 1, below -level - 1, or 0 itself when the level is below 1.
      const int64_t L = level[c];
      tested_.push_back({c, L + 1, -L - 1, L < 1});
      last_ = std::min<int64_t>(last_, sizes[c] - 1);
    }
    a_ = std::max<int64_t>(first, 0);
    if (tested_.empty()) {
      int64_t shortest = std::numeric_limits<int64_t>::max();
      for (const int64_t size : sizes) shortest = std::min(shortest, size);
      if (!sizes.empty()) last_ = std::min<int64_t>(last_, shortest - 1);
    }
    N_ = std::max<int32_t>(settings.SegmentLength, 1);
    G_ = std::max<int32_t>(settings.NoiseGap, 0);
    // Every sample that a tested channel did not record is disturbed.
    std::vector<TRecordRanges> tested_gaps;
    for (size_t c = 0; c < n && c < unread.size(); ++c) {
      if (selected[c]) tested_gaps.push_back(unread[c]);
    }
    gaps_ = UnionOf(tested_gaps);
  }

  bool Done() const { return a_ >= last_; }
  // Where the search stands: every sample before it has been decided.
  int64_t Position() const { return a_; }

  // Whether the caller can test segments itself (NextSegmentInSpan, QuietRange, TakeSegment):
  // every tested channel is among channels and is quiet within a plain range of values.
  bool TestsPlainRanges(std::span<const int> channels) const {
    return std::all_of(tested_.begin(), tested_.end(), [&](const Tested& t) {
      return !t.ZeroDisturbed && std::find(channels.begin(), channels.end(),
                                           static_cast<int>(t.Channel)) != channels.end();
    });
  }
  // The quiet values of channel c, low..high (every value when c is not tested).
  std::pair<int32_t, int32_t> QuietRange(size_t c) const {
    for (const Tested& t : tested_) {
      if (t.Channel != c) continue;
      return {static_cast<int32_t>(std::max<int64_t>(t.Low, std::numeric_limits<int32_t>::min())),
              static_cast<int32_t>(std::min<int64_t>(t.High, std::numeric_limits<int32_t>::max()))};
    }
    return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
  }
  // Whether the segment of N samples from Position() lies within the span and clear of the
  // unread samples, so that its samples alone decide whether it is the next one taken.
  bool NextSegmentInSpan() const {
    const int64_t b = a_ + N_ - 1;
    if (b > last_) return false;
    const auto gap = FirstRangeEndingAtOrAfter(gaps_, a_);
    return gap == gaps_.end() || gap->first > b;
  }
  // Takes the segment from Position(), which the caller found quiet in every tested channel,
  // and moves on past it: the intervals and the position are those Extend would give.
  void TakeSegment(TRecordRanges& intervals) {
    const int64_t b = a_ + N_ - 1;
    Add(intervals, a_, b);
    // At the end of the span Extend moves on as from a disturbed sample just past it.
    a_ = b < last_ ? b + 1 : b + 2 + G_;
  }

  // Searches the samples up to horizon (inclusive), appending what it finds to intervals; an
  // interval still open at the horizon holds the whole segments found so far and grows on the
  // next call.
  void Extend(int64_t horizon, TRecordRanges& intervals, SampleWindow& samples) {
    const int64_t limit = std::min(last_, horizon);
    samples.Fill(limit + 1);
    const int64_t base = samples.Base();
    while (a_ < last_) {
      const auto gap = FirstRangeEndingAtOrAfter(gaps_, a_);
      if (gap != gaps_.end() && gap->first <= a_) {
        // Inside a gap each sample tried is disturbed, and the search moves on by G + 1 from
        // it, as from any disturbed sample, until it lands past the gap.
        const int64_t step = G_ + 1;
        a_ += ((gap->second - a_) / step + 1) * step;
        continue;
      }
      if (a_ > limit) return;
      // The first disturbed sample in a..limit over all tested channels (limit + 1 when none).
      int64_t d = gap != gaps_.end() ? std::min<int64_t>(limit + 1, gap->first) : limit + 1;
      for (const Tested& t : tested_) {
        d = base + FirstDisturbed(samples.Row(t.Channel), a_ - base, d - base, t.High, t.Low,
                                  t.ZeroDisturbed);
      }
      // The whole segments before it, counted from a.
      const int64_t whole = (d - a_) / N_;
      const int64_t b = a_ + whole * N_ - 1;
      if (d > limit && limit < last_) {
        // Cut by the horizon, not by a disturbance: the interval stays open.
        if (whole > 0) Add(intervals, a_, b);
        a_ = b + 1;
        return;
      }
      if (b > a_) Add(intervals, a_, b);
      a_ = d + 1 + G_;
    }
  }

 private:
  // A new interval never begins right after the previous one (a disturbed sample lies between),
  // so one that does continues it.
  static void Add(TRecordRanges& intervals, int64_t a, int64_t b) {
    if (!intervals.empty() && int64_t{intervals.back().second} + 1 == a) {
      intervals.back().second = static_cast<int32_t>(b);
    } else {
      intervals.emplace_back(static_cast<int32_t>(a), static_cast<int32_t>(b));
    }
  }

  struct Tested {
    size_t Channel;
    int64_t High, Low;  // quiet when low <= x <= high
    bool ZeroDisturbed;
  };
  std::vector<Tested> tested_;
  TRecordRanges gaps_;
  int64_t a_ = 0;
  int64_t last_ = 0;
  int64_t N_ = 1;
  int64_t G_ = 0;
};

TSpectraStatus Stopped(TSpectraStatus status, UiHost& host) {
  status.Outcome = TSpectraOutcome::kStopped;
  host.SetStage(MakeStatus(TCode::kSpectraCancelled));
  return status;
}

// Whether the calculation can read the record in blocks: a search of the samples themselves
// that runs ahead of the transforms. A filtered search and a Daniell estimate need the whole
// matrix.
bool SearchesAhead(const TSpectrumSettings& settings, double rate) {
  TSpectrumSettings used = settings;
  return used.EstimationType == TEstimationType::kBartlett && !used.NoiseFilter &&
         DeriveGeometry(used, rate, nullptr) && used.SegmentLength >= 2;
}

// The whole matrix, for the messages that describe it when nothing could be computed.
using TWholeSamples = std::function<TData32()>;

// The calculation proper, with the chains already loaded (chains[c] for every selected c).
// samples reads the whole matrix (whole, also given) or a record in blocks (whole null; then
// the settings are such that SearchesAhead holds, and load_whole gives the matrix should a
// message need it).
TSpectraStatus Compute(const TFileRecord& record, SampleWindow& samples, const TData32* whole,
                       const TSpectrumSettings& settings, TDateTime select_start,
                       TDateTime select_finish, UiHost& host, TMatrix2D& mean, TMatrix2D& stdev,
                       const std::vector<TCombinedFilter>& chains, const TSegmentHook& hook,
                       std::span<const TRecordRanges> unread, const TWholeSamples& load_whole) {
  TSpectraStatus status;
  mean.clear();
  stdev.clear();
  if (host.StopRequested()) return Stopped(std::move(status), host);

  const double rate = record.SampRate;
  const std::string& station = record.Station;
  const size_t channel_count = samples.Sizes().size();
  const std::vector<int> channels = SelectedChannels(record, channel_count);
  // The matrix for the messages about it, loaded only when one is shown.
  TData32 loaded;
  auto matrix = [&]() -> const TData32& {
    if (whole != nullptr) return *whole;
    if (loaded.empty() && load_whole) loaded = load_whole();
    return loaded;
  };

  // Samples available in every channel: the matrix is rectangular when LoadRecord made it.
  int64_t count = channel_count == 0 ? 0 : std::numeric_limits<int32_t>::max();
  for (const int64_t size : samples.Sizes()) count = std::min(count, size);
  auto index_of = [&](TDateTime t) { return RoundToInt64((t - record.Start) * 86400.0 * rate); };
  const int64_t first = std::max<int64_t>(0, index_of(select_start));
  const int64_t last = std::min<int64_t>(index_of(select_finish), count - 1);

  // What the span lacks in the channels computed, for the record's report.
  std::vector<TRecordRanges> computed_gaps;
  for (int c : channels) {
    if (static_cast<size_t>(c) < unread.size()) computed_gaps.push_back(unread[c]);
  }
  status.Gaps = ClipRanges(UnionOf(computed_gaps), first, last);
  if (rate > 0.0) status.GapSeconds = static_cast<double>(RangeSamples(status.Gaps)) / rate;

  TSpectrumSettings used = settings;
  if (const TStatus reason = DeriveSegmentGeometry(used, rate); !reason.Ok()) {
    Fail(status, TSpectraOutcome::kBadGeometry, MakeStatus(TCode::kAtStation, {station, reason}),
         host);
    return status;
  }
  const int nchan = static_cast<int>(std::min<size_t>(channel_count, kMaxChannels));

  TRecordRanges& intervals = status.Intervals;
  // Why nothing was quiet, named in the message when the search finds no interval.
  TStatus no_quiet_reason;
  // A search of the samples themselves runs ahead of the transforms by two segments (at least
  // 2^14 samples), which for three channels stay in the processor's second-level cache until
  // they are transformed (see QuietSearch); a search of a filtered copy, or of segments of one
  // sample, is done first.
  std::optional<QuietSearch> search;
  const int64_t ahead = std::max<int64_t>(2 * int64_t{used.SegmentLength}, 1 << 14);
  int64_t horizon = first - 1;
  if (used.EstimationType == TEstimationType::kBartlett) {
    host.SetStatus(MakeStatus(TCode::kFindingDisturbances, {station}), nchan);
    SampleWindow* searched = &samples;
    TData32 filtered;
    std::optional<SampleWindow> filtered_window;
    if (used.NoiseFilter && !channels.empty() && whole != nullptr) {
      // Interference stands out in its band: the search runs on a zero-phase band-passed copy
      // of the channels it tests.
      TBiquadCascade noise;
      DesignBandPass(used.NoiseOrder / 2, noise, std::min(used.NoiseFMax, 0.99 * rate / 2),
                     used.NoiseFMin, rate / 2);
      filtered.resize(channel_count);
      for (int c : channels) {
        FilterSamples((*whole)[c], noise, true, filtered[c]);
        host.SetProgress(c + 1, nchan);
        host.ProcessEvents();
        if (host.StopRequested()) return Stopped(std::move(status), host);
      }
      searched = &filtered_window.emplace(filtered);
    }
    intervals.clear();
    search.emplace(searched->Sizes(), ChannelLevels(record), SelectedChannels(record), used, first,
                   last, unread);
    if (searched != &samples || used.SegmentLength < 2) {
      search->Extend(std::numeric_limits<int64_t>::max(), intervals, *searched);
      search.reset();
    } else {
      // Up to the first segment, to know whether there is any.
      while (intervals.empty() && !search->Done()) {
        samples.Drop(search->Position());
        horizon = std::max(horizon, search->Position()) + ahead;
        search->Extend(horizon, intervals, samples);
      }
    }
    if (intervals.empty()) {
      no_quiet_reason = NoQuietIntervalReason(record, filtered_window ? filtered : matrix(),
                                              channels, first, last, used.SegmentLength);
      if (!status.Gaps.empty()) {
        no_quiet_reason = MakeStatus(
            TCode::kJoinedSemicolon,
            {no_quiet_reason, MakeStatus(TCode::kGapsInData, {std::to_string(status.Gaps.size()),
                                                              GapSecondsText(status.GapSeconds)})});
      }
    }
    host.SetProgress(nchan, nchan);
  } else if (first <= last) {
    // One stretch of recorded data: from the first recorded sample of the span up to the
    // segment's length, ending before a gap.
    int64_t begin = first;
    int64_t end = std::min<int64_t>(last, first + used.SegmentLength - 1);
    auto gap = FirstRangeEndingAtOrAfter(status.Gaps, begin);
    if (gap != status.Gaps.end() && gap->first <= begin) {
      begin = int64_t{gap->second} + 1;
      end = std::min<int64_t>(last, begin + used.SegmentLength - 1);
      ++gap;
    }
    if (gap != status.Gaps.end()) end = std::min<int64_t>(end, int64_t{gap->first} - 1);
    if (begin <= end) {
      intervals.emplace_back(static_cast<int32_t>(begin), static_cast<int32_t>(end));
      used.SegmentLength = static_cast<int32_t>(end - begin + 1);
    }
  }
  status.Used = used;

  if (intervals.empty()) {
    Fail(status, TSpectraOutcome::kNoQuietInterval,
         no_quiet_reason.Ok()
             ? MakeStatus(TCode::kNotEnoughData, {station})
             : MakeStatus(TCode::kNotEnoughDataBecause, {station, no_quiet_reason}),
         host);
    return status;
  }

  const int64_t N = used.SegmentLength;
  const int64_t M = used.TransformLength;
  const int64_t D = used.DataOffset;
  const size_t lines = static_cast<size_t>(M / 2 + 1);
  mean.assign(channel_count, std::vector<double>(lines, 0.0));
  stdev.assign(channel_count, std::vector<double>(lines, 0.0));
  // The end of the last interval, or of the span while the search is still going on.
  const int progress_max = ToInt(search ? last : intervals.back().second);
  host.SetStatus(MakeStatus(TCode::kCalculatingSpectra, {station}), progress_max);

  // One window and one transform serve every segment. The transform is told how many segments
  // it will take, so that a long run gets a measured plan. Its input keeps the zeros around the
  // data (before DataOffset and after the segment), which the transform leaves as they are.
  std::vector<double> window(static_cast<size_t>(M));
  FillWindow(window, used.WindowType, used.B);
  int64_t transforms = 0;
  if (search) {
    transforms = (last - first + 1) / N;  // at most
  } else {
    for (const auto& [a, b] : intervals) {
      transforms += std::max<int64_t>(0, (std::min<int64_t>(b, count - 1) - a + 1) / N);
    }
  }
  // When the search tests plain ranges of values, the segment loop tests each new segment
  // itself while weighing it, and runs the search only from a disturbed one on; the search
  // then runs ahead as before, until the intervals it found are used up. The channels of a
  // segment are then all weighed (and tested) before any is transformed, each into an input of
  // its own; for segments so long that these inputs would take much memory the search runs
  // ahead throughout, with one input.
  const bool test_while_weighing =
      search && search->TestsPlainRanges(channels) &&
      M * static_cast<int64_t>(channels.size()) <= kMaxTestedInputSamples;
  TRealTransform transform(static_cast<size_t>(M),
                           transforms * static_cast<int64_t>(channels.size()),
                           test_while_weighing ? channels.size() : 1);
  // The input of channel channels[s], from the segment's first sample on.
  auto input = [&](size_t s) { return transform.Input(test_while_weighing ? s : 0).data() + D; };
  const bool power = used.SpectrumType == TSpectrumType::kPower;
  TBiquadCascade edge;
  if (used.EdgeEffect) DesignBandPass(used.EdgeOrder, edge, used.FMax, used.FMin, rate / 2);
  const double norm = used.Normalization;

  // A hook sees each segment divided by the chain as the averages are at the end: the factor
  // Normalization/h of every line, 0 where h is unusable.
  TMatrix2D segment, scale;
  if (hook) {
    segment.resize(channel_count);
    scale.resize(channel_count);
    for (int c : channels) {
      segment[c].assign(lines, 0.0);
      scale[c].resize(lines);
      for (size_t k = 0; k < lines; ++k) {
        const double h = ChainCorrection(chains[c], record.Channels[c].ADCCoef, used, edge, rate,
                                         LineFrequency(static_cast<int64_t>(k), M, rate));
        scale[c][k] = h < kTiny ? 0.0 : norm / h;
      }
    }
  }

  std::vector<std::pair<int32_t, int32_t>> quiet(channels.size());
  if (search) {
    for (size_t s = 0; s < channels.size(); ++s) {
      quiet[s] = search->QuietRange(static_cast<size_t>(channels[s]));
    }
  }
  // The first sample of the segment already weighed into the inputs, or -1.
  int64_t weighed = -1;

  int64_t K = 0;
  bool stopped = false;
  // Segment after segment of the intervals (v: the next segment's first sample in interval i),
  // the search extended whenever the intervals found so far are used up.
  size_t i = 0;
  int64_t v = -1;
  for (;;) {
    if (i < intervals.size()) {
      v = std::max<int64_t>(v, intervals[i].first);
      if (v + N - 1 > intervals[i].second || v + N > count) {
        if (i + 1 < intervals.size()) {
          ++i;
          continue;
        }
        if (!search || search->Done()) break;
      }
    }
    if (i >= intervals.size() || v + N - 1 > intervals[i].second || v + N > count) {
      if (!search || search->Done()) break;
      const int64_t p = search->Position();
      samples.Drop(std::min(v, p));
      if (test_while_weighing && search->NextSegmentInSpan()) {
        samples.Fill(p + N);
        bool all_quiet = true;
        for (size_t s = 0; s < channels.size() && all_quiet; ++s) {
          all_quiet =
              WeighQuiet(input(s), window.data() + D,
                         samples.Row(static_cast<size_t>(channels[s])) + (p - samples.Base()), N,
                         quiet[s].first, quiet[s].second);
        }
        if (all_quiet) {
          search->TakeSegment(intervals);
          weighed = p;
          continue;
        }
      }
      horizon = std::max(horizon, p) + ahead;
      search->Extend(horizon, intervals, samples);
      continue;
    }
    samples.Fill(v + N);
    for (size_t s = 0; s < channels.size(); ++s) {
      const int c = channels[s];
      if (weighed != v) {
        Weigh(input(s), window.data() + D,
              samples.Row(static_cast<size_t>(c)) + (v - samples.Base()), N);
      }
      const double* x = transform.Execute(test_while_weighing ? s : 0).data();
      if (hook) {
        AddOneSided<true>(power, x, M, rate, mean[c].data(), stdev[c].data(), segment[c].data());
        for (size_t k = 0; k < lines; ++k) segment[c][k] *= scale[c][k];
      } else {
        AddOneSided<false>(power, x, M, rate, mean[c].data(), stdev[c].data(), nullptr);
      }
    }
    if (hook && !hook(TSegmentSpectra{
                    static_cast<int32_t>(std::min<int64_t>(K, std::numeric_limits<int32_t>::max())),
                    v, N, rate / static_cast<double>(M), segment})) {
      stopped = true;
      break;
    }
    weighed = -1;
    ++K;
    host.SetProgress(ToInt(v + N), progress_max);
    host.ProcessEvents();
    if (host.StopRequested()) {
      stopped = true;
      break;
    }
    v += N;
  }
  status.Segments = static_cast<int32_t>(std::min<int64_t>(K, std::numeric_limits<int32_t>::max()));
  if (stopped) return Stopped(std::move(status), host);
  if (K == 0) {
    // Intervals cut to the samples present may hold no whole segment.
    mean.clear();
    stdev.clear();
    Fail(status, TSpectraOutcome::kNoQuietInterval,
         MakeStatus(TCode::kNotEnoughDataBecause,
                    {station, NoQuietIntervalReason(record, matrix(), {}, first,
                                                    std::min(last, count - 1), N)}),
         host);
    return status;
  }

  host.SetStatus(MakeStatus(TCode::kApplyingResponses, {station}), nchan);
  const auto Kd = static_cast<double>(K);
  for (int c : channels) {
    std::vector<double>& s = mean[c];
    std::vector<double>& q = stdev[c];
    for (size_t k = 0; k < lines; ++k) {
      const double f = LineFrequency(static_cast<int64_t>(k), M, rate);
      const double h = ChainCorrection(chains[c], record.Channels[c].ADCCoef, used, edge, rate, f);
      if (h < kTiny) {
        s[k] = q[k] = 0.0;
        continue;
      }
      const double var = Kd * q[k] - s[k] * s[k];
      q[k] = K > 1 && var >= 0.0 ? std::sqrt(var / (Kd - 1.0) / Kd) * norm / h : 0.0;
      s[k] = s[k] / Kd * norm / h;
    }
    if (used.EstimationType == TEstimationType::kDaniell)
      DaniellSmooth(s, q, used.DanielWin, used.SegmentLength, rate);
    host.SetProgress(c + 1, nchan);
  }
  host.SetStage(MakeStatus(TCode::kSpectraCalculated));
  host.SetProgress(nchan, nchan);
  return status;
}

}  // namespace

void FindQuietIntervals(const TData32& samples, std::span<const int32_t> level,
                        std::span<const bool> selected, TRecordRanges& intervals,
                        const TSpectrumSettings& settings, int64_t first, int64_t last,
                        std::span<const TRecordRanges> unread) {
  intervals.clear();
  SampleWindow window(samples);
  QuietSearch search(window.Sizes(), level, selected, settings, first, last, unread);
  search.Extend(std::numeric_limits<int64_t>::max(), intervals, window);
}

void DaniellSmooth(std::span<double> mean, std::span<double> stdev, int32_t window,
                   int32_t segment_length, double rate) {
  const int64_t L = static_cast<int64_t>(std::min(mean.size(), stdev.size()));
  const int64_t m = std::max<int32_t>(window, 1);
  if (L < 1) return;
  const double spread = kTwoPi * rate / (static_cast<double>(m) / 2.0) /
                        static_cast<double>(std::max<int32_t>(segment_length, 1));
  int64_t e = 1;
  for (int64_t i = 1; i + m < L; ++i, ++e) {
    double sum = 0.0;
    for (int64_t k = i; k < i + m; ++k) sum += mean[k];
    mean[i] = sum / static_cast<double>(m);
    stdev[i] = std::sqrt(mean[i] * spread);
  }
  for (int64_t i = e; i < L; ++i) {
    mean[i] = mean[e - 1];
    stdev[i] = stdev[e - 1];
  }
  const int64_t h = m / 2;
  for (int64_t j = L - 1 - m; j >= 1; --j) {
    mean[j + h] = mean[j];
    stdev[j + h] = stdev[j];
  }
  for (int64_t j = 2; j <= h && j < L; ++j) {
    mean[j] = mean[1];
    stdev[j] = stdev[1];
  }
}

double ChainCorrection(const TCombinedFilter& chain, double adc_coef,
                       const TSpectrumSettings& settings, const TBiquadCascade& edge_filter,
                       double rate, double f) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  // A negative ADC coefficient only reverses the polarity; taken as it is, it would make h
  // negative and every line of the channel 0.
  double h = ResponseModulus(EvaluateChain(chain, f)) * std::fabs(adc_coef) * settings.UnitCoef;
  if (settings.EdgeEffect) h /= ResponseModulus(EvaluateDigitalSections(edge_filter, rate, f));
  if (settings.UnitOut == 0) {
    h *= kTwoPi * f;
  } else if (settings.UnitOut == 2) {
    h /= kTwoPi * f;
  }
  if (settings.SpectrumType == TSpectrumType::kPower) h *= h;
  return std::isfinite(h) ? h : kInf;
}

TStatus GapStatus(const std::string& station, const TSpectraStatus& status) {
  if (status.Gaps.empty()) return {};
  return MakeStatus(TCode::kGapsLeftOut, {station, std::to_string(status.Gaps.size()),
                                          GapSecondsText(status.GapSeconds)});
}

std::string GapMessage(const std::string& station, const TSpectraStatus& status) {
  const TStatus gaps = GapStatus(station, status);
  return gaps.Ok() ? std::string() : Text(gaps, TLanguage::kRussian);
}

TStatus LoadRecordChain(const TFileRecord& record, int c, TCombinedFilter& chain) {
  chain.clear();
  if (c < 0 || c >= record.ChannelCount()) {
    return MakeStatus(TCode::kResponseNotLoaded,
                      {record.Station, std::to_string(c + 1), "", "no such channel"});
  }
  const TStatus loaded = LoadChannelChain(
      NativePath(record.Channels[c].ChannelResp), NativePath(record.Channels[c].SensorResp),
      NativePath(record.Channels[c].AmplifierResp), chain, record.Start);
  if (loaded.Ok()) return loaded;
  TStatus status = MakeStatus(TCode::kResponseNotLoaded, {record.Station, std::to_string(c + 1),
                                                          record.Channels[c].Channel, loaded});
  status.File = loaded.File;
  status.Line = loaded.Line;
  status.Channel = c;
  return status;
}

TSpectraStatus CalculateSpectraOfSamples(const TFileRecord& record, const TData32& samples,
                                         const TSpectrumSettings& settings, TDateTime select_start,
                                         TDateTime select_finish, UiHost& host, TMatrix2D& mean,
                                         TMatrix2D& stdev, const TSegmentHook& hook,
                                         std::span<const TRecordRanges> unread) {
  mean.clear();
  stdev.clear();
  TSpectraStatus status;
  std::vector<TCombinedFilter> chains;
  if (!LoadChains(record, SelectedChannels(record, samples.size()), chains, status, host)) {
    return status;
  }
  SampleWindow window(samples);
  return Compute(record, window, &samples, settings, select_start, select_finish, host, mean, stdev,
                 chains, hook, unread, {});
}

TSpectraStatus CalculateSpectra(TFileRecord& record, const TSpectrumSettings& settings,
                                TDateTime select_start, TDateTime select_finish,
                                double default_rate, UiHost& host, TMatrix2D& mean,
                                TMatrix2D& stdev, const TSegmentHook& hook, HeaderCache* headers,
                                const HorizontalTurn& turn) {
  mean.clear();
  stdev.clear();
  TSpectraStatus status;
  std::vector<TCombinedFilter> chains;
  if (!LoadChains(record, SelectedChannels(record, kMaxChannels), chains, status, host)) {
    return status;
  }
  LoadSettings load;
  load.DefaultRate = default_rate;
  load.Headers = headers;
  load.Turn = turn;
  // The caller clears the stop flag when a run starts; clearing it here would swallow a stop
  // meant for every record computed at the same time.
  load.ClearStop = false;
  LoadReport report;
  // The record is read in blocks; a calculation that needs the whole matrix gets it joined.
  RecordBlocks blocks;
  const bool loaded = blocks.Open(record, host, load, &report);
  if (host.StopRequested()) return Stopped(std::move(status), host);
  if (!loaded || blocks.Channels() == 0 || blocks.Count() == 0) {
    Fail(status, TSpectraOutcome::kLoadFailed,
         MakeStatus(TCode::kRecordUnreadable, {record.Station, record.File}), host);
    return status;
  }
  if (!SearchesAhead(settings, record.SampRate)) {
    const TData32 samples = blocks.ReadAll();
    SampleWindow window(samples);
    return Compute(record, window, &samples, settings, select_start, select_finish, host, mean,
                   stdev, chains, hook, report.Unread, {});
  }
  SampleWindow window(blocks);
  const TWholeSamples load_whole = [&record, &host, &load] {
    TFileRecord again = record;
    TData32 samples;
    LoadRecord(again, samples, host, load);
    return samples;
  };
  return Compute(record, window, nullptr, settings, select_start, select_finish, host, mean, stdev,
                 chains, hook, report.Unread, load_whole);
}

}  // namespace tarvik

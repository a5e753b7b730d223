#include "viewers/preview_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "common/date_text.h"
#include "common/rounding.h"
#include "common/ui_host.h"
#include "records/load_record.h"
#include "response/biquad.h"
#include "spectral/bandpass.h"
#include "spectral/spectrum_engine.h"

namespace tarvik {

namespace {

// sum / n rounded to the nearest integer, ties to even.
int64_t RoundedMean(int64_t sum, int64_t n) {
  int64_t mean = sum / n;
  const int64_t rest = sum % n;
  const int64_t twice = 2 * (rest < 0 ? -rest : rest);
  if (twice > n || (twice == n && mean % 2 != 0)) mean += sum < 0 ? -1 : 1;
  return mean;
}

int64_t LargestMagnitude(const TSampleSummary& s) {
  const int64_t m = std::max(std::abs(int64_t{s.Minimum}), std::abs(int64_t{s.Maximum}));
  return std::min<int64_t>(m, std::numeric_limits<int32_t>::max());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Opening

TPreviewModel::Held TPreviewModel::KeyOf(const TFileRecord& record,
                                         const TPreviewOptions& options) const {
  Held key;
  key.Path = record.File;
  std::error_code ec;
  key.Written = std::filesystem::last_write_time(record.File, ec);
  key.Start = record.Start;
  key.FinishGiven = record.Finish;
  key.DefaultRate = options.DefaultRate;
  key.Filtered = options.Settings.NoiseFilter;
  if (key.Filtered) {
    key.Order = options.Settings.NoiseOrder;
    key.Fmin = options.Settings.NoiseFMin;
    key.Fmax = options.Settings.NoiseFMax;
  }
  return key;
}

// The held samples serve again only for the same file over the same span with the same filter:
// a record combined with a later one keeps its File but not its Finish, and reusing the shorter
// samples would cut its Finish back on "Ok".
bool TPreviewModel::SameSamples(const Held& key) const {
  const Held& h = held_;
  return !h.Path.empty() && key.Path == h.Path && key.Written == h.Written &&
         key.Start == h.Start &&
         (key.FinishGiven == h.FinishGiven || key.FinishGiven == h.FinishShown) &&
         key.DefaultRate == h.DefaultRate && key.Filtered == h.Filtered && key.Order == h.Order &&
         key.Fmin == h.Fmin && key.Fmax == h.Fmax;
}

bool TPreviewModel::OpenRecord(const TFileRecord& record, const TPreviewOptions& options,
                               UiHost& host) {
  EndDrags();
  record_ = record;
  options_ = options;
  std::error_code ec;
  if (record.File.empty() || !std::filesystem::exists(record.File, ec) ||
      std::filesystem::is_directory(record.File, ec)) {
    TStatus missing = MakeStatus(TCode::kFileNotFound, {record.File});
    missing.File = record.File;
    host.ShowError(missing);
    Release();
    return false;
  }
  caption_ = record.Station + " - " + ShownDateTime(record.Start);

  Held key = KeyOf(record, options);
  if (SameSamples(key)) {
    record_.SampRate = held_.Rate;
    Prepare();
    return true;
  }

  Release();
  loading_ = true;
  TData32 data;
  LoadSettings load;
  load.DefaultRate = options.DefaultRate;
  LoadReport report;
  // The record is read in blocks, each summarised into the pyramids as it arrives, while it
  // is still in the cache. A filtered search needs whole channels: they are filtered first and
  // summarised after, as is a record the blocks could only load whole.
  RecordBlocks blocks;
  const bool loaded = blocks.Open(record_, host, load, &report);
  bool stopped = host.StopRequested();
  std::vector<TSamplePyramid> pyramids;
  const bool filtered = options.Settings.NoiseFilter;
  const bool summarised_after = filtered || !blocks.Streaming();
  if (loaded && !stopped && summarised_after) {
    data = blocks.ReadAll();
  } else if (loaded && !stopped) {
    const auto channels = static_cast<size_t>(blocks.Channels());
    data.resize(channels);
    pyramids.resize(channels);
    for (size_t c = 0; c < channels; ++c) {
      data[c].reserve(static_cast<size_t>(blocks.Count()));
      pyramids[c].Reserve(blocks.Count());
    }
    RecordBlock block;
    while (!stopped && blocks.Next(block)) {
      for (size_t c = 0; c < channels && c < block.Samples.size(); ++c) {
        data[c].insert(data[c].end(), block.Samples[c].begin(), block.Samples[c].end());
        pyramids[c].Append(block.Samples[c]);
      }
      host.ProcessEvents();
      stopped = host.StopRequested();
    }
    for (TSamplePyramid& pyramid : pyramids) pyramid.Finish();
  }
  if (loaded && !stopped && filtered && !data.empty()) {
    // The search for disturbances runs on a zero-phase band-passed copy, as in the spectrum
    // calculation, so the preview shows the intervals the calculation will use.
    const double rate = record_.SampRate;
    TBiquadCascade noise;
    DesignBandPass(options.Settings.NoiseOrder / 2, noise,
                   std::min(options.Settings.NoiseFMax, 0.99 * rate / 2),
                   options.Settings.NoiseFMin, rate / 2);
    const int channels = static_cast<int>(data.size());
    host.SetStatus(MakeStatus(TCode::kFindingDisturbances, {record_.Station}), channels);
    std::vector<int32_t> out;
    std::vector<double> workspace;
    for (int c = 0; c < channels && !stopped; ++c) {
      std::vector<int32_t>& channel = data[static_cast<size_t>(c)];
      const size_t length = channel.size();
      FilterSamples(channel, noise, true, out, workspace);
      out.resize(length);  // the four zeros after the samples are the filter's, not the record's
      channel.swap(out);
      host.SetProgress(c + 1, channels);
      host.ProcessEvents();
      stopped = host.StopRequested();
    }
  }
  loading_ = false;
  if (stopped) {
    Release();
    return false;
  }
  if (!loaded || data.empty() || data[0].empty()) {
    host.ShowError(MakeStatus(TCode::kRecordUnreadable, {record.Station, record.File}));
    Release();
    return false;
  }
  samples_ = std::move(data);
  unread_ = std::move(report.Unread);
  held_ = key;
  held_.Rate = record_.SampRate;
  if (summarised_after) {
    pyramids_.resize(samples_.size());
    for (size_t c = 0; c < samples_.size(); ++c) pyramids_[c].Build(samples_[c]);
  } else {
    pyramids_ = std::move(pyramids);
  }
  Prepare();
  held_.FinishShown = record_.Finish;
  return true;
}

void TPreviewModel::ShowSamples(const TFileRecord& record, TData32 samples,
                                const TPreviewOptions& options, TChannelRanges unread) {
  EndDrags();
  Release();
  record_ = record;
  options_ = options;
  caption_ = record.Station + " - " + ShownDateTime(record.Start);
  samples_ = std::move(samples);
  unread_ = std::move(unread);
  pyramids_.resize(samples_.size());
  for (size_t c = 0; c < samples_.size(); ++c) pyramids_[c].Build(samples_[c]);
  Prepare();
}

void TPreviewModel::Release() {
  samples_ = TData32();
  unread_ = TChannelRanges();
  pyramids_ = std::vector<TSamplePyramid>();
  held_ = Held{};
  scales_.clear();
  shown_.clear();
  quiet_.clear();
  disturbed_.clear();
  quiet_samples_ = 0;
  silence_label_.clear();
  view_first_ = view_last_ = 0;
  loading_ = false;
}

void TPreviewModel::Prepare() {
  const TPreviewOptions& options = options_;
  const int64_t count = samples_.empty() ? 0 : static_cast<int64_t>(samples_[0].size());
  record_.SampleCount = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
  const double rate = record_.SampRate;
  if (rate > 0.0) record_.Finish = record_.Start + SpanOfSamples(record_.SampleCount, rate);

  shown_.clear();
  const size_t channels =
      std::min({samples_.size(), record_.Channels.size(), size_t{kMaxChannels}});
  for (size_t c = 0; c < channels; ++c) {
    if (record_.Channels[c].Selected && !samples_[c].empty()) shown_.push_back(static_cast<int>(c));
  }

  // The segment length of the calculation itself where the settings give one: a power of two
  // for the FFT, the plain length when the segment is filled with zeros or transformed by the
  // DFT. Settings that give no segment fall back to the power of two of SilenceDur.
  TSpectrumSettings geometry = options.Settings;
  if (rate > 0.0 && DeriveGeometry(geometry, rate)) {
    segment_ = std::max(geometry.SegmentLength, 1);
  } else {
    const int64_t p = NextPowerOfTwo(RoundToInt64(rate * options.Settings.SilenceDur));
    segment_ = static_cast<int32_t>(std::clamp<int64_t>(p == 0 ? 1 : p, 1, INT32_MAX));
  }
  gap_ = std::max(0, RoundToInt32Clamped(rate * options.Settings.NoiseDur));

  SetView(0, count - 1);
  RecomputeQuiet();
}

size_t TPreviewModel::PyramidBytes() const {
  size_t bytes = 0;
  for (const TSamplePyramid& p : pyramids_) bytes += p.MemoryBytes();
  return bytes;
}

// ---------------------------------------------------------------------------------------------
// View and scales

TSampleSummary TPreviewModel::Summarize(int c, int64_t first, int64_t last) const {
  if (c < 0 || static_cast<size_t>(c) >= samples_.size()) return {};
  const auto i = static_cast<size_t>(c);
  return pyramids_[i].Summarize(samples_[i], first, last);
}

void TPreviewModel::SetView(int64_t first, int64_t last) {
  const int64_t n = SampleCount();
  if (n <= 0) {
    view_first_ = view_last_ = 0;
  } else {
    view_first_ = std::clamp<int64_t>(first, 0, n - 1);
    view_last_ = std::clamp<int64_t>(last, view_first_, n - 1);
  }
  ComputeScales();
}

void TPreviewModel::ComputeScales() {
  scales_.assign(samples_.size(), TChannelScale{});
  for (size_t c = 0; c < samples_.size(); ++c) {
    const TSampleSummary s = Summarize(static_cast<int>(c), view_first_, view_last_);
    if (s.Count == 0) continue;
    scales_[c] = TChannelScale{s.Minimum, s.Maximum, RoundedMean(s.Sum, s.Count)};
  }
  // One amplitude scale for every strip, each centred on its own mean.
  if (shown_.empty()) return;
  int64_t lo = std::numeric_limits<int64_t>::max(), hi = std::numeric_limits<int64_t>::min();
  for (int c : shown_) {
    lo = std::min(lo, scales_[c].Minimum);
    hi = std::max(hi, scales_[c].Maximum);
  }
  for (int c : shown_) {
    scales_[c].Minimum = lo;
    scales_[c].Maximum = hi;
  }
}

// ---------------------------------------------------------------------------------------------
// Geometry

void TPreviewModel::SetArea(int width, int height) {
  width_ = std::max(width, 1);
  height_ = std::max(height, 1);
}

int64_t TPreviewModel::IndexOfTime(TDateTime t) const {
  return RoundToInt64((t - record_.Start) * kSecondsPerDay * record_.SampRate);
}

TDateTime TPreviewModel::TimeOfIndex(double index) const {
  if (!(record_.SampRate > 0.0)) return record_.Start;
  return record_.Start + index / record_.SampRate / kSecondsPerDay;
}

double TPreviewModel::ExactXOfIndex(double a) const {
  if (view_last_ == view_first_) return 0.0;
  return static_cast<double>(width_ - 1) / static_cast<double>(view_last_ - view_first_) *
         (a - static_cast<double>(view_first_));
}

int64_t TPreviewModel::XOfIndex(int64_t a) const {
  return RoundToInt64(ExactXOfIndex(static_cast<double>(a)));
}

TDateTime TPreviewModel::TimeOfX(int x) const {
  const double span = static_cast<double>(view_last_ - view_first_);
  const double fraction = width_ > 1 ? static_cast<double>(x) / (width_ - 1) : 0.0;
  return TimeOfIndex(fraction * span + static_cast<double>(view_first_));
}

int64_t TPreviewModel::IndexOfX(int x) const {
  if (width_ <= 1 || view_last_ == view_first_) return view_first_;
  const double span = static_cast<double>(view_last_ - view_first_);
  const int64_t i =
      RoundToInt64(static_cast<double>(x) / (width_ - 1) * span + static_cast<double>(view_first_));
  return std::clamp(i, view_first_, view_last_);
}

namespace {
int StripHeight(int height, size_t strips) {
  return std::max(1, height / static_cast<int>(std::max<size_t>(strips, 1)));
}
}  // namespace

int TPreviewModel::StripAt(int y) const {
  if (shown_.empty() || y < 0) return -1;
  const int k = y / StripHeight(height_, shown_.size());
  return k < static_cast<int>(shown_.size()) ? k : -1;
}

int TPreviewModel::StripTop(int k) const {
  return k * StripHeight(height_, shown_.size());
}

int TPreviewModel::StripBottom(int k) const {
  return StripTop(k) + StripHeight(height_, shown_.size()) - 1;
}

int64_t TPreviewModel::YOfValue(int k, int64_t v) const {
  const TChannelScale& s = scales_[static_cast<size_t>(shown_[static_cast<size_t>(k)])];
  const int top = StripTop(k), bottom = StripBottom(k);
  const double h = bottom - top;
  const double range = static_cast<double>(std::max<int64_t>(s.Maximum - s.Minimum, 1));
  return bottom - RoundToInt64(static_cast<double>(v - s.Mean) * h / range + (h - 1.0) / 2.0);
}

// ---------------------------------------------------------------------------------------------
// Quiet intervals

std::pair<int64_t, int64_t> TPreviewModel::Span() const {
  return {std::max<int64_t>(0, IndexOfTime(record_.SelectStart)),
          std::min<int64_t>(IndexOfTime(record_.SelectFinish), SampleCount() - 1)};
}

void TPreviewModel::RecomputeQuiet() {
  quiet_.clear();
  disturbed_.clear();
  quiet_samples_ = 0;
  const auto [first, last] = Span();
  if (first <= last && !samples_.empty()) {
    TSpectrumSettings search = options_.Settings;
    search.SegmentLength = segment_;
    search.NoiseGap = gap_;
    FindQuietIntervals(samples_, ChannelLevels(record_), SelectedChannels(record_), quiet_, search,
                       first, last, unread_);
    int64_t cursor = first;
    for (const auto& [a, b] : quiet_) {
      quiet_samples_ += int64_t{b} - a + 1;
      if (a > cursor) disturbed_.emplace_back(static_cast<int32_t>(cursor), a - 1);
      cursor = int64_t{b} + 1;
    }
    if (cursor <= last) {
      disturbed_.emplace_back(static_cast<int32_t>(cursor), static_cast<int32_t>(last));
    }
  }
  // The length of time is given with its whole days: a quiet sum of a day or more is not
  // wrapped round to a time of day.
  const double rate = record_.SampRate > 0.0 ? record_.SampRate : 1.0;
  const double share = SampleCount() > 0 ? static_cast<double>(quiet_samples_) /
                                               static_cast<double>(SampleCount()) * 100.0
                                         : 0.0;
  char percent[64];
  std::snprintf(percent, sizeof percent, " (%1.0f%%)", share);
  silence_amount_ =
      SelectionLengthText(static_cast<double>(quiet_samples_) / rate / kSecondsPerDay) + percent;
  silence_label_ = "Тишина: " + silence_amount_;
}

TRecordRanges TPreviewModel::GapIntervals() const {
  std::vector<TRecordRanges> shown;
  for (int c : shown_) {
    if (static_cast<size_t>(c) < unread_.size()) shown.push_back(unread_[static_cast<size_t>(c)]);
  }
  return UnionOf(shown);
}

// ---------------------------------------------------------------------------------------------
// Keys, buttons, modes

TKeyOutcome TPreviewModel::PressKey(TPreviewKey key) {
  TKeyOutcome out;
  const int64_t n = SampleCount();
  const int64_t a = view_first_, b = view_last_, w = b - a;
  const int64_t h = std::max<int64_t>(1, w / 2);
  auto view = [&](int64_t first, int64_t last) {
    if (n <= 0) return;
    SetView(first, last);
    out.Redraw = true;
  };
  auto rescale = [&](bool narrow) {
    for (TChannelScale& s : scales_) {
      const int64_t step = (s.Maximum - s.Minimum) / 10;
      if (narrow) {
        s.Minimum += step;
        s.Maximum -= step;
      } else {
        s.Minimum = std::min(s.Minimum - step, s.Mean - 1);
        s.Maximum = std::max(s.Maximum + step, s.Mean + 1);
      }
    }
    out.Redraw = true;
  };
  switch (key) {
    case TPreviewKey::kHome:
      view(0, w);
      break;
    case TPreviewKey::kEnd:
      view(n - 1 - w, n - 1);
      break;
    case TPreviewKey::kShiftLeft:
      if (a - h < 0) {
        view(0, w);
      } else {
        view(a - h, b - h);
      }
      break;
    case TPreviewKey::kShiftRight:
      if (b + h > n - 1) {
        view(n - 1 - w, n - 1);
      } else {
        view(a + h, b + h);
      }
      break;
    case TPreviewKey::kZoomIn: {
      // A view of two samples or fewer cannot narrow from both ends.
      const int64_t d = std::max<int64_t>(1, w / 4);
      if (a + d <= b - d) view(a + d, b - d);
      break;
    }
    case TPreviewKey::kZoomOut:
      view(std::max<int64_t>(0, a - h), std::min(n - 1, b + h));
      break;
    case TPreviewKey::kNarrowRange:
      rescale(true);
      break;
    case TPreviewKey::kWidenRange:
      rescale(false);
      break;
    case TPreviewKey::kArrowLeft:
      out.Beep = true;
      break;
  }
  return out;
}

void TPreviewModel::SelectFromStart() {
  record_.SelectStart = record_.Start;
  RecomputeQuiet();
}

void TPreviewModel::SelectToFinish() {
  record_.SelectFinish = record_.Finish;
  RecomputeQuiet();
}

void TPreviewModel::SetMode(TPreviewMode mode) {
  mode_ = mode;
  EndDrags();
}

std::string TPreviewModel::ModeHint() const {
  switch (mode_) {
    case TPreviewMode::kInterval:
      return kIntervalModeHint;
    case TPreviewMode::kLevel:
      return kLevelModeHint;
    case TPreviewMode::kNone:
      break;
  }
  return kPreviewHint;
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TPreviewModel::EndDrags() {
  zoom_drag_ = false;
  level_drag_ = false;
}

void TPreviewModel::SetLevelsFrom(int64_t first, int64_t last) {
  for (int c : shown_) {
    record_.Channels[static_cast<size_t>(c)].Level =
        static_cast<int32_t>(LargestMagnitude(Summarize(c, first, last)));
  }
}

bool TPreviewModel::MousePress(TPreviewButton button, int x, int /*y*/) {
  mouse_x_ = x;
  if (SampleCount() <= 0) return false;
  switch (mode_) {
    case TPreviewMode::kInterval:
      // The span changes, so do the quiet intervals that the silence label counts.
      (button == TPreviewButton::kLeft ? record_.SelectStart : record_.SelectFinish) = TimeOfX(x);
      RecomputeQuiet();
      return true;
    case TPreviewMode::kLevel:
      if (button != TPreviewButton::kLeft) return false;
      level_drag_ = true;
      anchor_x_ = x;
      anchor_index_ = IndexOfX(x);
      return true;
    case TPreviewMode::kNone:
      if (!zoom_drag_) return false;
      zoom_drag_ = false;
      if (button == TPreviewButton::kLeft) {
        if (x < anchor_x_) {
          SetView(0, SampleCount() - 1);
        } else {
          SetView(anchor_index_, IndexOfX(x));
        }
      }
      return true;
  }
  return false;
}

bool TPreviewModel::MouseDoubleClick(int x, int /*y*/) {
  mouse_x_ = x;
  if (mode_ != TPreviewMode::kNone || SampleCount() <= 0) return false;
  zoom_drag_ = true;
  anchor_x_ = x;
  anchor_index_ = IndexOfX(x);
  return true;
}

bool TPreviewModel::MouseMove(int x, int /*y*/) {
  mouse_x_ = x;
  return zoom_drag_ || level_drag_;
}

bool TPreviewModel::MouseRelease(TPreviewButton button, int x, int /*y*/) {
  mouse_x_ = x;
  if (!level_drag_ || button != TPreviewButton::kLeft) return false;
  level_drag_ = false;
  const int64_t end = IndexOfX(x);
  if (anchor_index_ < end) {
    SetLevelsFrom(anchor_index_, end);
    RecomputeQuiet();
  }
  return true;
}

std::optional<std::pair<int, int>> TPreviewModel::DragColumns() const {
  if (!zoom_drag_ && !level_drag_) return std::nullopt;
  return std::make_pair(anchor_x_, mouse_x_);
}

std::string TPreviewModel::StatusText(int x, int y) const {
  const int64_t index = IndexOfX(x);
  int64_t value = 0;
  const int k = StripAt(y);
  if (k >= 0) {
    const std::vector<int32_t>& channel = samples_[static_cast<size_t>(shown_[k])];
    if (index >= 0 && index < static_cast<int64_t>(channel.size())) {
      value = channel[static_cast<size_t>(index)];
    }
  }
  char tail[96];
  std::snprintf(tail, sizeof tail, " | отсчет %lld, значение %lld", static_cast<long long>(index),
                static_cast<long long>(value));
  return ShownDateTimeMs(TimeOfX(x)) + tail;
}

}  // namespace tarvik

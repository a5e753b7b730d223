#pragma once

// The waveform preview of one record: its samples channel above channel, the processing
// interval (SelectStart..SelectFinish), each channel's admissible level, and the quiet and
// disturbed intervals those leave for the spectrum calculation. The window only forwards keys,
// clicks and its size here and paints the picture built from this state.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/datetime.h"
#include "records/record_model.h"
#include "records/sample_ranges.h"
#include "spectral/spectrum_settings.h"
#include "viewers/preview_pyramid.h"

namespace tarvik {

class UiHost;

inline constexpr char kPreviewCaption[] = "Установка ограничений";
inline constexpr char kPreviewHint[] = "Выберите режим";
inline constexpr char kIntervalModeCaption[] = "Интервал для обработки";
inline constexpr char kLevelModeCaption[] = "Интервал с допустимым уровнем шума";
inline constexpr char kIntervalModeHint[] = "Режим выбора интервала времени для обработки";
inline constexpr char kLevelModeHint[] = "Режим выбора интервала с допустимым уровнем шума";
inline constexpr char kFromStartCaption[] = "| <-";
inline constexpr char kToFinishCaption[] = "-> |";
// The status read-out's time: "2024.05.14 00:12:03.250".
inline constexpr char kPreviewTimeFormat[] = "yyyy.mm.dd hh:nn:ss.zzz";

enum class TPreviewMode { kNone, kInterval, kLevel };

enum class TPreviewKey {
  kHome,         // the view's width from the first sample
  kEnd,          // the view's width up to the last sample
  kShiftLeft,    // ","  ("<")
  kShiftRight,   // "."  (">")
  kZoomIn,       // I
  kZoomOut,      // O
  kNarrowRange,  // numeric plus: taller traces
  kWidenRange,   // numeric minus: flatter traces
  kArrowLeft,    // beeps
};

enum class TPreviewButton { kLeft, kRight };

// The amplitude range of one channel's strip: minimum and maximum shared by every shown
// channel, mean the channel's own over the visible samples.
struct TChannelScale {
  int64_t Minimum = -1;
  int64_t Maximum = 1;
  int64_t Mean = 0;
};

// What the caller hands over besides the record: the settings set chosen by the record's
// IsEvent flag (the noise filter, SilenceDur and NoiseDur as the settings page holds them, and
// the segment geometry of the calculation) and the SampRateDefault setting.
struct TPreviewOptions {
  TSpectrumSettings Settings;
  double DefaultRate = 50.0;
};

struct TKeyOutcome {
  bool Redraw = false;
  bool Beep = false;
};

class TPreviewModel {
 public:
  // Copies the record in and shows it. A missing file is told as "Файл PATH не найден" and
  // a file that gives no samples as the spectrum calculation tells it; both return false with
  // nothing held. The samples are loaded (and band-passed when the settings' NoiseFilter is
  // on) unless the same file was shown last with the same span and filter. Loading shows its
  // progress through host; a stop request frees everything loaded and returns false.
  bool OpenRecord(const TFileRecord& record, const TPreviewOptions& options, UiHost& host);
  // Shows record with samples already in memory (one array per channel, as loading gives
  // them), as OpenRecord does after loading; unread, per channel, the samples that hold no
  // recorded data (as loading reports them).
  void ShowSamples(const TFileRecord& record, TData32 samples, const TPreviewOptions& options,
                   TChannelRanges unread = {});
  // Frees the samples and everything derived from them.
  void Release();
  // True while OpenRecord loads: a second "Показать запись" click is then a stop request.
  bool Loading() const { return loading_; }

  // The record copy with the edits made so far (SelectStart, SelectFinish, Level, Finish).
  const TFileRecord& Record() const { return record_; }
  // The file whose samples are held; empty when none are.
  const std::string& HeldPath() const { return held_.Path; }
  // "Установка ограничений" before a record is shown, then "STATION - dd.MM.yyyy h:nn:ss".
  const std::string& Caption() const { return caption_; }
  const TData32& Samples() const { return samples_; }
  // Per channel, the samples that hold no recorded data (gaps, damaged blocks, parts of files
  // that could not be read): never quiet, shaded in the picture.
  const TChannelRanges& Unread() const { return unread_; }
  // The samples some shown channel did not record, over the whole record.
  TRecordRanges GapIntervals() const;
  int64_t SampleCount() const { return record_.SampleCount; }
  // Bytes of the channels' pyramids, beside the samples' own 4 bytes each.
  size_t PyramidBytes() const;

  // --- the view: the first and last visible sample index ---
  int64_t ViewFirst() const { return view_first_; }
  int64_t ViewLast() const { return view_last_; }
  // Sets the view (clamped to the record) and recomputes the scales.
  void SetView(int64_t first, int64_t last);
  const std::vector<TChannelScale>& Scales() const { return scales_; }
  // The channels that get a strip: those with samples and ChanSelected, in channel order.
  const std::vector<int>& ShownChannels() const { return shown_; }
  // Min, max and sum of channel c's samples first..last through its pyramid.
  TSampleSummary Summarize(int c, int64_t first, int64_t last) const;

  // --- the paint area ---
  void SetArea(int width, int height);
  int AreaWidth() const { return width_; }
  int AreaHeight() const { return height_; }

  // --- conversions; x runs over the area's pixel columns 0 .. width - 1 ---
  // round((t - Start) * 86400 * SampRate), not clamped.
  int64_t IndexOfTime(TDateTime t) const;
  TDateTime TimeOfIndex(double index) const;
  // The pixel of sample index a (0 for a one-sample view); not clamped to the area.
  double ExactXOfIndex(double a) const;
  int64_t XOfIndex(int64_t a) const;
  TDateTime TimeOfX(int x) const;
  // The sample index under pixel x, clamped to the view.
  int64_t IndexOfX(int x) const;
  // The position in ShownChannels() of the strip holding pixel row y; -1 outside every strip.
  int StripAt(int y) const;
  // Pixel rows of strip k (top and bottom inclusive); all strips have the same height.
  int StripTop(int k) const;
  int StripBottom(int k) const;
  // The pixel row of value v in strip k, not clamped to the strip.
  int64_t YOfValue(int k, int64_t v) const;

  // --- quiet intervals ---
  int32_t SegmentLength() const { return segment_; }
  int32_t Gap() const { return gap_; }
  // [max(0, index of SelectStart), min(index of SelectFinish, SampleCount - 1)]; first > last
  // when the span is empty.
  std::pair<int64_t, int64_t> Span() const;
  const TRecordRanges& QuietIntervals() const { return quiet_; }
  const TRecordRanges& DisturbedIntervals() const { return disturbed_; }
  int64_t QuietSamples() const { return quiet_samples_; }
  // "Тишина: 1:23:20 (35%)": the quiet time and its share of the record.
  const std::string& SilenceLabel() const { return silence_label_; }
  // The same without its caption, "1:23:20 (35%)", for a line in another language.
  const std::string& SilenceAmount() const { return silence_amount_; }
  // Searches the span for quiet intervals with the current levels.
  void RecomputeQuiet();

  // --- keys, buttons and modes ---
  TKeyOutcome PressKey(TPreviewKey key);
  // "| <-": SelectStart becomes Start. "-> |": SelectFinish becomes Finish.
  void SelectFromStart();
  void SelectToFinish();
  // Turning a mode on turns the other off; either ends a drag in progress.
  void SetMode(TPreviewMode mode);
  TPreviewMode Mode() const { return mode_; }
  // Whether the status bar's panel 0 follows the hints of the controls under the mouse (no
  // mode) or keeps the mode's hint.
  bool AutomaticHints() const { return mode_ == TPreviewMode::kNone; }
  // Panel 0 while a mode is on; the window's own hint otherwise.
  std::string ModeHint() const;

  // --- the mouse; each returns true when the picture must be redrawn ---
  bool MousePress(TPreviewButton button, int x, int y);
  bool MouseDoubleClick(int x, int y);
  bool MouseMove(int x, int y);
  bool MouseRelease(TPreviewButton button, int x, int y);
  bool ZoomDragging() const { return zoom_drag_; }
  bool LevelDragging() const { return level_drag_; }
  // The focus rectangle of a drag in progress: from the anchor's column to the mouse's.
  std::optional<std::pair<int, int>> DragColumns() const;
  // Status panel 1 for the mouse at (x, y): "yyyy.mm.dd hh:nn:ss.zzz| x: INDEX y: VALUE".
  std::string StatusText(int x, int y) const;

 private:
  struct Held {
    std::string Path;
    std::filesystem::file_time_type Written{};
    TDateTime Start = 0.0;
    TDateTime FinishGiven = 0.0;  // the Finish the record came with
    TDateTime FinishShown = 0.0;  // the Finish recomputed from the samples
    double DefaultRate = 0.0;
    double Rate = 0.0;  // the sampling rate the samples were loaded with
    bool Filtered = false;
    int32_t Order = 0;
    double Fmin = 0.0, Fmax = 0.0;
  };
  Held KeyOf(const TFileRecord& record, const TPreviewOptions& options) const;
  bool SameSamples(const Held& key) const;
  void Prepare();
  void ComputeScales();
  void SetLevelsFrom(int64_t first, int64_t last);
  void EndDrags();

  TFileRecord record_;
  TPreviewOptions options_;
  std::string caption_ = kPreviewCaption;
  TData32 samples_;
  TChannelRanges unread_;
  std::vector<TSamplePyramid> pyramids_;
  Held held_;
  bool loading_ = false;

  int64_t view_first_ = 0, view_last_ = 0;
  std::vector<TChannelScale> scales_;
  std::vector<int> shown_;
  int width_ = 1, height_ = 1;

  int32_t segment_ = 1, gap_ = 0;
  TRecordRanges quiet_, disturbed_;
  int64_t quiet_samples_ = 0;
  std::string silence_label_;
  std::string silence_amount_;

  TPreviewMode mode_ = TPreviewMode::kNone;
  bool zoom_drag_ = false, level_drag_ = false;
  int anchor_x_ = 0, mouse_x_ = 0;
  int64_t anchor_index_ = 0;
};

}  // namespace tarvik

#include "viewers/preview_picture.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "common/date_text.h"
#include "common/rounding.h"
#include "viewers/preview_model.h"

namespace tarvik {

namespace {

// A pixel column of a position that may lie far outside the area, kept within [lo, hi].
int ClampedColumn(double x, int lo, int hi) {
  return static_cast<int>(
      RoundToInt64(std::clamp(x, static_cast<double>(lo) - 1.0, static_cast<double>(hi) + 1.0)));
}

// The first sample index of every pixel column 0..right + 1: starts[x] is the smallest index
// of the view whose column is x or further right (last + 1 when there is none).
std::vector<int64_t> ColumnStarts(const TPreviewModel& m, int right) {
  const int64_t f = m.ViewFirst(), l = m.ViewLast();
  std::vector<int64_t> starts(static_cast<size_t>(right) + 2, l + 1);
  starts[0] = f;
  if (l == f) return starts;
  const double per_column = static_cast<double>(l - f) / std::max(right, 1);
  for (int x = 1; x <= right + 1; ++x) {
    int64_t a = f + static_cast<int64_t>(std::ceil((x - 0.5) * per_column));
    a = std::clamp(a, f, l + 1);
    while (a > f && m.XOfIndex(a - 1) >= x) --a;
    while (a <= l && m.XOfIndex(a) < x) ++a;
    starts[static_cast<size_t>(x)] = a;
  }
  return starts;
}

// The columns of the spans of ranges that lie within the view [f, l], each at least 2 pixels
// wide; spans that fall on the same pixels become one. top and bottom are the rows filled.
void AddSpanColumns(const TPreviewModel& m, const TRecordRanges& ranges, int right, int top,
                    int bottom, std::vector<TPreviewRect>& out) {
  const int64_t f = m.ViewFirst(), l = m.ViewLast();
  const size_t first_new = out.size();
  auto it = std::lower_bound(ranges.begin(), ranges.end(), f,
                             [](const auto& r, int64_t first) { return r.second < first; });
  for (; it != ranges.end() && it->first <= l; ++it) {
    const int x1 = std::max(ClampedColumn(m.ExactXOfIndex(it->first), 0, right), 0);
    int x2 = std::min(ClampedColumn(m.ExactXOfIndex(it->second), 0, right), right);
    // Two pixels at least, so that a single sample shows; at the right edge the second pixel
    // is the one before.
    if (x2 <= x1) x2 = x1 + 1;
    if (x2 > right) x2 = right;
    const int left = x2 == x1 && x1 > 0 ? x1 - 1 : x1;
    if (out.size() > first_new && left <= out.back().Right) {
      out.back().Right = std::max(out.back().Right, x2);
    } else {
      out.push_back(TPreviewRect{left, top, x2, bottom});
    }
  }
}

// The marks of a strip's amplitude axis: offsets from the channel's mean in whole steps, as
// many as fit the strip kPreviewLevelTickSpacing pixels apart.
std::vector<TPreviewLevelTick> LevelTicks(const TPreviewModel& m, int strip,
                                          const TChannelScale& scale, int top, int bottom) {
  std::vector<TPreviewLevelTick> ticks;
  const double height = bottom - top;
  if (height < 2.0 * kPreviewLevelTickSpacing) return ticks;
  const double range = static_cast<double>(std::max<int64_t>(scale.Maximum - scale.Minimum, 1));
  const int64_t step = RoundCountStep(kPreviewLevelTickSpacing * range / height);
  const int64_t steps = static_cast<int64_t>(range / 2.0 / static_cast<double>(step));
  for (int64_t n = steps; n >= -steps; --n) {
    const int64_t value = n * step;
    const int64_t y = m.YOfValue(strip, scale.Mean + value);
    if (y < top || y > bottom) continue;
    std::string label = std::to_string(value < 0 ? -value : value);
    if (value > 0) label = "+" + label;
    if (value < 0) label = "\u2212" + label;
    ticks.push_back({static_cast<int>(y), value, label});
  }
  return ticks;
}

}  // namespace

// The marks of the time axis over columns 0..right.
static std::vector<TPreviewTick> TimeTicks(const TPreviewModel& m, int right) {
  std::vector<TPreviewTick> ticks;
  if (right <= 0) return ticks;
  const double t0 = m.TimeOfX(0) * kSecondsPerDay;
  const double t1 = m.TimeOfX(right) * kSecondsPerDay;
  if (!(t1 > t0)) return ticks;
  const double per_pixel = (t1 - t0) / right;
  // Round steps in seconds, the smallest that keeps the marks apart.
  static constexpr double kSteps[] = {0.001, 0.002, 0.005, 0.01,   0.02,  0.05, 0.1,  0.2,
                                      0.5,   1,     2,     5,      10,    15,   30,   60,
                                      120,   300,   600,   900,    1800,  3600, 7200, 10800,
                                      21600, 43200, 86400, 172800, 604800};
  double step = 0.0;
  for (double s : kSteps) {
    if (s / per_pixel >= kPreviewTickSpacing) {
      step = s;
      break;
    }
  }
  if (step == 0.0) return ticks;
  const bool fraction = step < 1.0;
  long long previous_day = std::numeric_limits<long long>::min();
  for (double t = std::ceil(t0 / step) * step; t <= t1; t += step) {
    const int x = static_cast<int>(std::lround((t - t0) / per_pixel));
    if (x < 0 || x > right) continue;
    const TDateTime at = t / kSecondsPerDay;
    const auto day = static_cast<long long>(std::floor(at));
    std::string label;
    if (day != previous_day) {
      label = fraction ? ShownDateTimeMs(at) : ShownDateTime(at);
    } else {
      label = FormatDateTime(fraction ? "hh:nn:ss.zzz" : "hh:nn:ss", at);
    }
    previous_day = day;
    ticks.push_back(TPreviewTick{x, std::move(label)});
  }
  return ticks;
}

int64_t RoundCountStep(double min_counts) {
  if (!(min_counts > 1.0)) return 1;
  if (min_counts > 1e17) return 1000000000000000000;
  int64_t power = 1;
  for (;;) {
    for (const int64_t m : {1, 2, 5}) {
      if (static_cast<double>(m * power) >= min_counts) return m * power;
    }
    power *= 10;
  }
}

TPreviewPicture BuildPreviewPicture(const TPreviewModel& m) {
  TPreviewPicture pic;
  pic.Width = m.AreaWidth();
  pic.Height = m.AreaHeight();
  const int right = pic.Width - 1;
  const int bottom_row = pic.Height - 1;
  if (m.SampleCount() <= 0) return pic;
  const int64_t l = m.ViewLast();
  const std::vector<int64_t> starts = ColumnStarts(m, right);
  const std::vector<int>& shown = m.ShownChannels();
  const TFileRecord& record = m.Record();
  pic.TimeTicks = TimeTicks(m, right);

  for (size_t k = 0; k < shown.size(); ++k) {
    const int c = shown[k];
    const int strip = static_cast<int>(k);
    TPreviewStrip s;
    s.Channel = c;
    s.Name = record.Channels[static_cast<size_t>(c)].Channel;
    if (record.Channels[static_cast<size_t>(c)].Level <= 0) s.Note = kNoLevelNote;
    const TChannelScale& scale = m.Scales()[static_cast<size_t>(c)];
    s.Scale =
        "±" + std::to_string(std::max<int64_t>(scale.Maximum - scale.Minimum, 1) / 2) + " отсч.";
    s.Top = m.StripTop(strip);
    s.Bottom = m.StripBottom(strip);
    s.LevelTicks = LevelTicks(m, strip, scale, s.Top, s.Bottom);
    auto y_of = [&](int64_t v) {
      return static_cast<int>(std::clamp<int64_t>(m.YOfValue(strip, v), s.Top, s.Bottom));
    };
    const std::vector<int32_t>& samples = m.Samples()[static_cast<size_t>(c)];
    const int64_t end = std::min<int64_t>(l, static_cast<int64_t>(samples.size()) - 1);
    for (int x = 0; x <= right; ++x) {
      const int64_t a = starts[static_cast<size_t>(x)];
      const int64_t b = std::min(starts[static_cast<size_t>(x) + 1] - 1, end);
      if (a > b) continue;
      const TSampleSummary sum = m.Summarize(c, a, b);
      s.Strokes.push_back(TPreviewStroke{x, y_of(sum.Maximum), y_of(sum.Minimum)});
    }
    if (!samples.empty() && end < l) {
      const int64_t y = y_of(samples.back());
      const int x = ClampedColumn(m.ExactXOfIndex(static_cast<double>(end)), 0, right);
      s.Tail =
          TPreviewLine{std::clamp(x, 0, right), static_cast<int>(y), right, static_cast<int>(y)};
    }
    pic.Strips.push_back(std::move(s));
  }

  // Shading outside the processing interval, wherever that lies in the view.
  const double xs = m.ExactXOfIndex(static_cast<double>(m.IndexOfTime(record.SelectStart)));
  const double xf = m.ExactXOfIndex(static_cast<double>(m.IndexOfTime(record.SelectFinish)));
  const int start_column = ClampedColumn(xs, 0, right);
  const int finish_column = ClampedColumn(xf, 0, right);
  if (start_column > 0) {
    pic.Shaded.push_back(TPreviewRect{0, 0, std::min(start_column - 1, right), bottom_row});
  }
  if (finish_column < right) {
    pic.Shaded.push_back(TPreviewRect{std::max(finish_column + 1, 0), 0, right, bottom_row});
  }

  // Disturbed intervals in the view; those that fall on the same pixels become one.
  AddSpanColumns(m, m.DisturbedIntervals(), right, 0, bottom_row, pic.Disturbed);
  // Gaps in each strip's own channel.
  for (const TPreviewStrip& s : pic.Strips) {
    if (static_cast<size_t>(s.Channel) < m.Unread().size()) {
      AddSpanColumns(m, m.Unread()[static_cast<size_t>(s.Channel)], right, s.Top, s.Bottom,
                     pic.Gaps);
    }
  }
  for (const TPreviewRect& r : pic.Disturbed) {
    for (size_t k = 0; k < shown.size(); ++k) {
      const int c = shown[k];
      const int strip = static_cast<int>(k);
      const int64_t mean = m.Scales()[static_cast<size_t>(c)].Mean;
      const int64_t level = record.Channels[static_cast<size_t>(c)].Level;
      if (level <= 0) continue;
      for (int64_t v : {mean + level, mean - level}) {
        const int64_t y = m.YOfValue(strip, v);
        if (y < m.StripTop(strip) || y > m.StripBottom(strip)) continue;
        pic.LevelLines.push_back(
            TPreviewLine{r.Left, static_cast<int>(y), r.Right, static_cast<int>(y)});
      }
    }
  }

  if (const auto drag = m.DragColumns()) {
    const int a = std::clamp(drag->first, 0, right), b = std::clamp(drag->second, 0, right);
    pic.Focus = TPreviewRect{std::min(a, b), 0, std::max(a, b), bottom_row};
  }
  return pic;
}

}  // namespace tarvik

// The preview's picture as data (strokes, tail, shading, red intervals, level lines, focus)
// and the pyramid that makes a view change cost the pixel columns rather than the samples.

#include "viewers/preview_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/date_text.h"
#include "preview_test_support.h"
#include "viewers/preview_model.h"
#include "viewers/preview_pyramid.h"

namespace tarvik {
namespace {

using testing::kPreviewRate;
using testing::PreviewOptions;
using testing::PreviewRecord;

TEST(PreviewPyramid, SummariesEqualAPlainScanForEveryLengthAndRun) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> value(INT32_MIN, INT32_MAX);
  for (int64_t n : {0, 1, 31, 32, 33, 64, 1000, 4097, 70001}) {
    std::vector<int32_t> x(static_cast<size_t>(n));
    for (int32_t& v : x) v = value(rng);
    TSamplePyramid p;
    p.Build(x);
    std::uniform_int_distribution<int64_t> index(-3, n + 3);
    for (int q = 0; q < 300; ++q) {
      int64_t a = index(rng), b = index(rng);
      if (q % 3 == 0) b = a + q % 70;  // short runs within and across blocks
      const TSampleSummary s = p.Summarize(x, a, b);
      const int64_t lo = std::max<int64_t>(a, 0), hi = std::min<int64_t>(b, n - 1);
      if (lo > hi) {
        EXPECT_EQ(s.Count, 0);
        continue;
      }
      const auto first = x.begin() + lo, last = x.begin() + hi + 1;
      int64_t sum = 0;
      for (auto it = first; it != last; ++it) sum += *it;
      ASSERT_EQ(s.Minimum, *std::min_element(first, last)) << n << " " << a << " " << b;
      ASSERT_EQ(s.Maximum, *std::max_element(first, last)) << n << " " << a << " " << b;
      ASSERT_EQ(s.Sum, sum) << n << " " << a << " " << b;
      ASSERT_EQ(s.Count, hi - lo + 1);
    }
    // At most half the samples' own memory.
    EXPECT_LE(p.MemoryBytes(), x.size() * sizeof(int32_t) / 2);
  }
}

// A pyramid built from runs appended one after another, as a record read in blocks gives
// them, summarises as a plain scan does and holds what one built from the whole does.
TEST(PreviewPyramid, BuiltFromRunsInTurnEqualsBuiltWhole) {
  std::mt19937 rng(9);
  std::uniform_int_distribution<int32_t> value(INT32_MIN, INT32_MAX);
  for (int64_t n : {0, 5, 32, 33, 1000, 70001}) {
    std::vector<int32_t> x(static_cast<size_t>(n));
    for (int32_t& v : x) v = value(rng);
    TSamplePyramid whole;
    whole.Build(x);
    for (const int64_t run : {int64_t{1}, int64_t{7}, int64_t{32}, int64_t{45}, int64_t{4096}, n}) {
      if (run <= 0) continue;
      TSamplePyramid pieces;
      pieces.Reserve(n);
      for (int64_t at = 0; at < n; at += run) {
        pieces.Append(std::span<const int32_t>(x).subspan(
            static_cast<size_t>(at), static_cast<size_t>(std::min(run, n - at))));
      }
      pieces.Finish();
      EXPECT_EQ(pieces.MemoryBytes(), whole.MemoryBytes()) << n << " by " << run;
      // Over zeros of the same length, the whole blocks come from the levels alone: their sum
      // is that of x.
      const int64_t blocks = n / TSamplePyramid::kBlock * TSamplePyramid::kBlock;
      int64_t block_sum = 0;
      for (int64_t i = 0; i < blocks; ++i) block_sum += x[static_cast<size_t>(i)];
      const std::vector<int32_t> zeros(static_cast<size_t>(n), 0);
      EXPECT_EQ(pieces.Summarize(zeros, 0, n - 1).Sum, blocks > 0 ? block_sum : 0)
          << n << " by " << run;
      std::uniform_int_distribution<int64_t> index(0, std::max<int64_t>(n - 1, 0));
      for (int q = 0; q < 200; ++q) {
        int64_t a = index(rng), b = index(rng);
        if (a > b) std::swap(a, b);
        const TSampleSummary got = pieces.Summarize(x, a, b);
        int64_t sum = 0;
        for (int64_t i = a; i <= b && n > 0; ++i) sum += x[static_cast<size_t>(i)];
        ASSERT_EQ(got.Sum, n > 0 ? sum : 0) << n << " by " << run << ": " << a << " " << b;
        if (n == 0) continue;
        ASSERT_EQ(got.Minimum, *std::min_element(x.begin() + a, x.begin() + b + 1));
        ASSERT_EQ(got.Maximum, *std::max_element(x.begin() + a, x.begin() + b + 1));
      }
    }
  }
}

TEST(PreviewPyramid, OtherSamplesThanBuiltFromAreScanned) {
  TSamplePyramid p;
  p.Build(std::vector<int32_t>(1000, 1));
  const std::vector<int32_t> other(500, 2);
  const TSampleSummary s = p.Summarize(other, 0, 999);
  EXPECT_EQ(s.Sum, 1000);
  EXPECT_EQ(s.Maximum, 2);
}

// One channel of n zeros with the given spikes, in an area of width x height.
TPreviewModel SpikeModel(int64_t n, std::vector<std::pair<int64_t, int32_t>> spikes, int width,
                         int height) {
  std::vector<int32_t> x(static_cast<size_t>(n), 0);
  for (const auto& [i, v] : spikes) x[static_cast<size_t>(i)] = v;
  TPreviewModel m;
  m.ShowSamples(PreviewRecord(1, n), TData32{x}, PreviewOptions());
  m.SetArea(width, height);
  return m;
}

TEST(PreviewPictureStrokes, OneStrokePerColumnFromLargestToSmallest) {
  // 1000 samples over columns 0..100; a spike of +100 at sample 500 (column 50) and of -100 at
  // sample 900 (column 90).
  const TPreviewModel m = SpikeModel(1000, {{500, 100}, {900, -100}}, 101, 101);
  const TPreviewPicture pic = BuildPreviewPicture(m);
  ASSERT_EQ(pic.Strips.size(), 1u);
  const TPreviewStrip& s = pic.Strips[0];
  EXPECT_EQ(s.Top, 0);
  EXPECT_EQ(s.Bottom, 100);
  ASSERT_EQ(s.Strokes.size(), 101u);
  // Range 200 over rows 0..100 centred on the mean 0: zero at row 100 - round(49.5) = 50.
  for (const TPreviewStroke& k : s.Strokes) {
    SCOPED_TRACE(k.X);
    if (k.X == 50) {
      EXPECT_EQ(k.Top, 100 - 50 - 50);  // 100 - round(100 * 100 / 200 + 49.5)
      EXPECT_EQ(k.Bottom, 50);
    } else if (k.X == 90) {
      EXPECT_EQ(k.Top, 50);
      EXPECT_EQ(k.Bottom, 100);
    } else {
      EXPECT_EQ(k.Top, 50);
      EXPECT_EQ(k.Bottom, 50);
    }
  }
  EXPECT_FALSE(s.Tail.has_value());
}

TEST(PreviewPictureStrokes, ZoomedInEachSampleHasItsOwnColumn) {
  TPreviewModel m = SpikeModel(1000, {{503, 100}}, 101, 50);
  m.SetView(500, 509);  // ten samples over 101 columns: x = round(100 / 9 * i)
  const TPreviewPicture pic = BuildPreviewPicture(m);
  const std::vector<TPreviewStroke>& k = pic.Strips[0].Strokes;
  ASSERT_EQ(k.size(), 10u);
  const int want[] = {0, 11, 22, 33, 44, 56, 67, 78, 89, 100};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(k[i].X, want[i]);
    EXPECT_EQ(k[i].Top, k[i].Bottom);
  }
  EXPECT_LT(k[3].Top, k[2].Top);  // the spike stands up

  // A single-sample view: one stroke at x = 0.
  m.SetView(503, 503);
  const TPreviewPicture one = BuildPreviewPicture(m);
  ASSERT_EQ(one.Strips[0].Strokes.size(), 1u);
  EXPECT_EQ(one.Strips[0].Strokes[0].X, 0);
}

TEST(PreviewPictureStrokes, StripsOfShownChannelsStayInsideTheirRows) {
  TFileRecord r = PreviewRecord(3, 600);
  r.Channels[1].Selected = false;
  TData32 data(3, std::vector<int32_t>(600, 0));
  for (int i = 0; i < 600; ++i) {
    data[0][i] = i;             // mean far from the middle of the shared range
    data[2][i] = i % 7 - 3000;  // a small channel, far below the other
  }
  TPreviewModel m;
  m.ShowSamples(r, data, PreviewOptions());
  m.SetArea(300, 201);
  m.PressKey(TPreviewKey::kNarrowRange);
  const TPreviewPicture pic = BuildPreviewPicture(m);
  ASSERT_EQ(pic.Strips.size(), 2u);
  EXPECT_EQ(pic.Strips[0].Channel, 0);
  EXPECT_EQ(pic.Strips[1].Channel, 2);
  EXPECT_EQ(pic.Strips[1].Name, "HHZ");
  EXPECT_EQ(pic.Strips[1].Top, 100);
  EXPECT_EQ(pic.Strips[1].Bottom, 199);
  for (const TPreviewStrip& s : pic.Strips) {
    for (const TPreviewStroke& k : s.Strokes) {
      EXPECT_GE(k.Top, s.Top);
      EXPECT_LE(k.Bottom, s.Bottom);
      EXPECT_LE(k.Top, k.Bottom);
    }
  }
}

TEST(PreviewPictureStrokes, AChannelEndingEarlyGetsATailLine) {
  TFileRecord r = PreviewRecord(2, 1000);
  TData32 data{std::vector<int32_t>(1000, 0), std::vector<int32_t>(600, 0)};
  data[1][599] = 40;
  TPreviewModel m;
  m.ShowSamples(r, data, PreviewOptions());
  m.SetArea(101, 200);
  const TPreviewPicture pic = BuildPreviewPicture(m);
  const TPreviewStrip& s = pic.Strips[1];
  ASSERT_TRUE(s.Tail.has_value());
  EXPECT_EQ(s.Tail->X1, 60);  // sample 599 of 0..999 on 0..100
  EXPECT_EQ(s.Tail->X2, 100);
  EXPECT_EQ(s.Tail->Y1, s.Strokes.back().Top);
  EXPECT_EQ(s.Strokes.back().X, 60);
  EXPECT_FALSE(pic.Strips[0].Tail.has_value());
}

TEST(PreviewPictureOverlays, ShadingOutsideTheProcessingInterval) {
  TPreviewModel m = SpikeModel(1000, {}, 101, 50);
  TFileRecord r = m.Record();
  r.SelectStart = r.Start + SpanOfSamples(200, kPreviewRate);
  r.SelectFinish = r.Start + SpanOfSamples(799, kPreviewRate);
  m.ShowSamples(r, TData32{std::vector<int32_t>(1000, 0)}, PreviewOptions());
  m.SetArea(101, 50);
  struct Case {
    int64_t First, Last;
    std::vector<std::pair<int, int>> Shaded;
  } cases[] = {
      {0, 999, {{0, 19}, {81, 100}}},  // columns 20.02 and 79.98
      {300, 400, {}},                  // inside the interval
      {0, 100, {{0, 100}}},            // all of it before SelectStart
      {850, 950, {{0, 100}}},          // all of it after SelectFinish
      {150, 250, {{0, 49}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.First);
    m.SetView(c.First, c.Last);
    const TPreviewPicture pic = BuildPreviewPicture(m);
    std::vector<std::pair<int, int>> got;
    for (const TPreviewRect& s : pic.Shaded) {
      EXPECT_EQ(s.Top, 0);
      EXPECT_EQ(s.Bottom, 49);
      if (got.empty() || s.Left > got.back().second + 1) {
        got.emplace_back(s.Left, s.Right);
      } else {
        got.back().second = std::max(got.back().second, s.Right);
      }
    }
    EXPECT_EQ(got, c.Shaded);
  }
}

TEST(PreviewPictureOverlays, RedIntervalsAtLeastTwoPixelsAndGreenLevelLines) {
  // Level 50 with single disturbed samples at 300, 700 and 702 and segments of 64: red over
  // 256..300, 685..702 and the short tail 959..999.
  TFileRecord r = PreviewRecord(2, 1000);
  r.Channels[0].Level = r.Channels[1].Level = 50;
  TData32 data(2, std::vector<int32_t>(1000, 0));
  data[0][300] = 200;
  data[0][700] = -200;
  data[1][702] = 200;
  TPreviewOptions o = PreviewOptions();
  o.Settings.SilenceDur = 0.64;  // segments of 64
  o.Settings.NoiseDur = 0.0;
  TPreviewModel m;
  m.ShowSamples(r, data, o);
  m.SetArea(101, 200);
  ASSERT_EQ(m.SegmentLength(), 64);
  const TPreviewPicture pic = BuildPreviewPicture(m);
  ASSERT_FALSE(pic.Disturbed.empty());
  for (const TPreviewRect& d : pic.Disturbed) {
    EXPECT_GE(d.Right - d.Left + 1, 2);
    EXPECT_GE(d.Left, 0);
    EXPECT_LE(d.Right, 100);
    EXPECT_EQ(d.Bottom, 199);
  }
  // Every disturbed sample lies under red.
  for (int64_t i : {300, 700, 702}) {
    const int64_t x = m.XOfIndex(i);
    EXPECT_TRUE(std::any_of(pic.Disturbed.begin(), pic.Disturbed.end(), [x](const TPreviewRect& d) {
      return d.Left <= x && x <= d.Right;
    })) << i;
  }
  // Red rectangles do not overlap, and two per rectangle and strip green lines lie at the
  // rows where samples of mean ± level are drawn.
  for (size_t k = 1; k < pic.Disturbed.size(); ++k) {
    EXPECT_GT(pic.Disturbed[k].Left, pic.Disturbed[k - 1].Right);
  }
  ASSERT_EQ(pic.LevelLines.size(), pic.Disturbed.size() * 4);
  const TPreviewLine& first = pic.LevelLines[0];
  EXPECT_EQ(first.X1, pic.Disturbed[0].Left);
  EXPECT_EQ(first.X2, pic.Disturbed[0].Right);
  EXPECT_EQ(first.Y1, m.YOfValue(0, m.Scales()[0].Mean + 50));
  EXPECT_EQ(pic.LevelLines[1].Y1, m.YOfValue(0, m.Scales()[0].Mean - 50));
  EXPECT_LT(first.Y1, pic.LevelLines[1].Y1);

  // A level beyond the strip draws no line.
  r.Channels[0].Level = r.Channels[1].Level = 2147483647;
  m.ShowSamples(r, data, o);
  m.SetArea(101, 200);
  EXPECT_TRUE(BuildPreviewPicture(m).LevelLines.empty());
  for (const TPreviewStrip& strip : BuildPreviewPicture(m).Strips) EXPECT_EQ(strip.Note, "");

  // A channel without a level: every interval is red, the strip says why and draws no line at
  // its mean; the other channel keeps its lines.
  r.Channels[0].Level = 0;
  r.Channels[1].Level = 50;
  m.ShowSamples(r, data, o);
  m.SetArea(101, 200);
  const TPreviewPicture unset = BuildPreviewPicture(m);
  ASSERT_EQ(unset.Strips.size(), 2u);
  EXPECT_EQ(unset.Strips[0].Note, kNoLevelNote);
  EXPECT_EQ(unset.Strips[1].Note, "");
  ASSERT_FALSE(unset.Disturbed.empty());
  EXPECT_EQ(unset.LevelLines.size(), unset.Disturbed.size() * 2);
  for (const TPreviewLine& line : unset.LevelLines) EXPECT_GE(line.Y1, m.StripTop(1));
}

TEST(PreviewPictureAxis, TimeMarksAtARoundStepWideEnoughApart) {
  TFileRecord r = PreviewRecord(1, 100000);
  TPreviewModel m;
  m.ShowSamples(r, TData32(1, std::vector<int32_t>(100000, 0)), PreviewOptions());
  for (const int width : {1001, 301}) {
    SCOPED_TRACE(width);
    m.SetArea(width, 200);
    const TPreviewPicture pic = BuildPreviewPicture(m);
    ASSERT_GE(pic.TimeTicks.size(), 2u);
    // The first mark carries the date, the others the time of day of the same day.
    EXPECT_EQ(pic.TimeTicks[0].Label.size(), std::string("14.05.2024 00:00:00").size());
    EXPECT_EQ(pic.TimeTicks[0].Label.substr(0, 10), ShownDateTime(r.Start).substr(0, 10));
    for (size_t k = 0; k < pic.TimeTicks.size(); ++k) {
      const TPreviewTick& t = pic.TimeTicks[k];
      EXPECT_GE(t.X, 0);
      EXPECT_LT(t.X, width);
      if (k == 0) continue;
      EXPECT_GE(t.X - pic.TimeTicks[k - 1].X, kPreviewTickSpacing - 1);
      EXPECT_EQ(t.Label.size(), std::string("00:00:00").size()) << t.Label;
      // A mark stands where its time is drawn, to within a pixel.
      const double labelled = std::stoi(t.Label.substr(0, 2)) * 3600.0 +
                              std::stoi(t.Label.substr(3, 2)) * 60.0 +
                              std::stoi(t.Label.substr(6, 2));
      const double drawn = std::fmod(m.TimeOfX(t.X) * kSecondsPerDay, kSecondsPerDay);
      const double per_pixel = (m.TimeOfX(width - 1) - m.TimeOfX(0)) * kSecondsPerDay / (width - 1);
      EXPECT_LE(std::abs(drawn - labelled), per_pixel) << t.Label;
    }
  }
  // Each strip states its amplitude scale: half the range it spans, in counts.
  TFileRecord two = PreviewRecord(2, 1000);
  TData32 data(2, std::vector<int32_t>(1000, 0));
  data[0][10] = 400;
  data[0][20] = -400;
  data[1][30] = 7;
  m.ShowSamples(two, data, PreviewOptions());
  m.SetArea(500, 200);
  const TPreviewPicture scaled = BuildPreviewPicture(m);
  ASSERT_EQ(scaled.Strips.size(), 2u);
  for (size_t k = 0; k < 2; ++k) {
    const TChannelScale& s = m.Scales()[k];
    EXPECT_EQ(scaled.Strips[k].Scale,
              "±" + std::to_string(std::max<int64_t>(s.Maximum - s.Minimum, 1) / 2) + " отсч.");
  }
  // The amplitude axis: the middle line and whole round steps, far enough apart to be read,
  // each mark on the row of its value.
  for (const int height : {200, 400, 1000}) {
    m.SetArea(500, height);
    const TPreviewPicture axes = BuildPreviewPicture(m);
    for (size_t k = 0; k < axes.Strips.size(); ++k) {
      const TPreviewStrip& strip = axes.Strips[k];
      const auto& ticks = strip.LevelTicks;
      ASSERT_GE(ticks.size(), 3u) << height << " " << k;
      const int64_t step = ticks[0].Value - ticks[1].Value;
      EXPECT_EQ(step, RoundCountStep(static_cast<double>(step) - 0.5)) << "a round step";
      for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].Y, m.YOfValue(static_cast<int>(k), m.Scales()[k].Mean + ticks[i].Value));
        EXPECT_GE(ticks[i].Y, strip.Top);
        EXPECT_LE(ticks[i].Y, strip.Bottom);
        if (i > 0) {
          EXPECT_EQ(ticks[i - 1].Value - ticks[i].Value, step);
          EXPECT_GE(ticks[i].Y - ticks[i - 1].Y, kPreviewLevelTickSpacing - 1);
        }
      }
      const auto zero = std::find_if(ticks.begin(), ticks.end(),
                                     [](const TPreviewLevelTick& t) { return t.Value == 0; });
      ASSERT_NE(zero, ticks.end());
      EXPECT_EQ(zero->Label, "0");
      EXPECT_EQ(ticks.front().Label, "+" + std::to_string(ticks.front().Value));
      EXPECT_EQ(ticks.back().Label, "\u2212" + std::to_string(-ticks.back().Value));
    }
  }
  // A strip too low for marks apart has none.
  m.SetArea(500, 60);
  for (const TPreviewStrip& strip : BuildPreviewPicture(m).Strips) {
    EXPECT_TRUE(strip.LevelTicks.empty());
  }
  // No samples: no axis.
  TPreviewModel empty;
  empty.SetArea(500, 200);
  EXPECT_TRUE(BuildPreviewPicture(empty).TimeTicks.empty());
}

TEST(RoundCountStep, SmallestRoundStepNotBelowTheLimit) {
  const struct {
    double Min;
    int64_t Step;
  } cases[] = {{-3.0, 1},
               {0.0, 1},
               {1.0, 1},
               {1.2, 2},
               {2.0, 2},
               {2.01, 5},
               {7.0, 10},
               {10.0, 10},
               {11.0, 20},
               {499.0, 500},
               {501.0, 1000},
               {3e9, 5000000000},
               {1e30, 1000000000000000000}};
  for (const auto& c : cases) EXPECT_EQ(RoundCountStep(c.Min), c.Step) << c.Min;
}

TEST(PreviewPictureOverlays, AOneSampleIntervalAtTheRightEdgeStaysTwoPixelsAndAFocusFollows) {
  // The span 39..999 holds fifteen quiet segments of 64 and then the disturbed sample 999.
  TFileRecord r = PreviewRecord(1, 1000);
  r.Channels[0].Level = 50;
  r.SelectStart = r.Start + SpanOfSamples(39, kPreviewRate);
  TData32 data(1, std::vector<int32_t>(1000, 0));
  data[0][999] = 500;
  TPreviewOptions o = PreviewOptions();
  o.Settings.SilenceDur = 0.64;
  o.Settings.NoiseDur = 0.0;
  TPreviewModel m;
  m.ShowSamples(r, data, o);
  m.SetArea(101, 100);
  ASSERT_EQ(m.DisturbedIntervals(), (TRecordRanges{{999, 999}}));
  TPreviewPicture pic = BuildPreviewPicture(m);
  ASSERT_EQ(pic.Disturbed.size(), 1u);
  EXPECT_EQ(pic.Disturbed[0].Left, 99);
  EXPECT_EQ(pic.Disturbed[0].Right, 100);

  EXPECT_FALSE(pic.Focus.has_value());
  m.MouseDoubleClick(70, 10);
  m.MouseMove(30, 10);
  pic = BuildPreviewPicture(m);
  ASSERT_TRUE(pic.Focus.has_value());
  EXPECT_EQ(pic.Focus->Left, 30);
  EXPECT_EQ(pic.Focus->Right, 70);
  EXPECT_EQ(pic.Focus->Bottom, 99);
}

}  // namespace
}  // namespace tarvik

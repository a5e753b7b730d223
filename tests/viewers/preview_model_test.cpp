// The preview model: opening and reusing records, conversions, scales, quiet intervals and
// the silence label, the keys at the record's edges, the three mouse modes, the show-record flow.

#include "viewers/preview_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../records/record_test_files.h"
#include "common/paths.h"
#include "gap_recording.h"
#include "preview_test_support.h"
#include "project/driver.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "test_files.h"
#include "viewers/preview_picture.h"
#include "viewers/preview_show.h"

namespace tarvik {
namespace {

using testing::DesignedSamples;
using testing::kBurst1;
using testing::kBurst2;
using testing::kDesignedLength;
using testing::kPreviewRate;
using testing::PreviewOptions;
using testing::PreviewRecord;
using testing::RecordingUiHost;
using testing::TempDir;

// A model showing the designed record on three channels in an area 1001 pixels wide, so that
// pixel x of the whole view is sample 179.999 * x.
TPreviewModel DesignedModel(int32_t level) {
  TFileRecord r = PreviewRecord(3, kDesignedLength);
  for (int c = 0; c < 3; ++c) r.Channels[c].Level = level;
  TPreviewModel m;
  m.ShowSamples(r, DesignedSamples(3), PreviewOptions());
  m.SetArea(1001, 600);
  return m;
}

TEST(PreviewQuiet, DesignedRecordGivesTheBurstsPlusNoiseDurAsDisturbed) {
  const TPreviewModel m = DesignedModel(80);
  EXPECT_EQ(m.SegmentLength(), 2048);  // SilenceDur 20 s at 100 Hz
  EXPECT_EQ(m.Gap(), 500);
  // Whole segments of 2048 from each start; the search resumes 500 samples after the first
  // disturbed sample of a burst.
  const TRecordRanges quiet = {{0, 24 * 2048 - 1},
                               {kBurst1 + 501, kBurst1 + 501 + 33 * 2048 - 1},
                               {kBurst2 + 501, kBurst2 + 501 + 29 * 2048 - 1}};
  EXPECT_EQ(m.QuietIntervals(), quiet);
  const TRecordRanges disturbed = {{24 * 2048, kBurst1 + 500},
                                   {kBurst1 + 501 + 33 * 2048, kBurst2 + 500},
                                   {kBurst2 + 501 + 29 * 2048, kDesignedLength - 1}};
  EXPECT_EQ(m.DisturbedIntervals(), disturbed);
  EXPECT_EQ(m.QuietSamples(), (24 + 33 + 29) * 2048);
  // 176128 samples = 1761.28 s, 97.85 % of the record.
  EXPECT_EQ(m.SilenceLabel(), "Тишина: 0:29:21 (98%)");
}

// The designed gap record opened from its file: the gap is never quiet, the quiet intervals are
// those of a sample-by-sample search that takes it as disturbed, the silence label counts them
// alone, and the gap is shaded apart from the red of each strip.
TEST(PreviewQuiet, GapRecordKeepsTheGapOutOfTheQuiet) {
  TempDir dir;
  const testing::GapRecording rec = testing::WriteGapRecording(dir.File("GAP.msd"));
  TFileRecords records;
  RecordingUiHost host;
  AddFiles(records, {dir.File("GAP.msd")}, AssemblySettings(), host);
  ASSERT_EQ(records.size(), 1u);
  for (int c = 0; c < 3; ++c) records[0].Channels[c].Level = testing::GapRecording::kLevel;
  TPreviewModel m;
  ASSERT_TRUE(m.OpenRecord(records[0], PreviewOptions(), host));
  const TRecordRanges gap = {{testing::GapRecording::kGapFirst, testing::GapRecording::kGapLast}};
  EXPECT_EQ(m.GapIntervals(), gap);
  EXPECT_EQ(m.Unread(), (TChannelRanges{gap, gap, gap}));
  const TRecordRanges quiet =
      testing::QuietBySample(rec.Demeaned(), testing::GapRecording::kLevel, gap, m.SegmentLength(),
                             m.Gap(), 0, testing::GapRecording::kCount - 1);
  EXPECT_EQ(m.QuietIntervals(), quiet);
  int64_t q = 0;
  for (const auto& [a, b] : quiet) {
    q += b - a + 1;
    EXPECT_TRUE(b < gap[0].first || a > gap[0].second) << a << ".." << b;
  }
  EXPECT_EQ(m.QuietSamples(), q);
  // Not the 24:55 of quiet that a gap taken as silence gave: at most the 20 minutes recorded.
  char percent[32];
  std::snprintf(percent, sizeof percent, " (%1.0f%%)", 100.0 * q / testing::GapRecording::kCount);
  EXPECT_EQ(m.SilenceLabel(), "Тишина: " + SelectionLengthText(q / 100.0 / 86400.0) + percent);
  EXPECT_LE(q, 120000);

  m.SetArea(1500, 300);  // 100 samples a column
  const TPreviewPicture pic = BuildPreviewPicture(m);
  ASSERT_EQ(pic.Strips.size(), 3u);
  ASSERT_EQ(pic.Gaps.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(pic.Gaps[k].Top, pic.Strips[k].Top);
    EXPECT_EQ(pic.Gaps[k].Bottom, pic.Strips[k].Bottom);
    EXPECT_EQ(pic.Gaps[k].Left, m.XOfIndex(gap[0].first));
    EXPECT_EQ(pic.Gaps[k].Right, m.XOfIndex(gap[0].second));
  }
}

TEST(PreviewQuiet, SpanAndSelectionEdges) {
  TFileRecord r = PreviewRecord(1, 10000);
  r.SelectStart = r.Start - 1.0;  // a day before the record
  r.SelectFinish = r.Start + SpanOfSamples(5000, kPreviewRate);
  TPreviewModel m;
  m.ShowSamples(r, TData32{std::vector<int32_t>(10000, 3)}, PreviewOptions());
  EXPECT_EQ(m.Span(), (std::pair<int64_t, int64_t>{0, 5000}));
  EXPECT_EQ(m.QuietIntervals(), (TRecordRanges{{0, 2 * 2048 - 1}}));
  EXPECT_EQ(m.DisturbedIntervals(), (TRecordRanges{{4096, 5000}}));
  EXPECT_EQ(m.SilenceLabel(), "Тишина: 0:00:41 (41%)");

  m.SelectToFinish();
  EXPECT_EQ(m.Record().SelectFinish, m.Record().Finish);
  EXPECT_EQ(m.Span(), (std::pair<int64_t, int64_t>{0, 9999}));
  EXPECT_EQ(m.QuietSamples(), 4 * 2048);

  // A processing interval that ends before it starts leaves nothing quiet and nothing red.
  m.SetArea(101, 100);
  m.SetMode(TPreviewMode::kInterval);
  m.MousePress(TPreviewButton::kLeft, 80, 10);
  m.MousePress(TPreviewButton::kRight, 20, 10);
  EXPECT_TRUE(m.QuietIntervals().empty());
  EXPECT_TRUE(m.DisturbedIntervals().empty());
  EXPECT_EQ(m.SilenceLabel(), "Тишина: 0:00:00 (0%)");
}

TEST(PreviewQuiet, LongQuietSumsKeepTheirDays) {
  // Two days of quiet samples at 1 Hz with segments of 64.
  TFileRecord r = PreviewRecord(1, 2 * 86400);
  r.SampRate = 1.0;
  r.Finish = r.Start + 2.0;
  r.SelectFinish = r.Finish;
  TPreviewOptions o = PreviewOptions();
  o.Settings.SilenceDur = 64.0;
  TPreviewModel m;
  m.ShowSamples(r, TData32{std::vector<int32_t>(2 * 86400, 0)}, o);
  EXPECT_EQ(m.QuietSamples(), 2 * 86400);
  EXPECT_EQ(m.SilenceLabel(), "Тишина: 2сут. 0:00:00 (100%)");
}

TEST(PreviewQuiet, SegmentLengthFollowsTheCalculationsGeometry) {
  TFileRecord r = PreviewRecord(1, 10000);
  TPreviewOptions o = PreviewOptions();
  o.Settings.FillByZero = true;  // segments of round(rate * SilenceDur) samples, zero-filled
  TPreviewModel m;
  m.ShowSamples(r, TData32{std::vector<int32_t>(10000, 0)}, o);
  EXPECT_EQ(m.SegmentLength(), 2000);
  EXPECT_EQ(m.QuietSamples(), 5 * 2000);

  o.Settings.SilenceDur = 0.001;  // no usable segment: the power of two of the duration
  m.ShowSamples(r, TData32{std::vector<int32_t>(10000, 0)}, o);
  EXPECT_EQ(m.SegmentLength(), 1);
}

TEST(PreviewScales, SharedRangeOwnMeansAndUnselectedChannels) {
  TFileRecord r = PreviewRecord(3, 4);
  r.Channels[1].Selected = false;
  TPreviewModel m;
  m.ShowSamples(r, TData32{{0, 10, 20, 31}, {-1000, 0, 0, 1000}, {-5, -4, -3, -2}},
                PreviewOptions());
  EXPECT_EQ(m.ShownChannels(), (std::vector<int>{0, 2}));
  const auto& s = m.Scales();
  // Minimum -5 and maximum 31 over the shown channels; means 15.25 -> 15 and -3.5 -> -4 (even).
  EXPECT_EQ(s[0].Minimum, -5);
  EXPECT_EQ(s[0].Maximum, 31);
  EXPECT_EQ(s[0].Mean, 15);
  EXPECT_EQ(s[2].Minimum, -5);
  EXPECT_EQ(s[2].Maximum, 31);
  EXPECT_EQ(s[2].Mean, -4);
  EXPECT_EQ(s[1].Minimum, -1000);  // not shown: its own range
  m.SetView(1, 2);
  EXPECT_EQ(s[0].Minimum, -4);
  EXPECT_EQ(s[0].Maximum, 20);

  for (int c = 0; c < 3; ++c) r.Channels[c].Selected = false;
  m.ShowSamples(r, TData32{{1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}}, PreviewOptions());
  EXPECT_TRUE(m.ShownChannels().empty());
  EXPECT_EQ(m.StripAt(0), -1);
  EXPECT_TRUE(BuildPreviewPicture(m).Strips.empty());
}

TEST(PreviewConversions, TimeIndexAndPixel) {
  TPreviewModel m;
  m.ShowSamples(PreviewRecord(1, 1001), TData32{std::vector<int32_t>(1001, 0)}, PreviewOptions());
  m.SetArea(201, 100);  // columns 0..200 over samples 0..1000: 5 samples per column
  EXPECT_EQ(m.IndexOfTime(m.Record().Start + SpanOfSamples(250.4, kPreviewRate)), 250);
  EXPECT_EQ(m.XOfIndex(0), 0);
  EXPECT_EQ(m.XOfIndex(1000), 200);
  EXPECT_EQ(m.XOfIndex(502), 100);  // 100.4
  EXPECT_EQ(m.IndexOfX(40), 200);
  EXPECT_EQ(m.IndexOfX(-7), 0);  // clamped to the view
  EXPECT_EQ(m.IndexOfX(500), 1000);
  EXPECT_NEAR((m.TimeOfX(100) - m.Record().Start) * 86400.0, 5.0, 1e-6);

  m.SetView(400, 600);
  EXPECT_EQ(m.XOfIndex(400), 0);
  EXPECT_EQ(m.XOfIndex(500), 100);
  EXPECT_EQ(m.IndexOfX(200), 600);

  // A view of one sample maps every sample to x = 0, and every pixel to that sample.
  m.SetView(7, 7);
  for (int64_t a : {0, 7, 1000}) EXPECT_EQ(m.XOfIndex(a), 0);
  EXPECT_EQ(m.IndexOfX(150), 7);
}

TEST(PreviewConversions, StripsAndStatusReadOut) {
  TFileRecord r = PreviewRecord(2, 400);
  TData32 data(2, std::vector<int32_t>(400, 0));
  data[0][100] = 77;
  data[1][100] = -66;
  TPreviewModel m;
  m.ShowSamples(r, data, PreviewOptions());
  m.SetArea(400, 301);  // two strips of 150 rows, the last row outside both
  EXPECT_EQ(m.StripAt(0), 0);
  EXPECT_EQ(m.StripAt(149), 0);
  EXPECT_EQ(m.StripAt(150), 1);
  EXPECT_EQ(m.StripAt(300), -1);
  EXPECT_EQ(m.StripTop(1), 150);
  EXPECT_EQ(m.StripBottom(1), 299);
  // x 100 of 0..399 is sample round(100 / 399 * 399) = 100, one second after the start.
  EXPECT_EQ(m.StatusText(100, 10), "14.05.2024 10:30:01.000 | отсчет 100, значение 77");
  EXPECT_EQ(m.StatusText(100, 200), "14.05.2024 10:30:01.000 | отсчет 100, значение -66");
  EXPECT_EQ(m.StatusText(100, 300), "14.05.2024 10:30:01.000 | отсчет 100, значение 0");
}

// --- keys -------------------------------------------------------------------------------------

struct KeyCase {
  int64_t First, Last;
  TPreviewKey Key;
  int64_t WantFirst, WantLast;
};

class PreviewKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PreviewKeys, MoveTheViewWithinTheRecord) {
  const KeyCase& k = GetParam();
  TPreviewModel m;
  m.ShowSamples(PreviewRecord(1, 1000), TData32{std::vector<int32_t>(1000, 0)}, PreviewOptions());
  m.SetView(k.First, k.Last);
  const TKeyOutcome out = m.PressKey(k.Key);
  EXPECT_EQ(m.ViewFirst(), k.WantFirst);
  EXPECT_EQ(m.ViewLast(), k.WantLast);
  EXPECT_FALSE(out.Beep);
}

using K = TPreviewKey;
INSTANTIATE_TEST_SUITE_P(
    EdgesOfTheRecord, PreviewKeys,
    ::testing::Values(
        // The whole record: nothing to move to.
        KeyCase{0, 999, K::kHome, 0, 999}, KeyCase{0, 999, K::kEnd, 0, 999},
        KeyCase{0, 999, K::kShiftLeft, 0, 999}, KeyCase{0, 999, K::kShiftRight, 0, 999},
        KeyCase{0, 999, K::kZoomOut, 0, 999}, KeyCase{0, 999, K::kZoomIn, 249, 750},
        // At the start.
        KeyCase{0, 99, K::kShiftLeft, 0, 99}, KeyCase{10, 109, K::kShiftLeft, 0, 99},
        KeyCase{0, 99, K::kShiftRight, 49, 148}, KeyCase{0, 99, K::kZoomOut, 0, 148},
        KeyCase{0, 99, K::kEnd, 900, 999}, KeyCase{0, 99, K::kZoomIn, 24, 75},
        // At the end.
        KeyCase{900, 999, K::kShiftRight, 900, 999}, KeyCase{880, 979, K::kShiftRight, 900, 999},
        KeyCase{900, 999, K::kShiftLeft, 851, 950}, KeyCase{900, 999, K::kZoomOut, 851, 999},
        KeyCase{900, 999, K::kHome, 0, 99},
        // Narrow views: three samples zoom to one, two stay, one sample moves by one.
        KeyCase{10, 12, K::kZoomIn, 11, 11}, KeyCase{10, 11, K::kZoomIn, 10, 11},
        KeyCase{5, 5, K::kShiftLeft, 4, 4}, KeyCase{0, 0, K::kShiftLeft, 0, 0},
        KeyCase{999, 999, K::kShiftRight, 999, 999}, KeyCase{5, 5, K::kZoomOut, 4, 6},
        KeyCase{5, 5, K::kEnd, 999, 999}));

TEST(PreviewKeysRange, PlusAndMinusChangeTheSharedRangeUntilTheViewChanges) {
  TPreviewModel m;
  TData32 data{std::vector<int32_t>(100, 0), std::vector<int32_t>(100, 0)};
  data[0][10] = -1000;
  data[0][20] = 1000;
  m.ShowSamples(PreviewRecord(2, 100), data, PreviewOptions());
  EXPECT_TRUE(m.PressKey(K::kNarrowRange).Redraw);
  EXPECT_EQ(m.Scales()[0].Minimum, -800);
  EXPECT_EQ(m.Scales()[1].Maximum, 800);
  m.PressKey(K::kWidenRange);
  EXPECT_EQ(m.Scales()[0].Minimum, -960);
  EXPECT_EQ(m.Scales()[0].Maximum, 960);
  m.PressKey(K::kHome);  // the view is set again: the vertical zoom is lost
  EXPECT_EQ(m.Scales()[0].Maximum, 1000);

  // A flat record still widens to one count either side of its mean.
  m.ShowSamples(PreviewRecord(1, 10), TData32{std::vector<int32_t>(10, 7)}, PreviewOptions());
  m.PressKey(K::kWidenRange);
  EXPECT_EQ(m.Scales()[0].Minimum, 6);
  EXPECT_EQ(m.Scales()[0].Maximum, 8);
  m.PressKey(K::kNarrowRange);
  EXPECT_EQ(m.Scales()[0].Minimum, 6);

  const TKeyOutcome beep = m.PressKey(K::kArrowLeft);
  EXPECT_TRUE(beep.Beep);
  EXPECT_FALSE(beep.Redraw);
}

// --- mouse ------------------------------------------------------------------------------------

TEST(PreviewMouse, ProcessingIntervalModeSetsTheSpan) {
  TPreviewModel m = DesignedModel(80);
  m.SetMode(TPreviewMode::kInterval);
  EXPECT_FALSE(m.AutomaticHints());
  EXPECT_EQ(m.ModeHint(), kIntervalModeHint);
  // x 100 is sample 17999.9 of the whole view, x 900 sample 161999.1.
  EXPECT_TRUE(m.MousePress(TPreviewButton::kLeft, 100, 5));
  EXPECT_TRUE(m.MousePress(TPreviewButton::kRight, 900, 5));
  EXPECT_EQ(m.Span(), (std::pair<int64_t, int64_t>{18000, 161999}));
  EXPECT_EQ(m.QuietIntervals().front().first, 18000);
  EXPECT_LE(m.QuietIntervals().back().second, 161999);
  EXPECT_EQ(m.DisturbedIntervals().back().second, 161999);

  m.SelectFromStart();
  EXPECT_EQ(m.Record().SelectStart, m.Record().Start);
  EXPECT_EQ(m.Span().first, 0);
}

TEST(PreviewMouse, LevelDragSetsEachShownChannelsLevel) {
  TPreviewModel m = DesignedModel(30);  // below the noise: little is quiet
  EXPECT_LT(m.QuietSamples(), 2048 * 4);
  m.SetMode(TPreviewMode::kLevel);
  EXPECT_EQ(m.ModeHint(), kLevelModeHint);

  // Right to left changes nothing.
  EXPECT_TRUE(m.MousePress(TPreviewButton::kLeft, 250, 10));
  EXPECT_TRUE(m.LevelDragging());
  m.MouseMove(10, 10);
  EXPECT_EQ(m.DragColumns(), (std::pair<int, int>{250, 10}));
  m.MouseRelease(TPreviewButton::kLeft, 10, 10);
  EXPECT_FALSE(m.LevelDragging());
  EXPECT_EQ(m.Record().Channels[0].Level, 30);

  // Samples 1800..45000 hold the spike of 80 and no burst: every channel's level becomes 80,
  // and the quiet intervals are those of the designed record.
  m.MousePress(TPreviewButton::kLeft, 10, 10);
  m.MouseRelease(TPreviewButton::kLeft, 250, 500);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(m.Record().Channels[c].Level, 80);
  EXPECT_EQ(m.QuietSamples(), (24 + 33 + 29) * 2048);
  EXPECT_EQ(m.SilenceLabel(), "Тишина: 0:29:21 (98%)");

  // A drag over a burst takes the burst's level, and the whole record turns quiet.
  m.MousePress(TPreviewButton::kLeft, 270, 10);
  m.MouseRelease(TPreviewButton::kLeft, 290, 10);
  EXPECT_EQ(m.Record().Channels[0].Level, 5000);
  EXPECT_EQ(m.QuietIntervals().size(), 1u);
}

TEST(PreviewMouse, LevelDragLeavesUnselectedChannelsAndClampsTheMostNegativeSample) {
  TFileRecord r = PreviewRecord(2, 1000);
  r.Channels[1].Selected = false;
  r.Channels[1].Level = 123;
  TData32 data(2, std::vector<int32_t>(1000, 0));
  data[0][500] = INT32_MIN;
  TPreviewModel m;
  m.ShowSamples(r, data, PreviewOptions());
  m.SetArea(1000, 100);
  m.SetMode(TPreviewMode::kLevel);
  m.MousePress(TPreviewButton::kLeft, 0, 0);
  m.MouseRelease(TPreviewButton::kLeft, 999, 0);
  EXPECT_EQ(m.Record().Channels[0].Level, INT32_MAX);
  EXPECT_EQ(m.Record().Channels[1].Level, 123);
}

TEST(PreviewMouse, ZoomDragClickAndCancel) {
  TPreviewModel m = DesignedModel(80);
  EXPECT_EQ(m.ModeHint(), kPreviewHint);
  EXPECT_TRUE(m.AutomaticHints());
  // A click without a drag started does nothing.
  EXPECT_FALSE(m.MousePress(TPreviewButton::kLeft, 300, 10));

  EXPECT_TRUE(m.MouseDoubleClick(100, 10));
  EXPECT_TRUE(m.ZoomDragging());
  EXPECT_TRUE(m.MouseMove(300, 40));
  EXPECT_EQ(m.DragColumns(), (std::pair<int, int>{100, 300}));
  EXPECT_TRUE(m.MousePress(TPreviewButton::kLeft, 300, 40));
  EXPECT_FALSE(m.ZoomDragging());
  EXPECT_EQ(m.ViewFirst(), 18000);
  EXPECT_EQ(m.ViewLast(), 54000);

  // A right click cancels.
  m.MouseDoubleClick(100, 10);
  EXPECT_TRUE(m.MousePress(TPreviewButton::kRight, 500, 10));
  EXPECT_FALSE(m.ZoomDragging());
  EXPECT_EQ(m.ViewFirst(), 18000);

  // Ending left of the start shows the whole record again.
  m.MouseDoubleClick(600, 10);
  m.MousePress(TPreviewButton::kLeft, 20, 10);
  EXPECT_EQ(m.ViewFirst(), 0);
  EXPECT_EQ(m.ViewLast(), kDesignedLength - 1);

  // Turning a mode on ends a drag; double clicks do not start one in a mode.
  m.MouseDoubleClick(100, 10);
  m.SetMode(TPreviewMode::kLevel);
  EXPECT_FALSE(m.ZoomDragging());
  EXPECT_FALSE(m.MouseDoubleClick(100, 10));
  m.SetMode(TPreviewMode::kNone);
  EXPECT_TRUE(m.AutomaticHints());
}

// --- opening from files -----------------------------------------------------------------------

struct RecordFile {
  TempDir Dir;
  std::string Path;
  TFileRecord Record;
};

// Three channels of 3000 samples at 100 Hz in one miniSEED file, formed into a record as
// adding the file would.
void WriteRecord(RecordFile& f, size_t samples = 3000) {
  f.Path = f.Dir.File("ABC.msd");
  std::vector<testing::MsChannel> channels;
  for (int c = 0; c < 3; ++c) {
    testing::MsChannel ch;
    ch.Channel = std::string("HH") + "ENZ"[c];
    ch.Start = EncodeDateTime(2024, 5, 14, 10, 30, 0);
    ch.Samples = testing::TestSignal(samples, c + 1);
    channels.push_back(ch);
  }
  testing::WriteMiniSeed(f.Path, channels);
  TFileRecords records;
  AssemblySettings settings;
  settings.WorkingRate = kPreviewRate;
  ASSERT_TRUE(AddFile(records, f.Path, settings).Added());
  f.Record = records[0];
  f.Record.SelectStart = f.Record.Start;
  f.Record.SelectFinish = f.Record.Finish;
  for (int c = 0; c < 3; ++c) {
    f.Record.Channels[c].Selected = true;
    f.Record.Channels[c].Level = 2000;
  }
}

TEST(PreviewOpen, LoadsOnceAndReloadsWhenTheSpanOrFilterDiffers) {
  RecordFile f;
  WriteRecord(f);
  TPreviewModel m;
  RecordingUiHost host;
  ASSERT_TRUE(m.OpenRecord(f.Record, PreviewOptions(), host));
  EXPECT_EQ(m.Caption(), "ABC - 14.05.2024 10:30:00");
  EXPECT_EQ(m.HeldPath(), f.Path);
  EXPECT_EQ(m.SampleCount(), 3000);
  EXPECT_EQ(m.Samples().size(), 3u);
  EXPECT_DOUBLE_EQ(m.Record().Finish, f.Record.Start + SpanOfSamples(3000, 100.0));
  EXPECT_TRUE(host.HasStage("ABC: Загрузка данных"));

  // The same record again: the held samples serve.
  RecordingUiHost again;
  TFileRecord edited = m.Record();
  ASSERT_TRUE(m.OpenRecord(edited, PreviewOptions(), again));
  EXPECT_FALSE(again.HasStage("ABC: Загрузка данных"));

  // The record now ends earlier: loaded again, and its Finish follows the samples.
  RecordingUiHost shorter;
  edited.Finish = edited.Start + SpanOfSamples(1000, 100.0);
  ASSERT_TRUE(m.OpenRecord(edited, PreviewOptions(), shorter));
  EXPECT_TRUE(shorter.HasStage("ABC: Загрузка данных"));

  // The noise filter: a band-passed copy of the same length (the filter's four trailing zeros
  // are not samples of the record), loaded afresh.
  RecordingUiHost filtered;
  TPreviewOptions o = PreviewOptions();
  o.Settings.NoiseFilter = true;
  o.Settings.NoiseFMin = 1.0;
  o.Settings.NoiseFMax = 10.0;
  ASSERT_TRUE(m.OpenRecord(f.Record, o, filtered));
  EXPECT_TRUE(filtered.HasStage("ABC: Загрузка данных"));
  EXPECT_TRUE(filtered.HasStage("ABC: Выделение интервалов помех"));
  EXPECT_EQ(m.SampleCount(), 3000);
  EXPECT_EQ(m.Samples()[0].size(), 3000u);
  EXPECT_DOUBLE_EQ(m.Record().Finish, f.Record.Start + SpanOfSamples(3000, 100.0));
}

// The picture as text, for comparing two models drawn in the same area.
std::string PictureText(const TPreviewModel& m) {
  const TPreviewPicture p = BuildPreviewPicture(m);
  std::string text;
  const auto rect = [&](const TPreviewRect& r) {
    text += std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) +
            "," + std::to_string(r.Bottom) + ";";
  };
  for (const TPreviewStrip& strip : p.Strips) {
    text += strip.Name + " " + strip.Scale + " " + strip.Note + ":";
    for (const TPreviewStroke& s : strip.Strokes) {
      text +=
          std::to_string(s.X) + "," + std::to_string(s.Top) + "," + std::to_string(s.Bottom) + ";";
    }
    text += strip.Tail ? "tail\n" : "\n";
  }
  for (const TPreviewRect& r : p.Disturbed) rect(r);
  text += "\n";
  for (const TPreviewRect& r : p.Gaps) rect(r);
  return text;
}

// A record of several files with a gap, opened from its files (read in blocks, the pyramids
// built as they come), shows what its whole matrix shown directly shows, in a wide area and in
// one of few columns, where each column summarises hundreds of samples.
TEST(PreviewOpen, ARecordReadInBlocksShowsWhatItsWholeMatrixShows) {
  TempDir dir;
  for (int f = 0; f < 4; ++f) {
    std::vector<testing::MsChannel> channels;
    const int late = f == 2 ? 3 : 0;  // the third file begins 3 s late
    for (int c = 0; c < 3; ++c) {
      testing::MsChannel ch;
      ch.Channel = std::string("HH") + "ENZ"[c];
      ch.Start = EncodeDateTime(2024, 5, 14, 10, 30, 0) + (f * 400.0 + late) / 86400.0;
      ch.Samples = testing::TestSignal(static_cast<size_t>((400 - late) * 100), 10 * f + c + 1);
      channels.push_back(ch);
    }
    testing::WriteMiniSeed(dir.File("ABC_" + std::to_string(100 + f) + ".msd"), channels);
  }
  TFileRecords records;
  AssemblySettings settings;
  settings.WorkingRate = kPreviewRate;
  settings.MaxSpan = 999;
  RecordingUiHost host;
  AddFiles(records, ListFolder(dir.Path().string(), "*.msd"), settings, host);
  ASSERT_EQ(records.size(), 1u);
  TFileRecord record = records[0];
  record.SelectStart = record.Start;
  record.SelectFinish = record.Finish;
  for (int c = 0; c < 3; ++c) {
    record.Channels[c].Selected = true;
    record.Channels[c].Level = 2000;
  }

  TPreviewModel opened;
  ASSERT_TRUE(opened.OpenRecord(record, PreviewOptions(), host));
  TFileRecord loaded = record;
  TData32 whole;
  LoadReport report;
  LoadSettings load;
  load.DefaultRate = PreviewOptions().DefaultRate;
  ASSERT_TRUE(LoadRecord(loaded, whole, host, load, &report));
  ASSERT_FALSE(report.Unread[0].empty());
  TPreviewModel shown;
  shown.ShowSamples(loaded, whole, PreviewOptions(), report.Unread);

  EXPECT_EQ(opened.Samples(), whole);
  EXPECT_EQ(opened.SampleCount(), shown.SampleCount());
  EXPECT_EQ(opened.PyramidBytes(), shown.PyramidBytes());
  EXPECT_GT(opened.PyramidBytes(), 0u);
  for (const auto& [width, height] : {std::pair{1200, 600}, std::pair{90, 300}}) {
    opened.SetArea(width, height);
    shown.SetArea(width, height);
    const std::string want = PictureText(shown);
    EXPECT_EQ(PictureText(opened), want) << width;
  }
}

TEST(PreviewOpen, MissingUnreadableAndStopped) {
  RecordFile f;
  WriteRecord(f);
  TPreviewModel m;
  RecordingUiHost host;
  ASSERT_TRUE(m.OpenRecord(f.Record, PreviewOptions(), host));

  // Missing: the message, and nothing is held any more.
  TFileRecord missing = f.Record;
  missing.File = f.Dir.File("gone.msd");
  EXPECT_FALSE(m.OpenRecord(missing, PreviewOptions(), host));
  ASSERT_FALSE(host.Messages.empty());
  EXPECT_EQ(host.Messages.back(), "Файл " + missing.File + " не найден");
  EXPECT_TRUE(m.HeldPath().empty());
  EXPECT_TRUE(m.Samples().empty());

  // Not a seismogram, and a seismogram cut inside its first record header (each alone in its
  // folder, so that no other file continues it).
  for (const char* name : {"junk.msd", "cut.msd"}) {
    TempDir other;
    TFileRecord bad = f.Record;
    bad.File = other.File(name);
    std::vector<uint8_t> bytes = testing::ReadBytes(f.Path);
    bytes.resize(std::string(name) == "cut.msd" ? 40 : 0);
    if (bytes.empty()) bytes.assign(600, 'x');
    testing::WriteBytes(bad.File, bytes);
    RecordingUiHost h;
    EXPECT_FALSE(m.OpenRecord(bad, PreviewOptions(), h)) << name;
    ASSERT_EQ(h.Messages.size(), 1u) << name;
    EXPECT_EQ(h.Messages[0], "ABC: не удалось прочитать запись " + bad.File);
    EXPECT_TRUE(m.Samples().empty());
  }

  // Stopped while loading: everything loaded is let go.
  RecordingUiHost stopping;
  bool loading_seen = false;
  stopping.StopWhen = [&](int) {
    loading_seen = m.Loading();
    return true;
  };
  EXPECT_FALSE(m.OpenRecord(f.Record, PreviewOptions(), stopping));
  EXPECT_TRUE(loading_seen);
  EXPECT_FALSE(m.Loading());
  EXPECT_TRUE(m.Samples().empty());
  EXPECT_TRUE(m.HeldPath().empty());
  EXPECT_TRUE(stopping.Messages.empty());
}

TEST(PreviewShow, StoppedCancelledAndAccepted) {
  RecordFile f;
  WriteRecord(f);
  TPreviewModel m;
  std::vector<bool> loading;
  int shown = 0;
  TShowRecordHooks hooks;
  hooks.Loading = [&](bool on) { loading.push_back(on); };

  // Stopped: not shown, the stage tells it.
  RecordingUiHost host;
  host.StopWhen = [](int) { return true; };
  hooks.ShowModal = [&] {
    ++shown;
    return true;
  };
  TFileRecord record = f.Record;
  EXPECT_EQ(ShowRecord(m, record, PreviewOptions(), host, hooks), TShowRecordOutcome::kStopped);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(host.Stages.back(), kLoadingStoppedText);
  EXPECT_EQ(loading, (std::vector<bool>{true, false}));
  EXPECT_EQ(host.Gauge.front(), (std::pair<int, int>{0, 1}));

  // Cancelled: the edits stay in the preview.
  RecordingUiHost ok_host;
  m.SetMode(TPreviewMode::kLevel);
  hooks.ShowModal = [&] {
    EXPECT_EQ(m.Mode(), TPreviewMode::kNone);  // the tools were released before showing
    m.SetMode(TPreviewMode::kInterval);
    m.SetArea(301, 100);
    m.MousePress(TPreviewButton::kLeft, 150, 10);
    return false;
  };
  EXPECT_EQ(ShowRecord(m, record, PreviewOptions(), ok_host, hooks),
            TShowRecordOutcome::kCancelled);
  EXPECT_EQ(record.SelectStart, f.Record.SelectStart);

  // Accepted: the edited copy comes back.
  hooks.ShowModal = [&] {
    m.SetMode(TPreviewMode::kInterval);
    m.SetArea(301, 100);
    m.MousePress(TPreviewButton::kLeft, 100, 10);  // sample 999.67
    m.SetMode(TPreviewMode::kLevel);
    m.MousePress(TPreviewButton::kLeft, 0, 10);
    m.MouseRelease(TPreviewButton::kLeft, 300, 10);
    return true;
  };
  record.Finish += 1.0;  // an end beyond the file: the copy's Finish follows the samples
  EXPECT_EQ(ShowRecord(m, record, PreviewOptions(), ok_host, hooks), TShowRecordOutcome::kAccepted);
  EXPECT_EQ(m.IndexOfTime(record.SelectStart), 1000);
  EXPECT_DOUBLE_EQ(record.Finish, f.Record.Start + SpanOfSamples(3000, 100.0));
  EXPECT_EQ(record.SampleCount, 3000);
  EXPECT_GT(record.Channels[0].Level, 0);
  EXPECT_NE(record.Channels[0].Level, f.Record.Channels[0].Level);

  // A missing file: not shown.
  record.File = f.Dir.File("gone.msd");
  EXPECT_EQ(ShowRecord(m, record, PreviewOptions(), ok_host, hooks),
            TShowRecordOutcome::kNotOpened);
}

}  // namespace
}  // namespace tarvik

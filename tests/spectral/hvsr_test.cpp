#include "spectral/hvsr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <numbers>
#include <random>

#include "demo_recordings.h"
#include "project/demo.h"
#include "project/project.h"
#include "recording_ui_host.h"
#include "records/header_cache.h"
#include "records/load_record.h"
#include "spectral/hv_export.h"
#include "spectral/hvsr_series.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;

constexpr double kRate = 50.0;
constexpr int kSegment = 2048;  // 40.96 s windows
constexpr int32_t kQuiet = 2147483647;

// Three selected channels E, N, Z over n samples, every sample quiet, unit chains.
TFileRecord MakeRecord(int64_t n) {
  TFileRecord r;
  r.Station = "HVS";
  r.SampRate = kRate;
  r.Start = EncodeDateTime(2022, 6, 1);
  r.Channels.resize(3);
  for (int c = 0; c < 3; ++c) {
    r.Channels[c].Selected = true;
    r.Channels[c].Axis = static_cast<Component>(c);
    r.Channels[c].Level = kQuiet;
    r.Channels[c].ADCCoef = 1.0;
  }
  r.SampleCount = static_cast<int32_t>(n);
  r.SelectStart = r.Start;
  r.SelectFinish = r.Start + static_cast<double>(n - 1) / kRate / 86400.0;
  return r;
}

TSpectrumSettings Spectrum() {
  TSpectrumSettings s;
  s.SilenceDur = kSegment / kRate;
  s.NoiseDur = 0.0;
  return s;
}

// Designed windows: white noise on every component; the horizontals add independent noise
// through a two-pole resonator (poles at 0.99·e^(±iω0), ω0 placed so that the gain peaks at
// `resonance` Hz, about 5 times the noise there), so H/V peaks there over a flat vertical.
// Windows w with disturbed(w) carry a strong 8 Hz sine on E and N.
template <typename Disturbed>
TData32 DesignedSamples(int windows, double resonance, unsigned seed, Disturbed disturbed) {
  const int64_t n = static_cast<int64_t>(windows) * kSegment;
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1000.0);
  const double r = 0.99;
  // The gain of 1/(1 − 2r·cos ω0·z⁻¹ + r²·z⁻²) peaks where cos ω = cos ω0·(1 + r²)/(2r).
  const double w0 =
      std::acos(std::cos(2.0 * std::numbers::pi * resonance / kRate) * 2.0 * r / (1.0 + r * r));
  TData32 d(3, std::vector<int32_t>(static_cast<size_t>(n)));
  for (int c = 0; c < 3; ++c) {
    double y1 = 0.0, y2 = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      double v = noise(rng);
      if (c < 2) {
        const double y = 0.025 * noise(rng) + 2.0 * r * std::cos(w0) * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        v += y;
        if (disturbed(static_cast<int>(i / kSegment))) {
          v += 30000.0 * std::sin(2.0 * std::numbers::pi * 8.0 * static_cast<double>(i) / kRate);
        }
      }
      d[c][static_cast<size_t>(i)] = static_cast<int32_t>(std::lround(v));
    }
  }
  return d;
}

TData32 DesignedSamples(int windows, double resonance, unsigned seed) {
  return DesignedSamples(windows, resonance, seed, [](int) { return false; });
}

// The search band starts at 0.5 Hz, above 10/lw (0.24 Hz) as the guidelines ask: far below
// the resonance a window's few lines give ratios of any size.
THvsrSettings Banded() {
  THvsrSettings s;
  s.BandFMin = 0.5;
  s.BandFMax = 20.0;
  return s;
}

THvsrResult Analyse(const TData32& samples, const THvsrSettings& settings,
                    THvsrStatus* status_out = nullptr) {
  const TFileRecord record = MakeRecord(static_cast<int64_t>(samples[0].size()));
  RecordingUiHost host;
  THvsrResult result;
  const THvsrStatus status =
      AnalyseRecordSamples(record, samples, Spectrum(), settings, host, result);
  if (status_out != nullptr) *status_out = status;
  return result;
}

void ExpectNear2Hz(const THvsrResult& r, const std::string& what) {
  ASSERT_TRUE(r.Ok) << what << ": " << r.Verdict;
  EXPECT_NEAR(r.F0Mean, 2.0, 0.04) << what;
  EXPECT_NEAR(r.F0Median, 2.0, 0.04) << what;
}

// No text of an analysis holds a value that is not a number.
void ExpectNoNonNumbers(const THvsrResult& r) {
  TFileRecord record = MakeRecord(10);
  for (const std::string& text :
       {HvFileText(r), WindowsCsvText(r, kRate), ReportJsonText(r, record)}) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(lower.find("nan"), std::string::npos) << text.substr(0, 200);
    EXPECT_EQ(lower.find("inf"), std::string::npos) << text.substr(0, 200);
  }
  THvFile hv;
  std::string error;
  EXPECT_TRUE(ParseHvFile(HvFileText(r), hv, &error)) << error;
}

TEST(Hvsr, ResonanceOverAFlatVerticalGivesF0BothWays) {
  const TData32 samples = DesignedSamples(40, 2.0, 11);
  for (THvsrHorizontal h :
       {THvsrHorizontal::kArithmetic, THvsrHorizontal::kGeometric, THvsrHorizontal::kSquared}) {
    THvsrSettings s = Banded();
    s.Horizontal = h;
    const THvsrResult r = Analyse(samples, s);
    ExpectNear2Hz(r, HorizontalName(h));
    EXPECT_EQ(r.Curves.size(), 40u);
    EXPECT_GT(r.A0Mean, 2.0);
    EXPECT_DOUBLE_EQ(r.WindowSeconds, kSegment / kRate);
    EXPECT_EQ(r.Sesame.ReliablePassed, 3) << r.Verdict;
    ExpectNoNonNumbers(r);
  }
  // Without smoothing each window's lines are too rough for a peak of its own, but the mean
  // curve still shows the resonance.
  THvsrSettings plain = Banded();
  plain.Smoothing = THvsrSmoothing::kNone;
  plain.Rejection = THvsrRejection::kNone;
  const THvsrResult r = Analyse(samples, plain);
  EXPECT_NEAR(r.F0Mean, 2.0, 0.04);
  EXPECT_EQ(r.Count(TWindowFate::kKept), 40);
  // The grid is cut at the last line (25 Hz at 50 Hz).
  EXPECT_LE(r.Grid.back(), 25.0);
  EXPECT_GE(r.Grid.front(), 0.1);
}

TEST(Hvsr, OutlyingWindowsAreRejectedAndF0ComesBack) {
  // One window in six carries a strong 8 Hz peak: its peak frequency lies √5·σ from the
  // lognormal mean, beyond the default n = 2.
  auto sixth = [](int w) { return w % 6 == 3; };
  const TData32 samples = DesignedSamples(48, 2.0, 12, sixth);
  THvsrSettings none = Banded();
  none.Rejection = THvsrRejection::kNone;
  const THvsrResult before = Analyse(samples, none);
  EXPECT_GT(before.F0Median, 2.2);  // pulled up by the disturbed windows
  const THvsrResult r = Analyse(samples, Banded());
  ExpectNear2Hz(r, "rejection");
  for (size_t w = 0; w < r.Fate.size(); ++w) {
    if (sixth(static_cast<int>(w))) {
      EXPECT_EQ(r.Fate[w], TWindowFate::kRejected) << w;
      EXPECT_NEAR(r.WindowF0[w], 8.0, 0.3) << w;
    }
  }
  EXPECT_GE(r.Count(TWindowFate::kKept), 30);
  EXPECT_GE(r.Iterations, 1);

  // A third of the windows at one other frequency always lies √2·σ from the lognormal mean
  // (√((1 − p)/p) for a share p), so n = 2 keeps them, as the algorithm is meant to: it rejects
  // outliers, not a second population.
  auto third = [](int w) { return w % 3 == 1; };
  const TData32 mixed = DesignedSamples(48, 2.0, 13, third);
  const THvsrResult kept = Analyse(mixed, Banded());
  for (size_t w = 0; w < kept.Fate.size(); ++w) {
    if (third(static_cast<int>(w))) {
      EXPECT_EQ(kept.Fate[w], TWindowFate::kKept) << w;
    }
  }
}

TEST(Hvsr, SegmentHookSeesTheSpectraTheAveragesAreMadeOf) {
  // Chains that differ per channel (ADC coefficients), displacement output: the mean of the
  // spectra the hook sees equals the engine's averaged spectrum line by line.
  TFileRecord record = MakeRecord(6 * kSegment);
  const double coefs[] = {2.0, 0.5, 4.0};
  for (size_t c = 0; c < 3; ++c) record.Channels.at(c).ADCCoef = coefs[c];
  TSpectrumSettings s = Spectrum();
  s.UnitOut = 0;
  const TData32 samples = DesignedSamples(6, 2.0, 14);
  TMatrix2D sums(3);
  int segments = 0;
  const TSegmentHook hook = [&](const TSegmentSpectra& seg) {
    EXPECT_EQ(seg.Index, segments);
    EXPECT_EQ(seg.FirstSample, int64_t{segments} * kSegment);
    EXPECT_EQ(seg.Length, kSegment);
    EXPECT_DOUBLE_EQ(seg.LineStep, kRate / kSegment);
    for (size_t c = 0; c < 3; ++c) {
      sums[c].resize(seg.Rows[c].size(), 0.0);
      for (size_t k = 0; k < seg.Rows[c].size(); ++k) sums[c][k] += seg.Rows[c][k];
    }
    ++segments;
    return true;
  };
  RecordingUiHost host;
  TMatrix2D mean, stdev;
  ASSERT_TRUE(CalculateSpectraOfSamples(record, samples, s, record.SelectStart, record.SelectFinish,
                                        host, mean, stdev, hook)
                  .Computed());
  ASSERT_EQ(segments, 6);
  for (size_t c = 0; c < 3; ++c) {
    ASSERT_EQ(sums[c].size(), mean[c].size());
    for (size_t k = 0; k < mean[c].size(); ++k) {
      EXPECT_NEAR(sums[c][k] / 6.0, mean[c][k], 1e-9 * std::fabs(mean[c][k]) + 1e-300) << c;
    }
  }
  // A hook that says stop ends the calculation as the stop flag does.
  const TSegmentHook stop = [](const TSegmentSpectra&) { return false; };
  EXPECT_EQ(CalculateSpectraOfSamples(record, samples, s, record.SelectStart, record.SelectFinish,
                                      host, mean, stdev, stop)
                .Outcome,
            TSpectraOutcome::kStopped);
}

TEST(Hvsr, DegenerateRecordsGiveAClearVerdict) {
  // One window only.
  THvsrResult one = Analyse(DesignedSamples(1, 2.0, 15), THvsrSettings{});
  EXPECT_FALSE(one.Ok);
  EXPECT_EQ(one.Verdict, "only 1 usable window: statistics need at least 2");
  EXPECT_EQ(one.Reason.Code, TCode::kVerdictOneUsableWindow);
  EXPECT_TRUE(one.Finding.Ok()) << "no f0, no finding";
  ExpectNoNonNumbers(one);

  // A vertical of zeros: no window is usable.
  TData32 zero_z = DesignedSamples(8, 2.0, 16);
  std::fill(zero_z[2].begin(), zero_z[2].end(), 0);
  const THvsrResult zeros = Analyse(zero_z, THvsrSettings{});
  EXPECT_FALSE(zeros.Ok);
  EXPECT_EQ(zeros.Count(TWindowFate::kUnusable), 8);
  EXPECT_EQ(zeros.Verdict, "no usable window: a component is zero or missing in every window");
  EXPECT_EQ(zeros.Reason.Code, TCode::kVerdictNoUsableWindow);
  EXPECT_TRUE(zeros.Mean.empty());
  ExpectNoNonNumbers(zeros);

  // A horizontal of zeros under the geometric mean: the same.
  TData32 zero_e = DesignedSamples(8, 2.0, 17);
  std::fill(zero_e[0].begin(), zero_e[0].end(), 0);
  THvsrSettings geometric;
  geometric.Horizontal = THvsrHorizontal::kGeometric;
  EXPECT_EQ(Analyse(zero_e, geometric).Count(TWindowFate::kUnusable), 8);

  // No N channel selected; no quiet segment at all.
  THvsrStatus status;
  TFileRecord no_n = MakeRecord(8 * kSegment);
  no_n.Channels[1].Selected = false;
  RecordingUiHost host;
  THvsrResult result;
  status = AnalyseRecordSamples(no_n, DesignedSamples(8, 2.0, 18), Spectrum(), THvsrSettings{},
                                host, result);
  EXPECT_EQ(status.Outcome, THvsrOutcome::kFailed);
  ASSERT_EQ(status.Failure.Code, TCode::kAtStation);
  ASSERT_TRUE(status.Failure.Args.size() == 2 && status.Failure.Args[1].Nested);
  EXPECT_EQ(status.Failure.Args[0].Text, "HVS");
  EXPECT_EQ(status.Failure.Args[1].Nested->Code, TCode::kHvsrNeedsEnz);
  EXPECT_EQ(Text(status.Failure, TLanguage::kEnglish),
            "HVS: H/V needs a selected E, N and Z channel");
  TFileRecord loud = MakeRecord(8 * kSegment);
  for (TRecordChannel& c : loud.Channels) c.Level = -1;
  status = AnalyseRecordSamples(loud, DesignedSamples(8, 2.0, 18), Spectrum(), THvsrSettings{},
                                host, result);
  EXPECT_EQ(status.Outcome, THvsrOutcome::kFailed);
  EXPECT_EQ(Text(status.Failure, TLanguage::kRussian),
            "HVS: недостаточно данных для расчета: не задан допустимый уровень: канал 1 () = -1, "
            "канал 2 () = -1, канал 3 () = -1");

  // A grid beyond the lines.
  THvsrSettings high;
  high.GridFMin = 30.0;
  high.GridFMax = 40.0;
  Analyse(DesignedSamples(2, 2.0, 19), high, &status);
  EXPECT_EQ(status.Outcome, THvsrOutcome::kFailed);
  ASSERT_TRUE(status.Failure.Args.size() == 2 && status.Failure.Args[1].Nested);
  EXPECT_EQ(status.Failure.Args[1].Nested->Code, TCode::kHvsrGridOutsideLines);
  EXPECT_NE(Text(status.Failure, TLanguage::kEnglish).find("outside the spectrum's lines"),
            std::string::npos);
}

// Windows built directly on a grid: a peak at `peak` Hz (height 4) or a flat curve.
THvsrWindowSet Curves(const std::vector<double>& peaks) {
  THvsrWindowSet set;
  for (int i = 0; i < 64; ++i) set.Grid.push_back(0.5 * std::pow(1.05, i));
  for (double p : peaks) {
    std::vector<double> curve;
    for (double f : set.Grid) {
      const double x = p > 0.0 ? std::log(f / p) / 0.1 : 0.0;
      curve.push_back(p > 0.0 ? 1.0 + 3.0 / (1.0 + x * x) : 1.0);
    }
    set.Curves.push_back(curve);
    set.FirstSample.push_back(static_cast<int64_t>(set.FirstSample.size()) * 100);
  }
  set.WindowSeconds = 60.0;
  return set;
}

TEST(Hvsr, FlatCurvesAndRejectedWindowsGiveAClearVerdict) {
  const THvsrResult flat = AnalyseWindows(Curves({0.0, 0.0, 0.0}), THvsrSettings{});
  EXPECT_FALSE(flat.Ok);
  EXPECT_EQ(flat.Count(TWindowFate::kNoPeak), 3);
  EXPECT_EQ(flat.Verdict.rfind("no window has a peak in the search band", 0), 0u);
  EXPECT_EQ(flat.Reason.Code, TCode::kVerdictNoWindowPeak);
  EXPECT_EQ(flat.MeanWindows, 3);  // the mean of the usable windows is still shown
  ExpectNoNonNumbers(flat);

  // Two windows with peaks far apart and n = 0.5: each lies 0.71·σ from the mean.
  THvsrSettings tight;
  tight.RejectionN = 0.5;
  const THvsrResult all = AnalyseWindows(Curves({1.0, 4.0}), tight);
  EXPECT_EQ(all.Count(TWindowFate::kRejected), 2);
  EXPECT_EQ(all.Verdict, "every window was rejected");
  EXPECT_EQ(all.Reason.Code, TCode::kVerdictAllRejected);
  ExpectNoNonNumbers(all);

  // No window at all, a window of a wrong length, a band without grid points.
  EXPECT_EQ(AnalyseWindows(Curves({}), THvsrSettings{}).Verdict, "no window");
  EXPECT_EQ(AnalyseWindows(Curves({}), THvsrSettings{}).Reason.Code, TCode::kVerdictNoWindow);
  THvsrWindowSet ragged = Curves({2.0, 2.0, 2.0});
  ragged.Curves[1].pop_back();
  const THvsrResult r = AnalyseWindows(ragged, THvsrSettings{});
  EXPECT_EQ(r.Fate[1], TWindowFate::kUnusable);
  EXPECT_TRUE(r.Ok) << r.Verdict;
  EXPECT_TRUE(r.Reason.Ok());
  THvsrSettings band;
  band.BandFMin = 100.0;
  band.BandFMax = 200.0;
  const THvsrResult outside = AnalyseWindows(Curves({2.0, 2.0}), band);
  EXPECT_EQ(outside.Verdict, "no grid point in the search band 100-200 Hz");
  // The report keeps the English; the user is told in the run's language.
  EXPECT_EQ(outside.Reason.Code, TCode::kVerdictNoGridPoint);
  EXPECT_EQ(Text(outside.Reason, TLanguage::kRussian),
            "в полосе поиска 100-200 Гц нет ни одной точки сетки");
}

TEST(Hvsr, SearchBandChoosesThePeak) {
  // Windows with a peak at 1 Hz and a higher one at 8 Hz (sum of two designed curves).
  THvsrWindowSet set = Curves({1.0, 1.0, 1.0});
  const THvsrWindowSet high = Curves({8.0, 8.0, 8.0});
  for (size_t w = 0; w < 3; ++w) {
    for (size_t i = 0; i < set.Grid.size(); ++i) {
      set.Curves[w][i] = set.Curves[w][i] * (1.0 + 4.0 * (high.Curves[w][i] - 1.0) / 3.0) *
                         (1.0 + 0.01 * static_cast<double>(w));
    }
  }
  const THvsrResult whole = AnalyseWindows(set, THvsrSettings{});
  EXPECT_NEAR(whole.F0Mean, 8.0, 0.4);
  THvsrSettings low;
  low.BandFMin = 0.6;
  low.BandFMax = 3.0;
  const THvsrResult banded = AnalyseWindows(set, low);
  EXPECT_NEAR(banded.F0Mean, 1.0, 0.05);
  EXPECT_NEAR(banded.F0Median, 1.0, 0.05);
}

TEST(RejectWindows, LognormalBoundsAndConvergence) {
  // 30 windows at 2 Hz ± a little, 5 at 8 Hz: the 8 Hz ones lie outside exp(μ ± 2σ).
  std::vector<double> f0;
  for (int i = 0; i < 30; ++i) f0.push_back(2.0 * std::exp(0.02 * ((i % 5) - 2)));
  for (int i = 0; i < 5; ++i) f0.push_back(8.0);
  std::vector<TWindowFate> fate(f0.size(), TWindowFate::kKept);
  const int passes = RejectWindows(f0, fate, 2.0);
  for (size_t i = 0; i < f0.size(); ++i) {
    EXPECT_EQ(fate[i], i < 30 ? TWindowFate::kKept : TWindowFate::kRejected) << i;
  }
  EXPECT_EQ(passes, 2);  // the second pass rejects nothing and finds μ and σ settled
  // Windows already out of the count (no peak) stay as they are; equal peaks stop at once.
  std::vector<TWindowFate> fixed = {TWindowFate::kNoPeak, TWindowFate::kKept, TWindowFate::kKept};
  EXPECT_EQ(RejectWindows({0.0, 3.0, 3.0}, fixed, 2.0), 0);
  EXPECT_EQ(fixed[0], TWindowFate::kNoPeak);
  EXPECT_EQ(fixed[2], TWindowFate::kKept);
  const TLognormal ln = LognormalOf({1.0, std::exp(2.0)});
  EXPECT_DOUBLE_EQ(ln.MeanLn, 1.0);
  EXPECT_DOUBLE_EQ(ln.SigmaLn, std::sqrt(2.0));
}

// A record analysed from its files reads their headers through the run's cache: the second
// analysis finds them there and gives the same result.
TEST(Hvsr, RecordFilesAreReadThroughTheRunsHeaderCache) {
  testing::TempDir dir;
  TDemoOptions options;
  options.Stations = {{"TVK01", 2.0}};
  options.FileSeconds = 240.0;
  options.TransientsPerFile = 0;
  testing::RecordingUiHost host;
  TProject project;
  ASSERT_NO_FATAL_FAILURE(testing::BuildDemoProjectIn(dir.Path().string(), options, host, project));
  ASSERT_EQ(project.Records.size(), 1u);
  TFileRecord& record = project.Records[0];
  const TSpectrumSettings spectrum = project.SettingsFor(record);
  const double rate = project.General.SampRateDefault;

  HeaderCache cache;
  THvsrResult first, again, uncached;
  ASSERT_EQ(AnalyseRecord(record, spectrum, rate, THvsrSettings{}, host, first, &cache).Outcome,
            THvsrOutcome::kAnalysed);
  const size_t held = cache.Size();
  EXPECT_EQ(held, static_cast<size_t>(options.Files));
  ASSERT_EQ(AnalyseRecord(record, spectrum, rate, THvsrSettings{}, host, again, &cache).Outcome,
            THvsrOutcome::kAnalysed);
  EXPECT_EQ(cache.Size(), held);
  ASSERT_EQ(AnalyseRecord(record, spectrum, rate, THvsrSettings{}, host, uncached).Outcome,
            THvsrOutcome::kAnalysed);
  for (const THvsrResult* r : {&again, &uncached}) {
    EXPECT_EQ(r->Curves.size(), first.Curves.size());
    EXPECT_EQ(r->Mean, first.Mean);
    EXPECT_EQ(r->F0Median, first.F0Median);
  }
  EXPECT_NEAR(first.F0Mean, 2.0, 0.1);
}

// The directions of a record read in blocks, E turned as each block is read, are those of its
// whole matrix turned at once: the same windows, curves and f0 in every direction, over a
// record of several files whose transients the quiet search leaves out.
TEST(HvsrAzimuths, ARecordReadInBlocksGivesTheDirectionsOfItsWholeMatrix) {
  testing::TempDir dir;
  TDemoOptions options;
  options.Stations = {{"TVK01", 2.0}};
  options.FileSeconds = 240.0;
  testing::RecordingUiHost host;
  TProject project;
  ASSERT_NO_FATAL_FAILURE(testing::BuildDemoProjectIn(dir.Path().string(), options, host, project));
  ASSERT_EQ(project.Records.size(), 1u);
  const TFileRecord record = project.Records[0];
  const TSpectrumSettings spectrum = project.SettingsFor(record);
  const double rate = project.General.SampRateDefault;
  const double step = 30.0;

  TFileRecord loaded = record;
  TData32 samples;
  LoadReport report;
  LoadSettings load;
  load.DefaultRate = rate;
  ASSERT_TRUE(LoadRecord(loaded, samples, host, load, &report));
  {
    TFileRecord streamed = record;
    RecordBlocks blocks;
    ASSERT_TRUE(blocks.Open(streamed, host, load));
    EXPECT_TRUE(blocks.Streaming());
  }
  THvsrWindowSet want_whole;
  THvsrAzimuths want;
  const THvsrStatus want_status = AnalyseSamplesAzimuths(
      loaded, samples, report.Unread, spectrum, THvsrSettings{}, step, host, want_whole, want);
  ASSERT_EQ(want_status.Outcome, THvsrOutcome::kAnalysed)
      << Text(want_status.Failure, TLanguage::kEnglish);

  // Read again in blocks for each direction (no record is small enough), and read once.
  ASSERT_GT(record.SampleCount, 0);
  for (const int64_t whole_bytes : {int64_t{0}, kAzimuthWholeRecordBytes}) {
    SCOPED_TRACE("whole record bytes " + std::to_string(whole_bytes));
    TFileRecord read = record;
    THvsrWindowSet got_whole;
    THvsrAzimuths got;
    const THvsrStatus got_status = AnalyseRecordAzimuths(
        read, spectrum, rate, THvsrSettings{}, step, host, got_whole, got, nullptr, whole_bytes);
    ASSERT_EQ(got_status.Outcome, THvsrOutcome::kAnalysed)
        << Text(got_status.Failure, TLanguage::kEnglish);
    EXPECT_EQ(got_whole.FirstSample, want_whole.FirstSample);
    EXPECT_EQ(got_whole.Curves, want_whole.Curves);
    EXPECT_EQ(got_whole.IndustrialLines, want_whole.IndustrialLines);
    ASSERT_EQ(got.Directions.size(), 7u);
    ASSERT_EQ(got.Directions.size(), want.Directions.size());
    for (size_t k = 0; k < got.Directions.size(); ++k) {
      const THvsrResult& a = got.Directions[k].Result;
      const THvsrResult& b = want.Directions[k].Result;
      SCOPED_TRACE("azimuth " + std::to_string(got.Directions[k].Azimuth));
      EXPECT_EQ(got.Directions[k].Azimuth, want.Directions[k].Azimuth);
      EXPECT_GT(a.FirstSample.size(), 3u);
      EXPECT_EQ(a.FirstSample, b.FirstSample);
      EXPECT_EQ(a.Curves, b.Curves);
      EXPECT_EQ(a.Fate, b.Fate);
      EXPECT_EQ(a.Mean, b.Mean);
      EXPECT_EQ(a.HasF0Mean, b.HasF0Mean);
      EXPECT_EQ(a.F0Mean, b.F0Mean);
      EXPECT_EQ(a.A0Mean, b.A0Mean);
      EXPECT_EQ(a.Verdict, b.Verdict);
    }
    EXPECT_EQ(got.WithF0, want.WithF0);
    EXPECT_EQ(got.F0Median, want.F0Median);
    EXPECT_EQ(got.A0SigmaLn, want.A0SigmaLn);
    // The directions differ from one another: E is turned, not left as it was.
    EXPECT_NE(got.Directions[0].Result.Curves, got.Directions[3].Result.Curves);
  }
}

// Designed three-component records for the directions, the time series and the industrial
// lines: white noise on each component; a component with a resonance adds independent noise
// through a two-pole resonator peaking there (from sample `change` on at `later` instead); a
// sine of sine_hz with amplitude sine[c].
struct Design {
  std::array<double, 3> Resonance{};
  std::array<double, 3> Later{};
  int64_t Change = -1;
  double SineHz = 0.0;
  std::array<double, 3> Sine{};
};

TData32 DesignSamples(int64_t n, const Design& design, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1000.0);
  const double r = 0.99;
  const auto pole = [&](double f) {
    return std::acos(std::cos(2.0 * std::numbers::pi * f / kRate) * 2.0 * r / (1.0 + r * r));
  };
  TData32 d(3, std::vector<int32_t>(static_cast<size_t>(n)));
  for (size_t c = 0; c < 3; ++c) {
    double y1 = 0.0, y2 = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      double v = noise(rng);
      const bool later = design.Change >= 0 && i >= design.Change && design.Later[c] > 0.0;
      const double f = later ? design.Later[c] : design.Resonance[c];
      if (f > 0.0) {
        const double y = 0.025 * noise(rng) + 2.0 * r * std::cos(pole(f)) * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        v += y;
      }
      v += design.Sine[c] *
           std::sin(2.0 * std::numbers::pi * design.SineHz * static_cast<double>(i) / kRate);
      d[c][static_cast<size_t>(i)] = static_cast<int32_t>(std::lround(v));
    }
  }
  return d;
}

THvsrWindowSet Windows(const TFileRecord& record, const TData32& samples,
                       const THvsrSettings& settings) {
  RecordingUiHost host;
  THvsrWindowSet windows;
  const THvsrStatus status =
      CollectWindowsOfSamples(record, samples, {}, Spectrum(), settings, host, windows);
  EXPECT_EQ(status.Outcome, THvsrOutcome::kAnalysed) << Text(status.Failure, TLanguage::kEnglish);
  return windows;
}

TEST(HvsrAzimuths, EachDirectionShowsItsOwnResonance) {
  // E resonates at 2 Hz, N at 4 Hz: H(0°) is N, H(90°) is E.
  Design design;
  design.Resonance = {2.0, 4.0, 0.0};
  const int64_t n = 40 * kSegment;
  const TData32 samples = DesignSamples(n, design, 21);
  TFileRecord record = MakeRecord(n);
  // The channels in the order Z, E, N: the direction comes from each channel's component as
  // read (N or 1, E or 2), not from its place.
  TData32 shuffled = {samples[2], samples[0], samples[1]};
  for (const bool reorder : {false, true}) {
    TFileRecord r = record;
    if (reorder) {
      r.Channels[0].Axis = Component::kZ;
      r.Channels[1].Axis = Component::kE;
      r.Channels[2].Axis = Component::kN;
    }
    RecordingUiHost host;
    THvsrWindowSet whole;
    THvsrAzimuths azimuths;
    const THvsrStatus status = AnalyseSamplesAzimuths(
        r, reorder ? shuffled : samples, {}, Spectrum(), Banded(), 45.0, host, whole, azimuths);
    ASSERT_EQ(status.Outcome, THvsrOutcome::kAnalysed) << Text(status.Failure, TLanguage::kEnglish);
    ASSERT_EQ(azimuths.Directions.size(), 5u);
    const std::map<double, double> expected = {{0.0, 4.0}, {90.0, 2.0}, {180.0, 4.0}};
    for (const THvsrAzimuth& d : azimuths.Directions) {
      const auto it = expected.find(d.Azimuth);
      if (it == expected.end()) continue;
      ASSERT_TRUE(d.Result.HasF0Mean) << d.Azimuth << ": " << d.Result.Verdict;
      EXPECT_NEAR(d.Result.F0Mean, it->second, 0.03 * it->second)
          << "azimuth " << d.Azimuth << (reorder ? " reordered" : "");
    }
    EXPECT_EQ(azimuths.WithF0, 5);
    // f0 spreads over the directions between 2 and 4 Hz.
    EXPECT_GT(azimuths.F0SigmaLn, 0.2);
    EXPECT_GT(azimuths.F0Median, 2.0);
    EXPECT_LT(azimuths.F0Median, 4.0);
  }

  // Horizontals through different chains cannot be rotated as counts.
  record.Channels[1].ADCCoef = 2.0;
  RecordingUiHost host;
  THvsrWindowSet whole;
  THvsrAzimuths azimuths;
  const THvsrStatus refused = AnalyseSamplesAzimuths(record, samples, {}, Spectrum(), Banded(),
                                                     45.0, host, whole, azimuths);
  EXPECT_EQ(refused.Outcome, THvsrOutcome::kFailed);
  EXPECT_NE(Text(refused.Failure, TLanguage::kEnglish).find("same response"), std::string::npos)
      << Text(refused.Failure, TLanguage::kEnglish);
}

// The verdict shown on the console: in English the stored text to the byte, in Russian the same
// numbers without an English word.
void ExpectFindingTellsTheVerdict(const THvsrResult& r) {
  ASSERT_TRUE(r.Ok) << r.Verdict;
  EXPECT_TRUE(r.Reason.Ok());
  EXPECT_EQ(Text(r.Finding, TLanguage::kEnglish), r.Verdict);
  const std::string russian = Text(r.Finding, TLanguage::kRussian);
  for (const char* english : {"Hz", "reliable", "clear", "industrial", "ambiguous", "peak"})
    EXPECT_EQ(russian.find(english), std::string::npos) << russian;
  const std::string f0 = r.Verdict.substr(0, r.Verdict.find(" Hz"));
  EXPECT_EQ(russian.rfind(f0, 0), 0u) << russian;  // "f0 = 2.00 ± 0.03" as stored
}

TEST(HvsrIndustrial, ALineInAllThreeComponentsIsNotF0) {
  // A 12.5 Hz sine, strong on the horizontals and present on the vertical, over a 2 Hz
  // resonance: its H/V peak stands above the resonance's.
  Design design;
  design.Resonance = {2.0, 2.0, 0.0};
  design.SineHz = 12.5;
  design.Sine = {20000.0, 20000.0, 1000.0};
  const int64_t n = 40 * kSegment;
  const TFileRecord record = MakeRecord(n);
  const THvsrResult r =
      AnalyseWindows(Windows(record, DesignSamples(n, design, 22), Banded()), Banded());
  ASSERT_EQ(r.IndustrialLines.size(), 1u);
  EXPECT_NEAR(r.IndustrialLines[0], 12.5, 0.05);
  ExpectNear2Hz(r, "industrial");
  const auto line =
      std::find_if(r.Peaks.begin(), r.Peaks.end(), [](const THvsrPeak& p) { return p.Industrial; });
  ASSERT_NE(line, r.Peaks.end());
  EXPECT_NEAR(line->Frequency, 12.5, 0.5);
  EXPECT_GT(line->Amplitude, r.A0Mean);  // it would have been f0
  EXPECT_FALSE(line->Chosen);
  EXPECT_NE(r.Verdict.find("industrial line at 12."), std::string::npos) << r.Verdict;
  ExpectFindingTellsTheVerdict(r);
  // The windows' own peaks leave the line out too.
  for (size_t w = 0; w < r.WindowF0.size(); ++w) EXPECT_LT(r.WindowF0[w], 10.0) << w;

  // A sine on the horizontals alone is no machine line that all components share, and a
  // resonance on the horizontals is none either.
  for (const std::array<double, 3>& sine :
       {std::array<double, 3>{20000.0, 20000.0, 0.0}, std::array<double, 3>{0.0, 0.0, 0.0}}) {
    design.Sine = sine;
    const THvsrResult plain =
        AnalyseWindows(Windows(record, DesignSamples(n, design, 23), Banded()), Banded());
    EXPECT_TRUE(plain.IndustrialLines.empty()) << plain.IndustrialLines[0];
  }
}

// Curves with two bumps on a log grid: at 2 Hz of height 4 and at 6 Hz of height 4·second.
THvsrWindowSet TwoBumps(double second, int windows) {
  THvsrWindowSet set;
  for (int i = 0; i < 120; ++i) set.Grid.push_back(0.5 * std::pow(1.03, i));
  for (int w = 0; w < windows; ++w) {
    std::vector<double> curve;
    const double jitter = 1.0 + 0.01 * (w % 3 - 1);
    for (double f : set.Grid) {
      const double a = std::log(f / (2.0 * jitter)) / 0.08;
      const double b = std::log(f / (6.0 * jitter)) / 0.08;
      curve.push_back(1.0 + 3.0 * std::exp(-a * a) + (4.0 * second - 1.0) * std::exp(-b * b));
    }
    set.Curves.push_back(std::move(curve));
    set.FirstSample.push_back(w * 1000);
  }
  set.WindowSeconds = 60.0;
  return set;
}

TEST(HvsrPeaks, MaximaOfTheMeanCurveAreListedAndTiesCalledAmbiguous) {
  struct Case {
    double Second;  // the height of the 6 Hz bump over that of the 2 Hz one
    size_t Listed;
    bool Ambiguous;
  };
  for (const Case c : {Case{1.0, 2, true}, Case{0.95, 2, true}, Case{0.85, 2, false},
                       Case{0.45, 1, false}, Case{1.08, 2, true}}) {
    THvsrSettings s;
    s.Rejection = THvsrRejection::kNone;
    const THvsrResult r = AnalyseWindows(TwoBumps(c.Second, 9), s);
    ASSERT_TRUE(r.HasF0Mean) << c.Second;
    ASSERT_EQ(r.Peaks.size(), c.Listed) << c.Second;
    EXPECT_EQ(r.Ambiguous, c.Ambiguous) << c.Second;
    int chosen = 0;
    for (const THvsrPeak& p : r.Peaks) {
      chosen += p.Chosen ? 1 : 0;
      EXPECT_EQ(p.Support, 9) << c.Second << " at " << p.Frequency;
      EXPECT_GT(p.Amplitude, r.A0Mean / 2.0);
    }
    EXPECT_EQ(chosen, 1);
    EXPECT_NEAR(r.Peaks[0].Frequency, 2.0, 0.1);
    if (c.Listed == 2) {
      EXPECT_NEAR(r.Peaks[1].Frequency, 6.0, 0.2);
    }
    EXPECT_EQ(r.Verdict.find("ambiguous") != std::string::npos, c.Ambiguous) << r.Verdict;
    ExpectFindingTellsTheVerdict(r);
    // The report tells it too.
    const std::string report = ReportJsonText(r, MakeRecord(10));
    EXPECT_NE(report.find(std::string("\"ambiguous\": ") + (c.Ambiguous ? "true" : "false")),
              std::string::npos);
  }
}

TEST(HvsrSeries, IntervalsFollowAResonanceThatMoves) {
  // Six hours; the resonance moves from 2 Hz to 3 Hz after three.
  const int64_t hour = static_cast<int64_t>(3600 * kRate);
  Design design;
  design.Resonance = {2.0, 2.0, 0.0};
  design.Later = {3.0, 3.0, 0.0};
  design.Change = 3 * hour;
  const int64_t n = 6 * hour;
  const TFileRecord record = MakeRecord(n);
  const THvsrWindowSet windows = Windows(record, DesignSamples(n, design, 24), Banded());
  const std::vector<THvsrInterval> intervals = AnalyseIntervals(windows, record, 3600.0, Banded());
  ASSERT_EQ(intervals.size(), 6u);
  size_t total = 0;
  for (size_t k = 0; k < intervals.size(); ++k) {
    const THvsrResult& r = intervals[k].Result;
    const double expected = k < 3 ? 2.0 : 3.0;
    ASSERT_TRUE(r.Ok) << k << ": " << r.Verdict;
    EXPECT_NEAR(r.F0Mean, expected, 0.03 * expected) << "hour " << k;
    EXPECT_NEAR(intervals[k].Start, record.SelectStart + k / 24.0, 1e-9);
    // Each window belongs to the interval it begins in.
    for (int64_t first : r.FirstSample) {
      EXPECT_GE(first, static_cast<int64_t>(k) * hour);
      EXPECT_LT(first, static_cast<int64_t>(k + 1) * hour);
    }
    total += r.Curves.size();
  }
  EXPECT_EQ(total, windows.Curves.size());

  // The table has a line per interval with f0, and the document the spectrogram.
  const std::string csv = TimeSeriesCsvText(intervals);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);
  EXPECT_EQ(csv.rfind("start,seconds,windows,kept,f0,sigma_f0,a0,sigma_ln_a0,", 0), 0u);
  const nlohmann::json doc = nlohmann::json::parse(TimeSeriesJsonText(intervals, record, 3600.0));
  ASSERT_EQ(doc["intervals"].size(), 6u);
  EXPECT_NEAR(doc["intervals"][4]["f0"].get<double>(), 3.0, 0.09);
  ASSERT_EQ(doc["spectrogram"]["mean"].size(), 6u);
  EXPECT_EQ(doc["spectrogram"]["mean"][0].size(), doc["spectrogram"]["frequency"].size());

  // A selection that is not a whole number of intervals ends with a shorter one; one of less
  // than a window has no window and says so.
  TFileRecord shorter = record;
  shorter.SelectFinish = record.SelectStart + (2.0 * 3600.0 + 10.0) / 86400.0;
  const std::vector<THvsrInterval> cut = AnalyseIntervals(windows, shorter, 3600.0, Banded());
  ASSERT_EQ(cut.size(), 3u);
  EXPECT_NEAR(cut[2].Seconds, 10.0, 1e-3);
  EXPECT_FALSE(cut[2].Result.Ok) << cut[2].Result.Curves.size() << " " << cut[2].Result.Verdict;
}

}  // namespace
}  // namespace tarvik

#include "spectral/spectrum_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <thread>

#include "gap_recording.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/sample_ranges.h"
#include "spectral/transforms.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

constexpr double kPi = std::numbers::pi;
constexpr int32_t kQuiet = 2147483647;

// `channels` selected, quiet channels over `n` samples at `rate`, unit chains.
TFileRecord MakeRecord(int channels, double rate, int64_t n) {
  TFileRecord r;
  r.Station = "TEST";
  r.SampRate = rate;
  r.Start = EncodeDateTime(2021, 3, 4, 5, 6, 7);
  r.Channels.resize(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    r.Channels[c].Selected = true;
    r.Channels[c].Level = kQuiet;
    r.Channels[c].ADCCoef = 1.0;
    r.Channels[c].Channel = std::string("HH") + kComponentLetters[c % 3];
  }
  r.SelectStart = r.Start;
  r.SelectFinish = r.Start + static_cast<double>(n - 1) / rate / 86400.0;
  return r;
}

// Bartlett settings with segments of exactly M samples.
TSpectrumSettings Settings(int M, double rate, int window = kWindowHann, int type = 0) {
  TSpectrumSettings s;
  s.SpectrumType = static_cast<TSpectrumType>(type);
  s.WindowType = window;
  s.SilenceDur = M / rate;
  s.NoiseDur = 0.0;
  return s;
}

TData32 Noise(int channels, int64_t n, double sigma, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, sigma);
  TData32 d(channels, std::vector<int32_t>(n));
  for (auto& row : d) {
    for (auto& x : row) x = static_cast<int32_t>(std::lround(noise(rng)));
  }
  return d;
}

TSpectraStatus Compute(const TFileRecord& r, const TData32& data, const TSpectrumSettings& s,
                       TMatrix2D& mean, TMatrix2D& stdev, UiHost& host) {
  return CalculateSpectraOfSamples(r, data, s, r.SelectStart, r.SelectFinish, host, mean, stdev);
}

// A sine of amplitude A on line k0: the 1/M-scaled transform holds A/2·Σw/M there, the one-sided
// amplitude doubles it and multiplies by M/fs, and the normalisation M/Σw² follows. Hann:
// Σw = M/2, Σw² = 3M/8; rectangle: both M. Whole periods per segment leave no spread. The top
// line of an odd ordinary transform has its mirror image like any line between. The spectrum
// is divided by the size of the ADC coefficient; a negative one only turns the polarity.
TEST(SpectrumEngine, ToneOnBinCentreHasPredictedPeak) {
  const double rate = 100.0, A = 1.0e6;
  const struct {
    int Window;
    double SumW, SumW2;
    int M, K0;
    bool Fft;
    double Adc;
  } cases[] = {{kWindowHann, 0.5, 0.375, 1024, 100, true, 1.0},
               {kWindowRectangle, 1.0, 1.0, 1024, 100, true, 1.0},
               {kWindowRectangle, 1.0, 1.0, 101, 50, false, 1.0},
               {kWindowRectangle, 1.0, 1.0, 101, 20, false, 1.0},
               {kWindowRectangle, 1.0, 1.0, 1024, 100, true, -2.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "M " << c.M << ", line " << c.K0 << ", ADC " << c.Adc);
    const int n = 4 * c.M;
    TData32 data(1, std::vector<int32_t>(n));
    for (int j = 0; j < n; ++j)
      data[0][j] = std::lround(A * std::sin(2 * kPi * c.K0 * j / c.M + 0.3));
    TSpectrumSettings settings = Settings(c.M, rate, c.Window);
    settings.UseFFT = c.Fft;
    TFileRecord record = MakeRecord(1, rate, n);
    record.Channels[0].ADCCoef = c.Adc;
    TMatrix2D mean, stdev;
    RecordingUiHost host;
    const TSpectraStatus st = Compute(record, data, settings, mean, stdev, host);
    ASSERT_TRUE(st.Computed()) << st.Message;
    EXPECT_EQ(st.Segments, 4);
    ASSERT_EQ(mean[0].size(), static_cast<size_t>(c.M / 2 + 1));
    const double expected = A * c.SumW * c.M / rate / c.SumW2 / std::fabs(c.Adc);
    EXPECT_NEAR(mean[0][c.K0], expected, 1e-6 * expected);
    EXPECT_LT(stdev[0][c.K0], 1e-6 * expected);
  }
}

// White noise of variance σ² has the one-sided density 2σ²/fs whatever the window; a
// periodogram line of Gaussian noise scatters by its own mean, so StDev ≈ Mean.
TEST(SpectrumEngine, WhiteNoiseHasFlatPowerDensity) {
  const double rate = 100.0, sigma = 1000.0;
  const int M = 2048, n = 100 * M;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(MakeRecord(1, rate, n), Noise(1, n, sigma, 7),
                                    Settings(M, rate, kWindowHann, 1), mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, 100);
  const double density = 2.0 * sigma * sigma / rate;
  for (int band = 0; band < 4; ++band) {
    double m = 0.0, s = 0.0;
    for (int k = 2 + band * 254; k < 2 + (band + 1) * 254; ++k) m += mean[0][k], s += stdev[0][k];
    EXPECT_NEAR(m / 254.0, density, 0.03 * density) << "band " << band;
    EXPECT_NEAR(s / m, 1.0, 0.06) << "band " << band;
  }
}

// Welch density of x[j] = (31·j² + 17·j) mod 2001 − 1000, j < 340, at 10 Hz, periodic Hann of 64,
// no overlap, no detrending (5 segments), and the ddof-1 standard deviation of the 5 segment
// densities; scipy 1.10.1: scipy.signal.welch(x, fs=10, window='hann', nperseg=64, noverlap=0,
// detrend=False) and numpy.std(scipy.signal.spectrogram(x, same, mode='psd')[2], 1, ddof=1).
constexpr double kWelch[33] = {
    41811.492630490924, 58869.234797995407, 39640.722698915939, 44511.197634729426,
    73655.11403554157,  81577.257043002028, 65272.137555142384, 92620.333210978497,
    109591.41075707176, 100968.45823904072, 82531.496170990984, 78621.351081862813,
    92040.519249596779, 54856.541191538956, 37848.541399674126, 55215.223669566643,
    73970.898282223279, 78123.89246610101,  33333.437754609738, 44817.435348660736,
    75598.455161907521, 74118.135609026387, 86575.292144349311, 56563.68930411098,
    71760.059318996719, 49501.8455290969,   60007.341485300378, 65187.632239204984,
    54700.321238081044, 14212.05845130757,  36493.260799997741, 50756.553501500741,
    27172.044477953343};
constexpr double kWelchStd[33] = {
    57507.326264153737, 60083.544158957149, 37692.896588978081, 45046.671864463882,
    65401.774800845473, 70239.903758487548, 42411.664343985089, 89707.052749927301,
    205855.98876253926, 116561.43896697872, 67328.138349887988, 62342.193058507175,
    57456.205571765044, 67187.628105377269, 26502.716423014113, 54936.905089174863,
    38597.819402168818, 22666.105541684417, 28126.289233524683, 46709.487169724271,
    57338.491365739559, 54927.169285401404, 68993.141875404312, 57340.702763550806,
    73673.702955825385, 69241.596240473475, 42394.909569812466, 46032.307529957652,
    63606.552269759137, 14161.710756778964, 33631.255303429221, 29976.294793649489,
    35670.850060756835};

TEST(SpectrumEngine, BartlettEqualsIndependentWelch) {
  TData32 data(1, std::vector<int32_t>(340));
  for (int64_t j = 0; j < 340; ++j) data[0][j] = (31 * j * j + 17 * j) % 2001 - 1000;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(MakeRecord(1, 10.0, 340), data,
                                    Settings(64, 10.0, kWindowHann, 1), mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, 5);  // the 20-sample tail is not used
  ASSERT_EQ(mean[0].size(), 33u);
  for (int k = 0; k < 33; ++k) {
    EXPECT_NEAR(mean[0][k], kWelch[k], 1e-6 * kWelch[k]) << k;
    EXPECT_NEAR(stdev[0][k], kWelchStd[k], 1e-6 * kWelchStd[k]) << k;
  }
}

// A geophone, G·s²/(s² + 2ζω0·s + ω0²), written here independently of the response code.
constexpr double kF0 = 4.5, kZeta = 0.7, kGain = 30.0, kAdc = 1.0e6;
std::complex<double> Geophone(double f) {
  const std::complex<double> s(0.0, 2 * kPi * f);
  const double w0 = 2 * kPi * kF0;
  return kGain * s * s / (s * s + 2 * kZeta * w0 * s + w0 * w0);
}

struct ChainCase {
  const char* Name;
  int UnitOut;       // 0 displacement, 1 velocity, 2 acceleration
  bool ChannelResp;  // as ChannelResp (a bogus SensorResp is then ignored), or as SensorResp
                     // with an AmplifierResp that does not exist (skipped)
};
class GeophoneTest : public ::testing::TestWithParam<ChainCase> {};

// Tones of known ground velocity recorded through the geophone and the ADC, corrected back.
TEST_P(GeophoneTest, CorrectedSpectrumEqualsInputFromOneToTwentyHertz) {
  const ChainCase cc = GetParam();
  const double rate = 100.0;
  const int M = 2048, n = 4 * M;
  const int bins[] = {21, 41, 102, 205, 410};  // 1.03, 2.00, 4.98, 10.0, 20.0 Hz
  const double velocity[] = {2e-4, 1e-4, 5e-5, 3e-5, 2e-5};
  TData32 data(1, std::vector<int32_t>(n));
  for (int j = 0; j < n; ++j) {
    double counts = 0.0;
    for (int t = 0; t < 5; ++t) {
      const double f = bins[t] * rate / M;
      const auto h = Geophone(f);
      counts += kAdc * velocity[t] * std::abs(h) * std::sin(2 * kPi * f * j / rate + std::arg(h));
    }
    data[0][j] = std::lround(counts);
  }
  TempDir dir;
  const double w0 = 2 * kPi * kF0, wd = w0 * std::sqrt(1 - kZeta * kZeta);
  testing::WriteText(dir.File("geo.rsp"),
                     "[DEVICE]\r\nZP available=True\r\n[ZP]\r\nNormalization type=2\r\n"
                     "Normalization factor=30\r\nNumber of zeroes=2\r\nNumber of poles=2\r\n"
                     "[ZEROES]\r\n0 0\r\n0 0\r\n[POLES]\r\n" +
                         std::to_string(-kZeta * w0) + " " + std::to_string(wd) + "\r\n" +
                         std::to_string(-kZeta * w0) + " " + std::to_string(-wd) + "\r\n");
  TFileRecord r = MakeRecord(1, rate, n);
  r.Channels[0].ADCCoef = kAdc;
  TRecordChannel& ch = r.Channels[0];
  (cc.ChannelResp ? ch.ChannelResp : ch.SensorResp) = dir.File("geo.rsp");
  (cc.ChannelResp ? ch.SensorResp : ch.AmplifierResp) = dir.File("missing.rsp");
  TSpectrumSettings s = Settings(M, rate);
  s.UnitOut = cc.UnitOut;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, s, mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  for (int t = 0; t < 5; ++t) {
    const double w = 2 * kPi * bins[t] * rate / M;
    const double v = velocity[t] * (cc.UnitOut == 0 ? 1 / w : cc.UnitOut == 2 ? w : 1.0);
    const double expected = v * 0.5 * M / rate / 0.375;  // Hann, as for the tone above
    EXPECT_NEAR(mean[0][bins[t]], expected, 0.02 * expected) << "line " << bins[t];
  }
  // 0 Hz: the chain is 0 there, or (acceleration) the division by 2πf fails: the line is 0.
  EXPECT_EQ(mean[0][0], 0.0);
  EXPECT_EQ(stdev[0][0], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Units, GeophoneTest,
                         ::testing::Values(ChainCase{"Displacement", 0, false},
                                           ChainCase{"Velocity", 1, false},
                                           ChainCase{"Acceleration", 2, false},
                                           ChainCase{"ChannelResp", 2, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Power spectra are divided by the squared chain; one segment leaves no spread; a channel that
// is not selected keeps rows of zeros.
TEST(SpectrumEngine, PowerScalingSingleSegmentAndUnselectedChannel) {
  TFileRecord r = MakeRecord(2, 50.0, 256);
  r.Channels[1].Selected = false;
  TData32 data = Noise(1, 256, 100, 3);
  data.push_back(data[0]);
  TMatrix2D mean, stdev, unit_mean, unit_stdev;
  RecordingUiHost host;
  ASSERT_TRUE(Compute(r, data, Settings(256, 50.0, kWindowHann, 1), unit_mean, unit_stdev, host)
                  .Computed());
  r.Channels[0].ADCCoef = 4.0;
  ASSERT_TRUE(Compute(r, data, Settings(256, 50.0, kWindowHann, 1), mean, stdev, host).Computed());
  for (int k = 1; k <= 128; ++k) {
    EXPECT_NEAR(mean[0][k] * 16.0, unit_mean[0][k], 1e-9 * unit_mean[0][k]);
    EXPECT_EQ(stdev[0][k], 0.0);
    EXPECT_EQ(mean[1][k], 0.0);
  }
}

// A Butterworth band-pass is down 3 dB at its corners and passes its centre; the edge-effect
// filter multiplies the finished spectrum by that gain.
TEST(SpectrumEngine, EdgeEffectFilterShapesSpectrum) {
  const double rate = 64.0;  // lines every 0.25 Hz: 1 Hz is line 4, 10 Hz line 40
  TSpectrumSettings s = Settings(256, rate);
  s.FMin = 1.0;
  s.FMax = 10.0;
  s.EdgeOrder = 4;
  const TData32 data = Noise(1, 1024, 1000, 9);
  TMatrix2D plain, edged, sd;
  RecordingUiHost host;
  ASSERT_TRUE(Compute(MakeRecord(1, rate, 1024), data, s, plain, sd, host).Computed());
  s.EdgeEffect = true;
  ASSERT_TRUE(Compute(MakeRecord(1, rate, 1024), data, s, edged, sd, host).Computed());
  auto gain = [&](int k) { return edged[0][k] / plain[0][k]; };
  EXPECT_NEAR(gain(4), std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(gain(40), std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(gain(13), 1.0, 1e-3);  // 3.25 Hz, next to the centre √10 Hz
  EXPECT_LT(gain(1), 0.01);
  EXPECT_LT(gain(120), 1e-4);
}

// A slow swing far above the level hides every quiet stretch from the plain search; the
// interference filter's band leaves it out and still finds a burst inside the band.
TEST(SpectrumEngine, InterferenceFilterSearchesItsBand) {
  const double rate = 100.0;
  TFileRecord r = MakeRecord(1, rate, 10000);
  r.Channels[0].Level = 2000;
  TData32 data = Noise(1, 10000, 100, 4);
  for (int j = 0; j < 10000; ++j) {
    data[0][j] +=
        std::lround(1e5 * std::sin(2 * kPi * 0.02 * j / rate) +
                    (j >= 5000 && j < 5050 ? 1e4 * std::sin(2 * kPi * 10 * j / rate) : 0));
  }
  TSpectrumSettings s = Settings(256, rate);
  s.NoiseFMin = 1.0;
  s.NoiseFMax = 200.0;  // limited to 0.99 of the Nyquist frequency
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  EXPECT_EQ(Compute(r, data, s, mean, stdev, host).Outcome, TSpectraOutcome::kNoQuietInterval);
  s.NoiseFilter = true;
  const TSpectraStatus st = Compute(r, data, s, mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  int64_t covered = 0;
  for (const auto& [a, b] : st.Intervals) {
    covered += b - a + 1;
    EXPECT_TRUE(b < 5000 || a >= 5050) << a << ".." << b;
  }
  EXPECT_GE(covered, 8 * 256);
}

struct QuietCase {
  const char* Name;
  int32_t Level;
  bool SecondSelected;
  std::vector<std::array<int32_t, 3>> Spikes;  // channel, index, value
  int32_t N, G;
  int64_t Samples, First, Last;
  TRecordRanges Expected;
};
class QuietTest : public ::testing::TestWithParam<QuietCase> {};

TEST_P(QuietTest, Intervals) {
  const QuietCase& q = GetParam();
  TData32 data(2, std::vector<int32_t>(q.Samples, 1));
  for (const auto& [c, i, v] : q.Spikes) data[c][i] = v;
  TSpectrumSettings s;
  s.SegmentLength = q.N;
  s.NoiseGap = q.G;
  TRecordRanges intervals{{-5, -5}};
  FindQuietIntervals(data, std::array{q.Level, q.Level}, std::array{true, q.SecondSelected},
                     intervals, s, q.First, q.Last);
  EXPECT_EQ(intervals, q.Expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, QuietTest, ::testing::Values(
    // Four segments of 2048 fit in 10 000 samples; the last 1 808 are not used.
    QuietCase{"AllQuiet", kQuiet, true, {}, 2048, 0, 10000, 0, 9999, {{0, 8191}}},
    QuietCase{"FromFirst", kQuiet, true, {{0, 150, INT32_MIN}}, 2048, 0, 10000, 100, 9999, {{100, 8291}}},
    // Level + 2 at 4500: segments 0..3999, the next search from 4500 + 1 + 300.
    QuietCase{"Disturbed", 100, true, {{0, 4500, 102}}, 1000, 300, 10000, 0, 9999, {{0, 3999}, {4801, 9800}}},
    QuietCase{"DisturbedBelow", 100, true, {{0, 4500, -102}}, 1000, 300, 10000, 0, 9999, {{0, 3999}, {4801, 9800}}},
    // Moved one count toward zero, level + 1 and −level − 1 are still quiet.
    QuietCase{"AtLevel", 100, true, {{0, 4500, 101}, {0, 10, -101}}, 1000, 300, 10000, 0, 9999, {{0, 9999}}},
    QuietCase{"NegativeLevel", -1, true, {}, 1000, 0, 10000, 0, 9999, {}},
    // Level 0: 0 moves to −1 and is disturbed, 1 moves to 0 and is quiet.
    QuietCase{"LevelZero", 0, true, {{0, 1500, 0}}, 1000, 0, 3000, 0, 2999, {{0, 999}, {1501, 2500}}},
    QuietCase{"UnselectedNotTested", 100, false, {{1, 10, 1000000}}, 1000, 0, 5000, 0, 4999, {{0, 4999}}},
    QuietCase{"SecondTested", 100, true, {{1, 2500, 1000000}}, 1000, 0, 5000, 0, 4999, {{0, 1999}, {2501, 4500}}},
    QuietCase{"LastBeyondData", kQuiet, true, {}, 1000, 0, 2500, 0, 1000000, {{0, 1999}}}),
    [](const auto& info) { return std::string(info.param.Name); });
// clang-format on

// Samples a channel did not record are disturbed wherever they lie, when that channel is
// tested: the search equals one that tries every sample, over random levels, spikes, gaps,
// segment lengths, pauses after a disturbance and spans.
TEST(QuietIntervals, GapsAreDisturbedLikeSamplesAboveTheLevel) {
  std::mt19937 rng(17);
  const auto uniform = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
  };
  for (int trial = 0; trial < 400; ++trial) {
    const int channels = static_cast<int>(uniform(1, 3));
    const int64_t n = uniform(200, 3000);
    TData32 data(channels, std::vector<int32_t>(n));
    TChannelRanges unread(channels);
    std::array<int32_t, 3> level{};
    std::array<bool, 3> selected{};
    TData32 tested;
    TRecordRanges tested_gaps;
    for (int c = 0; c < channels; ++c) {
      level[c] = static_cast<int32_t>(uniform(50, 120));
      selected[c] = channels == 1 || uniform(0, 3) > 0;
      for (int32_t& x : data[c]) x = static_cast<int32_t>(uniform(-100, 100));
      for (int spans = static_cast<int>(uniform(0, 3)); spans > 0; --spans) {
        const int64_t a = uniform(0, n - 1);
        AddRange(unread[c], a, std::min(n - 1, a + uniform(0, 400)));
      }
      if (!selected[c]) continue;
      tested.push_back(data[c]);
      for (const auto& [a, b] : unread[c]) AddRange(tested_gaps, a, b);
    }
    // The oracle takes one level for all channels; give each tested channel the same one.
    for (int c = 0; c < channels; ++c) level[c] = level[0];
    TSpectrumSettings s;
    s.SegmentLength = static_cast<int32_t>(uniform(1, 300));
    s.NoiseGap = static_cast<int32_t>(uniform(0, 60));
    const int64_t first = uniform(0, n / 3), last = uniform(n / 2, n - 1);
    TRecordRanges intervals;
    FindQuietIntervals(data, level, selected, intervals, s, first, last, unread);
    const TRecordRanges expected = testing::QuietBySample(tested, level[0], tested_gaps,
                                                          s.SegmentLength, s.NoiseGap, first, last);
    ASSERT_EQ(intervals, expected)
        << "trial " << trial << ", N " << s.SegmentLength << ", G " << s.NoiseGap;
  }
}

// The calculation searches a long record a few segments ahead of its transforms; the segments
// it transforms must be exactly those of the intervals one search over the whole span gives:
// quiet stretches longer than a piece of the search (2^14 samples or two segments) and shorter,
// disturbed samples in clusters and at random, gaps of one channel, and a resumption gap.
TEST(SpectrumEngine, SearchAheadTransformsTheSegmentsOfTheWholeSearch) {
  const double rate = 100.0;
  const int64_t n = 300000;
  std::mt19937 rng(23);
  for (const int segment : {256, 1000, 16384}) {
    for (const double noise_dur : {0.0, 0.37}) {
      TFileRecord r = MakeRecord(3, rate, n);
      r.SelectStart = r.Start + 77.0 / rate / 86400.0;
      TData32 data = Noise(3, n, 30.0, static_cast<unsigned>(segment));
      for (int c = 0; c < 3; ++c) r.Channels[c].Level = 200;
      for (int64_t p : {40000, 50000, 140000, 180000, 181000, 290000}) {
        for (int64_t off : {-2, 0, 1}) data[(p / 1000) % 3][p + off] = 500;
      }
      for (int k = 0; k < 8; ++k) {
        data[rng() % 3][std::uniform_int_distribution<int64_t>(0, n - 1)(rng)] = -500;
      }
      TChannelRanges unread(3);
      AddRange(unread[1], 120000, 120000 + segment / 2);
      AddRange(unread[1], 250000, 251000);
      TSpectrumSettings s = Settings(segment, rate);
      s.EstimationType = TEstimationType::kBartlett;
      s.NoiseDur = noise_dur;
      std::vector<int64_t> firsts;
      const TSegmentHook hook = [&](const TSegmentSpectra& seg) {
        firsts.push_back(seg.FirstSample);
        return true;
      };
      TMatrix2D mean, stdev;
      RecordingUiHost host;
      const TSpectraStatus st = CalculateSpectraOfSamples(r, data, s, r.SelectStart, r.SelectFinish,
                                                          host, mean, stdev, hook, unread);
      ASSERT_TRUE(st.Computed()) << segment;

      TRecordRanges whole;
      FindQuietIntervals(data, ChannelLevels(r), SelectedChannels(r), whole, st.Used, 77, n - 1,
                         unread);
      EXPECT_EQ(st.Intervals, whole) << segment << " " << noise_dur;
      const int64_t N = st.Used.SegmentLength;
      std::vector<int64_t> expected;
      for (const auto& [a, b] : whole) {
        for (int64_t v = a; v + N - 1 <= b; v += N) expected.push_back(v);
      }
      EXPECT_GE(whole.size(), 4u);
      EXPECT_EQ(firsts, expected) << segment << " " << noise_dur;
      EXPECT_EQ(st.Segments, static_cast<int32_t>(expected.size()));
    }
  }
}

// The Bartlett spectra of data, computed plainly: the quiet intervals of a sample-by-sample
// search of all channels (one level, the unread spans disturbed), every whole segment of them
// weighted into a zeroed M-point input and transformed on its own, the one-sided values summed
// with their squares, and the sums turned into mean and spread with the unit chain. The
// arithmetic of each value is the one the engine must do, so the results compare exactly.
struct PlainWelch {
  TRecordRanges Intervals;
  std::vector<int64_t> Firsts;
  TMatrix2D Mean, Stdev;
};
PlainWelch PlainBartlett(const TFileRecord& r, const TData32& data, const TRecordRanges& gaps,
                         const TSpectrumSettings& used, int64_t first, int64_t last) {
  const int64_t N = used.SegmentLength, M = used.TransformLength, D = used.DataOffset;
  const double fs = r.SampRate;
  const bool power = used.SpectrumType == TSpectrumType::kPower;
  PlainWelch out;
  out.Intervals =
      testing::QuietBySample(data, r.Channels[0].Level, gaps, N, used.NoiseGap, first, last);
  for (const auto& [a, b] : out.Intervals) {
    for (int64_t v = a; v + N - 1 <= b; v += N) out.Firsts.push_back(v);
  }
  std::vector<double> window(static_cast<size_t>(M));
  FillWindow(window, used.WindowType, used.B);
  const size_t lines = static_cast<size_t>(M / 2 + 1);
  const double inverse = 1.0 / static_cast<double>(M);
  const double edge = static_cast<double>(M) / fs * (power ? inverse * inverse : inverse);
  const auto K = static_cast<double>(out.Firsts.size());
  for (size_t c = 0; c < data.size(); ++c) {
    std::vector<double> sum(lines, 0.0), squares(lines, 0.0);
    for (const int64_t v : out.Firsts) {
      TRealTransform t(static_cast<size_t>(M));
      for (int64_t i = 0; i < N; ++i) t.Input()[D + i] = window[D + i] * data[c][v + i];
      const std::span<const double> x = t.Execute();
      for (size_t k = 0; k < lines; ++k) {
        const double p = x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
        const bool alone = k == 0 || (M % 2 == 0 && k == lines - 1);
        const double value = (power ? p : std::sqrt(p)) * (alone ? edge : 2.0 * edge);
        sum[k] += value;
        squares[k] += value * value;
      }
    }
    for (size_t k = 0; k < lines; ++k) {
      const double h = ChainCorrection({}, r.Channels[c].ADCCoef, used, {}, fs,
                                       LineFrequency(static_cast<int64_t>(k), M, fs));
      const double var = K * squares[k] - sum[k] * sum[k];
      squares[k] =
          K > 1 && var >= 0.0 ? std::sqrt(var / (K - 1.0) / K) * used.Normalization / h : 0.0;
      sum[k] = sum[k] / K * used.Normalization / h;
    }
    out.Mean.push_back(sum);
    out.Stdev.push_back(squares);
  }
  return out;
}

// The segment loop tests each new segment while it weighs it and searches only from a
// disturbed one on; whatever way a segment was found, the spectra must be exactly those of the
// plain computation: records of odd lengths, segments of odd, even and power-of-two lengths and
// padded with zeros, disturbances on the first and last sample of a segment, in clusters and at
// random in any channel, gaps of one channel, with and without a resumption gap; and segments
// so long that the search runs ahead of them throughout.
TEST(SpectrumEngine, BartlettSpectraEqualAPlainComputationExactly) {
  const double rate = 100.0;
  const struct {
    const char* Name;
    int64_t Samples;
    int Channels;
    int Segment;
    bool UseFft, FillByZero;
    int Window;
    int Type;  // 0 amplitude, 1 power
    double NoiseDur;
    size_t MinIntervals;
    double Sigma = 30.0;  // of the noise; the level is 120
  } cases[] = {
      {"odd segment, amplitude", 100003, 3, 255, false, false, kWindowHann, 0, 0.0, 5},
      {"even segment, power", 77777, 3, 1000, false, false, kWindowHamming, 1, 0.13, 5},
      {"power of two", 123457, 2, 1000, true, false, kWindowHann, 1, 0.0, 5},
      {"padded with zeros", 90001, 3, 700, true, true, kWindowTukey, 0, 0.37, 5},
      {"one channel, long segment", 150001, 1, 4096, true, false, kWindowHann, 1, 0.0, 5},
      {"three channels, very long segments", 6 * (1 << 19) + 7, 3, 1 << 19, true, false,
       kWindowHann, 1, 0.0, 2, 18.0},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    const int64_t n = tc.Samples;
    TFileRecord r = MakeRecord(tc.Channels, rate, n);
    for (auto& ch : r.Channels) ch.Level = 120;
    r.Channels[0].ADCCoef = -2.5;
    r.SelectStart = r.Start + 31.0 / rate / 86400.0;
    TData32 data = Noise(tc.Channels, n, tc.Sigma, static_cast<unsigned>(n));
    std::mt19937 rng(static_cast<unsigned>(tc.Segment));
    // On the first and the last sample of segments counted from the start of the span, and a
    // cluster around one place.
    for (int64_t v = 31 + 5 * int64_t{tc.Segment}; v < n; v += 11 * int64_t{tc.Segment}) {
      data[v % tc.Channels][v] = 400;
      if (v + tc.Segment - 1 < n) data[(v + 1) % tc.Channels][v + tc.Segment - 1] = -400;
    }
    for (int64_t off = 0; off < 9; off += 2) data[tc.Channels - 1][n / 2 + off] = -1000;
    for (int k = 0; k < 6; ++k) {
      data[rng() % tc.Channels][std::uniform_int_distribution<int64_t>(0, n - 1)(rng)] = 999;
    }
    TChannelRanges unread(static_cast<size_t>(tc.Channels));
    AddRange(unread[tc.Channels - 1], n / 5, n / 5 + tc.Segment / 3);
    AddRange(unread[0], 2 * n / 3, 2 * n / 3 + 2 * tc.Segment);
    for (int c = 0; c < tc.Channels; ++c) {
      for (const auto& [a, b] : unread[c]) {
        for (int64_t j = a; j <= b; ++j) data[c][j] = 0;
      }
    }
    TSpectrumSettings s = Settings(tc.Segment, rate, tc.Window, tc.Type);
    s.UseFFT = tc.UseFft;
    s.FillByZero = tc.FillByZero;
    s.NoiseDur = tc.NoiseDur;
    std::vector<int64_t> firsts;
    const TSegmentHook hook = [&](const TSegmentSpectra& seg) {
      firsts.push_back(seg.FirstSample);
      return true;
    };
    TMatrix2D mean, stdev, hooked_mean, hooked_stdev;
    RecordingUiHost host;
    const TSpectraStatus st = CalculateSpectraOfSamples(r, data, s, r.SelectStart, r.SelectFinish,
                                                        host, mean, stdev, {}, unread);
    ASSERT_TRUE(st.Computed()) << st.Message;
    const TSpectraStatus hooked = CalculateSpectraOfSamples(
        r, data, s, r.SelectStart, r.SelectFinish, host, hooked_mean, hooked_stdev, hook, unread);
    ASSERT_TRUE(hooked.Computed()) << hooked.Message;

    const PlainWelch want = PlainBartlett(r, data, UnionOf(unread), st.Used, 31, n - 1);
    EXPECT_GE(want.Intervals.size(), tc.MinIntervals);
    EXPECT_GE(want.Firsts.size(), 2u);
    EXPECT_EQ(st.Intervals, want.Intervals);
    EXPECT_EQ(firsts, want.Firsts);
    EXPECT_EQ(st.Segments, static_cast<int32_t>(want.Firsts.size()));
    // Exactly: the same values whatever path found the segments, with a hook or without.
    EXPECT_EQ(mean, want.Mean);
    EXPECT_EQ(stdev, want.Stdev);
    EXPECT_EQ(hooked_mean, want.Mean);
    EXPECT_EQ(hooked_stdev, want.Stdev);
  }
}

// The designed record: ten minutes, a five-minute gap, ten more minutes. Its quiet intervals are
// those of a sample-by-sample search that takes the gap as disturbed, none touches the gap, and
// its spectra are the Welch average of their segments transformed by plain sums; the gap is
// reported in samples and seconds.
TEST(SpectrumEngine, GapRecordAveragesOnlyRecordedSegments) {
  TempDir dir;
  const testing::GapRecording rec = testing::WriteGapRecording(dir.File("GAP.msd"));
  TFileRecords records;
  RecordingUiHost host;
  AddFiles(records, {dir.File("GAP.msd")}, AssemblySettings(), host);
  ASSERT_EQ(records.size(), 1u);
  TFileRecord& r = records[0];
  for (int c = 0; c < 3; ++c) r.Channels[c].Level = testing::GapRecording::kLevel;
  const TSpectrumSettings s = DefaultSpectrumSettings(kMicroseismSet);
  TMatrix2D mean, stdev;
  const TSpectraStatus st =
      CalculateSpectra(r, s, r.SelectStart, r.SelectFinish, 100.0, host, mean, stdev);
  ASSERT_TRUE(st.Computed()) << st.Message;
  ASSERT_EQ(r.SampleCount, testing::GapRecording::kCount);

  const TRecordRanges gap = {{testing::GapRecording::kGapFirst, testing::GapRecording::kGapLast}};
  EXPECT_EQ(st.Gaps, gap);
  EXPECT_DOUBLE_EQ(st.GapSeconds, 300.0);
  const int64_t n = st.Used.SegmentLength;
  ASSERT_EQ(n, 2048);
  const TData32 demeaned = rec.Demeaned();
  const TRecordRanges expected =
      testing::QuietBySample(demeaned, testing::GapRecording::kLevel, gap, n, st.Used.NoiseGap, 0,
                             testing::GapRecording::kCount - 1);
  ASSERT_EQ(st.Intervals, expected);
  for (const auto& [a, b] : st.Intervals) {
    EXPECT_TRUE(b < gap[0].first || a > gap[0].second) << a << ".." << b;
  }

  std::vector<double> window(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) window[i] = WindowValue(i, n, s.WindowType, s.B);
  const std::vector<std::vector<double>> welch =
      testing::WelchBySum(demeaned, expected, window, testing::GapRecording::kRate);
  ASSERT_EQ(mean.size(), 3u);
  for (int c = 0; c < 3; ++c) {
    ASSERT_EQ(mean[c].size(), welch[c].size());
    // The miniSEED channels' coefficient divides the counts.
    for (size_t k = 0; k < welch[c].size(); ++k) {
      const double want = welch[c][k] / r.Channels[c].ADCCoef;
      ASSERT_NEAR(mean[c][k], want, 1e-6 * want) << "channel " << c << ", line " << k;
    }
  }
}

// A Daniell estimate transforms one stretch of recorded data: from the first recorded sample of
// the span, ending before the next gap.
TEST(SpectrumEngine, DaniellSegmentKeepsClearOfGaps) {
  const struct {
    const char* Name;
    TRecordRanges Gaps;
    TRecordRanges Interval;
  } cases[] = {{"no gap", {}, {{0, 2047}}},
               {"gap at the start", {{0, 99}}, {{100, 2147}}},
               {"gap inside", {{1000, 1099}}, {{0, 999}}},
               {"gap at the start and inside", {{0, 99}, {500, 599}}, {{100, 499}}}};
  for (const auto& c : cases) {
    TFileRecord r = MakeRecord(1, 100.0, 5000);
    TSpectrumSettings s = Settings(2048, 100.0);
    s.EstimationType = TEstimationType::kDaniell;
    TMatrix2D mean, stdev;
    RecordingUiHost host;
    const TChannelRanges unread = {c.Gaps};
    const TSpectraStatus st = CalculateSpectraOfSamples(
        r, Noise(1, 5000, 300, 3), s, r.SelectStart, r.SelectFinish, host, mean, stdev, {}, unread);
    ASSERT_TRUE(st.Computed()) << c.Name << ": " << st.Message;
    EXPECT_EQ(st.Intervals, c.Interval) << c.Name;
    EXPECT_EQ(st.Gaps, c.Gaps) << c.Name;
  }
}

TEST(SpectrumEngine, DaniellSmoothingOfShortRow) {
  // Window 5 over a ramp: each forward mean of five is i + 2, the tail repeats line 6's 8, and
  // the shift by 2 centres them, so lines 3..8 read their own index and lines 1..2 take line 1's
  // value. Line 0 is kept. With N = 4 and this rate the spread is √mean.
  std::vector<double> mean{100, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, stdev(12, 7.0);
  DaniellSmooth(mean, stdev, 5, 4, 2.5 * 4 / (2 * kPi));
  const std::vector<double> expected{100, 3, 3, 3, 4, 5, 6, 7, 8, 8, 8, 8};
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_DOUBLE_EQ(mean[i], expected[i]) << i;
    EXPECT_DOUBLE_EQ(stdev[i], i == 0 ? 7.0 : std::sqrt(expected[i])) << i;
  }
}

TEST(SpectrumEngine, DaniellEstimateOfShortSpanUsesOneShortSegment) {
  TFileRecord r = MakeRecord(1, 100.0, 5000);
  r.SelectStart = r.Start + 2.0 / 86400.0;  // sample 200
  r.SelectFinish = r.SelectStart + 9.99 / 86400.0;
  TSpectrumSettings s = Settings(2048, 100.0);
  s.EstimationType = TEstimationType::kDaniell;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, Noise(1, 5000, 300, 11), s, mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, 1);
  EXPECT_EQ(st.Intervals, (TRecordRanges{{200, 1199}}));
  EXPECT_EQ(st.Used.SegmentLength, 1000);
  ASSERT_EQ(mean[0].size(), 1025u);  // padded with zeros to the transform length
  for (int k = 3; k <= 1024; ++k) {
    EXPECT_NEAR(stdev[0][k], std::sqrt(mean[0][k] / 1000 * 2 * kPi * 100 / 2.5),
                1e-9 * stdev[0][k]);
  }
}

struct FailureCase {
  const char* Name;
  const char* Sensor;  // written into the folder unless content is null
  const char* Content;
  const char* Record;  // the record's file, written with "junk" when not null
  TSpectraOutcome Outcome;
  const char* Named;  // text the message must hold
};
class FailureTest : public ::testing::TestWithParam<FailureCase> {};

// A response that does not load stops the record with a message naming channel and file,
// before the samples are loaded; an unreadable record says so.
TEST_P(FailureTest, MessageAndNoMatrices) {
  const FailureCase& fc = GetParam();
  TempDir dir;
  if (fc.Content != nullptr) testing::WriteText(dir.File(fc.Sensor), fc.Content);
  if (fc.Record != nullptr) testing::WriteText(dir.File(fc.Record), "junk");
  TFileRecord r = MakeRecord(2, 100.0, 5000);
  r.File = dir.File(fc.Record != nullptr ? fc.Record : "absent.mseed");
  if (fc.Sensor != nullptr) r.Channels[1].SensorResp = dir.File(fc.Sensor);
  TMatrix2D mean{{1}}, stdev{{1}};
  RecordingUiHost host;
  const TSpectraStatus st = CalculateSpectra(r, Settings(1024, 100.0), r.SelectStart,
                                             r.SelectFinish, 100.0, host, mean, stdev);
  EXPECT_EQ(st.Outcome, fc.Outcome);
  EXPECT_TRUE(mean.empty());
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_NE(host.Messages[0].find(fc.Named), std::string::npos) << host.Messages[0];
  // The failure is kept as a status, and its Russian text is what the window showed.
  EXPECT_TRUE(host.HasCode(st.Failure.Code));
  EXPECT_EQ(st.Failure.Code, fc.Outcome == TSpectraOutcome::kLoadFailed
                                 ? TCode::kRecordUnreadable
                                 : TCode::kResponseNotLoaded);
  EXPECT_EQ(st.Message, host.Messages[0]);
  if (fc.Sensor != nullptr) {
    EXPECT_NE(host.Messages[0].find("HHN"), std::string::npos) << host.Messages[0];
    EXPECT_FALSE(host.HasStage("TEST: Загрузка данных"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureTest,
    ::testing::Values(FailureCase{"MissingResponse", "missing.rsp", nullptr, nullptr,
                                  TSpectraOutcome::kResponseFailed, "missing.rsp"},
                      FailureCase{
                          "DamagedResponse", "bad.rsp",
                          "[DEVICE]\r\nZP available=True\r\n[ZP]\r\nNumber of zeroes=two\r\n",
                          nullptr, TSpectraOutcome::kResponseFailed, "bad.rsp"},
                      FailureCase{"UnreadableRecord", nullptr, nullptr, "rec.mseed",
                                  TSpectraOutcome::kLoadFailed, "rec.mseed"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SpectrumEngine, NoQuietIntervalGivesMessageAndEmptyMatrices) {
  TFileRecord r = MakeRecord(1, 100.0, 5000);
  r.Channels[0].Level = -1;
  TMatrix2D mean{{1.0}}, stdev{{1.0}};
  RecordingUiHost host;
  const TSpectraStatus st =
      Compute(r, Noise(1, 5000, 10, 1), Settings(1024, 100.0), mean, stdev, host);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kNoQuietInterval);
  EXPECT_TRUE(mean.empty() && stdev.empty());
  EXPECT_EQ(host.Messages,
            std::vector<std::string>{"TEST: недостаточно данных для расчета: "
                                     "не задан допустимый уровень: канал 1 (HHE) = -1"});
  EXPECT_EQ(st.Failure.Code, TCode::kNotEnoughDataBecause);
  ASSERT_EQ(st.Failure.Args.size(), 2u);
  ASSERT_TRUE(st.Failure.Args[1].Nested);
  EXPECT_EQ(st.Failure.Args[1].Nested->Code, TCode::kLevelNotSet);
}

TEST(SpectrumEngine, StatusTextsAndStop) {
  const TFileRecord r = MakeRecord(1, 50.0, 256 * 20);
  const TData32 data = Noise(1, 256 * 20, 10, 2);
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  ASSERT_TRUE(Compute(r, data, Settings(256, 50.0), mean, stdev, host).Computed());
  EXPECT_EQ(host.Stages,
            (std::vector<std::string>{"TEST: Выделение интервалов помех", "TEST: Расчет спектров",
                                      "TEST: Учет АЧХ", "Спектры рассчитаны"}));
  for (TCode code : {TCode::kFindingDisturbances, TCode::kCalculatingSpectra,
                     TCode::kApplyingResponses, TCode::kSpectraCalculated}) {
    EXPECT_TRUE(host.HasCode(code)) << CodeName(code);
  }
  RecordingUiHost stopping;
  stopping.StopWhen = [](int n) { return n == 4; };  // during the second segment
  const TSpectraStatus st = Compute(r, data, Settings(256, 50.0), mean, stdev, stopping);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kStopped);
  EXPECT_EQ(st.Segments, 2);
  EXPECT_EQ(stopping.Stages.back(), "Расчет спектров отменен");
}

// The whole path from a real file; a stop requested before the call is not swallowed by the
// loading (several records may share one stop flag).
TEST(SpectrumEngine, RecordLoadedFromRealFile) {
  const std::string path = testing::RealFile("mseed/CH.BALST..LHE.D.2025.314.mseed");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(path, Recognize(path), info, 100.0).Ok());
  TFileRecord r = FormRecord(path, info, true);
  r.Channels[0].Level = kQuiet;
  TMatrix2D mean, stdev;
  for (bool stop : {false, true}) {
    RecordingUiHost host;
    if (stop) host.RequestStop();
    const TSpectraStatus st = CalculateSpectra(r, Settings(1024, 1.0), r.SelectStart,
                                               r.SelectFinish, 100.0, host, mean, stdev);
    EXPECT_EQ(st.Outcome, stop ? TSpectraOutcome::kStopped : TSpectraOutcome::kComputed);
    if (!stop) {
      EXPECT_EQ(st.Segments, r.SampleCount / 1024);  // 86 343 samples at 1 Hz
    }
  }
}

// Two records computed on two threads at once give exactly what they give one after the other.
TEST(SpectrumEngine, TwoRecordsOnTwoThreads) {
  TData32 data[2] = {Noise(3, 30 * 1024, 500, 100), Noise(3, 30 * 1024, 1000, 101)};
  TFileRecord rec[2] = {MakeRecord(3, 100.0, 30 * 1024), MakeRecord(3, 100.0, 30 * 1024)};
  for (TRecordChannel& c : rec[0].Channels) c.Level = 2000;  // 4σ: a few disturbed samples
  for (TRecordChannel& c : rec[1].Channels) c.Level = 4000;
  const TSpectrumSettings s = Settings(1024, 100.0);
  TMatrix2D mean[2], stdev[2], tmean[2], tstdev[2];
  for (int i = 0; i < 2; ++i) {
    NullUiHost host;
    ASSERT_TRUE(Compute(rec[i], data[i], s, mean[i], stdev[i], host).Computed());
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      NullUiHost host;
      Compute(rec[i], data[i], s, tmean[i], tstdev[i], host);
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(tmean[i], mean[i]);
    EXPECT_EQ(tstdev[i], stdev[i]);
  }
}

}  // namespace
}  // namespace tarvik

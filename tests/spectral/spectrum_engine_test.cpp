#include "spectral/spectrum_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <thread>

#include "recording_ui_host.h"
#include "records/formats.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

constexpr double kPi = std::numbers::pi;
constexpr int32_t kQuiet = 2147483647;

// A record of `channels` selected channels over `samples` samples, all quiet, unit chains.
TFileRecord MakeRecord(int channels, double rate, int64_t samples) {
  TFileRecord r;
  r.Station = "TEST";
  r.SampRate = rate;
  r.Start = EncodeDateTime(2021, 3, 4, 5, 6, 7);
  r.SampleCount = static_cast<int32_t>(samples);
  r.ChannelCount = channels;
  for (int c = 0; c < channels; ++c) {
    r.ChanSelected[c] = true;
    r.Level[c] = kQuiet;
    r.ADCCoef[c] = 1.0;
    r.Axis[c] = c % 3;
    r.Channel[c] = std::string("HH") + kComponentLetters[c % 3];
  }
  r.SelectStart = r.Start;
  r.SelectFinish = r.Start + static_cast<double>(samples - 1) / rate / 86400.0;
  return r;
}

// Bartlett settings whose segment is exactly M samples at rate.
TSpectrumSettings Settings(int M, double rate, int window = kWindowHann, int type = 0) {
  TSpectrumSettings s;
  s.EstimationType = 1;
  s.SpectrumType = type;
  s.WindowType = window;
  s.SilenceDur = M / rate;
  s.NoiseDur = 0.0;
  return s;
}

TSpectraStatus Compute(const TFileRecord& r, const TData32& data, const TSpectrumSettings& s,
                       TMatrix2D& mean, TMatrix2D& stdev, UiHost& host) {
  return CalculateSpectraOfSamples(r, data, s, r.SelectStart, r.SelectFinish, host, mean, stdev);
}

// ---------------------------------------------------------------------------------------------
// Designed signals whose spectrum is known without the code.

// A sine of amplitude A on line k0 of an M-point segment: the forward transform, scaled by 1/M,
// holds A/2·(Σw)/M at k0, the one-sided amplitude doubles it and multiplies by M/fs, and the
// window normalisation M/Σw² follows: peak = A·(Σw)/fs·M/Σw². Hann: Σw = M/2, Σw² = 3M/8;
// rectangle: Σw = Σw² = M.
struct ToneCase {
  int window;
  double sum_w_per_M;
  double sum_w2_per_M;
};

class ToneTest : public ::testing::TestWithParam<ToneCase> {};

TEST_P(ToneTest, PeakOnBinCentreHasPredictedAmplitude) {
  const ToneCase tc = GetParam();
  const double rate = 100.0, A = 1.0e6;
  const int M = 1024, k0 = 100, segments = 4;
  TFileRecord r = MakeRecord(1, rate, M * segments);
  TData32 data(1, std::vector<int32_t>(M * segments));
  for (int j = 0; j < M * segments; ++j) {
    data[0][j] = static_cast<int32_t>(std::lround(A * std::sin(2 * kPi * k0 * j / M + 0.3)));
  }
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, Settings(M, rate, tc.window), mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, segments);
  ASSERT_EQ(mean.size(), 1u);
  ASSERT_EQ(mean[0].size(), static_cast<size_t>(M / 2 + 1));
  const double expected = A * tc.sum_w_per_M * M / rate / tc.sum_w2_per_M;
  EXPECT_NEAR(mean[0][k0], expected, 1e-6 * expected);
  // Every segment holds the same whole periods, so the segments do not scatter.
  EXPECT_LT(stdev[0][k0], 1e-6 * expected);
}

INSTANTIATE_TEST_SUITE_P(Windows, ToneTest,
                         ::testing::Values(ToneCase{kWindowHann, 0.5, 0.375},
                                           ToneCase{kWindowRectangle, 1.0, 1.0}));

// White noise of variance σ² has the one-sided density 2σ²/fs; with the window normalisation
// that holds whatever the window, and a periodogram line of Gaussian noise scatters by its own
// mean, so StDev ≈ Mean.
TEST(SpectrumEngine, WhiteNoiseHasFlatPowerDensity) {
  const double rate = 100.0, sigma = 1000.0;
  const int M = 2048, segments = 100;
  TFileRecord r = MakeRecord(1, rate, static_cast<int64_t>(M) * segments);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, sigma);
  TData32 data(1, std::vector<int32_t>(static_cast<size_t>(M) * segments));
  for (auto& x : data[0]) x = static_cast<int32_t>(std::lround(noise(rng)));
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, Settings(M, rate, kWindowHann, 1), mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, segments);
  const double density = 2.0 * sigma * sigma / rate;
  // Four bands of 254 lines across the interior of the spectrum.
  for (int band = 0; band < 4; ++band) {
    double m = 0.0, s = 0.0;
    for (int k = 2 + band * 254; k < 2 + (band + 1) * 254; ++k) {
      m += mean[0][k];
      s += stdev[0][k];
    }
    EXPECT_NEAR(m / 254.0, density, 0.03 * density) << "band " << band;
    EXPECT_NEAR(s / m, 1.0, 0.06) << "band " << band;
  }
}

// Welch density of the 340-sample input x[j] = (31·j² + 17·j) mod 2001 − 1000 at 10 Hz, periodic
// Hann window of 64 samples, no overlap, no detrending (5 segments), and the sample standard
// deviation (ddof 1) of the 5 segment densities; computed with scipy 1.10.1:
// scipy.signal.welch(x, fs=10, window='hann', nperseg=64, noverlap=0, detrend=False) and
// numpy.std(scipy.signal.spectrogram(x, same arguments, mode='psd')[2], axis=1, ddof=1).
constexpr double kWelchDensity[33] = {
    41811.492630490924, 58869.234797995407, 39640.722698915939, 44511.197634729426,
    73655.11403554157,  81577.257043002028, 65272.137555142384, 92620.333210978497,
    109591.41075707176, 100968.45823904072, 82531.496170990984, 78621.351081862813,
    92040.519249596779, 54856.541191538956, 37848.541399674126, 55215.223669566643,
    73970.898282223279, 78123.89246610101,  33333.437754609738, 44817.435348660736,
    75598.455161907521, 74118.135609026387, 86575.292144349311, 56563.68930411098,
    71760.059318996719, 49501.8455290969,   60007.341485300378, 65187.632239204984,
    54700.321238081044, 14212.05845130757,  36493.260799997741, 50756.553501500741,
    27172.044477953343};
constexpr double kWelchSegmentStd[33] = {
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
  const int n = 340;
  TFileRecord r = MakeRecord(1, 10.0, n);
  TData32 data(1, std::vector<int32_t>(n));
  for (int64_t j = 0; j < n; ++j)
    data[0][j] = static_cast<int32_t>((31 * j * j + 17 * j) % 2001 - 1000);
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, Settings(64, 10.0, kWindowHann, 1), mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, 5);  // the 20-sample tail is not used
  ASSERT_EQ(mean[0].size(), 33u);
  for (int k = 0; k < 33; ++k) {
    EXPECT_NEAR(mean[0][k], kWelchDensity[k], 1e-6 * kWelchDensity[k]) << "line " << k;
    EXPECT_NEAR(stdev[0][k], kWelchSegmentStd[k], 1e-6 * kWelchSegmentStd[k]) << "line " << k;
  }
}

// ---------------------------------------------------------------------------------------------
// Chain correction: a velocity signal recorded through a geophone and an ADC, corrected back.

constexpr double kGeoF0 = 4.5, kGeoDamping = 0.7, kGeoGain = 30.0, kAdc = 1.0e6;

// The geophone's response, written independently of the response code:
// G·s²/(s² + 2ζω0·s + ω0²) at s = j·2πf.
std::complex<double> Geophone(double f) {
  const std::complex<double> s(0.0, 2 * kPi * f);
  const double w0 = 2 * kPi * kGeoF0;
  return kGeoGain * s * s / (s * s + 2 * kGeoDamping * w0 * s + w0 * w0);
}

std::string GeophoneRsp() {
  const double w0 = 2 * kPi * kGeoF0;
  char poles[200];
  std::snprintf(poles, sizeof poles, "%.17g %.17g\r\n%.17g %.17g\r\n", -kGeoDamping * w0,
                w0 * std::sqrt(1 - kGeoDamping * kGeoDamping), -kGeoDamping * w0,
                -w0 * std::sqrt(1 - kGeoDamping * kGeoDamping));
  return "[DEVICE]\r\nModel=geophone\r\nZP available=True\r\n[ZP]\r\nNormalization type=2\r\n"
         "Normalization factor=30\r\nNormalization frequency=1\r\nNumber of zeroes=2\r\n"
         "Number of poles=2\r\n[ZEROES]\r\n0 0\r\n0 0\r\n[POLES]\r\n" +
         std::string(poles);
}

struct ChainCase {
  const char* name;
  int unit_out;       // 0 displacement, 1 velocity, 2 acceleration
  bool channel_resp;  // the geophone as ChannelResp (a bogus SensorResp is then ignored), or as
                      // SensorResp with an AmplifierResp that does not exist (skipped)
};

class GeophoneTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(GeophoneTest, CorrectedSpectrumEqualsInputFromOneToTwentyHertz) {
  const ChainCase cc = GetParam();
  const double rate = 100.0;
  const int M = 2048, segments = 4, n = M * segments;
  const int bins[] = {21, 41, 102, 205, 410};                // 1.03, 2.00, 4.98, 10.0, 20.0 Hz
  const double velocity[] = {2e-4, 1e-4, 5e-5, 3e-5, 2e-5};  // m/s
  TData32 data(1, std::vector<int32_t>(n));
  for (int j = 0; j < n; ++j) {
    double counts = 0.0;
    for (int t = 0; t < 5; ++t) {
      const double f = bins[t] * rate / M;
      const std::complex<double> h = Geophone(f);
      counts +=
          kAdc * velocity[t] * std::abs(h) * std::sin(2 * kPi * f * j / rate + t + std::arg(h));
    }
    data[0][j] = static_cast<int32_t>(std::lround(counts));
  }
  TempDir dir;
  testing::WriteText(dir.File("geo.rsp"), GeophoneRsp());
  TFileRecord r = MakeRecord(1, rate, n);
  r.ADCCoef[0] = kAdc;
  if (cc.channel_resp) {
    r.ChannelResp[0] = dir.File("geo.rsp");
    r.SensorResp[0] = dir.File("no_such_sensor.rsp");
  } else {
    r.SensorResp[0] = dir.File("geo.rsp");
    r.AmplifierResp[0] = dir.File("no_such_amplifier.rsp");
  }
  TSpectrumSettings s = Settings(M, rate);
  s.UnitOut = cc.unit_out;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, s, mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  for (int t = 0; t < 5; ++t) {
    const double w = 2 * kPi * bins[t] * rate / M;
    double amplitude = velocity[t];
    if (cc.unit_out == 0) amplitude /= w;
    if (cc.unit_out == 2) amplitude *= w;
    const double expected = amplitude * 0.5 * M / rate / 0.375;  // Hann, as in ToneTest
    EXPECT_NEAR(mean[0][bins[t]], expected, 0.02 * expected) << "line " << bins[t];
  }
  // 0 Hz: a division by zero frequency (acceleration) or a chain of 0 there gives line 0.
  EXPECT_EQ(mean[0][0], 0.0);
  EXPECT_EQ(stdev[0][0], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Units, GeophoneTest,
                         ::testing::Values(ChainCase{"Displacement", 0, false},
                                           ChainCase{"Velocity", 1, false},
                                           ChainCase{"Acceleration", 2, false},
                                           ChainCase{"ChannelResp", 1, true},
                                           ChainCase{"ChannelRespAcceleration", 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpectrumEngine, ChainCorrectionOfUnitsAndPower) {
  const TCombinedFilter unit;
  const TBiquadCascade none;
  TSpectrumSettings s;
  s.UnitCoef = 0.5;
  s.UnitOut = 1;
  EXPECT_DOUBLE_EQ(ChainCorrection(unit, 4.0, s, none, 100.0, 3.0), 2.0);
  s.UnitOut = 0;
  EXPECT_DOUBLE_EQ(ChainCorrection(unit, 4.0, s, none, 100.0, 3.0), 2.0 * 2 * kPi * 3.0);
  EXPECT_EQ(ChainCorrection(unit, 4.0, s, none, 100.0, 0.0), 0.0);
  s.UnitOut = 2;
  EXPECT_DOUBLE_EQ(ChainCorrection(unit, 4.0, s, none, 100.0, 3.0), 2.0 / (2 * kPi * 3.0));
  EXPECT_EQ(ChainCorrection(unit, 4.0, s, none, 100.0, 0.0),
            std::numeric_limits<double>::infinity());
  EXPECT_EQ(ChainCorrection(unit, 0.0, s, none, 100.0, 0.0),
            std::numeric_limits<double>::infinity());
  s.SpectrumType = 1;
  s.UnitOut = 1;
  EXPECT_DOUBLE_EQ(ChainCorrection(unit, 4.0, s, none, 100.0, 3.0), 4.0);
}

// Power spectra are divided by the squared chain, amplitude spectra by the chain; a channel not
// selected keeps rows of zeros; one segment gives no spread.
TEST(SpectrumEngine, ScalingOfRowsAndUnselectedChannel) {
  const double rate = 50.0;
  const int M = 256;
  TFileRecord r = MakeRecord(2, rate, M);
  r.ChanSelected[1] = false;
  r.ADCCoef[0] = 4.0;
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> u(-5000, 5000);
  TData32 data(2, std::vector<int32_t>(M));
  for (int j = 0; j < M; ++j) data[0][j] = data[1][j] = u(rng);
  for (int type : {0, 1}) {
    TMatrix2D mean, stdev, unit_mean, unit_stdev;
    RecordingUiHost host;
    ASSERT_TRUE(
        Compute(r, data, Settings(M, rate, kWindowHann, type), mean, stdev, host).Computed());
    TFileRecord unit = r;
    unit.ADCCoef[0] = 1.0;
    ASSERT_TRUE(
        Compute(unit, data, Settings(M, rate, kWindowHann, type), unit_mean, unit_stdev, host)
            .Computed());
    const double divisor = type == 1 ? 16.0 : 4.0;
    ASSERT_EQ(mean.size(), 2u);
    for (int k = 1; k <= M / 2; ++k) {
      EXPECT_NEAR(mean[0][k] * divisor, unit_mean[0][k], 1e-9 * unit_mean[0][k]);
      EXPECT_EQ(stdev[0][k], 0.0);  // K = 1
      EXPECT_EQ(mean[1][k], 0.0);
      EXPECT_EQ(stdev[1][k], 0.0);
    }
  }
}

// A Butterworth band-pass is down 3 dB at its corners and passes its centre: the edge-effect
// filter multiplies the finished spectrum by that gain (its square for power spectra).
TEST(SpectrumEngine, EdgeEffectFilterShapesSpectrum) {
  const double rate = 64.0;
  const int M = 256;  // lines every 0.25 Hz: 1 Hz is line 4, 10 Hz line 40
  TFileRecord r = MakeRecord(1, rate, M * 4);
  std::mt19937 rng(9);
  std::normal_distribution<double> noise(0.0, 1000.0);
  TData32 data(1, std::vector<int32_t>(M * 4));
  for (auto& x : data[0]) x = static_cast<int32_t>(std::lround(noise(rng)));
  for (int type : {0, 1}) {
    TSpectrumSettings s = Settings(M, rate, kWindowHann, type);
    s.FMin = 1.0;
    s.FMax = 10.0;
    s.EdgeOrder = 4;
    TMatrix2D plain, plain_sd, edged, edged_sd;
    RecordingUiHost host;
    ASSERT_TRUE(Compute(r, data, s, plain, plain_sd, host).Computed());
    s.EdgeEffect = true;
    ASSERT_TRUE(Compute(r, data, s, edged, edged_sd, host).Computed());
    auto gain = [&](int k) {
      const double g = edged[0][k] / plain[0][k];
      return type == 1 ? std::sqrt(g) : g;
    };
    EXPECT_NEAR(gain(4), std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(gain(40), std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(gain(13), 1.0, 1e-3);  // 3.25 Hz, next to the centre √10 Hz
    EXPECT_LT(gain(1), 0.01);
    EXPECT_LT(gain(120), 1e-4);
    EXPECT_NEAR(edged_sd[0][40] / plain_sd[0][40], edged[0][40] / plain[0][40], 1e-9);
  }
}

// A slow swing far above the level hides every quiet stretch from the plain search; the
// interference filter's band leaves it out, and still finds a burst inside the band.
TEST(SpectrumEngine, InterferenceFilterSearchesItsBand) {
  const double rate = 100.0;
  const int n = 10000;
  TFileRecord r = MakeRecord(1, rate, n);
  r.Level[0] = 2000;
  std::mt19937 rng(4);
  std::normal_distribution<double> noise(0.0, 100.0);
  TData32 data(1, std::vector<int32_t>(n));
  for (int j = 0; j < n; ++j) {
    double v = 1e5 * std::sin(2 * kPi * 0.02 * j / rate) + noise(rng);
    if (j >= 5000 && j < 5050) v += 1e4 * std::sin(2 * kPi * 10.0 * j / rate);
    data[0][j] = static_cast<int32_t>(std::lround(v));
  }
  TSpectrumSettings s = Settings(256, rate);
  s.NoiseFMin = 1.0;
  s.NoiseFMax = 200.0;  // limited to 0.99 of the Nyquist frequency
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  EXPECT_EQ(Compute(r, data, s, mean, stdev, host).Outcome, TSpectraOutcome::kNoQuietInterval);

  s.NoiseFilter = true;
  RecordingUiHost host2;
  const TSpectraStatus st = Compute(r, data, s, mean, stdev, host2);
  ASSERT_TRUE(st.Computed()) << st.Message;
  int64_t covered = 0;
  for (const auto& [a, b] : st.Intervals) {
    covered += b - a + 1;
    EXPECT_TRUE(b < 5000 || a >= 5050) << a << ".." << b;
  }
  EXPECT_GE(covered, 8 * 256);
  EXPECT_GE(st.Intervals.size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Quiet intervals.

struct Spike {
  int channel;
  int64_t index;
  int32_t value;
};

struct QuietCase {
  const char* name;
  int64_t samples;
  int32_t level;
  bool second_selected;
  std::vector<Spike> spikes;
  int32_t N, G;
  int64_t first, last;
  TRecordRanges expected;
};

class QuietTest : public ::testing::TestWithParam<QuietCase> {};

TEST_P(QuietTest, Intervals) {
  const QuietCase& qc = GetParam();
  TData32 data(2, std::vector<int32_t>(static_cast<size_t>(qc.samples), 1));
  for (const Spike& s : qc.spikes) data[s.channel][s.index] = s.value;
  const std::array<int32_t, 2> level{qc.level, qc.level};
  const std::array<bool, 2> selected{true, qc.second_selected};
  TSpectrumSettings s;
  s.SegmentLength = qc.N;
  s.NoiseGap = qc.G;
  TRecordRanges intervals{{-5, -5}};
  FindQuietIntervals(data, level, selected, intervals, s, qc.first, qc.last);
  EXPECT_EQ(intervals, qc.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuietTest,
    ::testing::Values(
        // Four whole segments of 2048 fit in 10 000 samples; the last 1 808 are not used.
        QuietCase{"AllQuiet", 10000, kQuiet, true, {}, 2048, 0, 0, 9999, {{0, 8191}}},
        QuietCase{"FromFirst",
                  10000,
                  kQuiet,
                  true,
                  {{0, 150, -2147483647 - 1}},
                  2048,
                  0,
                  100,
                  9999,
                  {{100, 8291}}},
        // A sample of level + 2 at 4500: segments 0..3999, the next search from 4500 + 1 + 300.
        QuietCase{"OneDisturbed",
                  10000,
                  100,
                  true,
                  {{0, 4500, 102}},
                  1000,
                  300,
                  0,
                  9999,
                  {{0, 3999}, {4801, 9800}}},
        QuietCase{"DisturbedBelow",
                  10000,
                  100,
                  true,
                  {{0, 4500, -102}},
                  1000,
                  300,
                  0,
                  9999,
                  {{0, 3999}, {4801, 9800}}},
        // Moved one count toward zero, level + 1 and −level − 1 are still quiet.
        QuietCase{"AtLevel",
                  10000,
                  100,
                  true,
                  {{0, 4500, 101}, {0, 10, -101}},
                  1000,
                  300,
                  0,
                  9999,
                  {{0, 9999}}},
        QuietCase{"NegativeLevel", 10000, -1, true, {}, 1000, 0, 0, 9999, {}},
        // Level 0: 0 moves to −1 and is disturbed, 1 moves to 0 and is quiet.
        QuietCase{
            "LevelZero", 3000, 0, true, {{0, 1500, 0}}, 1000, 0, 0, 2999, {{0, 999}, {1501, 2500}}},
        QuietCase{"UnselectedNotTested",
                  5000,
                  100,
                  false,
                  {{1, 10, 1000000}},
                  1000,
                  0,
                  0,
                  4999,
                  {{0, 4999}}},
        QuietCase{"SelectedSecondTested",
                  5000,
                  100,
                  true,
                  {{1, 2500, 1000000}},
                  1000,
                  0,
                  0,
                  4999,
                  {{0, 1999}, {2501, 4500}}},
        QuietCase{"ShortTailDropped", 2500, kQuiet, true, {}, 1000, 0, 0, 2499, {{0, 1999}}},
        QuietCase{"LastBeyondData", 2500, kQuiet, true, {}, 1000, 0, 0, 1000000, {{0, 1999}}},
        QuietCase{"NothingBetween", 2500, kQuiet, true, {}, 1000, 0, 2000, 1000, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Daniell estimate.

TEST(SpectrumEngine, DaniellSmoothingOfShortRow) {
  // Window 5 over the lines 1..11 of a ramp: each forward mean of five is i + 2; the tail repeats
  // line 6's value 8; the shift by 2 centres them, so lines 3..8 read back their own index, and
  // lines 1..2 take line 1's value. Line 0 is kept.
  std::vector<double> mean{100, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  std::vector<double> stdev(12, 7.0);
  const int N = 4;
  const double rate = 2.5 * N / (2 * kPi);  // the spread is then √mean
  DaniellSmooth(mean, stdev, 5, N, rate);
  const std::vector<double> expected{100, 3, 3, 3, 4, 5, 6, 7, 8, 8, 8, 8};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_DOUBLE_EQ(mean[i], expected[i]) << i;
    EXPECT_DOUBLE_EQ(stdev[i], i == 0 ? 7.0 : std::sqrt(expected[i])) << i;
  }
}

TEST(SpectrumEngine, DaniellEstimateOfShortSpanUsesOneShortSegment) {
  const double rate = 100.0;
  const int M = 2048, span = 1000;
  TFileRecord r = MakeRecord(1, rate, 5000);
  r.SelectStart = r.Start + 200 / rate / 86400.0;
  r.SelectFinish = r.SelectStart + (span - 1) / rate / 86400.0;
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 300.0);
  TData32 data(1, std::vector<int32_t>(5000));
  for (auto& x : data[0]) x = static_cast<int32_t>(std::lround(noise(rng)));
  TSpectrumSettings s = Settings(M, rate);
  s.EstimationType = 0;
  s.DanielWin = 5;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, s, mean, stdev, host);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(st.Segments, 1);
  EXPECT_EQ(st.Used.SegmentLength, span);
  EXPECT_EQ(st.Used.TransformLength, M);
  ASSERT_EQ(st.Intervals, (TRecordRanges{{200, 200 + span - 1}}));
  EXPECT_EQ(s.SegmentLength, 8192);  // the caller's settings are not touched
  ASSERT_EQ(mean[0].size(), static_cast<size_t>(M / 2 + 1));
  for (int k = 3; k <= M / 2; ++k) {
    ASSERT_GT(mean[0][k], 0.0);
    EXPECT_NEAR(stdev[0][k], std::sqrt(mean[0][k] / span * 2 * kPi * rate / 2.5),
                1e-9 * stdev[0][k]);
  }
}

// ---------------------------------------------------------------------------------------------
// Failures, messages and the stop flag.

TEST(SpectrumEngine, NoQuietIntervalGivesMessageAndEmptyMatrices) {
  TFileRecord r = MakeRecord(1, 100.0, 5000);
  r.Level[0] = -1;
  TData32 data(1, std::vector<int32_t>(5000, 3));
  TMatrix2D mean{{1.0}}, stdev{{1.0}};
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, Settings(1024, 100.0), mean, stdev, host);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kNoQuietInterval);
  EXPECT_TRUE(mean.empty());
  EXPECT_TRUE(stdev.empty());
  EXPECT_EQ(host.messages, std::vector<std::string>{"TEST: недостаточно данных для расчета"});
  EXPECT_EQ(st.Message, host.messages[0]);
}

TEST(SpectrumEngine, UnusableGeometryIsReported) {
  TFileRecord r = MakeRecord(1, 0.0, 5000);  // a record whose rate was never read
  TData32 data(1, std::vector<int32_t>(5000, 3));
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = Compute(r, data, Settings(1024, 100.0), mean, stdev, host);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kBadGeometry);
  EXPECT_TRUE(mean.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].rfind("TEST: ", 0), 0u);
}

struct BadResponseCase {
  const char* name;
  const char* file;     // written into the folder unless content is null
  const char* content;  // null: the file does not exist
};

class BadResponseTest : public ::testing::TestWithParam<BadResponseCase> {};

// A response that does not load stops the record with a message naming the channel and the
// file, before the samples are loaded; it is never replaced by a unit response.
TEST_P(BadResponseTest, StopsRecordWithMessage) {
  const BadResponseCase bc = GetParam();
  TempDir dir;
  if (bc.content != nullptr) testing::WriteText(dir.File(bc.file), bc.content);
  TFileRecord r = MakeRecord(2, 100.0, 5000);
  r.File = dir.File("record.mseed");
  r.SensorResp[1] = dir.File(bc.file);
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = CalculateSpectra(r, Settings(1024, 100.0), r.SelectStart,
                                             r.SelectFinish, 100.0, host, mean, stdev);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kResponseFailed);
  EXPECT_TRUE(mean.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("HHN"), std::string::npos) << host.messages[0];
  EXPECT_NE(host.messages[0].find(bc.file), std::string::npos) << host.messages[0];
  EXPECT_FALSE(host.HasStage("TEST: Загрузка данных"));
  EXPECT_FALSE(host.HasStage("Спектры рассчитаны"));

  // The same from samples already in memory.
  RecordingUiHost host2;
  TData32 data(2, std::vector<int32_t>(5000, 1));
  EXPECT_EQ(Compute(r, data, Settings(1024, 100.0), mean, stdev, host2).Outcome,
            TSpectraOutcome::kResponseFailed);
  EXPECT_EQ(host2.messages, host.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadResponseTest,
    ::testing::Values(BadResponseCase{"Missing", "missing_sensor.rsp", nullptr},
                      BadResponseCase{
                          "Damaged", "bad_sensor.rsp",
                          "[DEVICE]\r\nZP available=True\r\n[ZP]\r\nNumber of zeroes=two\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpectrumEngine, UnreadableRecordIsReported) {
  TempDir dir;
  testing::WriteText(dir.File("record.mseed"), "not a seismogram");
  TFileRecord r = MakeRecord(1, 100.0, 5000);
  r.File = dir.File("record.mseed");
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st = CalculateSpectra(r, Settings(1024, 100.0), r.SelectStart,
                                             r.SelectFinish, 100.0, host, mean, stdev);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kLoadFailed);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("record.mseed"), std::string::npos);
}

TEST(SpectrumEngine, StopDuringSegmentsCancels) {
  const int M = 256;
  TFileRecord r = MakeRecord(1, 50.0, M * 20);
  TData32 data(1, std::vector<int32_t>(M * 20, 5));
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  host.stop_when = [](int n) { return n == 4; };
  const TSpectraStatus st = Compute(r, data, Settings(M, 50.0), mean, stdev, host);
  EXPECT_EQ(st.Outcome, TSpectraOutcome::kStopped);
  EXPECT_LT(st.Segments, 20);
  EXPECT_EQ(host.stages.back(), "Расчет спектров отменен");
  EXPECT_FALSE(host.HasStage("Спектры рассчитаны"));
  EXPECT_TRUE(host.messages.empty());
}

TEST(SpectrumEngine, StatusTexts) {
  const int M = 256;
  TFileRecord r = MakeRecord(1, 50.0, M * 3);
  TData32 data(1, std::vector<int32_t>(M * 3, 5));
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  ASSERT_TRUE(Compute(r, data, Settings(M, 50.0), mean, stdev, host).Computed());
  EXPECT_EQ(host.stages,
            (std::vector<std::string>{"TEST: Выделение интервалов помех", "TEST: Расчет спектров",
                                      "TEST: Учет АЧХ", "Спектры рассчитаны"}));
}

// The samples of a real miniSEED day file as libmseed decoded them (its .ref.txt), placed by
// record start time and de-meaned as loading does.
TData32 ReferenceSamples(const std::string& ref, int64_t length) {
  std::FILE* f = std::fopen(ref.c_str(), "r");
  EXPECT_NE(f, nullptr);
  TData32 data(1, std::vector<int32_t>(length, 0));
  if (f == nullptr) return data;
  char net[16], sta[16], cha[16];
  double start = 0, rate = 0, first = -1;
  int count = 0;
  while (std::fscanf(f, " # %15s %15s %15s %lf %lf %d %*d %*d", net, sta, cha, &start, &rate,
                     &count) == 6) {
    if (first < 0) first = start;
    const int64_t offset = std::llround((start - first) * rate);
    for (int i = 0; i < count; ++i) {
      int v = 0;
      if (std::fscanf(f, "%d", &v) != 1) break;
      if (offset + i >= 0 && offset + i < length) data[0][offset + i] = v;
    }
  }
  std::fclose(f);
  double sum = 0;
  for (int32_t v : data[0]) sum += v;
  const auto m = static_cast<int32_t>(std::nearbyint(sum / static_cast<double>(length)));
  for (int32_t& v : data[0]) v -= m;
  return data;
}

TEST(SpectrumEngine, RecordLoadedFromRealFile) {
  const std::string path = testing::RealFile("mseed/CH.BALST..LHE.D.2025.314.mseed");
  const FormatTag tag = Recognize(path);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(path, tag, info, 100.0));
  TFileRecord r = FormRecord(path, info, true);
  r.Level[0] = kQuiet;
  const TSpectrumSettings s = Settings(1024, 1.0);
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  const TSpectraStatus st =
      CalculateSpectra(r, s, r.SelectStart, r.SelectFinish, 100.0, host, mean, stdev);
  ASSERT_TRUE(st.Computed()) << st.Message;
  EXPECT_EQ(r.SampRate, 1.0);
  EXPECT_EQ(st.Segments, r.SampleCount / 1024);

  const TData32 reference =
      ReferenceSamples(testing::RealFile("mseed/CH.BALST..LHE.D.2025.314.ref.txt"), r.SampleCount);
  TMatrix2D ref_mean, ref_stdev;
  ASSERT_TRUE(Compute(r, reference, s, ref_mean, ref_stdev, host).Computed());
  ASSERT_EQ(mean[0].size(), ref_mean[0].size());
  for (size_t k = 0; k < mean[0].size(); ++k) {
    EXPECT_NEAR(mean[0][k], ref_mean[0][k], 1e-9 * ref_mean[0][k]) << k;
    EXPECT_NEAR(stdev[0][k], ref_stdev[0][k], 1e-9 * ref_stdev[0][k] + 1e-12) << k;
  }

  // A stop requested before the call is not swallowed by the loading.
  RecordingUiHost stopped;
  stopped.RequestStop();
  EXPECT_EQ(
      CalculateSpectra(r, s, r.SelectStart, r.SelectFinish, 100.0, stopped, mean, stdev).Outcome,
      TSpectraOutcome::kStopped);
  EXPECT_EQ(stopped.stages.back(), "Расчет спектров отменен");
}

// Two records computed on two threads at once give exactly what they give one after the other.
TEST(SpectrumEngine, TwoRecordsOnTwoThreads) {
  const double rate = 100.0;
  const int M = 1024, n = M * 30;
  TData32 data[2];
  TFileRecord rec[2];
  for (int i = 0; i < 2; ++i) {
    std::mt19937 rng(100 + i);
    std::normal_distribution<double> noise(0.0, 500.0 * (i + 1));
    data[i].assign(3, std::vector<int32_t>(n));
    for (auto& row : data[i]) {
      for (auto& x : row) x = static_cast<int32_t>(std::lround(noise(rng)));
    }
    rec[i] = MakeRecord(3, rate, n);
    rec[i].Level.fill(2000 * (i + 1));  // 4σ: a few disturbed samples
  }
  const TSpectrumSettings s = Settings(M, rate);
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
  EXPECT_NE(mean[0], mean[1]);
}

}  // namespace
}  // namespace tarvik

#include "spectral/hv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>

#include "common/paths.h"
#include "recording_ui_host.h"
#include "spectral/spectrum_engine.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

struct LineCase {
  const char* Name;
  double E, N, Z, Se, Sn, Sz;
  double Ez, Nz, Hz, Sez, Snz, Shz;
};

class RatioLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(RatioLineTest, OneLine) {
  const LineCase& c = GetParam();
  // The line under test sits between two ordinary lines, so rows are not mixed up.
  TMatrix2D v{{4, c.E, 4}, {4, c.N, 4}, {2, c.Z, 2}, {9, 9, 9}};
  TMatrix2D s{{0, c.Se, 0}, {0, c.Sn, 0}, {0, c.Sz, 0}, {9, 9, 9}};
  FormHVRatios(v, s);
  ASSERT_EQ(v.size(), 3u);  // a fourth channel is ignored
  ASSERT_EQ(s.size(), 3u);
  EXPECT_DOUBLE_EQ(v[0][1], c.Ez);
  EXPECT_DOUBLE_EQ(v[1][1], c.Nz);
  EXPECT_DOUBLE_EQ(v[2][1], c.Hz);
  EXPECT_DOUBLE_EQ(s[0][1], c.Sez);
  EXPECT_DOUBLE_EQ(s[1][1], c.Snz);
  EXPECT_DOUBLE_EQ(s[2][1], c.Shz);
  for (size_t i : {0u, 2u}) {
    EXPECT_DOUBLE_EQ(v[0][i], 2.0);
    EXPECT_DOUBLE_EQ(v[2][i], 2.0);
    EXPECT_DOUBLE_EQ(s[2][i], 0.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RatioLineTest,
    ::testing::Values(
        LineCase{"ZeroZ", 5, 7, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0},
        LineCase{"PlainRatios", 2, 4, 2, 0, 0, 0, 1, 2, 1.5, 0, 0, 0},
        // (E·sZ + Z·sE)/(Z + sZ)/Z = (1·1 + 0)/2/1; the same for N; H spread √((¼ + ¼)/2).
        LineCase{"SpreadOfRatio", 1, 1, 1, 0, 0, 1, 1, 1, 1, 0.5, 0.5, 0.5},
        // E/Z = 3, spread (6·1 + 2·1)/(2 + 1)/2 = 4/3; N/Z = 1, spread (2·1 + 2·0)/3/2 = 1/3.
        LineCase{"UnequalSpreads", 6, 2, 2, 1, 0, 1, 3, 1, 2, 4.0 / 3, 1.0 / 3,
                 std::sqrt((16.0 / 9 + 1.0 / 9) / 2)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(HV, MalformedRowsGiveNothing) {
  TMatrix2D v{{1, 2}, {1}, {1, 2}}, s{{1, 2}, {1, 2}, {1, 2}};
  FormHVRatios(v, s);
  EXPECT_TRUE(v.empty() && s.empty());
}

// A two-pole resonator of centre f0 and bandwidth bw, applied in place.
void Resonate(std::vector<double>& x, double f0, double bw, double rate) {
  const double r = 1.0 - std::numbers::pi * bw / rate;
  const double c = 2.0 * r * std::cos(2.0 * std::numbers::pi * f0 / rate);
  double y1 = 0.0, y2 = 0.0;
  for (double& v : x) {
    const double y = v + c * y1 - r * r * y2;
    y2 = y1;
    y1 = y;
    v = y;
  }
}

// E and N carry a resonance at f0 that Z lacks: the spectra of the record, written as its
// amplitude file and read back, give an H/Z ratio whose peak lies at f0.
TEST(HV, ResonanceOfHorizontalsGivesPeakAtItsFrequency) {
  const double rate = 50.0, f0 = 2.5;
  const int M = 1024, n = M * 100;
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 1000.0);
  std::vector<double> z(n);
  for (double& v : z) v = noise(rng);
  std::vector<double> h = z;
  Resonate(h, f0, 0.2, rate);
  const double peak_gain = *std::max_element(h.begin(), h.end()) / 1000.0;  // keep counts sane
  TData32 data(4, std::vector<int32_t>(n));
  for (int j = 0; j < n; ++j) {
    data[0][j] = static_cast<int32_t>(std::lround(h[j] / peak_gain));        // E
    data[1][j] = static_cast<int32_t>(std::lround(0.8 * h[j] / peak_gain));  // N
    data[2][j] = static_cast<int32_t>(std::lround(z[j]));                    // Z
    data[3][j] = static_cast<int32_t>(std::lround(z[j] * 5));                // a second Z
  }
  TFileRecord r;
  r.Station = "HV1";
  r.SampRate = rate;
  r.SelectFinish = (n - 1) / rate / 86400.0;
  r.Channels.resize(4);
  for (int c = 0; c < 4; ++c) {
    r.Channels[c].Selected = true;
    r.Channels[c].Level = 2147483647;
    r.Channels[c].ADCCoef = 1.0;
    r.Channels[c].Axis = static_cast<Component>(c < 2 ? c : 2);
    r.Channels[c].Channel = "C" + std::to_string(c);
  }
  TSpectrumSettings s;
  s.SilenceDur = M / rate;
  TMatrix2D mean, stdev;
  RecordingUiHost host;
  ASSERT_TRUE(
      CalculateSpectraOfSamples(r, data, s, r.SelectStart, r.SelectFinish, host, mean, stdev)
          .Computed());

  TempDir dir;
  const TResultFolders folders = DeriveResultFolders(dir.Path().string());
  const std::string prim = SpectrumFilePath(folders, r, false);
  ASSERT_TRUE(WriteSpectrum(prim, r, mean, stdev, host));

  TMatrix2D ratios, spreads;
  std::vector<double> f;
  ASSERT_TRUE(CalculateHV(prim, host, ratios, spreads, &f));
  EXPECT_TRUE(host.HasStage("Расчет спектра Накамуры " + prim));
  ASSERT_EQ(ratios.size(), 3u);
  ASSERT_EQ(ratios[2].size(), static_cast<size_t>(M / 2 + 1));
  // Above 0.5 Hz, away from the window's leakage of the mean.
  size_t best = 11;
  for (size_t i = 11; i < ratios[2].size(); ++i) {
    if (ratios[2][i] > ratios[2][best]) best = i;
  }
  EXPECT_NEAR(f[best], f0, 0.03 * f0);
  EXPECT_GT(ratios[2][best], 5.0 * ratios[2][ratios[2].size() - 10]);
  // N/Z is 0.8 of E/Z everywhere, so H/Z is 0.9 of E/Z.
  EXPECT_NEAR(ratios[1][best] / ratios[0][best], 0.8, 0.01);

  const std::string nak = RatioFilePath(folders, r);
  ASSERT_TRUE(WriteRatios(nak, ratios, spreads, host, r.SampRate, &f));
  EXPECT_EQ(FileName(nak), "nak_" + FileName(prim));
  EXPECT_TRUE(std::filesystem::exists(nak));
}

TEST(HV, MissingComponentsOfTheSelectedChannels) {
  struct Case {
    std::vector<int32_t> Axes;
    std::vector<bool> Selected;
    const char* Missing;
  };
  for (const Case& c :
       {Case{{0, 1, 2}, {true, true, true}, ""},
        Case{{0}, {true}, "N, Z"},  // a one-channel LHE record
        Case{{2, 0, 1}, {false, true, true}, "Z"}, Case{{2, 2, 0}, {true, true, true}, "N"},
        Case{{2, 3, 4}, {true, true, true}, "E, N"},
        Case{{0, 1, 2}, {false, false, false}, "E, N, Z"}}) {
    TFileRecord r;
    r.Channels.resize(c.Axes.size());
    for (size_t k = 0; k < c.Axes.size(); ++k) {
      r.Channels[k].Axis = static_cast<Component>(c.Axes[k]);
      r.Channels[k].Selected = c.Selected[k];
    }
    EXPECT_EQ(MissingHVComponents(r), c.Missing);
  }
}

// An amplitude file written for a record without N and Z holds zeros in their place: no ratios
// are formed from it.
TEST(HV, AmplitudeFileWithoutAComponentGivesNoRatios) {
  TempDir dir;
  TFileRecord r;
  r.Station = "LHE1";
  r.SampRate = 1.0;
  r.Channels.resize(1);
  r.Channels[0].Selected = true;
  r.Channels[0].Axis = Component::kE;
  r.Channels[0].Channel = "LHE";
  const TMatrix2D mean = {{1.0, 2.0, 3.0}}, stdev = {{0.1, 0.2, 0.3}};
  RecordingUiHost host;
  const std::string prim = dir.File("prim.dat");
  ASSERT_TRUE(WriteSpectrum(prim, r, mean, stdev, host, 4));
  TMatrix2D ratios{{1}}, spreads{{1}};
  TStatus reason;
  EXPECT_FALSE(CalculateHV(prim, host, ratios, spreads, nullptr, &reason));
  EXPECT_TRUE(ratios.empty() && spreads.empty());
  EXPECT_EQ(reason.Code, TCode::kNoComponentsSpectrum);
  EXPECT_EQ(reason.Args, (std::vector<TArg>{prim, "N, Z"}));
  EXPECT_EQ(reason.File, prim);
  EXPECT_EQ(host.Messages.back(), "Файл " + prim + ": нет спектра компонент N, Z");
}

// A missing amplitude file: the reader's message, no ratios and no ratio file.
TEST(HV, MissingPrimFileGivesMessageAndNoRatioFile) {
  TempDir dir;
  const TResultFolders folders = DeriveResultFolders(dir.Path().string());
  TFileRecord r;
  r.Station = "NONE";
  r.SampRate = 100.0;
  const std::string prim = SpectrumFilePath(folders, r, false);
  TMatrix2D ratios{{1}}, spreads{{1}};
  RecordingUiHost host;
  EXPECT_FALSE(CalculateHV(prim, host, ratios, spreads));
  EXPECT_TRUE(ratios.empty());
  EXPECT_TRUE(spreads.empty());
  EXPECT_EQ(host.Messages, std::vector<std::string>{"Файл " + prim + " не найден"});
  const TWriteStatus st = WriteRatios(RatioFilePath(folders, r), ratios, spreads, host, 100.0);
  EXPECT_EQ(st.Outcome, TWriteOutcome::kNothingToWrite);
  EXPECT_FALSE(std::filesystem::exists(folders.SpectraNakamura));
}

}  // namespace
}  // namespace tarvik

#include "viewers/spectrum_show.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "recording_ui_host.h"
#include "test_files.h"
#include "viewer_test_files.h"
#include "viewers/noise_models.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::ResultText;
using testing::TempDir;
using testing::WriteResult;

using Points = std::vector<std::pair<double, double>>;

Points PointsOf(const TChartSeries& s) {
  Points p;
  for (size_t i = 0; i < s.X.size(); ++i) p.emplace_back(s.X[i], s.Y[i]);
  return p;
}

// One value column with a zero and a negative value: line 0 (0 Hz) is never drawn.
std::string SignedSpectrum() {
  return ResultText({"Freq", "E00_HHE", "E00_HHE_StDev"},
                    {{0, 5, 1}, {1, 2, 1}, {2, 0, 1}, {3, -1, 0.5}, {4, 1, 2}});
}

TEST(ShowSpectrumFile, LogYLeavesOutValuesNotAboveZeroAndDrawsLowerDotsOnlyAboveZero) {
  TempDir dir;
  const std::string path = WriteResult(dir.File("prim.dat"), SignedSpectrum());
  RecordingUiHost host;
  TSpectrumView view;
  ASSERT_TRUE(ShowSpectrumFile(view, path, true, kVelocity, 3, host));
  ASSERT_EQ(view.Series.size(), 2u);
  EXPECT_EQ(PointsOf(view.Series[0]), (Points{{1, 2}, {4, 1}}));
  EXPECT_EQ(PointsOf(view.Series[1]), (Points{{1, 3}, {1, 1}, {4, 3}}));
  EXPECT_EQ(view.Caption, path);
  EXPECT_EQ(view.LeftTitle, "Мощность, (мкм/c)^2/Гц");
  EXPECT_TRUE(view.IntegrationEnabled);
  EXPECT_TRUE(host.HasStage("Формирование графика"));

  // Unchecking LogY changes the axis only; the values come back when the file is shown again.
  view.LogY = false;
  EXPECT_EQ(view.Series[0].X.size(), 2u);
  ASSERT_TRUE(ShowSpectrumFile(view, path, false, kVelocity, 3, host));
  EXPECT_EQ(PointsOf(view.Series[0]), (Points{{1, 2}, {2, 0}, {3, -1}, {4, 1}}));
  EXPECT_EQ(PointsOf(view.Series[1]), (Points{{1, 3}, {1, 1}, {2, 1}, {3, -0.5}, {4, 3}}));
  EXPECT_EQ(view.LeftTitle, "Амплитуда, (мкм/c)/Гц");
  EXPECT_FALSE(view.IntegrationEnabled);
}

TEST(ShowSpectrumFile, SeriesChoicesAndNavigationFollowTheFileAndTheRecordIndex) {
  TempDir dir;
  const std::string path = WriteResult(
      dir.File("prim.dat"),
      testing::ThreeComponentText(
          4, 0.5, [](int c, int i) { return 1.0 + c + i; }, [](int, int) { return 0.1; }));
  RecordingUiHost host;
  TSpectrumView view;
  view.CurrentIndex = 0;
  view.RecordCount = 3;
  ASSERT_TRUE(ShowSpectrumFile(view, path, false, kDisplacement, 0, host));
  ASSERT_EQ(view.Series.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(view.Series[i].Kind, i % 2 ? TSeriesKind::kPoints : TSeriesKind::kLine);
    EXPECT_EQ(view.Series[i].Color, SeriesColor(static_cast<int>(i / 2)));
    EXPECT_EQ(view.Series[i].X.size(), i % 2 ? 6u : 3u);  // lines 1..3, two dots each
  }
  EXPECT_EQ(view.Series[5].Title, "Z_StDev");
  EXPECT_EQ(view.Choices, (std::vector<std::string>{"E_Amp", "N_Amp", "Z_Amp", "Среднее E,N",
                                                    "Среднее E,N,Z", "Среднее"}));
  EXPECT_TRUE(view.ChoicesEnabled);
  EXPECT_FALSE(view.PrevEnabled);
  EXPECT_TRUE(view.NextEnabled);

  view.CurrentIndex = 2;
  ASSERT_TRUE(ShowSpectrumFile(view, path, false, kDisplacement, 0, host));
  EXPECT_TRUE(view.PrevEnabled);
  EXPECT_FALSE(view.NextEnabled);

  // A file that cannot be shown leaves nothing on the chart.
  EXPECT_FALSE(ShowSpectrumFile(view, dir.File("none.dat"), false, kDisplacement, 0, host));
  EXPECT_TRUE(view.Series.empty());
  EXPECT_TRUE(view.Choices.empty());
}

TEST(ShowSpectrumFiles, OneLinePerColumnOfEveryFileWithoutThePositivityRule) {
  TempDir dir;
  const std::string a = WriteResult(dir.File("a.dat"), SignedSpectrum());
  const std::string b = WriteResult(
      dir.File("b.dat"), ResultText({"Freq", "E_Amp", "E_StDev", "Z01_HHZ", "Z01_HHZ_StDev"},
                                    {{0, 1, 0, 1, 0}, {0.5, 2, 0, 3, 0}, {1, 4, 0, 5, 0}}));
  RecordingUiHost host;
  TSpectrumView view;
  view.PrevEnabled = view.NextEnabled = view.FixEnabled = true;
  ASSERT_TRUE(ShowSpectrumFiles(view, {a, b}, false, kVelocity, 0, host));
  EXPECT_EQ(view.Caption, "Количество файлов: 2");
  ASSERT_EQ(view.Series.size(), 3u);
  EXPECT_EQ(view.Series[0].Title, "E00_HHE (a.dat)");
  EXPECT_EQ(view.Series[2].Title, "Z01_HHZ (b.dat)");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(view.Series[static_cast<size_t>(i)].Color, SeriesColor(i));
    EXPECT_EQ(view.Series[static_cast<size_t>(i)].Kind, TSeriesKind::kLine);
  }
  EXPECT_EQ(PointsOf(view.Series[0]), (Points{{1, 2}, {2, 0}, {3, -1}, {4, 1}}));
  EXPECT_EQ(PointsOf(view.Series[2]), (Points{{0.5, 3}, {1, 5}}));
  EXPECT_TRUE(view.Choices.empty());
  EXPECT_FALSE(view.ChoicesEnabled || view.PrevEnabled || view.NextEnabled || view.FixEnabled);

  // One damaged file: nothing is shown.
  const std::string bad = WriteResult(dir.File("bad.dat"), "Freq\tE\tE_S\r\n0\t1\r\n");
  EXPECT_FALSE(ShowSpectrumFiles(view, {a, bad}, false, kVelocity, 0, host));
  EXPECT_TRUE(view.Series.empty());
}

TEST(ShowRatioFile, NamesAndChoicesOfHVAndOfRelativeSpectra) {
  TempDir dir;
  const std::string path =
      WriteResult(dir.File("nak.dat"),
                  ResultText({"Freq", "E/Z", "EZ_StDev", "N/Z", "NZ_StDev", "H/Z", "HZ_StDev"},
                             {{0, 1, 0, 1, 0, 1, 0}, {0.5, 2, 0.5, 0, 0.5, 3, 4}}));
  RecordingUiHost host;
  TSpectrumView view;
  ASSERT_TRUE(ShowRatioFile(view, path, true, host));
  std::vector<std::string> titles;
  for (const TChartSeries& s : view.Series) titles.push_back(s.Title);
  EXPECT_EQ(titles,
            (std::vector<std::string>{"E/Z", "StDev E/Z", "N/Z", "StDev N/Z", "H/Z", "StDev H/Z"}));
  EXPECT_EQ(view.Choices, (std::vector<std::string>{"E/Z", "N/Z", "Среднее H/Z"}));
  EXPECT_EQ(view.LeftTitle, "Отношение амплитуд");
  EXPECT_FALSE(view.IntegrationEnabled);
  EXPECT_EQ(PointsOf(view.Series[2]), (Points{{0.5, 0}}));  // a ratio of 0 is still drawn
  EXPECT_EQ(PointsOf(view.Series[5]), (Points{{0.5, 7}}));  // 3 − 4 is not above 0

  ASSERT_TRUE(ShowRatioFile(view, path, false, host));
  EXPECT_EQ(view.Series[5].Title, "StDev Z1/Z2");
  EXPECT_EQ(view.Choices,
            (std::vector<std::string>{"E1/E2", "N1/N2", "Z1/Z2", "Среднее E,N", "Среднее E,N,Z"}));
}

// A table of `lines` lines at step Hz with the same value v(f) in every component.
TResultTable Table(int lines, double step, double (*v)(double f)) {
  TResultTable t;
  t.Names = {"E_Amp", "E_StDev", "N_Amp", "N_StDev", "Z_Amp", "Z_StDev"};
  t.Values.assign(3, {});
  t.StDev.assign(3, {});
  for (int i = 0; i < lines; ++i) {
    const double f = i * step;
    t.Frequencies.push_back(f);
    for (int c = 0; c < 3; ++c) {
      t.Values[static_cast<size_t>(c)].push_back(v(f) * (c + 1));
      t.StDev[static_cast<size_t>(c)].push_back(9.0);
    }
  }
  return t;
}

TEST(CombineSpectra, AverageAndMedianOfOneTwoAndThreeFiles) {
  const auto one = [](double f) { return 1.0 + f; };
  const auto two = [](double f) { return 2.0 + 3.0 * f; };
  const auto four = [](double f) { return 4.0 + f; };
  TAverageResult r;

  ASSERT_TRUE(CombineSpectra({Table(5, 0.5, one)}, {"a"}, false, r));
  EXPECT_EQ(r.Values[1], (std::vector<double>{2, 3, 4, 5, 6}));
  EXPECT_EQ(r.StDev[1], (std::vector<double>(5, 0.0)));

  ASSERT_TRUE(CombineSpectra({Table(5, 0.5, one), Table(5, 0.5, two)}, {"a", "b"}, true, r));
  for (size_t i = 0; i < 5; ++i) {
    const double f = 0.5 * static_cast<double>(i);
    EXPECT_DOUBLE_EQ(r.Values[0][i], (1 + f + 2 + 3 * f) / 2) << i;
    EXPECT_DOUBLE_EQ(r.StDev[0][i], std::fabs((2 + 3 * f) - (1 + f)) / 2) << i;
  }

  const std::vector<TResultTable> three = {Table(5, 0.5, one), Table(5, 0.5, two),
                                           Table(5, 0.5, four)};
  ASSERT_TRUE(CombineSpectra(three, {"a", "b", "c"}, true, r));
  EXPECT_DOUBLE_EQ(r.Values[2][0], 3 * 2.0);  // 1, 2, 4 at 0 Hz (times 3 in Z): the middle
  EXPECT_DOUBLE_EQ(r.StDev[2][0], 3 * 1.5);   // (4 − 1) / 2
  EXPECT_DOUBLE_EQ(r.Values[2][4], 3 * 6.0);  // 3, 8, 6 at 2 Hz
  // A NAN written for a line without a value sorts last and leaves the other lines alone.
  std::vector<TResultTable> with_nan = three;
  with_nan[0].Values[0][1] = std::nan("");
  ASSERT_TRUE(CombineSpectra(with_nan, {"a", "b", "c"}, true, r));
  EXPECT_DOUBLE_EQ(r.Values[0][1], 4.5);  // 3.5 and 4.5 below the NAN
  EXPECT_DOUBLE_EQ(r.Values[0][2], 5.0);  // 2, 5 and 5 at 1 Hz
  ASSERT_TRUE(CombineSpectra(three, {"a", "b", "c"}, false, r));
  // The sample standard deviation of 1, 2 and 4: √(((1 − 7/3)² + (2 − 7/3)² + (4 − 7/3)²) / 2).
  EXPECT_NEAR(r.Values[0][0], 7.0 / 3.0, 1e-12);
  EXPECT_NEAR(r.StDev[0][0], 1.5275252316519468, 1e-12);
  EXPECT_EQ(r.FilesUsed, 3);
}

TEST(CombineSpectra, GridsOfDifferentStepsMeetOnTheFinerOneUpToTheLowestTop) {
  // 0.1 Hz up to 50 Hz and 0.05 Hz up to 25 Hz, in either order: 501 lines from 0 to 25 Hz.
  const auto a = [](double f) { return 1.0 + f; };
  const auto b = [](double f) { return 3.0 + f; };
  for (bool coarse_first : {true, false}) {
    std::vector<TResultTable> tables = {Table(501, 0.1, a), Table(501, 0.05, b)};
    if (!coarse_first) std::swap(tables[0], tables[1]);
    TAverageResult r;
    ASSERT_TRUE(CombineSpectra(tables, {"x", "y"}, false, r));
    ASSERT_EQ(r.Frequencies.size(), 501u) << coarse_first;
    EXPECT_DOUBLE_EQ(r.Frequencies.front(), 0.0);
    EXPECT_NEAR(r.Frequencies.back(), 25.0, 1e-9);
    EXPECT_NEAR(r.Frequencies[1], 0.05, 1e-12);
    // Both are linear in f, so resampling is exact: the average is 2 + f on every line.
    for (size_t i : {0u, 1u, 3u, 250u, 499u, 500u}) {
      EXPECT_NEAR(r.Values[0][i], 2.0 + r.Frequencies[i], 1e-9) << i;
    }
  }
}

TEST(CombineSpectra, FilesOfAnotherColumnCountAreLeftOut) {
  TResultTable wide = Table(3, 0.5, [](double f) { return 100.0 + f; });
  wide.Values.push_back(wide.Values[0]);
  wide.StDev.push_back(wide.StDev[0]);
  TAverageResult r;
  ASSERT_TRUE(CombineSpectra({Table(3, 0.5, [](double f) { return f; }), wide,
                              Table(3, 0.5, [](double f) { return 2 * f; })},
                             {"a.dat", "wide.dat", "b.dat"}, false, r));
  EXPECT_EQ(r.LeftOut, (std::vector<std::string>{"wide.dat"}));
  EXPECT_EQ(r.FilesUsed, 2);
  EXPECT_DOUBLE_EQ(r.Values[0][2], 1.5);
}

TEST(ShowAverage, WritesTheResultDrawsFromLineOneAndRefusesDamagedSets) {
  TempDir dir;
  const auto spread = [](int, int) { return 0.0; };
  const std::string a =
      WriteResult(dir.File("a.dat"), testing::ThreeComponentText(
                                         4, 0.5, [](int c, int i) { return 1.0 + c + i; }, spread));
  const std::string b =
      WriteResult(dir.File("b.dat"), testing::ThreeComponentText(
                                         4, 0.5, [](int c, int i) { return 3.0 + c + i; }, spread));
  const std::string out = dir.File("aver_spectrum.dat");
  RecordingUiHost host;
  TSpectrumView view;
  TAverageResult result;
  ASSERT_TRUE(ShowAverage(view, {a, b}, out, false, kVelocity, 0, false, host, &result));
  EXPECT_EQ(view.Caption, "Количество файлов в выборке: 2");
  EXPECT_FALSE(view.ChoicesEnabled || view.PrevEnabled || view.NextEnabled || view.FixEnabled);
  ASSERT_EQ(view.Series.size(), 6u);
  EXPECT_EQ(view.Series[0].X, (std::vector<double>{0.5, 1.0, 1.5}));
  EXPECT_EQ(view.Series[0].Y, (std::vector<double>{3, 4, 5}));
  EXPECT_EQ(view.Series[4].Title, "Z_Amp");
  for (const char* stage : {"Добавление спектров в набор данных", "Выравнивание частотных шкал",
                            "Расчет спектра", "Сохранение спектра"}) {
    EXPECT_TRUE(host.HasStage(stage)) << stage;
  }

  // The file holds line 0 too: the average of 1 and 3.
  TMatrix2D values, stdev;
  std::vector<double> f;
  ASSERT_TRUE(ReadThreeComponent(out, host, values, stdev, f));
  EXPECT_EQ(f, (std::vector<double>{0, 0.5, 1, 1.5}));
  EXPECT_EQ(values[0], (std::vector<double>{2, 3, 4, 5}));
  EXPECT_EQ(values[2], (std::vector<double>{4, 5, 6, 7}));
  EXPECT_NEAR(stdev[0][0], std::sqrt(2.0), 1e-3);

  // A damaged file in the set: no chart and no file.
  std::filesystem::remove(out);
  const std::string bad = WriteResult(dir.File("bad.dat"), "Freq\tE_Amp\tE_StDev\r\n0\t1\r\n");
  EXPECT_FALSE(ShowAverage(view, {a, bad}, out, false, kVelocity, 0, true, host));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(view.Series.empty());

  // A file with another column count is named and left out.
  const std::string wide =
      WriteResult(dir.File("wide.dat"),
                  ResultText({"Freq", "E_Amp", "E_StDev", "N_Amp", "N_StDev", "Z_Amp", "Z_StDev",
                              "Z03_X", "Z03_X_StDev"},
                             {{0, 1, 0, 1, 0, 1, 0, 1, 0}, {0.5, 1, 0, 1, 0, 1, 0, 1, 0}}));
  host.Messages.clear();
  ASSERT_TRUE(ShowAverage(view, {a, wide, b}, out, false, kVelocity, 0, true, host, &result));
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_NE(host.Messages[0].find(wide), std::string::npos);
  EXPECT_EQ(result.FilesUsed, 2);
}

// The GUI's comparison list holds each record's primary file, amplitude or power by the settings
// set of the record: an average or a chart of both kinds, or of spectra with ratios, is refused
// with both files named, and nothing is written. Files of one kind are titled as that kind.
TEST(ShowAverage, FilesOfDifferentKindsAreRefused) {
  TempDir dir;
  const auto one = [](int, int) { return 1.0; };
  const std::string text = testing::ThreeComponentText(4, 0.5, one, one);
  const std::string prim = WriteResult(dir.File("prim_A_240514-000000.dat"), text);
  const std::string power = WriteResult(dir.File("power_B_240514-000000.dat"), text);
  const std::string aver = WriteResult(dir.File("aver_spectrum.dat"), text);
  const std::string nak =
      WriteResult(dir.File("nak_prim_A_240514-000000.dat"),
                  ResultText({"Freq", "E/Z", "EZ_StDev", "N/Z", "NZ_StDev", "H/Z", "HZ_StDev"},
                             {{0, 1, 0, 1, 0, 1, 0}, {0.5, 2, 0, 2, 0, 2, 0}}));
  const std::string out = dir.File("out.dat");
  RecordingUiHost host;
  TSpectrumView view;
  struct Case {
    std::vector<std::string> Files;
    std::string Message;
  };
  for (const Case& c : {
           Case{{prim, power},
                "Файлы разного рода: " + prim + " — амплитудный спектр, " + power +
                    " — спектр мощности"},
           Case{{aver, nak},
                "Файлы разного рода: " + aver + " — спектр, " + nak + " — отношения H/V"},
       }) {
    for (const bool together : {false, true}) {
      host.Messages.clear();
      EXPECT_FALSE(together ? ShowSpectrumFiles(view, c.Files, false, kVelocity, 0, host)
                            : ShowAverage(view, c.Files, out, false, kVelocity, 0, false, host));
      EXPECT_EQ(host.Messages, std::vector<std::string>{c.Message});
      EXPECT_TRUE(view.Series.empty());
      EXPECT_FALSE(std::filesystem::exists(out));
    }
  }
  // One kind: an untold average beside power spectra is drawn as power; ratios as ratios.
  ASSERT_TRUE(ShowSpectrumFiles(view, {aver, power}, false, kVelocity, 3, host));
  EXPECT_EQ(view.LeftTitle, "Мощность, (мкм/c)^2/Гц");
  EXPECT_TRUE(view.IntegrationEnabled);
  ASSERT_TRUE(ShowAverage(view, {nak, nak}, out, false, kVelocity, 0, false, host));
  EXPECT_EQ(view.LeftTitle, "Отношение амплитуд");
  EXPECT_FALSE(view.IntegrationEnabled);
  // A record's file says what it holds, whatever the caller passes.
  ASSERT_TRUE(ShowSpectrumFile(view, power, false, kVelocity, 0, host));
  EXPECT_EQ(view.LeftTitle, "Мощность, (м/c)^2/Гц");
  ASSERT_TRUE(ShowSpectrumFile(view, prim, true, kVelocity, 0, host));
  EXPECT_EQ(view.LeftTitle, "Амплитуда, (м/c)/Гц");
  EXPECT_FALSE(view.IntegrationEnabled);
}

TEST(NoiseModels, ConvertedToTheShownQuantityAndUnitAndAddedUnchecked) {
  TSpectrumView view;
  ShowNoiseModels(view, 3, kVelocity);
  ASSERT_EQ(view.Series.size(), 2u);
  const TChartSeries& high = view.Series[0];
  const TChartSeries& low = view.Series[1];
  EXPECT_EQ(high.Title, "NHNM");
  EXPECT_EQ(low.Title, "NLNM");
  for (const TChartSeries* s : {&high, &low}) {
    EXPECT_TRUE(s->Dashed);
    EXPECT_EQ(s->Width, 2.0);
    EXPECT_FALSE(s->Checked);
    EXPECT_EQ(s->Kind, TSeriesKind::kLine);
  }
  ASSERT_EQ(high.X.size(), 13u);
  ASSERT_EQ(low.X.size(), 22u);
  // Micrometres per second: every density times 1e12.
  for (size_t i = 0; i < high.X.size(); ++i) {
    EXPECT_EQ(high.X[i], kHighNoiseModel[i].Frequency);
    EXPECT_NEAR(high.Y[i] / (kHighNoiseModel[i].Density * 1e12), 1.0, 1e-12) << i;
  }
  EXPECT_NEAR(low.Y[21] / 4.1e-9, 1.0, 1e-12);

  // Displacement in metres divides by (2πf)², acceleration multiplies.
  const double w2 = std::pow(2 * std::numbers::pi * 10.0, 2);
  EXPECT_NEAR(NoiseDensityIn(10.0, 1.8e-13, kDisplacement, 0) / (1.8e-13 / w2), 1.0, 1e-12);
  EXPECT_NEAR(NoiseDensityIn(10.0, 1.8e-13, kAcceleration, 2) / (1.8e-13 * w2 / 1e-6), 1.0, 1e-12);
}

class ShowResponsesTest : public ::testing::Test {
 protected:
  // Responses of constant modulus: sensor 2, amplifier 3, whole channel 5.
  void SetUp() override {
    testing::WriteText(sensor_, "ZEROS 0\nPOLES 0\nCONSTANT 2\n");
    testing::WriteText(amplifier_, "ZEROS 0\nPOLES 0\nCONSTANT 3\n");
    testing::WriteText(channel_, "ZEROS 0\nPOLES 0\nCONSTANT 5\n");
    record_.SampRate = 100.0;
    record_.Channels.resize(4);
    const char* names[] = {"HHE", "HHN", "HHZ", "AUX"};
    const double coefs[] = {10.0, 100.0, 1000.0, 1.0};
    for (size_t c = 0; c < 4; ++c) {
      record_.Channels[c].Channel = names[c];
      record_.Channels[c].ADCCoef = coefs[c];
    }
    record_.Channels[0].SensorResp = dir_.File("missing.paz");  // sensor file not there
    record_.Channels[0].AmplifierResp = amplifier_;
    record_.Channels[1].SensorResp = sensor_;
    record_.Channels[1].AmplifierResp = amplifier_;
    record_.Channels[2].ChannelResp = channel_;
  }

  // The distinct values drawn for each channel (empty when nothing is drawn).
  std::vector<std::vector<double>> Levels(int mode) {
    TSpectrumView view;
    EXPECT_TRUE(ShowResponses(view, record_, mode, 0.0, 1.0).Ok());
    std::vector<std::vector<double>> out;
    for (const TChartSeries& s : view.Series) {
      std::vector<double> y = s.Y;
      y.erase(std::unique(y.begin(), y.end()), y.end());
      out.push_back(y);
    }
    return out;
  }

  TempDir dir_;
  std::string sensor_ = dir_.File("sensor.paz");
  std::string amplifier_ = dir_.File("amplifier.paz");
  std::string channel_ = dir_.File("channel.paz");
  TFileRecord record_;
};

TEST_F(ShowResponsesTest, EachModeDrawsItsDeviceAndAMissingSensorFileDrawsNothingInItsPlace) {
  using V = std::vector<std::vector<double>>;
  EXPECT_EQ(Levels(kSensorResponses), (V{{}, {2}, {}, {}}));
  EXPECT_EQ(Levels(kAmplifierResponses), (V{{3}, {3}, {}, {}}));
  EXPECT_EQ(Levels(kChannelResponses), (V{{3}, {6}, {5}, {}}));
  EXPECT_EQ(Levels(kChainResponses), (V{{30}, {600}, {5000}, {}}));
}

TEST_F(ShowResponsesTest, CaptionsTitlesSeriesAndTheFrequencyLadder) {
  const struct {
    int Mode;
    const char* Caption;
    const char* Title;
  } cases[] = {
      {0, "АЧХ датчиков", "Коэффициент преобразования, (В с)/м"},
      {1, "АЧХ усилителей", "Коэффициент преобразования"},
      {2, "АЧХ каналов (датчик*усилитель)", "Коэффициент преобразования, (В с)/м"},
      {3, "АЧХ трактов регистрации (датчик*усилитель*АЦП)", "Коэффициент преобразования, c/м"},
  };
  for (const auto& c : cases) {
    TSpectrumView view;
    view.LogX = view.LogY = false;
    ASSERT_TRUE(ShowResponses(view, record_, c.Mode, 0.0, 1.0).Ok());
    EXPECT_EQ(view.Caption, c.Caption);
    EXPECT_EQ(view.LeftTitle, c.Title);
    EXPECT_TRUE(view.LogX && view.LogY);
    ASSERT_EQ(view.Series.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(view.Series[static_cast<size_t>(i)].Color, SeriesColor(i));
      EXPECT_EQ(view.Series[static_cast<size_t>(i)].Title,
                record_.Channels[static_cast<size_t>(i)].Channel);
    }
    EXPECT_TRUE(view.Choices.empty());
    EXPECT_FALSE(view.ChoicesEnabled);
  }

  // fmin 1 Hz, fmax 0 (half of 100 Hz): 1.1^k below 50 for k = 0..41.
  TSpectrumView view;
  ASSERT_TRUE(ShowResponses(view, record_, kChannelResponses, 0.0, 1.0).Ok());
  const std::vector<double>& x = view.Series[1].X;
  ASSERT_EQ(x.size(), 42u);
  EXPECT_EQ(x.front(), 1.0);
  EXPECT_NEAR(x[1], 1.1, 1e-15);
  EXPECT_LT(x.back(), 50.0);
  EXPECT_GT(x.back() * 1.1, 50.0);
  // fmin 0 means 0.01 Hz; fmin above fmax still draws fmin.
  ASSERT_TRUE(ShowResponses(view, record_, kChannelResponses, 0.0, 0.0).Ok());
  EXPECT_EQ(view.Series[1].X.front(), 0.01);
  ASSERT_TRUE(ShowResponses(view, record_, kChannelResponses, 2.0, 5.0).Ok());
  EXPECT_EQ(view.Series[1].X, (std::vector<double>{5.0}));
}

TEST_F(ShowResponsesTest, AResponseFileThatDoesNotLoadFailsAndKeepsTheChannelsBefore) {
  const std::string broken = dir_.File("broken.paz");
  testing::WriteText(broken, "ZEROS 2\n1 x\n");
  record_.Channels[3].ChannelResp = broken;
  TSpectrumView view;
  const TStatus status = ShowResponses(view, record_, kChannelResponses, 0.0, 1.0);
  EXPECT_EQ(status.Code, TCode::kResponseDefectAtLine);
  EXPECT_EQ(status.File, broken);
  EXPECT_EQ(status.Line, 2);
  EXPECT_FALSE(view.Series[2].X.empty());
  EXPECT_TRUE(view.Series[3].X.empty());
}

}  // namespace
}  // namespace tarvik

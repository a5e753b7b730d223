#include "viewers/band_amplitudes.h"

#include <gtest/gtest.h>

#include <cmath>

#include "recording_ui_host.h"
#include "test_files.h"
#include "viewer_test_files.h"
#include "viewers/spectrum_show.h"

namespace tarvik {
namespace {

// An uneven series. Expected values from a separate Python script that sums y·cell over the
// points in the band, takes half the first point's cell off and adds half the last one's:
//   cell = lambda k: x[k] - x[k-1] if k > 0 else x[1] - x[0]
const std::vector<double> kX = {0.0, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0};
const std::vector<double> kY = {4, 1, 2, 3, 5, 7, 11, 13};

struct BandCase {
  double Lo, Hi;
  std::optional<double> Integral;
};

class BandIntegralCase : public ::testing::TestWithParam<BandCase> {};

TEST_P(BandIntegralCase, MatchesTheIndependentSum) {
  const BandCase& c = GetParam();
  const std::optional<double> v = BandIntegral(kX, kY, c.Lo, c.Hi);
  ASSERT_EQ(v.has_value(), c.Integral.has_value());
  if (v) {
    EXPECT_NEAR(*v, *c.Integral, 1e-14);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BandIntegralCase,
    ::testing::Values(BandCase{0.5, 1.5, 2.7386127875258306},
                      BandCase{0.0, 0.3, 0.9354143466934853},  // the first point of the series
                      BandCase{2.5, 3.0, 3.605551275463989},   // one point: y·cell
                      BandCase{0.6, 0.9, 0.8660254037844386}, BandCase{1.0, 2.0, 3.517811819867572},
                      BandCase{3.5, 4.0, std::nullopt},    // above the series
                      BandCase{2.2, 2.8, std::nullopt},    // between two points
                      BandCase{1.0, 0.5, std::nullopt}));  // upside down

TEST(BandMean, RootOfTheMeanOverTheBand) {
  EXPECT_NEAR(*BandMean(kX, kY, 0.5, 1.5), 2.0615528128088303, 1e-14);  // √((2+3+5+7)/4)
  EXPECT_NEAR(*BandMean(kX, kY, 2.5, 3.5), std::sqrt(13.0), 1e-14);
  EXPECT_FALSE(BandMean(kX, kY, 2.2, 2.8));
  EXPECT_FALSE(BandMean({}, {}, 0.0, 1.0));
  // One point in the whole series: its cell is 0, its mean is its value.
  EXPECT_EQ(*BandIntegral({1.0}, {4.0}, 0.0, 2.0), 0.0);
  EXPECT_EQ(*BandMean({1.0}, {4.0}, 0.0, 2.0), 2.0);
}

TEST(ParseBandRange, DashOrSpacesBetweenTwoNumbers) {
  const struct {
    const char* Text;
    bool Ok;
    double Lo, Hi;
  } cases[] = {{"0.5-10", true, 0.5, 10}, {"1 5", true, 1, 5},     {" 1 - 5 ", true, 1, 5},
               {"2--3", true, 2, 3},      {"1", false, 0, 0},      {"1-2-3", false, 0, 0},
               {"a-b", false, 0, 0},      {"0,5-10", false, 0, 0}, {"", false, 0, 0}};
  for (const auto& c : cases) {
    double lo = -1, hi = -1;
    EXPECT_EQ(ParseBandRange(c.Text, lo, hi), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(lo, c.Lo) << c.Text;
      EXPECT_EQ(hi, c.Hi) << c.Text;
    }
  }
}

TChartSeries Series(const char* title, TSeriesKind kind, std::vector<double> x,
                    std::vector<double> y) {
  TChartSeries s;
  s.Title = title;
  s.Kind = kind;
  s.X = std::move(x);
  s.Y = std::move(y);
  return s;
}

// A power spectrum's line and spread series and a third, unchecked curve.
TSpectrumView View() {
  TSpectrumView v;
  v.Series = {Series("Z00_HHZ", TSeriesKind::kLine, kX, kY),
              Series("Z00_HHZ_StDev", TSeriesKind::kPoints, {0.5, 0.5, 0.75, 0.75}, {4, 1, 4, 2}),
              Series("NHNM", TSeriesKind::kLine, kX, kY)};
  v.Series[2].Checked = false;
  return v;
}

TEST(BandDialogs, StandardBandsGiveTheFirstCheckedSeriesAndTheNextBandByBand) {
  TSpectrumView view = View();
  const TBandDialog d = StandardBandsDialog(view, TBandMeasure::kIntegral);
  EXPECT_TRUE(d.InputBox);
  // 0.5-0.8 and 0.8-1 have points of both series; the dots end below 1 Hz; nothing above 3 Hz.
  EXPECT_EQ(d.Text,
            "\t1.17260e+00\t1.00000e+00\t1.11803e+00\tнет данных\t3.51781e+00\tнет данных"
            "\t4.71699e+00\tнет данных\tнет данных\tнет данных\tнет данных\tнет данных");

  // The first checked series is the last one: its neighbour has no data.
  view.Series[0].Checked = view.Series[1].Checked = false;
  view.Series[2].Checked = true;
  const std::vector<TBandValue> values = StandardBandValues(view, TBandMeasure::kMean);
  ASSERT_EQ(values.size(), 12u);
  EXPECT_EQ(values[0].Series, 2);
  EXPECT_TRUE(values[0].Value.has_value());
  EXPECT_EQ(values[1].Series, -1);
  EXPECT_FALSE(values[1].Value.has_value());
}

TEST(BandDialogs, GivenBandAndCurrentWindowTexts) {
  const TSpectrumView view = View();
  TStatus error;
  const std::optional<TBandDialog> integral =
      GivenBandDialog(view, TBandMeasure::kIntegral, "0.5-1.5", &error);
  ASSERT_TRUE(integral) << Text(error, TLanguage::kEnglish);
  const std::string body =
      "№\t0.5-1.5 Гц\r\n1_Z00_HHZ\t2.73861e+00\r\n2_Z00_HHZ_StDev\t1.00000e+00";
  EXPECT_EQ(integral->Text, "Среднеквадратические амплитуды:\r\n\r\n" + body +
                                "\r\nНажмите [Ok] чтобы закрыть окно и скопировать данные в "
                                "буфер обмена, [Cancel] - закрыть окно.");
  EXPECT_TRUE(integral->OkCancel);
  EXPECT_EQ(integral->Clipboard, body);

  const std::optional<TBandDialog> mean = GivenBandDialog(view, TBandMeasure::kMean, "2.5 3");
  ASSERT_TRUE(mean);
  EXPECT_EQ(mean->Text,
            "Средние амплитуды:\r\n\r\n№\t2.5 3 Гц\r\n1_Z00_HHZ\t3.60555e+00\r\n2_Z00_HHZ_StDev"
            "\tнет данных");
  EXPECT_FALSE(mean->OkCancel);
  EXPECT_TRUE(mean->Clipboard.empty());

  EXPECT_FALSE(GivenBandDialog(view, TBandMeasure::kMean, "0.5 to 10", &error));
  EXPECT_EQ(error.Code, TCode::kNotABand);
  EXPECT_EQ(Text(error, TLanguage::kRussian),
            "\"0.5 to 10\" не частотный диапазон: нужны два числа через дефис, например 0.5-10");

  const TBandDialog window = WindowBandDialog(view, TBandMeasure::kMean, 0.5, 1.5);
  EXPECT_EQ(window.Text.substr(0, window.Text.find("\r\n1_")),
            "Средние амплитуды:\r\n\r\n№\t0.50-1.50 Гц");
  EXPECT_FALSE(window.OkCancel || window.InputBox);
}

// A spectrum of value 4 and spread 1 on every line, 0 to 4 Hz in steps of 0.5: its spread is
// drawn as dots at 5 and 3, whose mean is the value again; the StDev row must be the band value
// of the spread column, 1 under "Среднее". Under "Интегрирование" the band 1-3 Hz holds five
// points 0.5 Hz apart, summed as 0.25 + 4·0.5 + 0.25 = 2.5 Hz times the value.
TEST(BandDialogs, SpreadRowsAreTheBandValuesOfTheSpreadColumn) {
  testing::TempDir dir;
  std::vector<std::vector<double>> rows;
  for (int i = 0; i <= 8; ++i) rows.push_back({0.5 * i, 4.0, 1.0});
  const std::string path =
      testing::WriteResult(dir.File("power_S_240514-000000.dat"),
                           testing::ResultText({"Freq", "Z00_HHZ", "Z00_HHZ_StDev"}, rows));
  testing::RecordingUiHost host;
  TSpectrumView view;
  ASSERT_TRUE(ShowSpectrumFile(view, path, true, kVelocity, 0, host));
  struct Case {
    TBandMeasure Measure;
    double Value, Spread;
  };
  for (const Case& c : {Case{TBandMeasure::kMean, 2.0, 1.0},
                        Case{TBandMeasure::kIntegral, std::sqrt(4.0 * 2.5), std::sqrt(2.5)}}) {
    const std::vector<TBandValue> values = SeriesBandValues(view, c.Measure, 1.0, 3.0);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1].Title, "Z00_HHZ_StDev");
    ASSERT_TRUE(values[0].Value && values[1].Value);
    EXPECT_NEAR(*values[0].Value, c.Value, 1e-12);
    EXPECT_NEAR(*values[1].Value, c.Spread, 1e-12);
  }
}

}  // namespace
}  // namespace tarvik

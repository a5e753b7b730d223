#include "viewers/psd_chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_files.h"

namespace tarvik {
namespace {

// Periods 0.5, 1, 2, 4 s (a factor of two apart), two to three 1 dB bins, three segments ten
// minutes apart with the third's slot after a missing one.
std::string Result(const std::string& periods, const std::string& shares,
                   const std::string& starts) {
  return R"({"channel":".A..HHZ","segments":3,"step_s":600,"periods":)" + periods +
         R"(,"density":{"db_first":-120,"shares":)" + shares +
         R"(},"percentiles":{"50":[-119,-119,-120,-119]},"mode":[-119,-118,-119,-117],)"
         R"("mean":[-119,-118,-119,-118],"nhnm":[-90,-91,-92,-93],"nlnm":[-170,-168,-166,-165],)"
         R"("segment_starts":)" +
         starts +
         R"(,"segment_levels":[[-119,-118,null,-117],[-120,-119,-118,-119],)"
         R"([-119,-118,-120,-118]]})";
}

const char kPeriods[] = "[0.5,1,2,4]";
const char kShares[] = "[[0.5,0.5],[0.2,0.8],[1],[0.3,0.3,0.4]]";
const char kStarts[] = "[1715644800,1715645400,1715646600]";

TEST(PsdChart, DensityAndSpectrogramAreColourMapsWithEvenLogCells) {
  testing::TempDir dir;
  const std::string path = dir.File("r.json");
  testing::WriteText(path, Result(kPeriods, kShares, kStarts));
  TSpectrumView view;
  ASSERT_TRUE(ShowPsdStats(view, path, {}).Ok());
  const TChartSeries& density = view.Series.at(0);
  ASSERT_EQ(density.Kind, TSeriesKind::kColorMap);
  const TColorGrid& g = density.Map;
  EXPECT_EQ(g.Columns, 4);
  EXPECT_EQ(g.Rows, 3);
  EXPECT_TRUE(g.LogX);
  // Each period in the middle of its own cell, a factor of two wide.
  for (int c = 0; c < 4; ++c) EXPECT_NEAR(g.ColumnMiddle(c), 0.5 * std::pow(2.0, c), 1e-12);
  EXPECT_NEAR(g.X0, 0.5 / std::sqrt(2.0), 1e-12);
  EXPECT_DOUBLE_EQ(g.Y0, -120.0);
  EXPECT_DOUBLE_EQ(g.Y1, -117.0);
  EXPECT_DOUBLE_EQ(g.At(1, 1), 80.0);   // percent of the segments
  EXPECT_TRUE(std::isnan(g.At(2, 1)));  // a bin the period does not have stays blank
  EXPECT_DOUBLE_EQ(g.High, 100.0);
  EXPECT_EQ(g.FilledCells(), 8u);

  TPsdChartChoice spectrogram;
  ASSERT_TRUE(ParsePsdChartChoice("spectrogram", spectrogram).Ok());
  ASSERT_TRUE(ShowPsdStats(view, path, spectrogram).Ok());
  ASSERT_EQ(view.Series.size(), 1u);
  const TColorGrid& s = view.Series[0].Map;
  // Four ten-minute columns: the third segment's slot is blank.
  EXPECT_EQ(s.Columns, 4);
  EXPECT_EQ(s.Rows, 4);
  EXPECT_TRUE(s.LogY);
  EXPECT_NEAR(s.X1 - s.X0, 4 * 600.0 / 86400.0, 1e-9);
  for (int r = 0; r < 4; ++r) EXPECT_TRUE(std::isnan(s.At(2, r)));
  EXPECT_DOUBLE_EQ(s.At(3, 0), -119.0);
  EXPECT_TRUE(std::isnan(s.At(0, 2)));  // a level the result does not have
  EXPECT_EQ(s.FilledCells(), 11u);
}

// A hundred periods with one bin each and a single row of 5000 bins: a grid of half a million
// cells from a file of a few kilobytes.
std::string LopsidedShares() {
  std::string periods = "[", shares = "[";
  for (int j = 0; j < 100; ++j) {
    periods += (j ? "," : "") + std::to_string(std::pow(2.0, j / 8.0));
    shares += j ? ",[0.1]" : "[0.1";
    if (j == 0) {
      for (int b = 1; b < 5000; ++b) shares += ",0";
      shares += "]";
    }
  }
  return periods + "]\n" + shares + "]";
}

TEST(PsdChart, DamagedResultsAreRefusedWithoutAVastGrid) {
  const std::string lopsided = LopsidedShares();
  const std::string lopsided_periods = lopsided.substr(0, lopsided.find('\n'));
  const std::string lopsided_shares = lopsided.substr(lopsided.find('\n') + 1);
  const struct {
    const char* Name;
    std::string Periods, Shares, Starts;
    bool Spectrogram;
    TCode Code;
  } cases[] = {
      {"periods not ascending", "[0.5,2,1,4]", kShares, kStarts, false,
       TCode::kPsdResultDensityDamaged},
      {"a zero period", "[0,1,2,4]", kShares, kStarts, false, TCode::kPsdResultDensityDamaged},
      {"a start beyond any record", kPeriods, kShares, "[1715644800,1e300,1715646600]", true,
       TCode::kPsdResultStartsDamaged},
      {"a grid far larger than the file", lopsided_periods, lopsided_shares, kStarts, false,
       TCode::kPsdResultDensityDamaged},
      {"fewer rows than periods", "[0.5,1,2]", kShares, kStarts, false,
       TCode::kPsdResultDensityMismatch},
      {"a share that is text", kPeriods, "[[\"x\"],[0.2],[0.3],[0.4]]", kStarts, false,
       TCode::kPsdResultNotResult},
  };
  testing::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("r.json");
    testing::WriteText(path, Result(c.Periods, c.Shares, c.Starts));
    TPsdChartChoice choice;
    if (c.Spectrogram) {
      ASSERT_TRUE(ParsePsdChartChoice("spectrogram", choice).Ok());
    }
    TSpectrumView view;
    const TStatus refused = ShowPsdStats(view, path, choice);
    EXPECT_EQ(refused.Code, c.Code) << c.Name;
    EXPECT_EQ(refused.File, path) << c.Name;
    EXPECT_NE(Text(refused, TLanguage::kRussian).find(path), std::string::npos) << c.Name;
    EXPECT_TRUE(view.Series.empty()) << c.Name;
  }
  TSpectrumView view;
  EXPECT_EQ(ShowPsdStats(view, dir.File("absent.json"), {}).Code, TCode::kPsdResultUnreadable);
  TPsdChartChoice choice;
  for (const char* text : {"band:8-4", "band:0-4", "band:4-", "densities", ""}) {
    EXPECT_EQ(ParsePsdChartChoice(text, choice).Code, TCode::kPsdViewUnknown) << text;
  }
}

}  // namespace
}  // namespace tarvik

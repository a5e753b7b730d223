#include "viewers/hvsr_chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "hvsr_windows.h"
#include "spectral/hvsr_series.h"

namespace tarvik {
namespace {

// Two intervals of an hour from the statistics of designed windows, written as a run writes
// them: the chart reads the hours of their middles, f0 with its band and a curve per interval.
TEST(HvsrChart, ReadsWhatARunWrites) {
  const TFileRecord record = testing::HvsrTestRecord();
  std::vector<THvsrInterval> intervals(3);
  for (size_t k = 0; k < intervals.size(); ++k) {
    intervals[k].Start = record.SelectStart + static_cast<double>(k) / 24.0;
    intervals[k].Seconds = 3600.0;
  }
  intervals[0].Result = AnalyseWindows(testing::PeakedWindows({2.0, 2.1, 1.9, 2.0}, 60.0), {});
  intervals[2].Result = AnalyseWindows(testing::PeakedWindows({3.0, 3.1, 2.9}, 60.0), {});
  ASSERT_TRUE(intervals[0].Result.Ok) << intervals[0].Result.Verdict;
  THvsrSeriesChart chart;
  std::string error;
  ASSERT_TRUE(ParseHvsrSeriesJson(TimeSeriesJsonText(intervals, record, 3600.0), chart, error))
      << error;
  EXPECT_TRUE(chart.ByTime);
  ASSERT_EQ(chart.X.size(), 3u);
  // Each interval stands at its middle, an hour wide.
  EXPECT_NEAR(chart.X[2], 2.5, 1e-6);
  EXPECT_DOUBLE_EQ(chart.Width, 1.0);
  EXPECT_DOUBLE_EQ(chart.F0[0], intervals[0].Result.F0Mean);
  EXPECT_NEAR(chart.F0High[0] - chart.F0[0], intervals[0].Result.SigmaF, 1e-9);
  EXPECT_TRUE(std::isnan(chart.F0[1]));  // an interval without windows
  EXPECT_TRUE(chart.Mean[1].empty());
  EXPECT_EQ(chart.Mean[2].size(), chart.Frequency.size());
  EXPECT_GT(chart.MaxMean, 3.0);
}

TEST(HvsrChart, DamagedFilesAreRefusedWithTheReason) {
  const std::string map = R"("spectrogram": {"frequency": [1, 2], "mean": [[1, 2]]})";
  const std::string start = R"({"intervals": [{"start": "2024-01-01T00:00:00.000Z"}], )";
  struct Case {
    std::string bytes;
    std::string reason;
  };
  for (const Case& c : {
           Case{"not json", "не JSON"},
           Case{"[1, 2]", "не JSON"},
           Case{std::string(40, '[') + std::string(40, ']'), "вложенность"},
           Case{R"({"spectrogram": {}})", "нет списка"},
           Case{R"({"intervals": [{"start": 5}], )" + map + "}", "нет start"},
           Case{R"({"intervals": [{"start": "yesterday"}], )" + map + "}", "нет времени"},
           Case{start + R"("spectrogram": {"frequency": [2, 1], "mean": [[]]}})", "частоты"},
           Case{start + R"("spectrogram": {"frequency": [1, 2], "mean": []}})", "кривых"},
           Case{start + R"("spectrogram": {"frequency": [1, 2], "mean": [[1]]}})", "длина"},
           Case{start + R"("spectrogram": {"frequency": [1, 2], "mean": [[1, "x"]]}})", "не число"},
       }) {
    THvsrSeriesChart chart;
    std::string error;
    EXPECT_FALSE(ParseHvsrSeriesJson(c.bytes, chart, error)) << c.bytes;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.bytes << ": " << error;
    EXPECT_TRUE(chart.X.empty());
  }
  THvsrSeriesChart chart;
  std::string error;
  EXPECT_TRUE(ParseHvsrSeriesJson(start + map + "}", chart, error)) << error;
}

}  // namespace
}  // namespace tarvik

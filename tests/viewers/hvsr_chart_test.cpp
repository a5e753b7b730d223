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
  const TStatus parsed = ParseHvsrSeriesJson(TimeSeriesJsonText(intervals, record, 3600.0), chart);
  ASSERT_TRUE(parsed.Ok()) << Text(parsed, TLanguage::kEnglish);
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
    std::string Bytes;
    TCode Code;
    std::string Reason;  // within the Russian text
  };
  for (const Case& c : {
           Case{"not json", TCode::kNotJson, "не JSON"},
           Case{"[1, 2]", TCode::kNotJson, "не JSON"},
           Case{std::string(40, '[') + std::string(40, ']'), TCode::kJsonTooDeep, "вложенность"},
           Case{R"({"spectrogram": {}})", TCode::kHvSeriesNoList, "нет списка"},
           Case{R"({"intervals": [{"start": 5}], )" + map + "}", TCode::kIntervalWithoutKey,
                "нет start"},
           Case{R"({"intervals": [{"start": "yesterday"}], )" + map + "}", TCode::kHvSeriesNoPlace,
                "нет времени"},
           Case{start + R"("spectrogram": {"frequency": [2, 1], "mean": [[]]}})",
                TCode::kHvSeriesBadFrequencies, "частоты"},
           Case{start + R"("spectrogram": {"frequency": [1, 2], "mean": []}})",
                TCode::kHvSeriesCurveCount, "кривых"},
           Case{start + R"("spectrogram": {"frequency": [1, 2], "mean": [[1]]}})",
                TCode::kHvSeriesCurveLength, "длина"},
           Case{start + R"("spectrogram": {"frequency": [1, 2], "mean": [[1, "x"]]}})",
                TCode::kHvSeriesNotNumber, "не число"},
       }) {
    THvsrSeriesChart chart;
    const TStatus status = ParseHvsrSeriesJson(c.Bytes, chart);
    EXPECT_EQ(status.Code, c.Code) << c.Bytes << ": " << CodeName(status.Code);
    const std::string text = Text(status, TLanguage::kRussian);
    EXPECT_NE(text.find(c.Reason), std::string::npos) << c.Bytes << ": " << text;
    EXPECT_TRUE(chart.X.empty());
  }
  THvsrSeriesChart chart;
  const TStatus status = ParseHvsrSeriesJson(start + map + "}", chart);
  EXPECT_TRUE(status.Ok()) << Text(status, TLanguage::kEnglish);
}

}  // namespace
}  // namespace tarvik

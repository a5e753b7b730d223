// Statistics over stored segments and the choice of segments by local time.
#include "spectral/psd_stats.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <utility>

#include "test_files.h"

namespace tarvik {
namespace {

std::vector<const TPsdSegment*> Pointers(const std::vector<TPsdSegment>& segments) {
  std::vector<const TPsdSegment*> out;
  for (const TPsdSegment& s : segments) out.push_back(&s);
  return out;
}

// 70 % of the segments at one level and 30 % at another: every percentile is one of the two
// levels exactly, the mode is the bin of the larger share and the density holds both shares.
TEST(PsdStats, MixtureGivesExactPercentiles) {
  const std::vector<double> periods = {0.5, 1.0, 2.0};
  std::vector<TPsdSegment> segments(100);
  for (size_t i = 0; i < segments.size(); ++i) {
    // Interleaved, so that nothing depends on the order of the segments.
    const bool quiet = (i * 7) % 10 < 7;
    segments[i].Start = 1000.0 * static_cast<double>(i);
    segments[i].Grid = {quiet ? -150.3f : -120.6f, quiet ? -140.0f : -100.0f, NAN};
  }
  const std::vector<double> percentiles = {5, 10, 50, 69, 71, 90, 95};
  const TPsdStats st = ComputePsdStats(periods, Pointers(segments), percentiles);
  EXPECT_EQ(st.Segments, 100);
  const double low[] = {-150.3f, -140.0f}, high[] = {-120.6f, -100.0f};
  for (size_t j = 0; j < 2; ++j) {
    for (size_t q = 0; q < percentiles.size(); ++q) {
      EXPECT_EQ(st.PercentileValues[q][j], percentiles[q] < 70 ? low[j] : high[j])
          << percentiles[q] << " at " << periods[j];
    }
    EXPECT_EQ(st.Counts[j], 100);
    EXPECT_NEAR(st.Mean[j], 0.7 * low[j] + 0.3 * high[j], 1e-9);
    EXPECT_EQ(st.Mode[j], std::floor(low[j]) + 0.5);
    const auto bin = [&](double v) { return static_cast<size_t>(std::floor(v) - st.DbFirst); };
    EXPECT_NEAR(st.Density[j][bin(low[j])], 0.7, 1e-12);
    EXPECT_NEAR(st.Density[j][bin(high[j])], 0.3, 1e-12);
  }
  // A period without values has none of the statistics.
  EXPECT_EQ(st.Counts[2], 0);
  EXPECT_TRUE(std::isnan(st.PercentileValues[0][2]));
  EXPECT_TRUE(std::isnan(st.Mode[2]));

  // The median of an even count lies between the middle values.
  std::vector<TPsdSegment> two(2);
  two[0].Grid = {-130.0f};
  two[1].Grid = {-120.0f};
  const std::vector<double> median = {50};
  EXPECT_EQ(ComputePsdStats(std::vector<double>{1.0}, Pointers(two), median).PercentileValues[0][0],
            -125.0);
}

TEST(PsdStats, SharesAboveAndBelowTheNoiseModels) {
  const std::vector<double> periods = {1.0};
  std::vector<TPsdSegment> segments(4);
  // At 1 s the NHNM is -116.85 dB and the NLNM -166.40 dB.
  const float levels[] = {-110.0f, -120.0f, -170.0f, -168.0f};
  for (size_t i = 0; i < 4; ++i) segments[i].Grid = {levels[i]};
  const TPsdStats st = ComputePsdStats(periods, Pointers(segments), std::vector<double>{50});
  EXPECT_DOUBLE_EQ(st.AboveHigh[0], 0.25);
  EXPECT_DOUBLE_EQ(st.BelowLow[0], 0.5);
}

// The models are continuous where one piece hands over to the next: a wrong coefficient would
// show as a step.
TEST(PsdStats, NoiseModelsAreContinuous) {
  for (double t = 0.1; t < 99000; t *= 1.001) {
    for (auto model : {HighNoiseModelDb, LowNoiseModelDb}) {
      const double a = model(t), b = model(t * 1.001);
      ASSERT_TRUE(std::isfinite(a)) << t;
      EXPECT_LT(std::fabs(a - b), 0.6) << t;
    }
  }
  EXPECT_NEAR(LowNoiseModelDb(1.0), -166.4, 1e-9);
  EXPECT_NEAR(HighNoiseModelDb(1.0), -116.85, 1e-9);
  EXPECT_TRUE(std::isnan(LowNoiseModelDb(0.05)));
  EXPECT_TRUE(std::isnan(HighNoiseModelDb(200000.0)));
}

TEST(PsdSelection, ListsOfHoursDaysAndMonths) {
  struct HourCase {
    const char* Text;
    std::vector<int> In;
  };
  const HourCase hours[] = {{"22-05", {22, 23, 0, 1, 2, 3, 4}},
                            {"8-17", {8, 9, 10, 11, 12, 13, 14, 15, 16}},
                            {"7", {7}},
                            {"0-2,23-24", {0, 1, 23}}};
  for (const HourCase& c : hours) {
    std::array<bool, 24> set{};
    TStatus why;
    ASSERT_TRUE(ParseHours(c.Text, set, &why)) << c.Text << Text(why, TLanguage::kEnglish);
    for (int h = 0; h < 24; ++h) {
      EXPECT_EQ(set[h], std::find(c.In.begin(), c.In.end(), h) != c.In.end()) << c.Text << " " << h;
    }
  }
  std::array<bool, 12> months{};
  ASSERT_TRUE(ParseMonths("11-2", months, nullptr));
  EXPECT_EQ(std::count(months.begin(), months.end(), true), 4);
  EXPECT_TRUE(months[10] && months[11] && months[0] && months[1]);
  std::array<bool, 7> days{};
  ASSERT_TRUE(ParseWeekdays("1-5", days, nullptr));
  EXPECT_TRUE(days[0] && days[4] && !days[5] && !days[6]);
  TStatus why;
  EXPECT_FALSE(ParseWeekdays("0-5", days, &why));
  EXPECT_EQ(why.Code, TCode::kPsdOutsideRange);
  EXPECT_EQ(Text(why, TLanguage::kEnglish), "'0-5' is outside 1-7");
  EXPECT_FALSE(ParseMonths("6-13", months, &why));
  EXPECT_EQ(why.Code, TCode::kPsdOutsideRange);
  struct Refused {
    const char* Text;
    TCode Code;
  };
  const Refused refused[] = {{"x", TCode::kPsdNotRange},    {"25", TCode::kPsdOutsideRange},
                             {"1-", TCode::kPsdNotRange},   {"", TCode::kPsdNotRange},
                             {"3,,5", TCode::kPsdNotRange}, {"24", TCode::kPsdHour24},
                             {"1-3,24", TCode::kPsdHour24}};
  for (const Refused& c : refused) {
    std::array<bool, 24> h{};
    why = {};
    EXPECT_FALSE(ParseHours(c.Text, h, &why)) << c.Text;
    EXPECT_EQ(why.Code, c.Code) << c.Text;
  }
}

// A channel's days are read into one set of segments; a damaged day and a day of other settings
// are left out, each named by its file with its own code, and the others still count.
TEST(PsdStats, DaysThatCannotJoinTheChannelAreLeftOutByName) {
  testing::TempDir dir;
  const auto day_of = [](int64_t unix_day, double rate) {
    TPsdDay day;
    day.Channel = ".STA..LHZ";
    day.Rate = rate;
    day.SegmentSeconds = 3600.0;
    day.Overlap = 0.5;
    day.Nfft = 256;
    day.Periods = {2.0, 4.0, 8.0};
    TPsdSegment segment;
    segment.Start = unix_day * 86400.0;
    segment.Grid = {-150.0f, -140.0f, -130.0f};
    day.Segments.push_back(segment);
    return day;
  };
  TStatus error;
  for (const auto& [unix_day, rate] :
       {std::pair<int64_t, double>{19783, 1.0}, {19784, 1.0}, {19785, 2.0}, {19786, 1.0}}) {
    ASSERT_TRUE(WritePsdDay(dir.Path() / PsdDayFileName(unix_day), day_of(unix_day, rate), error));
  }
  const std::string damaged = (dir.Path() / PsdDayFileName(19784)).string();
  testing::WriteText(damaged, "TVKPSD1\n");
  const TPsdChannelData data = LoadPsdChannel(dir.Path(), std::nullopt, std::nullopt);
  EXPECT_EQ(data.Days, 2);
  EXPECT_EQ(data.Segments.size(), 2u);
  ASSERT_EQ(data.Errors.size(), 2u);
  EXPECT_EQ(data.Errors[0].Code, TCode::kPsdStoreDamagedLeftOut);
  EXPECT_EQ(data.Errors[0].File, damaged);
  EXPECT_EQ(Text(data.Errors[0], TLanguage::kEnglish),
            "damaged PSD store file, left out: " + damaged + ": too short for a PSD store header");
  EXPECT_EQ(data.Errors[1].Code, TCode::kPsdStoreOtherSettings);
  EXPECT_EQ(data.Errors[1].File, (dir.Path() / PsdDayFileName(19785)).string());
}

TEST(PsdSelection, LocalTimeOfANamedZone) {
  using namespace std::chrono;
  // 2024-01-15 (a Monday) 20:30 UTC is 23:30 in Moscow (UTC+3, no daylight saving).
  const auto unix = [](sys_seconds s) { return static_cast<double>(s.time_since_epoch().count()); };
  const double t = unix(sys_days{2024y / January / 15} + hours{20} + minutes{30});
  TPsdZone moscow, utc;
  TStatus why;
  ASSERT_TRUE(moscow.Open("Europe/Moscow", &why)) << Text(why, TLanguage::kEnglish);
  ASSERT_TRUE(utc.Open("", &why));
  TPsdSelection night;
  ASSERT_TRUE(ParseHours("22-05", night.Hours, &why));
  EXPECT_TRUE(PsdSelected(night, moscow, t));
  EXPECT_FALSE(PsdSelected(night, utc, t));
  // 03:30 UTC on Saturday is still Saturday in Moscow; in New York it is Friday night.
  const double saturday = unix(sys_days{2024y / January / 20} + hours{3} + minutes{30});
  TPsdSelection workdays;
  ASSERT_TRUE(ParseWeekdays("1-5", workdays.Weekdays, &why));
  TPsdZone new_york;
  ASSERT_TRUE(new_york.Open("America/New_York", &why));
  EXPECT_FALSE(PsdSelected(workdays, moscow, saturday));
  EXPECT_TRUE(PsdSelected(workdays, new_york, saturday));

  // Times of day are read in the zone.
  EXPECT_EQ(moscow.Parse("2024-01-15T23:30"), t);
  EXPECT_EQ(utc.Parse("2024-01-15 20:30:00"), t);
  EXPECT_EQ(utc.Parse("2024-01-15"), t - 20.5 * 3600);
  EXPECT_FALSE(utc.Parse("2024-02-30"));
  EXPECT_FALSE(utc.Parse("2024-01-15T25:00"));
  TPsdSelection span;
  span.From = t;
  span.To = t + 60;
  EXPECT_TRUE(PsdSelected(span, utc, t));
  EXPECT_FALSE(PsdSelected(span, utc, t + 60));

  TPsdZone unknown;
  EXPECT_FALSE(unknown.Open("Mars/Olympus_Mons", &why));
  EXPECT_EQ(why.Code, TCode::kPsdUnknownZone);
  ASSERT_EQ(why.Args.size(), 1u);
  EXPECT_EQ(why.Args[0].Text, "Mars/Olympus_Mons");
}

}  // namespace
}  // namespace tarvik

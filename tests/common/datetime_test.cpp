#include "common/datetime.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <cmath>

namespace tarvik {
namespace {

struct CivilCase {
  int Y, Mo, D, H, Mi, S, Ms;
  double Days;  // days since 1899-12-30, worked out by hand from the calendar
};

class CivilDates : public ::testing::TestWithParam<CivilCase> {};

TEST_P(CivilDates, EncodeAndDecodeAgree) {
  const CivilCase& c = GetParam();
  const TDateTime t = EncodeDateTime(c.Y, c.Mo, c.D, c.H, c.Mi, c.S, c.Ms);
  EXPECT_NEAR(t, c.Days, 1e-9);
  const CivilTime back = DecodeDateTime(t);
  EXPECT_EQ(back.Year, c.Y);
  EXPECT_EQ(back.Month, c.Mo);
  EXPECT_EQ(back.Day, c.D);
  EXPECT_EQ(back.Hour, c.H);
  EXPECT_EQ(back.Minute, c.Mi);
  EXPECT_EQ(back.Second, c.S);
  EXPECT_EQ(back.Millisecond, c.Ms);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, CivilDates,
    ::testing::Values(CivilCase{1899, 12, 30, 0, 0, 0, 0, 0.0},
                      CivilCase{1899, 12, 29, 0, 0, 0, 0, -1.0},
                      CivilCase{1900, 3, 1, 0, 0, 0, 0, 61.0},  // 1900 is not a leap year
                      CivilCase{1970, 1, 1, 0, 0, 0, 0, 25569.0},
                      CivilCase{2000, 2, 29, 12, 0, 0, 0, 36585.5},  // 2000 is a leap year
                      CivilCase{1989, 11, 17, 0, 0, 0, 0, 32829.0},
                      CivilCase{2016, 6, 3, 19, 55, 0, 0, 42524.0 + (19 * 60 + 55) / 1440.0},
                      CivilCase{2005, 3, 7, 12, 30, 15, 250,
                                38418.0 + (12 * 3600 + 30 * 60 + 15.25) / 86400.0}));

TEST(DateTime, DayOfYearAndUnixSeconds) {
  EXPECT_DOUBLE_EQ(EncodeDayOfYear(2008, 1), EncodeDateTime(2008, 1, 1));
  EXPECT_DOUBLE_EQ(EncodeDayOfYear(2008, 366), EncodeDateTime(2008, 12, 31));
  EXPECT_NEAR(EncodeDayOfYear(2015, 282, 22, 50, 51, 0.5),
              EncodeDateTime(2015, 10, 9, 22, 50, 51, 500), 1e-10);
  EXPECT_DOUBLE_EQ(UnixToDateTime(0.0), 25569.0);
  EXPECT_DOUBLE_EQ(UnixToDateTime(86400.0 * 2), 25571.0);
  EXPECT_NEAR(DateTimeToUnix(UnixToDateTime(1296474900.125)), 1296474900.125, 1e-5);
}

TEST(DateTime, MillisecondsRoundToNearest) {
  // 0.9996 s past midnight rounds up into the next second, not down to 999 ms.
  const CivilTime c = DecodeDateTime(EncodeDateTime(2020, 1, 1) + 0.9996 / 86400.0);
  EXPECT_EQ(c.Second, 1);
  EXPECT_EQ(c.Millisecond, 0);
  // Just before midnight carries into the next day.
  const CivilTime m = DecodeDateTime(EncodeDateTime(2020, 12, 31) + (86400.0 - 0.0002) / 86400.0);
  EXPECT_EQ(m.Year, 2021);
  EXPECT_EQ(m.Month, 1);
  EXPECT_EQ(m.Day, 1);
  EXPECT_EQ(m.Hour, 0);
}

TEST(DateTime, Formats) {
  const TDateTime t = EncodeDateTime(2005, 3, 7, 12, 30, 15, 250);
  EXPECT_EQ(FormatIso(t), "2005-03-07T12:30:15.250Z");
  EXPECT_EQ(FormatDateTime("yyyymmdd-hhnnss.zzz", t), "20050307-123015.250");
  EXPECT_EQ(FormatDateTime("yymmdd-hhnnss", t), "050307-123015");
  EXPECT_EQ(FormatDateTime("dd.MM.yyyy", t), "07.03.2005");
  EXPECT_EQ(FormatDateTime("hh:mm:ss", t), "12:30:15");
}

TEST(DateTime, ParseIso) {
  // A host that switches LC_NUMERIC to a decimal comma must not change how times read.
  const char* switched = setlocale(LC_NUMERIC, "ru_RU.UTF-8");
  const auto t = ParseIso("2016-06-03T19:55:00.500Z");
  ASSERT_TRUE(t.has_value());
  EXPECT_NEAR(*t, EncodeDateTime(2016, 6, 3, 19, 55, 0, 500), 1e-10);
  const auto u = ParseIso("2016-06-03 19:55:07.25");
  ASSERT_TRUE(u.has_value());
  EXPECT_NEAR(*u, EncodeDateTime(2016, 6, 3, 19, 55, 7, 250), 1e-10);
  EXPECT_TRUE(ParseIso("2016-06-03 19:55:00").has_value());
  for (const char* bad : {"2016-13-03T19:55:00", "yesterday", "2016-06-03T19:55:00 junk",
                          "2016-06-03T19:55:00,5", "2016-06-03T19:55", "2016-06-03T19:55:"}) {
    EXPECT_FALSE(ParseIso(bad).has_value()) << bad;
  }
  if (switched != nullptr) setlocale(LC_NUMERIC, "C");
}

TEST(DateTime, SampleCountsRoundHalfToEven) {
  // 2.5 and 3.5 samples: ties go to the even count.
  EXPECT_EQ(SamplesInSpan(2.5 / 86400.0, 1.0), 2);
  EXPECT_EQ(SamplesInSpan(3.5 / 86400.0, 1.0), 4);
  EXPECT_EQ(SamplesInSpan(1.0, 100.0), 8640000);
  EXPECT_EQ(SamplesInSpan(-0.5 / 86400.0, 1.0), 0);
}

TEST(DateTime, DecodingNonsenseGivesTheEpoch) {
  EXPECT_EQ(DecodeDateTime(std::nan("")).Year, 1899);
  EXPECT_EQ(DecodeDateTime(1e300).Year, 1899);
}

}  // namespace
}  // namespace tarvik

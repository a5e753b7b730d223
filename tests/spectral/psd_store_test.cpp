// The store file: what is written reads back, and damaged bytes are refused, never trusted.
#include "spectral/psd_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "test_files.h"

namespace tarvik {
namespace {

TPsdDay SampleDay() {
  TPsdDay day;
  day.Channel = "XX.STA.00.HHZ";
  day.Response = "channel /r/sensor.paz; ADC 419430.4";
  day.Rate = 1.0;
  day.SegmentSeconds = 64.0;
  day.Overlap = 0.5;
  day.Nfft = 16;
  day.Periods = {2.0, 2.2, 2.4};
  day.Skipped = 2;
  for (int s = 0; s < 3; ++s) {
    TPsdSegment seg;
    seg.Start = 1.7e9 + 32.0 * s;
    seg.Fingerprint = 0x0123456789abcdefULL + s;
    seg.Grid = {-140.5f + s, NAN, -150.25f};
    for (int k = 0; k < day.Lines(); ++k) seg.Full.push_back(k == 0 ? NAN : -100.0f - k - s);
    day.Segments.push_back(seg);
  }
  return day;
}

void ExpectSameValues(const std::vector<float>& a, const std::vector<float>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(std::memcmp(&a[i], &b[i], sizeof(float)), 0) << i;
  }
}

TEST(PsdStore, WrittenDayReadsBack) {
  testing::TempDir dir;
  const TPsdDay day = SampleDay();
  const std::filesystem::path path = dir.Path() / "A" / "2023-317.psd";
  std::string error;
  ASSERT_TRUE(WritePsdDay(path, day, error)) << error;
  for (const bool with_full : {true, false}) {
    TPsdDay back;
    ASSERT_TRUE(ReadPsdDay(path, back, &error, with_full)) << error;
    EXPECT_EQ(back.Channel, day.Channel);
    EXPECT_EQ(back.Response, day.Response);
    EXPECT_TRUE(back.SameSettings(day));
    EXPECT_EQ(back.Skipped, 2);
    ASSERT_EQ(back.Segments.size(), 3u);
    for (size_t s = 0; s < 3; ++s) {
      EXPECT_EQ(back.Segments[s].Start, day.Segments[s].Start);
      EXPECT_EQ(back.Segments[s].Fingerprint, day.Segments[s].Fingerprint);
      ExpectSameValues(back.Segments[s].Grid, day.Segments[s].Grid);
      if (with_full) {
        ExpectSameValues(back.Segments[s].Full, day.Segments[s].Full);
      } else {
        EXPECT_TRUE(back.Segments[s].Full.empty());
      }
    }
  }
}

TEST(PsdStore, DamagedBytesAreRefusedWithTheReason) {
  const std::string good = EncodePsdDay(SampleDay());
  TPsdDay day;
  std::string why;
  // Every shortened file.
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(DecodePsdDay(std::string_view(good).substr(0, n), day, &why)) << n;
    EXPECT_FALSE(why.empty());
  }
  EXPECT_FALSE(DecodePsdDay(good + "x", day, &why));

  struct Damage {
    size_t Offset;
    uint32_t Value;
    const char* Reason;
  };
  const Damage damages[] = {
      {0, 0x58585858, "not a PSD store"}, {8, 7, "version"},
      {12, 0xFFFFFFFF, "ends inside"},  // grid points
      {16, 0x7FFFFFFF, "line count"},   // lines against Nfft
      {20, 0x10000000, "size"},         // segments
      {28, 0xFFFFFF, "out of range"},   // channel text
      {36, 24, "window length"},        // not a power of two
  };
  for (const Damage& d : damages) {
    std::string bad = good;
    for (int i = 0; i < 4; ++i) bad[d.Offset + i] = static_cast<char>((d.Value >> (8 * i)) & 0xFF);
    EXPECT_FALSE(DecodePsdDay(bad, day, &why)) << d.Offset;
    EXPECT_NE(why.find(d.Reason), std::string::npos) << d.Offset << ": " << why;
  }
  // Segments out of order, a period that is not positive.
  std::string swapped = good;
  const size_t first_segment = 64 + SampleDay().Channel.size() + SampleDay().Response.size() + 24;
  std::memset(&swapped[first_segment], 0x7F, 8);
  EXPECT_FALSE(DecodePsdDay(swapped, day, &why));
  EXPECT_NE(why.find("ascending"), std::string::npos) << why;

  testing::TempDir dir;
  testing::WriteText(dir.File("2024-001.psd"), "TVKPSD1\ngarbage");
  EXPECT_FALSE(ReadPsdDay(dir.File("2024-001.psd"), day, &why));
  EXPECT_NE(why.find("2024-001.psd"), std::string::npos) << why;
}

TEST(PsdStore, NamesOfFoldersAndDays) {
  EXPECT_EQ(PsdChannelFolder("XX.STA.00.HHZ"), "XX.STA.00.HHZ");
  EXPECT_EQ(PsdChannelFolder(".A/B..C:D"), ".A_B..C_D");
  EXPECT_EQ(PsdChannelFolder(".."), "_..");

  struct DayCase {
    int64_t Day;
    const char* Name;
  };
  const DayCase days[] = {{0, "1970-001.psd"},
                          {19722, "2023-365.psd"},
                          {19723, "2024-001.psd"},
                          {19723 + 365, "2024-366.psd"},
                          {19723 + 366, "2025-001.psd"}};
  for (const DayCase& c : days) {
    EXPECT_EQ(PsdDayFileName(c.Day), c.Name);
    int64_t back = -1;
    EXPECT_TRUE(ParsePsdDayFileName(c.Name, back));
    EXPECT_EQ(back, c.Day);
  }
  int64_t d = 0;
  for (const char* bad :
       {"2023-366.psd", "2024-000.psd", "2024-01.psd", "2024-001.txt", "x024-001.psd"}) {
    EXPECT_FALSE(ParsePsdDayFileName(bad, d)) << bad;
  }
}

}  // namespace
}  // namespace tarvik

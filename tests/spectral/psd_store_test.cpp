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
  TStatus error;
  ASSERT_TRUE(WritePsdDay(path, day, error)) << Text(error, TLanguage::kEnglish);
  for (const bool with_full : {true, false}) {
    TPsdDay back;
    ASSERT_TRUE(ReadPsdDay(path, back, &error, with_full)) << Text(error, TLanguage::kEnglish);
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
  TStatus why;
  // Every shortened file.
  for (size_t n = 0; n < good.size(); ++n) {
    why = {};
    EXPECT_FALSE(DecodePsdDay(std::string_view(good).substr(0, n), day, &why)) << n;
    EXPECT_FALSE(why.Ok()) << n;
    EXPECT_LE(why.Offset, static_cast<int64_t>(n)) << n;
  }
  EXPECT_FALSE(DecodePsdDay(good + "x", day, &why));
  EXPECT_EQ(why.Code, TCode::kPsdStoreSize);

  struct Damage {
    size_t Offset;
    uint32_t Value;
    TCode Code;
    int64_t At;  // the byte the reason names, -1 for none
  };
  const Damage damages[] = {
      {0, 0x58585858, TCode::kPsdStoreNotPsd, -1},
      {8, 7, TCode::kPsdStoreVersion, -1},
      {12, 0xFFFFFFFF, TCode::kPsdStoreEndsInHeader, 64},  // grid points
      {16, 0x7FFFFFFF, TCode::kPsdStoreWindowLines, 16},   // lines against Nfft
      {20, 0x10000000, TCode::kPsdStoreSize, -1},          // segments
      {28, 0xFFFFFF, TCode::kPsdStoreCount, 24},           // channel text
      {36, 24, TCode::kPsdStoreWindowLines, 16},           // not a power of two
      {40, 0, TCode::kPsdStoreSettings, 40},               // the rate's low word, then 0 Hz
  };
  for (const Damage& d : damages) {
    std::string bad = good;
    for (int i = 0; i < 4; ++i) bad[d.Offset + i] = static_cast<char>((d.Value >> (8 * i)) & 0xFF);
    if (d.Code == TCode::kPsdStoreSettings) std::memset(&bad[40], 0, 8);
    why = {};
    EXPECT_FALSE(DecodePsdDay(bad, day, &why)) << d.Offset;
    EXPECT_EQ(why.Code, d.Code) << d.Offset << ": " << Text(why, TLanguage::kEnglish);
    EXPECT_EQ(why.Offset, d.At) << d.Offset;
  }
  // Segments out of order, a period that is not positive.
  std::string swapped = good;
  const size_t first_segment = 64 + SampleDay().Channel.size() + SampleDay().Response.size() + 24;
  std::memset(&swapped[first_segment], 0x7F, 8);
  EXPECT_FALSE(DecodePsdDay(swapped, day, &why));
  EXPECT_EQ(why.Code, TCode::kPsdStoreStarts);
  // The second segment's start is the first not above the one before it.
  EXPECT_GT(why.Offset, static_cast<int64_t>(first_segment));
  EXPECT_EQ(Text(why, TLanguage::kEnglish),
            "segment starts are not ascending (byte " + std::to_string(why.Offset) + ")");

  // From a file the reason is put under its path, which File holds too.
  testing::TempDir dir;
  const std::string path = dir.File("2024-001.psd");
  testing::WriteText(path, "TVKPSD1\ngarbage");
  EXPECT_FALSE(ReadPsdDay(path, day, &why));
  EXPECT_EQ(why.Code, TCode::kPsdAt);
  EXPECT_EQ(why.File, path);
  EXPECT_EQ(Text(why, TLanguage::kEnglish), path + ": too short for a PSD store header");
  EXPECT_FALSE(ReadPsdDay(dir.File("none.psd"), day, &why));
  EXPECT_EQ(why.File, dir.File("none.psd"));
  EXPECT_EQ(Text(why, TLanguage::kEnglish), dir.File("none.psd") + ": cannot be read");
  // A day that cannot be written says why and leaves nothing behind.
  testing::WriteText(dir.File("blocker"), "x");
  EXPECT_FALSE(WritePsdDay(dir.Path() / "blocker" / "2024-001.psd", SampleDay(), why));
  EXPECT_FALSE(why.Ok());
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

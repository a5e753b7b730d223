#include "records/iss_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

constexpr double kT0 = 1296474900.0;  // the file time, Unix seconds

struct Trigger {
  double Time = kT0;  // Unix seconds
  long Position = 0;  // TriggerPosition
  long Duration = 4;
  std::array<int, 3> Enabled{1, 1, 1};
  int Site = 1;
  double DcY = 0.0;  // metres
  double Rate = 100.0;
  bool Table = true;
  std::vector<std::array<double, 3>> Rows;  // nanometres
};

// A trigger file as the recorder writes it: file keys, then per trigger its keys and table.
std::string WriteIss(TempDir& tmp, const std::vector<Trigger>& triggers,
                     const char* sites = "1 2 0 0 0") {
  char buf[640];
  std::snprintf(buf, sizeof buf, "t_time.tv_sec = %.0f;\r\nt_time.tv_usec = 0;\r\n", kT0);
  std::string s = buf + ("no_of_triggers = " + std::to_string(triggers.size()) + "; count\r\n");
  int site[5];
  std::sscanf(sites, "%d %d %d %d %d", &site[0], &site[1], &site[2], &site[3], &site[4]);
  for (int i = 0; i < 5; ++i)
    s += "site_ids[" + std::to_string(i) + "]=" + std::to_string(site[i]) + "\n";
  for (const Trigger& t : triggers) {
    std::snprintf(buf, sizeof buf,
                  "t_time.tv_sec = %.0f;\r\nt_time.tv_usec = %ld;\r\nTriggerPosition = %ld\r\n"
                  "duration = %ld\r\nNoPoints = %zu\r\nX_enabled = %d\r\nY_enabled = %d\r\n"
                  "Z_enabled = %d\r\nsite_id = %d\r\nDCoffset[0] = 0\r\nDCoffset[1] = %g\r\n"
                  "DCoffset[2] = 0\r\ndecimated_sampling_rate = %g\r\n",
                  std::floor(t.Time), std::lround((t.Time - std::floor(t.Time)) * 1e6), t.Position,
                  t.Duration, t.Rows.size() + 5, t.Enabled[0], t.Enabled[1], t.Enabled[2], t.Site,
                  t.DcY, t.Rate);
    s += buf;
    if (t.Table) s += "\fIntegrated displacement, m\r\n  Time   X   Y   Z\r\n\r\n";
    for (size_t i = 0; t.Table && i < t.Rows.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%10.4f %.12e %.12e %.12e\r\n", i / t.Rate,
                    t.Rows[i][0] * 1e-9, t.Rows[i][1] * 1e-9, t.Rows[i][2] * 1e-9);
      s += buf;
    }
  }
  testing::WriteText(tmp.File("x.iss_dat"), s);
  return tmp.File("x.iss_dat");
}

TEST(IssHeader, StationTimesRateAndChannelPlaces) {
  TempDir tmp;
  Trigger a;  // 100 Hz, trigger at t0 + 10 s, 100 samples before, 200 after: t0 + 9 .. t0 + 12
  a.Time = kT0 + 10;
  a.Position = 100;
  a.Duration = 200;
  a.Site = 7;
  Trigger b;  // 50 Hz, from t0 + 4.5 s to t0 + 7.5 s
  b.Time = kT0 + 5.5;
  b.Position = 50;
  b.Duration = 100;
  b.Rate = 50.0;
  b.Site = 12;
  b.Enabled = {1, 0, 1};
  TFileRecordInfo info;
  ASSERT_TRUE(ReadIssHeader(WriteIss(tmp, {a, b}, "7 0 12 3 0"), info, 0.0));
  EXPECT_EQ(info.Station, "12_3_7");
  EXPECT_DOUBLE_EQ(info.Start, UnixToDateTime(kT0));  // the file time is the earliest
  EXPECT_EQ(info.SampRate, 100.0);
  EXPECT_EQ(info.SampleCount, 1200);
  ASSERT_EQ(info.ChannelCount, 6);
  const std::array<std::string, 6> names = {"EX07", "NY07", "ZZ07", "EX12", "", "ZZ12"};
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(info.ChannelNames[i], names[i]) << i;

  a.Position = 1500;  // now starts 5 s before the file time
  ASSERT_TRUE(ReadIssHeader(WriteIss(tmp, {a}), info, 0.0));
  EXPECT_DOUBLE_EQ(info.Start, UnixToDateTime(kT0 - 5));
  EXPECT_EQ(info.SampleCount, 1700);
  testing::WriteText(tmp.File("notes.txt"), "just = some text\n");
  EXPECT_FALSE(ReadIssHeader(tmp.File("notes.txt"), info, 0.0));
}

// Reads the file into a matrix of length samples per channel as the record's file at position.
TData32 Load(const std::string& path, double record_rate, int64_t length, int64_t position = 0) {
  LoadTarget t;
  EXPECT_TRUE(ReadIssHeader(path, t.First, 0.0));
  if (record_rate > 0.0) t.First.SampRate = record_rate;
  t.RecordStart = UnixToDateTime(kT0);
  TData32 data(static_cast<size_t>(t.First.ChannelCount),
               std::vector<int32_t>(static_cast<size_t>(length), 0));
  t.Data = &data;
  t.Position = position;
  ReadIssInto(path, t);
  return data;
}

std::vector<int32_t> Slice(const std::vector<int32_t>& v, size_t from, size_t n) {
  return {v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(from + n)};
}

TEST(IssRead, TriggerAtHalfTheRecordRateIsResampledToTwiceTheRows) {
  TempDir tmp;
  Trigger fast;  // 100 Hz at t0 + 1 s: the record's rate
  fast.Time = kT0 + 1;
  fast.Rows = {{1, -1, 5}, {2, -2, 5}, {3, -3, 5}, {4, -4, 5}};
  Trigger slow;  // 50 Hz at t0 + 0.5 s, Y raised by one nanometre
  slow.Time = kT0 + 0.5;
  slow.Rate = 50.0;
  slow.Site = 2;
  slow.DcY = 1e-9;
  slow.Rows = {{0, 0, 100}, {10, 10, 90}, {20, 30, 80}, {30, 30, 70}};
  const TData32 data = Load(WriteIss(tmp, {fast, slow}), 0.0, 104);
  ASSERT_EQ(data.size(), 6u);
  EXPECT_EQ(Slice(data[0], 99, 5), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(Slice(data[1], 100, 4), (std::vector<int32_t>{-1, -2, -3, -4}));
  // Sample g taken at g / 2 between its two rows; past the last row the last pair's slope goes on.
  EXPECT_EQ(Slice(data[3], 49, 10), (std::vector<int32_t>{0, 0, 5, 10, 15, 20, 25, 30, 35, 0}));
  EXPECT_EQ(Slice(data[4], 50, 8), (std::vector<int32_t>{1, 6, 11, 21, 31, 31, 31, 31}));
  EXPECT_EQ(Slice(data[5], 50, 8), (std::vector<int32_t>{100, 95, 90, 85, 80, 75, 70, 65}));
}

TEST(IssRead, FasterTriggerShortTableSingleRowLaterFile) {
  TempDir tmp;
  Trigger t;  // 100 Hz in a 50 Hz record, 0.2 s after the file time: unchanged from sample 10
  t.Time = kT0 + 0.2;
  t.Rows = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
  TData32 data = Load(WriteIss(tmp, {t}), 50.0, 16);
  EXPECT_EQ(Slice(data[0], 9, 6), (std::vector<int32_t>{0, 1, 4, 7, 10, 0}));

  t.Time = kT0 + 0.02;  // two samples before the trigger, four after, three rows
  t.Position = 2;
  t.Rows = {{1, 1, 1}, {2, 2, 2}, {3, 3, 9}};
  data = Load(WriteIss(tmp, {t}), 0.0, 8);
  EXPECT_EQ(data[0], (std::vector<int32_t>{1, 2, 3, 3, 3, 3, 0, 0}));
  EXPECT_EQ(data[2], (std::vector<int32_t>{1, 2, 9, 9, 9, 9, 0, 0}));

  Trigger single;  // one row at a quarter of the record's rate: nothing to interpolate
  single.Rate = 25.0;
  single.Duration = 1;
  single.Rows = {{7, 8, 9}};
  data = Load(WriteIss(tmp, {single}), 100.0, 6);
  EXPECT_EQ(data[0], (std::vector<int32_t>{7, 7, 7, 7, 0, 0}));

  single.Rate = 100.0;  // a later file of the record writes at the position, not at its time
  single.Time = kT0 + 3;
  data = Load(WriteIss(tmp, {single}), 100.0, 6, 4);
  EXPECT_EQ(data[0], (std::vector<int32_t>{0, 0, 0, 0, 7, 0}));

  single.Table = false;  // no table: nothing written, nothing padded
  data = Load(WriteIss(tmp, {single}), 100.0, 6);
  EXPECT_EQ(data[0], std::vector<int32_t>(6, 0));
}

TEST(IssRead, TriggersOutsideTheMatrixAreClipped) {
  TempDir tmp;
  Trigger before;  // starts two samples before the record
  before.Time = kT0 - 0.02;
  before.Rows = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}};
  Trigger after = before;  // two samples before the matrix ends, resampled by 8, padded far
  after.Time = kT0 + 0.03;
  after.Duration = 2000000000;
  after.Site = 2;
  after.Rate = 12.5;
  const TData32 data = Load(WriteIss(tmp, {before, after}), 100.0, 5);
  EXPECT_EQ(data[0], (std::vector<int32_t>{3, 4, 0, 0, 0}));
  EXPECT_EQ(data[3], (std::vector<int32_t>{0, 0, 0, 1, 1}));
}

TEST(IssRead, ElevenTriggersKeepTheFirst32ChannelPlaces) {
  TempDir tmp;
  std::vector<Trigger> triggers(11);
  for (size_t i = 0; i < triggers.size(); ++i) {
    triggers[i].Site = static_cast<int>(i + 1);
    triggers[i].Rows = {{1, 2, 3}};
  }
  const std::string path = WriteIss(tmp, triggers);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadIssHeader(path, info, 0.0));
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[31], "NY11");
  const TData32 data = Load(path, 0.0, 2);  // the eleventh trigger's Z has no channel
  EXPECT_EQ(data[30][0], 1);
  EXPECT_EQ(data[31][0], 2);
}

}  // namespace
}  // namespace tarvik

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
  double time = kT0;  // Unix seconds, written as whole seconds and microseconds
  long position = 0;  // TriggerPosition
  long duration = 0;
  std::array<bool, 3> enabled{true, true, true};
  int site = 1;
  std::array<double, 3> dc{};
  double rate = 100.0;
  bool table = true;
  long points = -1;                         // -1: the number of rows
  std::vector<std::array<double, 3>> rows;  // nanometres
};

// A trigger file as the recorder writes it: file keys, then per trigger its keys and table.
std::string IssText(const std::vector<Trigger>& triggers,
                    std::array<std::string, 5> sites = {"1", "2", "0", "0", "0"}) {
  std::string s;
  char buf[640];
  std::snprintf(buf, sizeof buf, "t_time.tv_sec = %.0f;\r\nt_time.tv_usec = 0;\r\n", kT0);
  s += buf;
  s += "no_of_triggers = " + std::to_string(triggers.size()) + "; count\r\n";
  for (int i = 0; i < 5; ++i) s += "site_ids[" + std::to_string(i) + "] = " + sites[i] + "\r\n";
  for (const Trigger& t : triggers) {
    std::snprintf(buf, sizeof buf,
                  "t_time.tv_sec = %.0f;\r\nt_time.tv_usec = %ld;\r\nTriggerPosition = %ld\r\n"
                  "duration = %ld\r\nNoPoints = %ld\r\nX_enabled = %d\r\nY_enabled = %d\r\n"
                  "Z_enabled = %d\r\nsite_id = %d\r\nDCoffset[0] = %g\r\nDCoffset[1] = %g\r\n"
                  "DCoffset[2] = %g\r\ndecimated_sampling_rate = %g\r\n",
                  std::floor(t.time), std::lround((t.time - std::floor(t.time)) * 1e6), t.position,
                  t.duration, t.points < 0 ? static_cast<long>(t.rows.size()) : t.points,
                  t.enabled[0], t.enabled[1], t.enabled[2], t.site, t.dc[0], t.dc[1], t.dc[2],
                  t.rate);
    s += buf;
    if (!t.table) continue;
    s += "\fIntegrated displacement, m\r\n      Time          X          Y          Z\r\n\r\n";
    for (size_t i = 0; i < t.rows.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%10.4f %.12e %.12e %.12e\r\n", i / t.rate,
                    t.rows[i][0] * 1e-9, t.rows[i][1] * 1e-9, t.rows[i][2] * 1e-9);
      s += buf;
    }
  }
  return s;
}

std::string WriteIss(TempDir& tmp, const std::vector<Trigger>& triggers) {
  const std::string path = tmp.File("event.iss_dat");
  testing::WriteText(path, IssText(triggers));
  return path;
}

TEST(IssKeyReader, SearchesForwardAndYieldsZeroPastTheEnd) {
  TIssKeyReader r("a = 1\r\nb=two ; note\nc = 3\nb = 4\n");
  EXPECT_EQ(r.Value("b"), "two");
  EXPECT_EQ(r.Value("b"), "4");
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(r.Value("a"), "0");  // behind the reader now
  EXPECT_FALSE(r.Find("c"));

  TIssKeyReader t("x = 1\nrow\n\fIntegrated\nh1\nh2\n  0.0000 1 2 3\n");
  EXPECT_TRUE(t.SkipToTable());
  EXPECT_EQ(*t.NextLine(), "h1");
}

TEST(IssHeader, StationTimesRateAndChannelPlaces) {
  TempDir tmp;
  Trigger a;  // 100 Hz, trigger at t0 + 10 s, 100 samples before, 200 after: t0 + 9 .. t0 + 12
  a.time = kT0 + 10;
  a.position = 100;
  a.duration = 200;
  a.site = 7;
  a.rows = {{1, 2, 3}};
  Trigger b;  // 50 Hz, trigger at t0 + 5.5 s, 50 samples before, 100 after: t0 + 4.5 .. t0 + 7.5
  b.time = kT0 + 5.5;
  b.position = 50;
  b.duration = 100;
  b.rate = 50.0;
  b.site = 12;
  b.enabled = {true, false, true};
  b.rows = {{1, 2, 3}};
  const std::string path = tmp.File("x.iss_dat");
  testing::WriteText(path, IssText({a, b}, {"7", "0", "12", "3", "0"}));

  TFileRecordInfo info;
  ASSERT_TRUE(ReadIssHeader(path, info, 0.0));
  EXPECT_EQ(info.Station, "12_3_7");
  EXPECT_DOUBLE_EQ(info.Start, UnixToDateTime(kT0));  // the file time is the earliest
  EXPECT_EQ(info.SampRate, 100.0);
  EXPECT_EQ(info.SampleCount, 1200);
  EXPECT_EQ(info.BlockSamples, 1200);
  ASSERT_EQ(info.ChannelCount, 6);
  const std::array<std::string, 6> names = {"EX07", "NY07", "ZZ07", "EX12", "", "ZZ12"};
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(info.ChannelNames[i], names[i]) << i;
}

TEST(IssHeader, TriggerBeforeTheFileTimeSetsTheStart) {
  TempDir tmp;
  Trigger a;
  a.position = 250;  // 2.5 s before the trigger at t0
  a.duration = 50;
  a.rows = {{0, 0, 0}};
  TFileRecordInfo info;
  ASSERT_TRUE(ReadIssHeader(WriteIss(tmp, {a}), info, 0.0));
  EXPECT_DOUBLE_EQ(info.Start, UnixToDateTime(kT0 - 2.5));
  EXPECT_EQ(info.SampleCount, 300);
}

TEST(IssHeader, ElevenTriggersKeepTheFirst32ChannelPlaces) {
  TempDir tmp;
  std::vector<Trigger> triggers(11);
  for (size_t i = 0; i < triggers.size(); ++i) {
    triggers[i].site = static_cast<int>(i + 1);
    triggers[i].rows = {{1, 1, 1}};
    triggers[i].duration = 1;
  }
  const std::string path = WriteIss(tmp, triggers);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadIssHeader(path, info, 0.0));
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[30], "EX11");
  EXPECT_EQ(info.ChannelNames[31], "NY11");

  TData32 data(32, std::vector<int32_t>(2, 0));
  LoadTarget t;
  t.first = info;
  t.data = &data;
  t.record_start = info.Start;
  ReadIssInto(path, t);  // the eleventh trigger's Z has no channel: it is dropped
  EXPECT_EQ(data[30][0], 1);
  EXPECT_EQ(data[31][0], 1);
}

TEST(IssHeader, NotATriggerFile) {
  TempDir tmp;
  testing::WriteText(tmp.File("notes.txt"), "just some text\nwith = signs\n");
  TFileRecordInfo info;
  EXPECT_FALSE(ReadIssHeader(tmp.File("notes.txt"), info, 0.0));
  testing::WriteText(tmp.File("bad.txt"), "t_time.tv_sec = soon\n");
  EXPECT_FALSE(ReadIssHeader(tmp.File("bad.txt"), info, 0.0));
}

// The matrix of a record whose first file is path, read as the loader does.
struct Loaded {
  TData32 data;
  LoadTarget target;
};

void Load(const std::string& path, Loaded& l, double record_rate = 0.0, int64_t length = -1,
          int64_t position = 0) {
  ASSERT_TRUE(ReadIssHeader(path, l.target.first, 0.0));
  if (record_rate > 0.0) l.target.first.SampRate = record_rate;
  l.target.record_start = l.target.first.Start;
  if (length < 0) length = l.target.first.SampleCount;
  l.data.assign(static_cast<size_t>(l.target.first.ChannelCount),
                std::vector<int32_t>(static_cast<size_t>(length), 0));
  l.target.data = &l.data;
  l.target.position = position;
  ReadIssInto(path, l.target);
}

std::vector<int32_t> Slice(const std::vector<int32_t>& v, size_t from, size_t n) {
  return std::vector<int32_t>(v.begin() + static_cast<long>(from),
                              v.begin() + static_cast<long>(from + n));
}

TEST(IssRead, TriggerAtHalfTheRecordRateIsResampledToTwiceTheRows) {
  TempDir tmp;
  Trigger fast;  // sets the record's rate: 100 Hz, at t0 + 1 s
  fast.time = kT0 + 1;
  fast.duration = 4;
  fast.site = 1;
  fast.rows = {{1, -1, 5}, {2, -2, 5}, {3, -3, 5}, {4, -4, 5}};
  Trigger slow;  // 50 Hz, at t0 + 0.5 s
  slow.time = kT0 + 0.5;
  slow.duration = 4;
  slow.rate = 50.0;
  slow.site = 2;
  slow.dc = {0.0, 1e-9, 0.0};  // one nanometre added to Y
  slow.rows = {{0, 0, 100}, {10, 10, 90}, {20, 30, 80}, {30, 30, 70}};
  Loaded l;
  Load(WriteIss(tmp, {fast, slow}), l);
  ASSERT_EQ(l.data.size(), 6u);
  ASSERT_EQ(l.data[0].size(), 104u);
  EXPECT_EQ(Slice(l.data[0], 100, 4), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(Slice(l.data[1], 100, 4), (std::vector<int32_t>{-1, -2, -3, -4}));
  EXPECT_EQ(l.data[0][99], 0);
  // Linear interpolation at g / 2; the last two samples continue the last pair's slope.
  EXPECT_EQ(Slice(l.data[3], 50, 8), (std::vector<int32_t>{0, 5, 10, 15, 20, 25, 30, 35}));
  EXPECT_EQ(Slice(l.data[4], 50, 8), (std::vector<int32_t>{1, 6, 11, 21, 31, 31, 31, 31}));
  EXPECT_EQ(Slice(l.data[5], 50, 8), (std::vector<int32_t>{100, 95, 90, 85, 80, 75, 70, 65}));
  EXPECT_EQ(l.data[3][49], 0);
  EXPECT_EQ(l.data[3][58], 0);
  EXPECT_EQ(l.target.position, 104);
}

TEST(IssRead, TriggerAtTwiceTheRecordRateIsWrittenUnchanged) {
  TempDir tmp;
  Trigger t;  // 100 Hz in a 50 Hz record, 0.2 s after the file time
  t.time = kT0 + 0.2;
  t.duration = 4;
  t.rows = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
  Loaded l;
  Load(WriteIss(tmp, {t}), l, 50.0, 20);
  EXPECT_EQ(Slice(l.data[0], 10, 5), (std::vector<int32_t>{1, 4, 7, 10, 0}));
  EXPECT_EQ(Slice(l.data[2], 10, 5), (std::vector<int32_t>{3, 6, 9, 12, 0}));
}

TEST(IssRead, ShortTableIsPaddedWithItsLastRow) {
  TempDir tmp;
  Trigger t;
  t.position = 2;
  t.duration = 4;  // six samples expected, three rows present
  t.time = kT0 + 0.02;
  t.rows = {{1, 1, 1}, {2, 2, 2}, {3, 3, 9}};
  t.points = 10;  // more than the table holds
  Loaded l;
  Load(WriteIss(tmp, {t}), l, 0.0, 8);
  EXPECT_EQ(l.data[0], (std::vector<int32_t>{1, 2, 3, 3, 3, 3, 0, 0}));
  EXPECT_EQ(l.data[2], (std::vector<int32_t>{1, 2, 9, 9, 9, 9, 0, 0}));
}

TEST(IssRead, SingleRowAtALowerRateIsRepeated) {
  TempDir tmp;
  Trigger t;
  t.rate = 25.0;
  t.duration = 1;
  t.rows = {{7, 8, 9}};
  Loaded l;
  Load(WriteIss(tmp, {t}), l, 100.0, 6);
  EXPECT_EQ(l.data[0], (std::vector<int32_t>{7, 7, 7, 7, 0, 0}));
}

TEST(IssRead, NoTableWritesNothing) {
  TempDir tmp;
  Trigger t;
  t.duration = 5;
  t.table = false;
  Loaded l;
  Load(WriteIss(tmp, {t}), l, 0.0, 5);
  EXPECT_EQ(l.data[0], std::vector<int32_t>(5, 0));
  EXPECT_EQ(l.target.position, 5);
}

TEST(IssRead, LaterFileWritesAtTheSequentialPosition) {
  TempDir tmp;
  Trigger t;
  t.time = kT0 + 3;  // would be 300 samples in on the first file
  t.duration = 2;
  t.rows = {{1, 1, 1}, {2, 2, 2}};
  Loaded l;
  Load(WriteIss(tmp, {t}), l, 0.0, 10, 6);
  EXPECT_EQ(l.data[0], (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 1, 2, 0, 0}));
}

TEST(IssRead, TriggersOutsideTheMatrixAreClipped) {
  TempDir tmp;
  Trigger before;  // starts 2 samples before the record
  before.time = kT0 - 0.02;
  before.duration = 4;
  before.site = 1;
  before.rows = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}};
  Trigger after = before;  // starts 2 samples before the matrix ends, with a huge padding
  after.time = kT0 + 0.03;
  after.duration = 2000000000;
  after.site = 2;
  after.rate = 12.5;  // resampled by 8 in the 100 Hz record
  Loaded l;
  testing::WriteText(tmp.File("x.iss_dat"), IssText({before, after}));
  ASSERT_TRUE(ReadIssHeader(tmp.File("x.iss_dat"), l.target.first, 0.0));
  l.target.first.SampRate = 100.0;
  l.target.record_start = UnixToDateTime(kT0);
  l.data.assign(6, std::vector<int32_t>(5, 0));
  l.target.data = &l.data;
  ReadIssInto(tmp.File("x.iss_dat"), l.target);
  EXPECT_EQ(l.data[0], (std::vector<int32_t>{3, 4, 0, 0, 0}));
  EXPECT_EQ(l.data[3], (std::vector<int32_t>{0, 0, 0, 1, 1}));  // 1 + round(1/8 * 1)
}

}  // namespace
}  // namespace tarvik

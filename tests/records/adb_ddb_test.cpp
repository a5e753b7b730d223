#include "records/adb_ddb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/datetime.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

struct Fields {
  int16_t device = 501, number1 = 3, number2 = 256;
  int16_t year = 2012, month = 7, day = 14, hour = 9, minute = 41, second = 5, ms = 250;
  int16_t rate_code = 100;
  int16_t channels = 3;
  int32_t count = 4;
};

std::vector<uint8_t> Header(const Fields& f, size_t size) {
  std::vector<uint8_t> b(size, 0xAA);  // unused bytes filled, so nothing reads them as zeros
  auto put16 = [&](size_t at, int16_t v) { StoreU16LE(&b[at], static_cast<uint16_t>(v)); };
  put16(36, f.device);
  put16(38, f.number1);
  put16(40, f.number2);
  put16(44, f.year);
  put16(46, f.month);
  put16(48, f.day);
  put16(50, f.hour);
  put16(52, f.minute);
  put16(54, f.second);
  put16(56, f.ms);
  put16(58, f.rate_code);
  put16(64, f.channels);
  StoreU32LE(&b[66], static_cast<uint32_t>(f.count));
  return b;
}

// ADB: 256-byte header, then per channel a 4-byte word and its samples.
std::vector<uint8_t> Adb(const Fields& f, const std::vector<std::vector<int32_t>>& ch) {
  std::vector<uint8_t> b = Header(f, 256);
  for (const auto& samples : ch) {
    testing::PutU32LE(b, 0xDEADBEEF);
    for (int32_t v : samples) testing::PutU32LE(b, static_cast<uint32_t>(v));
  }
  return b;
}

// DDB: 512-byte header, then frames of Z, N, E.
std::vector<uint8_t> Ddb(const Fields& f, const std::vector<std::vector<int32_t>>& ch) {
  std::vector<uint8_t> b = Header(f, 512);
  for (size_t i = 0; i < ch[0].size(); ++i) {
    for (const auto& samples : ch) testing::PutU32LE(b, static_cast<uint32_t>(samples[i]));
  }
  return b;
}

const std::vector<std::vector<int32_t>> kSamples = {
    {1, 2, 3, 4}, {-100000, 200000, -300000, 400000}, {2147483647, -2147483647 - 1, 0, 9}};

struct Kind {
  const char* name;
  bool ddb;
};

class AdbDdbTest : public ::testing::TestWithParam<Kind> {
 protected:
  std::string Write(const Fields& f, const std::vector<std::vector<int32_t>>& ch = kSamples) {
    const std::string path = tmp.File(GetParam().ddb ? "x.ddb" : "x.adb");
    testing::WriteBytes(path, GetParam().ddb ? Ddb(f, ch) : Adb(f, ch));
    return path;
  }
  bool Header(const std::string& path, TFileRecordInfo& info) {
    return GetParam().ddb ? ReadDdbHeader(path, info, 0.0) : ReadAdbHeader(path, info, 0.0);
  }
  TRecList Segments(const std::string& path) {
    TRecList list;
    if (GetParam().ddb) {
      BuildDdbSegments(path, list, "");
    } else {
      BuildAdbSegments(path, list, "");
    }
    return list;
  }
  TempDir tmp;
};

TEST_P(AdbDdbTest, HeaderFields) {
  Fields f;
  if (GetParam().ddb) f.ms = 10240;  // a DDB header counts 1024 per millisecond
  TFileRecordInfo info;
  ASSERT_TRUE(Header(Write(f), info));
  EXPECT_EQ(info.Station, "501|3|256");
  EXPECT_EQ(FormatIso(info.Start),
            GetParam().ddb ? "2012-07-14T09:41:05.010Z" : "2012-07-14T09:41:05.250Z");
  EXPECT_EQ(info.SampRate, 100.0);
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0], "Z");
  EXPECT_EQ(info.ChannelNames[1], "N");
  EXPECT_EQ(info.ChannelNames[2], "E");
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[1], 1e9 / 0.0318);
  EXPECT_EQ(info.SampleCount, 4);
  EXPECT_EQ(info.BlockSamples, 4);
  EXPECT_EQ(info.BlockCount, 1);
}

TEST_P(AdbDdbTest, TwoDigitYears) {
  for (auto [year, expected] :
       {std::pair{98, "1998"}, {5, "2005"}, {69, "2069"}, {70, "1970"}, {2001, "2001"}}) {
    Fields f;
    f.year = static_cast<int16_t>(year);
    TFileRecordInfo info;
    ASSERT_TRUE(Header(Write(f), info));
    EXPECT_EQ(FormatIso(info.Start).substr(0, 4), expected) << year;
  }
}

TEST_P(AdbDdbTest, RateCodes) {
  for (auto [code, rate] : {std::pair{31, 31.25},
                            {62, 62.5},
                            {35, 1 / 0.028},
                            {70, 2 / 0.028},
                            {140, 4 / 0.028},
                            {200, 200.0}}) {
    Fields f;
    f.rate_code = static_cast<int16_t>(code);
    TFileRecordInfo info;
    ASSERT_TRUE(Header(Write(f), info));
    EXPECT_NEAR(info.SampRate, rate, 1e-9) << code;
  }
  Fields zero;
  zero.rate_code = 0;
  TFileRecordInfo info;
  EXPECT_FALSE(Header(Write(zero), info));
}

TEST_P(AdbDdbTest, SegmentsReadEachChannel) {
  Fields f;
  const TRecList list = Segments(Write(f));
  ASSERT_EQ(list.size(), 3u);
  const char* letters[] = {"Z", "N", "E"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].Channel, letters[i]);
    EXPECT_EQ(list[i].Station, "501");
    EXPECT_EQ(list[i].Location, "3|256");
    EXPECT_EQ(list[i].DataType, kSampleI4);
    EXPECT_EQ(list[i].Count, 4);
    EXPECT_EQ(ReadSamples(list[i]), kSamples[i]);
  }
}

TEST_P(AdbDdbTest, ChannelCountsOfZeroAndAbove32) {
  Fields none;
  none.channels = 0;
  TFileRecordInfo info;
  ASSERT_TRUE(Header(Write(none), info));
  EXPECT_EQ(info.ChannelCount, 0);

  Fields many;
  many.channels = 40;
  ASSERT_TRUE(Header(Write(many), info));
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[3], "Z3");
  EXPECT_EQ(info.ChannelNames[31], "Z31");

  Fields negative;
  negative.channels = -5;
  ASSERT_TRUE(Header(Write(negative), info));
  EXPECT_EQ(info.ChannelCount, 0);
}

TEST_P(AdbDdbTest, CountFarBeyondTheFileIsHeldToWhatItHolds) {
  Fields f;
  f.count = 2000000000;
  const std::string path = Write(f);
  TFileRecordInfo info;
  ASSERT_TRUE(Header(path, info));
  // DDB: the four whole frames; ADB: every word from the first channel's samples on.
  EXPECT_EQ(info.SampleCount, GetParam().ddb ? 4 : 14);
  for (const auto& seg : Segments(path).Items) {
    EXPECT_LE(seg.Count, 14);
    EXPECT_LE(ReadSamples(seg).size(), 14u);
  }
}

TEST_P(AdbDdbTest, TruncatedAndImpossibleHeadersAreRefused) {
  Fields f;
  std::vector<uint8_t> bytes = GetParam().ddb ? Ddb(f, kSamples) : Adb(f, kSamples);
  bytes.resize(GetParam().ddb ? 511 : 255);
  const std::string path = tmp.File(GetParam().ddb ? "t.ddb" : "t.adb");
  testing::WriteBytes(path, bytes);
  TFileRecordInfo info;
  EXPECT_FALSE(Header(path, info));
  EXPECT_TRUE(Segments(path).empty());

  for (auto change : {+[](Fields& g) { g.month = 13; }, +[](Fields& g) { g.day = 0; },
                      +[](Fields& g) { g.hour = 24; }, +[](Fields& g) { g.year = -3; }}) {
    Fields g;
    change(g);
    EXPECT_FALSE(Header(Write(g), info));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, AdbDdbTest,
                         ::testing::Values(Kind{"adb", false}, Kind{"ddb", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvik

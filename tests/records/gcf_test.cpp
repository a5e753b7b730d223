#include "records/gcf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/datetime.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RealFile;

constexpr double kMillisecond = 1e-3 / 86400.0;

TRecList Segments(const std::string& path) {
  TRecList list;
  BuildGcfSegments(path, list, "");
  return list;
}

// The reverse integration constant of the block at offset: the value its last sample must have.
int32_t ReverseConstant(const std::vector<uint8_t>& file, size_t offset) {
  const size_t records = file[offset + 15];
  return LoadI32BE(&file[offset + 20 + 4 * records]);
}

TEST(GcfCorpus, ThreeHundredSamplesAt100Hz) {
  const std::string path = RealFile("gcf/20160603_1955n.gcf");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadGcfHeader(path, info, 50.0));
  EXPECT_EQ(info.Station, "6018");
  EXPECT_NEAR(info.Start, EncodeDateTime(2016, 6, 3, 19, 55, 0), kMillisecond);
  EXPECT_DOUBLE_EQ(info.SampRate, 100.0);
  EXPECT_EQ(info.SampleCount, 300);
  EXPECT_EQ(info.BlockCount, 2);
  EXPECT_EQ(info.BlockSamples, 1024);
  ASSERT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelNames[0], "N");
  EXPECT_EQ(info.ChannelCoefs[0], 1e9);

  const TRecList list = Segments(path);
  ASSERT_EQ(list.size(), 2u);
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  for (size_t i = 0; i < 2; ++i) {
    const TRecordDescription& seg = list[i];
    EXPECT_EQ(seg.Station, "6018");
    EXPECT_EQ(seg.Location, "00");
    EXPECT_EQ(seg.Channel, "N");
    EXPECT_EQ(seg.DataType, kSampleGcf32);
    EXPECT_EQ(seg.Offset, static_cast<int32_t>(1024 * i + 16));
    EXPECT_NEAR(seg.StartTime, EncodeDateTime(2016, 6, 3, 19, 55, 2 * static_cast<int>(i)),
                kMillisecond);
    const std::vector<int32_t> samples = ReadSamples(seg);
    ASSERT_EQ(samples.size(), i == 0 ? 200u : 100u);
    EXPECT_EQ(samples.back(), ReverseConstant(bytes, 1024 * i));
  }
  const std::vector<int32_t> first = ReadSamples(list[0]);
  const std::vector<int32_t> listed = {-49378, -49213, -49273, -49277, -49341, -49415, -49289,
                                       -49309, -49277, -49381, -49441, -49276, -49331, -49268,
                                       -49250, -49407, -49421, -49282, -49224, -49281};
  EXPECT_EQ(std::vector<int32_t>(first.begin(), first.begin() + 20), listed);
}

TEST(GcfCorpus, SixteenBitBlocksAt500Hz) {
  const std::string path = RealFile("gcf/20160603_1910n.gcf");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadGcfHeader(path, info, 50.0));
  EXPECT_DOUBLE_EQ(info.SampRate, 500.0);
  EXPECT_EQ(info.SampleCount, 1000);
  const TRecList list = Segments(path);
  ASSERT_EQ(list.size(), 2u);
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(list[i].DataType, kSampleGcf16);
    const std::vector<int32_t> samples = ReadSamples(list[i]);
    ASSERT_EQ(samples.size(), 500u);
    EXPECT_EQ(samples.front(), LoadI32BE(&bytes[1024 * i + 16]));
    EXPECT_EQ(samples.back(), ReverseConstant(bytes, 1024 * i));
  }
}

// A block written field by field.
struct BlockFields {
  uint32_t Stream = 362854912;  // "6018N4"
  uint32_t Days = 9695;
  uint32_t Seconds = 71700;
  uint8_t RateCode = 100;
  uint8_t Compression = 1;
  uint8_t Numerator = 0;
  uint8_t Records = 0;
  int32_t First = 0;
  std::vector<uint8_t> RecordsBytes;
};

std::vector<uint8_t> MakeBlock(const BlockFields& s) {
  std::vector<uint8_t> b;
  testing::PutU32BE(b, 0x12345678u);
  testing::PutU32BE(b, s.Stream);
  testing::PutU32BE(b, (s.Days << 17) | s.Seconds);
  b.push_back(0);
  b.push_back(s.RateCode);
  b.push_back(static_cast<uint8_t>((s.Numerator << 4) | s.Compression));
  b.push_back(s.Records);
  testing::PutU32BE(b, static_cast<uint32_t>(s.First));
  b.insert(b.end(), s.RecordsBytes.begin(), s.RecordsBytes.end());
  b.resize(1024, 0);
  return b;
}

class GcfSynthetic : public ::testing::Test {
 protected:
  std::string Write(const std::vector<BlockFields>& blocks) {
    std::vector<uint8_t> bytes;
    for (const BlockFields& s : blocks) {
      const std::vector<uint8_t> b = MakeBlock(s);
      bytes.insert(bytes.end(), b.begin(), b.end());
    }
    const std::string path = dir_.File("block.gcf");
    testing::WriteBytes(path, bytes);
    return path;
  }
  testing::TempDir dir_;
};

struct RateCase {
  uint8_t Code;
  uint8_t Numerator;
  double Rate;
  double OffsetSeconds;
};

class GcfRateCode : public GcfSynthetic, public ::testing::WithParamInterface<RateCase> {};

TEST_P(GcfRateCode, RateAndStartFraction) {
  BlockFields s;
  s.RateCode = GetParam().Code;
  s.Numerator = GetParam().Numerator;
  s.Records = 2;
  const TRecList list = Segments(Write({s}));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_DOUBLE_EQ(list[0].SampRate, GetParam().Rate);
  const TDateTime base = EncodeDateTime(2016, 6, 3, 19, 55, 0);
  EXPECT_NEAR((list[0].StartTime - base) * 86400.0, GetParam().OffsetSeconds, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GcfRateCode,
    ::testing::Values(RateCase{171, 4, 400.0, 0.5}, RateCase{174, 1, 500.0, 0.5},
                      RateCase{176, 1, 1000.0, 0.25}, RateCase{179, 3, 2000.0, 0.375},
                      RateCase{181, 15, 4000.0, 15.0 / 16.0}, RateCase{157, 0, 0.1, 0.0},
                      RateCase{161, 0, 0.125, 0.0}, RateCase{162, 0, 0.2, 0.0},
                      RateCase{164, 0, 0.25, 0.0}, RateCase{167, 0, 0.5, 0.0},
                      RateCase{100, 0, 100.0, 0.0}, RateCase{200, 0, 200.0, 0.0}));

TEST_F(GcfSynthetic, DifferencesOfEachWidth) {
  // The first difference of the block links to the previous block and is skipped.
  BlockFields eight;
  eight.Compression = 4;
  eight.Records = 2;
  eight.First = 10;
  eight.RecordsBytes = {0x7F, 0x01, 0xFE, 0x80, 0x05, 0xFF, 0x00, 0x7F};
  BlockFields sixteen;
  sixteen.Compression = 2;
  sixteen.Records = 2;
  sixteen.First = -10;
  sixteen.Seconds = 71701;
  sixteen.RecordsBytes = {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x10, 0xFF, 0xFF};
  BlockFields thirtytwo;
  thirtytwo.Compression = 1;
  thirtytwo.Records = 3;
  thirtytwo.First = 1 << 30;
  thirtytwo.Seconds = 71702;
  thirtytwo.RecordsBytes = {0x11, 0x11, 0x11, 0x11, 0x3F, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01};
  const TRecList list = Segments(Write({eight, sixteen, thirtytwo}));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].DataType, kSampleGcf8);
  EXPECT_EQ(ReadSamples(list[0]), (std::vector<int32_t>{10, 11, 9, -119, -114, -115, -115, 12}));
  EXPECT_EQ(ReadSamples(list[1]), (std::vector<int32_t>{-10, -32778, -32762, -32763}));
  EXPECT_EQ(ReadSamples(list[2]), (std::vector<int32_t>{1 << 30, INT32_MAX, INT32_MIN}));
}

TEST_F(GcfSynthetic, OnlySeismicStreamsCarrySamples) {
  BlockFields data;
  data.Records = 1;
  BlockFields status = data;
  status.Stream = 362855122;  // "6018SY"
  BlockFields zero = data;
  zero.Stream = 362854080;  // "601800"
  BlockFields no_rate = data;
  no_rate.RateCode = 0;
  BlockFields bad_compression = data;
  bad_compression.Compression = 3;
  const std::string path = Write({status, zero, data, no_rate, bad_compression});
  EXPECT_EQ(Segments(path).size(), 1u);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadGcfHeader(path, info, 50.0));
  EXPECT_EQ(info.BlockCount, 1);

  const std::string only_status = Write({status, zero});
  EXPECT_TRUE(Segments(only_status).empty());
  EXPECT_FALSE(ReadGcfHeader(only_status, info, 50.0));
  EXPECT_EQ(info.ChannelCount, 0);
  EXPECT_TRUE(info.Station.empty());
}

TEST_F(GcfSynthetic, HeaderCollectsComponents) {
  BlockFields z;
  z.Stream = 362855344;  // "6018Z4"
  z.Records = 25;
  BlockFields e = z;
  e.Stream = 362854588;  // "6018E4"
  e.Seconds = 71700;
  BlockFields later = z;
  later.Seconds = 71703;
  const std::string path = Write({later, e, z});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadGcfHeader(path, info, 50.0));
  ASSERT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.ChannelNames[0], "Z");
  EXPECT_EQ(info.ChannelNames[1], "E");
  // The earliest block starts the file; the latest end closes it.
  EXPECT_NEAR(info.Start, EncodeDateTime(2016, 6, 3, 19, 55, 0), kMillisecond);
  EXPECT_EQ(info.SampleCount, 325);
}

// The first block decides whether a file is GCF: every field of its head must be in its range.
// A bad head further on is a damaged block, left out, until bad heads are the most.
TEST_F(GcfSynthetic, HeadsOutOfRangeAreRefusedWithTheirField) {
  BlockFields good;
  good.Records = 1;
  const struct {
    const char* Name;
    TCode Cause;
    std::vector<std::string> Args;  // the cause's arguments
    void (*Spoil)(BlockFields&);
  } cases[] = {
      {"stream ID",
       TCode::kRefuseGcfStreamId,
       {"4294967295"},
       [](BlockFields& b) { b.Stream = 0xFFFFFFFFu; }},
      {"time of day",
       TCode::kRefuseGcfTimeOfDay,
       {"86400"},
       [](BlockFields& b) { b.Seconds = 86400; }},
      {"sample rate code 251",
       TCode::kRefuseGcfRateCode,
       {"251"},
       [](BlockFields& b) { b.RateCode = 251; }},
      {"compression code 3",
       TCode::kRefuseGcfCompression,
       {"3"},
       [](BlockFields& b) { b.Compression = 3; }},
      {"compression code 0",
       TCode::kRefuseGcfCompression,
       {"0"},
       [](BlockFields& b) { b.Compression = 0; }},
      {"compression code 9",
       TCode::kRefuseGcfCompression,
       {"9"},
       [](BlockFields& b) { b.Compression = 9; }},
      {"start-time fraction 1/1",
       TCode::kRefuseGcfFraction,
       {"1", "1"},
       [](BlockFields& b) { b.Numerator = 1; }},
      {"start-time fraction 2/2",
       TCode::kRefuseGcfFraction,
       {"2", "2"},
       [](BlockFields& b) { b.RateCode = 174, b.Numerator = 2; }},
      {"record count 251",
       TCode::kRefuseGcfRecordCount,
       {"251", "250"},
       [](BlockFields& b) { b.Records = 251; }},
      {"without data records",
       TCode::kRefuseGcfNoRecords,
       {},
       [](BlockFields& b) { b.Records = 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    BlockFields spoilt = good;
    c.Spoil(spoilt);
    TFileRecordInfo info;
    TStatus why;
    EXPECT_FALSE(ReadGcfHeader(Write({spoilt, good}), info, 50.0, &why));
    EXPECT_EQ(why.Code, TCode::kRefuseInBlock) << Text(why, TLanguage::kEnglish);
    EXPECT_EQ(why.Offset, 0);
    EXPECT_EQ(why.Record, 0);
    ASSERT_EQ(why.Args.size(), 3u);
    EXPECT_EQ(why.Args[0].Text, "1");
    ASSERT_NE(why.Args[2].Nested, nullptr);
    const TStatus& cause = *why.Args[2].Nested;
    EXPECT_EQ(cause.Code, c.Cause);
    std::vector<std::string> args;
    for (const TArg& a : cause.Args) args.push_back(a.Text);
    EXPECT_EQ(args, c.Args);
    EXPECT_TRUE(info.Station.empty());
    EXPECT_TRUE(Segments(Write({spoilt, good})).empty());

    // After a good block the same head is a damaged block: left out, the others read.
    BlockFields later = good;
    later.Seconds += 1;
    const std::string path = Write({good, spoilt, later});
    ASSERT_TRUE(ReadGcfHeader(path, info, 50.0));
    EXPECT_EQ(info.BlockCount, 2);
    EXPECT_EQ(Segments(path).size(), 2u);
    EXPECT_FALSE(ReadGcfHeader(Write({good, spoilt, spoilt}), info, 50.0, &why));
    EXPECT_EQ(why.Code, TCode::kRefuseFewGcfBlocks);
    EXPECT_EQ(why.Args, (std::vector<TArg>{"1", "3"}));
    EXPECT_EQ(Text(why, TLanguage::kEnglish), "only 1 of its 3 blocks are GCF blocks");
  }
  TStatus why;
  TFileRecordInfo info;
  testing::WriteBytes(dir_.File("short.gcf"), std::vector<uint8_t>(1023, 0));
  EXPECT_FALSE(ReadGcfHeader(dir_.File("short.gcf"), info, 50.0, &why));
  EXPECT_EQ(why.Code, TCode::kRefuseShorterThanBlock);
  EXPECT_EQ(why.Args, std::vector<TArg>{"1024"});
  EXPECT_EQ(Text(why, TLanguage::kEnglish), "shorter than one block of 1024 bytes");
}

// A block's samples are recorded data when the last one is the block's reverse integration
// constant; a block whose differences do not lead there is damaged as a whole.
TEST_F(GcfSynthetic, ReverseIntegrationConstantTellsDamagedBlocks) {
  BlockFields s;
  s.Compression = 2;
  s.Records = 2;
  s.First = 100;
  // Differences (the first skipped) +5, -3, +1: samples 100, 105, 102, 103; then the constant.
  s.RecordsBytes = {0x00, 0x09, 0x00, 0x05, 0xFF, 0xFD, 0x00, 0x01, 0x00, 0x00, 0x00, 103};
  for (const auto& [reverse, sound] : {std::pair{103, 4}, std::pair{104, 0}}) {
    s.RecordsBytes.back() = static_cast<uint8_t>(reverse);
    const TRecList list = Segments(Write({s}));
    ASSERT_EQ(list.size(), 1u);
    SampleReader reader;
    int64_t found = -1;
    EXPECT_EQ(reader.Read(list[0], &found), (std::vector<int32_t>{100, 105, 102, 103}));
    EXPECT_EQ(found, sound) << reverse;
  }
}

}  // namespace
}  // namespace tarvik

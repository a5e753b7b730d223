#include "records/baikal.h"

#include <gtest/gtest.h>

#include <bit>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/datetime.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

struct Channel {
  std::string name;
  double coefficient = 1.0;
  std::vector<int32_t> samples;
};

struct File {
  std::optional<int16_t> channels;  // the number of channels given unless set
  int16_t day = 3, month = 9, year = 2019;
  int16_t resolution = 24;
  std::string station = "BKL01";
  double interval = 0.01;
  double seconds = 3600.5;
  std::vector<Channel> ch;
};

void PutF64(std::vector<uint8_t>& b, size_t at, double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  StoreU32LE(&b[at], static_cast<uint32_t>(bits));
  StoreU32LE(&b[at + 4], static_cast<uint32_t>(bits >> 32));
}

// 120-byte header, a 72-byte header per channel, then samples interleaved over the channels.
std::vector<uint8_t> Baikal(const File& f) {
  std::vector<uint8_t> b(120, 0);
  const auto n = f.channels.value_or(static_cast<int16_t>(f.ch.size()));
  StoreU16LE(&b[0], static_cast<uint16_t>(n));
  StoreU16LE(&b[6], static_cast<uint16_t>(f.day));
  StoreU16LE(&b[8], static_cast<uint16_t>(f.month));
  StoreU16LE(&b[10], static_cast<uint16_t>(f.year));
  StoreU16LE(&b[18], static_cast<uint16_t>(f.resolution));
  std::copy(f.station.begin(), f.station.end(), b.begin() + 32);
  PutF64(b, 48, f.interval);
  PutF64(b, 56, f.seconds);
  for (const Channel& c : f.ch) {
    std::vector<uint8_t> h(72, 0);
    std::copy(c.name.begin(), c.name.end(), h.begin() + 8);
    PutF64(h, 56, c.coefficient);
    b.insert(b.end(), h.begin(), h.end());
  }
  const size_t count = f.ch.empty() ? 0 : f.ch[0].samples.size();
  for (size_t i = 0; i < count; ++i) {
    for (const Channel& c : f.ch) {
      if (f.resolution <= 16) {
        testing::PutU16LE(b, static_cast<uint16_t>(c.samples[i]));
      } else {
        testing::PutU32LE(b, static_cast<uint32_t>(c.samples[i]));
      }
    }
  }
  return b;
}

std::string Write(TempDir& tmp, const File& f) {
  const std::string path = tmp.File("x.baikal");
  testing::WriteBytes(path, Baikal(f));
  return path;
}

TEST(BaikalHeader, Fields) {
  TempDir tmp;
  File f;
  f.ch = {{"Z-channel-with-a-long-name", 2.0, {1, 2}}, {"N", 0.5, {3, 4}}, {"E", 0.0, {5, 6}}};
  TFileRecordInfo info;
  ASSERT_TRUE(ReadBaikalHeader(Write(tmp, f), info, 0.0));
  EXPECT_EQ(info.Station, "BKL01");
  EXPECT_DOUBLE_EQ(info.SampRate, 100.0);
  EXPECT_EQ(FormatIso(info.Start), "2019-09-03T01:00:00.500Z");
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0], "Z-chann");
  EXPECT_EQ(info.ChannelNames[1], "N");
  EXPECT_EQ(info.ChannelCoefs[0], 5e5);
  EXPECT_EQ(info.ChannelCoefs[1], 2e6);
  EXPECT_EQ(info.ChannelCoefs[2], 1e6);  // a coefficient of 0 is taken as 1
  EXPECT_EQ(info.SampleCount, 2);
  EXPECT_EQ(info.BlockSamples, 2);
  EXPECT_EQ(info.BlockCount, 1);
}

struct ResolutionCase {
  int16_t bits;
  int32_t type;
  std::vector<int32_t> a, b;
};

class BaikalResolutionTest : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(BaikalResolutionTest, InterleavedSamplesReadBackPerChannel) {
  TempDir tmp;
  const ResolutionCase& c = GetParam();
  File f;
  f.resolution = c.bits;
  f.ch = {{"A", 1.0, c.a}, {"B", 4.0, c.b}};
  TRecList list;
  BuildBaikalSegments(Write(tmp, f), list, "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].DataType, c.type);
  EXPECT_EQ(list[0].Channel, "A");
  EXPECT_EQ(list[1].Station, "BKL01");
  EXPECT_DOUBLE_EQ(list[1].Calib, 4e-6);
  EXPECT_EQ(ReadSamples(list[0]), c.a);
  EXPECT_EQ(ReadSamples(list[1]), c.b);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, BaikalResolutionTest,
    ::testing::Values(ResolutionCase{24, kSampleI4, {8388607, -8388608, 70000}, {1, -2, 3}},
                      ResolutionCase{32, kSampleI4, {2147483647, 0, -7}, {4, 5, 6}},
                      ResolutionCase{16, kSampleI2, {32767, -32768, -1}, {-300, 0, 300}}));

TEST(BaikalChannels, Above32KeepsTheFirst32OverTheWholeFrame) {
  TempDir tmp;
  File f;
  for (int i = 0; i < 40; ++i) {
    f.ch.push_back({"C" + std::to_string(i), 1.0, {i, 100 + i, 200 + i}});
  }
  const std::string path = Write(tmp, f);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadBaikalHeader(path, info, 0.0));
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[31], "C31");
  EXPECT_EQ(info.SampleCount, 3);
  TRecList list;
  BuildBaikalSegments(path, list, "");
  ASSERT_EQ(list.size(), 32u);
  EXPECT_EQ(ReadSamples(list[31]), (std::vector<int32_t>{31, 131, 231}));
}

TEST(BaikalDamaged, RefusedHeaders) {
  TempDir tmp;
  File ok;
  ok.ch = {{"A", 1.0, {1, 2, 3}}};
  struct Case {
    const char* what;
    File file;
    size_t cut = 0;  // bytes kept; 0: all
  };
  std::vector<Case> cases;
  cases.push_back({"no channels", ok});
  cases.back().file.channels = 0;
  cases.push_back({"negative channels", ok});
  cases.back().file.channels = -2;
  cases.push_back({"more channels than headers", ok});
  cases.back().file.channels = 30000;
  cases.push_back({"zero interval", ok});
  cases.back().file.interval = 0.0;
  cases.push_back({"month 0", ok});
  cases.back().file.month = 0;
  cases.push_back({"truncated main header", ok, 100});
  cases.push_back({"truncated channel header", ok, 150});
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = Baikal(c.file);
    if (c.cut) bytes.resize(c.cut);
    testing::WriteBytes(tmp.File("d.baikal"), bytes);
    TFileRecordInfo info;
    EXPECT_FALSE(ReadBaikalHeader(tmp.File("d.baikal"), info, 0.0));
    EXPECT_EQ(info.ChannelCount, 0);
    TRecList list;
    BuildBaikalSegments(tmp.File("d.baikal"), list, "");
    EXPECT_TRUE(list.empty());
  }
}

TEST(BaikalDamaged, PartialLastFrameIsNotCounted) {
  TempDir tmp;
  File f;
  f.ch = {{"A", 1.0, {1, 2, 3}}, {"B", 1.0, {4, 5, 6}}};
  std::vector<uint8_t> bytes = Baikal(f);
  bytes.resize(bytes.size() - 2);  // B's last sample cut in half
  testing::WriteBytes(tmp.File("p.baikal"), bytes);
  TRecList list;
  BuildBaikalSegments(tmp.File("p.baikal"), list, "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(ReadSamples(list[0]), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(ReadSamples(list[1]), (std::vector<int32_t>{4, 5}));
}

}  // namespace
}  // namespace tarvik

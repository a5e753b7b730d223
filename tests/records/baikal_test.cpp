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
  std::string Name;
  double Coefficient = 1.0;
  std::vector<int32_t> Samples;
};

struct File {
  std::optional<int16_t> Channels;  // the number of channels given unless set
  int16_t Month = 9, Resolution = 24;
  double Interval = 0.01;
  std::vector<Channel> Ch;
  size_t Keep = SIZE_MAX;  // bytes written
};

void PutF64(std::vector<uint8_t>& b, size_t at, double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  StoreU32LE(&b[at], static_cast<uint32_t>(bits));
  StoreU32LE(&b[at + 4], static_cast<uint32_t>(bits >> 32));
}

// 120-byte header, a 72-byte header per channel, then samples interleaved over the channels.
std::string Write(TempDir& tmp, const File& f) {
  std::vector<uint8_t> b(120, 0);
  StoreU16LE(&b[0], static_cast<uint16_t>(f.Channels.value_or(static_cast<int16_t>(f.Ch.size()))));
  StoreU16LE(&b[6], 3);  // day
  StoreU16LE(&b[8], static_cast<uint16_t>(f.Month));
  StoreU16LE(&b[10], 2019);
  StoreU16LE(&b[18], static_cast<uint16_t>(f.Resolution));
  const std::string station = "BKL01";
  std::copy(station.begin(), station.end(), b.begin() + 32);
  PutF64(b, 48, f.Interval);
  PutF64(b, 56, 3600.5);  // seconds of the day
  for (const Channel& c : f.Ch) {
    std::vector<uint8_t> h(72, 0);
    std::copy(c.Name.begin(), c.Name.end(), h.begin() + 8);
    PutF64(h, 56, c.Coefficient);
    b.insert(b.end(), h.begin(), h.end());
  }
  for (size_t i = 0; !f.Ch.empty() && i < f.Ch[0].Samples.size(); ++i) {
    for (const Channel& c : f.Ch) {
      if (f.Resolution <= 16) {
        testing::PutU16LE(b, static_cast<uint16_t>(c.Samples[i]));
      } else {
        testing::PutU32LE(b, static_cast<uint32_t>(c.Samples[i]));
      }
    }
  }
  b.resize(std::min(f.Keep, b.size()));
  testing::WriteBytes(tmp.File("x.baikal"), b);
  return tmp.File("x.baikal");
}

TEST(BaikalHeader, FieldsAndTheFirst32OfMoreChannels) {
  TempDir tmp;
  File f;
  f.Ch = {{"Z-channel-long-name", 2.0, {1, 2}}, {"N", 0.5, {3, 4}}, {"E", 0.0, {5, 6}}};
  for (int i = 3; i < 40; ++i) f.Ch.push_back({"C" + std::to_string(i), 1.0, {i, 100 + i}});
  const std::string path = Write(tmp, f);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadBaikalHeader(path, info, 0.0));
  EXPECT_EQ(info.Station, "BKL01");
  EXPECT_DOUBLE_EQ(info.SampRate, 100.0);
  EXPECT_EQ(FormatIso(info.Start), "2019-09-03T01:00:00.500Z");
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[0], "Z-chann");
  EXPECT_EQ(info.ChannelCoefs[0], 5e5);
  EXPECT_EQ(info.ChannelCoefs[1], 2e6);
  EXPECT_EQ(info.ChannelCoefs[2], 1e6);  // a coefficient of 0 is taken as 1
  EXPECT_EQ(info.SampleCount, 2);
  TRecList list;  // the frames still hold all 40 channels
  BuildBaikalSegments(path, list, "");
  ASSERT_EQ(list.size(), 32u);
  EXPECT_EQ(ReadSamples(list[31]), (std::vector<int32_t>{31, 131}));
}

TEST(BaikalSegments, ResolutionChoosesTheSampleWidth) {
  struct Case {
    int16_t Bits;
    int32_t Type;
    std::vector<int32_t> A, B;
  };
  for (const Case& c : {Case{24, kSampleI4, {8388607, -8388608, 70000}, {1, -2, 3}},
                        Case{16, kSampleI2, {32767, -32768, -1}, {-300, 0, 300}}}) {
    TempDir tmp;
    File f;
    f.Resolution = c.Bits;
    f.Ch = {{"A", 1.0, c.A}, {"B", 4.0, c.B}};
    TRecList list;
    BuildBaikalSegments(Write(tmp, f), list, "");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].DataType, c.Type);
    EXPECT_DOUBLE_EQ(list[1].Calib, 4e-6);
    EXPECT_EQ(ReadSamples(list[0]), c.A) << c.Bits;
    EXPECT_EQ(ReadSamples(list[1]), c.B) << c.Bits;
  }
}

TEST(BaikalDamaged, RefusedHeadersAndAPartialLastFrame) {
  TempDir tmp;
  const File ok{std::nullopt, 9, 24, 0.01, {{"A", 1.0, {1, 2, 3}}, {"B", 1.0, {4, 5, 6}}}};
  std::vector<File> bad(6, ok);
  bad[0].Channels = 0;
  bad[1].Channels = -2;
  bad[2].Channels = 30000;  // more channel headers than the file holds
  bad[3].Interval = 0.0;
  bad[4].Month = 0;
  bad[5].Keep = 150;  // cut inside the channel headers
  for (size_t i = 0; i < bad.size(); ++i) {
    TFileRecordInfo info;
    EXPECT_FALSE(ReadBaikalHeader(Write(tmp, bad[i]), info, 0.0)) << i;
    TRecList list;
    BuildBaikalSegments(tmp.File("x.baikal"), list, "");
    EXPECT_TRUE(list.empty()) << i;
  }
  File cut = ok;
  cut.Keep = 120 + 2 * 72 + 6 * 4 - 2;  // B's last sample cut in half
  TRecList list;
  BuildBaikalSegments(Write(tmp, cut), list, "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(ReadSamples(list[0]), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(ReadSamples(list[1]), (std::vector<int32_t>{4, 5}));
}

}  // namespace
}  // namespace tarvik

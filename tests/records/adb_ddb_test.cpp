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
  int16_t Device = 501, Number1 = 3, Number2 = 256;
  int16_t Year = 2012, Month = 7, Day = 14, Hour = 9, Minute = 41, Second = 5, Ms = 250;
  int16_t RateCode = 100, Channels = 3;
  int32_t Count = 4;
};

const std::vector<std::vector<int32_t>> kSamples = {
    {1, 2, 3, 4}, {-100000, 200000, -300000, 400000}, {2147483647, -2147483647 - 1, 0, 9}};

class AdbDdbTest : public ::testing::TestWithParam<bool> {
 protected:
  bool Ddb() const { return GetParam(); }

  // ADB: 256-byte header, then per channel a 4-byte word and its samples. DDB: 512-byte header,
  // then frames of Z, N, E. Unused header bytes are not zero, so that nothing relies on it.
  std::string Write(const Fields& f, size_t keep = SIZE_MAX) {
    std::vector<uint8_t> b(Ddb() ? 512 : 256, 0xAA);
    const int16_t words[] = {f.Device, f.Number1, f.Number2, 0,        f.Year, f.Month,
                             f.Day,    f.Hour,    f.Minute,  f.Second, f.Ms,   f.RateCode};
    for (size_t i = 0; i < std::size(words); ++i) {
      StoreU16LE(&b[36 + 2 * i], static_cast<uint16_t>(words[i]));
    }
    StoreU16LE(&b[64], static_cast<uint16_t>(f.Channels));
    StoreU32LE(&b[66], static_cast<uint32_t>(f.Count));
    for (size_t i = 0; i < (Ddb() ? 4u : 3u); ++i) {
      if (!Ddb()) testing::PutU32LE(b, 0xDEADBEEF);
      for (size_t j = 0; j < (Ddb() ? 3u : 4u); ++j) {
        testing::PutU32LE(b, static_cast<uint32_t>(Ddb() ? kSamples[j][i] : kSamples[i][j]));
      }
    }
    b.resize(std::min(keep, b.size()));
    const std::string path = tmp_.File(Ddb() ? "x.ddb" : "x.adb");
    testing::WriteBytes(path, b);
    return path;
  }
  bool Header(const std::string& path, TFileRecordInfo& info, TStatus* why = nullptr) {
    return Ddb() ? ReadDdbHeader(path, info, 0.0, why) : ReadAdbHeader(path, info, 0.0, why);
  }
  TRecList Segments(const std::string& path) {
    TRecList list;
    (Ddb() ? BuildDdbSegments : BuildAdbSegments)(path, list, "");
    return list;
  }
  TempDir tmp_;
};

TEST_P(AdbDdbTest, HeaderFields) {
  Fields f;
  if (Ddb()) f.Ms = 10240;  // a DDB header counts 1024 per millisecond
  TFileRecordInfo info;
  ASSERT_TRUE(Header(Write(f), info));
  EXPECT_EQ(info.Station, "501|3|256");
  EXPECT_EQ(FormatIso(info.Start), Ddb() ? "2012-07-14T09:41:05.010Z" : "2012-07-14T09:41:05.250Z");
  EXPECT_EQ(info.SampRate, 100.0);
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0] + info.ChannelNames[1] + info.ChannelNames[2], "ZNE");
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[1], 1e9 / 0.0318);
  EXPECT_EQ(info.SampleCount, 4);
  for (auto [year, expected] : {std::pair{98, "1998"}, {5, "2005"}, {69, "2069"}, {70, "1970"}}) {
    f.Year = static_cast<int16_t>(year);
    ASSERT_TRUE(Header(Write(f), info));
    EXPECT_EQ(FormatIso(info.Start).substr(0, 4), expected) << year;
  }
  for (auto [code, rate] : {std::pair{31, 31.25}, {62, 62.5}, {70, 2 / 0.028}, {200, 200.0}}) {
    f.RateCode = static_cast<int16_t>(code);
    ASSERT_TRUE(Header(Write(f), info));
    EXPECT_NEAR(info.SampRate, rate, 1e-9) << code;
  }
}

TEST_P(AdbDdbTest, SegmentsReadEachChannel) {
  const TRecList list = Segments(Write(Fields{}));
  ASSERT_EQ(list.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(list[i].Channel, std::string(1, "ZNE"[i]));
    EXPECT_EQ(list[i].Station + "/" + list[i].Location, "501/3|256");
    EXPECT_EQ(ReadSamples(list[i]), kSamples[i]) << i;
  }
}

TEST_P(AdbDdbTest, DamagedHeaders) {
  TFileRecordInfo info;
  // No channel at all is no recording: refused; more than a record holds are cut.
  for (auto [channels, kept] : {std::pair{0, -1}, {-5, -1}, {40, 32}}) {
    Fields f;
    f.Channels = static_cast<int16_t>(channels);
    TStatus why;
    ASSERT_EQ(Header(Write(f), info, &why), kept >= 0) << channels;
    if (kept < 0) {
      EXPECT_EQ(why.Code, TCode::kRefuseHeaderChannelsBelowOne);
      EXPECT_EQ(why.Offset, 64);
      EXPECT_EQ(Text(why, TLanguage::kEnglish),
                "the header's channel count (bytes 64 and 65) is below 1");
      EXPECT_TRUE(Segments(Write(f)).empty());
    } else {
      EXPECT_EQ(info.ChannelCount, kept);
    }
  }
  EXPECT_EQ(info.ChannelNames[31], "Z31");

  Fields far;  // a count far beyond the file is held to what the first channel has room for
  far.Count = 2000000000;
  const std::string path = Write(far);
  ASSERT_TRUE(Header(path, info));
  EXPECT_EQ(info.SampleCount, Ddb() ? 4 : 14);
  for (const auto& seg : Segments(path).Items) EXPECT_LE(ReadSamples(seg).size(), 14u);

  EXPECT_FALSE(Header(Write(Fields{}, Ddb() ? 511 : 255), info));
  for (auto change : {+[](Fields& g) { g.Month = 13; }, +[](Fields& g) { g.Hour = 24; },
                      +[](Fields& g) { g.Year = -3; }, +[](Fields& g) { g.RateCode = 0; }}) {
    Fields g;
    change(g);
    EXPECT_FALSE(Header(Write(g), info));
    EXPECT_TRUE(Segments(Write(g)).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, AdbDdbTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ddb" : "adb"; });

}  // namespace
}  // namespace tarvik

#include "records/ugr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/datetime.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

// 2011-01-31 12:30:15.25, component letter at the tenth character, station "ABC".
std::string Name(char component) {
  return std::string("110131_12") + component + "3015_25.ugrABC";
}

void WriteSamples(const std::string& path, const std::vector<int32_t>& v) {
  std::vector<uint8_t> b;
  for (int32_t x : v) testing::PutU32LE(b, static_cast<uint32_t>(x));
  testing::WriteBytes(path, b);
}

TEST(UgrHeader, RateFollowsFileSize) {
  TempDir tmp;
  // Bytes and the rate they imply; 0 stands for the default rate given to the reader.
  for (auto [bytes, rate] : {std::pair{24000, 50.0},
                             {24003, 50.0},
                             {48000, 100.0},
                             {48004, 200.0},
                             {96003, 200.0},
                             {96004, 0.0},
                             {24004, 0.0}}) {
    testing::WriteBytes(tmp.File(Name('Z')), std::vector<uint8_t>(static_cast<size_t>(bytes)));
    TFileRecordInfo info;
    ASSERT_TRUE(ReadUgrHeader(tmp.File(Name('Z')), info, 123.0));
    EXPECT_EQ(info.SampRate, rate == 0.0 ? 123.0 : rate) << bytes;
    EXPECT_EQ(info.SampleCount, bytes / 4) << bytes;
  }
}

TEST(UgrHeader, NameGivesStartStationAndComponentFiles) {
  TempDir tmp;
  WriteSamples(tmp.File(Name('Z')), {1, 2, 3});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadUgrHeader(tmp.File(Name('Z')), info, 100.0));
  EXPECT_EQ(FormatIso(info.Start), "2011-01-31T12:30:15.250Z");
  EXPECT_EQ(info.Station, "ABC");
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0] + info.ChannelNames[1] + info.ChannelNames[2], "ENZ");
  EXPECT_EQ(UgrStationFromName("/d/110131_12Z3015_25.UGR12345"), "123");
  EXPECT_EQ(UgrComponentPath("/d/x/110131_12Z3015_25.ugrA", 'N'), "/d/x/110131_12N3015_25.ugrA");
  for (const char* bad : {"110131_12Z3015.ugrA", "111331_12Z3015_25.ugrA", "short.ugr"}) {
    EXPECT_FALSE(UgrStartFromName(bad)) << bad;
  }
}

TEST(UgrRead, ComponentFilesGoToTheirChannelsAtThePositionClippedToTheMatrix) {
  TempDir tmp;
  WriteSamples(tmp.File(Name('E')), {1, 2});  // shorter than the set: the rest stays 0
  WriteSamples(tmp.File(Name('Z')), {7, 8, 9, 10, 11});
  // No N file: that channel stays 0.
  struct Case {
    int64_t Length, Position;
    std::vector<int32_t> E, Z;
  };
  for (const Case& c :
       {Case{9, 3, {0, 0, 0, 1, 2, 0, 0, 0, 0}, {0, 0, 0, 7, 8, 9, 10, 11, 0}},
        Case{6, 3, {0, 0, 0, 1, 2, 0}, {0, 0, 0, 7, 8, 9}}, Case{3, 10, {0, 0, 0}, {0, 0, 0}}}) {
    LoadTarget t;
    ASSERT_TRUE(ReadUgrHeader(tmp.File(Name('Z')), t.First, 100.0));
    TData32 data(3, std::vector<int32_t>(static_cast<size_t>(c.Length), 0));
    t.Data = &data;
    t.Position = c.Position;
    ReadUgrInto(tmp.File(Name('Z')), t);
    EXPECT_EQ(data[0], c.E) << c.Length;
    EXPECT_EQ(data[1], std::vector<int32_t>(static_cast<size_t>(c.Length), 0));
    EXPECT_EQ(data[2], c.Z) << c.Length;
    EXPECT_EQ(t.Position, c.Position + 5);  // the whole file, also where the matrix ends
  }
}

}  // namespace
}  // namespace tarvik

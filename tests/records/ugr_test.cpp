#include "records/ugr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/datetime.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

// 2011-01-31 12:30:15.25, component at the tenth character, station "ABC".
constexpr const char* kZName = "110131_12Z3015_25.ugrABC";

std::vector<uint8_t> Int32LE(const std::vector<int32_t>& v) {
  std::vector<uint8_t> b;
  for (int32_t x : v) testing::PutU32LE(b, static_cast<uint32_t>(x));
  return b;
}

struct SizeCase {
  int64_t bytes;
  double rate;  // 0: the default rate passed to the reader
};

class UgrRateTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(UgrRateTest, RateFollowsFileSize) {
  TempDir tmp;
  const SizeCase c = GetParam();
  testing::WriteBytes(tmp.File(kZName), std::vector<uint8_t>(static_cast<size_t>(c.bytes), 0));
  TFileRecordInfo info;
  ASSERT_TRUE(ReadUgrHeader(tmp.File(kZName), info, 123.0));
  EXPECT_EQ(info.SampRate, c.rate == 0.0 ? 123.0 : c.rate);
  EXPECT_EQ(info.SampleCount, c.bytes / 4);
  EXPECT_EQ(info.BlockSamples, c.bytes / 4);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UgrRateTest,
                         ::testing::Values(SizeCase{24000, 50.0}, SizeCase{24003, 50.0},
                                           SizeCase{48000, 100.0}, SizeCase{48004, 200.0},
                                           SizeCase{96003, 200.0}, SizeCase{96004, 0.0},
                                           SizeCase{24004, 0.0}, SizeCase{47996, 0.0},
                                           SizeCase{0, 0.0}));

TEST(UgrHeader, NameGivesStartAndStation) {
  TempDir tmp;
  testing::WriteBytes(tmp.File(kZName), Int32LE({1, 2, 3}));
  TFileRecordInfo info;
  ASSERT_TRUE(ReadUgrHeader(tmp.File(kZName), info, 100.0));
  EXPECT_EQ(FormatIso(info.Start), "2011-01-31T12:30:15.250Z");
  EXPECT_EQ(info.Station, "ABC");
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0], "E");
  EXPECT_EQ(info.ChannelNames[1], "N");
  EXPECT_EQ(info.ChannelNames[2], "Z");
  EXPECT_EQ(info.ChannelCoefs[2], 1e6);
  EXPECT_EQ(info.BlockCount, 1);
}

TEST(UgrNames, StationAndComponentPaths) {
  EXPECT_EQ(UgrStationFromName("/d/110131_12Z3015_25.UGR12345"), "123");
  EXPECT_EQ(UgrStationFromName("/d/110131_12Z3015_25.ugr"), "");
  EXPECT_EQ(UgrComponentPath("/d/x/110131_12Z3015_25.ugrA", 'N'), "/d/x/110131_12N3015_25.ugrA");
  EXPECT_EQ(UgrComponentPath("/d/short.ugr", 'N'), "");
  EXPECT_FALSE(UgrStartFromName("110131_12Z3015.ugrABC"));   // no hundredths
  EXPECT_FALSE(UgrStartFromName("111331_12Z3015_25.ugrA"));  // month 13
  EXPECT_FALSE(UgrStartFromName("1101x1_12Z3015_25.ugrA"));
}

TEST(UgrHeader, NameWithoutStartFails) {
  TempDir tmp;
  testing::WriteBytes(tmp.File("recording.ugr"), Int32LE({1}));
  TFileRecordInfo info;
  EXPECT_FALSE(ReadUgrHeader(tmp.File("recording.ugr"), info, 100.0));
}

// The three files of a set with distinct samples per component.
struct Set {
  TempDir tmp;
  std::vector<int32_t> e = {1, 2, 3, 4, 5}, n = {-10, -20, -30, -40, -50}, z = {7, 8, 9, 10, 11};
  void Write(bool with_n = true) {
    testing::WriteBytes(tmp.File("110131_12E3015_25.ugrABC"), Int32LE(e));
    if (with_n) testing::WriteBytes(tmp.File("110131_12N3015_25.ugrABC"), Int32LE(n));
    testing::WriteBytes(tmp.File(kZName), Int32LE(z));
  }
};

LoadTarget TargetFor(const std::string& path, TData32& data, int64_t length, int64_t position) {
  LoadTarget t;
  EXPECT_TRUE(ReadUgrHeader(path, t.first, 100.0));
  data.assign(3, std::vector<int32_t>(static_cast<size_t>(length), 0));
  t.data = &data;
  t.position = position;
  return t;
}

TEST(UgrRead, EachComponentFileGoesToItsChannelAtThePosition) {
  Set set;
  set.Write();
  TData32 data;
  LoadTarget t = TargetFor(set.tmp.File(kZName), data, 12, 5);
  ReadUgrInto(set.tmp.File(kZName), t);
  EXPECT_EQ(t.position, 10);
  EXPECT_EQ(data[0], (std::vector<int32_t>{0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0}));
  EXPECT_EQ(data[1], (std::vector<int32_t>{0, 0, 0, 0, 0, -10, -20, -30, -40, -50, 0, 0}));
  EXPECT_EQ(data[2], (std::vector<int32_t>{0, 0, 0, 0, 0, 7, 8, 9, 10, 11, 0, 0}));
}

TEST(UgrRead, MissingComponentStaysZeroAndTheEndIsClipped) {
  Set set;
  set.Write(/*with_n=*/false);
  TData32 data;
  LoadTarget t = TargetFor(set.tmp.File(kZName), data, 7, 4);
  ReadUgrInto(set.tmp.File(kZName), t);
  EXPECT_EQ(t.position, 9);  // advances by the whole file even where the matrix ends
  EXPECT_EQ(data[0], (std::vector<int32_t>{0, 0, 0, 0, 1, 2, 3}));
  EXPECT_EQ(data[1], std::vector<int32_t>(7, 0));
  EXPECT_EQ(data[2], (std::vector<int32_t>{0, 0, 0, 0, 7, 8, 9}));

  // A position past the matrix writes nothing.
  LoadTarget past = TargetFor(set.tmp.File(kZName), data, 3, 10);
  ReadUgrInto(set.tmp.File(kZName), past);
  EXPECT_EQ(data[2], std::vector<int32_t>(3, 0));
  EXPECT_EQ(past.position, 15);
}

TEST(UgrRead, ShorterComponentFileLeavesTheRestZero) {
  Set set;
  set.e = {1, 2};
  set.Write();
  TData32 data;
  LoadTarget t = TargetFor(set.tmp.File(kZName), data, 5, 0);
  ReadUgrInto(set.tmp.File(kZName), t);
  EXPECT_EQ(data[0], (std::vector<int32_t>{1, 2, 0, 0, 0}));
  EXPECT_EQ(data[2], set.z);
}

}  // namespace
}  // namespace tarvik

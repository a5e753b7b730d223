#include "records/sl.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "records/formats.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::PutU16LE;

struct SlHeaderFields {
  uint16_t RateWord = 11;
  uint16_t Channels = 2;
  int Year = 2004, Month = 12, Day = 8, Hour = 21, Minute = 51, Second = 20, Hundredths = 37;
  uint16_t R = 100;
  uint8_t C = 0;
  uint8_t X = 0;
};

// The 40-byte header, byte by byte; bytes the readers do not use hold 0xEE.
std::vector<uint8_t> SlHeader(const SlHeaderFields& h) {
  std::vector<uint8_t> b;
  PutU16LE(b, h.RateWord);
  PutU16LE(b, h.Channels);
  b.push_back(static_cast<uint8_t>(h.Day));
  b.push_back(static_cast<uint8_t>(h.Month));
  PutU16LE(b, static_cast<uint16_t>(h.Year));
  b.push_back(static_cast<uint8_t>(h.Hundredths));
  b.push_back(static_cast<uint8_t>(h.Second));
  b.push_back(static_cast<uint8_t>(h.Minute));
  b.push_back(static_cast<uint8_t>(h.Hour));
  b.resize(16, 0xEE);
  PutU16LE(b, h.R);
  b.push_back(h.C);
  b.push_back(h.X);
  b.resize(40, 0xEE);
  return b;
}

std::vector<uint8_t> Block(const std::vector<uint16_t>& first_words, uint16_t fill) {
  std::vector<uint8_t> b;
  for (int k = 0; k < kSlBlockWords; ++k) {
    PutU16LE(b, k < static_cast<int>(first_words.size()) ? first_words[static_cast<size_t>(k)]
                                                         : static_cast<uint16_t>(fill + k));
  }
  return b;
}

// ---------------------------------------------------------------------------------------------

struct VariantCase {
  uint16_t R;
  uint8_t C;
  uint8_t X;
  FormatTag Tag;
  int SubKind;
};

class SlVariants : public ::testing::TestWithParam<VariantCase> {};

TEST_P(SlVariants, TagAndSubKindFromHeaderBytes) {
  const VariantCase& v = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("v.SL");
  std::vector<uint8_t> file = SlHeader({.R = v.R, .C = v.C, .X = v.X});
  file.resize(44, 0);  // one block head
  testing::WriteBytes(path, file);
  int sub_kind = -1;
  EXPECT_EQ(TagText(RecognizeSl(path, &sub_kind)), TagText(v.Tag));
  EXPECT_EQ(sub_kind, v.SubKind);
  EXPECT_EQ(TagText(Recognize(path)), TagText(v.Tag));
}

// Worked by hand through the rule: which of the known codes R (or R + 65536) matches, and what
// C and X allow.
INSTANTIATE_TEST_SUITE_P(
    Rule, SlVariants,
    ::testing::Values(
        // Code 1092 (index 4) with C = X = 0: F4 and the "no marker area" case give [HS2.
        VariantCase{1092, 0, 0, kTagSL2, 0},
        // The same code with C = 3 only satisfies F4: [HS2 without the Z case.
        VariantCase{1092, 3, 0, kTagSL2, 0},
        // Code 18 (index 1) is a code of the F family with a short frame: [HS3.
        VariantCase{18, 0, 0, kTagSL3, 0},
        // Code 32772 (index 8) with C = 16: F with a frame of 4..8 and no Z: [HS3.
        VariantCase{32772, 16, 0, kTagSL3, 0},
        // R = 5 below 10 with C = 4: S, and R is one of the A values: [HS4.
        VariantCase{5, 4, 0, kTagSL4, 0},
        // A marker area (X = 3) makes T true whatever R is below 10.
        VariantCase{3, 8, 3, kTagSL4, 0},
        // Code 3 (index 0) with C = 16: F and S both hold, F4 does not: [HS0 of sub-kind 6.
        VariantCase{3, 16, 0, kTagSL0, 6},
        // R = 8 matches only as 8 + 65536 (index 9): F and S, sub-kind 6.
        VariantCase{8, 0, 0, kTagSL0, 6},
        // Nothing known: [HS0, sub-kind 0.
        VariantCase{100, 0, 0, kTagSL0, 0}, VariantCase{1092, 0, 1, kTagSL0, 0}));

TEST(SlRecognition, LengthDecidesWhetherTheHeaderIsRead) {
  testing::TempDir dir;
  std::vector<uint8_t> header = SlHeader({.R = 18});
  testing::WriteBytes(dir.File("a.sl"), header);  // exactly 40 bytes
  header.push_back(0);
  testing::WriteBytes(dir.File("b.sl"), header);  // 41 bytes
  EXPECT_EQ(Recognize(dir.File("a.sl")), 0u);
  EXPECT_EQ(RecognizeSl(dir.File("a.sl"), nullptr), 0u);
  EXPECT_EQ(Recognize(dir.File("b.sl")), kTagSL3);
  EXPECT_EQ(RecognizeSl(dir.File("missing.sl"), nullptr), 0u);
}

// ---------------------------------------------------------------------------------------------

TEST(SlHeader, FieldsAndBlockCountFromTheFirstChannelFile) {
  testing::TempDir dir;
  const std::string path = dir.File("rec1.SL");
  std::vector<uint8_t> header = SlHeader({.RateWord = 11, .Channels = 3});
  header.resize(40 + 4 * 2, 0);
  testing::WriteBytes(path, header);
  testing::WriteBytes(dir.File("rec1.00"), std::vector<uint8_t>(2 * 1024 + 1000, 0));

  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(path, Recognize(path), info, 0).Ok());
  EXPECT_EQ(info.Station, "Sta");
  EXPECT_EQ(FormatIso(info.Start), "2004-12-08T21:51:20.370Z");
  EXPECT_DOUBLE_EQ(info.SampRate, 11 * 18.206759746700236514);
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0], "1");
  EXPECT_EQ(info.ChannelNames[2], "3");
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[1], 400.0);
  EXPECT_EQ(info.BlockSamples, 512);
  EXPECT_EQ(info.BlockCount, 2);
  EXPECT_EQ(info.SampleCount, 1024);

  std::remove(dir.File("rec1.00").c_str());
  ASSERT_TRUE(ReadSlHeader(path, info, 0));
  EXPECT_EQ(info.BlockCount, 0);
  EXPECT_EQ(info.SampleCount, 0);
}

// ---------------------------------------------------------------------------------------------

struct BlockCase {
  const char* Name;
  int X;
  std::vector<uint16_t> Words;  // the first words; the rest are 0x0100 + k
  int D;
  std::vector<int32_t> FirstSamples;
};

class SlBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(SlBlocks, MarkerRule) {
  const BlockCase& b = GetParam();
  std::vector<int32_t> out = {-7};  // samples are appended
  const int d = DecodeSlBlock(Block(b.Words, 0x0100), b.X, kSlAdcBits, out);
  EXPECT_EQ(d, b.D) << b.Name;
  ASSERT_EQ(out.size(), 1u + 512 - static_cast<size_t>(b.D)) << b.Name;
  EXPECT_EQ(out[0], -7);
  for (size_t k = 0; k < b.FirstSamples.size(); ++k) {
    EXPECT_EQ(out[k + 1], b.FirstSamples[k]) << b.Name << " sample " << k;
  }
  // Words after the marker area keep their places: the last word is 0x0100 + 511.
  EXPECT_EQ(out.back(), 0x0100 + 511 - 2048) << b.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Rule, SlBlocks,
    ::testing::Values(
        // Marker at index 2 with its top bit: the words from the marker to the end of the area
        // are dropped, the samples start with word 0.
        BlockCase{"top bit",
                  4,
                  {0x0812, 0x0800, 0x8805, 0x0801, 0x0FFF},
                  2,
                  {0x012, 0x000, 0x0FFF - 2048}},
        // Marker without the top bit: only the marker is dropped; the area rotates to start
        // after it.
        BlockCase{
            "no top bit", 4, {0x0812, 0x0800, 0x1805, 0x0801, 0x0000}, 1, {1, 0x012, 0x000, -2048}},
        // Marker at index 0 without the top bit: nothing is dropped.
        BlockCase{"first word", 3, {0x2001, 0x0802, 0x0803}, 0, {1 - 2048, 2, 3}},
        // No marker in the area and word X with its top bit: the whole area is dropped.
        BlockCase{"area dropped", 3, {0x0801, 0x0802, 0x0803, 0x8004, 0x0805}, 3, {4 - 2048, 5}},
        // No marker and word X without the top bit: every word is a sample.
        BlockCase{"no marker", 2, {0x0801, 0x0802, 0x0803}, 0, {1, 2, 3}},
        BlockCase{"no area", 0, {0x8FFF, 0x0001}, 0, {0x0FFF - 2048, 1 - 2048}}));

// ---------------------------------------------------------------------------------------------

// Writes an SL set of two channels and two blocks; channel 1's second block has a marker that
// drops two words, so the second block of the set yields 510 samples.
void WriteSet(const testing::TempDir& dir, int channels_in_header) {
  std::vector<uint8_t> header =
      SlHeader({.Channels = static_cast<uint16_t>(channels_in_header), .X = 4});
  header.resize(40 + 8, 0);
  testing::WriteBytes(dir.File("set.sl"), header);
  std::vector<uint8_t> ch0 = Block({}, 0x0800);
  const std::vector<uint8_t> ch0b = Block({0x8800, 0x0801, 0x0802, 0x0803}, 0x0900);
  ch0.insert(ch0.end(), ch0b.begin(), ch0b.end());
  std::vector<uint8_t> ch1 = Block({}, 0x0A00);
  const std::vector<uint8_t> ch1b = Block({0x0801, 0x0802, 0x8803, 0x0804}, 0x0B00);
  ch1.insert(ch1.end(), ch1b.begin(), ch1b.end());
  testing::WriteBytes(dir.File("set.00"), ch0);
  testing::WriteBytes(dir.File("set.01"), ch1);
}

TEST(SlRead, ChannelFilesAreReadBlockByBlock) {
  testing::TempDir dir;
  WriteSet(dir, 2);
  const std::string path = dir.File("set.sl");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadSlHeader(path, info, 0));
  ASSERT_EQ(info.SampleCount, 1024);

  TData32 data(2, std::vector<int32_t>(1030, 0));
  LoadTarget target;
  target.Data = &data;
  target.First = info;
  target.Position = 3;
  ReadSlInto(path, target);
  EXPECT_EQ(target.Position, 3 + 512 + 510);
  // A sample is (word AND 0x0FFF) - 2048.
  // Block 1 has no marker and word 4 no top bit: every word is a sample.
  EXPECT_EQ(data[0][3], 0);      // 0x0800
  EXPECT_EQ(data[0][514], 511);  // 0x0800 + 511
  EXPECT_EQ(data[1][8], 517);    // 0x0A05
  // Block 2 of channel 0: the marker at 0 has the top bit, so the whole area goes (d = 4).
  EXPECT_EQ(data[0][515], 260);  // 0x0904
  // Block 2 of channel 1: marker at 2 with the top bit (d = 2): words 0, 1, 4, 5, ... 511.
  EXPECT_EQ(data[1][515], 1);      // 0x0801
  EXPECT_EQ(data[1][516], 2);      // 0x0802
  EXPECT_EQ(data[1][517], 772);    // 0x0B04
  EXPECT_EQ(data[1][1024], 1279);  // 0x0B00 + 511
  EXPECT_EQ(data[0][0], 0);
  EXPECT_EQ(data[1][1025], 0);
}

TEST(SlRead, MissingChannelFilesAndSmallMatricesStayInBounds) {
  testing::TempDir dir;
  WriteSet(dir, 40);  // the header names 40 channels; only two files exist
  const std::string path = dir.File("set.sl");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadSlHeader(path, info, 0));
  EXPECT_EQ(info.ChannelCount, 32);

  for (const int64_t start : {int64_t{-600}, int64_t{0}, int64_t{1000}}) {
    TData32 data(32, std::vector<int32_t>(20, 0));
    LoadTarget target;
    target.Data = &data;
    target.First = info;
    target.Position = start;
    ReadSlInto(path, target);
    // The last channel with a file (1) has d = 2 in block 2.
    EXPECT_EQ(target.Position, start + 512 + 510);
    for (size_t c = 2; c < 32; ++c) EXPECT_EQ(data[c], std::vector<int32_t>(20, 0));
  }
}

TEST(SlDamaged, TruncatedHeaderAndChannelFiles) {
  testing::TempDir ref;
  WriteSet(ref, 2);
  const std::vector<uint8_t> header = testing::ReadBytes(ref.File("set.sl"));
  const std::vector<uint8_t> ch1 = testing::ReadBytes(ref.File("set.01"));
  testing::TempDir dir;
  WriteSet(dir, 2);
  const std::string path = dir.File("set.sl");
  for (size_t len = 0; len <= ch1.size(); len += 31) {
    testing::WriteBytes(dir.File("set.01"), std::vector<uint8_t>(ch1.begin(), ch1.begin() + len));
    const size_t header_len = len % (header.size() + 1);
    testing::WriteBytes(path, std::vector<uint8_t>(header.begin(), header.begin() + header_len));
    TFileRecordInfo info;
    EXPECT_EQ(ReadSlHeader(path, info, 0), header_len >= 40);
    RecognizeSl(path, nullptr);
    TData32 data(2, std::vector<int32_t>(1024, 0));
    LoadTarget target;
    target.Data = &data;
    target.First = info;
    ReadSlInto(path, target);
    EXPECT_LE(target.Position, 1024);
  }
}

}  // namespace
}  // namespace tarvik

#include "records/rec.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "common/bytes.h"
#include "records/formats.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::PutU16LE;
using testing::PutU32LE;

// A small writer of REC files, byte by byte from the block tables.

void PutF64(std::vector<uint8_t>& b, double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  PutU32LE(b, static_cast<uint32_t>(bits));
  PutU32LE(b, static_cast<uint32_t>(bits >> 32));
}

void PutShort(std::vector<uint8_t>& b, const std::string& s) {
  b.push_back(static_cast<uint8_t>(s.size()));
  testing::PutText(b, s, 7, '\0');
}

void PutBlock(std::vector<uint8_t>& file, const char* tag, const std::vector<uint8_t>& body) {
  testing::PutText(file, tag, 4);
  PutU32LE(file, static_cast<uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
}

struct Sensor {
  int Index;
  double FullScale;
};

std::vector<uint8_t> Hd1Body(const std::string& station, int16_t block_samples, int bits,
                             double start, double rate, const std::vector<std::string>& sensors,
                             const std::vector<Sensor>& channels) {
  std::vector<uint8_t> b;
  PutShort(b, station);
  b.resize(50, 0xEE);  // bytes the reader does not interpret
  PutU16LE(b, static_cast<uint16_t>(block_samples));
  b.push_back(static_cast<uint8_t>(channels.size()));
  b.push_back(static_cast<uint8_t>(sensors.size()));
  b.push_back(static_cast<uint8_t>(bits));
  b.resize(60, 0xEE);
  PutF64(b, start);
  PutF64(b, rate);
  b.resize(84, 0xEE);
  for (const std::string& s : sensors) {
    const size_t at = b.size();
    b.resize(at + 9, 0xEE);
    PutShort(b, s);
    b.resize(at + 308, 0xEE);
  }
  for (const Sensor& c : channels) {
    const size_t at = b.size();
    b.push_back(static_cast<uint8_t>(c.Index));
    b.push_back(0xEE);
    PutF64(b, c.FullScale);
    b.resize(at + 30, 0xEE);
  }
  return b;
}

struct Entry {
  int32_t Name;
  double Rate;
  double Coef;
};

std::vector<uint8_t> Hd2Body(const std::string& station, int32_t block_samples, double start,
                             const std::vector<Entry>& entries,
                             const std::vector<std::string>& names, int32_t declared_entries = -1) {
  std::vector<uint8_t> b;
  PutShort(b, station);
  PutU32LE(b, static_cast<uint32_t>(block_samples));
  PutU32LE(b, static_cast<uint32_t>(declared_entries >= 0 ? declared_entries
                                                          : static_cast<int32_t>(entries.size())));
  PutU32LE(b, static_cast<uint32_t>(names.size()));
  PutU32LE(b, 32);
  PutF64(b, start);
  for (const Entry& e : entries) {
    PutU32LE(b, static_cast<uint32_t>(e.Name));
    PutF64(b, e.Rate);
    PutF64(b, e.Coef);
  }
  for (const std::string& n : names) PutShort(b, n);
  return b;
}

// A data block body: the 24-byte data header, then the samples of m (channel x sample) in the
// layout of the tag (frames need channels of equal length; runs are written as given).
std::vector<uint8_t> DataBody(const std::string& tag, const TData32& m) {
  std::vector<uint8_t> b(24, 0x5A);
  const size_t channels = m.size();
  const bool frames = tag[2] == 'M';
  const char kind = tag[3];
  const auto put = [&](int32_t v) {
    if (kind == 'X') {
      PutU32LE(b, static_cast<uint32_t>(v));
    } else {
      PutU16LE(b, static_cast<uint16_t>(v));
    }
  };
  if (frames) {
    for (size_t i = 0; i < m[0].size(); ++i)
      for (size_t c = 0; c < channels; ++c) put(m[c][i]);
  } else {
    for (const std::vector<int32_t>& run : m)
      for (int32_t v : run) put(v);
  }
  return b;
}

std::vector<uint8_t> DszBody(const TData32& m) {
  std::vector<uint8_t> b(24, 0);
  for (const std::vector<int32_t>& ch : m) {
    std::vector<uint8_t> raw;
    for (int32_t v : ch) PutU32LE(raw, static_cast<uint32_t>(v));
    const std::vector<uint8_t> packed = Bzip2Compress(raw.data(), raw.size());
    PutU32LE(b, static_cast<uint32_t>(packed.size()));
    b.insert(b.end(), packed.begin(), packed.end());
  }
  return b;
}

// Reads a file into a zeroed matrix of the given shape, as the loader does from position.
TData32 ReadInto(const std::string& path, const TFileRecordInfo& first, int64_t length,
                 int64_t position = 0, int64_t* end_position = nullptr) {
  TData32 data(static_cast<size_t>(first.ChannelCount),
               std::vector<int32_t>(static_cast<size_t>(length), 0));
  LoadTarget target;
  target.Data = &data;
  target.First = first;
  target.Position = position;
  ReadRecInto(path, target);
  if (end_position) *end_position = target.Position;
  return data;
}

TFileRecordInfo Shape(int channels, int block_samples) {
  TFileRecordInfo info;
  info.ChannelCount = channels;
  info.BlockSamples = block_samples;
  return info;
}

// ---------------------------------------------------------------------------------------------

TEST(RecBlockWalk, TextBlockSpellsItsLengthInDigits) {
  testing::TempDir dir;
  const std::string path = dir.File("t.rec");
  std::vector<uint8_t> f;
  testing::PutText(f, "[HTX123x", 8);
  f.resize(f.size() + 123, '7');  // digits in the body must not extend the length
  PutBlock(f, "[DSX", DataBody("[DSX", {{1}}));
  testing::WriteBytes(path, f);

  BinaryFile file(path);
  RecBlock b;
  ASSERT_TRUE(ReadRecBlockAt(file, 0, b));
  EXPECT_EQ(b.Tag, MakeTag("[HTX"));
  EXPECT_EQ(b.Length, 123);
  EXPECT_EQ(b.BodyOffset, 8);
  ASSERT_TRUE(ReadRecBlockAt(file, NextRecBlockOffset(b), b));
  EXPECT_EQ(b.Tag, kBlockDSX);
  EXPECT_EQ(b.HeadOffset, 131);
  EXPECT_EQ(b.Length, 28);
  EXPECT_FALSE(ReadRecBlockAt(file, NextRecBlockOffset(b), b));
}

TEST(RecBlockWalk, TextLengthOfOtherWidthsAndDamagedHeads) {
  testing::TempDir dir;
  const std::string path = dir.File("t.rec");
  struct Case {
    std::string Bytes;
    bool Ok;
    int64_t Length;
    int64_t BodyOffset;
  };
  const Case cases[] = {
      {"[HTX5\r\n", true, 5, 6},           // the head ends after the first non-digit
      {"[HTX123456\n", true, 123456, 11},  // longer than the 4 bytes of a length field
      {"[HTXabcd", true, 0, 5},            // no digits: an empty block
      {"[HTX42", true, 42, 6},             // digits up to the end of the file
      {"[HTX99999999999\n", false, 0, 0},  // beyond int32: damaged
      {std::string("[DSX\xff\xff\xff\xff", 8), false, 0, 0},  // negative length
      {"[DS", false, 0, 0},                                   // no complete tag
      {std::string("[DSX\x10\x00\x00", 7), false, 0, 0},      // no complete length
  };
  for (const Case& c : cases) {
    testing::WriteText(path, c.Bytes);
    BinaryFile file(path);
    RecBlock b;
    EXPECT_EQ(ReadRecBlockAt(file, 0, b), c.Ok) << c.Bytes;
    if (c.Ok) {
      EXPECT_EQ(b.Length, c.Length) << c.Bytes;
      EXPECT_EQ(b.BodyOffset, c.BodyOffset) << c.Bytes;
    }
  }
}

TEST(RecRecognition, FirstBlockTagDecides) {
  testing::TempDir dir;
  std::vector<uint8_t> c1;
  PutBlock(c1, "[HC1", std::vector<uint8_t>(28, 1));
  testing::WriteBytes(dir.File("c.rec"), c1);
  std::vector<uint8_t> d2;
  PutBlock(d2, "[HD2", Hd2Body("S", 4, 0, {{0, 100, 1}}, {"Z"}));
  testing::WriteBytes(dir.File("d.REC"), d2);
  testing::WriteText(dir.File("short.rec"), "[HD2\1");

  EXPECT_EQ(Recognize(dir.File("c.rec")), kTagRecC1);
  EXPECT_EQ(Recognize(dir.File("d.REC")), kTagRec2);
  EXPECT_EQ(Recognize(dir.File("short.rec")), 0u);
  EXPECT_EQ(ReadFirstBlockTag(dir.File("missing.rec")), 0u);
  TFileRecordInfo info;
  EXPECT_FALSE(ReadHeader(dir.File("c.rec"), kTagRecC1, info, 100).Ok());
}

TEST(RecHeader1, FieldsChannelsAndCoefficients) {
  testing::TempDir dir;
  const std::string path = dir.File("h1.rec");
  const double start = 38329.5;  // 2004-12-08 12:00
  std::vector<uint8_t> f;
  PutBlock(f, "[HD1",
           Hd1Body("ST01", 100, 16, start, 200.0, {"SEN_A", "SEN_B"},
                   {{1, 2.5}, {0, 5.0}, {1, 0.0}, {7, 1.0}}));
  PutBlock(f, "[HC1", std::vector<uint8_t>(28, 0));
  PutBlock(f, "[DMU", DataBody("[DMU", TData32(4, std::vector<int32_t>(100, 1))));
  PutBlock(f, "[XYZ", {1, 2, 3});
  PutBlock(f, "[DSV", DataBody("[DSV", TData32(4, std::vector<int32_t>(100, 2))));
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(path, Recognize(path), info, 0).Ok());
  EXPECT_EQ(info.Station, "ST01");
  EXPECT_DOUBLE_EQ(info.Start, start);
  EXPECT_DOUBLE_EQ(info.SampRate, 200.0);
  EXPECT_EQ(info.BlockSamples, 100);
  EXPECT_EQ(info.BlockCount, 2);
  EXPECT_EQ(info.SampleCount, 200);
  ASSERT_EQ(info.ChannelCount, 4);
  EXPECT_EQ(info.ChannelNames[0], "SEN_B");
  EXPECT_EQ(info.ChannelNames[1], "SEN_A");
  EXPECT_EQ(info.ChannelNames[2], "SEN_B");
  EXPECT_EQ(info.ChannelNames[3], "");  // points past the sensor records
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[0], 32768.0 / 2.5);
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[1], 32768.0 / 5.0);
  // A full-scale value of 0 would make the coefficient infinite; the channel stays in counts.
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[2], 1.0);
}

TEST(RecHeader2, EntriesPointAtNames) {
  testing::TempDir dir;
  const std::string path = dir.File("h2.rec");
  std::vector<uint8_t> f;
  PutBlock(
      f, "[HD2",
      Hd2Body("KRS\xc0", 512, 40000.25,
              {{2, 50.0, 1.5}, {0, 99.0, 2.5}, {1, 50.0, 3.5}, {5, 50.0, 4.5}}, {"E", "N", "Z"}));
  for (int k = 0; k < 3; ++k) PutBlock(f, "[DSX", {});
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadRecHeader2(path, info, 0));
  EXPECT_EQ(info.Station, "KRS\u0410");  // Windows-1251 0xC0
  EXPECT_DOUBLE_EQ(info.Start, 40000.25);
  EXPECT_DOUBLE_EQ(info.SampRate, 50.0);  // from the first entry
  EXPECT_EQ(info.BlockCount, 3);
  EXPECT_EQ(info.SampleCount, 1536);
  ASSERT_EQ(info.ChannelCount, 4);
  EXPECT_EQ(info.ChannelNames[0], "Z");
  EXPECT_EQ(info.ChannelNames[1], "E");
  EXPECT_EQ(info.ChannelNames[2], "N");
  EXPECT_EQ(info.ChannelNames[3], "");
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[1], 2.5);
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[3], 4.5);

  // The other variant's reader finds no header block of its own.
  EXPECT_FALSE(ReadRecHeader1(path, info, 0));
  EXPECT_EQ(info.BlockCount, 3);
}

// ---------------------------------------------------------------------------------------------

class RecLayouts : public ::testing::TestWithParam<const char*> {};

TEST_P(RecLayouts, DecodeEveryChannelAtThePosition) {
  const std::string tag = GetParam();
  const bool is_unsigned = tag[3] == 'W';
  const bool wide = tag[3] == 'X';
  // Values that tell the sample width and signedness apart.
  const int32_t big = wide ? -100000 : (is_unsigned ? 65535 : -1);
  const int32_t other = is_unsigned ? 40000 : -4;
  const TData32 block1 = {{1, big, 3}, {other, 5, 32767}, {7, 8, 9}};
  const TData32 block2 = {{10, 11, 12}, {13, 14, 15}, {16, 17, 18}};
  testing::TempDir dir;
  const std::string path = dir.File("l.rec");
  std::vector<uint8_t> f;
  PutBlock(f, "[HD2", Hd2Body("S", 3, 0, {{0, 10, 1}, {1, 10, 1}, {2, 10, 1}}, {"A", "B", "C"}));
  PutBlock(f, tag.c_str(), DataBody(tag, block1));
  PutBlock(f, "[HC1", std::vector<uint8_t>(28, 0xFF));
  PutBlock(f, tag.c_str(), DataBody(tag, block2));
  testing::WriteBytes(path, f);

  int64_t end = 0;
  const TData32 m = ReadInto(path, Shape(3, 3), 9, 2, &end);
  EXPECT_EQ(end, 8);
  for (size_t c = 0; c < 3; ++c) {
    const std::vector<int32_t> expected = {
        0, 0, block1[c][0], block1[c][1], block1[c][2], block2[c][0], block2[c][1], block2[c][2],
        0};
    EXPECT_EQ(m[c], expected) << tag << " channel " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(Tags, RecLayouts,
                         ::testing::Values("[DMU", "[DMV", "[DSV", "[DMW", "[DSW", "[DMX", "[DSX"));

TEST(RecData, CompressedBlocksAdvanceByTheirOwnLength) {
  testing::TempDir dir;
  const std::string path = dir.File("z.rec");
  const TData32 a = {{1, -2, 3, INT32_MIN, INT32_MAX}, {6, 7, 8, 9, 10}};
  const TData32 b = {{11, 12}, {13, 14}};
  std::vector<uint8_t> f;
  PutBlock(f, "[HD2", Hd2Body("S", 5, 0, {{0, 10, 1}, {1, 10, 1}}, {"A", "B"}));
  PutBlock(f, "[DSZ", DszBody(a));
  PutBlock(f, "[DSZ", DszBody(b));
  testing::WriteBytes(path, f);

  int64_t end = 0;
  const TData32 m = ReadInto(path, Shape(2, 5), 10, 0, &end);
  EXPECT_EQ(end, 7);
  EXPECT_EQ(m[0], (std::vector<int32_t>{1, -2, 3, INT32_MIN, INT32_MAX, 11, 12, 0, 0, 0}));
  EXPECT_EQ(m[1], (std::vector<int32_t>{6, 7, 8, 9, 10, 13, 14, 0, 0, 0}));
}

TEST(RecData, BlocksBeyondTheMatrixAreClipped) {
  testing::TempDir dir;
  const std::string path = dir.File("c.rec");
  std::vector<uint8_t> f;
  PutBlock(f, "[HD2", Hd2Body("S", 4, 0, {{0, 10, 1}}, {"A"}));
  PutBlock(f, "[DSX", DataBody("[DSX", {{1, 2, 3, 4}}));
  PutBlock(f, "[DSZ", DszBody({{5, 6, 7, 8}}));
  PutBlock(f, "[DMX", DataBody("[DMX", {{9, 10, 11, 12}}));
  testing::WriteBytes(path, f);

  // Starting before index 0: the first two samples fall outside.
  EXPECT_EQ(ReadInto(path, Shape(1, 4), 6, -2)[0], (std::vector<int32_t>{3, 4, 5, 6, 7, 8}));
  // A matrix shorter than the file: the rest is dropped, nothing is written past its end.
  int64_t end = 0;
  EXPECT_EQ(ReadInto(path, Shape(1, 4), 5, 0, &end)[0], (std::vector<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_GE(end, 5);
}

TEST(RecData, BlockShorterThanItsCountKeepsZerosButAdvances) {
  testing::TempDir dir;
  const std::string path = dir.File("s.rec");
  std::vector<uint8_t> f;
  PutBlock(f, "[HD2", Hd2Body("S", 4, 0, {{0, 10, 1}, {1, 10, 1}}, {"A", "B"}));
  PutBlock(f, "[DMX", DataBody("[DMX", {{1, 2, 3}, {4, 5, 6}}));  // 3 frames of 4
  PutBlock(f, "[DSX", DataBody("[DSX", {{7, 8, 9, 10}, {11, 12, 13, 14}}));
  PutBlock(f, "[DQQ", DataBody("[DSX", {{1, 1, 1, 1}, {1, 1, 1, 1}}));  // unknown layout
  PutBlock(f, "[DSX", DataBody("[DSX", {{15, 16, 17, 18}, {19}}));      // second run cut short
  testing::WriteBytes(path, f);

  int64_t end = 0;
  const TData32 m = ReadInto(path, Shape(2, 4), 16, 0, &end);
  EXPECT_EQ(end, 16);
  EXPECT_EQ(m[0], (std::vector<int32_t>{1, 2, 3, 0, 7, 8, 9, 10, 0, 0, 0, 0, 15, 16, 17, 18}));
  EXPECT_EQ(m[1], (std::vector<int32_t>{4, 5, 6, 0, 11, 12, 13, 14, 0, 0, 0, 0, 19, 0, 0, 0}));
}

TEST(RecData, MoreThan32ChannelsKeepsTheFirst32) {
  constexpr int kChannels = 40;
  TData32 block(kChannels);
  std::vector<Entry> entries;
  std::vector<std::string> names;
  for (int c = 0; c < kChannels; ++c) {
    block[static_cast<size_t>(c)] = {c * 100, c * 100 + 1};
    entries.push_back({c, 20.0, 1.0 + c});
    names.push_back("C" + std::to_string(c));
  }
  for (const char* tag : {"[DMX", "[DSV"}) {
    testing::TempDir dir;
    const std::string path = dir.File("w.rec");
    std::vector<uint8_t> f;
    PutBlock(f, "[HD2", Hd2Body("S", 2, 0, entries, names));
    PutBlock(f, tag, DataBody(tag, block));
    testing::WriteBytes(path, f);

    TFileRecordInfo info;
    ASSERT_TRUE(ReadRecHeader2(path, info, 0));
    ASSERT_EQ(info.ChannelCount, 32);
    EXPECT_EQ(info.ChannelNames[31], "C31");
    EXPECT_DOUBLE_EQ(info.ChannelCoefs[31], 32.0);
    const TData32 m = ReadInto(path, info, 2);
    for (int c = 0; c < 32; ++c) {
      EXPECT_EQ(m[static_cast<size_t>(c)], block[static_cast<size_t>(c)]) << tag << " " << c;
    }
  }
}

// ---------------------------------------------------------------------------------------------

TEST(RecWriters, HeaderAndCompressedBlocksReadBack) {
  TFileRecordInfo src;
  src.Station = "Пункт1X";
  src.Start = 42000.125;
  src.SampRate = 125.0;
  src.BlockSamples = 6;
  src.ChannelCount = 3;
  src.ChannelNames = {"Z", "N", "Восток"};
  src.ChannelCoefs = {1.5, 2.5, 3.5};
  TData32 first = {{1, 2, 3, 4, 5, 6}, {-1, -2, -3, -4, -5, -6}, {INT32_MAX, INT32_MIN, 0}};
  TData32 whole = {{7, 8, 9, 10, 11, 12, 13}, {14, 15, 16, 17, 18, 19, 20}, {21}};

  testing::TempDir dir;
  const std::string path = dir.File("w.rec");
  std::vector<uint8_t> f = MakeRecHeader2Block(src);
  const std::vector<uint8_t> b1 = MakeDszBlock(first, {src.Start, src.Start, src.Start});
  const std::vector<uint8_t> b2 = MakeDszBlock(whole, 1, 3, {0, 0, 0});  // samples 1..3
  ASSERT_FALSE(b1.empty());
  ASSERT_FALSE(b2.empty());
  f.insert(f.end(), b1.begin(), b1.end());
  f.insert(f.end(), b2.begin(), b2.end());
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_EQ(Recognize(path), kTagRec2);
  ASSERT_TRUE(ReadHeader(path, kTagRec2, info, 0).Ok());
  EXPECT_EQ(info.Station, src.Station);
  EXPECT_DOUBLE_EQ(info.Start, src.Start);
  EXPECT_DOUBLE_EQ(info.SampRate, src.SampRate);
  EXPECT_EQ(info.BlockSamples, 6);
  EXPECT_EQ(info.BlockCount, 2);
  EXPECT_EQ(info.SampleCount, 12);
  ASSERT_EQ(info.ChannelCount, 3);
  for (size_t c = 0; c < 3; ++c) {
    EXPECT_EQ(info.ChannelNames[c], src.ChannelNames[c]);
    EXPECT_DOUBLE_EQ(info.ChannelCoefs[c], src.ChannelCoefs[c]);
  }

  int64_t end = 0;
  const TData32 m = ReadInto(path, info, 12, 0, &end);
  EXPECT_EQ(end, 9);
  EXPECT_EQ(m[0], (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 8, 9, 10, 0, 0, 0}));
  EXPECT_EQ(m[1], (std::vector<int32_t>{-1, -2, -3, -4, -5, -6, 15, 16, 17, 0, 0, 0}));
  EXPECT_EQ(m[2], (std::vector<int32_t>{INT32_MAX, INT32_MIN, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RecWriters, HeaderBlockLengthAndFixedFields) {
  TFileRecordInfo src;
  src.Station = "ABCDEFGHIJ";  // cut to 7
  src.BlockSamples = 77;
  src.ChannelCount = 40;  // at most 32 entries and names
  const std::vector<uint8_t> block = MakeRecHeader2Block(src, kRecFormatWordSlBase + 12);
  ASSERT_EQ(block.size(), 8u + 32 + 28 * 32);
  EXPECT_EQ(std::string(block.begin(), block.begin() + 4), "[HD2");
  EXPECT_EQ(LoadI32LE(&block[4]), 32 + 20 * 32 + 8 * 32);
  EXPECT_EQ(block[8], 7);
  EXPECT_EQ(std::string(block.begin() + 9, block.begin() + 16), "ABCDEFG");
  EXPECT_EQ(LoadI32LE(&block[16]), 77);
  EXPECT_EQ(LoadI32LE(&block[20]), 32);
  EXPECT_EQ(LoadI32LE(&block[24]), 32);
  EXPECT_EQ(LoadI32LE(&block[28]), 1036);
}

// ---------------------------------------------------------------------------------------------

TEST(RecDamaged, EveryTruncationAndAbsurdCountsReadSafely) {
  std::vector<uint8_t> f;
  PutBlock(f, "[HD1", Hd1Body("ST", 3, 12, 1, 1, {"A"}, {{0, 1}, {0, 1}}));
  PutBlock(f, "[HD2", Hd2Body("S", 3, 0, {{0, 1, 1}, {1, 1, 1}}, {"A", "B"}));
  PutBlock(f, "[DMU", DataBody("[DMU", {{1, 2, 3}, {4, 5, 6}}));
  PutBlock(f, "[DSZ", DszBody({{1, 2, 3}, {4, 5, 6}}));
  testing::PutText(f, "[HTX9\n", 6);
  PutBlock(f, "[DSX", DataBody("[DSX", {{1, 2, 3}, {4, 5, 6}}));

  testing::TempDir dir;
  const std::string path = dir.File("d.rec");
  for (size_t len = 0; len <= f.size(); ++len) {
    testing::WriteBytes(path, std::vector<uint8_t>(f.begin(), f.begin() + len));
    TFileRecordInfo info;
    ReadRecHeader1(path, info, 0);
    EXPECT_LE(info.ChannelCount, 2);
    ReadRecHeader2(path, info, 0);
    ReadInto(path, Shape(2, 3), 12);
  }

  // Counts far beyond the file: decoding is bounded by the bytes there are.
  std::vector<uint8_t> dsz(24, 0);
  PutU32LE(dsz, 0x7FFFFFFF);
  dsz.insert(dsz.end(), {'B', 'Z', 'h', '9'});
  for (const int32_t entries : {1, INT32_MAX}) {
    std::vector<uint8_t> absurd;
    PutBlock(absurd, "[HD2", Hd2Body("S", INT32_MAX, 0, {{0, 1, 1}}, {"A"}, entries));
    PutBlock(absurd, "[DSZ", dsz);
    PutBlock(absurd, "[DMX", DataBody("[DMX", {{1, 2}}));
    testing::WriteBytes(path, absurd);
    TFileRecordInfo info;
    // A header that names more entries than its block holds is damaged.
    ASSERT_EQ(ReadRecHeader2(path, info, 0), entries == 1);
    const TData32 m = ReadInto(path, Shape(1, INT32_MAX), 4);
    // With the file's own absurd channel count no frame fits in the block.
    EXPECT_EQ(m[0], entries == 1 ? (std::vector<int32_t>{1, 2, 0, 0})
                                 : (std::vector<int32_t>{0, 0, 0, 0}));
  }
}

}  // namespace
}  // namespace tarvik

#include "records/sdas.h"

#include <gtest/gtest.h>

#include "records/formats.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::PutU16LE;
using Stamp = std::array<int, 6>;  // day, month, year, hour, minute, second

// The 256-byte block header; bytes the readers do not use hold 0x11.
std::vector<uint8_t> BlockHeader(int rate, int duration, const Stamp& first, const Stamp& second,
                                 uint16_t marker = 0xAAAA) {
  std::vector<uint8_t> b;
  for (int k = 0; k < 4; ++k) PutU16LE(b, marker);
  b.resize(28, 0x11);
  PutU16LE(b, static_cast<uint16_t>(rate));
  b.resize(34, 0x11);
  for (int v : first) PutU16LE(b, static_cast<uint16_t>(v));
  for (int v : second) PutU16LE(b, static_cast<uint16_t>(v));
  b.resize(86, 0x11);
  testing::PutText(b, "ABCD", 4);
  b.resize(106, 0x11);
  PutU16LE(b, static_cast<uint16_t>(duration));
  b.resize(256, 0x11);
  return b;
}

// A block: its header and then each channel's run of uint16 samples.
void PutBlock(std::vector<uint8_t>& file, int rate, int duration, const TData32& runs,
              const Stamp& stamp = {8, 12, 2004, 21, 51, 19}, uint16_t marker = 0xAAAA) {
  const std::vector<uint8_t> h = BlockHeader(rate, duration, stamp, stamp, marker);
  file.insert(file.end(), h.begin(), h.end());
  for (const std::vector<int32_t>& run : runs)
    for (int32_t v : run) PutU16LE(file, static_cast<uint16_t>(v));
}

// The text header (CR LF lines) padded with zero bytes to the data offset.
std::vector<uint8_t> TextHeader(const std::string& text, size_t offset_to_data) {
  std::vector<uint8_t> b;
  for (char ch : text) {
    if (ch == '\n') b.push_back('\r');
    b.push_back(static_cast<uint8_t>(ch));
  }
  b.resize(offset_to_data, 0);
  return b;
}

const char kTwoStreams[] =
    "[HEADER]\n"
    "HEADER_SIZE=3072\n"
    "OFFSET_TO_DATA=1024\n"
    "TYPE=Seismic Digital Aquasition Station, V.3.11\n"
    "[SYSTEM]\n"
    "NAME=KRV01\n"
    "N_CHANNEL=3\n"
    "N_STREAM=2\n"
    "[CH1]\n"
    "STAT=ON\n"
    "NAME=BHZ\n"
    "[CH2]\n"
    "NAME=BHE\n"
    "[CH3]\n"
    "STAT=ON\n"
    "NAME=BHN\n"
    "[STREAM1]\n"
    "TYPE=TRIGGER\n"
    "N_CH=3\n"
    "CH=1,2,3\n"
    "[STREAM2]\n"
    "TYPE=PERMANENT\n"
    "REC_SIZE_SEC=2\n"
    "FILE_SIZE_SEC=60\n"
    "N_CH=2\n"
    "CH=3, 1\n"
    "[FILE]\n"
    "STREAM=2\n";

// ---------------------------------------------------------------------------------------------

struct StartCase {
  Stamp Second;
  bool SecondUsed;
};

class SdasStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(SdasStart, SecondStampFrom1999OnElseFirst) {
  const Stamp first = {8, 12, 2004, 21, 51, 19};
  testing::TempDir dir;
  const std::string path = dir.File("a.sdas");
  std::vector<uint8_t> f = TextHeader(kTwoStreams, 1024);
  const std::vector<uint8_t> h = BlockHeader(100, 2, first, GetParam().Second);
  f.insert(f.end(), h.begin(), h.end());
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_EQ(Recognize(path), kTagSdas);
  ASSERT_TRUE(ReadHeader(path, kTagSdas, info, 0).Ok());
  const Stamp& s = GetParam().SecondUsed ? GetParam().Second : first;
  EXPECT_DOUBLE_EQ(info.Start, EncodeDateTime(s[2], s[1], s[0], s[3], s[4], s[5]));
}

INSTANTIATE_TEST_SUITE_P(Stamps, SdasStart,
                         ::testing::Values(StartCase{{31, 12, 1998, 23, 59, 59}, false},
                                           StartCase{{1, 1, 1999, 0, 0, 0}, true},
                                           StartCase{{9, 12, 2004, 1, 2, 3}, true},
                                           StartCase{{0, 0, 0, 0, 0, 0}, false}));

TEST(SdasHeader, FileStreamGivesChannelsAndCounts) {
  testing::TempDir dir;
  const std::string path = dir.File("a.SDAS");
  std::vector<uint8_t> f = TextHeader(kTwoStreams, 1024);
  PutBlock(f, 100, 2, TData32(2, std::vector<int32_t>(200, 1)));
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadSdasHeader(path, info, 0));
  EXPECT_EQ(info.Station, "KRV01");
  EXPECT_DOUBLE_EQ(info.SampRate, 100.0);
  ASSERT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.ChannelNames[0], "BHN");
  EXPECT_EQ(info.ChannelNames[1], "BHZ");
  EXPECT_DOUBLE_EQ(info.ChannelCoefs[0], 1.0);
  EXPECT_EQ(info.BlockCount, 1);
  EXPECT_EQ(info.SampleCount, 6000);
  EXPECT_EQ(info.BlockSamples, 200);

  TSDASCommonHead head;
  BinaryFile file(path);
  ASSERT_TRUE(ReadSdasCommonHead(file, head));
  EXPECT_EQ(head.Stream(1).Type, 'T');
  EXPECT_TRUE(head.Channel(3).On);
  EXPECT_FALSE(head.Channel(2).On);
  EXPECT_EQ(head.File.DataType, "UINT");  // default
}

TEST(SdasHeader, MissingSectionsTakeDefaults) {
  testing::TempDir dir;
  const std::string path = dir.File("d.sdas");
  std::vector<uint8_t> f = TextHeader("[header]\nOFFSET_TO_DATA=512\n", 512);
  PutBlock(f, 50, 1, TData32(3, std::vector<int32_t>(50, 0)));
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadSdasHeader(path, info, 0));
  EXPECT_EQ(info.Station, "noname");
  ASSERT_EQ(info.ChannelCount, 3);  // the default stream: channels 7, 5, 3
  EXPECT_EQ(info.ChannelNames[2], "EEE");
  EXPECT_EQ(info.SampleCount, 3600 * 50);
  EXPECT_EQ(info.BlockSamples, 5 * 50);
}

TEST(SdasHeader, TextThatIsNotAnSdasHeader) {
  testing::TempDir dir;
  struct Case {
    const char* Text;
    FormatTag Tag;
  };
  const Case cases[] = {
      {"[SYSTEM]\nNAME=X\n[HEADER]\n", kTagSdasBad},
      {"NAME=X\n[HEADER]\n", kTagSdasBad},
      {"", kTagSdasBad},
      {"\n  \n[HEADER]\n", kTagSdas},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File("t.sdas");
    testing::WriteBytes(path, TextHeader(c.Text, 300));
    EXPECT_EQ(Recognize(path), c.Tag) << c.Text;
  }
}

// ---------------------------------------------------------------------------------------------

TEST(SdasRead, BlocksUntilTheFirstInvalidOne) {
  testing::TempDir dir;
  const std::string path = dir.File("r.sdas");
  std::vector<uint8_t> f = TextHeader(kTwoStreams, 1024);
  // The file's stream (2) has two channels; the first stream has three.
  PutBlock(f, 4, 2, {{1, 2, 3, 4, 5, 6, 7, 65535}, {9, 10, 11, 12, 13, 14, 15, 16}});
  PutBlock(f, 2, 1, {{20, 21}, {22, 23}});
  PutBlock(f, 2, 1, {{30, 31}, {32, 33}}, {}, 0xAAAB);  // bad marker: reading ends here
  PutBlock(f, 2, 1, {{40, 41}, {42, 43}});
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadSdasHeader(path, info, 0));
  TData32 data(2, std::vector<int32_t>(14, 0));
  LoadTarget target;
  target.Data = &data;
  target.First = info;
  target.Position = 1;
  ReadSdasInto(path, target);
  EXPECT_EQ(target.Position, 11);
  EXPECT_EQ(data[0], (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 65535, 20, 21, 0, 0, 0}));
  EXPECT_EQ(data[1], (std::vector<int32_t>{0, 9, 10, 11, 12, 13, 14, 15, 16, 22, 23, 0, 0, 0}));

  // A matrix too short for the file, entered before its start: clipped at both ends.
  TData32 small(2, std::vector<int32_t>(5, 0));
  target.Data = &small;
  target.Position = -2;
  ReadSdasInto(path, target);
  EXPECT_EQ(small[0], (std::vector<int32_t>{3, 4, 5, 6, 7}));
}

TEST(SdasRead, StreamOfMoreThan32ChannelsKeepsTheFirst32) {
  std::string text = "[HEADER]\nOFFSET_TO_DATA=600\n[STREAM1]\nN_CH=40\nCH=";
  for (int c = 1; c <= 40; ++c) text += std::to_string(c) + (c < 40 ? "," : "\n");
  TData32 runs;
  for (int c = 0; c < 40; ++c) runs.push_back({c, 1000 + c});
  testing::TempDir dir;
  const std::string path = dir.File("w.sdas");
  std::vector<uint8_t> f = TextHeader(text, 600);
  PutBlock(f, 2, 1, runs);
  PutBlock(f, 2, 1, runs);
  testing::WriteBytes(path, f);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadSdasHeader(path, info, 0));
  ASSERT_EQ(info.ChannelCount, 32);
  TData32 data(32, std::vector<int32_t>(4, 0));
  LoadTarget target;
  target.Data = &data;
  target.First = info;
  ReadSdasInto(path, target);
  EXPECT_EQ(target.Position, 4);
  for (int c = 0; c < 32; ++c) {
    EXPECT_EQ(data[static_cast<size_t>(c)], (std::vector<int32_t>{c, 1000 + c, c, 1000 + c}));
  }
}

TEST(SdasDamaged, TruncationsAndAbsurdBlockSizes) {
  std::vector<uint8_t> f = TextHeader(kTwoStreams, 1024);
  PutBlock(f, 4, 2, TData32(2, std::vector<int32_t>(8, 7)));
  PutBlock(f, 32767, 32767, TData32(2, std::vector<int32_t>(8, 9)));  // far beyond the file
  PutBlock(f, 4, 2, TData32(2, std::vector<int32_t>(8, 7)));
  testing::TempDir dir;
  const std::string path = dir.File("x.sdas");
  for (size_t len = 0; len <= f.size(); len += (len < 1100 ? 37 : 1)) {
    testing::WriteBytes(path, std::vector<uint8_t>(f.begin(), f.begin() + len));
    TFileRecordInfo info;
    Recognize(path);
    ReadSdasHeader(path, info, 0);
    TData32 data(2, std::vector<int32_t>(16, 0));
    LoadTarget target;
    target.Data = &data;
    target.First = info;
    ReadSdasInto(path, target);
    if (len == f.size()) {
      EXPECT_EQ(target.Position, 8 + int64_t{32767} * 32767);
      EXPECT_EQ(data[0][8], 9);
    }
  }
}

}  // namespace
}  // namespace tarvik

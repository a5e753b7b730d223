#include "records/reftek.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "decimal_comma_locale.h"
#include "packet_test_support.h"
#include "records/load_target.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RealFile;

constexpr double kMillisecond = 1e-3 / 86400.0;
const char* const kThreeChannels = "reftek/225051000_00008656";

std::vector<int32_t> Concatenated(const std::string& ref) {
  std::vector<int32_t> out;
  for (const testing::RefRecord& r : testing::ReadRefListing(RealFile(ref))) {
    for (double v : r.Samples) out.push_back(static_cast<int32_t>(v));
  }
  return out;
}

// The channels of a file as the sample loader reads them: header, matrix, packets.
TData32 Load(const std::string& path, TFileRecordInfo& info) {
  EXPECT_TRUE(ReadReftekHeader(path, info, 100.0));
  TData32 data(static_cast<size_t>(info.ChannelCount),
               std::vector<int32_t>(static_cast<size_t>(info.SampleCount), 0));
  LoadTarget target;
  target.Data = &data;
  ReadReftekInto(path, target);
  EXPECT_EQ(target.Position, info.SampleCount);
  return data;
}

TEST(ReftekCorpus, SteimChannelsMatchReferences) {
  TFileRecordInfo info;
  const TData32 data = Load(RealFile(kThreeChannels), info);
  EXPECT_EQ(info.Station, "KW1");
  EXPECT_DOUBLE_EQ(info.SampRate, 200.0);
  EXPECT_NEAR(info.Start, EncodeDayOfYear(2015, 282, 22, 50, 51), kMillisecond);
  EXPECT_EQ(info.BlockCount, 27);
  EXPECT_EQ(info.BlockSamples, 1024);
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0], "EH_1");
  EXPECT_EQ(info.ChannelNames[2], "EH_3");
  EXPECT_NEAR(info.ChannelCoefs[0], 1.0 / 1.585e-6, 1e-6);
  EXPECT_NEAR(info.ChannelCoefs[1], 1.0 / 1.587e-6, 1e-6);
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    const std::vector<int32_t> expected =
        Concatenated("reftek/2015282_225051_0ae4c_1_" + std::to_string(c + 1) + ".ref.txt");
    EXPECT_EQ(data[static_cast<size_t>(c)], expected);
  }
}

TEST(ReftekCorpus, UncompressedFilesMatchReferences) {
  for (const char* name : {"065520000_013EE8A0", "230000005_0036EE80_cropped"}) {
    SCOPED_TRACE(name);
    TFileRecordInfo info;
    const TData32 data = Load(RealFile(std::string("reftek/") + name + ".rt130"), info);
    const std::vector<std::vector<int32_t>> expected =
        testing::ReadRefArrays(RealFile(std::string("reftek/") + name + ".ref.txt"));
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(data, expected);
  }
}

// Record compression reads a Reftek record through the segment list, asking for the header's
// station and channel names.
TEST(ReftekCorpus, SegmentListGivesTheSameSamples) {
  const std::string path = RealFile(kThreeChannels);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadReftekHeader(path, info, 100.0));
  TRecList list;
  BuildReftekSegments(path, list, "");
  ASSERT_EQ(list.size(), 27u);
  EXPECT_EQ(list[0].Channel, "EH_1");
  EXPECT_EQ(list[0].Offset, 1024 + 64);
  EXPECT_EQ(list[0].BlockSize, 960);
  EXPECT_EQ(list[0].DataType, kSampleSteim1a);
  // Channel 1's second packet follows its first 549 samples.
  EXPECT_NEAR(list[3].StartTime, info.Start + 549 / 200.0 / 86400.0, kMillisecond / 100);
  const auto [from, to] = list.Span();
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    const TRecordDescription got =
        list.GetData(info.Station, "00", to, from, info.ChannelNames[static_cast<size_t>(c)]);
    EXPECT_EQ(got.Data,
              Concatenated("reftek/2015282_225051_0ae4c_1_" + std::to_string(c + 1) + ".ref.txt"));
  }
}

TEST(ReftekPacket, TimeFromTheHeaderDigits) {
  const std::vector<uint8_t> bytes = testing::ReadBytes(RealFile(kThreeChannels));
  const auto first = ReftekPacketTime(std::span(bytes).subspan(1024, 1024));
  ASSERT_TRUE(first);
  EXPECT_NEAR(*first, EncodeDayOfYear(2015, 282, 22, 50, 51, 0.0), kMillisecond / 10);
  const auto fourth = ReftekPacketTime(std::span(bytes).subspan(4 * 1024, 1024));
  ASSERT_TRUE(fourth);
  EXPECT_NEAR(*fourth, EncodeDayOfYear(2015, 282, 22, 50, 53, 0.745), kMillisecond / 10);
  std::vector<uint8_t> damaged(bytes.begin() + 1024, bytes.begin() + 2048);
  damaged[8] = 0x6A;  // minute digit "A"
  EXPECT_FALSE(ReftekPacketTime(damaged));
}

TEST(ReftekPacket, GainTextsInVolts) {
  EXPECT_DOUBLE_EQ(*ReftekGainVolts("1.585 uV"), 1.585e-6);
  EXPECT_DOUBLE_EQ(*ReftekGainVolts("104.2 mV"), 0.1042);
  EXPECT_DOUBLE_EQ(*ReftekGainVolts("5 nV    "), 5e-9);
  EXPECT_DOUBLE_EQ(*ReftekGainVolts("2.5"), 2.5);
  for (const char* bad : {"        ", "abc uV", "0 uV"}) EXPECT_FALSE(ReftekGainVolts(bad)) << bad;

  // Gains and rates are texts with a decimal point whatever the host's locale.
  const testing::DecimalCommaLocale comma;
  EXPECT_DOUBLE_EQ(*ReftekGainVolts("1.585 uV"), 1.585e-6) << comma.Active();
  std::vector<uint8_t> eh(1024, ' ');
  eh[0] = 'E';
  eh[1] = 'H';
  std::memcpy(&eh[88], "0.1 ", 4);
  std::memcpy(&eh[288], "305.2 uV", 8);
  const TReftekEvent event = ParseReftekEvent(eh);
  EXPECT_DOUBLE_EQ(event.SampRate, 0.1);
  EXPECT_DOUBLE_EQ(event.Coefs[0], 1.0 / 305.2e-6);
}

// A data packet with the given channel, BCD count and format, samples 1, 2, 3, ...
std::vector<uint8_t> DataPacket(int channel, uint16_t bcd_count, uint8_t format) {
  std::vector<uint8_t> p(1024, 0);
  p[0] = 'D';
  p[1] = 'T';
  p[3] = 0x15;
  p[6] = 0x28;  // day 282, 22:50:51.000
  p[7] = 0x22;
  p[8] = 0x25;
  p[9] = 0x05;
  p[10] = 0x10;
  p[19] = static_cast<uint8_t>(channel);
  p[20] = static_cast<uint8_t>(bcd_count >> 8);
  p[21] = static_cast<uint8_t>(bcd_count);
  p[23] = format;
  for (int i = 0; i < 500; ++i) {
    if (format == 0x16) {
      p[24 + 2 * i] = static_cast<uint8_t>((i + 1) >> 8);
      p[25 + 2 * i] = static_cast<uint8_t>(i + 1);
    } else if (i < 250) {
      p[26 + 4 * i] = static_cast<uint8_t>((i + 1) >> 8);
      p[27 + 4 * i] = static_cast<uint8_t>(i + 1);
    }
  }
  return p;
}

struct CountCase {
  uint16_t Bcd;
  uint8_t Format;
  int Samples;
};

class ReftekCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(ReftekCount, SamplesOfAPacket) {
  const std::vector<uint8_t> p = DataPacket(0, GetParam().Bcd, GetParam().Format);
  EXPECT_EQ(ReftekPacketSamples(p), GetParam().Samples);
  std::vector<int32_t> out;
  DecodeReftekPacket(p, out);
  ASSERT_EQ(out.size(), static_cast<size_t>(GetParam().Samples));
  if (!out.empty() && GetParam().Format < 0xC0) {
    EXPECT_EQ(out.front(), 1);
    EXPECT_EQ(out.back(), GetParam().Samples);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReftekCount,
    ::testing::Values(CountCase{0x0000, 0x16, 500},  // 0000: a full packet
                      CountCase{0x0123, 0x16, 123}, CountCase{0x0999, 0x16, 500},
                      CountCase{0x0000, 0x32, 250}, CountCase{0x0249, 0x32, 249},
                      CountCase{0x0000, 0x33, 250}, CountCase{0x9999, 0x33, 250},
                      CountCase{0x1234, 0xC2, 1234}, CountCase{0x9999, 0xC0, 1680},
                      CountCase{0x00A0, 0x16, 0},  // not BCD
                      CountCase{0x0100, 0x24, 0}));

class ReftekFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<uint8_t> real = testing::ReadBytes(RealFile(kThreeChannels));
    event_.assign(real.begin(), real.begin() + 1024);
  }
  std::string Write(const std::string& name, const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<uint8_t> bytes;
    for (const auto& p : packets) bytes.insert(bytes.end(), p.begin(), p.end());
    const std::string path = dir_.File(name);
    testing::WriteBytes(path, bytes);
    return path;
  }
  testing::TempDir dir_;
  std::vector<uint8_t> event_;
};

// Files that continue an event hold data packets only; the event header is taken from the
// nearest earlier file of the folder that begins with one.
TEST_F(ReftekFolder, EventHeaderFromAnEarlierFile) {
  std::vector<uint8_t> later = DataPacket(1, 0x0010, 0x16);
  later[9] = 0x15;  // 22:51:51.000
  Write("225051000_00000001", {event_, DataPacket(0, 0x0010, 0x16)});
  Write("225051000_00000002", {DataPacket(0, 0x0010, 0x16)});
  // 32-bit data flagged 0x33 reads as 32-bit samples through the segment list too.
  const std::string path = Write("225051000_00000003", {later, DataPacket(0, 0x0020, 0x33)});
  Write("225051000_00000004", {event_});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadReftekHeader(path, info, 100.0));
  EXPECT_EQ(info.Station, "KW1");
  EXPECT_DOUBLE_EQ(info.SampRate, 200.0);
  EXPECT_EQ(info.ChannelNames[0], "EH_1");
  EXPECT_NEAR(info.Start, EncodeDayOfYear(2015, 282, 22, 51, 51), kMillisecond);
  EXPECT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.SampleCount, 20);

  TRecList list;
  BuildReftekSegments(path, list, "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Station, "KW1");
  EXPECT_EQ(list[0].Channel, "EH_2");
  EXPECT_DOUBLE_EQ(list[0].SampRate, 200.0);
  EXPECT_NEAR(list[0].StartTime, info.Start, kMillisecond / 100);
  EXPECT_EQ(list[1].Offset, 1024 + 24);
  EXPECT_EQ(ReadSamples(list[1]).back(), 20);
}

TEST_F(ReftekFolder, NoEventHeaderAnywhere) {
  const std::string path = Write("225051000_00000002", {DataPacket(0, 0x0010, 0x16)});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadReftekHeader(path, info, 100.0));
  EXPECT_EQ(info.SampRate, 0.0);
  EXPECT_TRUE(info.ChannelNames[0].empty());
  EXPECT_NEAR(info.Start, EncodeDayOfYear(2015, 282, 22, 50, 51), kMillisecond);

  const std::string empty = Write("225051000_00000003", {});
  EXPECT_FALSE(ReadReftekHeader(empty, info, 100.0));
}

// Packets of channels the matrix does not have are dropped; each channel advances on its own.
TEST_F(ReftekFolder, ChannelsOutsideTheMatrixAreDropped) {
  const std::string path =
      Write("225051000_00000001", {event_, DataPacket(0, 0x0010, 0x16), DataPacket(1, 0x0005, 0x16),
                                   DataPacket(0, 0x0010, 0x16), DataPacket(2, 0x0010, 0x16),
                                   DataPacket(16, 0x0010, 0x16), DataPacket(200, 0x0010, 0x16)});
  TData32 data(2, std::vector<int32_t>(25, -1));
  LoadTarget target;
  target.Data = &data;
  target.ChannelPositions[1] = 3;
  ReadReftekInto(path, target);
  EXPECT_EQ(target.ChannelPositions[0], 20);
  EXPECT_EQ(target.ChannelPositions[1], 8);
  EXPECT_EQ(target.ChannelPositions[2], 0);
  EXPECT_EQ(target.Position, 20);
  EXPECT_EQ(data[0][10], 1);
  EXPECT_EQ(data[0][19], 10);
  EXPECT_EQ(data[0][20], -1);
  EXPECT_EQ(data[1][2], -1);
  EXPECT_EQ(data[1][3], 1);

  // A matrix shorter than the packets: the rest is cut, nothing is written outside.
  TData32 small(1, std::vector<int32_t>(4, 0));
  LoadTarget cut;
  cut.Data = &small;
  ReadReftekInto(path, cut);
  EXPECT_EQ(small[0], (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(cut.ChannelPositions[0], 20);

  TFileRecordInfo info;
  ASSERT_TRUE(ReadReftekHeader(path, info, 100.0));
  EXPECT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.BlockCount, 6);
}

}  // namespace
}  // namespace tarvik

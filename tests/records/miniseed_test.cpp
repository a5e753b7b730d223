#include "records/miniseed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/text_encoding.h"
#include "packet_test_support.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::MakeMsRecord;
using testing::MsRecordSpec;
using testing::ReadRefListing;
using testing::RealFile;
using testing::RefRecord;

constexpr double kMicrosecond = 1e-6 / 86400.0;

TRecList Segments(const std::string& path) {
  TRecList list;
  BuildMiniSeedSegments(path, list, "");
  return list;
}

int32_t CodeOfEncoding(int encoding) {
  switch (encoding) {
    case 1:
      return kSampleS2;
    case 3:
      return kSampleS4;
    case 4:
      return kSampleT4;
    case 5:
      return kSampleT8;
    case 10:
      return kSampleSteim1a;
    case 11:
      return kSampleSteim2a;
    default:
      return kSampleUnknown;
  }
}

// Every record of a corpus file against the listing an independent decoder made of it.
class MiniSeedCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(MiniSeedCorpus, RecordsMatchReference) {
  const std::string path = RealFile(std::string("mseed/") + GetParam() + ".mseed");
  const std::vector<RefRecord> refs =
      ReadRefListing(RealFile(std::string("mseed/") + GetParam() + ".ref.txt"));
  ASSERT_FALSE(refs.empty());
  const TRecList list = Segments(path);
  ASSERT_EQ(list.size(), refs.size());
  SampleReader reader;
  for (size_t i = 0; i < refs.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const RefRecord& ref = refs[i];
    const TRecordDescription& seg = list[i];
    EXPECT_EQ(seg.Station, ref.station);
    EXPECT_EQ(seg.Location, ref.location.empty() ? "00" : ref.location);
    EXPECT_EQ(seg.Channel, ref.channel);
    EXPECT_NEAR(seg.StartTime, UnixToDateTime(ref.start_unix), 5 * kMicrosecond);
    EXPECT_DOUBLE_EQ(seg.SampRate, ref.rate);
    EXPECT_EQ(seg.Count, ref.count);
    EXPECT_EQ(seg.DataType, CodeOfEncoding(ref.encoding));
    // The data reaches exactly to the record's end.
    EXPECT_EQ((seg.Offset + seg.BlockSize) % ref.record_length, 0);
    const std::vector<int32_t> samples = reader.Read(seg);
    ASSERT_EQ(samples.size(), ref.samples.size());
    for (size_t k = 0; k < samples.size(); ++k) {
      ASSERT_EQ(samples[k], static_cast<int32_t>(std::lround(ref.samples[k]))) << "sample " << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Real, MiniSeedCorpus,
    ::testing::Values("BW.BGLD.__.EHE.D.2008.001.first_10_records", "CH.BALST..LHE.D.2025.314",
                      "float32_Float32_bigEndian", "float64_Float64_bigEndian", "gaps",
                      "int16_INT16_bigEndian", "int32_INT32_bigEndian", "int32_Steim1_bigEndian",
                      "int32_Steim2_bigEndian", "one_record_already_applied_time_correction",
                      "reclen_1024_without_sequence_numbers",
                      "single_record_negative_sr_fact_and_mult", "steim2", "test", "timingquality",
                      "two_channels",
                      // A good record followed by a damaged one, which gives nothing.
                      "brokenlastrecord",
                      // The middle record has a data offset of 0 and no samples.
                      "mseed_data_offset_0"),
    [](const auto& info) {
      std::string name = info.param;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

// What our rules make of damaged and foreign files: the number of segments, and whether the
// header reader accepts the file.
struct DamagedCase {
  const char* file;
  size_t segments;
  bool header;
};

class MiniSeedDamaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(MiniSeedDamaged, GivesItsFailureResult) {
  const std::string path = RealFile(std::string("mseed/") + GetParam().file);
  const TRecList list = Segments(path);
  EXPECT_EQ(list.size(), GetParam().segments);
  TFileRecordInfo info;
  EXPECT_EQ(ReadMiniSeedHeader(path, info, 100.0), GetParam().header);
  if (!GetParam().header) {
    EXPECT_TRUE(info.Station.empty());
    EXPECT_EQ(info.SampleCount, 0);
  }
  SampleReader reader;
  for (const TRecordDescription& seg : list.Items) {
    EXPECT_EQ(reader.Read(seg).size(), static_cast<size_t>(seg.Count));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Real, MiniSeedDamaged,
    ::testing::Values(
        // Not miniSEED at all.
        DamagedCase{"not.mseed", 0, false}, DamagedCase{"not2.mseed", 0, false},
        DamagedCase{"not3.mseed", 0, false},
        // No blockette 1000, or no blockette at all.
        DamagedCase{"mseed_no_blkt_1000.mseed", 0, false},
        DamagedCase{"mseed_not_a_single_blkt_48byte_data_offset.mseed", 0, false},
        // The fixed header itself is little-endian: its first blockette lies far outside.
        DamagedCase{"int16_INT16_littleEndian.mseed", 0, false},
        DamagedCase{"int32_INT32_littleEndian.mseed", 0, false},
        DamagedCase{"float32_Float32_littleEndian.mseed", 0, false},
        DamagedCase{"float64_Float64_littleEndian.mseed", 0, false},
        // Two good records; then one whose blockette chain loops (and starts inside the fixed
        // header), then garbage: the walk goes on by 4096 bytes and ends.
        DamagedCase{"infinite-loop.mseed", 2, true}));

TEST(MiniSeedDamaged, LoopingFileKeepsItsGoodRecords) {
  const TRecList list = Segments(RealFile("mseed/infinite-loop.mseed"));
  ASSERT_EQ(list.size(), 2u);
  const std::vector<RefRecord> refs = ReadRefListing(RealFile("mseed/infinite-loop.ref.txt"));
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_NEAR(list[0].StartTime, UnixToDateTime(refs[0].start_unix), 5 * kMicrosecond);
  const std::vector<int32_t> first = ReadSamples(list[0]);
  ASSERT_EQ(first.size(), refs[0].samples.size());
  for (size_t k = 0; k < first.size(); ++k) EXPECT_EQ(first[k], refs[0].samples[k]);
  EXPECT_EQ(list[1].Count, 185);
}

TEST(MiniSeedEncodings, AsciiLogRecordGivesZeros) {
  const TRecList list = Segments(RealFile("mseed/smallASCII_bigEndian.mseed"));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].DataType, kSampleUnknown);
  EXPECT_EQ(ReadSamples(list[0]), std::vector<int32_t>(8, 0));
}

TEST(MiniSeedHeader, SpansAllRecordsOfTheFile) {
  const std::string path = RealFile("mseed/gaps.mseed");
  const std::vector<RefRecord> refs = ReadRefListing(RealFile("mseed/gaps.ref.txt"));
  double first = refs.front().start_unix;
  double last_end = first;
  for (const RefRecord& r : refs) {
    first = std::min(first, r.start_unix);
    last_end = std::max(last_end, r.start_unix + r.count / r.rate);
  }
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(path, info, 100.0));
  EXPECT_EQ(info.Station, "BGLD");
  EXPECT_DOUBLE_EQ(info.SampRate, 200.0);
  EXPECT_NEAR(info.Start, UnixToDateTime(first), 5 * kMicrosecond);
  EXPECT_EQ(info.SampleCount, std::lround((last_end - first) * 200.0));
  EXPECT_EQ(info.BlockCount, static_cast<int32_t>(refs.size()));
  EXPECT_EQ(info.BlockSamples, 512);
  ASSERT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelNames[0], "EHE");
  for (double c : info.ChannelCoefs) EXPECT_EQ(c, 1e9);
}

TEST(MiniSeedHeader, ListsEachChannelOnce) {
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(RealFile("mseed/two_channels.mseed"), info, 100.0));
  ASSERT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.ChannelNames[0], "EHE");
  EXPECT_EQ(info.ChannelNames[1], "EHZ");
}

// The loader asks the segment list for the header's station and channel names with location
// "00": the two must agree, or a record reads as zeros.
TEST(MiniSeedHeader, NamesFindTheSegments) {
  const std::string path = RealFile("mseed/BW.BGLD.__.EHE.D.2008.001.first_10_records.mseed");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(path, info, 100.0));
  const TRecList list = Segments(path);
  const auto [from, to] = list.Span();
  const TRecordDescription got = list.GetData(info.Station, "00", to, from, info.ChannelNames[0]);
  std::vector<double> expected;
  for (const RefRecord& r :
       ReadRefListing(RealFile("mseed/BW.BGLD.__.EHE.D.2008.001.first_10_records.ref.txt"))) {
    expected.insert(expected.end(), r.samples.begin(), r.samples.end());
  }
  ASSERT_EQ(got.Count, info.SampleCount);
  ASSERT_EQ(got.Data.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(got.Data[k], expected[k]) << k;
}

// Writes records into a temporary file and returns its segments.
class MiniSeedSynthetic : public ::testing::Test {
 protected:
  TRecList Build(const std::vector<std::vector<uint8_t>>& records) {
    std::vector<uint8_t> bytes;
    for (const auto& r : records) bytes.insert(bytes.end(), r.begin(), r.end());
    path_ = dir_.File("synthetic.mseed");
    testing::WriteBytes(path_, bytes);
    return Segments(path_);
  }
  testing::TempDir dir_;
  std::string path_;
};

struct RateCase {
  int factor;
  int multiplier;
  std::optional<float> b100;
  double rate;
};

class MiniSeedRate : public MiniSeedSynthetic, public ::testing::WithParamInterface<RateCase> {};

TEST_P(MiniSeedRate, FromFactorMultiplierOrBlockette100) {
  MsRecordSpec s;
  s.rate_factor = GetParam().factor;
  s.rate_multiplier = GetParam().multiplier;
  s.b100_rate = GetParam().b100;
  s.data_offset = 128;
  const TRecList list = Build({MakeMsRecord(s)});
  if (GetParam().rate == 0.0) {
    EXPECT_TRUE(list.empty());  // no rate: dropped
  } else {
    ASSERT_EQ(list.size(), 1u);
    EXPECT_DOUBLE_EQ(list[0].SampRate, GetParam().rate);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, MiniSeedRate,
                         ::testing::Values(RateCase{-10, 1, {}, 0.1}, RateCase{10, 1, {}, 10.0},
                                           RateCase{10, 2, {}, 20.0}, RateCase{10, -2, {}, 5.0},
                                           RateCase{-10, 2, {}, 0.2}, RateCase{-10, -2, {}, 0.05},
                                           RateCase{0, 5, {}, 0.0}, RateCase{5, 0, {}, 0.0},
                                           // Blockette 100 wins when it holds a rate.
                                           RateCase{1, 1, 40.0f, 40.0}, RateCase{1, 1, 0.0f, 1.0},
                                           RateCase{0, 0, 2.5f, 2.5}));

struct WordOrderCase {
  int encoding;
  int word_order;
  int32_t code;
};

class MiniSeedWordOrder : public MiniSeedSynthetic,
                          public ::testing::WithParamInterface<WordOrderCase> {};

// Uncompressed samples are stored in the word order blockette 1000 states.
TEST_P(MiniSeedWordOrder, DecodesInTheStatedOrder) {
  const std::vector<int32_t> values = {1, -2, 300, -32000, 12345, 0, 7};
  const WordOrderCase& c = GetParam();
  MsRecordSpec s;
  s.encoding = c.encoding;
  s.word_order = c.word_order;
  s.count = static_cast<int>(values.size());
  const bool little = c.word_order == 0;
  for (int32_t v : values) {
    std::vector<uint8_t> b;
    switch (c.encoding) {
      case 1:
        little ? testing::PutU16LE(b, static_cast<uint16_t>(v))
               : testing::PutU16BE(b, static_cast<uint16_t>(v));
        break;
      case 3:
        little ? testing::PutU32LE(b, static_cast<uint32_t>(v))
               : testing::PutU32BE(b, static_cast<uint32_t>(v));
        break;
      case 4: {
        const auto bits = std::bit_cast<uint32_t>(static_cast<float>(v));
        little ? testing::PutU32LE(b, bits) : testing::PutU32BE(b, bits);
        break;
      }
      default: {
        const auto bits = std::bit_cast<uint64_t>(static_cast<double>(v));
        const auto hi = static_cast<uint32_t>(bits >> 32);
        const auto lo = static_cast<uint32_t>(bits);
        if (little) {
          testing::PutU32LE(b, lo);
          testing::PutU32LE(b, hi);
        } else {
          testing::PutU32BE(b, hi);
          testing::PutU32BE(b, lo);
        }
        break;
      }
    }
    s.data.insert(s.data.end(), b.begin(), b.end());
  }
  const TRecList list = Build({MakeMsRecord(s)});
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].DataType, c.code);
  EXPECT_EQ(ReadSamples(list[0]), values);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MiniSeedWordOrder,
    ::testing::Values(WordOrderCase{1, 1, kSampleS2}, WordOrderCase{1, 0, kSampleI2},
                      WordOrderCase{3, 1, kSampleS4}, WordOrderCase{3, 0, kSampleI4},
                      WordOrderCase{4, 1, kSampleT4}, WordOrderCase{4, 0, kSampleF4},
                      WordOrderCase{5, 1, kSampleT8}, WordOrderCase{5, 0, kSampleF8}));

// Data beginning after several blockettes ends with the record: a count larger than the frames
// hold must not decode the next record's header as frames.
TEST_F(MiniSeedSynthetic, SteimDataEndsWithItsRecord) {
  std::vector<int32_t> values(6 * 15 - 2);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int32_t>(i * i) - 500;
  MsRecordSpec s;
  s.data_offset = 128;  // 6 frames fit in the 384 bytes left of 512
  s.timing_quality = 80;
  s.b100_rate = 100.0f;
  s.data = testing::SimpleSteim1(values, 6);
  s.count = static_cast<int>(values.size()) + 30;  // damaged: more than the frames hold
  MsRecordSpec next;
  next.second = 10;
  next.count = 3;
  next.data = testing::SimpleSteim1({9, 9, 9}, 1);
  const TRecList list = Build({MakeMsRecord(s), MakeMsRecord(next)});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Offset, 128);
  EXPECT_EQ(list[0].BlockSize, 512 - 128);
  EXPECT_EQ(list[0].TimingQuality, 80);
  EXPECT_EQ(list[1].TimingQuality, 255);
  const std::vector<int32_t> got = ReadSamples(list[0]);
  ASSERT_EQ(got.size(), values.size() + 30);
  for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(got[i], values[i]) << i;
  for (size_t i = values.size(); i + 1 < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
  EXPECT_EQ(got.back(), values.back());  // the reverse integration constant
}

TEST_F(MiniSeedSynthetic, TimeCorrectionAndMicroseconds) {
  MsRecordSpec s;
  s.time_correction = -1500;  // -0.15 s
  s.timing_quality = 50;
  s.microseconds = -7;
  s.tenth_ms = 650;
  MsRecordSpec applied = s;
  applied.activity_flags = 0x02;
  const TRecList list = Build({MakeMsRecord(s), MakeMsRecord(applied)});
  ASSERT_EQ(list.size(), 2u);
  const TDateTime base = EncodeDayOfYear(2020, 100, 1, 2, 3, 0.065);
  EXPECT_NEAR(list[0].StartTime, base + (-0.15 - 7e-6) / 86400.0, kMicrosecond);
  EXPECT_NEAR(list[1].StartTime, base - 7e-6 / 86400.0, kMicrosecond);
}

TEST_F(MiniSeedSynthetic, NamesAreTrimmedAndLocationDefaults) {
  MsRecordSpec a;
  a.station = "AB";
  a.channel = "BH";
  MsRecordSpec b = a;
  b.location = "10";
  const TRecList list = Build({MakeMsRecord(a), MakeMsRecord(b)});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Station, "AB");
  EXPECT_EQ(list[0].Channel, "BH");
  EXPECT_EQ(list[0].Location, "00");
  EXPECT_EQ(list[1].Location, "10");
  MsRecordSpec blank = a;
  blank.station = "";
  EXPECT_TRUE(Build({MakeMsRecord(blank)}).empty());
}

// Damaged record lengths and blockette chains: the walk always advances and keeps what it can.
TEST_F(MiniSeedSynthetic, DamagedRecordLengthsAreSkipped) {
  for (int exponent : {0, 6, 17, 255}) {
    SCOPED_TRACE(exponent);
    MsRecordSpec bad;
    bad.exponent = exponent;
    bad.record_bytes = 4096;
    MsRecordSpec good;
    good.exponent = 12;
    const TRecList list = Build({MakeMsRecord(bad), MakeMsRecord(good)});
    ASSERT_EQ(list.size(), 1u);  // the next record is looked for 4096 bytes on
    EXPECT_EQ(list[0].Offset, 4096 + 64);
  }
}

TEST_F(MiniSeedSynthetic, RecordPastTheEndOfTheFileIsDropped) {
  MsRecordSpec s;
  s.exponent = 10;
  s.record_bytes = 1000;
  EXPECT_TRUE(Build({MakeMsRecord(s)}).empty());
  TFileRecordInfo info;
  EXPECT_FALSE(ReadMiniSeedHeader(path_, info, 1.0));
}

TEST_F(MiniSeedSynthetic, BlocketteLoopsEnd) {
  MsRecordSpec after;  // blockette 1000 read, then the chain points back at it
  after.last_next = 48;
  MsRecordSpec self = after;
  self.timing_quality = 10;  // 1000 -> 1001 -> 56 (itself)
  self.last_next = 56;
  // The chain begins inside the fixed header.
  std::vector<uint8_t> inside = MakeMsRecord(MsRecordSpec{});
  inside[46] = 0;
  inside[47] = 40;
  const TRecList list = Build({MakeMsRecord(after), MakeMsRecord(self), inside});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].TimingQuality, 10);
}

// A log record without a rate does not decide the file's rate or its first channel.
TEST_F(MiniSeedSynthetic, HeaderSkipsRecordsWithoutRate) {
  MsRecordSpec log;
  log.channel = "LOG";
  log.encoding = 0;
  log.rate_factor = 0;
  log.count = 40;
  MsRecordSpec data;
  data.second = 5;
  data.count = 200;
  data.rate_factor = 100;
  Build({MakeMsRecord(log), MakeMsRecord(data)});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(path_, info, 1.0));
  EXPECT_DOUBLE_EQ(info.SampRate, 100.0);
  EXPECT_EQ(info.SampleCount, 200);
  ASSERT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelNames[0], "HHZ");
  EXPECT_EQ(info.BlockCount, 1);

  Build({MakeMsRecord(log)});
  ASSERT_TRUE(ReadMiniSeedHeader(path_, info, 1.0));
  EXPECT_EQ(info.Station, "STA");
  EXPECT_EQ(info.SampRate, 0.0);
  EXPECT_EQ(info.SampleCount, 0);
}

// One damaged time stamp far from the rest must not size the record's matrix by it.
TEST_F(MiniSeedSynthetic, HeaderSpanIsBoundedByTheSamples) {
  MsRecordSpec a;
  a.count = 100;
  MsRecordSpec far = a;
  far.year = 2090;
  Build({MakeMsRecord(a), MakeMsRecord(far)});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(path_, info, 1.0));
  EXPECT_LE(info.SampleCount, 200 + 86400 * 100);
}

}  // namespace
}  // namespace tarvik

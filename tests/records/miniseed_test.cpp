#include "records/miniseed.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "packet_test_support.h"
#include "records/read_samples.h"

namespace tarvik {
namespace {

using testing::MakeMsRecord;
using testing::MsRecordLayout;
using testing::RealFile;
using testing::RefRecord;

constexpr double kMicrosecond = 1e-6 / 86400.0;

TRecList Segments(const std::string& path) {
  TRecList list;
  BuildMiniSeedSegments(path, list, "");
  return list;
}

std::string Mseed(const std::string& name) {
  return RealFile("mseed/" + name);
}

// A record of the default layout with some fields changed.
template <typename Change>
std::vector<uint8_t> Record(Change change) {
  MsRecordLayout s;
  change(s);
  return MakeMsRecord(s);
}

// Every record of a corpus file against the listing an independent decoder made of it.
class MiniSeedCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(MiniSeedCorpus, RecordsMatchReference) {
  const std::vector<RefRecord> refs =
      testing::ReadRefListing(Mseed(std::string(GetParam()) + ".ref.txt"));
  const TRecList list = Segments(Mseed(std::string(GetParam()) + ".mseed"));
  ASSERT_FALSE(refs.empty());
  ASSERT_EQ(list.size(), refs.size());
  // Files whose headers are little-endian hold little-endian samples.
  const bool little = std::string(GetParam()).find("littleEndian") != std::string::npos;
  const std::map<int, int32_t> codes = {{1, little ? kSampleI2 : kSampleS2},
                                        {3, little ? kSampleI4 : kSampleS4},
                                        {4, little ? kSampleF4 : kSampleT4},
                                        {5, little ? kSampleF8 : kSampleT8},
                                        {10, kSampleSteim1a},
                                        {11, kSampleSteim2a}};
  SampleReader reader;
  for (size_t i = 0; i < refs.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const RefRecord& ref = refs[i];
    const TRecordDescription& seg = list[i];
    EXPECT_EQ(seg.Station, ref.Station);
    EXPECT_EQ(seg.Location, ref.Location.empty() ? "00" : ref.Location);
    EXPECT_EQ(seg.Channel, ref.Channel);
    EXPECT_NEAR(seg.StartTime, UnixToDateTime(ref.StartUnix), 5 * kMicrosecond);
    EXPECT_DOUBLE_EQ(seg.SampRate, ref.Rate);
    EXPECT_EQ(seg.DataType, codes.at(ref.Encoding));
    EXPECT_EQ((seg.Offset + seg.BlockSize) % ref.RecordLength, 0);  // data ends with the record
    const std::vector<int32_t> samples = reader.Read(seg);
    ASSERT_EQ(samples.size(), static_cast<size_t>(ref.Count));
    for (size_t k = 0; k < samples.size(); ++k) {
      ASSERT_EQ(samples[k], std::lround(ref.Samples[k])) << "sample " << k;
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
                      "two_channels", "int16_INT16_littleEndian", "int32_INT32_littleEndian",
                      "float32_Float32_littleEndian", "float64_Float64_littleEndian",
                      "brokenlastrecord",      // a good record, then a damaged one
                      "mseed_data_offset_0"),  // the middle record: data offset 0, no samples
    [](const auto& info) {
      std::string name = info.param;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// What our rules make of damaged and foreign files.
struct DamagedCase {
  const char* File;
  size_t Segments;
  bool Header;
};

class MiniSeedDamaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(MiniSeedDamaged, GivesItsFailureResult) {
  const TRecList list = Segments(Mseed(GetParam().File));
  EXPECT_EQ(list.size(), GetParam().Segments);
  TFileRecordInfo info;
  EXPECT_EQ(ReadMiniSeedHeader(Mseed(GetParam().File), info, 100.0), GetParam().Header);
  if (!GetParam().Header) {
    EXPECT_TRUE(info.Station.empty() && info.SampleCount == 0);
  }
  for (const TRecordDescription& seg : list.Items) {
    const std::vector<int32_t> samples = ReadSamples(seg);
    EXPECT_EQ(samples.size(), static_cast<size_t>(seg.Count));
    if (seg.DataType == kSampleUnknown) {
      EXPECT_EQ(samples, std::vector<int32_t>(seg.Count, 0));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Real, MiniSeedDamaged,
    ::testing::Values(DamagedCase{"not.mseed", 0, false}, DamagedCase{"not2.mseed", 0, false},
                      DamagedCase{"not3.mseed", 0, false},
                      DamagedCase{"mseed_no_blkt_1000.mseed", 0, false},
                      DamagedCase{"mseed_not_a_single_blkt_48byte_data_offset.mseed", 0, false},
                      // Two good records, then a blockette chain that loops, then garbage.
                      DamagedCase{"infinite-loop.mseed", 2, true},
                      // ASCII log text: a segment of code 0 that reads as zeros.
                      DamagedCase{"smallASCII_bigEndian.mseed", 1, true}));

// A record written with a little-endian fixed header and blockettes reads as its big-endian
// twin does; a big-endian record whose year and day make sense either way stays big-endian.
TEST(MiniSeedRecord, LittleEndianHeaderReadsAsItsBigEndianTwin) {
  const std::vector<uint8_t> big = Record([](MsRecordLayout& s) {
    s.Count = 7;
    s.RateFactor = -10;
    s.TimingQuality = 77;
    s.B100Rate = 0.25f;
  });
  std::vector<uint8_t> little = big;
  auto swap = [&](size_t at, size_t n) {
    std::reverse(little.begin() + at, little.begin() + at + n);
  };
  for (size_t at : {20, 22, 28, 30, 32, 34, 44, 46}) swap(at, 2);
  swap(40, 4);
  for (size_t at : {48, 56, 64}) {  // blockettes 1000, 1001, 100: type and next
    swap(at, 2);
    swap(at + 2, 2);
  }
  swap(68, 4);  // blockette 100's rate
  TMiniSEEDPacket a, b;
  ASSERT_EQ(ParseMiniSeedRecord(big, 512, a), MiniSeedStatus::kOk);
  ASSERT_EQ(ParseMiniSeedRecord(little, 512, b), MiniSeedStatus::kOk);
  EXPECT_EQ(b.Start, a.Start);
  EXPECT_EQ(b.SampRate, 0.25);
  EXPECT_EQ(b.SampleCount, 7);
  EXPECT_EQ(b.TimingQuality, 77);
  EXPECT_EQ(b.DataOffset, a.DataOffset);
  EXPECT_EQ(b.RecordLength, 512);

  // Year 2020 (0x07E4) day 257 (0x0101): read little-endian the day would be 257 too, but the
  // year 0xE407 is impossible, so the header is taken as it was written.
  const std::vector<uint8_t> day257 = Record([](MsRecordLayout& s) { s.Day = 257; });
  ASSERT_EQ(ParseMiniSeedRecord(day257, 512, a), MiniSeedStatus::kOk);
  EXPECT_EQ(a.Start, EncodeDayOfYear(2020, 257, 1, 2, 0, 3));
}

// The loader asks the segment list for the header's station and channel with location "00":
// the two must agree, or a record reads as zeros.
TEST(MiniSeedHeader, SpansTheFileAndNamesFindTheSegments) {
  const std::string path = Mseed("BW.BGLD.__.EHE.D.2008.001.first_10_records.mseed");
  const std::vector<RefRecord> refs =
      testing::ReadRefListing(Mseed("BW.BGLD.__.EHE.D.2008.001.first_10_records.ref.txt"));
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(path, info, 100.0));
  EXPECT_EQ(info.Station, "BGLD");
  EXPECT_DOUBLE_EQ(info.SampRate, 200.0);
  EXPECT_NEAR(info.Start, UnixToDateTime(refs[0].StartUnix), 5 * kMicrosecond);
  EXPECT_EQ(info.BlockCount, 10);
  EXPECT_EQ(info.BlockSamples, 512);
  ASSERT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelCoefs[31], 1e9);
  const TRecList list = Segments(path);
  const auto [from, to] = list.Span();
  const TRecordDescription got = list.GetData(info.Station, "00", to, from, info.ChannelNames[0]);
  std::vector<int32_t> expected;
  for (const RefRecord& r : refs) {
    for (double v : r.Samples) expected.push_back(static_cast<int32_t>(v));
  }
  EXPECT_EQ(info.SampleCount, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(got.Data, expected);
}

class MiniSeedSynthetic : public ::testing::Test {
 protected:
  TRecList Build(const std::vector<std::vector<uint8_t>>& records) {
    std::vector<uint8_t> bytes;
    for (const auto& r : records) bytes.insert(bytes.end(), r.begin(), r.end());
    testing::WriteBytes(path_, bytes);
    return Segments(path_);
  }
  testing::TempDir dir_;
  std::string path_ = dir_.File("synthetic.mseed");
};

struct RateCase {
  int Factor, Multiplier;
  std::optional<float> B100;
  double Rate;  // 0: the record is dropped
};

class MiniSeedRate : public MiniSeedSynthetic, public ::testing::WithParamInterface<RateCase> {};

TEST_P(MiniSeedRate, FromFactorMultiplierOrBlockette100) {
  const TRecList list = Build({Record([&](MsRecordLayout& s) {
    s.RateFactor = GetParam().Factor, s.RateMultiplier = GetParam().Multiplier, s.DataOffset = 128,
    s.B100Rate = GetParam().B100;
  })});
  ASSERT_EQ(list.size(), GetParam().Rate > 0 ? 1u : 0u);
  if (!list.empty()) {
    EXPECT_DOUBLE_EQ(list[0].SampRate, GetParam().Rate);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, MiniSeedRate,
                         ::testing::Values(RateCase{-10, 1, {}, 0.1}, RateCase{10, 2, {}, 20.0},
                                           RateCase{10, -2, {}, 5.0}, RateCase{-10, 2, {}, 0.2},
                                           RateCase{-10, -2, {}, 0.05}, RateCase{0, 5, {}, 0.0},
                                           RateCase{5, 0, {}, 0.0}, RateCase{1, 1, 40.0f, 40.0},
                                           RateCase{1, 1, 0.0f, 1.0}, RateCase{0, 0, 2.5f, 2.5}));

// Uncompressed samples are stored in the word order blockette 1000 states.
class MiniSeedWordOrder : public MiniSeedSynthetic,
                          public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(MiniSeedWordOrder, DecodesInTheStatedOrder) {
  const auto [encoding, word_order] = GetParam();
  const std::vector<int32_t> values = {1, -2, 300, -32000, 12345, 0, 7};
  std::vector<uint8_t> data;
  for (int32_t v : values) {
    uint64_t bits = static_cast<uint32_t>(v);
    int bytes = encoding == 1 ? 2 : 4;
    if (encoding == 4) bits = std::bit_cast<uint32_t>(static_cast<float>(v));
    if (encoding == 5) bits = std::bit_cast<uint64_t>(static_cast<double>(v)), bytes = 8;
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (word_order == 0 ? i : bytes - 1 - i);
      data.push_back(static_cast<uint8_t>(bits >> shift));
    }
  }
  const TRecList list = Build({Record([&](MsRecordLayout& s) {
    s.Count = static_cast<int>(values.size()), s.Encoding = encoding, s.WordOrder = word_order,
    s.Data = data;
  })});
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].DataType, MiniSeedSampleType(encoding, word_order));
  EXPECT_EQ(ReadSamples(list[0]), values);
}

INSTANTIATE_TEST_SUITE_P(Table, MiniSeedWordOrder,
                         ::testing::Combine(::testing::Values(1, 3, 4, 5),
                                            ::testing::Values(0, 1)));

// Data after several blockettes ends with its record: a count larger than the frames hold must
// not decode the next record's header as frames.
TEST_F(MiniSeedSynthetic, SteimDataEndsWithItsRecord) {
  std::vector<int32_t> values(6 * 15 - 2);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int32_t>(i * i) - 500;
  const TRecList list =
      Build({Record([&](MsRecordLayout& s) {
               s.Count = static_cast<int>(values.size()) + 30, s.DataOffset = 128,
               s.B100Rate = 100.0f, s.TimingQuality = 80, s.Data = testing::SimpleSteim1(values, 6);
             }),
             Record([&](MsRecordLayout& s) {
               s.Second = 10, s.Count = 3, s.Data = testing::SimpleSteim1({9, 9, 9}, 1);
             })});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].BlockSize, 512 - 128);
  EXPECT_EQ(list[0].TimingQuality, 80);
  EXPECT_EQ(list[1].TimingQuality, 255);
  std::vector<int32_t> expected = values;
  expected.resize(values.size() + 30, 0);
  expected.back() = values.back();  // the reverse integration constant
  EXPECT_EQ(ReadSamples(list[0]), expected);
}

// The walk always advances: damaged lengths and blockette chains that loop end in bounded time.
TEST_F(MiniSeedSynthetic, DamagedRecordsAreSkipped) {
  for (int exponent : {0, 6, 17, 255}) {
    const TRecList list =
        Build({Record([&](MsRecordLayout& s) { s.Exponent = exponent, s.RecordBytes = 4096; }),
               Record([&](MsRecordLayout& s) { s.Exponent = 12; })});
    ASSERT_EQ(list.size(), 1u) << exponent;  // the next record is looked for 4096 bytes on
    EXPECT_EQ(list[0].Offset, 4096 + 64);
  }
  // Blockette 1000 pointing back at itself; a chain beginning inside the fixed header.
  std::vector<uint8_t> loop = MakeMsRecord(MsRecordLayout{});
  std::vector<uint8_t> inside = loop;
  loop[51] = 48;
  inside[47] = 40;
  std::vector<uint8_t> past_end =
      Record([&](MsRecordLayout& s) { s.Exponent = 10, s.RecordBytes = 1000; });
  EXPECT_EQ(Build({loop, inside, past_end}).size(), 1u);
}

// A log record without a rate decides neither the file's rate nor its channels, and one damaged
// time stamp far away cannot size a huge matrix.
TEST_F(MiniSeedSynthetic, HeaderCountsRecordsWithRatesOnly) {
  const auto log = Record([&](MsRecordLayout& s) {
    s.Channel = "LOG", s.Count = 40, s.RateFactor = 0, s.Encoding = 0;
  });
  Build({log, Record([&](MsRecordLayout& s) { s.Second = 5, s.Count = 200; })});
  TFileRecordInfo info;
  ASSERT_TRUE(ReadMiniSeedHeader(path_, info, 1.0));
  EXPECT_DOUBLE_EQ(info.SampRate, 100.0);
  EXPECT_EQ(info.SampleCount, 200);
  EXPECT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelNames[0], "HHZ");

  Build({log});
  ASSERT_TRUE(ReadMiniSeedHeader(path_, info, 1.0));
  EXPECT_EQ(info.Station, "STA");
  EXPECT_EQ(info.SampRate, 0.0);
  EXPECT_EQ(info.SampleCount, 0);

  Build({Record([&](MsRecordLayout& s) { s.Count = 100; }),
         Record([&](MsRecordLayout& s) { s.Year = 2090, s.Count = 100; })});
  ASSERT_TRUE(ReadMiniSeedHeader(path_, info, 1.0));
  EXPECT_LE(info.SampleCount, 200 + 86400 * 100);
}

}  // namespace
}  // namespace tarvik

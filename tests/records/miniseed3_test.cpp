#include "records/miniseed3.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "common/datetime.h"
#include "miniseed3_test_files.h"
#include "packet_test_support.h"
#include "records/formats.h"
#include "records/miniseed.h"
#include "records/read_samples.h"

namespace tarvik {
namespace {

using testing::MakeMs3;
using testing::Ms3Fields;
using testing::RealFile;
using testing::RefRecord;
using testing::TempDir;

constexpr double kMicrosecond = 1e-6 / kSecondsPerDay;

std::vector<uint8_t> Int32Payload(const std::vector<int32_t>& v) {
  std::vector<uint8_t> b;
  for (int32_t x : v) testing::PutU32LE(b, static_cast<uint32_t>(x));
  return b;
}

Ms3Fields Int32Record(const std::vector<int32_t>& v) {
  Ms3Fields s;
  s.Count = static_cast<uint32_t>(v.size());
  s.Payload = Int32Payload(v);
  return s;
}

std::string Write(const TempDir& dir, const std::vector<std::vector<uint8_t>>& records,
                  const std::string& name = "x.ms3") {
  std::vector<uint8_t> b;
  for (const auto& r : records) b.insert(b.end(), r.begin(), r.end());
  testing::WriteBytes(dir.File(name), b);
  return dir.File(name);
}

TRecList Segments(const std::string& path) {
  TRecList list;
  BuildMiniSeed3Segments(path, list, "");
  return list;
}

// ---------------------------------------------------------------------------------------------

TEST(Crc32c, CheckValue) {
  // The check value of CRC-32C (RFC 3720): the CRC of the ASCII digits "123456789".
  const std::string digits = "123456789";
  EXPECT_EQ(Crc32c(std::span(reinterpret_cast<const uint8_t*>(digits.data()), digits.size())),
            0xE3069283u);
  // Continuing a CRC over a split gives the CRC of the whole.
  const auto* p = reinterpret_cast<const uint8_t*>(digits.data());
  EXPECT_EQ(Crc32c(std::span(p + 4, 5), Crc32c(std::span(p, 4))), 0xE3069283u);
}

struct SidCase {
  const char* Sid;
  bool Fdsn;
  const char *Network, *Station, *Location, *Channel;
};

class FdsnSid : public ::testing::TestWithParam<SidCase> {};

TEST_P(FdsnSid, GivesNetworkStationLocationChannel) {
  Ms3Record r;
  EXPECT_EQ(ParseFdsnSourceId(GetParam().Sid, r), GetParam().Fdsn);
  EXPECT_EQ(r.Network, GetParam().Network);
  EXPECT_EQ(r.Station, GetParam().Station);
  EXPECT_EQ(r.Location, GetParam().Location);
  EXPECT_EQ(r.Channel, GetParam().Channel);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FdsnSid,
    ::testing::Values(SidCase{"FDSN:IU_ANMO_00_B_H_Z", true, "IU", "ANMO", "00", "BHZ"},
                      SidCase{"FDSN:XX_STA__L_H_E", true, "XX", "STA", "", "LHE"},
                      SidCase{"FDSN:XX_STA_10_VM_H_ZZ", true, "XX", "STA", "10", "VM_H_ZZ"},
                      SidCase{"FDSN:XX_STA_00_B_H", false, "", "", "", ""},
                      SidCase{"XFDSN:XX_STA_00_B_H_Z", false, "", "", "", ""},
                      SidCase{"FDSN:_STA_00_B_H_Z", false, "", "", "", ""}));

// The records of real miniSEED 2 files re-packed as miniSEED 3 (the same Steim frames, or the
// listed samples in the little-endian fixed widths) read back as the listing.
struct RepackCase {
  const char* File;
  int Encoding;  // 0: copy the Steim frames of the miniSEED 2 record
};

class MiniSeed3Repacked : public ::testing::TestWithParam<RepackCase> {};

std::vector<uint8_t> FixedPayload(const std::vector<double>& samples, int encoding) {
  std::vector<uint8_t> b;
  for (double v : samples) {
    if (encoding == 1) testing::PutU16LE(b, static_cast<uint16_t>(std::lround(v)));
    if (encoding == 3) testing::PutU32LE(b, static_cast<uint32_t>(std::lround(v)));
    if (encoding == 4) testing::PutU32LE(b, std::bit_cast<uint32_t>(static_cast<float>(v)));
    if (encoding == 5) {
      const auto bits = std::bit_cast<uint64_t>(v);
      testing::PutU32LE(b, static_cast<uint32_t>(bits));
      testing::PutU32LE(b, static_cast<uint32_t>(bits >> 32));
    }
  }
  return b;
}

TEST_P(MiniSeed3Repacked, ReadsAsTheListing) {
  const std::string v2 = RealFile(std::string("mseed/") + GetParam().File + ".mseed");
  const std::vector<RefRecord> refs =
      testing::ReadRefListing(RealFile(std::string("mseed/") + GetParam().File + ".ref.txt"));
  TRecList v2_list;
  BuildMiniSeedSegments(v2, v2_list, "");
  ASSERT_EQ(v2_list.size(), refs.size());
  const std::vector<uint8_t> v2_bytes = testing::ReadBytes(v2);
  std::vector<std::vector<uint8_t>> records;
  for (size_t i = 0; i < refs.size(); ++i) {
    const RefRecord& ref = refs[i];
    Ms3Fields s;
    s.Sid = "FDSN:XX_" + ref.Station + "_" + ref.Location + "_" + ref.Channel.substr(0, 1) + "_" +
            ref.Channel.substr(1, 1) + "_" + ref.Channel.substr(2, 1);
    s.Extra = R"({"FDSN":{"Time":{"Quality":100}}})";
    s.UnixStart = ref.StartUnix;
    s.Rate = ref.Rate;
    s.Count = static_cast<uint32_t>(ref.Count);
    if (GetParam().Encoding == 0) {
      s.Encoding = ref.Encoding;
      const TRecordDescription& seg = v2_list[i];
      s.Payload.assign(v2_bytes.begin() + seg.Offset,
                       v2_bytes.begin() + seg.Offset + seg.BlockSize);
    } else {
      s.Encoding = GetParam().Encoding;
      s.Payload = FixedPayload(ref.Samples, s.Encoding);
    }
    records.push_back(MakeMs3(s));
  }
  TempDir dir;
  const std::string path = Write(dir, records, "repacked.mseed");
  EXPECT_EQ(Recognize(path), kTagMiniSeed3);
  const TRecList list = Segments(path);
  ASSERT_EQ(list.size(), refs.size());
  SampleReader reader;
  for (size_t i = 0; i < refs.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const RefRecord& ref = refs[i];
    const TRecordDescription& seg = list[i];
    EXPECT_EQ(seg.Station, ref.Station);
    EXPECT_EQ(seg.Location, ref.Location.empty() ? "00" : ref.Location);
    EXPECT_EQ(seg.Channel, ref.Channel);
    EXPECT_NEAR(seg.StartTime, v2_list[i].StartTime, 5 * kMicrosecond);
    EXPECT_DOUBLE_EQ(seg.SampRate, ref.Rate);
    const std::vector<int32_t> samples = reader.Read(seg);
    ASSERT_EQ(samples.size(), static_cast<size_t>(ref.Count));
    for (size_t k = 0; k < samples.size(); ++k) {
      ASSERT_EQ(samples[k], std::lround(ref.Samples[k])) << "sample " << k;
    }
  }
  // The header is the one the miniSEED 2 file gives.
  TFileRecordInfo info2, info3;
  ASSERT_TRUE(ReadMiniSeedHeader(v2, info2, 0.0));
  std::string why;
  why = Text(ReadHeader(path, kTagMiniSeed3, info3, 0.0), TLanguage::kEnglish);
  ASSERT_TRUE(why.empty()) << why;
  EXPECT_EQ(info3.Station, info2.Station);
  EXPECT_EQ(info3.SampleCount, info2.SampleCount);
  EXPECT_EQ(info3.ChannelCount, info2.ChannelCount);
  EXPECT_EQ(info3.ChannelNames[0], info2.ChannelNames[0]);
  EXPECT_NEAR(info3.Start, info2.Start, 5 * kMicrosecond);
}

INSTANTIATE_TEST_SUITE_P(
    Real, MiniSeed3Repacked,
    ::testing::Values(RepackCase{"BW.BGLD.__.EHE.D.2008.001.first_10_records", 0},
                      RepackCase{"CH.BALST..LHE.D.2025.314", 0}, RepackCase{"two_channels", 0},
                      RepackCase{"int16_INT16_bigEndian", 1},
                      RepackCase{"int32_INT32_bigEndian", 3},
                      RepackCase{"float32_Float32_bigEndian", 4},
                      RepackCase{"float64_Float64_bigEndian", 5}));

TEST(MiniSeed3Record, NegativeRateIsAPeriod) {
  Ms3Fields s = Int32Record({1, 2});
  s.Rate = -10.0;
  Ms3Record r;
  ASSERT_EQ(ParseMiniSeed3Record(MakeMs3(s), r), MiniSeed3Status::kOk);
  EXPECT_DOUBLE_EQ(r.Rate, 0.1);
}

// Damage: a record whose CRC fails or whose payload cannot hold its samples is left out, as a
// damaged miniSEED 2 record is, and the walk finds the records after it; a file of nothing
// else is refused with the cause.
struct DamageCase {
  const char* Name;
  void (*Damage)(std::vector<uint8_t>& record);
  MiniSeed3Status Status;
  TCode Cause;
  const char* FirstArg;  // the cause's first argument; nullptr when it has none
};

class MiniSeed3Damaged : public ::testing::TestWithParam<DamageCase> {};

TEST_P(MiniSeed3Damaged, RecordLeftOutWithItsCause) {
  const std::vector<uint8_t> good = MakeMs3(Int32Record({1, 2, 3}));
  std::vector<uint8_t> bad = good;
  GetParam().Damage(bad);
  Ms3Record r;
  TStatus why;
  EXPECT_EQ(ParseMiniSeed3Record(bad, r, &why), GetParam().Status);
  EXPECT_EQ(why.Code, GetParam().Cause) << Text(why, TLanguage::kEnglish);
  if (GetParam().FirstArg != nullptr) {
    ASSERT_FALSE(why.Args.empty());
    EXPECT_EQ(why.Args[0].Text, GetParam().FirstArg);
  }

  TempDir dir;
  if (GetParam().Status != MiniSeed3Status::kTruncated) {
    const TRecList list = Segments(Write(dir, {good, bad, good}));
    ASSERT_EQ(list.size(), 2u);
    // The third record's payload follows its 40-byte header and 21-character identifier.
    EXPECT_EQ(list[1].Offset, static_cast<int32_t>(good.size() + bad.size() + 40 + 21));
    EXPECT_EQ(ReadSamples(list[1]), (std::vector<int32_t>{1, 2, 3}));
  }
  const std::string alone = Write(dir, {bad}, "bad.mseed");
  EXPECT_TRUE(Segments(alone).empty());
  TFileRecordInfo info;
  const TStatus refused = ReadHeader(alone, Recognize(alone), info, 100.0);
  EXPECT_EQ(refused.Code, GetParam().Status == MiniSeed3Status::kTruncated ? TCode::kRecordFileCut
                                                                           : TCode::kNotOfFormat);
  EXPECT_EQ(refused.Offset, 0);
  EXPECT_EQ(refused.Record, 0);
  ASSERT_EQ(refused.Args.size(), 1u);
  ASSERT_NE(refused.Args[0].Nested, nullptr);
  const TStatus& in_record = *refused.Args[0].Nested;
  EXPECT_EQ(in_record.Code, TCode::kRefuseInRecord);
  ASSERT_EQ(in_record.Args.size(), 3u);
  EXPECT_EQ(in_record.Args[0].Text, "1");
  EXPECT_EQ(in_record.Args[1].Text, "0");
  ASSERT_NE(in_record.Args[2].Nested, nullptr);
  EXPECT_EQ(in_record.Args[2].Nested->Code, GetParam().Cause);
  EXPECT_EQ(Text(refused, TLanguage::kEnglish).find("record 1 (byte 0): "), 0u)
      << Text(refused, TLanguage::kEnglish);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MiniSeed3Damaged,
    ::testing::Values(DamageCase{"PayloadByte", [](std::vector<uint8_t>& b) { b.back() ^= 0x40; },
                                 MiniSeed3Status::kDamaged, TCode::kRefuseCrcMismatch, nullptr},
                      DamageCase{"SidByte", [](std::vector<uint8_t>& b) { b[45] = 'Y'; },
                                 MiniSeed3Status::kDamaged, TCode::kRefuseCrcMismatch, nullptr},
                      DamageCase{"Cut", [](std::vector<uint8_t>& b) { b.resize(b.size() - 5); },
                                 MiniSeed3Status::kTruncated, TCode::kRefuseLengthsPastEnd,
                                 nullptr},
                      DamageCase{"CountBeyondPayload",
                                 [](std::vector<uint8_t>& b) {
                                   Ms3Fields s = Int32Record({1, 2, 3});
                                   s.Count = 4;
                                   b = MakeMs3(s);
                                 },
                                 MiniSeed3Status::kDamaged, TCode::kRefuseSamplesDoNotFit, "4"},
                      DamageCase{"TimeOfDay", [](std::vector<uint8_t>& b) { b[12] = 24; },
                                 MiniSeed3Status::kDamaged, TCode::kRefuseStartNotTimeAt, "4"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MiniSeed3Recognize, ByContentWhateverTheName) {
  TempDir dir;
  const std::vector<uint8_t> r = MakeMs3(Int32Record({1}));
  for (const char* name : {"a.mseed", "b.msd", "c.ms3", "d", "e.dat"}) {
    EXPECT_EQ(Recognize(Write(dir, {r}, name)), kTagMiniSeed3) << name;
  }
  // miniSEED 2 keeps its tag.
  EXPECT_EQ(Recognize(RealFile("mseed/steim2.mseed")), kTagMiniSeed);
}

// Records of two stations and two channels: a header per station, channels in order of first
// appearance, the count from the first sample to the end of the last.
TEST(MiniSeed3Headers, PerStationAndChannel) {
  std::vector<std::vector<uint8_t>> records;
  for (const char* sid : {"FDSN:XX_AAA_00_H_H_Z", "FDSN:XX_AAA_00_H_H_N", "FDSN:XX_BBB_00_H_H_Z"}) {
    Ms3Fields s = Int32Record({1, 2, 3, 4});
    s.Sid = sid;
    records.push_back(MakeMs3(s));
  }
  Ms3Fields later = Int32Record({5, 6});
  later.Sid = "FDSN:XX_AAA_00_H_H_Z";
  later.UnixStart += 0.04;
  records.push_back(MakeMs3(later));
  TempDir dir;
  std::vector<TFileRecordInfo> headers;
  ASSERT_TRUE(ReadMiniSeed3Headers(Write(dir, records), headers));
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0].Station, "AAA");
  ASSERT_EQ(headers[0].ChannelCount, 2);
  EXPECT_EQ(headers[0].ChannelNames[1], "HHN");
  EXPECT_EQ(headers[0].SampleCount, 6);
  EXPECT_EQ(headers[0].ChannelCoefs[0], 1e9);
  EXPECT_NEAR(headers[0].Start, UnixToDateTime(1700000000.25), kMicrosecond);
  EXPECT_EQ(headers[1].Station, "BBB");
}

}  // namespace
}  // namespace tarvik

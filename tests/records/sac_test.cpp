#include "records/sac.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/datetime.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;

// A SAC file as a test writes it: every header field undefined except those set here.
struct SacFields {
  bool Little = true;
  float Delta = 0.01f;
  float Depmin = -12345.0f;
  float Depmax = -12345.0f;
  float B = 0.0f;
  float Cmpaz = -12345.0f;
  float Cmpinc = -12345.0f;
  std::vector<int32_t> Time = {2020, 32, 10, 20, 30, 250};  // NZYEAR .. NZMSEC
  int32_t Npts = INT32_MIN;                                 // INT32_MIN: the number of samples
  int32_t Iftype = 1;
  int32_t Leven = 1;
  std::string Station = "ST01";
  std::string Channel = "HHZ";
  std::vector<float> Samples = {0.5f, -1.25f, 2.0f};
  size_t Keep = SIZE_MAX;  // bytes written
};

std::vector<uint8_t> SacBytes(const SacFields& s) {
  std::vector<uint8_t> b(kSacHeaderSize + 4 * s.Samples.size(), 0);
  const auto put = [&](size_t at, uint32_t v) {
    s.Little ? StoreU32LE(&b[at], v) : StoreU32BE(&b[at], v);
  };
  const auto put_float = [&](size_t word, float v) { put(word * 4, std::bit_cast<uint32_t>(v)); };
  const auto put_int = [&](size_t word, int32_t v) { put(word * 4, static_cast<uint32_t>(v)); };
  for (size_t w = 0; w < 70; ++w) put_float(w, -12345.0f);
  for (size_t w = 70; w < 110; ++w) put_int(w, kSacUndefined);
  for (size_t at = 440; at < kSacHeaderSize; at += 8) std::memcpy(&b[at], "-12345  ", 8);
  put_float(0, s.Delta);
  put_float(1, s.Depmin);
  put_float(2, s.Depmax);
  put_float(5, s.B);
  put_float(57, s.Cmpaz);
  put_float(58, s.Cmpinc);
  for (size_t i = 0; i < s.Time.size(); ++i) put_int(70 + i, s.Time[i]);
  put_int(76, 6);
  put_int(79, s.Npts != INT32_MIN ? s.Npts : static_cast<int32_t>(s.Samples.size()));
  put_int(85, s.Iftype);
  put_int(105, s.Leven);
  const auto text = [&](size_t at, const std::string& t) {
    std::memset(&b[at], ' ', 8);
    std::memcpy(&b[at], t.data(), std::min<size_t>(t.size(), 8));
  };
  text(440, s.Station);
  text(600, s.Channel);
  for (size_t i = 0; i < s.Samples.size(); ++i) {
    put(kSacHeaderSize + 4 * i, std::bit_cast<uint32_t>(s.Samples[i]));
  }
  b.resize(std::min(b.size(), s.Keep));
  return b;
}

std::string WriteSac(const TempDir& dir, const std::string& name, const SacFields& s) {
  testing::WriteBytes(dir.File(name), SacBytes(s));
  return dir.File(name);
}

// The samples a project record formed from path holds, loaded as the spectrum engine loads it
// (without mean removal).
TData32 LoadFrom(const std::string& path, TFileRecord* formed = nullptr) {
  TFileRecords records = FormRecordsFrom(path, AssemblySettings{});
  EXPECT_FALSE(records.empty()) << path;
  if (records.empty()) return {};
  testing::RecordingUiHost host;
  LoadSettings settings;
  settings.Demean = false;
  TData32 data;
  EXPECT_TRUE(LoadRecord(records.front(), data, host, settings));
  if (formed != nullptr) *formed = records.front();
  return data;
}

// Reference values: the files decoded by hand with Python's struct module (header words at
// 4-byte offsets, text fields at byte 440 on, float32 samples from byte 632), samples times the
// scale and rounded to nearest, ties to even.
struct RealSac {
  const char* Name;
  const char* Station;
  const char* Channel;
  const char* Start;  // ISO, milliseconds
  double Rate;
  int32_t Samples;
  double Scale;
  int32_t Axis;
  std::vector<int32_t> Head;  // the first five samples
  std::vector<int32_t> Tail;  // the last two
  int64_t Sum;
};

class RealSacTest : public ::testing::TestWithParam<RealSac> {};

TEST_P(RealSacTest, HeaderAndSamplesAgreeWithAnIndependentDecode) {
  const RealSac& c = GetParam();
  const std::string path = testing::RealFile(std::string("sac/") + c.Name);
  ASSERT_EQ(TagText(Recognize(path)), TagText(kTagSac));
  TFileRecordInfo info;
  std::string why;
  why = Text(ReadHeader(path, kTagSac, info, 50.0), TLanguage::kEnglish);
  ASSERT_TRUE(why.empty()) << why;
  EXPECT_EQ(info.Station, c.Station);
  EXPECT_EQ(FormatIso(info.Start), c.Start);
  EXPECT_DOUBLE_EQ(info.SampRate, c.Rate);
  EXPECT_EQ(info.SampleCount, c.Samples);
  EXPECT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelNames[0], c.Channel);
  EXPECT_EQ(info.ChannelCoefs[0], c.Scale);

  TFileRecord record;
  const TData32 data = LoadFrom(path, &record);
  EXPECT_EQ(ComponentNumber(record.Channels[0].Axis), c.Axis);
  ASSERT_EQ(data.size(), 1u);
  const std::vector<int32_t>& s = data[0];
  ASSERT_EQ(s.size(), static_cast<size_t>(c.Samples));
  EXPECT_EQ(std::vector<int32_t>(s.begin(), s.begin() + 5), c.Head);
  EXPECT_EQ(std::vector<int32_t>(s.end() - 2, s.end()), c.Tail);
  int64_t sum = 0;
  for (int32_t v : s) sum += v;
  EXPECT_EQ(sum, c.Sum);

  // The segment the file makes decodes to the same samples.
  TRecList list;
  BuildSacSegments(path, list, "");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(ReadSamples(list[0]), s);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealSacTest,
    ::testing::Values(
        // Reference time 1978 day 199 08:00:00 plus B = 10 s; a sine of amplitude 1.
        RealSac{"test.sac",
                "STA",
                "Q",
                "1978-07-18T08:00:10.000Z",
                1.0,
                100,
                1e6,
                2,
                {0, -309017, -587785, -809017, -951057},
                {587777, 309007},
                8},
        RealSac{"test.sac.swap",
                "STA",
                "Q",
                "1978-07-18T08:00:10.000Z",
                1.0,
                100,
                1e6,
                2,
                {0, -309017, -587785, -809017, -951057},
                {587777, 309007},
                8},
        // 1981 day 88 10:38:14 plus B = 9.46 s; channel "Q" with incidence 0: vertical.
        RealSac{"seism.sac",
                "CDV",
                "Q",
                "1981-03-29T10:38:23.460Z",
                100.0,
                1000,
                1e6,
                2,
                {-97280, -97280, -98560, -98560, -97280},
                {-76800, -76800},
                -98547200},
        // 2001 day 100 00:23:00.465, B = 0; largest magnitude 0.0033: nine decimals kept.
        RealSac{"LMOW.BHE.SAC",
                "LMOW",
                "BHE",
                "2001-04-10T00:23:00.465Z",
                100.0,
                100,
                1e9,
                0,
                {2303910, 2561490, 2504250, 2575800, 2117880},
                {1559790, 2089260},
                243799470}),
    [](const auto& info) {
      std::string n = info.param.Name;
      for (char& ch : n) {
        if (ch == '.') ch = '_';
      }
      return n;
    });

TEST(Sac, RecognisedByContentWhateverItsName) {
  TempDir dir;
  const std::vector<uint8_t> bytes = testing::ReadBytes(testing::RealFile("sac/test.sac.swap"));
  // The extension of another format does not outweigh the header.
  for (const char* name :
       {"a.sac", "A.SAC", "noextension", "test.sac.swap", "x.bhz", "a.msd", "a.txt"}) {
    testing::WriteBytes(dir.File(name), bytes);
    EXPECT_EQ(TagText(Recognize(dir.File(name))), TagText(kTagSac)) << name;
  }
}

TEST(Sac, OtherFormatsFilesAreNotSac) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string probe = dir.File("probe.bin");
  int looked = 0;
  for (const auto& e : fs::recursive_directory_iterator(testing::RealFile(""))) {
    if (!e.is_regular_file() || e.path().parent_path().filename() == "sac") continue;
    fs::copy_file(e.path(), probe, fs::copy_options::overwrite_existing);
    EXPECT_FALSE(IsSacFile(probe)) << e.path();
    EXPECT_NE(Recognize(probe), kTagSac) << e.path();
    ++looked;
  }
  EXPECT_GT(looked, 50);
}

TEST(Sac, BothByteOrdersOfOneFileReadAlike) {
  TempDir dir;
  SacFields s;
  s.Samples = {1.5f, -2.25f, 1e-3f, 7.0f};
  const std::string le = WriteSac(dir, "le.sac", s);
  s.Little = false;
  const std::string be = WriteSac(dir, "be.sac", s);
  TFileRecordInfo a, b;
  ASSERT_TRUE(ReadSacHeader(le, a, 0.0));
  ASSERT_TRUE(ReadSacHeader(be, b, 0.0));
  EXPECT_EQ(a.Start, b.Start);
  EXPECT_EQ(FormatIso(a.Start), "2020-02-01T10:20:30.250Z");
  EXPECT_EQ(a.SampRate, 100.0);
  EXPECT_EQ(a.ChannelCoefs[0], 1e6);
  EXPECT_EQ(LoadFrom(le), LoadFrom(be));
  EXPECT_EQ(LoadFrom(le)[0], (std::vector<int32_t>{1500000, -2250000, 1000, 7000000}));
}

TEST(Sac, WholeNumbersStayCountsAndUndefinedTimesAreTheEpoch) {
  TempDir dir;
  SacFields s;
  s.Samples = {120.0f, -3.0f, 4000000.0f};
  s.Time = {kSacUndefined, kSacUndefined, kSacUndefined,
            kSacUndefined, kSacUndefined, kSacUndefined};
  s.B = 2.5f;
  s.Delta = 0.004f;
  TFileRecordInfo info;
  ASSERT_TRUE(ReadSacHeader(WriteSac(dir, "a.sac", s), info, 0.0));
  EXPECT_EQ(info.ChannelCoefs[0], 1.0);
  EXPECT_EQ(FormatIso(info.Start), "1970-01-01T00:00:02.500Z");
  EXPECT_EQ(info.SampRate, 250.0);
  EXPECT_EQ(LoadFrom(dir.File("a.sac"))[0], (std::vector<int32_t>{120, -3, 4000000}));
}

TEST(Sac, ComponentFromTheNameElseFromTheOrientation) {
  struct Case {
    const char* Channel;
    float Cmpaz, Cmpinc;
    int32_t Axis;
  } cases[] = {
      {"BHZ", 90.0f, 90.0f, 2},  // the name wins over the angles
      {"BH1", -12345.0f, -12345.0f, 1},
      {"BH2", -12345.0f, -12345.0f, 0},
      {"BH3", -12345.0f, -12345.0f, 2},
      {"e", -12345.0f, -12345.0f, 0},
      {"Q", 0.0f, 0.0f, 2},
      {"Q", 0.0f, 180.0f, 2},
      {"Q", 0.0f, 90.0f, 1},
      {"Q", 360.0f, 90.0f, 1},
      {"Q", 90.0f, 90.0f, 0},
      {"Q", 45.0f, 90.0f, -1},
      {"Q", -12345.0f, -12345.0f, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SacAxis(c.Channel, c.Cmpaz, c.Cmpinc), c.Axis)
        << c.Channel << " " << c.Cmpaz << " " << c.Cmpinc;
  }
  // A record takes the component the file states; without recognition every channel is Z.
  TempDir dir;
  SacFields s;
  s.Channel = "Q";
  s.Cmpaz = 90.0f;
  s.Cmpinc = 90.0f;
  TFileRecordInfo info;
  ASSERT_TRUE(ReadSacHeader(WriteSac(dir, "a.sac", s), info, 0.0));
  EXPECT_EQ(FormRecord("a.sac", info, true).Channels[0].Axis, Component::kE);
  EXPECT_EQ(FormRecord("a.sac", info, false).Channels[0].Axis, Component::kZ);
  // Without a channel name the orientation names the channel.
  s.Channel = "-12345";
  ASSERT_TRUE(ReadSacHeader(WriteSac(dir, "b.sac", s), info, 0.0));
  EXPECT_EQ(info.ChannelNames[0], "E");
  EXPECT_EQ(LoadFrom(dir.File("b.sac")).size(), 1u);
}

struct BadSac {
  const char* Name;
  SacFields Fields;
  const char* Cause;
};

class BadSacTest : public ::testing::TestWithParam<BadSac> {};

TEST_P(BadSacTest, RefusedWithItsCause) {
  const BadSac& c = GetParam();
  TempDir dir;
  const std::string path = WriteSac(dir, "bad.sac", c.Fields);
  // Still known as SAC, so that the user hears what is wrong with it.
  EXPECT_EQ(Recognize(path), kTagSac);
  TFileRecordInfo info;
  std::string why;
  why = Text(ReadHeader(path, kTagSac, info, 50.0), TLanguage::kEnglish);
  EXPECT_FALSE(why.empty());
  EXPECT_NE(why.find(c.Cause), std::string::npos) << why;
  EXPECT_EQ(info.SampleCount, 0);
  TRecList list;
  BuildSacSegments(path, list, "");
  EXPECT_TRUE(list.empty());
  const AddFileResult added = [&] {
    TFileRecords records;
    return AddFile(records, path, AssemblySettings{});
  }();
  EXPECT_FALSE(added.Added());
  EXPECT_NE(AddResultText(added).find(c.Cause), std::string::npos);
}

SacFields With(auto change) {
  SacFields s;
  change(s);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSacTest,
    ::testing::Values(
        BadSac{"Truncated", With([](SacFields& s) { s.Keep = kSacHeaderSize + 9; }),
               "truncated: 641 bytes hold 2 of the 3 samples"},
        BadSac{"NegativeCount", With([](SacFields& s) { s.Npts = -5; }), "NPTS"},
        BadSac{"HugeCount", With([](SacFields& s) { s.Npts = 2000000000; }), "truncated"},
        BadSac{"DeltaUndefined", With([](SacFields& s) { s.Delta = -12345.0f; }),
               "DELTA (word 0) is undefined"},
        BadSac{"DeltaZero", With([](SacFields& s) { s.Delta = 0.0f; }), "DELTA (word 0) is 0 s"},
        BadSac{"DeltaAbsurd", With([](SacFields& s) { s.Delta = 1e30f; }),
               "DELTA (word 0) is 1e+30"},
        BadSac{"DeltaNotANumber", With([](SacFields& s) { s.Delta = std::nanf(""); }), "DELTA"},
        BadSac{"Spectrum", With([](SacFields& s) { s.Iftype = 3; }), "IFTYPE 3"},
        BadSac{"Uneven", With([](SacFields& s) { s.Leven = 0; }), "LEVEN"},
        BadSac{"DayOfYear400", With([](SacFields& s) { s.Time[1] = 400; }), "reference time"},
        BadSac{"PartlyUndefinedTime", With([](SacFields& s) { s.Time[2] = kSacUndefined; }),
               "reference time"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Sac, ShortOrDamagedHeadersAreNotSac) {
  TempDir dir;
  const std::vector<uint8_t> sound = SacBytes(SacFields{});
  testing::WriteBytes(dir.File("short"), std::vector<uint8_t>(sound.begin(), sound.begin() + 631));
  EXPECT_EQ(Recognize(dir.File("short")), 0u);
  TStatus why;
  EXPECT_FALSE(ReadSacFields(dir.File("short"), &why));
  EXPECT_EQ(why.Code, TCode::kRefuseShorterThanSacHeader);
  EXPECT_EQ(why.Args, (std::vector<TArg>{"632", "631"}));
  EXPECT_NE(Text(why, TLanguage::kEnglish).find("shorter than the 632-byte"), std::string::npos);
  // A version other than 6, or a file type no version 6 file has, is not SAC.
  std::vector<uint8_t> other = sound;
  StoreU32LE(&other[76 * 4], 7);
  testing::WriteBytes(dir.File("v7"), other);
  EXPECT_EQ(Recognize(dir.File("v7")), 0u);
  other = sound;
  StoreU32LE(&other[85 * 4], 99);
  testing::WriteBytes(dir.File("type99"), other);
  EXPECT_EQ(Recognize(dir.File("type99")), 0u);
}

TEST(Sac, ARecordOfSeveralFilesTakesItsOwnChannelByTime) {
  TempDir dir;
  SacFields first;
  first.Samples = {0.5f, -0.5f, 0.25f, 1.0f};
  SacFields second = first;
  // Starts two samples after the first file ends: a gap of two samples.
  second.Time[4] = 30;
  second.Time[5] = 310;
  second.Samples = {2.0f, -4.0f};
  SacFields other = first;
  other.Channel = "HHN";
  other.Samples = {9.0f, 9.0f, 9.0f, 9.0f};
  WriteSac(dir, "a.HHZ.sac", first);
  WriteSac(dir, "b.HHZ.sac", second);
  WriteSac(dir, "a.HHN.sac", other);
  TFileRecord record;
  const TData32 data = LoadFrom(dir.File("a.HHZ.sac"), &record);
  ASSERT_EQ(data.size(), 1u);
  // The files of the other channel are left out; the gap between the two stays zero.
  EXPECT_EQ(data[0],
            (std::vector<int32_t>{500000, -500000, 250000, 1000000, 0, 0, 2000000, -4000000}));
  EXPECT_EQ(record.Station, "ST01");
}

TEST(Sac, LaterFilesUseTheFirstFilesScale) {
  TempDir dir;
  SacFields first;
  first.Samples = {0.001f, -0.002f};  // scale 1e9
  SacFields second = first;
  second.Time[5] = 270;
  second.Samples = {1.0f, 3.0f};  // in the first file's units; 3e9 is beyond int32: clamped
  WriteSac(dir, "a.sac", first);
  WriteSac(dir, "b.sac", second);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadSacHeader(dir.File("a.sac"), info, 0.0));
  ASSERT_EQ(info.ChannelCoefs[0], 1e9);
  const TData32 data = LoadFrom(dir.File("a.sac"));
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0], (std::vector<int32_t>{1000000, -2000000, 1000000000, 2147483647}));
}

TEST(Sac, TheScaleFollowsTheHeadersExtremesOrEverySample) {
  TempDir dir;
  SacFields s;
  s.Samples.assign(5000, 0.001f);
  s.Samples[4500] = 2.0f;  // beyond the first samples the scale looks at with extremes
  const auto scale = [&](float depmin, float depmax) {
    s.Depmin = depmin;
    s.Depmax = depmax;
    TFileRecordInfo info;
    EXPECT_TRUE(ReadSacHeader(WriteSac(dir, "a.sac", s), info, 0.0));
    return info.ChannelCoefs[0];
  };
  EXPECT_EQ(scale(-12345.0f, -12345.0f), 1e6);  // no extremes: every sample is looked at
  EXPECT_EQ(scale(0.001f, 2.0f), 1e6);
  EXPECT_EQ(scale(0.001f, 0.001f), 1e9);  // the writer's extremes are believed
  EXPECT_EQ(scale(-12345.0f, 0.001f), 1e6);
}

TEST(Sac, AFileFarFromItsRecordAddsNothing) {
  TempDir dir;
  SacFields s;
  s.Time = {9999, 365, 23, 59, 59, 999};
  TFileRecordInfo info;
  ASSERT_TRUE(ReadSacHeader(WriteSac(dir, "far.sac", s), info, 0.0));
  for (const TDateTime record_start : {0.0, -1e300, info.Start - 1.0, info.Start + 1.0}) {
    TData32 matrix(1, std::vector<int32_t>(8, 7));
    LoadTarget target;
    target.Data = &matrix;
    target.First = info;
    target.RecordStart = record_start;
    ReadSacInto(dir.File("far.sac"), target);
    EXPECT_EQ(matrix[0], std::vector<int32_t>(8, 7)) << record_start;
    EXPECT_EQ(target.Position, 0);
  }
}

TEST(Sac, RatesOfFewestDigits) {
  EXPECT_EQ(SacRate(0.01f), 100.0);
  EXPECT_EQ(SacRate(0.004f), 250.0);
  EXPECT_EQ(SacRate(1.0f), 1.0);
  EXPECT_EQ(SacRate(0.025f), 40.0);
  EXPECT_EQ(SacRate(1.0f / 3.0f), 3.0);
  // An interval no short rate rounds to keeps its exact inverse.
  const float odd = 0.0123456789f;
  EXPECT_EQ(static_cast<float>(1.0 / SacRate(odd)), odd);
}

}  // namespace
}  // namespace tarvik

#include "records/seg2.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "common/datetime.h"
#include "records/formats.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RealFile;
using testing::TempDir;

constexpr double kMillisecond = 1e-3 / kSecondsPerDay;

// The rows of a writer's reference listing: one row per sample, one column per trace.
std::vector<std::vector<double>> ReadColumns(const std::string& path) {
  std::vector<std::vector<double>> columns;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream row(line);
    size_t c = 0;
    for (double v = 0.0; row >> v; ++c) {
      if (columns.size() <= c) columns.emplace_back();
      columns[c].push_back(v);
    }
  }
  return columns;
}

// Each trace's samples times its descaling factor (and unit) against the seismograph software's
// own listing of the file.
struct RealCase {
  const char* Name;
  size_t Traces;
  int Format;
  double Unit;  // the listing's unit per descaled value
  // The descaling factor is printed to six digits, while the seismograph's software may have
  // used more; one count is about 0.02 in the 2013 listing, far beyond it.
  double Relative;
};

class Seg2Real : public ::testing::TestWithParam<RealCase> {};

TEST_P(Seg2Real, DescaledSamplesMatchTheWritersListing) {
  const std::string base = RealFile(std::string("seg2/") + GetParam().Name);
  TStatus why;
  const std::optional<Seg2File> f = ReadSeg2Fields(base + ".seg2", &why);
  ASSERT_TRUE(f) << Text(why, TLanguage::kEnglish);
  const std::vector<std::vector<double>> listing = ReadColumns(base + ".DAT");
  ASSERT_EQ(f->Traces.size(), GetParam().Traces);
  ASSERT_EQ(listing.size(), GetParam().Traces);
  BinaryFile file(base + ".seg2");
  for (size_t t = 0; t < f->Traces.size(); ++t) {
    SCOPED_TRACE("trace " + std::to_string(t + 1));
    const Seg2Trace& trace = f->Traces[t];
    EXPECT_EQ(trace.Format, GetParam().Format);
    const std::vector<int32_t> counts = ReadSeg2Samples(file, *f, trace);
    ASSERT_EQ(counts.size(), listing[t].size());
    for (size_t i = 0; i < counts.size(); ++i) {
      const double expected = listing[t][i];
      // The listings print eight decimals (2013) or full precision (2018).
      ASSERT_NEAR(counts[i] * trace.Descaling * GetParam().Unit, expected,
                  1e-8 + GetParam().Relative * std::abs(expected))
          << "sample " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Seg2Real,
    ::testing::Values(RealCase{"20130107_103041000.CET.3c.cont.0", 3, kSeg2Int32, 1000.0, 3e-6},
                      RealCase{"20180307_031245000.0", 1, kSeg2Float20, 1.0, 1e-12}));

TEST(Seg2RealHeader, ThreeComponentFileInUtc) {
  const std::string path = RealFile("seg2/20130107_103041000.CET.3c.cont.0.seg2");
  EXPECT_EQ(Recognize(path), kTagSeg2);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(path, kTagSeg2, info, 100.0).Ok());
  EXPECT_EQ(info.Station, "BA1");
  // The local time is 10:30:41 CET; the file also keeps UTC, which is taken.
  EXPECT_NEAR(info.Start, EncodeDateTime(2013, 1, 7, 9, 30, 41), kMillisecond);
  EXPECT_DOUBLE_EQ(info.SampRate, 1000.0);
  EXPECT_EQ(info.SampleCount, 2000);
  ASSERT_EQ(info.ChannelCount, 3);
  // REGISTRATION_DIRECTION X, Y, Z.
  EXPECT_EQ(info.ChannelNames[0], "E");
  EXPECT_EQ(info.ChannelNames[1], "N");
  EXPECT_EQ(info.ChannelNames[2], "Z");
  // Counts × DESCALING_FACTOR are millivolts.
  EXPECT_NEAR(info.ChannelCoefs[0], 1e3 / 2.17378e-05, 1e-3);
  EXPECT_NEAR(info.ChannelCoefs[2], 1e3 / 2.14815e-05, 1e-3);
}

TEST(Seg2RealHeader, DelayMovesTheStart) {
  const std::string path = RealFile("seg2/20180307_031245000.0.seg2");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadHeader(path, Recognize(path), info, 100.0).Ok());
  // ACQUISITION_TIME 3:12:45, DELAY -0.010.
  EXPECT_NEAR(info.Start, EncodeDateTime(2018, 3, 7, 3, 12, 44, 990), kMillisecond / 10);
  EXPECT_DOUBLE_EQ(info.SampRate, 8000.0);
  EXPECT_EQ(info.SampleCount, 2048);
  ASSERT_EQ(info.ChannelCount, 1);
  EXPECT_EQ(info.ChannelNames[0], "1");  // CHANNEL_NUMBER, no orientation
}

// ---------------------------------------------------------------------------------------------
// A writer of small SEG-2 files.

struct TraceLayout {
  int Format = kSeg2Int32;
  std::vector<double> Values;
  std::vector<std::string> Strings = {"SAMPLE_INTERVAL 0.01", "DESCALING_FACTOR 2"};
  uint16_t Id = 0x4422;
};

struct FileLayout {
  bool Big = false;
  std::vector<std::string> Strings = {"ACQUISITION_DATE 05/MAR/2021", "ACQUISITION_TIME 12:34:56"};
  std::vector<TraceLayout> Traces;
  std::optional<uint32_t> LastPointer;  // replaces the last trace's pointer
};

class Writer {
 public:
  explicit Writer(bool big) : big_(big) {}
  void U16(uint16_t v) { big_ ? testing::PutU16BE(B, v) : testing::PutU16LE(B, v); }
  void U32(uint32_t v) { big_ ? testing::PutU32BE(B, v) : testing::PutU32LE(B, v); }
  void SetU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      B[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (big_ ? 24 - 8 * i : 8 * i));
    }
  }
  // Offset-prefixed strings ending in a zero byte, then a zero offset; padded to 4 bytes.
  void Strings(const std::vector<std::string>& strings) {
    for (const std::string& s : strings) {
      U16(static_cast<uint16_t>(s.size() + 3));
      B.insert(B.end(), s.begin(), s.end());
      B.push_back(0);
    }
    U16(0);
    while (B.size() % 4 != 0) B.push_back(0);
  }
  void Samples(int format, const std::vector<double>& values) {
    if (format == kSeg2Float20) {
      for (size_t g = 0; g < values.size(); g += 4) {
        uint16_t exponents = 0;
        std::vector<uint16_t> words;
        for (size_t i = 0; i < 4; ++i) {
          auto v = g + i < values.size() ? static_cast<int64_t>(values[g + i]) : 0;
          int e = 0;
          while (std::abs(v) > 32767) {
            v /= 2;
            ++e;
          }
          exponents = static_cast<uint16_t>(exponents | (e << (4 * i)));
          words.push_back(static_cast<uint16_t>(v >= 0 ? v : ~(-v) & 0xffff));
        }
        U16(exponents);
        for (uint16_t w : words) U16(w);
      }
      return;
    }
    for (double v : values) {
      switch (format) {
        case kSeg2Int16:
          U16(static_cast<uint16_t>(static_cast<int16_t>(v)));
          break;
        case kSeg2Float32:
          U32(std::bit_cast<uint32_t>(static_cast<float>(v)));
          break;
        case kSeg2Float64: {
          const auto bits = std::bit_cast<uint64_t>(v);
          U32(static_cast<uint32_t>(big_ ? bits >> 32 : bits));
          U32(static_cast<uint32_t>(big_ ? bits : bits >> 32));
          break;
        }
        default:
          U32(static_cast<uint32_t>(static_cast<int32_t>(v)));
      }
    }
  }

  std::vector<uint8_t> B;

 private:
  bool big_;
};

std::string WriteSeg2(const TempDir& dir, const FileLayout& f, const std::string& name = "x.seg2") {
  Writer w(f.Big);
  w.U16(0x3a55);
  w.U16(1);  // revision
  const auto n = static_cast<uint16_t>(f.Traces.size());
  w.U16(static_cast<uint16_t>(4 * n));
  w.U16(n);
  w.B.insert(w.B.end(), {1, 0, 0, 1, '\n', 0});  // string and line terminators
  w.B.resize(32, 0);
  const size_t pointers = w.B.size();
  w.B.resize(pointers + 4 * n, 0);
  w.Strings(f.Strings);
  for (size_t t = 0; t < f.Traces.size(); ++t) {
    const TraceLayout& trace = f.Traces[t];
    const size_t start = w.B.size();
    w.SetU32(pointers + 4 * t, static_cast<uint32_t>(start));
    Writer block(f.Big);
    block.Strings(trace.Strings);
    Writer samples(f.Big);
    samples.Samples(trace.Format, trace.Values);
    w.U16(trace.Id);
    w.U16(static_cast<uint16_t>(32 + block.B.size()));
    w.U32(static_cast<uint32_t>(samples.B.size()));
    w.U32(static_cast<uint32_t>(trace.Values.size()));
    w.B.push_back(static_cast<uint8_t>(trace.Format));
    w.B.resize(start + 32, 0);
    w.B.insert(w.B.end(), block.B.begin(), block.B.end());
    w.B.insert(w.B.end(), samples.B.begin(), samples.B.end());
  }
  if (f.LastPointer) w.SetU32(pointers + 4 * (n - 1u), *f.LastPointer);
  testing::WriteBytes(dir.File(name), w.B);
  return dir.File(name);
}

// ---------------------------------------------------------------------------------------------

struct FormatCase {
  int Format;
  bool Big;
  std::vector<double> Values;
  std::vector<int32_t> Counts;  // what the reader gives: integers as stored, floats in µV
};

class Seg2Formats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Seg2Formats, DecodeInBothByteOrders) {
  const FormatCase& c = GetParam();
  TempDir dir;
  FileLayout layout;
  layout.Big = c.Big;
  layout.Traces = {{c.Format, c.Values}};
  const std::string path = WriteSeg2(dir, layout);
  EXPECT_EQ(Recognize(path), kTagSeg2);
  TStatus why;
  const std::optional<Seg2File> f = ReadSeg2Fields(path, &why);
  ASSERT_TRUE(f) << Text(why, TLanguage::kEnglish);
  EXPECT_EQ(f->BigEndian, c.Big);
  BinaryFile file(path);
  EXPECT_EQ(ReadSeg2Samples(file, *f, f->Traces[0]), c.Counts);
  // Counts over counts per volt are the stored values × descaling (2) in volts: 1 count = 1 mV
  // for integer formats, 1 µV for floating ones.
  const double per_volt = Seg2CountsPerVolt(f->Traces[0]);
  const bool floating = c.Format == kSeg2Float32 || c.Format == kSeg2Float64;
  EXPECT_DOUBLE_EQ(per_volt, floating ? 1e9 : 500.0);
}

const std::vector<double> kInts = {0, 1, -1, 32767, -32768, 1234};
const std::vector<double> kWide = {70000, -70000, 2147483647, -2147483648.0};
// 20-bit values: a 15-bit mantissa scaled by 2^0 .. 2^15; the last group has one sample.
const std::vector<double> kFloat20 = {5, -20, 40000, -98304, 32767, -32767, 0, 1 << 20, -3};
const std::vector<int32_t> kFloat20Counts = {5, -20, 40000, -98304, 32767, -32767, 0, 1 << 20, -3};
const std::vector<double> kFloats = {0.25, -1.5e-3, 1e-7, 2000.0};
const std::vector<int32_t> kFloatCounts = {500000, -3000, 0, 2147483647};

INSTANTIATE_TEST_SUITE_P(
    Codes, Seg2Formats,
    ::testing::Values(FormatCase{kSeg2Int16, false, kInts, {0, 1, -1, 32767, -32768, 1234}},
                      FormatCase{kSeg2Int16, true, kInts, {0, 1, -1, 32767, -32768, 1234}},
                      FormatCase{kSeg2Int32, false, kWide, {70000, -70000, 2147483647, INT32_MIN}},
                      FormatCase{kSeg2Int32, true, kWide, {70000, -70000, 2147483647, INT32_MIN}},
                      FormatCase{kSeg2Float20, false, kFloat20, kFloat20Counts},
                      FormatCase{kSeg2Float20, true, kFloat20, kFloat20Counts},
                      FormatCase{kSeg2Float32, false, kFloats, kFloatCounts},
                      FormatCase{kSeg2Float32, true, kFloats, kFloatCounts},
                      FormatCase{kSeg2Float64, false, kFloats, kFloatCounts},
                      FormatCase{kSeg2Float64, true, kFloats, kFloatCounts}));

// Channel names and components: an orientation string where the trace has one; three traces
// without any are Z, N, E; a letter shared by several traces carries the channel number.
struct NamingCase {
  const char* Name;
  std::vector<std::vector<std::string>> TraceStrings;
  std::vector<std::string> Names;
};

class Seg2Naming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(Seg2Naming, ChannelNamesAndComponents) {
  TempDir dir;
  FileLayout layout;
  for (const auto& extra : GetParam().TraceStrings) {
    TraceLayout t;
    t.Values = {1, 2, 3};
    t.Strings.insert(t.Strings.end(), extra.begin(), extra.end());
    layout.Traces.push_back(t);
  }
  TFileRecordInfo info;
  TStatus why;
  ASSERT_TRUE(ReadSeg2Header(WriteSeg2(dir, layout), info, 0.0, &why))
      << Text(why, TLanguage::kEnglish);
  ASSERT_EQ(info.ChannelCount, static_cast<int>(GetParam().Names.size()));
  for (size_t i = 0; i < GetParam().Names.size(); ++i) {
    EXPECT_EQ(info.ChannelNames[i], GetParam().Names[i]) << "channel " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Seg2Naming,
    ::testing::Values(NamingCase{"ThreeWithoutOrientationAreZNE", {{}, {}, {}}, {"Z", "N", "E"}},
                      NamingCase{"TwoWithoutOrientationByNumber",
                                 {{"CHANNEL_NUMBER 7"}, {"CHANNEL_NUMBER 8"}},
                                 {"7", "8"}},
                      NamingCase{"OrientationStringsWin",
                                 {{"COMPONENT E"}, {"COMPONENT Z"}, {"COMPONENT N"}},
                                 {"E", "Z", "N"}},
                      NamingCase{"SharedLetterCarriesTheNumber",
                                 {{"CHANNEL_NUMBER 1", "ORIENTATION VERTICAL"},
                                  {"CHANNEL_NUMBER 2", "ORIENTATION VERTICAL"},
                                  {"CHANNEL_NUMBER 3", "ORIENTATION NORTH"}},
                                 {"Z1", "Z2", "N"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Damaged files: refused, and the reason names the block and the field.
struct DamagedCase {
  const char* Name;
  FileLayout Layout;
  TCode Where;         // the code of the refusal itself
  TCode Cause;         // the code of its innermost reason
  int64_t Offset;      // -1: none; -2: the offset of a trace the layout places
  const char* Reason;  // the English words that still reach the user
};

// The innermost reason of a refusal.
const TStatus& Innermost(const TStatus& status) {
  for (const TArg& arg : status.Args) {
    if (arg.Nested != nullptr) return Innermost(*arg.Nested);
  }
  return status;
}

class Seg2Damaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(Seg2Damaged, RefusedWithTheCause) {
  TempDir dir;
  const std::string path = WriteSeg2(dir, GetParam().Layout);
  TFileRecordInfo info;
  TStatus why;
  EXPECT_FALSE(ReadSeg2Header(path, info, 100.0, &why));
  const std::string text = Text(why, TLanguage::kEnglish);
  EXPECT_EQ(why.Code, GetParam().Where) << text;
  EXPECT_EQ(Innermost(why).Code, GetParam().Cause) << text;
  if (GetParam().Offset == -2) {
    EXPECT_GT(why.Offset, 0) << text;
  } else {
    EXPECT_EQ(why.Offset, GetParam().Offset) << text;
  }
  EXPECT_NE(text.find(GetParam().Reason), std::string::npos) << text;
  EXPECT_EQ(info.ChannelCount, 0);
  // The loader's reader writes nothing from such a file.
  TData32 data(2, std::vector<int32_t>(8, 0));
  LoadTarget target;
  target.Data = &data;
  ReadSeg2Into(path, target);
  EXPECT_EQ(target.Position, 0);
  EXPECT_EQ(data[0], std::vector<int32_t>(8, 0));
}

FileLayout TwoTraces() {
  FileLayout f;
  f.Traces = {{kSeg2Int32, {1, 2}}, {kSeg2Int16, {3, 4}}};
  return f;
}

template <typename Change>
FileLayout Changed(Change change) {
  FileLayout f = TwoTraces();
  change(f);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Seg2Damaged,
    ::testing::Values(
        DamagedCase{"PointerBeyondTheFile", Changed([](FileLayout& f) { f.LastPointer = 1000000; }),
                    TCode::kRefuseInTraceNoByte, TCode::kRefusePointerBeyondEnd, 36,
                    "trace 2: its pointer (byte 36) 1000000 lies beyond the end of the file"},
        DamagedCase{"PointerIntoTheDescriptorBlock",
                    Changed([](FileLayout& f) { f.LastPointer = 8; }), TCode::kRefuseInTraceNoByte,
                    TCode::kRefusePointerIntoDescriptor, 36,
                    "points into the file descriptor block"},
        DamagedCase{"TraceBlockId", Changed([](FileLayout& f) { f.Traces[1].Id = 0x4423; }),
                    TCode::kRefuseInTrace, TCode::kRefuseBlockIdNoBytes, -2,
                    ": the block id is not 4422h"},
        DamagedCase{"FormatCode6", Changed([](FileLayout& f) { f.Traces[0].Format = 6; }),
                    TCode::kRefuseInTrace, TCode::kRefuseDataFormatCode, 104,
                    "trace 1 (byte 104): data format code 6 is not one of 1 to 5"},
        DamagedCase{"RatesDiffer",
                    Changed([](FileLayout& f) { f.Traces[1].Strings = {"SAMPLE_INTERVAL 0.02"}; }),
                    TCode::kRefuseTracesDiffer, TCode::kRefuseTracesDiffer, -1,
                    "traces 1 and 2 differ in SAMPLE_INTERVAL"},
        DamagedCase{"NoSampleInterval",
                    Changed([](FileLayout& f) { f.Traces[0].Strings = {"DESCALING_FACTOR 1"}; }),
                    TCode::kRefuseInTrace, TCode::kRefuseNoPositiveKey, 104,
                    "trace 1 (byte 104): no SAMPLE_INTERVAL above 0"},
        DamagedCase{"NotADate",
                    Changed([](FileLayout& f) { f.Strings = {"ACQUISITION_DATE 32/FOO/2013"}; }),
                    TCode::kRefuseKeyNotDate, TCode::kRefuseKeyNotDate, -1,
                    "ACQUISITION_DATE \"32/FOO/2013\" is not a date"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Seg2Damaged, FileBlockIdIsNotSeg2) {
  TempDir dir;
  std::string path = WriteSeg2(dir, TwoTraces(), "x.sg2");
  std::vector<uint8_t> b = testing::ReadBytes(path);
  b[0] = 0x56;
  testing::WriteBytes(path, b);
  EXPECT_EQ(Recognize(path), 0u);
  TStatus why;
  EXPECT_FALSE(ReadSeg2Fields(path, &why));
  EXPECT_EQ(why.Code, TCode::kRefuseBlockId);
  EXPECT_EQ(why.Offset, 0);
  EXPECT_EQ(Text(why, TLanguage::kEnglish), "the block id (bytes 0 and 1) is not 3A55h");
}

// A data block the file cuts short gives the samples it holds whole.
TEST(Seg2Damaged, CutDataKeepsWholeSamples) {
  TempDir dir;
  FileLayout layout;
  layout.Traces = {{kSeg2Int32, {1, 2, 3, 4}}};
  const std::string path = WriteSeg2(dir, layout);
  std::vector<uint8_t> b = testing::ReadBytes(path);
  b.resize(b.size() - 6);
  testing::WriteBytes(path, b);
  const std::optional<Seg2File> f = ReadSeg2Fields(path);
  ASSERT_TRUE(f);
  BinaryFile file(path);
  EXPECT_EQ(ReadSeg2Samples(file, *f, f->Traces[0]), (std::vector<int32_t>{1, 2}));
}

TEST(Seg2Recognize, ByContentWhateverTheName) {
  TempDir dir;
  FileLayout layout = TwoTraces();
  for (const char* name : {"a.dat", "b.DAT", "c.sg2", "d.seg2", "e", "f.mseed"}) {
    EXPECT_EQ(Recognize(WriteSeg2(dir, layout, name)), kTagSeg2) << name;
  }
  // A text trigger file keeps its ".dat" rule.
  testing::WriteText(dir.File("g.dat"), "t_time.tv_sec=1\n");
  EXPECT_EQ(Recognize(dir.File("g.dat")), kTagIssText);
}

// Files of a record are placed by their start: a file that begins 2 s after the record's start
// lands 2 s × rate samples in; one of another rate is not part of the record.
TEST(Seg2Load, FilesPlacedByTheirStart) {
  TempDir dir;
  FileLayout layout;
  layout.Traces = {{kSeg2Int32, {1, 2, 3}}, {kSeg2Int32, {4, 5, 6}}};
  const std::string path = WriteSeg2(dir, layout);
  TFileRecordInfo first;
  ASSERT_TRUE(ReadSeg2Header(path, first, 0.0));
  TData32 data(2, std::vector<int32_t>(400, 0));
  LoadTarget target;
  target.Data = &data;
  target.First = first;
  target.Written.resize(2);
  target.RecordStart = first.Start - 2.0 / kSecondsPerDay;
  ReadSeg2Into(path, target);
  EXPECT_EQ(target.Position, 203);
  EXPECT_EQ(data[1][200], 4);
  EXPECT_EQ(data[1][202], 6);
  EXPECT_EQ(data[0][199], 0);
  EXPECT_EQ(target.Written[0], (TRecordRanges{{200, 202}}));

  FileLayout other = layout;
  for (TraceLayout& t : other.Traces) t.Strings = {"SAMPLE_INTERVAL 0.02"};
  TData32 fresh(2, std::vector<int32_t>(400, 0));
  target.Data = &fresh;
  target.Position = 0;
  ReadSeg2Into(WriteSeg2(dir, other, "y.seg2"), target);
  EXPECT_EQ(target.Position, 0);
  EXPECT_EQ(fresh[0], std::vector<int32_t>(400, 0));
}

}  // namespace
}  // namespace tarvik

#include "records/wfdisc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RealFile;
using testing::TempDir;

// The reference samples of the real index: 4800 per channel, in data-file order.
std::vector<int32_t> AsciiReference() {
  std::ifstream in(RealFile("css/201101311155.10.ascii"));
  std::vector<int32_t> out;
  int32_t v = 0;
  while (in >> v) out.push_back(v);
  return out;
}

TEST(WfdiscRealFile, EveryChannelOfBothStationsMatchesTheTextSamples) {
  const std::vector<int32_t> ref = AsciiReference();
  ASSERT_EQ(ref.size(), 3u * 4800u);
  TRecList list;
  BuildWfdiscSegments(RealFile("css/test_css.wfdisc"), list, "");
  ASSERT_EQ(list.size(), 6u);
  for (const TRecordDescription& seg : list.Items) {
    SCOPED_TRACE(seg.Station + " " + seg.Channel);
    EXPECT_EQ(seg.Count, 4800);
    EXPECT_EQ(seg.SampRate, 80.0);
    EXPECT_EQ(FormatIso(seg.StartTime), "2011-01-31T11:55:00.000Z");
    const std::vector<int32_t> samples = ReadSamples(seg);
    const size_t first = static_cast<size_t>(seg.Offset / 4);
    ASSERT_EQ(samples.size(), 4800u);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), ref.begin() + first));
  }
  EXPECT_EQ(list[0].DataType, kSampleS4);
  EXPECT_EQ(list[3].DataType, kSampleI4);
}

TEST(WfdiscRealFile, HeaderTakesTheFirstStationOnly) {
  TFileRecordInfo info;
  ASSERT_TRUE(ReadWfdiscHeader(RealFile("css/test_css.wfdisc"), info, 100.0));
  EXPECT_EQ(info.Station, "TESTbe");
  EXPECT_EQ(info.SampRate, 80.0);
  EXPECT_EQ(info.SampleCount, 4800);
  EXPECT_EQ(info.BlockSamples, 4800);
  EXPECT_EQ(info.BlockCount, 1);
  ASSERT_EQ(info.ChannelCount, 3);
  EXPECT_EQ(info.ChannelNames[0], "HHZ");
  EXPECT_EQ(info.ChannelNames[1], "HHE");
  EXPECT_EQ(info.ChannelNames[2], "HHN");
  EXPECT_EQ(info.ChannelCoefs[0], 1e9);

  TRecList list;
  BuildWfdiscSegments(RealFile("css/test_css.wfdisc"), list, "TESTle");
  ASSERT_EQ(list.size(), 3u);
  for (const auto& seg : list.Items) EXPECT_EQ(seg.Station, "TESTle");
}

// One index line in the standard printf layout of CSS 3.0 wfdisc writers.
struct Line {
  std::string sta = "STA";
  std::string chan = "HHZ";
  double time = 1296474900.0;
  long nsamp = 10;
  double samprate = 100.0;
  double calib = 1.0;
  std::string datatype = "i4";
  std::string dir = "-";
  std::string dfile = "data.w";
  long foff = 0;
};

std::string Format(const Line& l) {
  char buf[400];
  std::snprintf(buf, sizeof buf,
                "%-6.6s %-8.8s %17.5f %8ld %8ld %8ld %17.5f %8ld %11.7f %16.6f %16.6f %-6.6s %c "
                "%-2.2s %c %-64.64s %-32.32s %10ld %8ld %-17.17s",
                l.sta.c_str(), l.chan.c_str(), l.time, 1L, 1L, 2011031L,
                l.time + l.nsamp / l.samprate, l.nsamp, l.samprate, l.calib, 1.0, "-", '-',
                l.datatype.c_str(), '-', l.dir.c_str(), l.dfile.c_str(), l.foff, -1L,
                "2011 031 12:00:00");
  return buf;
}

std::vector<uint8_t> Int32LE(const std::vector<int32_t>& v) {
  std::vector<uint8_t> b;
  for (int32_t x : v) testing::PutU32LE(b, static_cast<uint32_t>(x));
  return b;
}

TEST(WfdiscLines, ColumnsOfTheStandardLayout) {
  Line l;
  l.sta = "ABCDEF";
  l.chan = "BHZ12345";
  l.dir = "some/dir";
  l.dfile = "file.w";
  l.foff = 1234;
  l.datatype = "s2";
  const std::optional<TWfdiscLine> w = ParseWfdiscLine(Format(l));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->sta, "ABCDEF");
  EXPECT_EQ(w->chan, "BHZ12345");
  EXPECT_EQ(w->time, 1296474900.0);
  EXPECT_EQ(w->nsamp, 10);
  EXPECT_EQ(w->samprate, 100.0);
  EXPECT_EQ(w->datatype, "s2");
  EXPECT_EQ(w->dir, "some/dir");
  EXPECT_EQ(w->dfile, "file.w");
  EXPECT_EQ(w->foff, 1234);
  EXPECT_EQ(w->commid, -1);
  EXPECT_DOUBLE_EQ(w->lddate, EncodeDayOfYear(2011, 31, 12));
}

struct DirCase {
  const char* name;
  std::string dir;          // as written in the index
  std::string data_folder;  // where the data file really is, relative to the index
};

class WfdiscDirTest : public ::testing::TestWithParam<DirCase> {};

TEST_P(WfdiscDirTest, DataFileIsFoundFromTheIndexFolder) {
  TempDir tmp;
  const DirCase& c = GetParam();
  std::filesystem::create_directories(tmp.path() / c.data_folder);
  const std::vector<int32_t> samples = {5, -6, 7, -8, 9, 1000000};
  testing::WriteBytes((tmp.path() / c.data_folder / "data.w").string(), Int32LE(samples));
  Line l;
  l.dir = c.dir;
  l.nsamp = static_cast<long>(samples.size());
  testing::WriteText(tmp.File("x.wfdisc"), Format(l) + "\r\n");

  TRecList list;
  BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(ReadSamples(list[0]), samples) << list[0].FileName;
}

INSTANTIATE_TEST_SUITE_P(Dirs, WfdiscDirTest,
                         ::testing::Values(DirCase{"dash", "-", "."}, DirCase{"blank", "", "."},
                                           DirCase{"backslashes", "wf\\2011\\031", "wf/2011/031"},
                                           DirCase{"slashes", "wf/2011", "wf/2011"},
                                           DirCase{"trailing_backslash", "wf\\", "wf"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WfdiscDir, AbsoluteDirIsTakenAsItStands) {
  TempDir data;
  TempDir index;
  const std::vector<int32_t> samples = {1, 2, 3};
  testing::WriteBytes(data.File("data.w"), Int32LE(samples));
  Line l;
  l.dir = data.path().string();
  l.nsamp = 3;
  testing::WriteText(index.File("x.wfd"), Format(l) + "\n");
  TRecList list;
  BuildWfdiscSegments(index.File("x.wfd"), list, "");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(ReadSamples(list[0]), samples);
}

TEST(WfdiscCalib, ZeroCalibGivesUnitCoefficientAndNanoCalib) {
  TempDir tmp;
  Line zero;
  zero.calib = 0.0;
  zero.chan = "HHZ";
  Line quarter;
  quarter.calib = 0.25;
  quarter.chan = "HHN";
  testing::WriteText(tmp.File("x.wfdisc"), Format(zero) + "\n" + Format(quarter) + "\n");

  TFileRecordInfo info;
  ASSERT_TRUE(ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0));
  ASSERT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.ChannelCoefs[0], 1.0);
  EXPECT_EQ(info.ChannelCoefs[1], 4e9);

  TRecList list;
  BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_DOUBLE_EQ(list[0].Calib, 1e-9);
  EXPECT_DOUBLE_EQ(list[1].Calib, 0.25e-9);
}

TEST(WfdiscHeader, SpansEveryLineOfTheStationAndSkipsOthers) {
  TempDir tmp;
  Line a;  // 10 samples at 100 Hz from t
  Line b = a;
  b.time = a.time + 0.1;  // continues a: ends 0.2 s after t
  Line other = a;
  other.sta = "OTHER";
  other.time = a.time - 100.0;
  other.nsamp = 100000;
  Line early = a;
  early.chan = "HHE";
  early.time = a.time - 0.05;
  testing::WriteText(tmp.File("x.wfdisc"), Format(a) + "\n\n" + Format(other) + "\n" + Format(b) +
                                               "\n" + Format(early) + "\n");
  TFileRecordInfo info;
  ASSERT_TRUE(ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0));
  EXPECT_EQ(info.Station, "STA");
  EXPECT_DOUBLE_EQ(info.Start, UnixToDateTime(a.time - 0.05));
  EXPECT_EQ(info.SampleCount, 25);  // from t - 0.05 s to t + 0.2 s at 100 Hz
  ASSERT_EQ(info.ChannelCount, 2);
  EXPECT_EQ(info.ChannelNames[1], "HHE");
}

TEST(WfdiscHeader, KeepsTheFirst32Channels) {
  TempDir tmp;
  std::string text;
  for (int i = 0; i < 40; ++i) {
    Line l;
    l.chan = "C" + std::to_string(i);
    text += Format(l) + "\n";
  }
  testing::WriteText(tmp.File("x.wfdisc"), text);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0));
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[31], "C31");
}

TEST(WfdiscLines, ALineThatDoesNotParseEndsTheFile) {
  TempDir tmp;
  Line good;
  std::string bad = Format(good);
  bad.replace(79, 8, "   ten  ");  // nsamp
  Line late = good;
  late.chan = "HHN";
  testing::WriteText(tmp.File("x.wfdisc"), Format(good) + "\n" + bad + "\n" + Format(late) + "\n");
  TRecList list;
  BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
  EXPECT_EQ(list.size(), 1u);
  TFileRecordInfo info;
  EXPECT_FALSE(ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0));
  EXPECT_EQ(info.ChannelCount, 1);
}

TEST(WfdiscLines, UnknownDataTypeReadsAsZeros) {
  TempDir tmp;
  testing::WriteBytes(tmp.File("data.w"), Int32LE({1, 2, 3}));
  Line l;
  l.datatype = "x9";
  l.nsamp = 3;
  testing::WriteText(tmp.File("x.wfdisc"), Format(l) + "\n");
  TRecList list;
  BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].DataType, 0);
  EXPECT_EQ(ReadSamples(list[0]), std::vector<int32_t>(3, 0));
}

TEST(WfdiscDamaged, ShortLinesHugeCountsAndEmptyFilesAreSafe) {
  TempDir tmp;
  testing::WriteBytes(tmp.File("data.w"), Int32LE({1, 2}));
  Line huge;
  huge.nsamp = 2147483647;
  huge.foff = 2147483000;
  const std::string full = Format(huge);
  for (size_t cut : {size_t{0}, size_t{5}, size_t{40}, size_t{120}, size_t{250}, full.size()}) {
    SCOPED_TRACE(cut);
    testing::WriteText(tmp.File("x.wfdisc"), full.substr(0, cut));
    TFileRecordInfo info;
    ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0);
    TRecList list;
    BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
    for (const auto& seg : list.Items) EXPECT_LE(ReadSamples(seg).size(), 64u);
  }
  TFileRecordInfo info;
  info.Station = "stale";
  EXPECT_FALSE(ReadWfdiscHeader(tmp.File("missing.wfdisc"), info, 0.0));
  EXPECT_TRUE(info.Station.empty());
}

}  // namespace
}  // namespace tarvik

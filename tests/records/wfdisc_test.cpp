#include "records/wfdisc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "records/read_samples.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RealFile;
using testing::TempDir;

TEST(WfdiscRealFile, BothStationsGiveTheTextSamplesOfEveryChannel) {
  std::ifstream in(RealFile("css/201101311155.10.ascii"));
  const std::vector<int32_t> ref{std::istream_iterator<int32_t>(in), {}};
  ASSERT_EQ(ref.size(), 3u * 4800u);  // the data files' three channels, in file order
  TRecList list;
  BuildWfdiscSegments(RealFile("css/test_css.wfdisc"), list, "");
  ASSERT_EQ(list.size(), 6u);
  for (const TRecordDescription& seg : list.Items) {
    SCOPED_TRACE(seg.Station + " " + seg.Channel);
    EXPECT_EQ(FormatIso(seg.StartTime), "2011-01-31T11:55:00.000Z");
    const std::vector<int32_t> samples = ReadSamples(seg);
    ASSERT_EQ(samples.size(), 4800u);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), ref.begin() + seg.Offset / 4));
  }
  TFileRecordInfo info;
  ASSERT_TRUE(ReadWfdiscHeader(RealFile("css/test_css.wfdisc"), info, 100.0));
  EXPECT_EQ(info.Station, "TESTbe");
  EXPECT_EQ(info.SampRate, 80.0);
  EXPECT_EQ(info.SampleCount, 4800);
  EXPECT_EQ(info.ChannelCount, 3);
  list.Clear();
  BuildWfdiscSegments(RealFile("css/test_css.wfdisc"), list, "TESTle");
  EXPECT_EQ(list.size(), 3u);
}

struct Line {
  std::string Sta = "STA", Chan = "HHZ";
  double Time = 1296474900.0;
  long Nsamp = 10;
  double Calib = 1.0;
  std::string Dir = "-";
};

// One index line in the printf layout of CSS 3.0 writers (100 Hz, "i4" samples in data.w).
std::string Format(const Line& l) {
  char buf[400];
  std::snprintf(buf, sizeof buf,
                "%-6.6s %-8.8s %17.5f %8ld %8ld %8ld %17.5f %8ld %11.7f %16.6f %16.6f %-6.6s %c "
                "%-2.2s %c %-64.64s %-32.32s %10ld %8ld %-17.17s",
                l.Sta.c_str(), l.Chan.c_str(), l.Time, 1L, 1L, 2011031L, l.Time + l.Nsamp / 100.0,
                l.Nsamp, 100.0, l.Calib, 1.0, "-", '-', "i4", '-', l.Dir.c_str(), "data.w", 0L, -1L,
                "2011 031 12:00:00");
  return buf;
}

TEST(WfdiscPaths, DirColumnResolvesFromTheIndexFolder) {
  TempDir elsewhere;
  struct Case {
    std::string Dir;     // as written in the index
    std::string Folder;  // where the data file is
  };
  const std::vector<Case> cases = {{"-", "."},
                                   {"", "."},
                                   {"wf\\2011\\031", "wf/2011/031"},
                                   {"wf/2011", "wf/2011"},
                                   {elsewhere.Path().string(), elsewhere.Path().string()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Dir);
    TempDir tmp;
    const auto folder = tmp.Path() / c.Folder;  // an absolute folder replaces the index's
    std::filesystem::create_directories(folder);
    std::vector<uint8_t> bytes;
    for (int32_t v : {5, -6, 1000000}) testing::PutU32LE(bytes, static_cast<uint32_t>(v));
    testing::WriteBytes((folder / "data.w").string(), bytes);
    Line l;
    l.Dir = c.Dir;
    l.Nsamp = 3;
    testing::WriteText(tmp.File("x.wfdisc"), Format(l) + "\r\n");
    TRecList list;
    BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(ReadSamples(list[0]), (std::vector<int32_t>{5, -6, 1000000})) << list[0].FileName;
  }
}

TEST(WfdiscHeader, SpansTheStationsLinesTakesCalibZeroAsOneKeeps32Channels) {
  TempDir tmp;
  Line a;  // calib 0; 10 samples at 100 Hz from t
  a.Calib = 0.0;
  Line b = a;  // continues a to t + 0.2 s
  b.Time += 0.1;
  Line other = a;  // another station: never part of the header
  other.Sta = "OTHER";
  other.Time -= 100.0;
  Line early = a;  // from t - 0.05 s
  early.Chan = "HHE";
  early.Calib = 0.25;
  early.Time -= 0.05;
  std::string text = Format(a) + "\n\n" + Format(other) + "\n" + Format(b) + "\n" + Format(early);
  for (int i = 2; i < 40; ++i) {
    Line extra = a;
    extra.Chan = "C" + std::to_string(i);
    text += "\n" + Format(extra);
  }
  testing::WriteText(tmp.File("x.wfd"), text);
  TFileRecordInfo info;
  ASSERT_TRUE(ReadWfdiscHeader(tmp.File("x.wfd"), info, 0.0));
  EXPECT_DOUBLE_EQ(info.Start, UnixToDateTime(a.Time - 0.05));
  EXPECT_EQ(info.SampleCount, 25);
  EXPECT_EQ(info.ChannelCount, 32);
  EXPECT_EQ(info.ChannelNames[1], "HHE");
  EXPECT_EQ(info.ChannelNames[31], "C31");
  EXPECT_EQ(info.ChannelCoefs[0], 1.0);
  EXPECT_EQ(info.ChannelCoefs[1], 4e9);
  TRecList list;
  BuildWfdiscSegments(tmp.File("x.wfd"), list, "STA");
  ASSERT_EQ(list.size(), 41u);
  EXPECT_DOUBLE_EQ(list[0].Calib, 1e-9);
  EXPECT_DOUBLE_EQ(list[2].Calib, 0.25e-9);
}

TEST(WfdiscDamaged, BadLinesShortLinesAndHugeCounts) {
  TempDir tmp;
  Line good;
  std::string bad = Format(good);
  bad.replace(79, 8, "   ten  ");  // nsamp is not a number: the file ends there
  testing::WriteText(tmp.File("x.wfdisc"), Format(good) + "\n" + bad + "\n" + Format(good));
  TRecList list;
  BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
  EXPECT_EQ(list.size(), 1u);
  TFileRecordInfo info;
  EXPECT_FALSE(ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0));

  // Numbers that no recording has end the file as well, the header reader saying which line.
  const struct {
    size_t At, Width;
    const char* Text;
    TCode Cause;
    const char* Why;
  } absurd[] = {
      {79, 8, "     -10", TCode::kRefuseWfdiscNegative, "line 2: its nsamp or foff is below 0"},
      {88, 11, "  0.0000000", TCode::kRefuseWfdiscRate, "line 2: its samprate is not above 0"},
      {88, 11, " -100.00000", TCode::kRefuseWfdiscRate, "line 2: its samprate is not above 0"},
      {79, 8, "   ten  ", TCode::kRefuseWfdiscColumns,
       "line 2: its time, nsamp, samprate, calib or foff column is not "
       "a number"}};
  for (const auto& a : absurd) {
    std::string line = Format(good);
    line.replace(a.At, a.Width, a.Text);
    testing::WriteText(tmp.File("x.wfdisc"), Format(good) + "\n" + line + "\n" + Format(good));
    list.Clear();
    BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
    EXPECT_EQ(list.size(), 1u) << a.Text;
    TStatus why;
    EXPECT_FALSE(ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0, &why)) << a.Text;
    EXPECT_EQ(why.Code, TCode::kRefuseInLine);
    EXPECT_EQ(why.Line, 2);
    ASSERT_EQ(why.Args.size(), 2u);
    EXPECT_EQ(why.Args[0].Text, "2");
    ASSERT_NE(why.Args[1].Nested, nullptr);
    EXPECT_EQ(why.Args[1].Nested->Code, a.Cause);
    EXPECT_EQ(Text(why, TLanguage::kEnglish), a.Why);
  }

  testing::WriteBytes(tmp.File("data.w"), {1, 0, 0, 0});
  Line huge;
  huge.Nsamp = 2147483647;
  const std::string full = Format(huge);
  for (size_t cut : {size_t{5}, size_t{40}, size_t{120}, size_t{250}, full.size()}) {
    testing::WriteText(tmp.File("x.wfdisc"), full.substr(0, cut));
    ReadWfdiscHeader(tmp.File("x.wfdisc"), info, 0.0);
    list.Clear();
    BuildWfdiscSegments(tmp.File("x.wfdisc"), list, "");
    for (const auto& seg : list.Items) EXPECT_LE(ReadSamples(seg).size(), 64u) << cut;
  }
  info.Station = "stale";
  EXPECT_FALSE(ReadWfdiscHeader(tmp.File("missing.wfdisc"), info, 0.0));
  EXPECT_TRUE(info.Station.empty());
}

}  // namespace
}  // namespace tarvik

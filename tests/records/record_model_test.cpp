#include "records/record_model.h"

#include <gtest/gtest.h>

#include <numeric>

#include "common/rounding.h"
#include "packet_test_support.h"
#include "records/load_target.h"
#include "test_files.h"

namespace tarvik {
namespace {

constexpr double kSec = 1.0 / 86400.0;

// A file of little-endian int32 samples 0, 1, 2, ... and segments that point into it.
class SegmentFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> bytes;
    for (uint32_t v = 0; v < 1000; ++v) testing::PutU32LE(bytes, 1000 + v);
    path_ = dir_.File("samples.bin");
    testing::WriteBytes(path_, bytes);
  }

  // A segment of count samples at 1 Hz taken from sample index first of the file.
  TRecordDescription Segment(TDateTime start, int first, int count, std::string channel = "Z") {
    TRecordDescription s;
    s.FileName = path_;
    s.Station = "STA";
    s.Location = "00";
    s.Channel = std::move(channel);
    s.StartTime = start;
    s.SampRate = 1.0;
    s.Calib = 1.0;
    s.DataType = kSampleI4;
    s.Offset = first * 4;
    s.Count = count;
    return s;
  }

  testing::TempDir dir_;
  std::string path_;
};

TEST_F(SegmentFile, SelectMatchesStationLocationChannelAndTime) {
  TRecList list;
  const TDateTime t0 = 40000.0;
  list.Add(Segment(t0 + 20 * kSec, 20, 10));
  list.Add(Segment(t0, 0, 10));
  list.Add(Segment(t0 + 10 * kSec, 10, 10, "HHZ"));  // "Z" is contained in "HHZ"
  list.Add(Segment(t0, 0, 10, "N"));
  TRecordDescription other = Segment(t0, 0, 10);
  other.Location = "10";
  list.Add(other);
  list.Add(Segment(t0 + 100 * kSec, 0, 10));  // outside the span

  const TRecList ordered = list.Select("STA", "00", t0, t0 + 40 * kSec, "Z", true);
  ASSERT_EQ(ordered.size(), 3u);
  EXPECT_DOUBLE_EQ(ordered[0].StartTime, t0);
  EXPECT_DOUBLE_EQ(ordered[1].StartTime, t0 + 10 * kSec);
  EXPECT_DOUBLE_EQ(ordered[2].StartTime, t0 + 20 * kSec);

  const TRecList unordered = list.Select("STA", "00", t0, t0 + 40 * kSec, "Z", false);
  ASSERT_EQ(unordered.size(), 3u);
  EXPECT_DOUBLE_EQ(unordered[0].StartTime, t0 + 20 * kSec);

  // A span inside one segment still selects it.
  EXPECT_EQ(list.Select("STA", "00", t0 + 2 * kSec, t0 + 3 * kSec, "Z", true).size(), 1u);
}

TEST_F(SegmentFile, GetDataJoinsOneSampleSlipsAndKeepsLargerGapsAsZeros) {
  const TDateTime t0 = 40000.0;
  TRecList list;
  // Ten samples, then ten more starting one sample late (a slip the join closes), then a
  // segment two samples after the end of the second (a gap that stays).
  list.Add(Segment(t0, 0, 10));
  list.Add(Segment(t0 + 11 * kSec, 10, 10));
  list.Add(Segment(t0 + 22 * kSec, 20, 5));
  const TRecordDescription d = list.GetData("STA", "00", t0 + 27 * kSec, t0, "Z");
  ASSERT_EQ(d.Count, 27);
  ASSERT_EQ(d.Data.size(), 27u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(d.Data[i], 1000 + i) << i;
  EXPECT_EQ(d.Data[20], 0);
  EXPECT_EQ(d.Data[21], 0);
  for (int i = 22; i < 27; ++i) EXPECT_EQ(d.Data[i], 1000 + i - 2) << i;
}

TEST_F(SegmentFile, GetDataOverAPartOfTheRecordStartsOnTheSampleGrid) {
  const TDateTime t0 = 40000.0;
  TRecList list;
  list.Add(Segment(t0, 0, 100));
  // From 10.4 s: the output starts on the sample at 10 s.
  const TRecordDescription d = list.GetData("STA", "00", t0 + 20.4 * kSec, t0 + 10.4 * kSec, "Z");
  ASSERT_EQ(d.Count, 10);
  EXPECT_NEAR(d.StartTime, t0 + 10 * kSec, 1e-12);
  EXPECT_EQ(d.Data.front(), 1010);
  EXPECT_EQ(d.Data.back(), 1019);
}

TEST_F(SegmentFile, GetDataLeavesOutASegmentThatEndsWhereTheSpanBegins) {
  const TDateTime t0 = 40000.0;
  TRecList list;
  // The first segment ends at 10 s, where the span begins; the second starts 2 s later.
  list.Add(Segment(t0, 0, 10));
  list.Add(Segment(t0 + 12 * kSec, 20, 10));
  const TRecordDescription d = list.GetData("STA", "00", t0 + 20 * kSec, t0 + 10 * kSec, "Z");
  ASSERT_EQ(d.Count, 10);
  EXPECT_NEAR(d.StartTime, t0 + 10 * kSec, 1e-12);
  // The sample at 9 s lies before the span: the gap before the second segment stays empty.
  EXPECT_EQ(d.Data, (std::vector<int32_t>{0, 0, 1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027}));
}

TEST_F(SegmentFile, GetDataWithoutAMatchIsEmpty) {
  TRecList list;
  list.Add(Segment(40000.0, 0, 10));
  const TRecordDescription d = list.GetData("XXX", "00", 40001.0, 40000.0, "Z");
  EXPECT_EQ(d.Count, 0);
  EXPECT_TRUE(d.Data.empty());
  EXPECT_EQ(d.SampRate, 0.0);
  EXPECT_EQ(d.Station, "XXX");
  EXPECT_DOUBLE_EQ(d.StartTime, 40000.0);
}

TEST_F(SegmentFile, GetDataBoundsTheGapsOfADamagedTimeStamp) {
  TRecList list;
  list.Add(Segment(40000.0, 0, 10));
  list.Add(Segment(40000.0 + 36500.0, 10, 10));  // a century later
  const TRecordDescription d = list.GetData("STA", "00", 40000.0 + 36501.0, 40000.0, "Z");
  // Two segments of ten samples at 1 Hz: at most 2·20 + one day of samples, not a century's.
  EXPECT_LE(d.Count, 40 + 86400);
  EXPECT_EQ(d.Data[0], 1000);

  // A damaged rate of 1 MHz: a day of it would be 86.4 G samples; the gaps stay within a day
  // at 100 Hz.
  TRecList fast;
  TRecordDescription a = Segment(40000.0, 0, 10);
  TRecordDescription b = Segment(40001.0, 10, 10);
  a.SampRate = b.SampRate = 1e6;
  fast.Add(a);
  fast.Add(b);
  const TRecordDescription f = fast.GetData("STA", "00", 40002.0, 40000.0, "Z");
  EXPECT_LE(f.Count, 40 + 8640000);
  EXPECT_EQ(f.Data.size(), static_cast<size_t>(f.Count));
  EXPECT_EQ(f.Data[0], 1000);
}

// GetDataInto leaves a row as GetData's samples copied in at their index would, gaps zeroed
// and the rest of the row untouched, over segments read through a scratch buffer (cut by the
// span or the row) and straight into the row, from plain and Steim files (one block of which
// fails its check).
TEST_F(SegmentFile, GetDataIntoWritesWhatGetDataGivesInPlace) {
  const TDateTime t0 = 40000.0;
  // Steim-1 blocks of 20 samples, two frames each: block b holds 5000 + 100 b + i.
  std::vector<uint8_t> steim;
  for (int b = 0; b < 4; ++b) {
    std::vector<int32_t> values(20);
    for (int i = 0; i < 20; ++i) values[static_cast<size_t>(i)] = 5000 + 100 * b + i;
    std::vector<uint8_t> frames = testing::SimpleSteim1(values, 2);
    if (b == 2) frames[11] ^= 1;  // the reverse constant disagrees: the block is damaged
    steim.insert(steim.end(), frames.begin(), frames.end());
  }
  const std::string steim_path = dir_.File("steim.bin");
  testing::WriteBytes(steim_path, steim);
  auto steim_block = [&](TDateTime start, int block) {
    TRecordDescription s = Segment(start, 0, 20);
    s.FileName = steim_path;
    s.DataType = kSampleSteim1a;
    s.Offset = block * 128;
    s.BlockSize = 128;
    return s;
  };

  struct Case {
    const char* Name;
    std::vector<TRecordDescription> Segments;
    double From, To, RowStart;  // seconds after t0
    size_t RowSize;
  };
  const Case cases[] = {
      {"one segment, whole", {Segment(t0, 0, 10)}, 0, 10, 0, 40},
      {"gaps and a slip",
       {Segment(t0, 0, 10), Segment(t0 + 11 * kSec, 10, 10), Segment(t0 + 24 * kSec, 20, 5)},
       0,
       29,
       0,
       40},
      {"span inside a segment", {Segment(t0, 0, 100)}, 10.4, 20.4, 3, 40},
      {"overlapping segments", {Segment(t0, 0, 20), Segment(t0 + 5 * kSec, 500, 10)}, 0, 20, 0, 30},
      {"row starts after the span", {Segment(t0, 0, 30)}, 0, 30, 12, 40},
      {"row ends inside the span",
       {Segment(t0, 0, 10), Segment(t0 + 12 * kSec, 10, 20)},
       0,
       32,
       0,
       15},
      {"row ends inside a segment", {Segment(t0, 0, 30)}, 0, 30, 0, 25},
      // A row far from the span (a damaged time stamp) takes nothing of it.
      {"row long after the span", {Segment(t0, 0, 30)}, 0, 30, 1e12, 40},
      {"row ages before the span", {Segment(t0, 0, 30)}, 0, 30, -1e300, 40},
      {"samples past the file's end", {Segment(t0, 990, 30)}, 0, 30, 0, 40},
      {"steim blocks",
       {steim_block(t0, 0), steim_block(t0 + 20 * kSec, 1), steim_block(t0 + 45 * kSec, 2),
        steim_block(t0 + 65 * kSec, 3)},
       0,
       85,
       0,
       100},
      {"steim blocks cut",
       {steim_block(t0, 0), steim_block(t0 + 20 * kSec, 1), steim_block(t0 + 40 * kSec, 2)},
       7,
       52,
       0,
       30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecList list;
    for (const TRecordDescription& seg : c.Segments) list.Add(seg);
    const TDateTime from = t0 + c.From * kSec;
    const TDateTime to = t0 + c.To * kSec;
    const TDateTime row_start = t0 + c.RowStart * kSec;
    TRecordRanges covered_want;
    const TRecordDescription want = list.GetData("STA", "00", to, from, "Z", &covered_want);
    ASSERT_GT(want.Count, 0);
    const int64_t at_want =
        RoundToInt64((want.StartTime - row_start) * kSecondsPerDay * want.SampRate);
    TData32 expected(1, std::vector<int32_t>(c.RowSize, 7777));
    WriteClipped(expected, 0, at_want, want.Data);

    std::vector<int32_t> row(c.RowSize, 7777);
    TRecordRanges covered;
    int64_t at = -1;
    const TRecordDescription got =
        list.GetDataInto("STA", "00", to, from, "Z", row_start, row, at, &covered);
    EXPECT_EQ(at, at_want);
    EXPECT_EQ(got.Count, want.Count);
    EXPECT_DOUBLE_EQ(got.StartTime, want.StartTime);
    EXPECT_TRUE(got.Data.empty());
    EXPECT_EQ(covered, covered_want);
    EXPECT_EQ(row, expected[0]);
  }
}

TEST(RecordModel, CloseSmallGapsMovesOnlyOneSampleSlips) {
  TRecList list;
  auto seg = [](TDateTime t, int count) {
    TRecordDescription s;
    s.StartTime = t;
    s.SampRate = 100.0;
    s.Count = count;
    return s;
  };
  const TDateTime t0 = 1000.0;
  list.Add(seg(t0, 100));
  list.Add(seg(t0 + 1.01 * kSec, 100));  // one sample late
  list.Add(seg(t0 + 2.03 * kSec, 100));  // two samples late after the move
  CloseSmallGaps(list, 1);
  EXPECT_NEAR(list[1].StartTime, t0 + 1.0 * kSec, 1e-12);
  EXPECT_NEAR(list[2].StartTime, t0 + 2.03 * kSec, 1e-12);
}

TEST(RecordModel, SampleTypeTable) {
  EXPECT_EQ(SampleTypeFromText("i4"), kSampleI4);
  EXPECT_EQ(SampleTypeFromText("s4"), kSampleS4);
  EXPECT_EQ(SampleTypeFromText("C2"), kSampleSteim2a);
  EXPECT_EQ(SampleTypeFromText("w2"), kSampleW2);
  EXPECT_EQ(SampleTypeFromText("xx"), 0);
  EXPECT_EQ(SampleTypeFromText("c2"), 0);  // case matters
  EXPECT_EQ(SampleTypeText(kSampleZ4), "z4");
  EXPECT_EQ(SampleTypeText(99), "??");
}

TEST(RecordModel, ComponentsFromChannelNames) {
  const std::pair<const char*, int32_t> cases[] = {
      // SEED codes: the orientation decides, whatever the band and instrument letters.
      {"HHZ", 2},
      {"HHN", 1},
      {"hhe", 0},
      {"EHZ", 2},
      {"EHN", 1},
      {"EHE", 0},
      {"ENZ", 2},
      {"BH1", 1},
      {"BH2", 0},
      {"SNZ", 2},
      {"10.EHN", 1},
      {"00.HHZ", 2},
      // Reftek channel numbers: the recorder's Z, N, E wiring.
      {"EH_1", 2},
      {"EH_2", 1},
      {"EH_3", 0},
      {"EH_4", 2},
      {"EH_6", 0},
      {"_12", 0},
      // Every other name: "E" and "N" looked for, the first one found wins.
      {"NE", 1},
      {"EN", 0},
      {"", 2},
      {"EH3", 0},
      {"E12", 0},
      {"N", 1},
      {"EX01", 0},
      {"ZZ01", 2},
      {"NY01", 1},
      {"EH_", 0},
      {"EH_0", 0}};
  for (const auto& [name, axis] : cases)
    EXPECT_EQ(ComponentNumber(AxisFromChannelName(name)), axis) << name;
}

TEST(RecordModel, FormRecordFromAHeader) {
  TFileRecordInfo info;
  info.Station = "LONGSTATION";
  info.Start = 42524.0;
  info.SampRate = 100.0;
  info.SampleCount = 360000;
  info.ChannelCount = 3;
  info.ChannelNames[0] = "HHE";
  info.ChannelNames[1] = "HHN";
  info.ChannelNames[2] = "HHZ";
  for (int c = 0; c < 3; ++c) info.ChannelCoefs[c] = 1e9;
  const TFileRecord r = FormRecord("/d/a.msd", info, true);
  EXPECT_EQ(r.Station, "LONGSTA");
  EXPECT_NEAR(r.Finish - r.Start, 1.0 / 24.0, 1e-10);
  EXPECT_DOUBLE_EQ(r.SelectFinish, r.Finish);
  EXPECT_EQ(r.Channels[0].Axis, Component::kE);
  EXPECT_EQ(r.Channels[1].Axis, Component::kN);
  EXPECT_EQ(r.Channels[2].Axis, Component::kZ);
  EXPECT_EQ(r.Channels[0].Level, -1);
  EXPECT_TRUE(r.Channels[2].Selected);
  EXPECT_EQ(r.Channels[1].ADCCoef, 1e9);
  EXPECT_EQ(FormRecord("/d/a.msd", info, false).Channels[0].Axis, Component::kZ);
}

TEST(RecordModel, ShortNamesKeepWholeLetters) {
  EXPECT_EQ(ShortName("ABCDEFGHIJ"), "ABCDEFG");
  EXPECT_EQ(ShortName("Станция12"), "Станция");
  EXPECT_EQ(ShortName("AB"), "AB");
}

TEST(RecordModel, TagTexts) {
  EXPECT_EQ(TagText(kTagMiniSeed), "[HMS");
  EXPECT_EQ(TagFromText("[HMS"), kTagMiniSeed);
  EXPECT_EQ(TagText(0), "0");
  EXPECT_EQ(TagText(kTagSlProvisional), "[HS\\x00");
}

}  // namespace
}  // namespace tarvik

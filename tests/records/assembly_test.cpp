#include "records/assembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/formats.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::MsChannel;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;
using testing::WriteMiniSeed;

constexpr double kSecond = 1.0 / kSecondsPerDay;
const TDateTime kT0 = EncodeDateTime(2021, 6, 1, 10, 0, 0);

TFileRecordInfo Header(const std::string& station, TDateTime start, double seconds,
                       double rate = 100.0) {
  TFileRecordInfo info;
  info.Station = station;
  info.Start = start;
  info.SampRate = rate;
  info.SampleCount = static_cast<int32_t>(std::lround(seconds * rate));
  info.ChannelCount = 1;
  info.ChannelNames[0] = "HHZ";
  info.ChannelCoefs[0] = 1e9;
  info.BlockCount = 1;
  info.BlockSamples = info.SampleCount;
  return info;
}

// Joining by time: a record of 60 s from kT0, then a second file placed relative to it.
struct JoinCase {
  const char* Name;
  double StartAfterFinish;  // seconds from the record's Finish to the file's Start
  double Seconds;           // the file's duration
  bool Joins;
  double FinishAfter;  // the record's new Finish, seconds after kT0
  double StartAfter;   // the record's new Start, seconds after kT0
};

class JoinTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinTest, JoinsWithinMaxSpanOnly) {
  const JoinCase& c = GetParam();
  AssemblySettings settings;
  settings.MaxSpan = 10;
  TFileRecords records;
  ASSERT_EQ(AddFileHeader(records, "a.msd", kTagMiniSeed, Header("ABC", kT0, 60), settings).Status,
            AddStatus::kNewRecord);
  const TDateTime file_start = kT0 + (60 + c.StartAfterFinish) * kSecond;
  const AddFileResult r =
      AddFileHeader(records, "b.msd", kTagMiniSeed, Header("ABC", file_start, c.Seconds), settings);
  if (!c.Joins) {
    EXPECT_EQ(r.Status, AddStatus::kNewRecord);
    EXPECT_EQ(records.size(), 2u);
    return;
  }
  ASSERT_EQ(r.Status, AddStatus::kJoined);
  ASSERT_EQ(records.size(), 1u);
  const TFileRecord& rec = records[0];
  EXPECT_NEAR((rec.Finish - kT0) / kSecond, c.FinishAfter, 1e-4);
  EXPECT_NEAR((rec.Start - kT0) / kSecond, c.StartAfter, 1e-4);
  EXPECT_EQ(rec.File, c.StartAfter < 0 ? "b.msd" : "a.msd");
  EXPECT_EQ(rec.SampleCount, static_cast<int32_t>(6000 + std::lround(c.Seconds * 100)));
  EXPECT_EQ(rec.SelectStart, rec.Start);
  EXPECT_NEAR((rec.SelectFinish - rec.Start) / kSecond,
              std::min(rec.SampleCount / 100.0, (rec.Finish - rec.Start) / kSecond), 1e-4);
  EXPECT_LE(rec.SelectFinish, rec.Finish);
}

INSTANTIATE_TEST_SUITE_P(
    MaxSpan10, JoinTest,
    ::testing::Values(
        JoinCase{"GapOfMaxSpanJoins", 10, 30, true, 100, 0},
        JoinCase{"GapBeyondMaxSpanStartsANewRecord", 11, 30, false, 0, 0},
        // Overlapping the end lengthens the record by the whole file, not to the file's end.
        JoinCase{"OverlapAddsTheWholeDuration", -5, 30, true, 90, 0},
        // Ends 5 s before the record's start: it becomes the record's first file.
        JoinCase{"FileEndingJustBeforeBecomesTheFirstFile", -95, 30, true, 60, -35},
        JoinCase{"FileEndingTooLongBeforeIsANewRecord", -101, 30, false, 0, 0},
        // Begins 30 s before the record and overlaps its first 5 s: the samples of both files
        // would reach 5 s past the record's end, the selection stops at it.
        JoinCase{"OverlappingFirstFileKeepsTheSelectionInside", -90, 35, true, 60, -30}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AddFileHeader, OtherStationFormsItsOwnRecordAndLastCandidateIsJoined) {
  AssemblySettings settings;
  TFileRecords records;
  AddFileHeader(records, "a", kTagMiniSeed, Header("ABC", kT0, 60), settings);
  AddFileHeader(records, "b", kTagMiniSeed, Header("XYZ", kT0 + 60 * kSecond, 60), settings);
  // A second ABC record that also ends where the next file begins.
  AddFileHeader(records, "c", kTagMiniSeed, Header("ABC", kT0 - 600 * kSecond, 660), settings);
  ASSERT_EQ(records.size(), 3u);
  const AddFileResult r =
      AddFileHeader(records, "d", kTagMiniSeed, Header("ABC", kT0 + 60 * kSecond, 60), settings);
  EXPECT_EQ(r.Record, 2);
  EXPECT_EQ(records[0].SampleCount, 6000);
}

TEST(AddFileHeader, LongStationNamesStillJoin) {
  AssemblySettings settings;
  TFileRecords records;
  AddFileHeader(records, "a", kTagAdb, Header("1234|56|78", kT0, 60), settings);
  const AddFileResult r =
      AddFileHeader(records, "b", kTagAdb, Header("1234|56|78", kT0 + 60 * kSecond, 60), settings);
  EXPECT_EQ(r.Status, AddStatus::kJoined);
  EXPECT_EQ(records.size(), 1u);
}

TEST(AddFileHeader, HeaderWithoutRateIsNotAdded) {
  AssemblySettings settings;
  TFileRecords records;
  for (double rate : {0.0, -1.0, std::nan("")}) {
    const AddFileResult r =
        AddFileHeader(records, "x", kTagReftek, Header("ABC", kT0, 60, rate), settings);
    EXPECT_EQ(r.Status, AddStatus::kNoRate) << rate;
    EXPECT_FALSE(r.Added());
  }
  TFileRecordInfo bad_start = Header("ABC", kT0, 60);
  bad_start.Start = std::nan("");
  EXPECT_EQ(AddFileHeader(records, "x", kTagReftek, bad_start, settings).Status,
            AddStatus::kNoRate);
  EXPECT_TRUE(records.empty());
}

TEST(AddFile, UnrecognisedAndUnreadableFilesAreLeftOut) {
  TempDir dir;
  testing::WriteText(dir.File("notes.seed"), "nothing to see");
  testing::WriteText(dir.File("empty.msd"), "not miniSEED at all, just text");
  TFileRecords records;
  AssemblySettings settings;
  EXPECT_EQ(AddFile(records, dir.File("notes.seed"), settings).Status, AddStatus::kNotRecognized);
  EXPECT_EQ(AddFile(records, dir.File("missing.msd"), settings).Status, AddStatus::kNotRecognized);
  EXPECT_EQ(AddFile(records, dir.File("empty.msd"), settings).Status, AddStatus::kUnreadable);
  EXPECT_TRUE(records.empty());
}

// Hourly-style files of two stations in one folder, written in 60 s pieces at 10 Hz.
class FolderTest : public ::testing::Test {
 protected:
  void WritePiece(const std::string& station, int index, double offset_seconds = 0.0) {
    MsChannel ch;
    ch.Station = station;
    ch.Rate = 10;
    ch.Start = kT0 + (60.0 * index + offset_seconds) * kSecond;
    ch.Samples = TestSignal(600, index + 1);
    const std::string name = station + "_" + std::to_string(index) + ".msd";
    WriteMiniSeed(dir_.File(name), {ch});
  }

  TempDir dir_;
  AssemblySettings settings_;
  RecordingUiHost host_;
};

TEST_F(FolderTest, SearchKeepsToTheRecordsSpanFolderAndMask) {
  for (int i = 0; i < 3; ++i) WritePiece("AAA", i);
  WritePiece("AAA", 5);  // starts after the record's end
  // The same station in a subfolder, and with an extension the record mask does not cover.
  std::filesystem::create_directory(dir_.Path() / "sub");
  MsChannel ch;
  ch.Station = "AAA";
  ch.Rate = 10;
  ch.Start = kT0 + 30 * kSecond;
  ch.Samples = TestSignal(100, 9);
  WriteMiniSeed((dir_.Path() / "sub" / "AAA_9.msd").string(), {ch});
  WriteMiniSeed(dir_.File("AAA_8.mseed"), {ch});
  WriteMiniSeed(dir_.File("AAA_7.seed"), {ch});

  const TDateTime finish = kT0 + 180 * kSecond;
  const RecordFiles files = FindRecordFiles(dir_.File("AAA_0.msd"), 50.0, kT0, finish, host_);
  EXPECT_EQ(files.Tag, kTagMiniSeed);
  const std::vector<std::string> expected = {dir_.File("AAA_0.msd"), dir_.File("AAA_1.msd"),
                                             dir_.File("AAA_2.msd"), dir_.File("AAA_8.mseed")};
  EXPECT_EQ(files.Paths, expected);
  EXPECT_EQ(files.TotalSamples, 3 * 600 + 100);
  EXPECT_TRUE(host_.HasStage("Формирование списка файлов записи"));
}

TEST_F(FolderTest, FormRecordsFromStartsAtTheGivenFile) {
  for (int i = 0; i < 4; ++i) WritePiece("AAA", i);
  WritePiece("BBB", 2);
  const TFileRecords records = FormRecordsFrom(dir_.File("AAA_1.msd"), settings_);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].File, dir_.File("AAA_1.msd"));
  EXPECT_EQ(records[0].SampleCount, 3 * 600);
  EXPECT_NEAR((records[0].Start - kT0) / kSecond, 60.0, 1e-3);
}

}  // namespace
}  // namespace tarvik

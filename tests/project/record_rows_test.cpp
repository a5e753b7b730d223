#include "project/record_rows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "project/driver.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::TempDir;
using testing::WriteText;

TFileRecord Record(const std::string& file, const std::string& station, TDateTime start,
                   double hours, int channels) {
  TFileRecord r;
  r.File = file;
  r.Station = station;
  r.Start = r.SelectStart = start;
  r.Finish = r.SelectFinish = start + hours / 24.0;
  r.SampRate = 100.0;
  r.Channels.resize(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    TRecordChannel& ch = r.Channels[static_cast<size_t>(c)];
    ch.Channel = std::string("HH") + "ENZ"[c % 3];
    ch.Axis = static_cast<Component>(c % 3);
    ch.Selected = true;
  }
  return r;
}

TEST(RecordRows, TellRecordsApartByTheirFilesChannelsAndResults) {
  TempDir dir;
  const std::string present = dir.File("a.msd");
  WriteText(present, "x");
  TProject p;
  p.Records.push_back(Record(present, "AAA", EncodeDateTime(2024, 5, 14), 2.0, 3));
  p.Records.push_back(Record(dir.File("gone.msd"), "BBB", EncodeDateTime(2024, 5, 14, 1), 1.0, 2));
  p.Records.push_back(Record(present, "AAA-1", EncodeDateTime(2024, 5, 13), 3.0, 3));
  // Levels and responses on some selected channels only; a channel not selected counts for
  // nothing and is not listed.
  TFileRecord& a = p.Records[0];
  for (int c = 0; c < 3; ++c) {
    a.Channels[static_cast<size_t>(c)].Level = 1000;
    a.Channels[static_cast<size_t>(c)].ChannelResp = "x.paz";
  }
  TFileRecord& b = p.Records[1];
  b.Channels[0].Level = 500;
  b.Channels[1].SensorResp = "s.paz";
  b.Channels[1].Axis = Component::kZ;
  TFileRecord& c = p.Records[2];
  c.Channels[1].Selected = false;
  const TResultFolders folders = DeriveResultFolders(dir.File("results"));
  // The first record has its primary result, the third its H/V one.
  const std::string prim = PrimaryResultPath(p, folders, p.Records[0]);
  std::filesystem::create_directories(std::filesystem::path(prim).parent_path());
  WriteText(prim, "r");
  const std::string hv = RatioFilePath(folders, p.Records[2]);
  std::filesystem::create_directories(std::filesystem::path(hv).parent_path());
  WriteText(hv, "r");

  const std::vector<TRecordRow> rows = RecordRows(p, folders);
  ASSERT_EQ(rows.size(), 3u);
  const auto text = [&](size_t i, TRecordColumn col) { return RecordCellText(rows[i], col); };
  struct Expected {
    std::string File, Station, Start, Length, Components, Levels, Responses, Results;
    bool Missing;
  };
  const Expected expected[] = {
      {present, "AAA", "14.05.2024 00:00:00", "2:00:00", "E N Z", "заданы", "заданы", "спектр",
       false},
      {dir.File("gone.msd"), "BBB", "14.05.2024 01:00:00", "1:00:00", "E Z", "не все", "не все",
       "нет", true},
      {present, "AAA-1", "13.05.2024 00:00:00", "3:00:00", "E Z", "нет", "нет", "H/V", false},
  };
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Expected& e = expected[i];
    EXPECT_EQ(text(i, TRecordColumn::kFile), e.File);
    EXPECT_EQ(text(i, TRecordColumn::kStation), e.Station);
    EXPECT_EQ(text(i, TRecordColumn::kStart), e.Start);
    EXPECT_EQ(text(i, TRecordColumn::kLength), e.Length);
    EXPECT_EQ(text(i, TRecordColumn::kChannels), e.Components);
    EXPECT_EQ(text(i, TRecordColumn::kLevels), e.Levels);
    EXPECT_EQ(text(i, TRecordColumn::kResponses), e.Responses);
    EXPECT_EQ(text(i, TRecordColumn::kResults), e.Results);
    EXPECT_EQ(rows[i].FileMissing, e.Missing);
    EXPECT_EQ(RecordFileTip(rows[i]).find("не найден") != std::string::npos, e.Missing);
  }
  // Without looking at the disk nothing is missing and nothing computed.
  for (const TRecordRow& row : RecordRows(p, folders, {false})) {
    EXPECT_FALSE(row.FileMissing);
    EXPECT_FALSE(row.PrimaryResult || row.HVResult);
  }
}

TEST(RecordRows, AHeaderClickOrdersByItsColumnTiesByFile) {
  TProject p;
  const TDateTime day = EncodeDateTime(2024, 5, 14);
  p.Records.push_back(Record("/d/c", "S2", day + 0.5, 1.0, 3));
  p.Records.push_back(Record("/d/a", "S1", day, 2.0, 1));
  p.Records.push_back(Record("/d/b", "S2", day, 1.0, 3));
  p.Records.push_back(Record("/d/a", "S10", day + 0.1, 1.0, 2));
  const std::vector<TRecordRow> rows = RecordRows(p, {}, {false});
  struct Case {
    TRecordColumn Column;
    bool Descending;
    std::vector<int> Order;
  };
  const Case cases[] = {
      // Character order, file order on equal values, list order on equal files.
      {TRecordColumn::kFile, false, {1, 3, 2, 0}},
      {TRecordColumn::kFile, true, {0, 2, 1, 3}},
      {TRecordColumn::kStation, false, {1, 3, 2, 0}},
      {TRecordColumn::kStation, true, {2, 0, 3, 1}},
      {TRecordColumn::kStart, false, {1, 2, 3, 0}},
      {TRecordColumn::kLength, true, {1, 3, 2, 0}},
      {TRecordColumn::kChannels, false, {1, 3, 2, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Column) * 10 + c.Descending);
    EXPECT_EQ(RecordRowOrder(rows, c.Column, c.Descending), c.Order);
  }
  EXPECT_TRUE(RecordRowOrder({}, TRecordColumn::kStart, false).empty());
}

TEST(RecordRows, AnOrderIsAppliedOnlyWhenItIsAPermutationThatMoves) {
  TProject p;
  for (const char* f : {"/a", "/b", "/c"}) p.Records.push_back(Record(f, "S", 0.0, 1.0, 1));
  const auto files = [&] {
    std::string out;
    for (const TFileRecord& r : p.Records) out += r.File;
    return out;
  };
  const std::vector<std::vector<int>> refused = {
      {0, 1, 2}, {0, 1}, {0, 0, 1}, {0, 1, 3}, {-1, 0, 1}};
  for (const std::vector<int>& order : refused) {
    EXPECT_FALSE(ApplyRecordOrder(p, order));
    EXPECT_EQ(files(), "/a/b/c");
  }
  EXPECT_TRUE(ApplyRecordOrder(p, {2, 0, 1}));
  EXPECT_EQ(files(), "/c/a/b");
}

TEST(ShownDateTime, AlwaysShowsTheTimeWithTwoDigitHours) {
  EXPECT_EQ(ShownDateTime(EncodeDateTime(2024, 5, 14)), "14.05.2024 00:00:00");
  EXPECT_EQ(ShownDateTime(EncodeDateTime(2016, 6, 3, 9, 5, 7)), "03.06.2016 09:05:07");
  EXPECT_EQ(ShownDateTime(EncodeDateTime(1999, 12, 31, 23, 59, 59)), "31.12.1999 23:59:59");
}

}  // namespace
}  // namespace tarvik

#include "project/record_management.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/paths.h"
#include "demo_recordings.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::RecordingUiHost;
using testing::TempDir;

// A record of station with the named channels, all selected, over [start, finish] hours of a
// day.
TFileRecord Rec(const std::string& station, const std::string& file, double start_h = 0,
                double finish_h = 1, std::vector<std::string> channels = {"E", "N", "Z"}) {
  TFileRecord r;
  r.Station = station;
  r.File = file;
  r.Start = r.SelectStart = EncodeDateTime(2024, 5, 14) + start_h / 24.0;
  r.Finish = r.SelectFinish = EncodeDateTime(2024, 5, 14) + finish_h / 24.0;
  r.SampRate = 100;
  r.Channels.resize(channels.size());
  for (size_t c = 0; c < channels.size(); ++c) {
    r.Channels[c].Channel = channels[c];
    r.Channels[c].Selected = true;
    r.Channels[c].Axis = static_cast<Component>(static_cast<int32_t>(c));
  }
  return r;
}

std::vector<std::string> Stations(const TProject& p) {
  std::vector<std::string> out;
  for (const TFileRecord& r : p.Records) out.push_back(r.Station);
  return out;
}

std::vector<std::string> Files(const TProject& p) {
  std::vector<std::string> out;
  for (const TFileRecord& r : p.Records) out.push_back(r.File);
  return out;
}

// Every station the operations give is unique in the project and fits the station field.
void ExpectUniqueShortStations(const TProject& p, size_t first) {
  for (size_t i = first; i < p.Records.size(); ++i) {
    const std::string& s = p.Records[i].Station;
    EXPECT_EQ(ShortName(s), s);
    for (size_t k = 0; k < p.Records.size(); ++k) {
      if (k != i) {
        EXPECT_NE(p.Records[k].Station, s) << i << " " << k;
      }
    }
  }
}

TEST(SplitChannels, OneRecordPerSelectedChannelNamedByIt) {
  TProject p;
  p.Records = {Rec("ST1", "/d/a.msd"), Rec("LONGSTA", "/d/b.msd", 0, 1, {"HHE", "HHN"})};
  p.Records[1].Channels[0].Selected = false;
  const TRecordOpResult r = SplitChannels(p, {1, 0});
  EXPECT_TRUE(p.Modified);
  EXPECT_EQ(r.NewRecords, (std::vector<int>{2, 3, 4, 5}));
  // Records in list order, channels in channel order. Station + "-" + channel where it fits;
  // LONGSTA-HHN cut to 7 characters would be the source's own station, so the part is named by
  // what tells HHN from HHE, the station giving up characters for it.
  EXPECT_EQ(Stations(p),
            (std::vector<std::string>{"ST1", "LONGSTA", "ST1-E", "ST1-N", "ST1-Z", "LONGS-N"}));
  for (int k = 0; k < 3; ++k) {
    const TFileRecord& part = p.Records[static_cast<size_t>(2 + k)];
    for (int c = 0; c < 3; ++c) EXPECT_EQ(part.Channels[c].Selected, c == k) << k << c;
    EXPECT_EQ(part.File, "/d/a.msd");
    EXPECT_EQ(part.ChannelCount(), 3);
  }
  EXPECT_TRUE(p.Records[0].Channels[0].Selected &&
              p.Records[0].Channels[2].Selected);  // source stays
  EXPECT_TRUE(p.Records[5].Channels[1].Selected && !p.Records[5].Channels[0].Selected);
  EXPECT_TRUE(r.Warnings.empty());
}

// Names that would collide: each part gets what distinguishes its channel, numbered on when a
// name is taken; never a name another record has.
TEST(SplitChannels, PartsNeverShareAStation) {
  const struct {
    std::string Station;
    std::vector<std::string> Channels;
    std::vector<std::string> First, Second;  // two splits of the same record in a row
  } cases[] = {
      {"TVK01",
       {"HHE", "HHN", "HHZ"},
       {"TVK01-E", "TVK01-N", "TVK01-Z"},
       {"TVK0-E2", "TVK0-N2", "TVK0-Z2"}},
      {"ST1", {"E", "N", "Z"}, {"ST1-E", "ST1-N", "ST1-Z"}, {"ST1-E2", "ST1-N2", "ST1-Z2"}},
      // Location codes: the shared "0.HHZ" goes.
      {"KIEVST", {"00.HHZ", "10.HHZ"}, {"KIEVS-0", "KIEVS-1"}, {"KIEV-02", "KIEV-12"}},
      // Names that do not differ at all: numbered.
      {"AB", {"Z", "Z"}, {"AB-Z", "AB-Z2"}, {"AB-Z3", "AB-Z4"}},
      // Names too long for the field keep their end, the number included.
      {"ST", {"LONGNAM", "LONGNAM"}, {"SONGNAM", "SNGNAM2"}, {"SNGNAM3", "SNGNAM4"}},
      // Cyrillic names are told apart and cut by letters, not bytes.
      {"Пункт", {"Север1", "Север2"}, {"Пункт-1", "Пункт-2"}, {"Пунк-12", "Пунк-22"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Station);
    TProject p;
    p.Records = {Rec(c.Station, "/d/a.msd", 0, 1, c.Channels)};
    const auto n = static_cast<long>(c.Channels.size());
    SplitChannels(p, {0});
    SplitChannels(p, {0});
    const std::vector<std::string> all = Stations(p);
    ASSERT_EQ(all.size(), static_cast<size_t>(1 + 2 * n));
    EXPECT_EQ(std::vector<std::string>(all.begin() + 1, all.begin() + 1 + n), c.First);
    EXPECT_EQ(std::vector<std::string>(all.begin() + 1 + n, all.end()), c.Second);
    ExpectUniqueShortStations(p, 1);
  }
}

TEST(CloneRecords, CopiesNumberedOverTheWholeCommand) {
  struct Case {
    TSelection Selection;
    int Copies;
    std::vector<std::string> Stations;
  };
  const Case cases[] = {
      {{0}, 2, {"A", "B", "A-1", "A-2"}},
      // One repetition names as before: A-1, B-2.
      {{1, 0}, 1, {"A", "B", "A-1", "B-2"}},
      {{1, 0}, 2, {"A", "B", "A-1", "B-2", "A-3", "B-4"}},
      {{0}, 0, {"A", "B"}},
      {{0}, -3, {"A", "B"}},
  };
  for (const Case& c : cases) {
    TProject p;
    p.Records = {Rec("A", "/a"), Rec("B", "/b")};
    const TRecordOpResult r = CloneRecords(p, c.Selection, c.Copies);
    EXPECT_EQ(Stations(p), c.Stations) << c.Copies;
    EXPECT_EQ(p.Modified, c.Copies > 0);
    EXPECT_EQ(r.Count, static_cast<int>(c.Stations.size()) - 2);
    EXPECT_TRUE(r.Warnings.empty());
  }
  EXPECT_EQ(CopiesFromText("3"), 3);
  EXPECT_EQ(CopiesFromText(" 2 "), 2);
  EXPECT_EQ(CopiesFromText("-1"), -1);
  EXPECT_EQ(CopiesFromText("два"), 1);
  EXPECT_EQ(CopiesFromText("2.5"), 1);
  EXPECT_EQ(CopiesFromText(""), 1);
}

// Twenty copies of TVK01 once were twenty "TVK01-1": the number never cut, the station giving up
// a character when the number needs it, numbers whose name is taken passed over.
TEST(CloneRecords, TwentyCopiesGetTwentyStations) {
  TProject p;
  p.Records = {Rec("TVK01", "/a"), Rec("TVK01-2", "/b")};
  const TRecordOpResult r = CloneRecords(p, {0}, 20);
  ASSERT_TRUE(r.Done);
  ASSERT_EQ(p.Records.size(), 22u);
  EXPECT_EQ(p.Records[2].Station, "TVK01-1");
  EXPECT_EQ(p.Records[3].Station, "TVK01-3");  // TVK01-2 is taken
  EXPECT_EQ(p.Records[10].Station, "TVK0-10");
  EXPECT_EQ(p.Records[21].Station, "TVK0-21");
  ExpectUniqueShortStations(p, 2);
  // A clone of a clone is numbered anew, away from every station there is.
  CloneRecords(p, {2}, 1);
  EXPECT_EQ(p.Records.back().Station, "TVK0-22");
  ExpectUniqueShortStations(p, 2);
}

TEST(CombineRecords, EarliestStartKeepsLatestEnds) {
  TProject p;
  // Records that follow one another; A is only a start, C begins with it.
  p.Records = {Rec("X", "/x"), Rec("B", "/b", 9, 10), Rec("A", "/a", 2, 2), Rec("C", "/c", 2, 9)};
  p.Records[1].SelectFinish = EncodeDateTime(2024, 5, 14, 11);  // beyond every Finish
  p.Records[2].SelectStart = EncodeDateTime(2024, 5, 14, 2, 30);
  const TRecordOpResult r = CombineRecords(p, {3, 1, 2});
  ASSERT_TRUE(r.Done) << CodeName(r.Status.Code);
  EXPECT_TRUE(p.Modified);
  // A and C start together: the first in list order is kept, with its File and SelectStart.
  EXPECT_EQ(Stations(p), (std::vector<std::string>{"X", "A"}));
  EXPECT_EQ(r.Selection, TSelection{1});
  EXPECT_EQ(r.Count, 2);
  const TFileRecord& kept = p.Records[1];
  EXPECT_EQ(kept.File, "/a");
  EXPECT_DOUBLE_EQ(kept.Start, EncodeDateTime(2024, 5, 14, 2));
  EXPECT_DOUBLE_EQ(kept.Finish, EncodeDateTime(2024, 5, 14, 10));
  EXPECT_DOUBLE_EQ(kept.SelectStart, EncodeDateTime(2024, 5, 14, 2, 30));
  EXPECT_DOUBLE_EQ(kept.SelectFinish, EncodeDateTime(2024, 5, 14, 11));

  TProject one;
  one.Records = {Rec("A", "/a"), Rec("B", "/b")};
  EXPECT_FALSE(CombineRecords(one, {1, 1, 7}).Done);
  EXPECT_FALSE(one.Modified);
  EXPECT_EQ(one.Records.size(), 2u);
}

// Records that share time are recordings made side by side (one channel each, or two
// stations): combining keeps one, so it is refused, naming them. Records that meet, or overlap
// by less than a sample (the rounding of adjacent files), follow one another.
TEST(CombineRecords, OverlappingRecordsAreRefused) {
  const double sample = 1.0 / 100 / kSecondsPerDay;  // the records' sampling interval, days
  const struct {
    const char* Name;
    std::vector<std::pair<double, double>> Hours;
    const char* Refused;  // the records named, "" when combined
  } cases[] = {
      {"one channel each, side by side", {{0, 1}, {0, 1}, {0, 1}}, "1 (S1), 2 (S2), 3 (S3)"},
      {"the second starts before the first ends", {{0, 2}, {1, 3}}, "1 (S1), 2 (S2)"},
      {"one inside a longer one, a third after", {{0, 5}, {5, 6}, {1, 2}}, "1 (S1), 3 (S3)"},
      {"meeting end to start", {{1, 2}, {0, 1}, {2, 3}}, ""},
      {"with gaps", {{0, 1}, {4, 5}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TProject p;
    for (size_t i = 0; i < c.Hours.size(); ++i) {
      p.Records.push_back(Rec("S" + std::to_string(i + 1), "/f" + std::to_string(i),
                              c.Hours[i].first, c.Hours[i].second, {"Z"}));
    }
    const TProject before = p;
    const TRecordOpResult r = CombineRecords(p, AllRecords(p));
    if (*c.Refused == '\0') {
      EXPECT_TRUE(r.Done) << CodeName(r.Status.Code);
      EXPECT_EQ(p.Records.size(), 1u);
      continue;
    }
    EXPECT_FALSE(r.Done);
    EXPECT_EQ(r.Status.Code, TCode::kRecordsOverlap);
    EXPECT_EQ(r.Status.Args, std::vector<TArg>{c.Refused});
    EXPECT_FALSE(p.Modified);
    EXPECT_EQ(Stations(p), Stations(before));
  }
  // Less than one sample of overlap is adjacency.
  TProject p;
  p.Records = {Rec("A", "/a", 0, 1, {"Z"}), Rec("A", "/b", 1, 2, {"Z"})};
  p.Records[1].Start -= 0.4 * sample;
  EXPECT_TRUE(CombineRecords(p, {0, 1}).Done);
  p.Records = {Rec("A", "/a", 0, 1, {"Z"}), Rec("A", "/b", 1, 2, {"Z"})};
  p.Records[1].Start -= 2 * sample;
  EXPECT_FALSE(CombineRecords(p, {0, 1}).Done);
}

TEST(DeleteRecords, OthersKeepTheirOrder) {
  TProject p;
  p.Records = {Rec("A", "/a"), Rec("B", "/b"), Rec("C", "/c"), Rec("D", "/d")};
  const TRecordOpResult r = DeleteRecords(p, {2, 0, 2, 9, -1});
  EXPECT_EQ(r.Count, 2);
  EXPECT_EQ(Stations(p), (std::vector<std::string>{"B", "D"}));
  EXPECT_TRUE(p.Modified);
  TProject q;
  q.Records = {Rec("A", "/a")};
  DeleteRecords(q, {});
  EXPECT_FALSE(q.Modified);
}

// Each key on four records whose values tie in pairs: the ties go by File.
TEST(SortRecords, EveryKeyAscendingTiesByFile) {
  struct Case {
    TSortKey Key;
    std::vector<std::string> Files;
  };
  auto make = [] {
    TProject p;
    // Stations compare by character code: "B" before "a". Equal lengths come from equal
    // times, so that they are equal to the last bit.
    p.Records = {Rec("a", "/4", 3, 5), Rec("B", "/3", 1, 5), Rec("a", "/2", 3, 4),
                 Rec("B", "/1", 3, 4)};
    p.Records[0].SelectFinish = p.Records[2].Finish;
    return p;
  };
  const Case cases[] = {
      {TSortKey::kFile, {"/1", "/2", "/3", "/4"}},
      {TSortKey::kStation, {"/1", "/3", "/2", "/4"}},
      {TSortKey::kStart, {"/3", "/1", "/2", "/4"}},
      {TSortKey::kFinish, {"/1", "/2", "/3", "/4"}},
      // Lengths 2 h, 4 h, 1 h, 1 h.
      {TSortKey::kLength, {"/1", "/2", "/4", "/3"}},
      // Selections 1 h, 4 h, 1 h, 1 h.
      {TSortKey::kSelection, {"/1", "/2", "/4", "/3"}},
  };
  for (const Case& c : cases) {
    TProject p = make();
    const TRecordOpResult r = SortAll(p, c.Key);
    EXPECT_EQ(Files(p), c.Files) << static_cast<int>(c.Key);
    EXPECT_TRUE(p.Modified);
    // Order tells where each record came from.
    for (size_t k = 0; k < r.Order.size(); ++k)
      EXPECT_EQ(p.Records[k].File, make().Records[static_cast<size_t>(r.Order[k])].File);
  }
}

TEST(SortRecords, SelectedRecordsStayInTheirOwnPositions) {
  TProject p;
  p.Records = {Rec("E", "/e"), Rec("D", "/d"), Rec("C", "/c"), Rec("B", "/b"), Rec("A", "/a")};
  const TRecordOpResult r = SortSelected(p, {4, 1, 2}, TSortKey::kStation);
  EXPECT_EQ(Stations(p), (std::vector<std::string>{"E", "A", "C", "B", "D"}));
  EXPECT_EQ(r.Count, 2);  // C stayed where it was
  EXPECT_EQ(r.Order, (std::vector<int>{0, 4, 2, 3, 1}));
}

TEST(ChangePathAndFile, OnlyTheFolderOrTheCurrentFile) {
  TProject p;
  p.Records = {Rec("A", "/old/a.msd"), Rec("B", "C:\\rec\\b.msd"), Rec("C", "/old/c.msd")};
  ChangePath(p, {0, 1}, "/new");
  EXPECT_EQ(Files(p), (std::vector<std::string>{"/new/a.msd", "/new/b.msd", "/old/c.msd"}));
  EXPECT_TRUE(p.Modified);

  p.Modified = false;
  EXPECT_FALSE(ChangeFile(p, -1, "/x").Done);
  EXPECT_FALSE(p.Modified);
  const TFileRecord before = p.Records[2];
  EXPECT_TRUE(ChangeFile(p, 2, "/x/y.msd").Done);
  EXPECT_EQ(p.Records[2].File, "/x/y.msd");
  EXPECT_EQ(p.Records[2].Start, before.Start);
  EXPECT_TRUE(p.Modified);
}

TEST(RenameChannel, RecordsWithoutTheChannelAreLeftAlone) {
  TProject p;
  p.Records = {Rec("A", "/a"), Rec("B", "/b", 0, 1, {"X"})};
  const TRecordOpResult r = RenameChannel(p, {0, 1}, 2, "HHZ");
  EXPECT_EQ(r.Count, 1);
  EXPECT_EQ(p.Records[0].Channels[2].Channel, "HHZ");
  EXPECT_EQ(p.Records[1].ChannelCount(), 1);
  EXPECT_FALSE(RenameChannel(p, {0}, 32, "Q").Done);
}

TEST(CompressRecords, AFailedCopyLeavesTheRecordAlone) {
  TempDir dir;
  testing::WriteShortRecordings(dir.Path().string(), 1, 30.0, 1);

  TProject p;
  RecordingUiHost host;
  const TAddReport added = AddFilesToProject(p, {dir.File("TVK01.XX.20240514T000000.msd")}, host);
  ASSERT_EQ(added.Result.NewRecords, std::vector<int>{0});
  EXPECT_TRUE(p.Modified);
  p.Records.push_back(Rec("GONE", dir.File("missing.msd")));
  p.Modified = false;

  const TResultFolders folders = DeriveResultFolders(dir.File("results"));
  const TCompressReport report = CompressRecords(p, {1, 0}, folders, host);
  ASSERT_EQ(report.Written.size(), 1u);
  EXPECT_EQ(report.Written[0].first, 0);
  EXPECT_EQ(p.Records[0].File, JoinPath(folders.ZipData, "20240514-000000.000.TVK01.rec"));
  EXPECT_TRUE(std::filesystem::exists(p.Records[0].File));
  ASSERT_EQ(report.Failed.size(), 1u);
  EXPECT_EQ(report.Failed[0].first, 1);
  EXPECT_EQ(p.Records[1].File, dir.File("missing.msd"));
  EXPECT_TRUE(p.Modified);
  EXPECT_EQ(host.Operations.back(), "Сжатие записей");

  // Adding a file that is no seismogram changes nothing.
  testing::WriteText(dir.File("notes.txt.bak"), "nothing");
  p.Modified = false;
  EXPECT_TRUE(AddFilesToProject(p, {dir.File("notes.txt.bak")}, host).Result.NewRecords.empty());
  EXPECT_FALSE(p.Modified);
}

// A header with more channels than a record holds gives a record of the first 32, and every
// operation stays within them.
TEST(RecordManagement, AHeaderOfFortyChannelsKeepsTheFirst32) {
  TFileRecordInfo info;
  info.Station = "BIG";
  info.Start = EncodeDateTime(2024, 5, 14);
  info.SampRate = 100;
  info.SampleCount = 1000;
  info.ChannelCount = 40;
  for (int c = 0; c < kMaxChannels; ++c) info.ChannelNames[c] = "C" + std::to_string(c + 1);
  TProject p;
  ASSERT_TRUE(AddFileHeader(p.Records, "/d/big.rec", MakeTag("[HD2"), info, {}).Added());
  ASSERT_EQ(p.Records[0].ChannelCount(), 32);
  const TRecordOpResult r = SplitChannels(p, {0});
  ASSERT_EQ(r.Count, 32);
  EXPECT_EQ(p.Records.back().Station, "BIG-C32");
  EXPECT_TRUE(p.Records.back().Channels[31].Selected);
}

}  // namespace
}  // namespace tarvik

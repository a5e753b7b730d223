// A station whose channels come in files of their own forms one record of all its channels,
// which loads and runs exactly as the same samples in files of all three channels do.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "common/paths.h"
#include "project/project_file.h"
#include "project/record_management.h"
#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::MsChannel;
using testing::Quote;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;
using testing::WriteMiniSeed;

constexpr int kRate = 50;
constexpr size_t kFileSamples = 5 * 60 * kRate;  // five minutes a file
const TDateTime kT0 = EncodeDateTime(2024, 3, 5, 10, 0, 0);
const char* const kChannels[] = {"HHE", "HHN", "HHZ"};

MsChannel Channel(const std::string& station, int c, int file) {
  MsChannel ch;
  ch.Station = station;
  ch.Channel = kChannels[c];
  ch.Rate = kRate;
  ch.Start = kT0 + static_cast<double>(file * kFileSamples) / kRate / kSecondsPerDay;
  ch.Samples = TestSignal(kFileSamples, c + 1, file * kFileSamples);
  return ch;
}

// The same two files' time of three channels: as one file per channel and file time (split),
// and as one file of all three channels per file time (joint).
void WriteSplit(const std::string& folder, const std::string& station, int files) {
  fs::create_directories(folder);
  for (int c = 0; c < 3; ++c) {
    for (int f = 0; f < files; ++f) {
      WriteMiniSeed(
          folder + "/" + station + "." + kChannels[c] + "." + std::to_string(f) + ".mseed",
          {Channel(station, c, f)});
    }
  }
}

void WriteJoint(const std::string& folder, const std::string& station, int files) {
  fs::create_directories(folder);
  for (int f = 0; f < files; ++f) {
    WriteMiniSeed(folder + "/" + station + "." + std::to_string(f) + ".mseed",
                  {Channel(station, 0, f), Channel(station, 1, f), Channel(station, 2, f)});
  }
}

TFileRecords AddFolder(const std::string& folder, HeaderCache* cache = nullptr) {
  RecordingUiHost host;
  TFileRecords records;
  std::vector<std::string> paths;
  for (const auto& e : fs::directory_iterator(folder)) paths.push_back(e.path().string());
  std::sort(paths.begin(), paths.end());
  AddFiles(records, paths, AssemblySettings{}, host, cache);
  return records;
}

TData32 Load(TFileRecord record) {
  RecordingUiHost host;
  LoadSettings load;
  load.Demean = false;
  TData32 data;
  EXPECT_TRUE(LoadRecord(record, data, host, load));
  return data;
}

std::vector<std::string> Names(const TFileRecord& r) {
  return ChannelNames(r);
}

TEST(ChannelFiles, OneRecordOfAllChannelsLoadsAsTheJointFiles) {
  TempDir dir;
  WriteSplit(dir.File("split"), "STA", 2);
  WriteJoint(dir.File("joint"), "STA", 2);
  const TFileRecords split = AddFolder(dir.File("split"));
  const TFileRecords joint = AddFolder(dir.File("joint"));
  ASSERT_EQ(split.size(), 1u);
  ASSERT_EQ(joint.size(), 1u);
  const std::vector<std::string> expected = {"HHE", "HHN", "HHZ"};
  EXPECT_EQ(Names(split[0]), expected);
  EXPECT_EQ(Names(joint[0]), expected);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(split[0].Channels[c].Axis, joint[0].Channels[c].Axis) << c;
  EXPECT_EQ(split[0].Start, joint[0].Start);
  EXPECT_EQ(split[0].Finish, joint[0].Finish);
  EXPECT_EQ(split[0].SampleCount, joint[0].SampleCount);
  EXPECT_EQ(split[0].SelectFinish, joint[0].SelectFinish);
  EXPECT_EQ(FileName(split[0].File), "STA.HHE.0.mseed");

  const TData32 a = Load(split[0]);
  const TData32 b = Load(joint[0]);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[0].size(), 2 * kFileSamples);
  EXPECT_EQ(a, b);
  // Each channel holds its own samples, its second file after its first.
  EXPECT_EQ(a[2][kFileSamples], TestSignal(1, 3, kFileSamples)[0]);
}

// Files join a station's record only as channels of one rate and one location that overlap it;
// the order in which they come does not matter, and a channel's next file added later goes to
// the record that holds the channel.
TEST(ChannelFiles, WhatJoinsAndWhatStaysApart) {
  TempDir dir;
  const std::string folder = dir.File("data");
  fs::create_directories(folder);
  const auto write = [&](const std::string& name, MsChannel ch) {
    WriteMiniSeed(folder + "/" + name, {ch});
    return folder + "/" + name;
  };
  const std::string z0 = write("a_z0.mseed", Channel("STA", 2, 0));
  const std::string e0 = write("b_e0.mseed", Channel("STA", 0, 0));
  MsChannel slow = Channel("STA", 1, 0);
  slow.Rate = 10;
  slow.Samples.resize(kFileSamples / 5);
  const std::string n_slow = write("c_n_slow.mseed", slow);
  MsChannel other = Channel("OTH", 1, 0);
  const std::string n_other = write("d_n_other.mseed", other);
  MsChannel located = Channel("STA", 1, 0);
  located.Location = "10";
  const std::string n_loc = write("e_n_loc.mseed", located);
  MsChannel later = Channel("STA", 1, 0);
  later.Start += 1.0 / 24.0;  // an hour later: does not overlap
  const std::string n_later = write("f_n_later.mseed", later);

  RecordingUiHost host;
  TFileRecords records;
  AddFiles(records, {z0, e0, n_slow, n_other, n_loc, n_later}, AssemblySettings{}, host);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(Names(records[0]), (std::vector<std::string>{"HHZ", "HHE"}));
  EXPECT_EQ(records[0].Channels[0].Axis, Component::kZ);
  EXPECT_EQ(records[0].Channels[1].Axis, Component::kE);
  for (size_t i = 1; i < records.size(); ++i) EXPECT_EQ(records[i].ChannelCount(), 1) << i;

  // The N channel's two files, the second added before the first and in a later call.
  const std::string n1 = write("g_n1.mseed", Channel("STA", 1, 1));
  const std::string n0 = write("h_n0.mseed", Channel("STA", 1, 0));
  const std::string z1 = write("i_z1.mseed", Channel("STA", 2, 1));
  const std::string e1 = write("j_e1.mseed", Channel("STA", 0, 1));
  TFileRecords two;
  AddFiles(two, {z0, e0}, AssemblySettings{}, host);
  AddFiles(two, {n1, z1}, AssemblySettings{}, host);
  AddFiles(two, {n0, e1}, AssemblySettings{}, host);
  ASSERT_EQ(two.size(), 1u);
  EXPECT_EQ(Names(two[0]), (std::vector<std::string>{"HHZ", "HHE", "HHN"}));
  EXPECT_NEAR((two[0].Finish - two[0].Start) * kSecondsPerDay, 600.0, 1e-3);
  const TData32 data = Load(two[0]);
  ASSERT_EQ(data.size(), 3u);
  ASSERT_EQ(data[2].size(), 2 * kFileSamples);
  EXPECT_EQ(data[2][0], TestSignal(1, 2, 0)[0]);
  EXPECT_EQ(data[2][kFileSamples], TestSignal(1, 2, kFileSamples)[0]);
  EXPECT_EQ(data[1][kFileSamples], TestSignal(1, 1, kFileSamples)[0]);
}

// Records of a station's channel files made apart (one AddFile each, as a project of an earlier
// version holds them) join by their channels with every channel's settings; records that are
// not simultaneous channels of one station are refused and left as they were.
TEST(ChannelFiles, CombineChannelsKeepsEachChannelsSettings) {
  TempDir dir;
  WriteSplit(dir.File("split"), "STA", 1);
  MsChannel slow = Channel("STA", 1, 0);
  slow.Channel = "LHN";
  slow.Rate = 10;
  slow.Samples.resize(kFileSamples / 5);
  WriteMiniSeed(dir.File("split/STA.LHN.mseed"), {slow});
  TProject p;
  for (const char* name : {"STA.HHZ.0.mseed", "STA.HHE.0.mseed", "STA.HHN.0.mseed", "STA.LHN.mseed",
                           "STA.HHE.0.mseed"}) {
    ASSERT_TRUE(
        AddFile(p.Records, dir.File(std::string("split/") + name), AssemblySettings{}).Added());
  }
  ASSERT_EQ(p.Records.size(), 5u);
  for (int i = 0; i < 3; ++i) {
    TFileRecord& r = p.Records[static_cast<size_t>(i)];
    r.Channels[0].Level = 100 + i;
    r.Channels[0].ADCCoef = 0.5 + i;
    r.Channels[0].ChannelResp = "resp" + std::to_string(i) + ".rsp";
    r.Channels[0].Axis = static_cast<Component>(i);  // a component set by hand
    r.Channels[0].Selected = i != 1;
  }
  const TProject before = p;
  // Another rate, the same channel twice: refused, nothing changed.
  for (const TSelection& bad : {TSelection{0, 3}, TSelection{1, 4}, TSelection{0}}) {
    TProject q = p;
    const TRecordOpResult r = CombineChannels(q, bad);
    EXPECT_FALSE(r.Done);
    EXPECT_TRUE(r.Status.Code == TCode::kChannelsNotJoinable ||
                r.Status.Code == TCode::kSelectTwoRecords)
        << CodeName(r.Status.Code);
    EXPECT_EQ(q.Records.size(), 5u);
  }
  // The window's combine of records that overlap: the same channel twice stays refused.
  TProject q = p;
  EXPECT_FALSE(CombineRecords(q, {1, 4}).Done);

  const TRecordOpResult r = CombineRecords(p, {2, 0, 1});
  ASSERT_TRUE(r.Done) << CodeName(r.Status.Code);
  ASSERT_EQ(p.Records.size(), 3u);
  EXPECT_EQ(r.Selection, TSelection{0});
  const TFileRecord& k = p.Records[0];
  EXPECT_EQ(Names(k), (std::vector<std::string>{"HHZ", "HHE", "HHN"}));
  for (int c = 0; c < 3; ++c) {
    const TFileRecord& was = before.Records[static_cast<size_t>(c)];
    EXPECT_EQ(k.Channels[c].Level, was.Channels[0].Level) << c;
    EXPECT_EQ(k.Channels[c].ADCCoef, was.Channels[0].ADCCoef) << c;
    EXPECT_EQ(k.Channels[c].ChannelResp, was.Channels[0].ChannelResp) << c;
    EXPECT_EQ(ComponentNumber(k.Channels[c].Axis), c) << c;
    EXPECT_EQ(k.Channels[c].Selected, c != 1) << c;
  }
  EXPECT_EQ(p.Records[1].Channels[0].Channel, "LHN");
  const TData32 data = Load(k);
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[0], TestSignal(kFileSamples, 3));
  EXPECT_EQ(data[1], TestSignal(kFileSamples, 1));
  EXPECT_EQ(data[2], TestSignal(kFileSamples, 2));

  // The command line's combine --channels does the same to a saved project.
  TProject saved = before;
  RecordingUiHost host;
  const std::string project = dir.File("p.tvp");
  ASSERT_TRUE(SaveProject(saved, project, 0, host).Ok);
  const CliRun bad = Cli("combine --channels --records 1,4 " + Quote(project), dir);
  EXPECT_NE(bad.Status, 0);
  EXPECT_NE(bad.Err.find("не объединяется по каналам"), std::string::npos) << bad.Err;
  const CliRun good = Cli("combine --channels --records 1-3 " + Quote(project), dir);
  ASSERT_EQ(good.Status, 0) << good.Err;
  TProject after;
  ASSERT_EQ(LoadProject(after, project, host), LoadStatus::kLoaded);
  ASSERT_EQ(after.Records.size(), 3u);
  EXPECT_EQ(Names(after.Records[0]), (std::vector<std::string>{"HHZ", "HHE", "HHN"}));
  EXPECT_EQ(after.Records[0].Channels[2].ChannelResp, "resp2.rsp");
}

// Every file below folder, by its path under folder, with its bytes.
std::map<std::string, std::vector<uint8_t>> Tree(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> out;
  if (!fs::exists(folder)) return out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    out[fs::relative(e.path(), folder).generic_string()] = testing::ReadBytes(e.path().string());
  }
  return out;
}

// Adds folder (or the arguments given) to a new project in project_dir, describes every channel
// with a unit response and a level no sample reaches, and runs spectra and, of records of three
// channels, ratios.
void AddAndRun(const TempDir& dir, const std::string& project_dir, const std::string& add_args,
               size_t records) {
  fs::create_directories(project_dir);
  const std::string project = project_dir + "/p.tvp";
  const CliRun add = Cli("add " + Quote(project) + " " + add_args, dir);
  ASSERT_EQ(add.Status, 0) << add.Err;
  // One response file for every project, so that no result names a file of its own.
  const std::string unit = dir.File("unit.paz");
  testing::WriteText(unit, "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
  TProject p;
  RecordingUiHost host;
  ASSERT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  ASSERT_EQ(p.Records.size(), records);
  for (TFileRecord& r : p.Records) {
    r.ToProcess = true;
    r.ToProcessNakamura = r.ChannelCount() == 3;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      r.Channels[c].ChannelResp = unit;
      r.Channels[c].Level = 1000000000;
    }
  }
  ASSERT_TRUE(SaveProject(p, project, 0, host).Ok);
  const CliRun run = Cli("run --yes " + Quote(project), dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
}

void ExpectSameResults(const std::string& a, const std::string& b) {
  const auto ta = Tree(a + "/Spectra");
  const auto tb = Tree(b + "/Spectra");
  ASSERT_FALSE(ta.empty());
  ASSERT_EQ(ta.size(), tb.size());
  for (auto ia = ta.begin(), ib = tb.begin(); ia != ta.end(); ++ia, ++ib) {
    EXPECT_EQ(ia->first, ib->first);
    EXPECT_TRUE(ia->second == ib->second) << ia->first << " differs";
  }
}

TEST(ChannelFiles, RunGivesTheResultsOfTheJointFiles) {
  TempDir dir;
  WriteSplit(dir.File("split"), "STA", 2);
  WriteJoint(dir.File("joint"), "STA", 2);
  // scan shows the record adding forms.
  const CliRun scan = Cli("scan --json " + Quote(dir.File("split")), dir);
  ASSERT_EQ(scan.Status, 0) << scan.Err;
  const nlohmann::json shown = nlohmann::json::parse(scan.Out);
  ASSERT_EQ(shown["records"].size(), 1u);
  EXPECT_EQ(shown["records"][0]["channels"].size(), 3u);
  // samples forms the record its file begins as adding does: all three channels.
  const CliRun split_samples = Cli("samples " + Quote(dir.File("split/STA.HHE.0.mseed")), dir);
  const CliRun joint_samples = Cli("samples " + Quote(dir.File("joint/STA.0.mseed")), dir);
  ASSERT_EQ(split_samples.Status, 0) << split_samples.Err;
  EXPECT_GT(split_samples.Out.size(), 2 * kFileSamples * 3);
  EXPECT_TRUE(split_samples.Out == joint_samples.Out);
  AddAndRun(dir, dir.File("p_split"), Quote(dir.File("split")), 1);
  AddAndRun(dir, dir.File("p_joint"), Quote(dir.File("joint")), 1);
  ExpectSameResults(dir.File("p_split"), dir.File("p_joint"));
}

// An SDS archive of January 2024: three channels of XX.STA1 and one of XX.STA2 at 1 Hz, a file
// a day each; and the same files side by side in one folder.
constexpr int kSdsDays = 30;

void WriteSds(const std::string& root, const std::string& flat) {
  fs::create_directories(flat);
  const struct {
    const char* Station;
    int Channels;
  } stations[] = {{"STA1", 3}, {"STA2", 1}};
  for (const auto& st : stations) {
    for (int c = 3 - st.Channels; c < 3; ++c) {
      const std::string cha = kChannels[c];
      const std::string folder = root + "/2024/XX/" + st.Station + "/" + cha + ".D";
      fs::create_directories(folder);
      for (int day = 1; day <= kSdsDays; ++day) {
        MsChannel ch;
        ch.Station = st.Station;
        ch.Channel = cha;
        ch.Rate = 1;
        ch.Start = EncodeDayOfYear(2024, day);
        ch.Samples = TestSignal(86400, c + 1, static_cast<size_t>(day) * 86400);
        char name[64];
        std::snprintf(name, sizeof name, "XX.%s..%s.D.2024.%03d", st.Station, cha.c_str(), day);
        WriteMiniSeed(folder + "/" + name, {ch});
        fs::copy_file(folder + "/" + name, flat + "/" + name);
      }
    }
  }
}

TProject Added(const TempDir& dir, const std::string& name, const std::string& args) {
  const std::string project = dir.File(name);
  const CliRun add = Cli("add " + Quote(project) + " " + args, dir);
  EXPECT_EQ(add.Status, 0) << add.Err;
  TProject p;
  RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  return p;
}

TEST(ChannelFiles, SdsArchiveByDayAndContinuous) {
  TempDir dir;
  WriteSds(dir.File("sds"), dir.File("flat"));
  const std::string sds = "--sds " + Quote(dir.File("sds")) + " --stations XX.STA1,XX.STA2.";

  const TProject days = Added(dir, "days.tvp", sds);
  ASSERT_EQ(days.Records.size(), 2u * kSdsDays);
  for (int k = 0; k < 2 * kSdsDays; ++k) {
    const TFileRecord& r = days.Records[static_cast<size_t>(k)];
    const int day = k % kSdsDays + 1;
    SCOPED_TRACE(r.Station + " day " + std::to_string(day));
    EXPECT_EQ(r.Station, k < kSdsDays ? "STA1" : "STA2");
    EXPECT_EQ(Names(r), k < kSdsDays ? (std::vector<std::string>{"HHE", "HHN", "HHZ"})
                                     : std::vector<std::string>{"HHZ"});
    EXPECT_NEAR(r.Start, EncodeDayOfYear(2024, day), 1e-9);
    EXPECT_NEAR(r.Finish, EncodeDayOfYear(2024, day + 1), 1e-9);
  }
  // A day's record reads its three channels from the three channel folders.
  const TData32 data = Load(days.Records[4]);
  ASSERT_EQ(data.size(), 3u);
  ASSERT_EQ(data[1].size(), 86400u);
  EXPECT_EQ(data[1][7], TestSignal(8, 2, 5 * 86400)[7]);

  const TProject some = Added(dir, "some.tvp", sds + " --from 2024-01-10 --to 2024-01-12");
  ASSERT_EQ(some.Records.size(), 6u);
  EXPECT_NEAR(some.Records[0].Start, EncodeDateTime(2024, 1, 10), 1e-9);
  EXPECT_NEAR(some.Records[5].Start, EncodeDateTime(2024, 1, 12), 1e-9);

  // A location that the archive does not hold gives nothing; a malformed station is refused.
  EXPECT_EQ(Cli("add " + Quote(dir.File("none.tvp")) + " --sds " + Quote(dir.File("sds")) +
                    " --stations XX.STA1.10",
                dir)
                .Status,
            1);
  EXPECT_EQ(Cli("add " + Quote(dir.File("none.tvp")) + " --sds " + Quote(dir.File("sds")) +
                    " --stations STA1",
                dir)
                .Status,
            2);
  EXPECT_FALSE(fs::exists(dir.File("none.tvp")));

  const TProject run = Added(dir, "run.tvp", sds + " --per continuous");
  ASSERT_EQ(run.Records.size(), 2u);
  EXPECT_EQ(Names(run.Records[0]), (std::vector<std::string>{"HHE", "HHN", "HHZ"}));
  EXPECT_NEAR((run.Records[0].Finish - run.Records[0].Start), kSdsDays, 1e-6);
  EXPECT_EQ(Names(run.Records[1]), std::vector<std::string>{"HHZ"});
}

// A day file is known from its first and last records when adding an archive: the record is
// the one reading every record gives. A file that breaks the archive's layout (two channels in
// one day file, a size that is no multiple of the record length) is read whole.
TEST(ChannelFiles, SdsDayFilesByTheirFirstAndLastRecords) {
  TempDir dir;
  const std::string folder = dir.File("2024/XX/STA/HHZ.D");
  fs::create_directories(folder);
  const auto day = [&](int d, std::vector<MsChannel> channels) {
    char name[64];
    std::snprintf(name, sizeof name, "XX.STA..HHZ.D.2024.%03d", d);
    WriteMiniSeed(folder + "/" + name, channels);
    return folder + "/" + name;
  };
  MsChannel z = Channel("STA", 2, 0);
  const std::string plain = day(1, {z});
  MsChannel n = Channel("STA", 1, 0);
  const std::string two = day(2, {z, n});
  const std::string odd = day(3, {z});
  std::vector<uint8_t> bytes = testing::ReadBytes(odd);
  bytes.resize(bytes.size() + 100, 0);
  testing::WriteBytes(odd, bytes);
  RecordingUiHost host;
  for (const std::string& path : {plain, two, odd}) {
    SCOPED_TRACE(path);
    TFileRecords fast;
    TFileRecords whole;
    AddFileGroups(fast, {{path}}, AssemblySettings{}, host);
    AddFiles(whole, {path}, AssemblySettings{}, host);
    ASSERT_EQ(fast.size(), 1u);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(Names(fast[0]), Names(whole[0]));
    EXPECT_EQ(fast[0].Start, whole[0].Start);
    EXPECT_EQ(fast[0].Finish, whole[0].Finish);
    EXPECT_EQ(fast[0].SampleCount, whole[0].SampleCount);
  }
  TFileRecords two_channels;
  AddFileGroups(two_channels, {{two}}, AssemblySettings{}, host);
  EXPECT_EQ(two_channels[0].ChannelCount(), 2);
}

// The continuous records of the archive run to the results of the same files in one folder.
TEST(ChannelFiles, SdsRunGivesTheResultsOfOneFolder) {
  TempDir dir;
  WriteSds(dir.File("sds"), dir.File("flat"));
  AddAndRun(dir, dir.File("p_sds"),
            "--sds " + Quote(dir.File("sds")) + " --stations XX.STA1,XX.STA2 --per continuous", 2);
  AddAndRun(dir, dir.File("p_flat"), Quote(dir.File("flat")), 2);
  ExpectSameResults(dir.File("p_sds"), dir.File("p_flat"));
}

}  // namespace
}  // namespace tarvik

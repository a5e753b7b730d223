// What the commands that write a project do to what is there: a channel-settings file that is
// none, records that cannot be combined, two commands editing one project at once, a save killed
// half way and a damaged project file.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "project/project_file.h"
#include "project/project_lock.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::ReadBytes;
using testing::RecordingUiHost;
using testing::TempDir;

// A record of station with one channel per letter of components, over [start, start + hours].
TFileRecord Record(const std::string& station, const std::string& components, double hours = 1,
                   double start_hours = 0) {
  TFileRecord r;
  r.File = "/data/" + station + ".msd";
  r.Station = station;
  r.SampRate = 100.0;
  r.Start = r.SelectStart = EncodeDateTime(2024, 5, 14) + start_hours / 24.0;
  r.Finish = r.SelectFinish = r.Start + hours / 24.0;
  r.Channels.resize(static_cast<size_t>(static_cast<int32_t>(components.size())));
  for (size_t c = 0; c < components.size(); ++c) {
    r.Channels[c].Channel = std::string("HH") + components[c];
    r.Channels[c].Axis = static_cast<Component>(components[c] == 'E'   ? 0
                                                : components[c] == 'N' ? 1
                                                                       : 2);
    r.Channels[c].Selected = true;
    r.Channels[c].SensorResp = "/resp/" + station + "_" + components[c] + ".paz";
  }
  return r;
}

std::string SaveText(const std::string& path, const std::vector<TFileRecord>& records) {
  TProject p;
  p.Records = records;
  RecordingUiHost host;
  const SaveResult saved = SaveProject(p, path, 0, host);
  EXPECT_TRUE(saved.Ok) << Text(saved.Error, TLanguage::kEnglish);
  return saved.FileName;
}

TProject Load(const std::string& path) {
  TProject p;
  RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, path, host), LoadStatus::kLoaded) << path;
  return p;
}

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

// Runs a shell script; its exit status.
int Shell(const std::string& script) {
  const int raw = std::system(("/bin/sh -c " + Quote(script)).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A project whose file, its backup and its temporary names are as they were: nothing written.
void ExpectUntouched(const std::string& path, const std::vector<uint8_t>& bytes) {
  EXPECT_TRUE(ReadBytes(path) == bytes) << path;
  EXPECT_FALSE(fs::exists(ProjectBackupName(path))) << path;
  EXPECT_FALSE(fs::exists(path + ".new")) << path;
}

// A file with no channel settings in it is refused with its name and the project stays as it
// was; a file made for more channels than a record has names what it could not give.
TEST(ProjectIntegrityCli, ChannelsFromAFileThatHoldsNoneAreRefused) {
  TempDir dir;
  const std::string m = SaveText(dir.File("m.tvp"), {Record("STA", "ENZ"), Record("STB", "EN")});
  const std::vector<uint8_t> before = ReadBytes(m);
  testing::WriteText(dir.File("bad.ini"), "garbage\n");
  const CliRun bad =
      Cli("channels " + Quote(m) + " --all --from-ini " + Quote(dir.File("bad.ini")), dir);
  EXPECT_EQ(bad.Status, 1);
  EXPECT_EQ(bad.Err, "channels: Файл " + dir.File("bad.ini") +
                         " не является файлом настроек каналов: в нем нет раздела [REC00] с "
                         "ключами SensorResp01, AmplifierResp01, ChannelResp01, Axis01\n");
  ExpectUntouched(m, before);

  // Record 1's three channels given to both: record 2 has two.
  ASSERT_EQ(
      Cli("channels " + Quote(m) + " --records 1 --to-ini " + Quote(dir.File("set")), dir).Status,
      0);
  const CliRun set =
      Cli("channels " + Quote(m) + " --all --from-ini " + Quote(dir.File("set.ini")), dir);
  EXPECT_EQ(set.Status, 0) << set.Err;
  EXPECT_NE(set.Err.find("channels: предупреждение: Настройки каналов 3 из файла " +
                         dir.File("set.ini") + " не применены к записи 2 (STB): у нее каналов 2"),
            std::string::npos)
      << set.Err;
  const TProject after = Load(m);
  EXPECT_EQ(after.Records[1].Channels[1].SensorResp, "/resp/STA_N.paz");
  EXPECT_EQ(after.Records[1].Channels[1].Axis, Component::kN);
}

// Three one-hour records side by side, one channel each: combining them would keep the E record
// and drop N and Z. Refused, naming them; records that follow one another combine.
TEST(ProjectIntegrityCli, CombiningRecordsThatOverlapIsRefused) {
  TempDir dir;
  const std::string indiv =
      SaveText(dir.File("indiv.tvp"), {Record("IND", "E"), Record("IND", "N"), Record("IND", "Z")});
  const std::vector<uint8_t> before = ReadBytes(indiv);
  const CliRun run = Cli("combine " + Quote(indiv) + " --all", dir);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err,
            "combine: Записи 1 (IND), 2 (IND), 3 (IND) перекрываются по времени; объединяются "
            "только записи, идущие одна за другой\n");
  ExpectUntouched(indiv, before);

  const std::string hours = SaveText(
      dir.File("hours.tvp"),
      {Record("SEQ", "ENZ", 1, 2), Record("SEQ", "ENZ", 1, 0), Record("SEQ", "ENZ", 1, 1)});
  const CliRun joined = Cli("combine " + Quote(hours) + " --all", dir);
  EXPECT_EQ(joined.Status, 0) << joined.Err;
  const TProject p = Load(hours);
  ASSERT_EQ(p.Records.size(), 1u);
  EXPECT_NEAR(p.Records[0].Start, EncodeDateTime(2024, 5, 14), 1e-9);
  EXPECT_NEAR(p.Records[0].Finish, EncodeDateTime(2024, 5, 14, 3), 1e-9);
}

// The reproduction: 40 rounds of two edits of one project started together. Every edit that
// exits 0 is in the project after its round; an edit that gives up names the holder.
TEST(ProjectIntegrityCli, TwoEditsAtOnceBothKeepTheirChange) {
  TempDir dir;
  const std::string p = SaveText(dir.File("p.tvp"), {Record("S1", "Z"), Record("S2", "Z")});
  const std::string cli = Quote(TARVIK_CLI_PATH);
  const std::string d = Quote(dir.Path().string());
  const int rounds = 40;
  const std::string script = "cd " + d + " && for i in $(seq 1 " + std::to_string(rounds) +
                             "); do "
                             "( " +
                             cli +
                             " edit p.tvp --records 1 --station A$i >/dev/null "
                             "2>e1_$i; echo $? >s1_$i ) & "
                             "( " +
                             cli +
                             " edit p.tvp --records 2 --station B$i >/dev/null "
                             "2>e2_$i; echo $? >s2_$i ) & "
                             "wait; cp p.tvp round_$i.tvp; done";
  ASSERT_EQ(Shell(script), 0);
  int saved = 0;
  for (int i = 1; i <= rounds; ++i) {
    const TProject round = Load(dir.File("round_" + std::to_string(i) + ".tvp"));
    ASSERT_EQ(round.Records.size(), 2u);
    for (int r = 1; r <= 2; ++r) {
      const std::string tag = std::to_string(r) + "_" + std::to_string(i);
      const std::string status = Text(dir.File("s" + tag));
      const std::string err = Text(dir.File("e" + tag));
      if (status == "0\n") {
        ++saved;
        EXPECT_EQ(round.Records[static_cast<size_t>(r - 1)].Station,
                  (r == 1 ? "A" : "B") + std::to_string(i))
            << "round " << i << ", record " << r;
      } else {
        EXPECT_EQ(status, "1\n") << tag;
        EXPECT_NE(err.find(") занят другой программой (tarvik-cli, процесс "), std::string::npos)
            << tag << ": " << err;
      }
    }
  }
  EXPECT_GT(saved, 0);
  std::printf("%d of %d edits saved\n", saved, 2 * rounds);
}

// Two writers, forty edits each, of different records of one project, all the time: at the end
// every change whose command exited 0 is in the project; every refusal named the holder.
TEST(ProjectIntegrityCli, TwoWritersFortyEditsEach) {
  TempDir dir;
  std::vector<TFileRecord> records;
  for (int i = 1; i <= 80; ++i) records.push_back(Record("R" + std::to_string(i), "ENZ"));
  const std::string p = SaveText(dir.File("p.tvp"), records);
  const std::string cli = Quote(TARVIK_CLI_PATH);
  const auto writer = [&](const char* name, int first) {
    return "( for i in $(seq 1 40); do n=$((i + " + std::to_string(first - 1) + ")); " + cli +
           " edit p.tvp --records $n --station " + name +
           "$i --channel 1 --level $((1000 + i)) "
           ">/dev/null 2>" +
           name + "e_$i; echo $? >" + name + "s_$i; done ) & ";
  };
  const std::string script =
      "cd " + Quote(dir.Path().string()) + " && { " + writer("A", 1) + writer("B", 41) + "wait; }";
  ASSERT_EQ(Shell(script), 0);
  const TProject after = Load(p);
  ASSERT_EQ(after.Records.size(), 80u);
  int saved = 0;
  for (const char* name : {"A", "B"}) {
    for (int i = 1; i <= 40; ++i) {
      const std::string tag = std::string(name) + "s_" + std::to_string(i);
      const TFileRecord& r = after.Records[static_cast<size_t>(i - 1 + (*name == 'A' ? 0 : 40))];
      if (Text(dir.File(tag)) == "0\n") {
        ++saved;
        EXPECT_EQ(r.Station, name + std::to_string(i)) << tag;
        EXPECT_EQ(r.Channels[0].Level, 1000 + i) << tag;
      } else {
        const std::string err = Text(dir.File(std::string(name) + "e_" + std::to_string(i)));
        EXPECT_NE(err.find(") занят другой программой (tarvik-cli, процесс "), std::string::npos)
            << tag << ": " << err;
        EXPECT_EQ(r.Station, "R" + std::to_string(i + (*name == 'A' ? 0 : 40))) << tag;
      }
    }
  }
  EXPECT_GT(saved, 0);
  std::printf("%d of 80 edits saved\n", saved);
  EXPECT_FALSE(fs::exists(p + ".new"));
  EXPECT_FALSE(fs::exists(ProjectLockName(p)));
}

// While another program holds the project, a command waits a few seconds, then gives up naming
// it, and the project is left as it was.
TEST(ProjectIntegrityCli, AWriterThatWaitsInVainNamesTheHolder) {
  TempDir dir;
  const std::string p = SaveText(dir.File("p.tvp"), {Record("S1", "Z")});
  const std::vector<uint8_t> before = ReadBytes(p);
  TProjectLock held = TProjectLock::Acquire(p);
  ASSERT_TRUE(held.Held());
  const auto start = std::chrono::steady_clock::now();
  const CliRun run = Cli("edit " + Quote(p) + " --records 1 --station X", dir);
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "edit: " + ProjectBusyMessage(p, TProjectLock::ThisHolder()) + "\n");
  EXPECT_GE(waited, kProjectLockWaitSeconds);
  EXPECT_TRUE(ReadBytes(p) == before);
  // Reading needs no lock.
  EXPECT_EQ(Cli("show " + Quote(p), dir).Status, 0);
  EXPECT_EQ(Cli("edit " + Quote(p) + " --records 1 --station X --dry-run", dir).Status, 0);
  held.Release();
  EXPECT_EQ(Cli("edit " + Quote(p) + " --records 1 --station X", dir).Status, 0);
  EXPECT_EQ(Load(p).Records[0].Station, "X");
}

// The reproduction: a text project cut to 700 bytes showed four records, two of them invented,
// and an edit saved that. Now both are refused with the place of the damage, and nothing is
// written over the file.
TEST(ProjectIntegrityCli, ADamagedProjectIsRefusedAndNeverSavedOver) {
  TempDir dir;
  const std::string base = SaveText(
      dir.File("base.tvp"),
      {Record("STA1", "ENZ"), Record("STA2", "ENZ"), Record("STA3", "ENZ"), Record("STA4", "ENZ")});
  ASSERT_EQ(Shell("head -c 700 " + Quote(base) + " > " + Quote(dir.File("trunc.tvp"))), 0);
  const std::string trunc = dir.File("trunc.tvp");
  const std::vector<uint8_t> bytes = ReadBytes(trunc);
  ASSERT_EQ(bytes.size(), 700u);
  const std::string text(bytes.begin(), bytes.end());
  const std::string line = std::to_string(1 + std::count(text.begin(), text.end(), '\n'));
  const std::string damaged = "Файл " + trunc + " поврежден: строка " + line +
                              ": файл обрывается внутри строки раздела [FILES]\n";

  const CliRun show = Cli("show " + Quote(trunc), dir);
  EXPECT_EQ(show.Status, 1);
  EXPECT_EQ(show.Out, "");
  EXPECT_EQ(show.Err, damaged);
  const CliRun edit = Cli("edit " + Quote(trunc) + " --all --station X1", dir);
  EXPECT_EQ(edit.Status, 1);
  EXPECT_EQ(edit.Err, damaged);
  ExpectUntouched(trunc, bytes);
  for (const char* command : {"add", "settings"}) {
    const std::string args = std::string(command) == "add"
                                 ? " " + Quote(testing::RealFile("css/test_css.wfdisc"))
                                 : " MaxSpan=30";
    const CliRun other = Cli(std::string(command) + " " + Quote(trunc) + args, dir);
    EXPECT_EQ(other.Status, 1) << command;
    EXPECT_EQ(other.Err, damaged) << command;
    ExpectUntouched(trunc, bytes);
  }

  // A binary project cut in half: the byte where it ends.
  TProject full = Load(base);
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(full, dir.File("bin.tvp"), 1, host).Ok);
  const std::vector<uint8_t> whole = ReadBytes(dir.File("bin.tvp"));
  const std::vector<uint8_t> half(whole.begin(),
                                  whole.begin() + static_cast<long>(whole.size() / 2));
  testing::WriteBytes(dir.File("half.tvp"), half);
  const CliRun cut = Cli("edit " + Quote(dir.File("half.tvp")) + " --all --station X1", dir);
  EXPECT_EQ(cut.Status, 1);
  EXPECT_NE(cut.Err.find("Файл " + dir.File("half.tvp") + " поврежден: байт " +
                         std::to_string(half.size()) + ": файл обрывается "),
            std::string::npos)
      << cut.Err;
  ExpectUntouched(dir.File("half.tvp"), half);
}

// kill -9 of a save at random moments never leaves a project file (or a backup) that does not
// read back: the project is written under a temporary name and renamed into place.
TEST(ProjectIntegrityCli, AKilledSaveLeavesAProjectThatReadsBack) {
  TempDir dir;
  std::vector<TFileRecord> records;
  for (int i = 0; i < 3000; ++i) records.push_back(Record("K0", "ENZ"));
  const std::string p = SaveText(dir.File("big.tvp"), records);
  const std::string edit = Quote(TARVIK_CLI_PATH) + " edit " + Quote(p) + " --all --station ";

  // How long one edit takes here, so that the kills land all over it.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Shell(edit + "K1 >/dev/null 2>&1"), 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::mt19937 random(22);
  std::uniform_real_distribution<double> anywhere(0.1 * seconds, 1.1 * seconds);
  // The writing itself is a small part of an edit: every other kill waits for the temporary
  // file to appear and comes a moment later, or (one in two of those) at once.
  std::uniform_real_distribution<double> writing(0.0, 0.04 * seconds);
  int mid_save = 0;
  std::string last = "K1";
  // Twenty tries at least, and more until a few kills have come while the file was written.
  int tries = 0;
  for (int i = 2; tries < 20 || (mid_save < 3 && tries < 80); ++i, ++tries) {
    const std::string station = "K" + std::to_string(i);
    const bool wait_for_writing = i % 2 == 1;
    const bool at_once = i % 4 == 1;
    char delay[32];
    std::snprintf(delay, sizeof delay, "%.3f",
                  wait_for_writing ? writing(random) : anywhere(random));
    const std::string watch = wait_for_writing ? "while [ ! -e " + Quote(p + ".new") +
                                                     " ] && kill -0 $pid 2>/dev/null; do :; done; "
                                               : "";
    const std::string pause = at_once ? "" : "sleep " + std::string(delay) + "; ";
    const int status = Shell(edit + station + " >/dev/null 2>&1 & pid=$!; " + watch + pause +
                             "kill -9 $pid 2>/dev/null; wait $pid");
    // A temporary file left behind: the kill came while the project was being written.
    if (fs::exists(p + ".new")) {
      ++mid_save;
      fs::remove(p + ".new");
    }
    const TProject now = Load(p);
    ASSERT_EQ(now.Records.size(), 3000u) << i;
    const std::string kept = now.Records.front().Station;
    EXPECT_TRUE(kept == last || kept == station) << kept;
    EXPECT_TRUE(std::all_of(now.Records.begin(), now.Records.end(),
                            [&](const TFileRecord& r) { return r.Station == kept; }));
    if (status == 0) {
      EXPECT_EQ(kept, station);
    }
    last = kept;
    if (fs::exists(ProjectBackupName(p))) {
      EXPECT_EQ(Load(ProjectBackupName(p)).Records.size(), 3000u) << i;
    }
  }
  std::printf("%d of %d kills came while the project was being written (one edit: %.2f s)\n",
              mid_save, tries, seconds);
  EXPECT_GE(mid_save, 3);
  // What a killed writer leaves behind does not stop the next one.
  ASSERT_EQ(Shell(edit + "DONE >/dev/null 2>&1"), 0);
  EXPECT_EQ(Load(p).Records.front().Station, "DONE");
}

}  // namespace
}  // namespace tarvik

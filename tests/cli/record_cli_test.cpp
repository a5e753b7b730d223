// End-to-end runs of the commands that set up a project without opening its file: a project
// built only through add, edit, channels, template, clone, delete, sort and settings gives the
// same result files as the same project written by hand; runs split into shards write the files
// of one run; bad input leaves the project file as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "project/demo.h"
#include "project/project_file.h"
#include "project/result_manifest.h"
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

// Every file under folder, by its path relative to it, with its bytes.
std::map<std::string, std::vector<uint8_t>> FilesUnder(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> out;
  std::error_code ec;
  if (!fs::exists(folder, ec)) return out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file() && e.path().filename() != kResultManifestName)
      out[fs::relative(e.path(), folder).string()] = ReadBytes(e.path());
  }
  return out;
}

CliRun Ok(const std::string& args, const TempDir& dir) {
  const CliRun run = Cli(args, dir);
  EXPECT_EQ(run.Status, 0) << args << "\n" << run.Out << run.Err;
  return run;
}

// The hand-written project: what a user would type into the file for the same set-up.
constexpr char kHandProject[] =
    "[VERSION]\r\nProjectVersion=1\r\n\r\n"
    "[FILES]\r\nFileNum=3\r\n"
    "File01=$CommonDir/css/test_css.wfdisc\r\nStation01=TESTbe\r\nChannelCount01=3\r\n"
    "SampRate01=80\r\nToProcess01=1\r\nToProcessNakamura01=1\r\n"
    "Start01=31.01.2011 11:55:00\r\nFinish01=31.01.2011 11:56:00\r\n"
    "File02=$CommonDir/data/TVK01.XX.20240514T000000.msd\r\nStation02=TVK01\r\n"
    "ChannelCount02=3\r\nSampRate02=100\r\nToProcess02=1\r\nToProcessNakamura02=1\r\n"
    "Start02=14.05.2024\r\nFinish02=14.05.2024 0:04:00\r\n"
    "File03=$CommonDir/data/TVK02.XX.20240514T000000.msd\r\nStation03=TVK02\r\n"
    "ChannelCount03=3\r\nSampRate03=100\r\nToProcess03=1\r\nToProcessNakamura03=1\r\n"
    "Start03=14.05.2024\r\nFinish03=14.05.2024 0:04:00\r\n"
    "SelectStart03=14.05.2024 0:00:30\r\nSelectFinish03=14.05.2024 0:03:45\r\n\r\n"
    "[REC01]\r\n"
    "Channel01=HHZ\r\nChannelResp01=$CommonDir/unit.rsp\r\nAxis01=2\r\nLevel01=2000000000\r\n"
    "ChanSelected01=1\r\nADCCoef01=1000000000\r\n"
    "Channel02=HHE\r\nChannelResp02=$CommonDir/unit.rsp\r\nAxis02=0\r\nLevel02=2000000000\r\n"
    "ChanSelected02=1\r\nADCCoef02=1000000000\r\n"
    "Channel03=HHN\r\nChannelResp03=$CommonDir/unit.rsp\r\nAxis03=1\r\nLevel03=2000000000\r\n"
    "ChanSelected03=1\r\nADCCoef03=1000000000\r\n\r\n"
    "[REC02]\r\n"
    "Channel01=HHE\r\nChannelResp01=$CommonDir/geophone.paz\r\nAxis01=0\r\n"
    "Level01=2000000000\r\nChanSelected01=1\r\nADCCoef01=419430.4\r\n"
    "Channel02=HHN\r\nChannelResp02=$CommonDir/geophone.paz\r\nAxis02=1\r\n"
    "Level02=2000000000\r\nChanSelected02=1\r\nADCCoef02=419430.4\r\n"
    "Channel03=HHZ\r\nChannelResp03=$CommonDir/geophone.paz\r\nAxis03=2\r\n"
    "Level03=2000000000\r\nChanSelected03=1\r\nADCCoef03=419430.4\r\n\r\n"
    "[REC03]\r\n"
    "Channel01=HHE\r\nChannelResp01=$CommonDir/geophone.paz\r\nAxis01=0\r\n"
    "Level01=2000000000\r\nChanSelected01=1\r\nADCCoef01=419430.4\r\n"
    "Channel02=HHN\r\nChannelResp02=$CommonDir/geophone.paz\r\nAxis02=1\r\n"
    "Level02=2000000000\r\nChanSelected02=1\r\nADCCoef02=419430.4\r\n"
    "Channel03=HHZ\r\nChannelResp03=$CommonDir/geophone.paz\r\nAxis03=2\r\n"
    "Level03=2000000000\r\nChanSelected03=1\r\nADCCoef03=419430.4\r\n\r\n"
    "[SETTINGS]\r\nResultDir=$CommonDir/hand\r\nSilenceDur=20.48\r\nWindowType=5\r\nB=8\r\n"
    "UnitOut=1\r\n\r\n[EVENTSETTINGS]\r\n\r\n";

TEST(RecordCli, ProjectSetUpByCommandsMatchesOneWrittenByHand) {
  TempDir dir;
  const std::string root = dir.Path().string();
  testing::WriteShortRecordings(dir.File("data"), 2, 120.0, 2);
  fs::create_directories(dir.File("css"));
  for (const char* f : {"test_css.wfdisc", "201101311155.10.be.w", "201101311155.10.le.w"})
    fs::copy_file(testing::RealFile(std::string("css/") + f), dir.File(std::string("css/") + f));
  testing::WriteText(dir.File("geophone.paz"), kDemoGeophonePaz);
  const std::string p = Quote(dir.File("cmd.tvp"));

  Ok("add " + p + " --folder " + Quote(dir.File("data")) + " --format 7", dir);
  Ok("add " + p + " " + Quote(dir.File("css/test_css.wfdisc")), dir);
  // Record 1's channels, given to record 2 through a channel-settings file.
  Ok("edit " + p + " --records 1 --all-channels --channel-resp " + Quote(dir.File("geophone.paz")) +
         " --level 2000000000 --adc 419430.4",
     dir);
  Ok("channels " + p + " --records 1 --to-ini " + Quote(dir.File("set")), dir);
  Ok("channels " + p + " --records 2 --from-ini " + Quote(dir.File("set.ini")), dir);
  Ok("edit " + p +
         " --records 2 --all-channels --level 2000000000 --adc 419430.4 --select-start "
         "2024-05-14T00:00:30.000 --select-finish '14.05.2024 00:03:45'",
     dir);
  // A unit response for the first station of the CSS index, a copy of it that is dropped again.
  Ok("template " + p + " --records 3 " + Quote(dir.File("unit")) + " --channel 1", dir);
  Ok("edit " + p + " --records 3 --all-channels --level 2000000000 --channel-resp " +
         Quote(dir.File("unit.rsp")),
     dir);
  // The index holds a second station, TESTle (record 4), which goes with the copy; the copy's
  // number is never cut off the station.
  const CliRun clone = Ok("clone " + p + " --records 3 --copies 1", dir);
  EXPECT_NE(clone.Out.find("добавлена запись 5: TESTb-1 "), std::string::npos) << clone.Out;
  Ok("delete " + p + " --records 4-5", dir);
  Ok("sort " + p + " --key station", dir);
  Ok("edit " + p + " --all --process on --hv on", dir);
  Ok("settings " + p + " SilenceDur=20.48 WindowType=5 B=8 ResultDir=cmd", dir);
  Ok("settings " + p + " --events SilenceDur=60", dir);  // no event records: no effect

  testing::WriteText(dir.File("hand.tvp"), kHandProject);
  // Both projects describe the same records the same way.
  const nlohmann::json a = nlohmann::json::parse(Ok("show --json " + p, dir).Out);
  const nlohmann::json b =
      nlohmann::json::parse(Ok("show --json " + Quote(dir.File("hand.tvp")), dir).Out);
  for (size_t i = 0; i < 3; ++i) {
    nlohmann::json ra = a["records"][i], rb = b["records"][i];
    for (const char* k : {"spectrum_file", "ratio_file", "SelIndex", "SelNakIndex"}) {
      ra.erase(k);
      rb.erase(k);
    }
    EXPECT_EQ(ra, rb) << i;
  }
  EXPECT_EQ(a["settings"]["microseism"], b["settings"]["microseism"]);

  Ok("run " + p, dir);
  Ok("run " + Quote(dir.File("hand.tvp")), dir);
  const auto by_commands = FilesUnder(dir.File("cmd"));
  const auto by_hand = FilesUnder(dir.File("hand"));
  // Primary and H/V files of three records.
  EXPECT_EQ(by_commands.size(), 6u);
  EXPECT_TRUE(by_commands.count("Spectra/Primary/prim_TVK02_240514-000030.dat"));
  EXPECT_TRUE(by_commands == by_hand);
}

// Twelve records in three shards, run in reverse order: together they leave exactly the files
// of one run, also where two records of different shards write the same file.
TEST(RecordCli, ShardsTogetherWriteTheFilesOfOneRun) {
  TempDir dir;
  TDemoOptions options;
  options.Stations.clear();
  for (int i = 0; i < 12; ++i)
    options.Stations.push_back({"S" + std::to_string(i + 10), 1.0 + 0.4 * i});
  options.Files = 1;
  options.FileSeconds = 50;
  options.TransientsPerFile = 0;
  RecordingUiHost host;
  TProject project;
  ASSERT_NO_FATAL_FAILURE(testing::BuildDemoProjectIn(dir.Path().string(), options, host, project));
  ASSERT_EQ(project.Records.size(), 12u);
  // Records 11 and 12 (shards 2 and 3) write the same files; one run keeps record 12's.
  project.Records[11].Station = project.Records[10].Station;
  project.Records[4].ToProcess = project.Records[4].ToProcessNakamura = false;
  project.General.ResultDir = dir.File("whole");
  ASSERT_TRUE(SaveProject(project, dir.File("whole.tvp"), 1, host).Ok);
  project.General.ResultDir = dir.File("shards");
  ASSERT_TRUE(SaveProject(project, dir.File("shards.tvp"), 1, host).Ok);

  Ok("run --yes " + Quote(dir.File("whole.tvp")), dir);
  const std::string shards = Quote(dir.File("shards.tvp"));
  std::vector<std::string> outputs;
  for (const char* shard : {"3/3", "2/3", "1/3"})
    outputs.push_back(Ok("run --yes --shard " + std::string(shard) + " " + shards, dir).Out);
  const auto whole = FilesUnder(dir.File("whole"));
  EXPECT_EQ(whole.size(), 2u * 10);  // 11 records checked, two of them share their files
  EXPECT_TRUE(FilesUnder(dir.File("shards")) == whole);
  // Shard 2/3 has records 2, 5, 8 and 11: 5 is not checked and 11's files are 12's.
  EXPECT_EQ(std::count(outputs[1].begin(), outputs[1].end(), '\n'), 2 * 2) << outputs[1];

  // A shard with no records writes nothing and succeeds.
  fs::remove_all(dir.File("shards"));
  const CliRun empty = Ok("run --yes --shard 13/20 " + shards, dir);
  EXPECT_EQ(empty.Out, "");
  EXPECT_FALSE(fs::exists(dir.File("shards")));

  EXPECT_EQ(Cli("run --shard 4/3 " + shards, dir).Status, 2);
  EXPECT_EQ(Cli("run --shard 0/3 " + shards, dir).Status, 2);
  EXPECT_EQ(Cli("run --shard 1/3 --only 2 " + shards, dir).Status, 2);
}

// Every kind of bad input is refused with a message, and the project file stays as it was.
TEST(RecordCli, BadInputLeavesTheProjectFileAlone) {
  TempDir dir;
  testing::WriteShortRecordings(dir.File("data"), 1, 60.0, 1);
  const std::string p = Quote(dir.File("p.tvp"));
  Ok("add " + p + " --folder " + Quote(dir.File("data")) + " --format 7", dir);
  const std::vector<uint8_t> before = ReadBytes(dir.File("p.tvp"));
  const struct {
    const char* Args;
    int Status;
    const char* Says;
  } cases[] = {
      {"settings P Nonsense=1", 2, "Nonsense: "},
      {"settings P SilenceDur=0.5", 2, "SilenceDur=0.5: "},
      {"settings P MaxSpan=30 B=8.05", 2, "B=8.05"},
      {"settings P SilenceDur", 2, "SilenceDur: не KEY=VALUE"},
      {"edit P --records 2 --station X", 2,
       "--records: \"2\" — не номер и не диапазон номеров записей 1..1"},
      {"edit P --records 0-1 --station X", 2, "--records: \"0-1\""},
      {"edit P --records 1 --channel 4 --level 5", 2, "--channel 4: в записи 1 (TVK01) каналов 3"},
      {"edit P --records 1 --channel 1 --component Q", 2, "--component: Q — не из {E,N,Z}"},
      {"edit P --records 1 --channel 1 --level -5", 2, "-5"},
      {"edit P --records 1 --level 5", 2, "нужен --channel C или --all-channels"},
      {"edit P --all --select-start 2024-13-01T00:00:00", 2, "'2024-13-01T00:00:00'"},
      {"edit P --all --station Y --select-finish 31.06.2024", 2, "'31.06.2024'"},
      {"edit P --all --channel 1 --adc 0", 2, "Коэффициент АЦП должен быть больше нуля"},
      {"edit P --all --rate fast", 2, "'fast'"},
      {"edit P --station X", 2, "Нужен ровно один из параметров [--records,--all]"},
      {"edit P --all", 2, "нечего менять"},
      {"combine P --all", 2, "хотя бы две записи"},
      {"clone P --all --copies -1", 2, "-1"},
      {"sort P --key size", 2, "size"},
      {"channels P --all --from-ini none.ini", 1, "none.ini не найден"},
      {"template P --all out.rsp --channel 5", 2, "каналов 3"},
  };
  for (const auto& c : cases) {
    std::string args = c.Args;
    args.replace(args.find(" P"), 2, " " + p);
    const CliRun run = Cli(args, dir);
    EXPECT_EQ(run.Status, c.Status) << args << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << args << "\n" << run.Err;
    EXPECT_TRUE(ReadBytes(dir.File("p.tvp")) == before) << args;
  }

  // A response file that is not there is kept with a warning; the run then refuses the record.
  const CliRun missing =
      Ok("edit " + p + " --all --all-channels --level 100000000 --channel-resp " +
             Quote(dir.File("none.paz")) + " --process on",
         dir);
  EXPECT_NE(missing.Err.find("предупреждение: Файл " + dir.File("none.paz") + " не найден"),
            std::string::npos)
      << missing.Err;
  const CliRun run = Cli("run --spectra " + p, dir);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("none.paz"), std::string::npos) << run.Err;

  // A project that cannot be written: the previous file stays.
  const std::vector<uint8_t> saved = ReadBytes(dir.File("p.tvp"));
  fs::create_directories(dir.File("p.tvp.new"));
  const CliRun unwritable = Cli("edit " + p + " --all --station Z", dir);
  EXPECT_EQ(unwritable.Status, 1);
  EXPECT_FALSE(unwritable.Err.empty());
  EXPECT_TRUE(ReadBytes(dir.File("p.tvp")) == saved);
}

TEST(RecordCli, DryRunJsonAndShow) {
  TempDir dir;
  testing::WriteShortRecordings(dir.File("data"), 2, 60.0, 1);
  const std::string p = Quote(dir.File("p.tvp"));
  Ok("add " + p + " --folder " + Quote(dir.File("data")) + " --format 7", dir);
  const std::vector<uint8_t> before = ReadBytes(dir.File("p.tvp"));

  const nlohmann::json dry =
      nlohmann::json::parse(Ok("split " + p + " --records 2 --dry-run --json", dir).Out);
  EXPECT_FALSE(dry["saved"]);
  EXPECT_EQ(dry["records"], 5);
  ASSERT_EQ(dry["changes"].size(), 3u);
  EXPECT_EQ(dry["changes"][0]["Station"], "TVK02-E");
  EXPECT_TRUE(ReadBytes(dir.File("p.tvp")) == before);

  // Nothing changes: nothing is saved, and the backup keeps the version before.
  const CliRun same = Ok("edit " + p + " --all --event off", dir);
  EXPECT_NE(same.Out.find("без изменений"), std::string::npos);
  EXPECT_TRUE(ReadBytes(dir.File("p.tvp")) == before);

  const nlohmann::json edit = nlohmann::json::parse(
      Ok("edit " + p + " --records 2 --process on --channel 3 --selected off --json", dir).Out);
  EXPECT_TRUE(edit["saved"]);
  ASSERT_EQ(edit["changes"].size(), 2u);
  EXPECT_EQ(edit["changes"][1]["channel"], 3);
  EXPECT_EQ(edit["changes"][1]["field"], "ChanSelected");

  // Record 2 is checked without its responses: show tells before a run.
  const CliRun show = Ok("show " + p, dir);
  EXPECT_NE(show.Out.find("расчёт спектров: Не заданы файлы с ЧХ для записи TVK02 Ш [E,N]"),
            std::string::npos)
      << show.Out;
  EXPECT_NE(show.Out.find("строка H/V TVK02 Ш [нет]"), std::string::npos) << show.Out;
  const nlohmann::json shown = nlohmann::json::parse(Ok("show --json " + p, dir).Out);
  EXPECT_EQ(shown["primary_list"]["problem"], 2);
  EXPECT_EQ(shown["records"][1]["hv_entry"], "TVK02 Ш [нет] 14.05.2024 (0:01:00)");

  const nlohmann::json settings =
      nlohmann::json::parse(Ok("settings --events --json " + p, dir).Out);
  EXPECT_EQ(settings["settings"]["NoiseFiletr1"], "0");
  EXPECT_EQ(settings["settings"]["EstimationType"], "0");
}

}  // namespace
}  // namespace tarvik

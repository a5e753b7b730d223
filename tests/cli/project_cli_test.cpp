// End-to-end runs of the project commands of tarvik-cli: add, show, run and demo.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "project/demo.h"
#include "project/project_file.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::RecordingUiHost;
using testing::TempDir;

TEST(ProjectCli, AddShowAndRun) {
  TempDir dir;
  const std::string data = dir.File("data");
  testing::WriteShortRecordings(data, 2, 120.0, 2);  // two stations, two files each
  const std::string project = dir.File("proj.tvp");

  const CliRun add = Cli("add " + Quote(project) + " --folder " + Quote(data) + " --format 7", dir);
  ASSERT_EQ(add.Status, 0) << add.Err;
  EXPECT_EQ(ProbeProjectFormat(project), 0);  // a new project is a text project

  const CliRun show = Cli("show --json " + Quote(project), dir);
  ASSERT_EQ(show.Status, 0) << show.Err;
  const nlohmann::json j = nlohmann::json::parse(show.Out);
  ASSERT_EQ(j["records"].size(), 2u);
  EXPECT_EQ(j["records"][0]["Station"], "TVK01");
  EXPECT_EQ(j["records"][1]["Station"], "TVK02");
  EXPECT_EQ(j["records"][0]["File"], data + "/TVK01.XX.20240514T000000.msd");
  EXPECT_EQ(j["records"][0]["Finish"], "2024-05-14T00:04:00.000Z");  // both files joined
  ASSERT_EQ(j["records"][0]["channels"].size(), 3u);
  EXPECT_EQ(j["records"][0]["channels"][2]["component"], "Z");
  EXPECT_EQ(j["general"]["DataFormat"], 7);
  EXPECT_EQ(j["general"]["results"], dir.Path().string());
  EXPECT_EQ(j["settings"]["event"]["EstimationType"], 0);

  // Describe the channels as a user would, then run.
  TProject p;
  RecordingUiHost host;
  ASSERT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  testing::WriteText(dir.File("unit.paz"), "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
  for (TFileRecord& r : p.Records) {
    r.ToProcess = r.ToProcessNakamura = true;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      r.Channels[c].ChannelResp = dir.File("unit.paz");
      r.Channels[c].Level = 2147483647;  // every sample quiet, but the level counts as not set
    }
  }
  ASSERT_TRUE(SaveProject(p, project, 0, host).Ok);

  // The levels are not set: without --yes the question is answered No and nothing runs.
  const CliRun declined = Cli("run " + Quote(project), dir);
  EXPECT_EQ(declined.Status, 1);
  EXPECT_NE(declined.Err.find("Возможно, не выбран тихий интервал на записи TVK01"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("Spectra")));

  const CliRun run = Cli("run --yes --jobs 2 " + Quote(project), dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string prim = dir.File("Spectra/Primary/prim_TVK02_240514-000000.dat");
  const std::string nak = dir.File("Spectra/Nakamura/nak_prim_TVK02_240514-000000.dat");
  EXPECT_TRUE(fs::exists(prim));
  EXPECT_TRUE(fs::exists(nak));
  EXPECT_NE(run.Out.find(nak), std::string::npos);

  // H/V alone, from record 2 on.
  fs::remove(nak);
  const CliRun hv = Cli("run --hv --from 2 " + Quote(project), dir);
  ASSERT_EQ(hv.Status, 0) << hv.Err;
  EXPECT_EQ(hv.Out, nak + "\n");

  // A compressed copy of record 1 takes its place and gives the same spectra.
  const std::string prim1 = dir.File("Spectra/Primary/prim_TVK01_240514-000000.dat");
  const std::vector<uint8_t> original = testing::ReadBytes(prim1);
  const CliRun compress = Cli("compress --record 1 " + Quote(project), dir);
  ASSERT_EQ(compress.Status, 0) << compress.Err;
  TProject after;
  ASSERT_EQ(LoadProject(after, project, host), LoadStatus::kLoaded);
  EXPECT_EQ(fs::path(after.Records[0].File).parent_path(), fs::path(dir.File("ZipData")));
  EXPECT_EQ(compress.Out, after.Records[0].File + "\n");
  EXPECT_EQ(after.Records[1].File, p.Records[1].File);
  fs::remove(prim1);
  const CliRun again = Cli("run --spectra --only 1 " + Quote(project), dir);
  ASSERT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(testing::ReadBytes(prim1), original);
  EXPECT_EQ(Cli("compress " + Quote(after.Records[1].File), dir).Status, 2);
}

TEST(ProjectCli, WrongUseAndMissingFiles) {
  TempDir dir;
  const CliRun missing = Cli("run " + Quote(dir.File("none.tvp")), dir);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("Файл " + dir.File("none.tvp") + " не найден"), std::string::npos);

  TProject empty;
  RecordingUiHost host;
  ASSERT_TRUE(SaveProject(empty, dir.File("empty.tvp"), 1, host).Ok);
  EXPECT_EQ(Cli("run --only 3 " + Quote(dir.File("empty.tvp")), dir).Status, 2);
  EXPECT_EQ(Cli("run --only 1 --from 1 " + Quote(dir.File("empty.tvp")), dir).Status, 2);
  EXPECT_EQ(Cli("run --jobs 0 " + Quote(dir.File("empty.tvp")), dir).Status, 2);
  EXPECT_EQ(Cli("add " + Quote(dir.File("empty.tvp")), dir).Status, 2);
  const CliRun show = Cli("show " + Quote(dir.File("empty.tvp")), dir);
  EXPECT_EQ(show.Status, 0);
  EXPECT_NE(show.Out.find("настройки записей (событий)"), std::string::npos);
}

// compress with a project and -o would ignore -o; demo into a folder holding files would
// replace them: both refused, nothing written.
TEST(ProjectCli, CompressAndDemoRefuseWhatTheyWouldIgnoreOrReplace) {
  TempDir dir;
  const std::string data = dir.File("test.mseed");
  fs::copy_file(testing::RealFile("mseed/test.mseed"), data);
  const std::string project = dir.File("p.tvp");
  ASSERT_EQ(Cli("add " + Quote(project) + " " + Quote(data), dir).Status, 0);
  const std::vector<uint8_t> before = testing::ReadBytes(project);

  const CliRun both = Cli("compress " + Quote(project) + " -o " + Quote(dir.File("x.rec")), dir);
  EXPECT_EQ(both.Status, 2);
  EXPECT_NE(both.Err.find("копии записей проекта идут в его папку ZipData"), std::string::npos)
      << both.Err;
  EXPECT_FALSE(fs::exists(dir.File("x.rec")));
  EXPECT_FALSE(fs::exists(dir.File("ZipData")));
  EXPECT_EQ(testing::ReadBytes(project), before);
  EXPECT_EQ(
      Cli("compress " + Quote(data) + " --record 1 -o " + Quote(dir.File("y.rec")), dir).Status, 2);
  EXPECT_FALSE(fs::exists(dir.File("y.rec")));
  EXPECT_NE(Cli("compress --help", dir).Out.find("записи проекта указывают на копии"),
            std::string::npos);

  const std::string folder = dir.File("mine");
  fs::create_directories(folder);
  testing::WriteText(folder + "/notes.txt", "keep me\n");
  const CliRun demo = testing::CliWithLocale("C", "demo -q --minutes 1 " + Quote(folder), dir);
  EXPECT_EQ(demo.Status, 1);
  EXPECT_EQ(demo.Err,
            "demo: " + folder + " is not empty; choose an empty or new folder, or --force\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// The demo with shorter files than the README's run, so that it stays quick under the
// sanitizers; its peaks must still be found within 5 % of the true resonances.
TEST(ProjectCli, DemoFindsBothResonances) {
  TempDir dir;
  const CliRun demo =
      testing::CliWithLocale("C", "demo -q --minutes 30 " + Quote(dir.File("demo")), dir);
  ASSERT_EQ(demo.Status, 0) << demo.Out << demo.Err;
  // Lines "TVK01 H/V peak 2.002 Hz, true resonance 2.00 Hz (+0.1 %)".
  int stations = 0;
  std::istringstream lines(demo.Out);
  for (std::string text; std::getline(lines, text);) {
    char station[16] = {};
    double peak = 0.0, truth = 0.0;
    if (std::sscanf(text.c_str(), "%15s H/V peak %lf Hz, true resonance %lf Hz", station, &peak,
                    &truth) != 3) {
      continue;
    }
    EXPECT_NEAR(peak, truth, 0.05 * truth) << station;
    ++stations;
  }
  EXPECT_EQ(stations, 2) << demo.Out;
  EXPECT_TRUE(fs::exists(dir.File("demo/demo.tvp")));
}

}  // namespace
}  // namespace tarvik

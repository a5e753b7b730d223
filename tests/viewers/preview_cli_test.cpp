// tarvik-cli preview: the PNG, the silence label, the intervals as JSON, and the refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
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
using testing::TempDir;

// A project of one station's five minutes with three transients above the channels' levels.
std::string DemoProject(const TempDir& dir) {
  TDemoOptions options;
  options.Stations = {{"TVK01", 2.0}};
  options.Files = 1;
  options.FileSeconds = 300.0;
  TFilterPack sensor;
  sensor.ZP.NormFactor = 1.0;
  std::vector<TDemoRecording> recordings;
  std::string error;
  const std::string data = dir.File("data");
  fs::create_directories(data);
  EXPECT_TRUE(WriteDemoRecordings(data, sensor.ZP, options, recordings, error)) << error;
  const std::string project = dir.File("p.tvp");
  EXPECT_EQ(Cli("add " + Quote(project) + " " + Quote(recordings.at(0).Files.at(0)), dir).status,
            0);
  TProject p;
  testing::RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  for (int c = 0; c < 3; ++c) p.Records.at(0).Level[c] = recordings[0].Levels[c];
  EXPECT_TRUE(SaveProject(p, project, 0, host).ok);
  return project;
}

bool RenderingBuilt(const CliRun& run) {
  return run.err.find("rendering is not built") == std::string::npos;
}

TEST(PreviewCli, ImageLabelAndIntervals) {
  TempDir dir;
  const std::string project = DemoProject(dir);
  const std::string png = dir.File("p.png");
  const CliRun run = Cli(
      "preview " + Quote(project) + " --record 1 -o " + Quote(png) + " --width 400 --json", dir);
  if (!RenderingBuilt(run)) GTEST_SKIP() << "built without Qt";
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<uint8_t> bytes = testing::ReadBytes(png);
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 4), "PNG");

  const nlohmann::json j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["width"], 400);
  EXPECT_EQ(j["SampleCount"], 30000);
  EXPECT_EQ(j["segment_length"], 2048);
  EXPECT_EQ(j["span"]["first"], 0);
  EXPECT_EQ(j["span"]["last"], 29999);
  EXPECT_EQ(j["span"]["start"], "2024-05-14T00:00:00.000Z");
  // Quiet and disturbed intervals alternate and together cover the span.
  std::vector<std::pair<int64_t, int64_t>> all;
  int64_t quiet = 0;
  for (const auto& q : j["quiet"]) {
    all.emplace_back(q["first"], q["last"]);
    quiet += q["last"].get<int64_t>() - q["first"].get<int64_t>() + 1;
    EXPECT_EQ((q["last"].get<int64_t>() - q["first"].get<int64_t>() + 1) % 2048, 0);
  }
  for (const auto& d : j["disturbed"]) all.emplace_back(d["first"], d["last"]);
  ASSERT_GE(j["disturbed"].size(), 3u);  // the three transients
  std::sort(all.begin(), all.end());
  int64_t next = 0;
  for (const auto& [a, b] : all) {
    EXPECT_EQ(a, next);
    next = b + 1;
  }
  EXPECT_EQ(next, 30000);
  EXPECT_EQ(j["quiet_samples"], quiet);
  EXPECT_EQ(j["label"].get<std::string>().rfind("Тишина: 0:0", 0), 0u);
  ASSERT_EQ(j["channels"].size(), 3u);
  EXPECT_GT(j["channels"][2]["Level"].get<int>(), 0);

  // Without --json: the label alone (--force: the image of the first call is there).
  const CliRun plain =
      Cli("preview " + Quote(project) + " --record 1 --force -o " + Quote(png), dir);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out, j["label"].get<std::string>() + "\n");
}

TEST(PreviewCli, RefusalsWriteNoImage) {
  TempDir dir;
  const std::string project = DemoProject(dir);
  const std::string png = dir.File("p.png");
  const std::string args = "preview " + Quote(project) + " -o " + Quote(png);
  const CliRun beyond = Cli(args + " --record 2", dir);
  if (!RenderingBuilt(beyond)) GTEST_SKIP() << "built without Qt";
  EXPECT_EQ(beyond.status, 2);
  EXPECT_EQ(Cli(args + " --record 0", dir).status, 2);
  EXPECT_EQ(Cli("preview " + Quote(project) + " --record 1", dir).status, 2);  // no -o
  EXPECT_EQ(Cli(args + " --record 1 --width 3", dir).status, 2);
  EXPECT_EQ(
      Cli("preview " + Quote(dir.File("none.tvp")) + " --record 1 -o " + Quote(png), dir).status,
      1);
  const CliRun unwritable =
      Cli("preview " + Quote(project) + " --record 1 -o " + Quote(dir.File("no/such/folder/p.png")),
          dir);
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("could not be written"), std::string::npos);

  // The record's file is gone.
  TProject p;
  testing::RecordingUiHost host;
  ASSERT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  const std::string file = p.Records[0].File;
  fs::remove(file);
  const CliRun missing = Cli(args + " --record 1", dir);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Файл " + file + " не найден"), std::string::npos) << missing.err;

  // Not a seismogram any more.
  testing::WriteText(file, "not a seismogram\n");
  const CliRun junk = Cli(args + " --record 1", dir);
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.err.find("не удалось прочитать запись"), std::string::npos) << junk.err;
  EXPECT_FALSE(fs::exists(png));
}

}  // namespace
}  // namespace tarvik

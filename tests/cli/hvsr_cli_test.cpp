// End-to-end runs of tarvik-cli hvsr on the demo project (stations with resonances at 2 and
// 5 Hz).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::TempDir;

TEST(HvsrCli, DemoStationsGiveTheirResonances) {
  TempDir dir;
  ASSERT_EQ(Cli("demo -q --minutes 20 " + Quote(dir.File("demo")), dir).Status, 0);
  const std::string project = dir.File("demo/demo.tvp");

  const CliRun json = Cli("hvsr --json " + Quote(project) + " --band 0.5 20", dir);
  ASSERT_EQ(json.Status, 0) << json.Err;
  const nlohmann::json j = nlohmann::json::parse(json.Out);
  ASSERT_EQ(j["records"].size(), 2u);
  const double expected[] = {2.0, 5.0};
  for (int i = 0; i < 2; ++i) {
    const auto& r = j["records"][i];
    EXPECT_TRUE(r["ok"].get<bool>()) << r.dump();
    EXPECT_NEAR(r["f0_from_average"]["f0"].get<double>(), expected[i], 0.05 * expected[i]);
    EXPECT_NEAR(r["f0_from_windows"]["median"].get<double>(), expected[i], 0.05 * expected[i]);
    for (const char* file : {"hv", "windows", "report"}) {
      EXPECT_TRUE(std::filesystem::is_regular_file(r["files"][file].get<std::string>())) << file;
    }
  }

  // One record, other options; the verdict line.
  const CliRun text = Cli("hvsr " + Quote(project) +
                              " --records 2 --smoothing none --horizontal geometric "
                              "--rejection none --grid 0.5 20 64",
                          dir);
  EXPECT_EQ(text.Out.rfind("запись 2 (TVK02): f0 = ", 0), 0u) << text.Out << text.Err;

  // Wrong usage: exit 2 with the reason.
  for (const char* bad : {" --records 3", " --records 2-1", " --records x", " --grid 1 0.5 10",
                          " --grid 0.1 10 2.5", " --band 5 1", " --smoothing box"}) {
    const CliRun r = Cli("hvsr " + Quote(project) + bad, dir);
    EXPECT_EQ(r.Status, 2) << bad << ": " << r.Err;
    EXPECT_FALSE(r.Err.empty()) << bad;
  }
  EXPECT_EQ(Cli("hvsr " + Quote(dir.File("none.tvp")), dir).Status, 1);
}

// plot draws a ".hv" result as the viewer does: the mean, ±σ, the f0 band, a curve per window
// and the criteria.
TEST(HvsrCli, PlotDrawsTheResultWithItsCriteria) {
  TempDir dir;
  ASSERT_EQ(Cli("demo -q --minutes 20 " + Quote(dir.File("demo")), dir).Status, 0);
  const CliRun run = Cli("hvsr --json " + Quote(dir.File("demo/demo.tvp")) + " --records 1", dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const nlohmann::json record = nlohmann::json::parse(run.Out)["records"][0];
  const std::string hv = record["files"]["hv"].get<std::string>();
  const nlohmann::json report =
      nlohmann::json::parse(testing::ReadBytes(record["files"]["report"].get<std::string>()));

  const CliRun json = Cli("plot " + Quote(hv) + " --json", dir);
  ASSERT_EQ(json.Status, 0) << json.Err;
  const nlohmann::json chart = nlohmann::json::parse(json.Out);
  const int total = report["windows"]["total"].get<int>();
  const int with_curve = total - report["windows"]["unusable"].get<int>();
  ASSERT_EQ(chart["series"].size(), static_cast<size_t>(4 + with_curve));
  EXPECT_EQ(chart["series"][0]["title"], "Средняя H/V");
  EXPECT_EQ(chart["series"][3]["kind"], "band");
  int behind = 0;
  for (const auto& s : chart["series"]) behind += s["behind"].get<bool>() ? 1 : 0;
  EXPECT_EQ(behind, with_curve);
  const auto& rows = chart["panel"]["rows"];
  ASSERT_EQ(rows.size(), 11u);
  const auto& clear = report["sesame"]["clear"]["criteria"];
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(rows[5 + i]["id"], clear[i]["id"]);
    EXPECT_EQ(rows[5 + i]["pass"], clear[i]["pass"]);
    EXPECT_DOUBLE_EQ(rows[5 + i]["threshold"].get<double>(), clear[i]["threshold"].get<double>());
  }

  // A second file, or a ratio option, with a ".hv" file is a usage error.
  EXPECT_EQ(Cli("plot " + Quote(hv) + " " + Quote(hv) + " --json", dir).Status, 2);
  EXPECT_EQ(Cli("plot " + Quote(hv) + " --hv --json", dir).Status, 2);
  // Without its report the chart is drawn from what is left, and stderr says what is missing.
  std::filesystem::remove(record["files"]["report"].get<std::string>());
  const CliRun partial = Cli("plot " + Quote(hv) + " --json", dir);
  EXPECT_EQ(partial.Status, 0) << partial.Err;
  EXPECT_NE(partial.Err.find("_report.json не найден"), std::string::npos) << partial.Err;
#ifdef TARVIK_CLI_HAS_GUI
  const std::string png = dir.File("hv.png");
  const CliRun drawn = Cli("plot " + Quote(hv) + " -o " + Quote(png), dir);
  ASSERT_EQ(drawn.Status, 0) << drawn.Err;
  const std::vector<uint8_t> bytes = testing::ReadBytes(png);
  ASSERT_GT(bytes.size(), 1000u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "\x89PNG");
#endif
}

// Every file of the HVSR folder, by name.
std::map<std::string, std::vector<uint8_t>> HvsrFolder(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    files[entry.path().filename().string()] = testing::ReadBytes(entry.path().string());
  return files;
}

// Records computed at the same time, and shards of a run, write what one plain run writes.
TEST(HvsrCli, JobsAndShardsWriteTheFilesOfOnePlainRun) {
  TempDir dir;
  ASSERT_EQ(Cli("demo -q --minutes 20 " + Quote(dir.File("demo")), dir).Status, 0);
  const std::string project = Quote(dir.File("demo/demo.tvp"));
  const std::string folder = dir.File("demo/results/Spectra/HVSR");
  const std::string options = " --all --band 0.5 20 --every 5m --azimuths 45";
  const CliRun plain = Cli("hvsr " + project + options + " --json", dir);
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  const auto expected = HvsrFolder(folder);
  // Two records, each with its .hv, window CSV, report and both tables of each series.
  ASSERT_EQ(expected.size(), 14u);
  const nlohmann::json j = nlohmann::json::parse(plain.Out);
  EXPECT_EQ(j["records"][0]["intervals"].size(), 8u);  // 40 minutes
  EXPECT_EQ(j["records"][0]["azimuths"]["directions"].size(), 5u);
  EXPECT_TRUE(j["records"][1]["files"].contains("azimuths.json")) << j["records"][1]["files"];

  const std::vector<std::vector<std::string>> runs = {
      {" --jobs 2"},
      {" --shard 1/3", " --shard 2/3", " --shard 3/3"},
      {" --shard 2/2 --jobs 2", " --shard 1/2"}};
  for (const auto& run : runs) {
    std::filesystem::remove_all(folder);
    for (const std::string& part : run) {
      const CliRun r = Cli("hvsr " + project + options + part, dir);
      ASSERT_EQ(r.Status, 0) << part << ": " << r.Err;
    }
    const auto got = HvsrFolder(folder);
    ASSERT_EQ(got.size(), expected.size()) << run[0];
    for (const auto& [name, bytes] : expected)
      EXPECT_TRUE(got.at(name) == bytes) << name << " differs after" << run[0];
  }

  // What the tables draw: f0 through time with the spectrogram, the map over azimuth.
  const std::string time = Quote(folder + "/TVK01_240514-000000_time.json");
  const CliRun chart = Cli("plot " + time + " --json", dir);
  ASSERT_EQ(chart.Status, 0) << chart.Err;
  const nlohmann::json c = nlohmann::json::parse(chart.Out);
  EXPECT_EQ(c["kind"], "hvsr_time");
  ASSERT_EQ(c["f0"].size(), 8u);
  // The second 5-minute interval, at its middle: hours from the first start.
  EXPECT_NEAR(c["f0"][1][0].get<double>(), 7.5 / 60.0, 1e-9);
  EXPECT_NEAR(c["f0"][1][1].get<double>(), 2.0, 0.1);
  EXPECT_EQ(c["map"]["columns_with_curve"], 8);
  const CliRun map =
      Cli("plot " + Quote(folder + "/TVK02_240514-000000_azimuths.json") + " --json", dir);
  ASSERT_EQ(map.Status, 0) << map.Err;
  EXPECT_EQ(nlohmann::json::parse(map.Out)["map"]["columns"], 5);
  // A damaged file is refused with the reason; two of them are a usage error.
  const std::string damaged = dir.File("x_time.json");
  const std::string text = R"({"intervals": [{"start": 5}], "spectrogram": {}})";
  testing::WriteBytes(damaged, std::vector<uint8_t>(text.begin(), text.end()));
  const CliRun bad = Cli("plot " + Quote(damaged) + " --json", dir);
  EXPECT_EQ(bad.Status, 1);
  EXPECT_NE(bad.Err.find("x_time.json"), std::string::npos) << bad.Err;
  EXPECT_EQ(Cli("plot " + time + " " + time + " --json", dir).Status, 2);
#ifdef TARVIK_CLI_HAS_GUI
  for (const std::string& file : {time, Quote(folder + "/TVK02_240514-000000_azimuths.json")}) {
    const std::string png = dir.File("series.png");
    std::filesystem::remove(png);
    const CliRun drawn = Cli("plot " + file + " -o " + Quote(png), dir);
    ASSERT_EQ(drawn.Status, 0) << drawn.Err;
    const std::vector<uint8_t> bytes = testing::ReadBytes(png);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "\x89PNG");
  }
#endif

  // An interval shorter than a window (20.48 s) gives no statistics: the record fails with the
  // reason and keeps its files.
  const CliRun short_every = Cli("hvsr " + project + " --records 1 --every 10s", dir);
  EXPECT_EQ(short_every.Status, 1);
  EXPECT_NE(short_every.Err.find("короче окна"), std::string::npos) << short_every.Err;

  // Wrong durations and steps are usage errors.
  for (const char* wrong : {" --every 0", " --every 1x", " --every h", " --azimuths 0"}) {
    EXPECT_EQ(Cli("hvsr " + project + wrong, dir).Status, 2) << wrong;
  }
}

// settings sets the H/V statistics keys, each checked as the others are; hvsr runs with them.
TEST(HvsrCli, SettingsSetTheStatisticsKeys) {
  TempDir dir;
  ASSERT_EQ(Cli("demo -q --minutes 20 " + Quote(dir.File("demo")), dir).Status, 0);
  const std::string project = Quote(dir.File("demo/demo.tvp"));
  const CliRun set =
      Cli("settings " + project + " Bandwidth=30 GridPoints=128 Horizontal=1 BandFMin=0.5", dir);
  ASSERT_EQ(set.Status, 0) << set.Err;
  EXPECT_NE(set.Out.find("Bandwidth 40 -> 30"), std::string::npos) << set.Out;
  const CliRun shown = Cli("settings " + project, dir);
  EXPECT_NE(shown.Out.find("GridPoints=128\n"), std::string::npos) << shown.Out;

  const CliRun run = Cli("hvsr " + project + " --records 1 --json", dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string report_path =
      nlohmann::json::parse(run.Out)["records"][0]["files"]["report"].get<std::string>();
  const nlohmann::json report = nlohmann::json::parse(testing::ReadBytes(report_path));
  EXPECT_EQ(report["settings"]["bandwidth"], 30.0);
  EXPECT_EQ(report["settings"]["grid"]["points"], 128);
  EXPECT_EQ(report["settings"]["horizontal"], "geometric");

  // Out of range, or ends out of order once every pair is in: refused, nothing saved.
  for (const char* wrong : {"Bandwidth=0", "GridPoints=2", "Horizontal=3", "GridFMin=60",
                            "BandFMin=30 BandFMax=20", "RejectionN=x"}) {
    const CliRun r = Cli("settings " + project + " " + wrong, dir);
    EXPECT_EQ(r.Status, 2) << wrong;
    EXPECT_FALSE(r.Err.empty()) << wrong;
  }
  EXPECT_EQ(Cli("settings " + project + " GridFMax=100 GridFMin=60", dir).Status, 0);
  EXPECT_NE(Cli("settings " + project, dir).Out.find("GridFMin=60\n"), std::string::npos);
}

}  // namespace
}  // namespace tarvik

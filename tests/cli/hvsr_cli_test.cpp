// End-to-end runs of tarvik-cli hvsr on the demo project (stations with resonances at 2 and
// 5 Hz).
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

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
  ASSERT_EQ(Cli("demo -q --minutes 20 " + Quote(dir.File("demo")), dir).status, 0);
  const std::string project = dir.File("demo/demo.tvp");

  const CliRun json = Cli("hvsr --json " + Quote(project) + " --band 0.5 20", dir);
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json j = nlohmann::json::parse(json.out);
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
  EXPECT_EQ(text.out.rfind("record 2 (TVK02): f0 = ", 0), 0u) << text.out << text.err;

  // Wrong usage: exit 2 with the reason.
  for (const char* bad : {" --records 3", " --records 2-1", " --records x", " --grid 1 0.5 10",
                          " --grid 0.1 10 2.5", " --band 5 1", " --smoothing box"}) {
    const CliRun r = Cli("hvsr " + Quote(project) + bad, dir);
    EXPECT_EQ(r.status, 2) << bad << ": " << r.err;
    EXPECT_FALSE(r.err.empty()) << bad;
  }
  EXPECT_EQ(Cli("hvsr " + Quote(dir.File("none.tvp")), dir).status, 1);
}

// plot draws a ".hv" result as the viewer does: the mean, ±σ, the f0 band, a curve per window
// and the criteria.
TEST(HvsrCli, PlotDrawsTheResultWithItsCriteria) {
  TempDir dir;
  ASSERT_EQ(Cli("demo -q --minutes 20 " + Quote(dir.File("demo")), dir).status, 0);
  const CliRun run = Cli("hvsr --json " + Quote(dir.File("demo/demo.tvp")) + " --records 1", dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json record = nlohmann::json::parse(run.out)["records"][0];
  const std::string hv = record["files"]["hv"].get<std::string>();
  const nlohmann::json report =
      nlohmann::json::parse(testing::ReadBytes(record["files"]["report"].get<std::string>()));

  const CliRun json = Cli("plot " + Quote(hv) + " --json", dir);
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json chart = nlohmann::json::parse(json.out);
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
  EXPECT_EQ(Cli("plot " + Quote(hv) + " " + Quote(hv) + " --json", dir).status, 2);
  EXPECT_EQ(Cli("plot " + Quote(hv) + " --hv --json", dir).status, 2);
  // Without its report the chart is drawn from what is left, and stderr says what is missing.
  std::filesystem::remove(record["files"]["report"].get<std::string>());
  const CliRun partial = Cli("plot " + Quote(hv) + " --json", dir);
  EXPECT_EQ(partial.status, 0) << partial.err;
  EXPECT_NE(partial.err.find("_report.json не найден"), std::string::npos) << partial.err;
#ifdef TARVIK_CLI_HAS_GUI
  const std::string png = dir.File("hv.png");
  const CliRun drawn = Cli("plot " + Quote(hv) + " -o " + Quote(png), dir);
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  const std::vector<uint8_t> bytes = testing::ReadBytes(png);
  ASSERT_GT(bytes.size(), 1000u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "\x89PNG");
#endif
}

}  // namespace
}  // namespace tarvik

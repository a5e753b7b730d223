// End-to-end runs of tarvik-cli hvsr on the demo project (stations with resonances at 2 and
// 5 Hz).
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli_runner.h"

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

}  // namespace
}  // namespace tarvik

// tarvik-cli average, plot and bands on the demo's results agree with the viewer's models run on
// the same files in this process; damaged input fails with the line at fault and no output.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "recording_ui_host.h"
#include "test_files.h"
#include "viewer_test_files.h"
#include "viewers/band_amplitudes.h"
#include "viewers/spectrum_show.h"

namespace tarvik {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::RecordingUiHost;
using testing::TempDir;

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  return std::string(b.begin(), b.end());
}

std::string WithoutCarriageReturns(std::string s) {
  std::erase(s, '\r');
  return s;
}

TEST(ViewerCli, AveragePlotAndBandsOnTheDemoResultsAgreeWithTheModels) {
  TempDir dir;
  const std::string demo = dir.File("demo");
  const CliRun run = Cli("demo " + Quote(demo) + " --minutes 5 -q", dir);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string primary = demo + "/results/Spectra/Primary/";
  const std::string a = primary + "prim_TVK01_240514-000000.dat";
  const std::string b = primary + "prim_TVK02_240514-000000.dat";
  ASSERT_TRUE(std::filesystem::exists(a) && std::filesystem::exists(b));
#ifdef TARVIK_CLI_HAS_GUI
  // The demo draws a chart beside each result and names it.
  for (const std::string& png :
       {primary + "prim_TVK01_240514-000000.png",
        demo + "/results/Spectra/Nakamura/nak_prim_TVK02_240514-000000.png"}) {
    EXPECT_NE(run.out.find("chart: " + png), std::string::npos) << run.out;
    EXPECT_EQ(Text(png).substr(0, 4), "\x89PNG");
  }
#endif

  // average and --median write what the viewer writes.
  RecordingUiHost host;
  for (const bool median : {false, true}) {
    const std::string out = dir.File(median ? "median_cli.dat" : "aver_cli.dat");
    const CliRun avg = Cli("average " + Quote(out) + " " + Quote(a) + " " + Quote(b) + " --json" +
                               (median ? " --median" : ""),
                           dir);
    ASSERT_EQ(avg.status, 0) << avg.err;
    const nlohmann::json j = nlohmann::json::parse(avg.out);
    EXPECT_EQ(j["files_used"], 2);
    EXPECT_EQ(j["median"], median);
    TSpectrumView view;
    const std::string model = dir.File("model.dat");
    ASSERT_TRUE(ShowAverage(view, {a, b}, model, false, kVelocity, 0, median, host));
    EXPECT_EQ(Text(out), Text(model)) << median;
    const std::string written = Text(model);
    EXPECT_EQ(j["lines"], std::count(written.begin(), written.end(), '\n') - 1);
  }

  // plot --json describes the chart the viewer builds, one file and two.
  const CliRun one = Cli("plot " + Quote(a) + " --json --power --unit 3", dir);
  ASSERT_EQ(one.status, 0) << one.err;
  TSpectrumView view;
  ASSERT_TRUE(ShowSpectrumFile(view, a, true, kVelocity, 3, host));
  nlohmann::json chart = nlohmann::json::parse(one.out);
  EXPECT_EQ(chart["caption"], a);
  EXPECT_EQ(chart["left_title"], "Мощность, (мкм/c)^2/Гц");
  ASSERT_EQ(chart["series"].size(), view.Series.size());
  for (size_t i = 0; i < view.Series.size(); ++i) {
    const nlohmann::json& s = chart["series"][i];
    const TChartSeries& m = view.Series[i];
    EXPECT_EQ(s["title"], m.Title);
    EXPECT_EQ(s["kind"], i % 2 ? "points" : "line");
    EXPECT_EQ(s["points"], m.X.size());
    EXPECT_EQ(s["first"][0].get<double>(), m.X.front());
    EXPECT_EQ(s["first"][1].get<double>(), m.Y.front());
    EXPECT_EQ(s["last"][1].get<double>(), m.Y.back());
  }
  EXPECT_EQ(chart["series"][2]["color"], "#0000FF");

  const CliRun two = Cli("plot " + Quote(a) + " " + Quote(b) + " --json", dir);
  ASSERT_EQ(two.status, 0) << two.err;
  chart = nlohmann::json::parse(two.out);
  EXPECT_EQ(chart["caption"], "Количество файлов: 2");
  ASSERT_EQ(chart["series"].size(), 6u);
  EXPECT_EQ(chart["series"][3]["title"], "E00_HHE (prim_TVK02_240514-000000.dat)");

  // bands: the dialogs' values and texts.
  const CliRun standard = Cli("bands " + Quote(a) + " --json", dir);
  ASSERT_EQ(standard.status, 0) << standard.err;
  const nlohmann::json bands = nlohmann::json::parse(standard.out);
  const std::vector<TBandValue> expected = StandardBandValues(view, TBandMeasure::kIntegral);
  ASSERT_EQ(bands["values"].size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(expected[i].Value) << i;
    EXPECT_DOUBLE_EQ(bands["values"][i]["value"].get<double>(), *expected[i].Value) << i;
  }
  EXPECT_EQ(bands["text"], StandardBandsDialog(view, TBandMeasure::kIntegral).Text);

  const CliRun range = Cli("bands " + Quote(a) + " --range '1 5' --mean --column 3", dir);
  ASSERT_EQ(range.status, 0) << range.err;
  for (size_t i = 0; i < view.Series.size(); ++i) view.Series[i].Checked = i / 2 == 2;
  EXPECT_EQ(
      range.out,
      WithoutCarriageReturns(GivenBandDialog(view, TBandMeasure::kMean, "1 5")->Report) + "\n");
  EXPECT_NE(range.out.find("1_Z02_HHZ\t"), std::string::npos) << range.out;
}

TEST(ViewerCli, DamagedInputFailsWithTheLineAndWritesNothing) {
  TempDir dir;
  const std::string good =
      testing::WriteResult(dir.File("good.dat"),
                           testing::ThreeComponentText(
                               4, 0.5, [](int, int) { return 1.0; }, [](int, int) { return 0.0; }));
  const std::string bad =
      testing::WriteResult(dir.File("bad.dat"), "Freq\tE_Amp\tE_StDev\r\n0\t1\t0\r\n0.5\t1\r\n");
  const std::string out = dir.File("out.dat");
  const std::string png = dir.File("out.png");

  const CliRun avg = Cli("average " + Quote(out) + " " + Quote(good) + " " + Quote(bad), dir);
  EXPECT_EQ(avg.status, 1);
  EXPECT_NE(avg.err.find("bad.dat поврежден: строка 3: 2 полей вместо 3"), std::string::npos)
      << avg.err;
  EXPECT_FALSE(std::filesystem::exists(out));

  const CliRun plot = Cli("plot " + Quote(bad) + " -o " + Quote(png), dir);
  EXPECT_EQ(plot.status, 1);
  EXPECT_NE(plot.err.find("строка 3"), std::string::npos) << plot.err;
  EXPECT_FALSE(std::filesystem::exists(png));

  EXPECT_EQ(Cli("bands " + Quote(bad), dir).status, 1);
  EXPECT_EQ(Cli("bands " + Quote(good) + " --column 4", dir).status, 1);
  EXPECT_EQ(Cli("bands " + Quote(good) + " --range 1to5", dir).status, 2);
  EXPECT_EQ(Cli("plot " + Quote(good), dir).status, 2);  // neither -o nor --json
  EXPECT_EQ(Cli("plot " + Quote(good) + " --noise-models --json", dir).status, 2);

  const CliRun svg = Cli("plot " + Quote(good) + " -o " + Quote(dir.File("out.svg")), dir);
  EXPECT_EQ(svg.status, 1);
#ifdef TARVIK_CLI_HAS_GUI
  EXPECT_NE(svg.err.find(".png or a .pdf"), std::string::npos) << svg.err;
  const CliRun drawn = Cli("plot " + Quote(good) + " -o " + Quote(png), dir);
  EXPECT_EQ(drawn.status, 0) << drawn.err;
  EXPECT_EQ(Text(png).substr(0, 4), "\x89PNG");
#else
  EXPECT_NE(svg.err.find("not built"), std::string::npos) << svg.err;
#endif
}

}  // namespace
}  // namespace tarvik

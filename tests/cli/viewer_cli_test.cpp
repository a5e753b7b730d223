// tarvik-cli average, plot and bands on the demo's results agree with the viewer's models run on
// the same files in this process; damaged input fails with the line at fault and no output.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
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

using testing::CliRun;

using testing::Quote;
using testing::RecordingUiHost;
using testing::TempDir;

// These suites read the command line's own English lines; charts keep their Russian captions in
// either language.
CliRun EnglishCli(const std::string& args, const TempDir& dir) {
  return testing::CliWithLocale("C", args, dir);
}

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
  const CliRun run = EnglishCli("demo " + Quote(demo) + " --minutes 5 -q", dir);
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  const std::string primary = demo + "/results/Spectra/Primary/";
  const std::string a = primary + "prim_TVK01_240514-000000.dat";
  const std::string b = primary + "prim_TVK02_240514-000000.dat";
  ASSERT_TRUE(std::filesystem::exists(a) && std::filesystem::exists(b));
#ifdef TARVIK_CLI_HAS_GUI
  // The demo draws a chart beside each result and names it.
  for (const std::string& png :
       {primary + "prim_TVK01_240514-000000.png",
        demo + "/results/Spectra/Nakamura/nak_prim_TVK02_240514-000000.png"}) {
    EXPECT_NE(run.Out.find("chart: " + png), std::string::npos) << run.Out;
    EXPECT_EQ(Text(png).substr(0, 4), "\x89PNG");
  }
#endif

  // average and --median write what the viewer writes.
  RecordingUiHost host;
  for (const bool median : {false, true}) {
    const std::string out = dir.File(median ? "median_cli.dat" : "aver_cli.dat");
    const CliRun avg = EnglishCli("average " + Quote(out) + " " + Quote(a) + " " + Quote(b) +
                                      " --json" + (median ? " --median" : ""),
                                  dir);
    ASSERT_EQ(avg.Status, 0) << avg.Err;
    const nlohmann::json j = nlohmann::json::parse(avg.Out);
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
  const CliRun one = EnglishCli("plot " + Quote(a) + " --json", dir);
  ASSERT_EQ(one.Status, 0) << one.Err;
  TSpectrumView view;
  ASSERT_TRUE(ShowSpectrumFile(view, a, false, kVelocity, 0, host));
  nlohmann::json chart = nlohmann::json::parse(one.Out);
  EXPECT_EQ(chart["caption"], a);
  EXPECT_EQ(chart["left_title"], "Амплитуда, (м/c)/Гц");
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

  const CliRun two = EnglishCli("plot " + Quote(a) + " " + Quote(b) + " --json", dir);
  ASSERT_EQ(two.Status, 0) << two.Err;
  chart = nlohmann::json::parse(two.Out);
  EXPECT_EQ(chart["caption"], "Количество файлов: 2");
  ASSERT_EQ(chart["series"].size(), 6u);
  EXPECT_EQ(chart["series"][3]["title"], "E00_HHE (prim_TVK02_240514-000000.dat)");

  // bands: the dialogs' values and texts.
  const CliRun standard = EnglishCli("bands " + Quote(a) + " --json", dir);
  ASSERT_EQ(standard.Status, 0) << standard.Err;
  const nlohmann::json bands = nlohmann::json::parse(standard.Out);
  // Amplitude spectra: the root of the band mean, as the viewer offers no integral for them.
  EXPECT_EQ(bands["measure"], "mean");
  const std::vector<TBandValue> expected = StandardBandValues(view, TBandMeasure::kMean);
  ASSERT_EQ(bands["values"].size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(expected[i].Value) << i;
    EXPECT_DOUBLE_EQ(bands["values"][i]["value"].get<double>(), *expected[i].Value) << i;
  }
  EXPECT_EQ(bands["text"], StandardBandsDialog(view, TBandMeasure::kMean).Text);

  const CliRun range = EnglishCli("bands " + Quote(a) + " --range '1 5' --mean --column 3", dir);
  ASSERT_EQ(range.Status, 0) << range.Err;
  for (size_t i = 0; i < view.Series.size(); ++i) view.Series[i].Checked = i / 2 == 2;
  EXPECT_EQ(
      range.Out,
      WithoutCarriageReturns(GivenBandDialog(view, TBandMeasure::kMean, "1 5")->Report) + "\n");
  EXPECT_NE(range.Out.find("1_Z02_HHZ\t"), std::string::npos) << range.Out;
}

// The columns of a result file as numbers, one vector per column.
std::vector<std::vector<double>> Columns(const std::string& path) {
  std::vector<std::vector<double>> columns;
  std::istringstream in(Text(path));
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    size_t k = 0;
    for (double v; fields >> v; ++k) {
      if (columns.size() <= k) columns.resize(k + 1);
      columns[k].push_back(v);
    }
  }
  return columns;
}

// The demo's results drawn and summarised as what they are, whatever the flags say: an amplitude
// spectrum is no H/V ratio and no power spectrum, a ratio file is drawn as ratios without --hv,
// the unit is that of the project's settings, and files of different kinds are not averaged.
TEST(ViewerCli, KindAndUnitComeFromTheFiles) {
  TempDir dir;
  const std::string demo = dir.File("demo");
  ASSERT_EQ(EnglishCli("demo " + Quote(demo) + " --minutes 5 -q", dir).Status, 0);
  const std::string project = demo + "/demo.tvp";
  const std::string prim = demo + "/results/Spectra/Primary/prim_TVK01_240514-000000.dat";
  const std::string nak = demo + "/results/Spectra/Nakamura/nak_prim_TVK01_240514-000000.dat";
  // A power spectrum beside them, as a run with SpectrumType 1 names it (no project computes
  // it, so its unit is not known).
  const std::string power = demo + "/results/Spectra/Primary/power_TVK01_240514-000000.dat";
  std::filesystem::copy_file(prim, power);

  struct Refusal {
    std::string Args;
    std::string Said;
  };
  for (const Refusal& r : {
           Refusal{"plot " + Quote(prim) + " --hv --json",
                   "plot: " + prim +
                       " holds amplitude spectra (a prim_ file), not H/V ratios: "
                       "--hv does not apply\n"},
           Refusal{"plot " + Quote(prim) + " --power --noise-models --json",
                   "plot: " + prim +
                       " holds amplitude spectra (a prim_ file), not power spectra: "
                       "--power does not apply\n"},
           Refusal{"plot " + Quote(prim) + " --noise-models --json",
                   "plot: the noise models are power densities, and " + prim +
                       " holds no power spectra: --noise-models does not apply\n"},
           Refusal{"plot " + Quote(prim) + " --unit-out 2 --unit 3 --json",
                   "plot: " + prim + " was computed in m/s (project " + project +
                       ", record 1): --unit-out and --unit would label the same numbers as "
                       "um/s^2\n"},
           Refusal{"plot " + Quote(nak) + " --unit 3 --json",
                   "plot: " + nak +
                       " holds H/V ratios (columns E/Z, N/Z, H/Z), which have no "
                       "unit: --unit-out and --unit do not apply\n"},
           Refusal{"plot " + Quote(prim) + " " + Quote(nak) + " --json",
                   "plot: " + prim + " holds amplitude spectra (a prim_ file), " + nak +
                       " holds H/V ratios (columns E/Z, N/Z, H/Z): files of different kinds do "
                       "not go together\n"},
           Refusal{"average " + Quote(dir.File("a.dat")) + " " + Quote(prim) + " " + Quote(nak),
                   "average: " + prim + " holds amplitude spectra"},
           Refusal{"average " + Quote(dir.File("a.dat")) + " " + Quote(prim) + " " + Quote(power),
                   "average: " + prim + " holds amplitude spectra (a prim_ file), " + power +
                       " holds power spectra (a power_ file)"},
           Refusal{"bands " + Quote(prim) + " --integral",
                   "bands: " + prim +
                       " holds amplitude spectra: the band integral is the RMS "
                       "amplitude of power spectra only"},
           Refusal{"bands " + Quote(nak) + " --integral", "bands: " + nak + " holds ratios"},
           Refusal{"bands " + Quote(prim) + " --hv", "bands: " + prim + " holds amplitude"},
       }) {
    const CliRun run = EnglishCli(r.Args, dir);
    EXPECT_EQ(run.Status, 1) << r.Args;
    EXPECT_EQ(run.Out, "") << r.Args;
    EXPECT_EQ(run.Err.rfind(r.Said, 0), 0u) << r.Args << "\n" << run.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.dat")));

  const auto chart = [&](const std::string& args) {
    const CliRun run = EnglishCli("plot " + args + " --json", dir);
    EXPECT_EQ(run.Status, 0) << args << "\n" << run.Err;
    return run.Status == 0 ? nlohmann::json::parse(run.Out) : nlohmann::json();
  };
  nlohmann::json j = chart(Quote(nak));
  EXPECT_EQ(j["left_title"], "Отношение амплитуд");
  EXPECT_EQ(j["kind"], "hv");
  EXPECT_EQ(j["series"][0]["title"], "E/Z");
  j = chart(Quote(prim) + " --unit-out 1 --unit 0");  // what the project says: accepted
  EXPECT_EQ(j["left_title"], "Амплитуда, (м/c)/Гц");
  EXPECT_EQ(j["unit_source"], "project " + project + ", record 1");
  j = chart(Quote(power) + " --noise-models");
  EXPECT_EQ(j["left_title"], "Мощность, (м/c)^2/Гц");
  EXPECT_EQ(j["kind"], "power");
  EXPECT_EQ(j["series"].back()["title"], "NLNM");

  // Settings changed after the run: the file's unit is no longer known, and the flags label it.
  ASSERT_EQ(EnglishCli("settings " + Quote(project) + " UnitOut=0", dir).Status, 0);
  const CliRun stale = EnglishCli("plot " + Quote(prim) + " --unit-out 1 --json", dir);
  ASSERT_EQ(stale.Status, 0) << stale.Err;
  EXPECT_EQ(nlohmann::json::parse(stale.Out)["left_title"], "Амплитуда, (м/c)/Гц");
  EXPECT_EQ(stale.Err, "plot: " + project + " was saved after " + prim +
                           " was written, so its settings (now m) may not be those the file was "
                           "computed with: its unit is not known and is labelled m/s as "
                           "--unit-out and --unit say\n");
  // Computed again with them: displacement, the spectra are in metres.
  ASSERT_EQ(EnglishCli("run --spectra " + Quote(project), dir).Status, 0);
  j = chart(Quote(prim));
  EXPECT_EQ(j["left_title"], "Амплитуда, (м)/Гц");
  EXPECT_EQ(j["unit"], "m");

  // --mean over 1-5 Hz: each curve's value is the root of its mean there, and its StDev row the
  // root of the mean of its spread column (not the curve's value again).
  const CliRun mean = EnglishCli("bands " + Quote(prim) + " --mean --range 1-5 --json", dir);
  ASSERT_EQ(mean.Status, 0) << mean.Err;
  const nlohmann::json values = nlohmann::json::parse(mean.Out)["values"];
  const std::vector<std::vector<double>> columns = Columns(prim);
  ASSERT_EQ(columns.size(), 7u);
  ASSERT_EQ(values.size(), 6u);
  for (size_t k = 1; k < columns.size(); ++k) {
    double sum = 0.0;
    int n = 0;
    for (size_t i = 1; i < columns[0].size(); ++i) {
      if (columns[0][i] < 1.0 || columns[0][i] > 5.0) continue;
      sum += columns[k][i];
      ++n;
    }
    ASSERT_GT(n, 10);
    // The file keeps four digits.
    EXPECT_NEAR(values[k - 1]["value"].get<double>(), std::sqrt(sum / n), 1e-3 * std::sqrt(sum / n))
        << values[k - 1]["title"];
  }
  EXPECT_LT(values[1]["value"].get<double>(), 0.9 * values[0]["value"].get<double>());
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

  // The damage told in Russian, as the window tells it.
  const CliRun avg =
      testing::Cli("average " + Quote(out) + " " + Quote(good) + " " + Quote(bad), dir);
  EXPECT_EQ(avg.Status, 1);
  EXPECT_NE(avg.Err.find("bad.dat поврежден: строка 3: 2 полей вместо 3"), std::string::npos)
      << avg.Err;
  EXPECT_FALSE(std::filesystem::exists(out));

  const CliRun plot = testing::Cli("plot " + Quote(bad) + " -o " + Quote(png), dir);
  EXPECT_EQ(plot.Status, 1);
  EXPECT_NE(plot.Err.find("строка 3"), std::string::npos) << plot.Err;
  EXPECT_FALSE(std::filesystem::exists(png));

  EXPECT_EQ(EnglishCli("bands " + Quote(bad), dir).Status, 1);
  EXPECT_EQ(EnglishCli("bands " + Quote(good) + " --column 4", dir).Status, 1);
  EXPECT_EQ(EnglishCli("bands " + Quote(good) + " --range 1to5", dir).Status, 2);
  EXPECT_EQ(EnglishCli("plot " + Quote(good), dir).Status, 2);  // neither -o nor --json
  // The noise models are power densities: beside spectra not said to be power spectra, no.
  const CliRun models = EnglishCli("plot " + Quote(good) + " --noise-models --json", dir);
  EXPECT_EQ(models.Status, 1);
  EXPECT_NE(models.Err.find("--noise-models does not apply (--power says it does)"),
            std::string::npos)
      << models.Err;
  EXPECT_EQ(EnglishCli("plot " + Quote(good) + " --noise-models --power --json", dir).Status, 0);

  const CliRun svg = EnglishCli("plot " + Quote(good) + " -o " + Quote(dir.File("out.svg")), dir);
  EXPECT_EQ(svg.Status, 1);
#ifdef TARVIK_CLI_HAS_GUI
  EXPECT_NE(svg.Err.find(".png or a .pdf"), std::string::npos) << svg.Err;
  const CliRun drawn = EnglishCli("plot " + Quote(good) + " -o " + Quote(png), dir);
  EXPECT_EQ(drawn.Status, 0) << drawn.Err;
  EXPECT_EQ(Text(png).substr(0, 4), "\x89PNG");
#else
  EXPECT_NE(svg.err.find("not built"), std::string::npos) << svg.err;
#endif
}

}  // namespace
}  // namespace tarvik

// tarvik-cli demo [DIR]: writes the demonstration data set and project into DIR, runs primary
// spectra and H/V ratios over it and prints each station's H/V peak beside its true resonance.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/project_cli.h"
#include "common/binary_file.h"
#include "common/ui_host.h"
#include "project/demo.h"

namespace tarvik::cli {

namespace {

// A peak this close to the true resonance (relative) counts as found.
constexpr double kPeakTolerance = 0.05;

// The sensor response the program ships in its data folder; the built-in copy of the same text
// when the folder is not beside the program.
std::string ShippedGeophoneText(std::string& source) {
  std::vector<std::string> places;
  const std::string exe = ExecutableFolder();
  if (!exe.empty()) {
    places.push_back(exe + "/../data");
    places.push_back(exe + "/../share/tarvik");
    places.push_back(exe + "/data");
  }
  places.push_back("data");
  for (const std::string& folder : places) {
    const std::string path = folder + "/" + kDemoGeophoneFileName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) continue;
    const std::vector<uint8_t> bytes = ReadWholeFile(path, 1 << 20);
    if (bytes.empty()) continue;
    source = std::filesystem::weakly_canonical(path, ec).string();
    return std::string(bytes.begin(), bytes.end());
  }
  source = "built-in copy";
  return kDemoGeophonePaz;
}

}  // namespace

void RegisterDemo(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Dir = "tarvik-demo";
    double Minutes = 60.0;
    int Jobs = 2;
    bool Quiet = false;
    bool Force = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "demo",
      "Write a synthetic two-station data set and project, compute spectra and H/V, and "
      "print each station's H/V peak beside the true resonance");
  cmd->add_option("DIR", opt->Dir, "folder for the data, the project and the results")
      ->capture_default_str();
  cmd->add_option("--minutes", opt->Minutes, "length of each of the two files per station")
      ->check(CLI::Range(1.0, 1440.0))
      ->capture_default_str();
  cmd->add_option("--jobs", opt->Jobs, "records computed at the same time")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cmd->add_flag("-q,--quiet", opt->Quiet, "no progress on stderr");
  cmd->add_flag("--force", opt->Force,
                "write into DIR even when it holds files (the demo's files are replaced)");
  cmd->callback([opt, &result] {
    // The demo writes its recordings, project and results under fixed names: in a folder that
    // already holds files it would replace whatever bears those names.
    std::error_code ec;
    if (!opt->Force && std::filesystem::is_directory(opt->Dir, ec) &&
        !std::filesystem::is_empty(opt->Dir, ec)) {
      ErrPrintf("demo: %s is not empty; choose an empty or new folder, or --force\n",
                opt->Dir.c_str());
      result.Status = 1;
      return;
    }
    const auto started = std::chrono::steady_clock::now();
    std::string source;
    const std::string paz = ShippedGeophoneText(source);
    TDemoOptions options;
    options.FileSeconds = opt->Minutes * 60.0;
    ConsoleUiHost host(ConsoleUiHost::Answer::kYes, opt->Quiet, Language());
    const TDemoResult demo = RunDemo(opt->Dir, paz, options, opt->Jobs, host);
    if (!demo.Ok) {
      ErrPrintf("demo: %s\n", demo.Error.c_str());
      result.Status = 1;
      return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    OutPrintf("sensor response: %s\n", source.c_str());
    OutPrintf("project: %s\n", demo.ProjectFile.c_str());
    bool all_found = !demo.Stations.empty();
    for (const TDemoStationResult& s : demo.Stations) {
      if (s.Peak <= 0.0) {
        OutPrintf("%-7s H/V peak: none (true resonance %.2f Hz)\n", s.Station.c_str(), s.Resonance);
        all_found = false;
        continue;
      }
      const double deviation = (s.Peak - s.Resonance) / s.Resonance;
      const bool found = std::fabs(deviation) <= kPeakTolerance;
      all_found = all_found && found;
      OutPrintf("%-7s H/V peak %.3f Hz, true resonance %.2f Hz (%+.1f %%)%s\n", s.Station.c_str(),
                s.Peak, s.Resonance, 100.0 * deviation, found ? "" : "  <- off by more than 5 %");
      std::printf("        %s\n", s.RatioFile.c_str());
    }
    // The charts of the results, as the spectrum viewer shows them.
    std::vector<std::string> charts;
    if (!RenderResultCharts(demo.ProjectFile, charts)) all_found = false;
    for (const std::string& chart : charts) OutPrintf("chart: %s\n", chart.c_str());
    OutPrintf("done in %.1f s\n", seconds);
    result.Status = all_found ? 0 : 1;
  });
}

}  // namespace tarvik::cli

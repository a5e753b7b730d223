// tarvik-cli average OUT.dat FILE... [--median]: the spectrum viewer's average (or median) of
// spectrum files, written as the viewer writes it.

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_guard.h"
#include "cli/result_claims.h"
#include "common/ui_host.h"
#include "viewers/spectrum_show.h"

namespace tarvik::cli {

void RegisterAverage(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Output;
    std::vector<std::string> Files;
    bool Median = false;
    bool Force = false;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "average",
      "Average (or median) of three-component spectrum files, on the first file's frequency "
      "grid, written as a spectrum file with the spread");
  cmd->add_option("OUT", opt->Output, "the file to write (.dat)")->required();
  cmd->add_option("FILE", opt->Files, "spectrum files")->required();
  cmd->add_flag("--median", opt->Median, "the median, with half the range as the spread");
  AddForceFlag(cmd, opt->Force);
  cmd->add_flag("--json", opt->Json, "print what was written as JSON");
  cmd->callback([opt, &result] {
    // "average A.dat B.dat", the output name forgotten, would replace the spectrum A.dat.
    if (!MayWriteOutput("average", opt->Output, opt->Files, opt->Force, result)) return;
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    TSpectrumView view;
    TAverageResult average;
    // A spectrum averaged with a ratio, amplitude with power spectra, or spectra of different
    // units would give numbers that mean nothing.
    const std::optional<TResultFiles> files =
        ResolveResultFiles("average", opt->Files, {}, host, false);
    if (!files) {
      result.Status = 1;
      return;
    }
    if (!ShowAverage(view, opt->Files, opt->Output, files->Power, files->UnitOut, files->UnitItem,
                     opt->Median, host, &average)) {
      result.Status = 1;
      return;
    }
    result.Status = 0;
    const double first = average.Frequencies.empty() ? 0.0 : average.Frequencies.front();
    const double last = average.Frequencies.empty() ? 0.0 : average.Frequencies.back();
    if (opt->Json) {
      nlohmann::ordered_json j;
      j["output"] = opt->Output;
      j["median"] = opt->Median;
      j["files_used"] = average.FilesUsed;
      j["left_out"] = average.LeftOut;
      j["lines"] = average.Frequencies.size();
      j["first_frequency"] = first;
      j["last_frequency"] = last;
      j["columns"] = average.Names;
      std::printf("%s\n", j.dump().c_str());
      return;
    }
    OutLine(
        opt->Median ? TCode::kCliMedianWritten : TCode::kCliAverageWritten,
        {opt->Output, std::to_string(average.FilesUsed), std::to_string(average.Frequencies.size()),
         Printed("%.5f", first), Printed("%.5f", last)});
  });
}

}  // namespace tarvik::cli

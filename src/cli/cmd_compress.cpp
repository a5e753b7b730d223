// tarvik-cli compress FILE -o OUT.rec: a compressed REC copy of the record that FILE begins;
// tarvik-cli compress PROJECT.tvp [--record N]: see cmd_compress_project.cpp.

#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_guard.h"
#include "cli/project_cli.h"
#include "cli/record_options.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/compress.h"

namespace tarvik::cli {

void RegisterCompress(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string File;
    std::string Out;
    bool Force = false;
    AssemblySettings Settings;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "compress",
      "Write a compressed REC copy of the record that FILE begins (-o OUT.rec); or, for a "
      "project FILE.tvp, copies of its records (or of --record N) into its ZipData folder, the "
      "project then pointing its records at the copies and saved");
  cmd->add_option("FILE", opt->File, "first file of the record, or a project (.tvp)")->required();
  cmd->add_option("-o,--output", opt->Out, "the REC file to write (not with a project)");
  AddForceFlag(cmd, opt->Force);
  AddRecordFormOptions(cmd, opt->Settings);
  auto project = AddCompressProjectOptions(cmd);
  cmd->callback([opt, project, &result] {
    if (CompressProjectOrRefuse(opt->File, opt->Out, *project, result)) return;
    const std::optional<TFileRecord> record = FormFirstRecord(opt->File, opt->Settings, result);
    if (!record) return;
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    // Every file the record is read from is an input, not only the first.
    std::vector<std::string> inputs =
        FindRecordFiles(record->File, opt->Settings.WorkingRate, record->Start, record->Finish,
                        host, nullptr, record->Station, {}, ChannelNames(*record))
            .Paths;
    inputs.push_back(opt->File);
    if (!MayWriteOutput("compress", opt->Out, inputs, opt->Force, result)) return;
    std::string error;
    if (!CompressRecord(opt->Out, *record, host, opt->Settings.WorkingRate, &error)) {
      ErrReason("compress", error);
      result.Status = 1;
      return;
    }
    result.Status = 0;
  });
}

}  // namespace tarvik::cli

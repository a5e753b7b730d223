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
    std::string file;
    std::string out;
    bool force = false;
    AssemblySettings settings;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "compress",
      "Write a compressed REC copy of the record that FILE begins (-o OUT.rec); or, for a "
      "project FILE.tvp, copies of its records (or of --record N) into its ZipData folder, the "
      "project then pointing its records at the copies and saved");
  cmd->add_option("FILE", opt->file, "first file of the record, or a project (.tvp)")->required();
  cmd->add_option("-o,--output", opt->out, "the REC file to write (not with a project)");
  AddForceFlag(cmd, opt->force);
  AddRecordFormOptions(cmd, opt->settings);
  auto project = AddCompressProjectOptions(cmd);
  cmd->callback([opt, project, &result] {
    if (CompressProjectOrRefuse(opt->file, opt->out, *project, result)) return;
    const std::optional<TFileRecord> record = FormFirstRecord(opt->file, opt->settings, result);
    if (!record) return;
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    // Every file the record is read from is an input, not only the first.
    std::vector<std::string> inputs =
        FindRecordFiles(record->File, opt->settings.working_rate, record->Start, record->Finish,
                        host, nullptr, record->Station, {}, ChannelNames(*record))
            .paths;
    inputs.push_back(opt->file);
    if (!MayWriteOutput("compress", opt->out, inputs, opt->force, result)) return;
    std::string error;
    if (!CompressRecord(opt->out, *record, host, opt->settings.working_rate, &error)) {
      ErrPrintf("compress: %s\n", error.c_str());
      result.status = 1;
      return;
    }
    result.status = 0;
  });
}

}  // namespace tarvik::cli

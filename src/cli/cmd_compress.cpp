// tarvik-cli compress FILE -o OUT.rec: a compressed REC copy of the record that FILE begins.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/project_cli.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/compress.h"

namespace tarvik::cli {

void RegisterCompress(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string file;
    std::string out;
    int max_span = 10;
    double rate = 50.0;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd =
      app.add_subcommand("compress", "Write a compressed REC copy of the record that FILE begins");
  cmd->add_option("FILE", opt->file, "first file of the record")->required();
  cmd->add_option("-o,--output", opt->out, "the REC file to write");
  cmd->add_option("--max-span", opt->max_span, "largest gap between files of a record, s")
      ->check(CLI::Range(0, 999))
      ->capture_default_str();
  cmd->add_option("--rate", opt->rate, "sampling rate for formats without one, Hz")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  auto project = AddCompressProjectOptions(cmd);
  cmd->callback([opt, project, &result] {
    if (CompressProjectOrRefuse(opt->file, opt->out, *project, result)) return;
    AssemblySettings settings;
    settings.max_span = opt->max_span;
    settings.working_rate = opt->rate;
    AddFileResult added;
    TFileRecords records = FormRecordsFrom(opt->file, settings, &added);
    if (records.empty()) {
      std::fprintf(stderr, "%s: not added: %s\n", opt->file.c_str(),
                   AddStatusText(added.status).c_str());
      result.status = 1;
      return;
    }
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true);
    std::string error;
    if (!CompressRecord(opt->out, records.front(), host, opt->rate, &error)) {
      std::fprintf(stderr, "compress: %s\n", error.c_str());
      result.status = 1;
      return;
    }
    result.status = 0;
  });
}

}  // namespace tarvik::cli

// tarvik-cli compress PROJECT.tvp [--record N]: compressed copies of a project's records in its
// ZipData folder, the records then pointing at them.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_output.h"
#include "cli/project_cli.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "project/project_file.h"
#include "project/record_management.h"

namespace tarvik::cli {

std::shared_ptr<CompressProjectOptions> AddCompressProjectOptions(CLI::App* cmd) {
  auto opt = std::make_shared<CompressProjectOptions>();
  cmd->add_option("--record", opt->record, "with a project: only record N (1-based)")
      ->check(PositiveNumber());
  return opt;
}

bool CompressProjectOrRefuse(const std::string& file, const std::string& output,
                             const CompressProjectOptions& options, CommandResult& result) {
  if (AsciiUpper(FileExtension(file)) != ".TVP") {
    if (options.record > 0) {
      std::fprintf(stderr, "compress: --record belongs to a project, not a seismogram file\n");
      result.status = 2;
      return true;
    }
    if (!output.empty()) return false;
    std::fprintf(stderr, "compress: --output is required for a seismogram file\n");
    result.status = 2;
    return true;
  }
  // The copies of a project go into its ZipData folder, one per record; an output named as
  // well would be ignored, and the user would look for it in vain.
  if (!output.empty()) {
    std::fprintf(stderr,
                 "compress: --output is for a seismogram file; the copies of a project's records "
                 "go into its ZipData folder\n");
    result.status = 2;
    return true;
  }
  ConsoleUiHost host(ConsoleUiHost::Answer::kNo);
  TProject project;
  if (!OpenProject(file, project, host)) {
    result.status = 1;
    return true;
  }
  const int count = static_cast<int>(project.Records.size());
  if (options.record > count) {
    std::fprintf(stderr, "compress: record %d: the project has %d records\n", options.record,
                 count);
    result.status = 2;
    return true;
  }
  const TSelection selection =
      options.record > 0 ? TSelection{options.record - 1} : AllRecords(project);
  const TCompressReport report =
      CompressRecords(project, selection, ProjectResultFolders(project), host);
  for (const auto& [i, target] : report.Written) std::printf("%s\n", target.c_str());
  for (const auto& [i, error] : report.Failed) {
    std::fprintf(stderr, "compress: record %d (%s): %s\n", i + 1,
                 project.Records[static_cast<size_t>(i)].Station.c_str(), error.c_str());
  }
  const bool failed = !report.Failed.empty() || host.StopRequested();
  if (project.Modified &&
      !SaveProject(project, project.FileName, ProjectForm(project.FileName), host).ok) {
    result.status = 1;
    return true;
  }
  result.status = failed ? 1 : 0;
  return true;
}

}  // namespace tarvik::cli

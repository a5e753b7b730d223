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
#include "records/compress.h"
#include "records/header_cache.h"

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
  const int first = options.record > 0 ? options.record - 1 : 0;
  const int last = options.record > 0 ? options.record - 1 : count - 1;
  const TResultFolders folders = ProjectResultFolders(project);
  host.ClearStop();
  host.SetOperation("Сжатие записей");
  host.SetGauge(0, last - first + 1);
  int failures = 0;
  // Records of one folder search the same files: each header is read once.
  HeaderCache headers;
  for (int i = first; i <= last && !host.StopRequested(); ++i) {
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    const std::string target = JoinPath(folders.ZipData, CompressedRecordName(r));
    std::string error;
    if (CompressRecord(target, r, host, project.General.SampRateDefault, &error, &headers)) {
      r.File = target;
      project.Modified = true;
      std::printf("%s\n", target.c_str());
    } else {
      ++failures;
      std::fprintf(stderr, "compress: record %d (%s): %s\n", i + 1, r.Station.c_str(),
                   error.c_str());
    }
    host.SetGauge(i - first + 1, last - first + 1);
  }
  if (project.Modified &&
      !SaveProject(project, project.FileName, ProjectForm(project.FileName), host).ok) {
    result.status = 1;
    return true;
  }
  result.status = failures > 0 ? 1 : 0;
  return true;
}

}  // namespace tarvik::cli

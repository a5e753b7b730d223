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
#include "project/project_lock.h"
#include "project/record_management.h"

namespace tarvik::cli {

namespace {

// Compressing takes long, and the project is not kept locked meanwhile: the records are pointed
// at their copies in the project as it is on disk under the lock, which another writer may have
// changed since it was read. A record is found there by what it was (File, Station, Start).
bool SaveCompressed(TProject& project, const TProject& before, const TCompressReport& report,
                    UiHost& host) {
  const TProjectLock lock = TProjectLock::Acquire(ProjectFilePath(project.FileName));
  if (!lock.Held()) {
    ErrReason("compress", Text(lock.Error(), Language()));
    return false;
  }
  if (ProjectFileStamp(project.FileName) != project.Disk) {
    TProject now;
    if (!OpenProject(project.FileName, now, host)) return false;
    for (const auto& [i, target] : report.Written) {
      const TFileRecord& was = before.Records[static_cast<size_t>(i)];
      for (TFileRecord& r : now.Records) {
        if (r.File == was.File && r.Station == was.Station && r.Start == was.Start) {
          r.File = target;
          now.Modified = true;
        }
      }
    }
    project = std::move(now);
    if (!project.Modified) return true;
  }
  return SaveProject(project, project.FileName, project.Form, host, "", &lock).Ok;
}

}  // namespace

std::shared_ptr<CompressProjectOptions> AddCompressProjectOptions(CLI::App* cmd) {
  auto opt = std::make_shared<CompressProjectOptions>();
  cmd->add_option("--record", opt->Record, "with a project: only record N (1-based)")
      ->check(PositiveNumber());
  return opt;
}

bool CompressProjectOrRefuse(const std::string& file, const std::string& output,
                             const CompressProjectOptions& options, CommandResult& result) {
  if (AsciiUpper(FileExtension(file)) != ".TVP") {
    if (options.Record > 0) {
      ErrLine(TCode::kCliRecordOptionForProject);
      result.Status = 2;
      return true;
    }
    if (!output.empty()) return false;
    ErrLine(TCode::kCliOutputRequired);
    result.Status = 2;
    return true;
  }
  // The copies of a project go into its ZipData folder, one per record; an output named as
  // well would be ignored, and the user would look for it in vain.
  if (!output.empty()) {
    ErrLine(TCode::kCliOutputForFile);
    result.Status = 2;
    return true;
  }
  ConsoleUiHost host(ConsoleUiHost::Answer::kNo, false, Language());
  TProject project;
  if (!OpenProject(file, project, host)) {
    result.Status = 1;
    return true;
  }
  const int count = static_cast<int>(project.Records.size());
  if (options.Record > count) {
    ErrLine(TCode::kCliNoSuchRecord,
            {"compress", std::to_string(options.Record), std::to_string(count)});
    result.Status = 2;
    return true;
  }
  const TSelection selection =
      options.Record > 0 ? TSelection{options.Record - 1} : AllRecords(project);
  const TProject before = project;
  const TCompressReport report =
      CompressRecords(project, selection, ProjectResultFolders(project), host);
  for (const auto& [i, target] : report.Written) std::printf("%s\n", target.c_str());
  for (const auto& [i, error] : report.Failed) {
    ErrLine(TCode::kCliRecordNotCompressed,
            {std::to_string(i + 1), project.Records[static_cast<size_t>(i)].Station, error});
  }
  const bool failed = !report.Failed.empty() || host.StopRequested();
  if (project.Modified && !SaveCompressed(project, before, report, host)) {
    result.Status = 1;
    return true;
  }
  result.Status = failed ? 1 : 0;
  return true;
}

}  // namespace tarvik::cli

#include "cli/project_cli.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "project/project_file.h"

namespace tarvik::cli {

bool OpenProject(const std::string& path, TProject& project, UiHost& host) {
  const LoadStatus status = LoadProject(project, path, host);
  if (status == LoadStatus::kNewerVersion) {
    // The desktop program stays silent here; a script needs to know why nothing happened.
    std::fprintf(stderr, "%s: a project of a later version of the program\n", path.c_str());
  }
  return status == LoadStatus::kLoaded;
}

int ProjectForm(const std::string& path) {
  return ProbeProjectFormat(path) == 1 ? 1 : 0;
}

TResultFolders ProjectResultFolders(const TProject& project) {
  return DeriveResultFolders(project.General.ResultDir, project.Folder);
}

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return self.parent_path().string();
}

}  // namespace tarvik::cli

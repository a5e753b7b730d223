// tarvik-cli add PROJECT.tvp PATH... [--folder DIR --format N]: adds files or a folder to a
// project (created in the text form when missing) and saves it.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/project_cli.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "project/project_file.h"
#include "project/record_management.h"
#include "records/assembly.h"

namespace tarvik::cli {

namespace {

int Report(const std::vector<AddedFile>& added) {
  int refused = 0;
  for (const AddedFile& a : added) {
    if (a.result.Added()) continue;
    ++refused;
    std::fprintf(stderr, "%s: not added: %s\n", a.path.c_str(),
                 AddStatusText(a.result.status).c_str());
  }
  return refused;
}

}  // namespace

void RegisterAdd(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string project;
    std::vector<std::string> paths;
    std::string folder;
    int format = -1;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "add", "Add seismogram files or a folder to a project (created when missing) and save it");
  cmd->add_option("PROJECT", opt->project, "project file (.tvp)")->required();
  cmd->add_option("PATH", opt->paths, "files to add; a folder adds its files of --format");
  cmd->add_option("--folder", opt->folder, "add every file of this folder that --format matches");
  cmd->add_option("--format", opt->format,
                  "data format of a folder: 0 .rec, 1 .iss_dat, 2 .ugr*, 3 .sdas, 4 .reftek, "
                  "5 .wfd*, 6 .gcf, 7 .msd, 8 .ddb, 9 .baikal, 10 .sl (default: the project's)")
      ->check(CLI::Range(0, kDataFormatCount - 1));
  cmd->callback([opt, &result] {
    if (opt->paths.empty() && opt->folder.empty()) {
      std::fprintf(stderr, "add: nothing to add: give files or --folder\n");
      result.status = 2;
      return;
    }
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true);
    TProject project;
    const std::string name = ProjectSaveName(opt->project);
    int form = 0;
    std::error_code ec;
    if (std::filesystem::exists(name, ec)) {
      if (!OpenProject(name, project, host)) {
        result.status = 1;
        return;
      }
      form = ProjectForm(name);
    } else {
      // A new project keeps its results beside itself.
      project.General.ResultDir =
          FolderOf(std::filesystem::absolute(name, ec).lexically_normal().string());
    }
    if (opt->format >= 0) project.General.DataFormat = opt->format;
    const size_t before = project.Records.size();
    int refused = 0;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    if (!opt->folder.empty()) folders.push_back(opt->folder);
    for (const std::string& p : opt->paths) {
      (std::filesystem::is_directory(p, ec) ? folders : files).push_back(p);
    }
    for (std::string& f : files) f = std::filesystem::absolute(f, ec).lexically_normal().string();
    if (!files.empty()) refused += Report(AddFilesToProject(project, files, host).Files);
    for (const std::string& folder : folders) {
      const std::string full = std::filesystem::absolute(folder, ec).lexically_normal().string();
      const std::vector<AddedFile> added =
          AddFolderToProject(project, full, project.General.DataFormat, host).Files;
      if (added.empty()) {
        std::fprintf(
            stderr, "%s: no files of the format %s\n", folder.c_str(),
            std::string(kDataFormats[static_cast<size_t>(project.General.DataFormat)]).c_str());
      }
      refused += Report(added);
    }
    project.Modified = true;
    const SaveResult saved = SaveProject(project, name, form, host);
    if (!saved.ok) {
      result.status = 1;
      return;
    }
    std::printf("%s: %zu records (%zu new)\n", saved.file_name.c_str(), project.Records.size(),
                project.Records.size() - before);
    result.status = refused > 0 ? 1 : 0;
  });
}

}  // namespace tarvik::cli

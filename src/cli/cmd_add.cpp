// tarvik-cli add PROJECT.tvp PATH... [--folder DIR --format N] [--sds ROOT --stations LIST
// [--from DATE --to DATE] [--per day|continuous]] [--json]: adds files, folders or the days of
// an SDS archive to a project (created in the text form when missing) and saves it.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/project_cli.h"
#include "cli/record_options.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "project/project_file.h"
#include "project/project_lock.h"
#include "project/record_management.h"
#include "records/assembly.h"
#include "records/header_cache.h"

namespace tarvik::cli {

namespace {

bool IsProjectName(const std::string& path) {
  return AsciiUpper(FileExtension(path)) == ".TVP";
}

}  // namespace

void RegisterAdd(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Project;
    std::vector<std::string> Paths;
    std::string Folder;
    int Format = -1;
    std::string Sds;
    std::string Stations;
    std::string From;
    std::string To;
    std::string Per = "day";
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "add",
      "Add seismogram files or folders to a project and save it; the project is created "
      "when missing and something was added");
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  cmd->add_option("PATH", opt->Paths,
                  "files to add; a folder adds every seismogram file in it, or with --format "
                  "the files of that format");
  cmd->add_option("--folder", opt->Folder,
                  "add the files of this folder that --format (default: the project's) matches");
  cmd->add_option("--format", opt->Format,
                  "data format of folders: 0 .rec, 1 .iss_dat, 2 .ugr*, 3 .sdas, 4 .reftek, "
                  "5 .wfd*, 6 .gcf, 7 .msd/.mseed/.miniseed, 8 .ddb, 9 .baikal, 10 .sl")
      ->check(CLI::Range(0, kDataFormatCount - 1));
  cmd->add_option("--sds", opt->Sds,
                  "an SDS archive (ROOT/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DAY): add the "
                  "day files of --stations");
  cmd->add_option("--stations", opt->Stations,
                  "stations of the archive, NET.STA[.LOC][,...] (without LOC: every location)");
  cmd->add_option("--from", opt->From, "first day of the archive to add, YYYY-MM-DD");
  cmd->add_option("--to", opt->To, "last day of the archive to add, YYYY-MM-DD");
  cmd->add_option("--per", opt->Per,
                  "day: a record per station and day; continuous: a record per run of files "
                  "no further apart than MaxSpan")
      ->check(CLI::IsMember({"day", "continuous"}))
      ->capture_default_str();
  cmd->add_flag("--json", opt->Json,
                "one JSON document: the project, its records, the files added and not added");
  cmd->callback([opt, &result] {
    if (opt->Paths.empty() && opt->Folder.empty() && opt->Sds.empty()) {
      ErrLine(TCode::kCliNothingToAdd);
      result.Status = 2;
      return;
    }
    std::vector<SdsStation> sds_stations;
    TDateTime from = std::numeric_limits<double>::quiet_NaN();
    TDateTime to = from;
    if (!opt->Sds.empty() || !opt->Stations.empty()) {
      if (opt->Sds.empty() || opt->Stations.empty()) {
        ErrLine(TCode::kCliSdsNeedsStations);
        result.Status = 2;
        return;
      }
      for (std::string_view rest = opt->Stations; !rest.empty();) {
        const size_t cut = rest.find(',');
        const std::string_view one = rest.substr(0, cut);
        const std::optional<SdsStation> s = ParseSdsStation(one);
        if (!s) {
          ErrLine(TCode::kCliNotStationCode, {one});
          result.Status = 2;
          return;
        }
        sds_stations.push_back(*s);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      }
      const auto day = [&](const std::string& text, const char* option, TDateTime& out) {
        if (text.empty()) return true;
        int y = 0, m = 0, d = 0;
        char tail = 0;
        if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 ||
            d < 1 || d > 31) {
          ErrLine(TCode::kCliNotDay, {option, text});
          result.Status = 2;
          return false;
        }
        out = EncodeDateTime(y, m, d);
        return true;
      };
      if (!day(opt->From, "--from", from) || !day(opt->To, "--to", to)) return;
    } else if (!opt->From.empty() || !opt->To.empty()) {
      ErrLine(TCode::kCliDaysNeedSds);
      result.Status = 2;
      return;
    }
    // The project comes first; a seismogram file there, or a project among the files, is the
    // arguments in the wrong order, which would otherwise create a project named after data.
    std::error_code ec;
    if (!IsProjectName(opt->Project) && std::filesystem::is_regular_file(opt->Project, ec)) {
      ErrLine(TCode::kCliProjectComesFirst, {opt->Project});
      result.Status = 2;
      return;
    }
    for (const std::string& p : opt->Paths) {
      if (IsProjectName(p)) {
        ErrLine(TCode::kCliProjectNotSeismogram, {p});
        result.Status = 2;
        return;
      }
    }
    const auto absolute = [&](const std::string& p) {
      return std::filesystem::absolute(p, ec).lexically_normal().string();
    };
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    TProject project;
    const std::string name = ProjectSaveName(opt->Project);
    // The project is read, added to and saved under its lock, so that no other writer's change
    // made meanwhile is lost.
    const TProjectLock lock = TProjectLock::Acquire(ProjectFilePath(name));
    if (!lock.Held()) {
      ErrReason("add", Text(lock.Error(), Language()));
      result.Status = 1;
      return;
    }
    const bool existed = std::filesystem::exists(name, ec);
    int form = 0;
    if (existed) {
      if (!OpenProject(name, project, host)) {
        result.Status = 1;
        return;
      }
      form = project.Form;
    } else {
      // A new project keeps its results beside itself.
      project.General.ResultDir = FolderOf(absolute(name));
    }
    if (opt->Format >= 0) project.General.DataFormat = opt->Format;
    PathList list;
    if (!opt->Folder.empty()) {
      if (std::filesystem::is_directory(opt->Folder, ec)) {
        CollectFolder(absolute(opt->Folder), project.General.DataFormat, list);
      } else {
        list.Refused.emplace_back(opt->Folder, MakeStatus(TCode::kCliNoSuchFolder));
      }
    }
    CollectPaths(opt->Paths, opt->Format, list);
    // A path the project file cannot hold would be saved with "?" in it and never read again.
    const std::string folder = FolderOf(absolute(name));
    std::vector<std::string> storable;
    for (const std::string& f : list.Files) {
      const std::string bad = FirstCharacterNotInCp1251(ToCommonDir(f, folder));
      if (bad.empty()) {
        storable.push_back(f);
      } else {
        list.Refused.emplace_back(f, MakeStatus(TCode::kCliPathCharacter, {bad}));
      }
    }

    // Each day of an archive forms records of its own; a continuous run forms them of all its
    // days, each channel's files in time order.
    std::vector<std::vector<std::string>> groups;
    if (!opt->Sds.empty()) {
      const std::string root = absolute(opt->Sds);
      for (const SdsStation& s : sds_stations) {
        std::vector<std::vector<std::string>> days = ListSdsDays(root, s, from, to);
        if (days.empty()) {
          list.Refused.emplace_back(
              root, MakeStatus(TCode::kCliNoDayFiles, {s.Network + "." + s.Station +
                                                       (s.AnyLocation ? "" : "." + s.Location)}));
        }
        std::vector<std::string> run;
        for (std::vector<std::string>& files : days) {
          std::vector<std::string> kept;
          for (std::string& f : files) {
            const std::string bad = FirstCharacterNotInCp1251(ToCommonDir(f, folder));
            if (bad.empty()) {
              kept.push_back(std::move(f));
            } else {
              list.Refused.emplace_back(f, MakeStatus(TCode::kCliPathCharacter, {bad}));
            }
          }
          if (opt->Per == "day") {
            if (!kept.empty()) groups.push_back(std::move(kept));
          } else {
            run.insert(run.end(), kept.begin(), kept.end());
          }
        }
        std::sort(run.begin(), run.end());
        if (!run.empty()) groups.push_back(std::move(run));
      }
    }

    const size_t before = project.Records.size();
    int added = 0;
    HeaderCache headers;
    std::vector<AddedFile> files = AddFilesToProject(project, storable, host, &headers).Files;
    if (!groups.empty()) {
      std::vector<AddedFile> days = AddFileGroupsToProject(project, groups, host, &headers).Files;
      files.insert(files.end(), days.begin(), days.end());
    }
    for (const AddedFile& a : files) {
      if (a.Result.Added()) {
        ++added;
      } else {
        list.Refused.emplace_back(a.Path, AddRefusal(a.Result));
      }
    }
    nlohmann::ordered_json refused = nlohmann::ordered_json::array();
    for (const auto& [path, reason] : list.Refused) {
      ErrLine(TCode::kCliNotAdded, {path, reason});
      refused.push_back({{"file", path}, {"reason", Told(reason)}, {"code", RefusalCode(reason)}});
    }
    nlohmann::ordered_json doc = {{"project", absolute(name)}, {"saved", false}};
    const auto finish = [&](int status) {
      result.Status = status;
      doc["records"] = project.Records.size();
      doc["new_records"] = project.Records.size() - before;
      doc["files_added"] = added;
      doc["not_added"] = refused;
      if (opt->Json) std::printf("%s\n", doc.dump(2).c_str());
    };
    if (added == 0) {
      ErrLine(existed ? TCode::kCliNothingAddedKept : TCode::kCliNothingAddedNotCreated, {name});
      return finish(1);
    }
    project.Modified = true;
    const SaveResult saved = SaveProject(project, name, form, host, "", &lock);
    if (!saved.Ok) return finish(1);
    doc["project"] = saved.FileName;
    doc["saved"] = true;
    if (!opt->Json) {
      OutLine(TCode::kCliProjectRecords, {saved.FileName, std::to_string(project.Records.size()),
                                          std::to_string(project.Records.size() - before)});
    }
    finish(list.Refused.empty() ? 0 : 1);
  });
}

}  // namespace tarvik::cli

// tarvik-cli run PROJECT.tvp [--spectra] [--hv] [--from N] [--only N] [--yes] [--jobs N]
// [--shard K/N] [--json]: the calculation driver over a project: primary spectra of the checked
// records, then H/V ratios.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/project_cli.h"
#include "cli/record_options.h"
#include "common/number_text.h"
#include "common/ui_host.h"
#include "project/driver.h"

namespace tarvik::cli {

namespace {

// What a run wrote and why records got nothing, as text (files on stdout, failures, notes, the
// segment lengths and last the count of failed records on stderr) or into doc; true when every
// handled record got its file and the run was neither prevented nor stopped.
template <typename PathOf>
bool Summarise(const char* what, const TRunReport& report, const TProject& project, bool json,
               nlohmann::ordered_json& doc, PathOf path_of) {
  nlohmann::ordered_json records = nlohmann::ordered_json::array();
  double seconds = 0.0;
  // Records by the segments they were computed with, in order of first use.
  std::vector<std::pair<TRunWindow, std::string>> windows;
  for (size_t k = 0; k < report.Processed.size(); ++k) {
    const int index = report.Processed[k];
    const TFileRecord& r = project.Records[static_cast<size_t>(index)];
    nlohmann::ordered_json entry = {{"record", index + 1}, {"station", r.Station}};
    nlohmann::ordered_json notes = nlohmann::ordered_json::array();
    for (const auto& [i, note] : report.Notes) {
      if (i != index) continue;
      const std::string told = Text(note, Language());
      notes.push_back(told);
      if (!json) {
        ErrLine(TCode::kCliRecordNote, {what, std::to_string(index + 1), r.Station, told});
      }
    }
    if (!notes.empty()) entry["notes"] = notes;
    if (k < report.Windows.size() && report.Windows[k].Samples > 0 && report.Windows[k].Rate > 0) {
      const TRunWindow& w = report.Windows[k];
      entry["window"] = {{"samples", w.Samples}, {"seconds", w.Samples / w.Rate}};
      auto same = std::find_if(windows.begin(), windows.end(), [&](const auto& e) {
        return e.first.Samples == w.Samples && e.first.Rate == w.Rate;
      });
      if (same == windows.end()) {
        windows.push_back({w, std::to_string(index + 1)});
      } else {
        same->second += ", " + std::to_string(index + 1);
      }
    }
    const auto failed = std::find_if(report.Failed.begin(), report.Failed.end(),
                                     [&](const auto& f) { return f.first == index; });
    if (failed != report.Failed.end()) {
      const std::string told = Text(failed->second, Language());
      entry["failure"] = told;
      if (!failed->second.Ok())
        entry["failure_code"] = std::string(CodeName(ReasonOf(failed->second).Code));
      if (!json) {
        if (told.empty()) {
          ErrLine(TCode::kCliRecordNoResult, {what, std::to_string(index + 1), r.Station});
        } else {
          ErrLine(TCode::kCliRecordNoResultWhy, {what, std::to_string(index + 1), r.Station, told});
        }
      }
    } else if (const std::string path = path_of(r);
               std::find(report.Written.begin(), report.Written.end(), path) !=
               report.Written.end()) {
      entry["written"] = path;
      if (!json) std::printf("%s\n", path.c_str());
    } else {
      entry["stopped"] = true;
    }
    if (k < report.Gaps.size() && report.Gaps[k].Count > 0) {
      const TRunReport::TGaps& gaps = report.Gaps[k];
      entry["gaps"] = {{"count", gaps.Count}, {"seconds", gaps.Seconds}};
      if (!json) ErrLine(TCode::kCliRecordSays, {what, std::to_string(index + 1), gaps.Message});
    }
    const double s = k < report.Seconds.size() ? report.Seconds[k] : 0.0;
    entry["seconds"] = s;
    seconds += s;
    records.push_back(std::move(entry));
  }
  nlohmann::ordered_json notices = nlohmann::ordered_json::array();
  for (const TStatus& notice : report.Notices) notices.push_back(Told(notice.Code, notice.Args));
  doc = {{"ran", report.Ran},
         {"cancelled", report.Cancelled},
         {"problem", report.Problem},
         {"nothing_checked", report.NothingChecked},
         {"notices", notices},
         {"records", records},
         {"failed", report.Failed.size()},
         {"seconds", seconds}};
  if (!json && report.Ran) {
    for (const auto& [w, list] : windows) {
      ErrLine(list.find(',') == std::string::npos ? TCode::kCliSegmentsOfRecord
                                                  : TCode::kCliSegmentsOfRecords,
              {what, SegmentLengthText(w.Samples, w.Rate), list});
    }
    ErrLine(TCode::kCliRecordsFailed,
            {what, std::to_string(report.Failed.size()), std::to_string(report.Processed.size())});
  }
  if (!report.Ran) {
    ErrLine(TCode::kCliNotRun, {what});
    return false;
  }
  if (report.Cancelled) {
    ErrLine(TCode::kCliStopped, {what});
    return false;
  }
  return report.Failed.empty();
}

}  // namespace

void RegisterRun(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Project;
    bool Spectra = false;
    bool Hv = false;
    int From = 0;
    int Only = 0;
    bool AssumeYes = false;
    int Jobs = 1;
    std::string Shard;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "run", "Compute the primary spectra of the checked records, then their H/V ratios");
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  cmd->add_flag("--spectra", opt->Spectra, "primary spectra only (with --hv: both)");
  cmd->add_flag("--hv", opt->Hv, "H/V ratios only (with --spectra: both)");
  CLI::Option* from = cmd->add_option("--from", opt->From, "start from record N (1-based)")
                          ->check(PositiveNumber());
  cmd->add_option("--only", opt->Only, "only record N (1-based), without the checks")
      ->check(PositiveNumber())
      ->excludes(from);
  cmd->add_flag("--yes", opt->AssumeYes, "answer Yes to the driver's questions");
  cmd->add_option("--jobs", opt->Jobs, "records computed at the same time")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cmd->add_option("--shard", opt->Shard,
                  "K/N: only the checked records whose number n has (n - 1) mod N = K - 1, so "
                  "that N runs (array tasks of a cluster) together write the files of one run")
      ->check(ShardValidator())
      ->excludes("--only");
  cmd->add_flag("--json", opt->Json,
                "one JSON document: per record the file written or the failure, and the time");
  cmd->callback([opt, &result] {
    // Without --yes a question is asked on a terminal and answered No otherwise.
    ConsoleUiHost host(opt->AssumeYes ? ConsoleUiHost::Answer::kYes : ConsoleUiHost::Answer::kAsk,
                       false, Language());
    TProject project;
    if (!OpenProject(opt->Project, project, host)) {
      result.Status = 1;
      return;
    }
    const int count = static_cast<int>(project.Records.size());
    const int chosen = opt->Only > 0 ? opt->Only : opt->From;
    if (chosen > count) {
      ErrLine(TCode::kCliNoSuchRecord, {"run", std::to_string(chosen), std::to_string(count)});
      result.Status = 2;
      return;
    }
    TRunOptions options;
    options.Start = chosen > 0 ? chosen - 1 : 0;
    options.Only = opt->Only > 0;
    options.Jobs = opt->Jobs;
    if (!opt->Shard.empty()) {
      const auto [k, n] = *ParseShard(opt->Shard);
      options.ShardIndex = k - 1;
      options.ShardCount = n;
    }
    const bool both = opt->Spectra == opt->Hv;
    const TResultFolders folders = ProjectResultFolders(project);
    InterruptScope interrupt(host);
    const auto started = std::chrono::steady_clock::now();
    nlohmann::ordered_json doc = {{"project", project.FileName}};
    const auto finish = [&](int status) {
      result.Status = status;
      if (!opt->Json) return;
      doc["seconds"] =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::printf("%s\n", doc.dump(2).c_str());
    };
    bool ok = true;
    const auto checked_from_start = [&](bool TFileRecord::*flag) {
      return std::any_of(project.Records.begin() + std::min(options.Start, count),
                         project.Records.end(), [flag](const TFileRecord& r) { return r.*flag; });
    };
    // A project whose records are checked for H/V only, run for both, computes the H/V ratios.
    const bool spectra =
        opt->Spectra || (both && (options.Only || checked_from_start(&TFileRecord::ToProcess) ||
                                  !checked_from_start(&TFileRecord::ToProcessNakamura)));
    const std::string quoted = "'" + opt->Project + "'";
    if (spectra) {
      const TRunReport report = RunPrimary(project, folders, host, options);
      ok = Summarise("spectra", report, project, opt->Json, doc["spectra"],
                     [&](const TFileRecord& r) { return PrimaryResultPath(project, folders, r); });
      if (report.NothingChecked) {
        ErrLine(TCode::kCliCheckForSpectra, {quoted});
      }
      if (report.Cancelled || !report.Ran) return finish(1);
      // The H/V run of the same call must not take these records' amplitude files, which are
      // from an earlier run if there are any.
      for (const auto& failed : report.Failed) options.SpectraFailed.push_back(failed.first);
    }
    if (both || opt->Hv) {
      const TRunReport report = RunHV(project, folders, host, options);
      ok = Summarise("H/V", report, project, opt->Json, doc["hv"],
                     [&](const TFileRecord& r) { return RatioFilePath(folders, r); }) &&
           ok;
      if (report.NothingChecked) {
        ErrLine(TCode::kCliCheckForHv, {quoted});
      } else if (report.Problem > 0) {
        ErrReason("run", AmplitudeSpectraHint(project, report.Problem - 1));
      }
    }
    finish(ok ? 0 : 1);
  });
}

}  // namespace tarvik::cli

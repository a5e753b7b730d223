// tarvik-cli psd PROJECT.tvp [--records SEL | --all] [--segment S] [--overlap F] [--jobs N]
// [--shard K/N] [--json]: segment PSDs of project records into the PSD store of the results
// folder, for station-noise statistics (psd-stats).

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/project_cli.h"
#include "cli/record_options.h"
#include "common/number_text.h"
#include "common/ui_host.h"
#include "records/header_cache.h"
#include "spectral/psd_run.h"

namespace tarvik::cli {

// The store of a project: the PSD folder of its results folder.
std::string PsdStoreOf(const TProject& project) {
  return (std::filesystem::path(ProjectResultFolders(project).Results) / "PSD").string();
}

void RegisterPsd(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Project;
    std::string Records;
    bool All = false;
    double Segment = 3600.0;
    double Overlap = 0.5;
    int Jobs = 1;
    std::string Shard;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "psd",
      "Segment PSDs of ground acceleration (Welch inside each segment, divided by the channel's "
      "response, smoothed over an octave) into the project's PSD store, one file per channel "
      "and day; days already stored with the same data and settings are kept");
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  CLI::Option* records =
      cmd->add_option("--records", opt->Records,
                      "records to compute, e.g. 1,3-5 (default: the records checked for "
                      "processing)");
  cmd->add_flag("--all", opt->All, "every record of the project")->excludes(records);
  cmd->add_option("--segment", opt->Segment, "segment length, s")->capture_default_str();
  cmd->add_option("--overlap", opt->Overlap, "share of a segment the next one overlaps, 0..1")
      ->capture_default_str();
  cmd->add_option("--jobs", opt->Jobs, "segments computed at the same time")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cmd->add_option("--shard", opt->Shard,
                  "K/N: only the UTC days d (days since 1970-01-01) with d mod N = K - 1, so "
                  "that N runs (array tasks of a cluster) together fill the store of one run")
      ->check(ShardValidator());
  cmd->add_flag("--json", opt->Json, "print one JSON document");
  cmd->callback([opt, &result] {
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, false, Language());
    TPsdRunOptions options;
    options.Settings.SegmentSeconds = opt->Segment;
    options.Settings.Overlap = opt->Overlap;
    TStatus why;
    if (!CheckPsdSettings(options.Settings, &why)) {
      ErrReason("psd", why);
      result.Status = 2;
      return;
    }
    TProject project;
    if (!OpenProject(opt->Project, project, host)) {
      result.Status = 1;
      return;
    }
    const int count = static_cast<int>(project.Records.size());
    std::vector<int> chosen;
    if (!opt->Records.empty()) {
      TStatus not_chosen;
      if (!ParseRecordSelection(opt->Records, count, chosen, not_chosen)) {
        ErrReason("psd: --records", not_chosen);
        result.Status = 2;
        return;
      }
    } else {
      for (int i = 0; i < count; ++i) {
        if (opt->All || project.Records[static_cast<size_t>(i)].ToProcess) chosen.push_back(i);
      }
    }
    if (chosen.empty()) {
      if (count == 0) {
        ErrLine(TCode::kCliProjectHasNoRecords, {"psd"});
      } else {
        ErrLine(TCode::kCliNoRecordChosen);
      }
      result.Status = 1;
      return;
    }
    options.Jobs = opt->Jobs;
    options.DefaultRate = project.General.SampRateDefault;
    if (!opt->Shard.empty()) {
      const auto [k, n] = *ParseShard(opt->Shard);
      options.ShardIndex = k - 1;
      options.ShardCount = n;
    }
    HeaderCache headers;
    options.Headers = &headers;
    std::vector<TFileRecord> records;
    std::vector<std::string> labels;
    for (int i : chosen) {
      records.push_back(project.Records[static_cast<size_t>(i)]);
      labels.push_back(
          Told(TCode::kPsdRecordLabel, {std::to_string(i + 1), records.back().Station}));
    }
    const std::string store = PsdStoreOf(project);
    InterruptScope interrupt(host);
    const TPsdRunReport report = RunPsd(records, labels, store, options, host);
    std::vector<std::string> errors;
    std::vector<std::string> error_codes;
    for (const TStatus& e : report.Errors) {
      ErrReason("psd", e);
      errors.push_back(Told(e));
      error_codes.emplace_back(CodeName(PsdReason(e).Code));
    }
    if (report.Stopped) ErrLine(TCode::kCliPsdStopped);
    if (opt->Json) {
      const nlohmann::ordered_json doc = {{"store", store},
                                          {"segments_computed", report.Computed},
                                          {"segments_kept", report.Kept},
                                          {"segments_skipped", report.Skipped},
                                          {"days_written", report.DaysWritten},
                                          {"days_unchanged", report.DaysUnchanged},
                                          {"written", report.Written},
                                          {"errors", errors},
                                          {"error_codes", error_codes},
                                          {"stopped", report.Stopped}};
      std::printf("%s\n", doc.dump(2).c_str());
    } else {
      for (const std::string& file : report.Written) std::printf("%s\n", file.c_str());
      ErrLine(TCode::kCliPsdSummary,
              {std::to_string(report.Computed), std::to_string(report.Kept),
               std::to_string(report.Skipped), std::to_string(report.DaysWritten),
               std::to_string(report.DaysUnchanged)});
    }
    result.Status = report.Errors.empty() && !report.Stopped ? 0 : 1;
  });
}

}  // namespace tarvik::cli

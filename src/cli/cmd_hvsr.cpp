// tarvik-cli hvsr PROJECT.tvp [--records SEL] [options] [--yes] [--json]: per-window H/V
// statistics of project records: Konno–Ohmachi smoothing, lognormal f0 statistics, window
// rejection and the SESAME criteria, written as ".hv", window CSV and JSON report beside the H/V
// results.

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/project_cli.h"
#include "common/ui_host.h"
#include "project/result_manifest.h"
#include "records/header_cache.h"
#include "spectral/hv_export.h"
#include "spectral/hvsr.h"

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

Json CriteriaSummary(const THvsrResult& r) {
  return Json{{"reliable", r.Sesame.ReliablePassed},
              {"reliable_of", 3},
              {"clear", r.Sesame.ClearPassed},
              {"clear_of", 6}};
}

}  // namespace

void RegisterHvsr(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string project;
    std::string records;
    std::string smoothing;
    std::optional<double> b;
    std::vector<double> grid;
    std::string horizontal;
    std::string rejection;
    std::optional<double> n;
    std::vector<double> band;
    bool yes = false;
    bool json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "hvsr",
      "Per-window H/V statistics of project records: f0 from the mean curve and from the "
      "windows, window rejection, SESAME criteria; writes .hv, window CSV and JSON report");
  cmd->add_option("PROJECT", opt->project, "project file (.tvp)")->required();
  cmd->add_option("--records", opt->records,
                  "records to analyse, e.g. 1,3-5 (default: the records checked for H/V)");
  const std::map<std::string, THvsrSmoothing> smoothing = {{"ko", THvsrSmoothing::kKonnoOhmachi},
                                                           {"none", THvsrSmoothing::kNone}};
  const std::map<std::string, THvsrHorizontal> horizontal = {
      {"arithmetic", THvsrHorizontal::kArithmetic},
      {"geometric", THvsrHorizontal::kGeometric},
      {"squared", THvsrHorizontal::kSquared}};
  const std::map<std::string, THvsrRejection> rejection = {{"fdwra", THvsrRejection::kFdwra},
                                                           {"none", THvsrRejection::kNone}};
  cmd->add_option("--smoothing", opt->smoothing, "Konno-Ohmachi (ko) or none")
      ->check(CLI::IsMember({"ko", "none"}));
  cmd->add_option("--b", opt->b, "Konno-Ohmachi bandwidth b")->check(CLI::Range(1e-9, 1000.0));
  cmd->add_option("--grid", opt->grid, "log-spaced grid: FMIN FMAX N")->expected(3);
  cmd->add_option("--horizontal", opt->horizontal,
                  "horizontal: arithmetic ((E+N)/2, as the ratio files), geometric, squared")
      ->check(CLI::IsMember({"arithmetic", "geometric", "squared"}));
  cmd->add_option("--rejection", opt->rejection, "window rejection: fdwra or none")
      ->check(CLI::IsMember({"fdwra", "none"}));
  cmd->add_option("--n", opt->n, "standard deviations kept by the rejection")
      ->check(CLI::Range(1e-9, 1e9));
  cmd->add_option("--band", opt->band, "band searched for the peak: FMIN FMAX")->expected(2);
  cmd->add_flag("--yes", opt->yes,
                "answer Yes to the question before replacing another project's results");
  cmd->add_flag("--json", opt->json, "print one JSON document");
  cmd->callback([opt, &result, smoothing, horizontal, rejection] {
    // Without --yes a question is asked on a terminal and answered No otherwise.
    ConsoleUiHost host(opt->yes ? ConsoleUiHost::Answer::kYes : ConsoleUiHost::Answer::kAsk);
    TProject project;
    if (!OpenProject(opt->project, project, host)) {
      result.status = 1;
      return;
    }
    THvsrSettings settings = project.Hvsr;
    if (!opt->smoothing.empty()) settings.Smoothing = smoothing.at(opt->smoothing);
    if (opt->b) settings.Bandwidth = *opt->b;
    if (opt->grid.size() == 3) {
      const double points = opt->grid[2];
      if (points != static_cast<int32_t>(points)) {
        std::fprintf(stderr, "hvsr: --grid: N must be a whole number, not %g\n", points);
        result.status = 2;
        return;
      }
      settings.GridFMin = opt->grid[0];
      settings.GridFMax = opt->grid[1];
      settings.GridPoints = static_cast<int32_t>(points);
    }
    if (!opt->horizontal.empty()) settings.Horizontal = horizontal.at(opt->horizontal);
    if (!opt->rejection.empty()) settings.Rejection = rejection.at(opt->rejection);
    if (opt->n) settings.RejectionN = *opt->n;
    if (opt->band.size() == 2) {
      settings.BandFMin = opt->band[0];
      settings.BandFMax = opt->band[1];
    }
    std::string why;
    if (!CheckHvsrSettings(settings, &why)) {
      std::fprintf(stderr, "hvsr: %s\n", why.c_str());
      result.status = 2;
      return;
    }

    const int count = static_cast<int>(project.Records.size());
    std::vector<int> chosen;
    if (!opt->records.empty()) {
      if (!ParseRecordSelection(opt->records, count, chosen, why)) {
        std::fprintf(stderr, "hvsr: --records: %s\n", why.c_str());
        result.status = 2;
        return;
      }
    } else {
      for (int i = 0; i < count; ++i) {
        if (project.Records[static_cast<size_t>(i)].ToProcessNakamura) chosen.push_back(i);
      }
      if (chosen.empty()) {
        std::fprintf(stderr, "hvsr: no record is checked for H/V; name them with --records\n");
        result.status = 1;
        return;
      }
    }

    const TResultFolders folders = ProjectResultFolders(project);
    TResultManifest manifest(folders.Results);
    const std::string owner = ProjectIdentity(project.FileName);
    std::vector<std::string> planned;
    for (int i : chosen) {
      const THvsrPaths paths = HvsrFilePaths(folders, project.Records[static_cast<size_t>(i)]);
      planned.insert(planned.end(), {paths.Hv, paths.Windows, paths.Report});
    }
    if (const std::string question = OtherProjectsQuestion(manifest, planned, owner);
        !question.empty() && !host.AskYesNo(question)) {
      std::fprintf(stderr, "hvsr: not run\n");
      result.status = 1;
      return;
    }
    // Ctrl-C stops the record in progress, which keeps the files it had.
    InterruptScope interrupt(host);
    // The records of a folder share its files: their headers are read once for the run.
    HeaderCache headers;
    Json records = Json::array();
    bool all_ok = true;
    for (int i : chosen) {
      if (host.StopRequested()) break;
      TFileRecord& record = project.Records[static_cast<size_t>(i)];
      THvsrResult analysis;
      const THvsrStatus status =
          AnalyseRecord(record, project.SettingsFor(record), project.General.SampRateDefault,
                        settings, host, analysis, &headers);
      if (status.Outcome == THvsrOutcome::kStopped || host.StopRequested()) break;
      Json item = {{"record", i + 1}, {"station", record.Station}};
      const std::string label = "record " + std::to_string(i + 1) + " (" + record.Station + ")";
      if (status.Outcome != THvsrOutcome::kAnalysed) {
        std::fprintf(stderr, "hvsr: %s: %s\n", label.c_str(), status.Message.c_str());
        item["ok"] = false;
        item["error"] = status.Message;
        records.push_back(std::move(item));
        all_ok = false;
        continue;
      }
      const THvsrPaths paths = HvsrFilePaths(folders, record);
      // A result without f0 is a failure: the files of an earlier good result stay.
      std::string message;
      const bool written = analysis.Ok && WriteHvsrFiles(paths, analysis, record, message);
      if (written) {
        for (const std::string& file : {paths.Hv, paths.Windows, paths.Report})
          manifest.Note(file, {owner, ManifestRecordText(i, record.Station), {}});
      } else if (!analysis.Ok) {
        std::error_code ec;
        message = analysis.Verdict + (std::filesystem::exists(paths.Hv, ec)
                                          ? "; its earlier files are left as they were"
                                          : "; nothing written");
      }
      if (!written) std::fprintf(stderr, "hvsr: %s: %s\n", label.c_str(), message.c_str());
      all_ok = all_ok && written;
      if (!opt->json) {
        std::printf("%s: %s\n", label.c_str(), analysis.Verdict.c_str());
        if (written) std::printf("  %s\n", paths.Hv.c_str());
        continue;
      }
      item["ok"] = analysis.Ok;
      item["verdict"] = analysis.Verdict;
      item["windows"] = {{"total", analysis.Curves.size()},
                         {"kept", analysis.Count(TWindowFate::kKept)}};
      item["f0_from_average"] = analysis.HasF0Mean
                                    ? Json{{"f0", analysis.F0Mean}, {"a0", analysis.A0Mean}}
                                    : Json(nullptr);
      item["f0_from_windows"] = analysis.F0Windows > 0 ? Json{{"median", analysis.F0Median},
                                                              {"sigma_ln", analysis.SigmaLnF0},
                                                              {"sigma_f", analysis.SigmaF}}
                                                       : Json(nullptr);
      item["sesame"] = CriteriaSummary(analysis);
      if (written) {
        item["files"] = {{"hv", paths.Hv}, {"windows", paths.Windows}, {"report", paths.Report}};
      } else {
        item["error"] = message;
      }
      records.push_back(std::move(item));
    }
    const bool stopped = host.StopRequested();
    if (stopped) {
      std::fprintf(stderr, "hvsr: stopped\n");
      all_ok = false;
    }
    if (opt->json)
      std::printf("%s\n", Json{{"records", records}, {"stopped", stopped}}.dump(2).c_str());
    result.status = all_ok ? 0 : 1;
  });
}

}  // namespace tarvik::cli

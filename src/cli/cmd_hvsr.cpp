// tarvik-cli hvsr PROJECT.tvp [--records SEL | --all] [options] [--every DURATION]
// [--azimuths STEP] [--jobs N] [--shard K/N] [--yes] [--json]: per-window H/V statistics of
// project records: Konno–Ohmachi smoothing, lognormal f0 statistics, window rejection, the
// SESAME criteria and the peaks of the mean curve, written as ".hv", window CSV and JSON report
// beside the H/V results; through time and by direction on request. The run itself is the
// driver's, as the window's is.

#include <cmath>
#include <cstdio>
#include <map>
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
#include "project/driver.h"
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

// "1h", "30m", "90s", "1h30m" or a number of seconds; nullopt for anything else or 0.
std::optional<double> ParseDuration(const std::string& text) {
  if (const std::optional<double> plain = ParseDouble(text))
    return *plain > 0.0 && std::isfinite(*plain) ? plain : std::nullopt;
  double total = 0.0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[end])) != 0 || text[end] == '.'))
      ++end;
    if (end == at || end >= text.size()) return std::nullopt;
    const std::optional<double> v = ParseDouble(text.substr(at, end - at));
    if (!v) return std::nullopt;
    const char unit = text[end];
    const double scale = unit == 'h' ? 3600.0 : unit == 'm' ? 60.0 : unit == 's' ? 1.0 : 0.0;
    if (scale == 0.0) return std::nullopt;
    total += *v * scale;
    at = end + 1;
  }
  if (!(total > 0.0 && std::isfinite(total))) return std::nullopt;
  return total;
}

// The reason without the station that most reasons begin with; the line names the record.
std::string WithoutStation(const std::string& text, const std::string& station) {
  const std::string own = station + ": ";
  return text.compare(0, own.size(), own) == 0 ? text.substr(own.size()) : text;
}

Json PeaksJson(const THvsrResult& r) {
  Json peaks = Json::array();
  for (const THvsrPeak& p : r.Peaks) {
    peaks.push_back({{"frequency", p.Frequency},
                     {"amplitude", p.Amplitude},
                     {"support", p.Support},
                     {"industrial", p.Industrial},
                     {"f0", p.Chosen}});
  }
  return peaks;
}

Json RecordJson(const THvsrRecordRun& run, const TFileRecord& record) {
  Json item = {{"record", run.Record + 1}, {"station", record.Station}};
  if (!run.Analysed) {
    item["ok"] = false;
    item["error"] = WithoutStation(Text(run.Error, Language()), record.Station);
    if (!run.Error.Ok()) item["error_code"] = std::string(CodeName(ReasonOf(run.Error).Code));
    return item;
  }
  const THvsrResult& r = run.Result;
  item["ok"] = r.Ok;
  item["verdict"] = r.Verdict;
  if (!r.Reason.Ok()) {
    item["reason"] = Told(r.Reason);
    item["reason_code"] = std::string(CodeName(r.Reason.Code));
  }
  item["windows"] = {{"total", r.Fate.size()}, {"kept", r.Count(TWindowFate::kKept)}};
  item["f0_from_average"] = r.HasF0Mean ? Json{{"f0", r.F0Mean}, {"a0", r.A0Mean}} : Json(nullptr);
  item["f0_from_windows"] =
      r.F0Windows > 0
          ? Json{{"median", r.F0Median}, {"sigma_ln", r.SigmaLnF0}, {"sigma_f", r.SigmaF}}
          : Json(nullptr);
  item["sesame"] = CriteriaSummary(r);
  item["peaks"] = PeaksJson(r);
  item["ambiguous"] = r.Ambiguous;
  item["industrial_lines"] = r.IndustrialLines;
  if (!run.Intervals.empty()) {
    Json list = Json::array();
    for (const THvsrInterval& i : run.Intervals) {
      list.push_back({{"start", FormatIso(i.Start)},
                      {"windows", i.Result.Fate.size()},
                      {"kept", i.Result.Count(TWindowFate::kKept)},
                      {"f0", i.Result.HasF0Mean ? Json(i.Result.F0Mean) : Json(nullptr)},
                      {"ok", i.Result.Ok}});
    }
    item["intervals"] = std::move(list);
  }
  if (!run.Azimuths.Directions.empty()) {
    Json list = Json::array();
    for (const THvsrAzimuth& d : run.Azimuths.Directions) {
      list.push_back({{"azimuth", d.Azimuth},
                      {"f0", d.Result.HasF0Mean ? Json(d.Result.F0Mean) : Json(nullptr)},
                      {"a0", d.Result.HasF0Mean ? Json(d.Result.A0Mean) : Json(nullptr)},
                      {"ok", d.Result.Ok}});
    }
    item["azimuths"] = {{"directions", std::move(list)},
                        {"f0_median", run.Azimuths.F0Median},
                        {"f0_sigma_ln", run.Azimuths.F0SigmaLn},
                        {"a0_median", run.Azimuths.A0Median},
                        {"a0_sigma_ln", run.Azimuths.A0SigmaLn}};
  }
  if (!run.Files.empty()) {
    item["files"] = {{"hv", run.Files[0]}, {"windows", run.Files[1]}, {"report", run.Files[2]}};
    for (size_t k = 3; k < run.Files.size(); ++k) {
      const std::string& f = run.Files[k];
      const size_t slash = f.find_last_of("/\\");
      const std::string name = f.substr(slash == std::string::npos ? 0 : slash + 1);
      const size_t under = name.rfind('_');
      item["files"][name.substr(under + 1)] = f;
    }
  } else {
    item["error"] = WithoutStation(Text(run.Error, Language()), record.Station);
  }
  return item;
}

}  // namespace

void RegisterHvsr(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Project;
    std::string Records;
    bool All = false;
    std::string Smoothing;
    std::optional<double> B;
    std::vector<double> Grid;
    std::string Horizontal;
    std::string Rejection;
    std::optional<double> N;
    std::vector<double> Band;
    std::string Every;
    std::optional<double> Azimuths;
    int Jobs = 1;
    std::string Shard;
    bool AssumeYes = false;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "hvsr",
      "Per-window H/V statistics of project records: f0 from the mean curve and from the "
      "windows, window rejection, SESAME criteria, the peaks of the mean curve; writes .hv, "
      "window CSV and JSON report, and on request the statistics through time or by direction");
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  CLI::Option* records =
      cmd->add_option("--records", opt->Records,
                      "records to analyse, e.g. 1,3-5 (default: the records checked for H/V)");
  cmd->add_flag("--all", opt->All, "every record of the project")->excludes(records);
  const std::map<std::string, THvsrSmoothing> smoothing = {{"ko", THvsrSmoothing::kKonnoOhmachi},
                                                           {"none", THvsrSmoothing::kNone}};
  const std::map<std::string, THvsrHorizontal> horizontal = {
      {"arithmetic", THvsrHorizontal::kArithmetic},
      {"geometric", THvsrHorizontal::kGeometric},
      {"squared", THvsrHorizontal::kSquared}};
  const std::map<std::string, THvsrRejection> rejection = {{"fdwra", THvsrRejection::kFdwra},
                                                           {"none", THvsrRejection::kNone}};
  cmd->add_option("--smoothing", opt->Smoothing, "Konno-Ohmachi (ko) or none")
      ->check(CLI::IsMember({"ko", "none"}));
  cmd->add_option("--b", opt->B, "Konno-Ohmachi bandwidth b")->check(CLI::Range(1e-9, 1000.0));
  cmd->add_option("--grid", opt->Grid, "log-spaced grid: FMIN FMAX N")->expected(3);
  cmd->add_option("--horizontal", opt->Horizontal,
                  "horizontal: arithmetic ((E+N)/2, as the ratio files), geometric, squared")
      ->check(CLI::IsMember({"arithmetic", "geometric", "squared"}));
  cmd->add_option("--rejection", opt->Rejection, "window rejection: fdwra or none")
      ->check(CLI::IsMember({"fdwra", "none"}));
  cmd->add_option("--n", opt->N, "standard deviations kept by the rejection")
      ->check(CLI::Range(1e-9, 1e9));
  cmd->add_option("--band", opt->Band, "band searched for the peak: FMIN FMAX")->expected(2);
  cmd->add_option("--every", opt->Every,
                  "also one result per interval of the selection, e.g. 1h, 30m, 600 (seconds); "
                  "writes STEM_time.csv and STEM_time.json (with the H/V spectrogram)");
  cmd->add_option("--azimuths", opt->Azimuths,
                  "also one result per azimuth 0..180 degrees by STEP, the horizontals rotated "
                  "from N (or 1) toward E (or 2); writes STEM_azimuths.csv and .json")
      ->check(CLI::Range(0.1, 180.0));
  cmd->add_option("--jobs", opt->Jobs, "records computed at the same time")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cmd->add_option("--shard", opt->Shard,
                  "K/N: only the chosen records whose number n has (n - 1) mod N = K - 1, so "
                  "that N runs together write the files of one run")
      ->check(ShardValidator());
  cmd->add_flag("--yes", opt->AssumeYes,
                "answer Yes to the question before replacing another project's results");
  cmd->add_flag("--json", opt->Json, "print one JSON document");
  cmd->callback([opt, &result, smoothing, horizontal, rejection] {
    // Without --yes a question is asked on a terminal and answered No otherwise.
    ConsoleUiHost host(opt->AssumeYes ? ConsoleUiHost::Answer::kYes : ConsoleUiHost::Answer::kAsk,
                       false, Language());
    TProject project;
    if (!OpenProject(opt->Project, project, host)) {
      result.Status = 1;
      return;
    }
    THvsrRunOptions hvsr;
    THvsrSettings& settings = hvsr.Settings;
    settings = project.Hvsr;
    if (!opt->Smoothing.empty()) settings.Smoothing = smoothing.at(opt->Smoothing);
    if (opt->B) settings.Bandwidth = *opt->B;
    if (opt->Grid.size() == 3) {
      const double points = opt->Grid[2];
      if (points != static_cast<int32_t>(points)) {
        ErrLine(TCode::kCliGridNotWhole, {Printed("%g", points)});
        result.Status = 2;
        return;
      }
      settings.GridFMin = opt->Grid[0];
      settings.GridFMax = opt->Grid[1];
      settings.GridPoints = static_cast<int32_t>(points);
    }
    if (!opt->Horizontal.empty()) settings.Horizontal = horizontal.at(opt->Horizontal);
    if (!opt->Rejection.empty()) settings.Rejection = rejection.at(opt->Rejection);
    if (opt->N) settings.RejectionN = *opt->N;
    if (opt->Band.size() == 2) {
      settings.BandFMin = opt->Band[0];
      settings.BandFMax = opt->Band[1];
    }
    if (const TStatus fault = HvsrSettingsFault(settings); !fault.Ok()) {
      ErrReason("hvsr", fault);
      result.Status = 2;
      return;
    }
    if (!opt->Every.empty()) {
      const std::optional<double> every = ParseDuration(opt->Every);
      if (!every) {
        ErrLine(TCode::kCliNotDuration, {opt->Every});
        result.Status = 2;
        return;
      }
      hvsr.EverySeconds = *every;
    }
    if (opt->Azimuths) hvsr.AzimuthStep = *opt->Azimuths;

    const int count = static_cast<int>(project.Records.size());
    if (!opt->Records.empty()) {
      TStatus why;
      if (!ParseRecordSelection(opt->Records, count, hvsr.Records, why)) {
        ErrReason("hvsr: --records", why);
        result.Status = 2;
        return;
      }
    } else if (opt->All) {
      for (int i = 0; i < count; ++i) hvsr.Records.push_back(i);
      if (hvsr.Records.empty()) {
        ErrLine(TCode::kCliProjectHasNoRecords, {"hvsr"});
        result.Status = 1;
        return;
      }
    }
    TRunOptions options;
    options.Jobs = opt->Jobs;
    if (!opt->Shard.empty()) {
      const auto [k, n] = *ParseShard(opt->Shard);
      options.ShardIndex = k - 1;
      options.ShardCount = n;
    }
    const TResultFolders folders = ProjectResultFolders(project);
    // Ctrl-C stops the records in progress, which keep the files they had.
    InterruptScope interrupt(host);
    const THvsrRunReport report = RunHvsr(project, folders, host, options, hvsr);
    if (report.Run.NothingChecked) {
      ErrLine(TCode::kCliNameTheRecords);
      result.Status = 1;
      return;
    }
    if (!report.Run.Ran) {
      ErrLine(TCode::kCliNotRun, {"hvsr"});
      result.Status = 1;
      return;
    }
    Json records = Json::array();
    bool all_ok = true;
    for (const THvsrRecordRun& run : report.Records) {
      if (run.Record < 0 || run.Stopped) continue;
      const TFileRecord& record = project.Records[static_cast<size_t>(run.Record)];
      const std::string number = std::to_string(run.Record + 1) + " (" + record.Station + ")";
      const std::string label = Told(TCode::kCliScanRecord, {number});
      const bool written = !run.Files.empty();
      all_ok = all_ok && written;
      if (!written)
        ErrLine(TCode::kCliRecordSays,
                {"hvsr", number, WithoutStation(Text(run.Error, Language()), record.Station)});
      if (opt->Json) {
        records.push_back(RecordJson(run, record));
      } else if (run.Analysed) {
        const THvsrResult& r = run.Result;
        const std::string verdict = !r.Reason.Ok()   ? Told(r.Reason)
                                    : r.Finding.Ok() ? r.Verdict
                                                     : Told(r.Finding);
        std::printf("%s: %s\n", label.c_str(), verdict.c_str());
        if (written) std::printf("  %s\n", run.Files[0].c_str());
      }
    }
    const bool stopped = report.Run.Cancelled;
    if (stopped) {
      ErrLine(TCode::kCliStopped, {"hvsr"});
      all_ok = false;
    }
    if (opt->Json)
      std::printf("%s\n", Json{{"records", records}, {"stopped", stopped}}.dump(2).c_str());
    result.Status = all_ok ? 0 : 1;
  });
}

}  // namespace tarvik::cli

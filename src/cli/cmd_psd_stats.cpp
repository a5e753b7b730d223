// tarvik-cli psd-stats STORE|PROJECT [--channel NET.STA.LOC.CHA] [--from T] [--to T] [--hours H]
// [--weekdays D] [--months M] [--tz ZONE] [--percentiles P...] [--json] [-o OUT]: statistics of
// the stored segment PSDs of one channel over a choice of segments, as CSV or one JSON document.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_guard.h"
#include "cli/project_cli.h"
#include "common/datetime.h"
#include "common/replace_file.h"
#include "common/ui_host.h"
#include "spectral/psd_stats.h"

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

// "50", "2.5": the key of a percentile.
std::string PercentileKey(double p) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", p);
  return text;
}

Json Numbers(const std::vector<double>& values) {
  Json out = Json::array();
  for (double v : values) out.push_back(std::isfinite(v) ? Json(v) : Json(nullptr));
  return out;
}

std::string Cell(double v) {
  return std::isfinite(v) ? FormatNumber(v) : std::string();
}

std::string StatsCsv(const TPsdStats& st) {
  std::string out = "period_s,values,mean_db,mode_db";
  for (double p : st.Percentiles) out += ",p" + PercentileKey(p) + "_db";
  out += ",above_nhnm,below_nlnm,nhnm_db,nlnm_db\n";
  for (size_t j = 0; j < st.Periods.size(); ++j) {
    out += FormatNumber(st.Periods[j]) + "," + std::to_string(st.Counts[j]) + "," +
           Cell(st.Mean[j]) + "," + Cell(st.Mode[j]);
    for (const auto& values : st.PercentileValues) out += "," + Cell(values[j]);
    out += "," + Cell(st.AboveHigh[j]) + "," + Cell(st.BelowLow[j]) + "," +
           Cell(HighNoiseModelDb(st.Periods[j])) + "," + Cell(LowNoiseModelDb(st.Periods[j])) +
           "\n";
  }
  return out;
}

}  // namespace

void RegisterPsdStats(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Input;
    std::string Channel;
    std::string From, To, Hours, Weekdays, Months, Tz;
    std::vector<double> Percentiles = {5, 10, 50, 90, 95};
    bool Json = false;
    std::string Output;
    bool Force = false;
    bool WithSegments = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "psd-stats",
      "Statistics of stored segment PSDs of one channel: density in 1 dB bins, mode, mean, "
      "exact percentiles, shares above the NHNM and below the NLNM, over a choice of segments");
  cmd->add_option("STORE", opt->Input,
                  "the PSD store folder (or one channel's folder in it), or a project file whose "
                  "results hold it")
      ->required();
  cmd->add_option("--channel", opt->Channel, "NET.STA.LOC.CHA (needed when the store has several)");
  cmd->add_option("--from", opt->From, "segments starting at or after YYYY-MM-DD[THH:MM[:SS]]");
  cmd->add_option("--to", opt->To, "segments starting before YYYY-MM-DD[THH:MM[:SS]]");
  cmd->add_option("--hours", opt->Hours, "hours of the day, e.g. 22-05 (22:00 to 05:00)");
  cmd->add_option("--weekdays", opt->Weekdays, "days of the week, 1 Monday .. 7 Sunday, e.g. 1-5");
  cmd->add_option("--months", opt->Months, "months, e.g. 6-8 or 11-2");
  cmd->add_option("--tz", opt->Tz,
                  "time zone of --from, --to, --hours, --weekdays and --months, e.g. "
                  "Europe/Moscow (default UTC)");
  cmd->add_option("--percentiles", opt->Percentiles, "percentiles to give (default 5 10 50 90 95)")
      ->check(CLI::Range(0.0, 100.0));
  cmd->add_flag("--json", opt->Json, "print one JSON document");
  cmd->add_option("-o,--output", opt->Output,
                  "write the statistics to OUT (.json: the JSON "
                  "document, otherwise CSV)");
  cmd->add_flag("--with-segments", opt->WithSegments,
                "add every chosen segment's start and levels to the JSON document (what plot "
                "draws a spectrogram or a band's level over time from)");
  AddForceFlag(cmd, opt->Force);
  cmd->callback([opt, &result] {
    TStatus why;
    TPsdSelection selection;
    TPsdZone zone;
    if (!zone.Open(opt->Tz, &why)) {
      ErrReason("psd-stats: --tz", why);
      result.Status = 2;
      return;
    }
    selection.Zone = opt->Tz;
    const auto parse_time = [&](const std::string& text, const char* name,
                                std::optional<double>& out) {
      if (text.empty()) return true;
      out = zone.Parse(text);
      if (!out) {
        ErrLine(TCode::kCliNotTime, {name, text});
      }
      return out.has_value();
    };
    if (!parse_time(opt->From, "--from", selection.From) ||
        !parse_time(opt->To, "--to", selection.To) ||
        (!opt->Hours.empty() && !ParseHours(opt->Hours, selection.Hours, &why)) ||
        (!opt->Weekdays.empty() && !ParseWeekdays(opt->Weekdays, selection.Weekdays, &why)) ||
        (!opt->Months.empty() && !ParseMonths(opt->Months, selection.Months, &why))) {
      if (!why.Ok()) ErrReason("psd-stats", why);
      result.Status = 2;
      return;
    }

    // The store: a project's, a store folder, or one channel's folder.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path store = opt->Input;
    if (fs::is_regular_file(store, ec)) {
      ConsoleUiHost host(ConsoleUiHost::Answer::kNo, false, Language());
      TProject project;
      if (!OpenProject(opt->Input, project, host)) {
        result.Status = 1;
        return;
      }
      store = PsdStoreOf(project);
    }
    if (!fs::is_directory(store, ec)) {
      ErrLine(TCode::kCliNoPsdStore, {store.string()});
      result.Status = 1;
      return;
    }
    fs::path folder;
    std::string channel = opt->Channel;
    const std::vector<std::string> channels = PsdStoreChannels(store);
    if (channels.empty() && !PsdStoreChannels(store.parent_path()).empty() && channel.empty()) {
      folder = store;  // one channel's folder
      channel = store.filename().string();
    } else if (!channel.empty()) {
      folder = store / PsdChannelFolder(channel);
      if (!fs::is_directory(folder, ec)) {
        std::string list;
        for (const std::string& c : channels) list += (list.empty() ? "" : ", ") + c;
        if (list.empty()) {
          ErrLine(TCode::kCliChannelNotStored, {channel, store.string()});
        } else {
          ErrLine(TCode::kCliChannelNotStoredHolds, {channel, store.string(), list});
        }
        result.Status = 1;
        return;
      }
    } else if (channels.size() == 1) {
      channel = channels[0];
      folder = store / channel;
    } else {
      std::string list;
      for (const std::string& c : channels) list += (list.empty() ? "" : ", ") + c;
      if (channels.empty()) {
        ErrLine(TCode::kCliStoreHoldsNoPsd, {store.string()});
      } else {
        ErrLine(TCode::kCliNameTheChannel, {store.string(), list});
      }
      result.Status = 1;
      return;
    }

    TPsdChannelData data = LoadPsdChannel(folder, selection.From, selection.To);
    // The result is the same in either language: its errors are kept in English, beside their
    // codes; stderr tells them in the run's language.
    std::vector<std::string> errors;
    std::vector<std::string> error_codes;
    for (const TStatus& e : data.Errors) {
      ErrReason("psd-stats", e);
      errors.push_back(Text(e, TLanguage::kEnglish));
      error_codes.emplace_back(CodeName(e.Code));
    }
    std::vector<const TPsdSegment*> chosen;
    for (const TPsdSegment& s : data.Segments) {
      if (PsdSelected(selection, zone, s.Start)) chosen.push_back(&s);
    }
    if (chosen.empty()) {
      ErrLine(TCode::kCliNoSegmentMatches, {channel});
      result.Status = 1;
      return;
    }
    const TPsdStats st = ComputePsdStats(data.Header.Periods, chosen, opt->Percentiles);

    Json percentiles = Json::object();
    for (size_t q = 0; q < st.Percentiles.size(); ++q) {
      percentiles[PercentileKey(st.Percentiles[q])] = Numbers(st.PercentileValues[q]);
    }
    std::vector<double> high, low;
    for (double t : st.Periods) {
      high.push_back(HighNoiseModelDb(t));
      low.push_back(LowNoiseModelDb(t));
    }
    const auto text_or_null = [](const std::string& s) {
      return s.empty() ? Json(nullptr) : Json(s);
    };
    Json density = Json::array();
    for (const auto& row : st.Density) density.push_back(row);
    Json doc = {
        {"channel", channel},
        {"store", store.string()},
        {"selection",
         {{"from", text_or_null(opt->From)},
          {"to", text_or_null(opt->To)},
          {"hours", text_or_null(opt->Hours)},
          {"weekdays", text_or_null(opt->Weekdays)},
          {"months", text_or_null(opt->Months)},
          {"tz", opt->Tz.empty() ? "UTC" : opt->Tz}}},
        {"segments", st.Segments},
        {"segments_stored", data.Segments.size()},
        {"segments_left_out_for_gaps", data.Skipped},
        {"first_start", FormatIso(UnixToDateTime(chosen.front()->Start))},
        {"last_start", FormatIso(UnixToDateTime(chosen.back()->Start))},
        {"settings",
         {{"segment_s", data.Header.SegmentSeconds},
          {"overlap", data.Header.Overlap},
          {"rate_hz", data.Header.Rate},
          {"nfft", data.Header.Nfft}}},
        {"unit", "dB re 1 (m/s^2)^2/Hz"},
        {"periods", st.Periods},
        {"percentiles", percentiles},
        {"mode", Numbers(st.Mode)},
        {"mean", Numbers(st.Mean)},
        {"values", st.Counts},
        {"above_nhnm", Numbers(st.AboveHigh)},
        {"below_nlnm", Numbers(st.BelowLow)},
        {"nhnm", Numbers(high)},
        {"nlnm", Numbers(low)},
        {"density",
         {{"db_first", st.DbFirst}, {"db_step", 1}, {"bins", st.DbBins}, {"shares", density}}},
        {"errors", errors}};
    // Only when there are errors, so that a result without any keeps its earlier form.
    if (!error_codes.empty()) doc["error_codes"] = error_codes;
    if (opt->WithSegments) {
      // Per segment its start (Unix seconds) and its levels over the periods.
      Json starts = Json::array(), levels = Json::array();
      for (const TPsdSegment* s : chosen) {
        starts.push_back(s->Start);
        std::vector<double> row(s->Grid.begin(), s->Grid.end());
        levels.push_back(Numbers(row));
      }
      doc["step_s"] = data.Header.SegmentSeconds * (1.0 - data.Header.Overlap);
      doc["segment_starts"] = std::move(starts);
      doc["segment_levels"] = std::move(levels);
    }

    if (!opt->Output.empty()) {
      if (!MayWriteOutput("psd-stats", opt->Output, {opt->Input}, opt->Force, result)) return;
      const bool as_json = fs::path(opt->Output).extension() == ".json";
      TStatus not_written;
      if (!ReplaceFileContents(opt->Output, as_json ? doc.dump(1) + "\n" : StatsCsv(st),
                               not_written)) {
        ErrReason("psd-stats", not_written);
        result.Status = 1;
        return;
      }
    }
    if (opt->Json) {
      std::printf("%s\n", doc.dump(2).c_str());
    } else if (opt->Output.empty()) {
      std::fputs(StatsCsv(st).c_str(), stdout);
    } else {
      ErrLine(TCode::kCliStatsSegments, {opt->Output, std::to_string(st.Segments)});
    }
    result.Status = 0;
  });
}

}  // namespace tarvik::cli

// tarvik-cli settings PROJECT.tvp [--events] [KEY=VALUE ...] [--defaults]: prints or sets the
// general settings and one processing-settings set by the project file's own keys, each value
// checked against the range and step of the control that edits it.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/edit_session.h"
#include "cli/project_cli.h"
#include "project/settings_keys.h"

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

Json Values(const TProject& p, int set) {
  Json j = Json::object();
  for (const TSettingKey& key : SettingKeys())
    j[SettingKeyName(key, set)] = SettingValueText(p, set, key);
  return j;
}

}  // namespace

void RegisterSettings(CLI::App& app, CommandResult& result) {
  CLI::App* cmd = app.add_subcommand(
      "settings",
      "Print or set the general settings and the processing settings of microseism records (or "
      "of event records with --events), by the project file's keys");
  auto opt = AddEditOptions(cmd, SelectionUse::kNone);
  struct Options {
    bool Events = false;
    bool Defaults = false;
    std::vector<std::string> Pairs;
  };
  auto o = std::make_shared<Options>();
  cmd->add_flag("--events", o->Events, "the settings of event records ([EVENTSETTINGS])");
  cmd->add_flag("--defaults", o->Defaults,
                "restore the set's defaults (\"Восстановить по умолчанию\") before any KEY=VALUE");
  cmd->add_option(
      "KEY=VALUE", o->Pairs,
      "SilenceDur=60 SpectrumType=1 WindowType=5 B=8 NoiseFiletr=1 MaxSpan=100 "
      "ResultDir=results SampRateDefault=100 RecognizeComponent=0, and the H/V statistics "
      "keys Smoothing Bandwidth GridFMin GridFMax GridPoints Horizontal Rejection "
      "RejectionN BandFMin BandFMax ...");
  cmd->callback([opt, o, &result] {
    EditSession s(*opt, "settings", result);
    // Every pair is checked before the project is touched.
    for (const std::string& pair : o->Pairs) {
      if (pair.find('=') == std::string::npos) {
        s.Usage(MakeStatus(TCode::kCliNotKeyValue, {pair}));
        return;
      }
    }
    if (!s.Open(SelectionUse::kNone, !o->Pairs.empty() || o->Defaults)) return;
    const int set = o->Events ? kEventSet : kMicroseismSet;
    TProject& p = s.Project();
    if (o->Pairs.empty() && !o->Defaults) {
      const Json values = Values(p, set);
      const TWindowLength w = WindowLengthUsed(p.Settings[set], p.WorkingRate);
      if (opt->Json) {
        Json j{{"project", p.FileName},
               {"set", o->Events ? "event" : "microseism"},
               {"settings", values},
               {"segments",
                {{"rate", p.WorkingRate},
                 {"samples", w.Samples},
                 {"seconds", w.Seconds},
                 {"transform", w.Transform},
                 {"error", w.Error.Ok() ? std::string() : Told(w.Error.Code, w.Error.Args)}}}};
        if (!w.Error.Ok()) j["segments"]["code"] = std::string(CodeName(w.Error.Code));
        std::printf("%s\n",
                    j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
      } else {
        for (const auto& [key, value] : values.items())
          std::printf("%s=%s\n", key.c_str(), value.get<std::string>().c_str());
        // At the rate the settings page derives it with: the first record's, or SampRateDefault.
        OutPrintf("segments of %s\n", SegmentsText(p.Settings[set], p.WorkingRate).c_str());
      }
      result.Status = 0;
      return;
    }
    if (o->Defaults) RestoreSettingDefaults(p, set);
    for (const std::string& pair : o->Pairs) {
      const size_t eq = pair.find('=');
      TStatus error;
      if (!ApplySetting(p, set, pair.substr(0, eq), pair.substr(eq + 1), &error)) {
        s.Usage(error);
        return;
      }
    }
    // Checked once every pair is in: the corners may be given in either order.
    if (const TStatus why = FilterPairProblem(p.Settings[set], set); !why.Ok()) {
      s.Usage(why);
      return;
    }
    if (const TStatus why = HvsrSettingsProblem(p); !why.Ok()) {
      s.Usage(why);
      return;
    }
    const Json before = Values(s.Before(), set);
    const Json after = Values(p, set);
    for (const auto& [key, value] : after.items()) {
      const std::string from = before[key].get<std::string>();
      const std::string to = value.get<std::string>();
      if (from == to) continue;
      s.Change(key + " " + from + " -> " + to, Json{{"key", key}, {"from", from}, {"to", to}});
    }
    s.Finish();
    if (result.Status == 0 && !opt->Json)
      OutPrintf("segments of %s\n", SegmentsText(p.Settings[set], p.WorkingRate).c_str());
  });
}

}  // namespace tarvik::cli

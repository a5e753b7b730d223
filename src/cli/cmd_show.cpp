// tarvik-cli show PROJECT.tvp [--json]: the records, their channels, the entries of both
// processing lists with what would stop a run, and both settings sets.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_output.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/project_cli.h"
#include "common/ui_host.h"
#include "project/bin_ini_file.h"
#include "project/driver.h"
#include "project/settings_keys.h"

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSetNames[kSettingsSetCount] = {"microseism", "event"};

Json SettingsJson(const TSpectrumSettings& s) {
  return Json{{"UseFFT", s.UseFFT},
              {"SpectrumType", static_cast<int32_t>(s.SpectrumType)},
              {"EstimationType", static_cast<int32_t>(s.EstimationType)},
              {"SilenceDur", s.SilenceDur},
              {"NoiseDur", s.NoiseDur},
              {"DanielWin", s.DanielWin},
              {"WindowType", s.WindowType},
              {"B", s.B},
              {"EdgeEffect", s.EdgeEffect},
              {"FMin", s.FMin},
              {"FMax", s.FMax},
              {"EdgeOrder", s.EdgeOrder},
              {"UnitOut", s.UnitOut},
              {"NoiseFilter", s.NoiseFilter},
              {"NoiseFMin", s.NoiseFMin},
              {"NoiseFMax", s.NoiseFMax},
              {"NoiseOrder", s.NoiseOrder}};
}

// The segments a set's spectra are computed with at rate: seconds and samples, as the
// calculation derives them (SilenceDur is brought to a power of two samples).
Json WindowJson(const TSpectrumSettings& s, double rate) {
  const TWindowLength w = WindowLengthUsed(s, rate);
  if (!w.Error.Ok()) {
    return Json{{"rate", rate},
                {"error", Told(w.Error.Code, w.Error.Args)},
                {"code", std::string(CodeName(w.Error.Code))}};
  }
  return Json{{"rate", rate},
              {"samples", w.Samples},
              {"seconds", w.Seconds},
              {"transform", w.Transform},
              {"differs_from_SilenceDur", w.Rounded}};
}

// The message a run shows for a list's first-problem mark (the list must have one).
TStatus ProblemStatus(const TRecordListModel& list) {
  return MakeStatus(TCode::kResponsesNotSet, {list.Entries[static_cast<size_t>(list.Problem - 1)]});
}

Json ProjectJson(const TProject& p, const TResultFolders& folders) {
  Json j;
  j["project"] = p.FileName;
  j["version"] = p.Version;
  j["general"] = Json{
      {"ResultDir", p.General.ResultDir},   {"results", folders.Results},
      {"DataFormat", p.General.DataFormat}, {"RecognizeComponent", p.General.RecognizeComponent},
      {"MaxSpan", p.General.MaxSpan},       {"SampRateDefault", p.General.SampRateDefault}};
  Json records = Json::array();
  for (size_t i = 0; i < p.Records.size(); ++i) {
    const TFileRecord& r = p.Records[i];
    Json channels = Json::array();
    for (int c = 0; c < r.ChannelCount() && c < kMaxChannels; ++c) {
      channels.push_back(Json{{"number", c + 1},
                              {"Channel", r.Channels[c].Channel},
                              {"Axis", ComponentNumber(r.Channels[c].Axis)},
                              {"component", std::string(1, ComponentLetter(r.Channels[c].Axis))},
                              {"ChanSelected", r.Channels[c].Selected},
                              {"Level", r.Channels[c].Level},
                              {"ADCCoef", r.Channels[c].ADCCoef},
                              {"SensorResp", r.Channels[c].SensorResp},
                              {"AmplifierResp", r.Channels[c].AmplifierResp},
                              {"ChannelResp", r.Channels[c].ChannelResp}});
    }
    records.push_back(Json{{"number", i + 1},
                           {"entry", PrimaryEntryText(r)},
                           {"File", r.File},
                           {"Station", r.Station},
                           {"SampRate", r.SampRate},
                           {"Start", FormatIso(r.Start)},
                           {"Finish", FormatIso(r.Finish)},
                           {"SelectStart", FormatIso(r.SelectStart)},
                           {"SelectFinish", FormatIso(r.SelectFinish)},
                           {"IsEvent", r.IsEvent},
                           {"ToProcess", r.ToProcess},
                           {"ToProcessNakamura", r.ToProcessNakamura},
                           {"SelIndex", r.SelIndex},
                           {"SelNakIndex", r.SelNakIndex},
                           {"incomplete", IsIncomplete(r)},
                           {"spectrum_file", PrimaryResultPath(p, folders, r)},
                           {"window", WindowJson(p.SettingsFor(r), r.SampRate)},
                           {"ratio_file", RatioFilePath(folders, r)},
                           {"channels", channels}});
  }
  j["records"] = records;
  // What would stop a run: the first-problem marks of the two record lists.
  const TRecordListModel prim = BuildPrimaryList(p);
  const TRecordListModel hv = BuildHVList(p, folders);
  for (size_t i = 0; i < p.Records.size(); ++i) j["records"][i]["hv_entry"] = hv.Entries[i];
  j["primary_list"] =
      Json{{"problem", prim.Problem},
           {"message", prim.Problem > 0 ? Text(ProblemStatus(prim), Language()) : ""},
           {"missing", prim.Hint}};
  j["hv_list"] = Json{{"problem", hv.Problem},
                      {"message", MissingAmplitudeSpectrumText(hv, Language())},
                      {"hint", hv.Hint}};
  if (prim.Problem > 0) j["primary_list"]["code"] = std::string(CodeName(ProblemStatus(prim).Code));
  if (hv.Problem > 0)
    j["hv_list"]["code"] = std::string(CodeName(MissingAmplitudeSpectrum(hv).Code));
  Json sets = Json::object();
  for (int s = 0; s < kSettingsSetCount; ++s) {
    sets[kSetNames[s]] = SettingsJson(p.Settings[s]);
    // At the rate the settings page derives it with.
    sets[kSetNames[s]]["window"] = WindowJson(p.Settings[s], p.WorkingRate);
  }
  j["settings"] = sets;
  return j;
}

void PrintText(const TProject& p, const TResultFolders& folders) {
  OutLine(TCode::kCliShowProject, {p.FileName, std::to_string(p.Version)});
  OutLine(TCode::kCliShowResults, {folders.Results});
  OutLine(p.General.RecognizeComponent ? TCode::kCliShowGeneralOn : TCode::kCliShowGeneralOff,
          {std::to_string(p.General.DataFormat), std::to_string(p.General.MaxSpan),
           FormatNumber(p.General.SampRateDefault)});
  const TRecordListModel prim = BuildPrimaryList(p);
  const TRecordListModel hv = BuildHVList(p, folders);
  if (prim.Problem > 0) {
    // The list's hint is the window's Russian; the record's missing responses are told again
    // in the run's language.
    const TFileRecord& problem = p.Records[static_cast<size_t>(prim.Problem - 1)];
    OutLine(TCode::kCliSpectraRun, {ProblemStatus(prim), MissingResponses(problem)});
  } else {
    OutLine(TCode::kCliSpectraRunReady);
  }
  if (hv.Problem > 0) {
    OutLine(TCode::kCliHvRun, {MissingAmplitudeSpectrumText(hv, Language()),
                               AmplitudeSpectraHint(p, hv.Problem - 1)});
  } else {
    OutLine(TCode::kCliHvRunReady);
  }
  for (size_t i = 0; i < p.Records.size(); ++i) {
    const TFileRecord& r = p.Records[i];
    std::string heading = std::to_string(i + 1) + ". " + PrimaryEntryText(r, Language());
    if (r.ToProcess) heading += Told(TCode::kCliMarkSpectra);
    if (r.ToProcessNakamura) heading += Told(TCode::kCliMarkHv);
    if (IsIncomplete(r)) heading += Told(TCode::kCliResponsesIncomplete);
    std::printf("\n%s\n", heading.c_str());
    std::string entry = Told(TCode::kCliHvEntry, {HVEntryText(r, Language())});
    if (prim.Problem == static_cast<int>(i) + 1) entry += Told(TCode::kCliStopsSpectraRun);
    if (hv.Problem == static_cast<int>(i) + 1) entry += Told(TCode::kCliStopsHvRun);
    std::printf("%s\n", entry.c_str());
    OutLine(TCode::kCliRecordFile,
            {r.File, FormatNumber(r.SampRate), FormatIso(r.Start), FormatIso(r.Finish),
             FormatIso(r.SelectStart), FormatIso(r.SelectFinish)});
    std::printf("   %s\n",
                Told(TCode::kCliSegmentsOf, {SegmentsText(p.SettingsFor(r), r.SampRate)}).c_str());
    for (int c = 0; c < r.ChannelCount() && c < kMaxChannels; ++c) {
      const TRecordChannel& channel = r.Channels[c];
      std::string line =
          Told(TCode::kCliChannelFields,
               {Printed("%2d", c + 1), Printed("%-7s", channel.Channel.c_str()),
                std::string(1, ComponentLetter(channel.Axis)), channel.Selected ? "+" : "-",
                std::to_string(channel.Level), FormatNumber(channel.ADCCoef)});
      if (!channel.ChannelResp.empty())
        line += Told(TCode::kCliChannelResponse, {channel.ChannelResp});
      if (!channel.SensorResp.empty())
        line += Told(TCode::kCliSensorResponse, {channel.SensorResp});
      if (!channel.AmplifierResp.empty())
        line += Told(TCode::kCliAmplifierResponse, {channel.AmplifierResp});
      std::printf("%s\n", line.c_str());
    }
  }
  for (int s = 0; s < kSettingsSetCount; ++s) {
    std::fputs(Told(s == 0 ? TCode::kCliMicroseismSettings : TCode::kCliEventSettings).c_str(),
               stdout);
    const Json settings = SettingsJson(p.Settings[s]);
    for (const auto& [key, value] : settings.items())
      std::printf(" %s=%s", key.c_str(), value.dump().c_str());
    std::printf("\n   %s\n",
                Told(TCode::kCliSegmentsOf, {SegmentsText(p.Settings[s], p.WorkingRate)}).c_str());
  }
}

}  // namespace

void RegisterShow(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string Project;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("show", "Show a project's records, channels and settings");
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  cmd->add_flag("--json", opt->Json, "one JSON object");
  cmd->callback([opt, &result] {
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    TProject project;
    if (!OpenProject(opt->Project, project, host)) {
      result.Status = 1;
      return;
    }
    const TResultFolders folders = ProjectResultFolders(project);
    if (opt->Json) {
      // Texts read from a project may hold bytes that are not UTF-8; they must not stop the
      // output.
      std::printf("%s\n", ProjectJson(project, folders)
                              .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                              .c_str());
    } else {
      PrintText(project, folders);
    }
    result.Status = 0;
  });
}

}  // namespace tarvik::cli

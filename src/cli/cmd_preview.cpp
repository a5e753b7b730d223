// tarvik-cli preview PROJECT.tvp --record N -o OUT.png [--width W --height H] [--json]: the
// waveform preview of a record drawn into a PNG file as the preview window paints it, with the
// silence label; with --json also the span, the quiet and disturbed intervals and the levels.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_guard.h"
#include "cli/project_cli.h"
#include "common/datetime.h"
#include "common/replace_file.h"
#include "common/ui_host.h"
#include "viewers/preview_model.h"
#include "viewers/preview_picture.h"

#ifdef TARVIK_WITH_GUI
#include <QImage>
#include <QString>

#include "viewers/gui/offscreen_app.h"
#include "viewers/gui/preview_painter.h"
#endif

namespace tarvik::cli {

namespace {

using Json = nlohmann::ordered_json;

struct Options {
  std::string Project;
  int Record = 0;
  std::string Out;
  int Width = 1200;
  int Height = 600;
  bool Force = false;
  bool Json = false;
};

#ifdef TARVIK_WITH_GUI
Json Interval(const TPreviewModel& m, int64_t first, int64_t last) {
  return Json{{"first", first},
              {"last", last},
              {"start", FormatIso(m.TimeOfIndex(static_cast<double>(first)))},
              {"finish", FormatIso(m.TimeOfIndex(static_cast<double>(last)))}};
}

Json Intervals(const TPreviewModel& m, const TRecordRanges& ranges) {
  Json list = Json::array();
  for (const auto& [a, b] : ranges) list.push_back(Interval(m, a, b));
  return list;
}

Json PreviewJson(const Options& opt, const TPreviewModel& m) {
  const TFileRecord& r = m.Record();
  const auto [first, last] = m.Span();
  Json channels = Json::array();
  for (int c = 0; c < r.ChannelCount() && c < kMaxChannels; ++c) {
    channels.push_back(Json{{"number", c + 1},
                            {"Channel", r.Channels[c].Channel},
                            {"ChanSelected", r.Channels[c].Selected},
                            {"Level", r.Channels[c].Level}});
  }
  return Json{{"project", opt.Project},
              {"record", opt.Record},
              {"Station", r.Station},
              {"File", r.File},
              {"image", opt.Out},
              {"width", opt.Width},
              {"height", opt.Height},
              {"SampRate", r.SampRate},
              {"SampleCount", r.SampleCount},
              {"Start", FormatIso(r.Start)},
              {"Finish", FormatIso(r.Finish)},
              {"segment_length", m.SegmentLength()},
              {"gap", m.Gap()},
              {"span", first <= last ? Interval(m, first, last) : Json()},
              {"quiet_samples", m.QuietSamples()},
              {"label", m.SilenceLabel()},
              {"quiet", Intervals(m, m.QuietIntervals())},
              {"disturbed", Intervals(m, m.DisturbedIntervals())},
              {"gaps", Intervals(m, m.GapIntervals())},
              {"channels", channels}};
}

void Run(const Options& opt, CommandResult& result) {
  ConsoleUiHost host(ConsoleUiHost::Answer::kNo, opt.Json, Language());
  TProject project;
  if (!OpenProject(opt.Project, project, host)) {
    result.Status = 1;
    return;
  }
  const int count = static_cast<int>(project.Records.size());
  if (opt.Record > count) {
    ErrLine(TCode::kCliNoSuchRecord,
            {"preview", std::to_string(opt.Record), std::to_string(count)});
    result.Status = 2;
    return;
  }
  const TFileRecord& record = project.Records[static_cast<size_t>(opt.Record - 1)];
  if (!MayWriteOutput("preview", opt.Out, {opt.Project, record.File}, opt.Force, result)) return;
  TPreviewOptions options;
  options.Settings = project.SettingsFor(record);
  options.DefaultRate = project.General.SampRateDefault;
  TPreviewModel model;
  if (!model.OpenRecord(record, options, host)) {
    result.Status = 1;
    return;
  }
  model.SetArea(opt.Width, opt.Height);
  gui::OffscreenApplication app;
  const QImage image = gui::RenderPreview(BuildPreviewPicture(model));
  TFileReplacement replacement{std::filesystem::path(opt.Out)};
  std::string ignored;
  if (!image.save(QString::fromStdString(replacement.Temporary().string()), "PNG") ||
      !replacement.Flush(ignored) || !replacement.Commit(ignored)) {
    ErrLine(TCode::kCliImageNotWritten, {opt.Out});
    result.Status = 1;
    return;
  }
  if (opt.Json) {
    std::printf("%s\n", PreviewJson(opt, model).dump(2).c_str());
  } else {
    // The window's label is Russian; the line tells its length and share in the run's language.
    std::printf("%s\n", Told(TCode::kCliSilenceLabel, {model.SilenceAmount()}).c_str());
  }
  result.Status = 0;
}

#else

void Run(const Options&, CommandResult& result) {
  ErrLine(TCode::kCliPreviewNotBuilt);
  result.status = 1;
}

#endif

}  // namespace

void RegisterPreview(CLI::App& app, CommandResult& result) {
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "preview", "Draw a record's waveform preview with its quiet and disturbed intervals");
  cmd->add_option("PROJECT", opt->Project, "project file (.tvp)")->required();
  cmd->add_option("--record", opt->Record, "the record (1-based)")
      ->required()
      ->check(PositiveNumber());
  cmd->add_option("-o,--output", opt->Out, "the PNG file to write")->required();
  cmd->add_option("--width", opt->Width, "image width in pixels")->check(CLI::Range(16, 16384));
  cmd->add_option("--height", opt->Height, "image height in pixels")->check(CLI::Range(16, 16384));
  AddForceFlag(cmd, opt->Force);
  cmd->add_flag("--json", opt->Json, "print the intervals and levels as one JSON document");
  cmd->callback([opt, &result] { Run(*opt, result); });
}

}  // namespace tarvik::cli

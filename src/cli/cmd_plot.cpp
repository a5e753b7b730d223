// tarvik-cli plot FILE... -o OUT.png|OUT.pdf [--hv] [--hvsr] [--power] [--unit-out N]
// [--unit N] [--noise-models] [--width W --height H] [--window] [--json]: what the spectrum
// viewer shows for result files (a ".hv" file: the per-window H/V statistics with their
// criteria), drawn offscreen with the viewer's own chart code, or printed as data.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/hvsr_series_plot.h"
#include "cli/output_guard.h"
#include "cli/project_cli.h"
#include "cli/result_claims.h"
#include "common/paths.h"
#include "common/replace_file.h"
#include "common/ui_host.h"
#include "project/driver.h"
#include "project/result_view.h"
#include "viewers/hvsr_chart.h"
#include "viewers/hvsr_show.h"
#include "viewers/noise_models.h"
#include "viewers/psd_chart.h"
#include "viewers/spectrum_show.h"

#ifdef TARVIK_WITH_GUI
#include "viewers/gui/offscreen_app.h"
#include "viewers/gui/spc_form.h"
#include "viewers/gui/spectrum_plot.h"
#endif

namespace tarvik::cli {

namespace {

std::string ColorText(TRgb rgb) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  return buf;
}

nlohmann::ordered_json Point(const TChartSeries& s, size_t i) {
  return nlohmann::ordered_json::array({s.X[i], s.Y[i]});
}

nlohmann::ordered_json ChartJson(const TSpectrumView& view) {
  nlohmann::ordered_json j;
  j["caption"] = view.Caption;
  j["bottom_title"] = view.BottomTitle;
  j["left_title"] = view.LeftTitle;
  j["log_x"] = view.LogX;
  j["log_y"] = view.LogY;
  j["choices"] = view.Choices;
  nlohmann::ordered_json series = nlohmann::ordered_json::array();
  for (const TChartSeries& s : view.Series) {
    static constexpr const char* kKinds[] = {"line", "points", "band", "color_map"};
    nlohmann::ordered_json e;
    e["title"] = s.Title;
    e["color"] = ColorText(s.Color);
    e["kind"] = kKinds[static_cast<int>(s.Kind)];
    e["dashed"] = s.Dashed;
    e["width"] = s.Width;
    e["alpha"] = s.Alpha;
    e["behind"] = s.Behind;
    e["fits_axes"] = s.FitsAxes;
    e["in_legend"] = s.InLegend;
    if (!s.LegendTitle.empty()) e["legend_title"] = s.LegendTitle;
    e["checked"] = s.Checked;
    e["points"] = s.X.size();
    e["first"] = s.X.empty() ? nlohmann::ordered_json() : Point(s, 0);
    e["last"] = s.X.empty() ? nlohmann::ordered_json() : Point(s, s.X.size() - 1);
    if (s.Kind == TSeriesKind::kColorMap) {
      e["columns"] = s.Map.Columns;
      e["rows"] = s.Map.Rows;
      e["cells"] = s.Map.FilledCells();
    }
    series.push_back(std::move(e));
  }
  j["series"] = std::move(series);
  if (!view.Panel.Empty()) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const TPanelRow& r : view.Panel.Rows) {
      nlohmann::ordered_json e;
      if (r.Heading) {
        e["heading"] = r.Name;
      } else {
        e["id"] = r.Id;
        e["name"] = r.Name;
        e["evaluated"] = r.Evaluated;
        e["value"] = r.Evaluated ? nlohmann::ordered_json(r.Value) : nlohmann::ordered_json();
        e["threshold"] = r.Threshold;
        e["value_text"] = r.ValueText;
        e["threshold_text"] = r.ThresholdText;
        e["pass"] = r.Pass;
      }
      rows.push_back(std::move(e));
    }
    j["panel"] = {
        {"title", view.Panel.Title}, {"rows", std::move(rows)}, {"notes", view.Panel.Notes}};
  }
  return j;
}

#ifdef TARVIK_WITH_GUI
// What drawing needs for as long as charts are drawn: one offscreen application.
using RenderSession = gui::OffscreenApplication;
#else
struct RenderSession {};
#endif

// Draws view (the chart, or the whole viewer window) into path within a render session; false
// with the reason on stderr.
bool Render(RenderSession&, const TSpectrumView& view, const std::string& path, int width,
            int height, bool window = false) {
#ifdef TARVIK_WITH_GUI
  // Drawn under a temporary name that keeps the extension, then moved over path: a chart that
  // fails half way leaves an earlier one as it was.
  TFileReplacement replacement{std::filesystem::path(path)};
  const std::string temporary = replacement.Temporary().string();
  std::string error;
  TStatus failure;
  const bool drawn = (window ? gui::RenderViewerWindow(view, temporary, width, height, error)
                             : gui::RenderChart(view, temporary, width, height, error)) &&
                     replacement.Flush(failure) && replacement.Commit(failure);
  if (!drawn) {
    if (!failure.Ok()) error = Told(failure);
    for (size_t at = error.find(temporary); at != std::string::npos;
         at = error.find(temporary, at + path.size()))
      error.replace(at, temporary.size(), path);
    ErrReason("plot", error);
    return false;
  }
  return true;
#else
  (void)view, (void)width, (void)height, (void)window;
  ErrLine(TCode::kCliNoChartRendering, {path});
  return false;
#endif
}

// f0 through time with the spectrogram, or the H/V map over azimuth, of one "_time.json" or
// "_azimuths.json" file; the exit status.
int PlotHvsrSeries(const std::vector<std::string>& files, const std::string& output, int width,
                   int height, bool json, bool force, CommandResult& result) {
  if (files.size() != 1) {
    throw OptionRefusal("FILE", MakeStatus(TCode::kCliPlotSeriesAlone));
  }
  if (!output.empty() && !MayWriteOutput("plot", output, files, force, result))
    return result.Status;
  THvsrSeriesChart chart;
  std::string error;
  if (const TStatus read = ReadHvsrSeriesFile(files[0], chart); !read.Ok()) {
    ErrReason("plot", Text(read, Language()));
    return 1;
  }
  if (!output.empty()) {
    RenderSession session;
    (void)session;
    TFileReplacement replacement{std::filesystem::path(output)};
    const std::string temporary = replacement.Temporary().string();
    TStatus failure;
    if (!(RenderHvsrSeriesChart(chart, temporary, width, height, error) &&
          replacement.Flush(failure) && replacement.Commit(failure))) {
      if (!failure.Ok()) error = Told(failure);
      for (size_t at = error.find(temporary); at != std::string::npos;
           at = error.find(temporary, at + output.size()))
        error.replace(at, temporary.size(), output);
      ErrReason("plot", error);
      return 1;
    }
  }
  if (json) {
    nlohmann::ordered_json j = HvsrSeriesChartJson(chart);
    j["output"] = output.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(output);
    std::printf("%s\n", j.dump().c_str());
  } else {
    std::printf("%s\n", output.c_str());
  }
  return 0;
}

}  // namespace

bool RenderResultCharts(const std::string& project_file, std::vector<std::string>& written) {
#ifndef TARVIK_WITH_GUI
  ErrLine(TCode::kCliChartsNotDrawn);
  (void)project_file, (void)written;
  return true;
#endif
  ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
  TProject project;
  if (!OpenProject(project_file, project, host)) return false;
  const TResultFolders folders = ProjectResultFolders(project);
  RenderSession session;
  bool ok = true;
  for (const bool hv : {false, true}) {
    const std::vector<TComparisonEntry> files = ComparisonFiles(project, folders, hv);
    for (size_t i = 0; i < files.size(); ++i) {
      if (!files[i].Checked) continue;  // no result file
      TSpectrumView view;
      const std::string png = ReplaceExtension(files[i].Path, ".png");
      if (!ShowRecordResult(view, project, folders, static_cast<int>(i), hv, host) ||
          !Render(session, view, png, 1000, 640)) {
        ok = false;
        continue;
      }
      written.push_back(png);
    }
  }
  return ok;
}

void RegisterPlot(CLI::App& app, CommandResult& result) {
  struct Options {
    std::vector<std::string> Files;
    std::string Output;
    bool Hv = false;
    bool Hvsr = false;
    bool Power = false;
    int UnitOut = kVelocity;
    int UnitItem = 0;
    bool NoiseModels = false;
    int Width = 1000;
    int Height = 640;
    bool Json = false;
    bool Window = false;
    bool Force = false;
    std::string PsdView = "density";
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "plot",
      "Draw result files as the spectrum viewer shows them (one file: its spectra with spread "
      "or its ratios; several: all of them in one chart)");
  cmd->add_option(
         "FILE", opt->Files,
         "spectrum or ratio files (.dat), one H/V statistics file (.hv), or one noise-statistics "
         "result of psd-stats (.json)")
      ->required();
  cmd->add_option("-o,--output", opt->Output, "the chart: a .png or a .pdf file");
  cmd->add_flag("--hv", opt->Hv, "H/V ratio files (their columns tell it anyway)");
  cmd->add_flag("--hvsr", opt->Hvsr,
                "the file is a per-window H/V statistics result (implied by the .hv extension)");
  cmd->add_flag("--power", opt->Power,
                "power spectra (needed only for a file whose name does not tell: an average)");
  CLI::Option* unit_out =
      cmd->add_option("--unit-out", opt->UnitOut,
                      "0 displacement, 1 velocity, 2 acceleration (for a file whose project is "
                      "not found; else its settings tell)")
          ->check(CLI::Range(0, 2))
          ->capture_default_str();
  CLI::Option* unit_item =
      cmd->add_option("--unit", opt->UnitItem, "0 SI, 1 centi, 2 milli, 3 micro, 4 nano (as above)")
          ->check(CLI::Range(0, kUnitItemCount - 1))
          ->capture_default_str();
  cmd->add_flag("--noise-models", opt->NoiseModels,
                "add the NHNM and NLNM noise models (checked, so they are drawn) beside power "
                "spectra");
  cmd->add_option("--width", opt->Width, "pixels")
      ->check(CLI::Range(100, 10000))
      ->capture_default_str();
  cmd->add_option("--height", opt->Height, "pixels")
      ->check(CLI::Range(100, 10000))
      ->capture_default_str();
  cmd->add_flag("--window", opt->Window,
                "draw the whole viewer window (check list, controls, chart) into a .png");
  cmd->add_flag("--json", opt->Json, "print the chart as data");
  cmd->add_option("--psd-view", opt->PsdView,
                  "of a noise-statistics result: density, spectrogram or band:TMIN-TMAX (a "
                  "band's level over time)")
      ->capture_default_str();
  AddForceFlag(cmd, opt->Force);
  cmd->callback([opt, unit_out, unit_item, &result] {
    if (opt->Output.empty() && !opt->Json) throw CLI::RequiredError("-o OUT.png|OUT.pdf or --json");
    if (std::any_of(opt->Files.begin(), opt->Files.end(),
                    [](const std::string& f) { return IsHvsrSeriesFile(f); })) {
      result.Status = PlotHvsrSeries(opt->Files, opt->Output, opt->Width, opt->Height, opt->Json,
                                     opt->Force, result);
      return;
    }
    const bool hvsr = opt->Hvsr || std::any_of(opt->Files.begin(), opt->Files.end(),
                                               [](const std::string& f) { return IsHvFile(f); });
    if (hvsr && opt->Files.size() != 1) {
      throw OptionRefusal("FILE", MakeStatus(TCode::kCliPlotHvAlone));
    }
    if (hvsr && (opt->Hv || opt->NoiseModels)) {
      throw OptionRefusal("--hvsr", MakeStatus(TCode::kCliPlotHvOptions));
    }
    if (!opt->Output.empty()) {
      // A ".hv" file is drawn with the two files written beside it.
      std::vector<std::string> inputs = opt->Files;
      if (hvsr) {
        inputs.push_back(HvWindowsPath(opt->Files[0]));
        inputs.push_back(HvReportPath(opt->Files[0]));
      }
      if (!MayWriteOutput("plot", opt->Output, inputs, opt->Force, result)) return;
    }
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    TSpectrumView view;
    bool shown = false;
    std::optional<TResultFiles> files;
    if (opt->Files.size() == 1 && IsPsdStatsFile(opt->Files[0])) {
      TPsdChartChoice choice;
      if (TStatus refused = ParsePsdChartChoice(opt->PsdView, choice); !refused.Ok()) {
        throw OptionRefusal("--psd-view", std::move(refused));
      }
      const TStatus drawn = ShowPsdStats(view, opt->Files[0], choice);
      shown = drawn.Ok();
      if (!shown) ErrReason("plot", drawn);
    } else if (hvsr) {
      // A companion file left out is reported on stderr; the chart is still drawn.
      shown = ShowHvsrResult(view, opt->Files[0], host) != THvsrShown::kNothing;
    } else {
      // What the files are decides how they are drawn; the flags may only agree with it.
      TResultFlags flags{opt->Hv, opt->Power, std::nullopt, std::nullopt};
      if (unit_out->count() > 0) flags.UnitOut = opt->UnitOut;
      if (unit_item->count() > 0) flags.UnitItem = opt->UnitItem;
      files = ResolveResultFiles("plot", opt->Files, flags, host, true);
      if (!files) {
        result.Status = 1;
        return;
      }
      if (opt->NoiseModels && !files->Power) {
        ErrLine(files->Kind == TResultKind::kSpectrum ? TCode::kCliNoiseModelsNotPower
                                                      : TCode::kCliNoiseModelsNoPower,
                {opt->Files[0]});
        result.Status = 1;
        return;
      }
      if (IsRatio(files->Kind)) {
        shown = opt->Files.size() == 1
                    ? ShowRatioFile(view, opt->Files[0], files->Kind == TResultKind::kHVRatio, host)
                    : ShowTogether(view, opt->Files, true, {}, host);
      } else {
        const TViewerUnits units{files->Power, files->UnitOut, files->UnitItem};
        shown = opt->Files.size() == 1 ? ShowSpectrumFile(view, opt->Files[0], units.Power,
                                                          units.UnitOut, units.UnitItem, host)
                                       : ShowTogether(view, opt->Files, false, units, host);
      }
      opt->UnitOut = files->UnitOut;
      opt->UnitItem = files->UnitItem;
    }
    if (!shown) {
      result.Status = 1;
      return;
    }
    if (opt->NoiseModels) {
      ShowNoiseModels(view, opt->UnitItem, opt->UnitOut);
      for (size_t i = view.Series.size() - 2; i < view.Series.size(); ++i) {
        view.Series[i].Checked = true;
      }
    }
    if (!opt->Output.empty()) {
      RenderSession session;
      if (!Render(session, view, opt->Output, opt->Width, opt->Height, opt->Window)) {
        result.Status = 1;
        return;
      }
    }
    if (opt->Json) {
      nlohmann::ordered_json j = ChartJson(view);
      if (files) {
        static constexpr const char* kKinds[] = {"spectrum", "amplitude", "power", "hv",
                                                 "relative"};
        j["kind"] = kKinds[static_cast<int>(files->Kind)];
        const bool unit = !IsRatio(files->Kind);
        j["unit"] = unit ? nlohmann::ordered_json(UnitText(files->UnitOut, files->UnitItem))
                         : nlohmann::ordered_json();
        j["unit_source"] =
            files->UnitKnown ? nlohmann::ordered_json(files->UnitSource) : nlohmann::ordered_json();
      }
      j["output"] =
          opt->Output.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(opt->Output);
      std::printf("%s\n", j.dump().c_str());
    } else {
      std::printf("%s\n", opt->Output.c_str());
    }
    result.Status = 0;
  });
}

}  // namespace tarvik::cli

// tarvik-cli bands FILE [--standard | --range LO-HI] [--integral | --mean] [--column N]: the
// band amplitudes of a result file's curves, as the spectrum viewer's dialogs report them.

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/result_claims.h"
#include "common/ui_host.h"
#include "viewers/band_amplitudes.h"
#include "viewers/spectrum_show.h"

namespace tarvik::cli {

namespace {

// The dialogs' CR LF line ends as the terminal's.
std::string Printed(std::string text) {
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
  return text;
}

nlohmann::ordered_json ValuesJson(const std::vector<TBandValue>& values) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const TBandValue& v : values) {
    nlohmann::ordered_json e;
    e["series"] = v.Series >= 0 ? nlohmann::ordered_json(v.Series + 1) : nlohmann::ordered_json();
    e["title"] = v.Title;
    e["lo"] = v.Lo;
    e["hi"] = v.Hi;
    e["value"] = v.Value ? nlohmann::ordered_json(*v.Value) : nlohmann::ordered_json();
    out.push_back(std::move(e));
  }
  return out;
}

}  // namespace

void RegisterBands(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string File;
    bool Standard = false;
    std::string Range;
    bool Integral = false;
    bool Mean = false;
    int Column = 0;
    bool Hv = false;
    bool Power = false;
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "bands",
      "Band amplitudes of a result file's curves: the RMS amplitude from the band integral "
      "(--integral, the default for power spectra, which alone it is for) or the root of the "
      "band mean (--mean, the default otherwise), in the standard bands (the default) or in one "
      "band");
  cmd->add_option("FILE", opt->File, "spectrum file (.dat)")->required();
  CLI::Option* standard = cmd->add_flag("--standard", opt->Standard,
                                        "0.5-0.8, 0.8-1, 1-2, 2-4, 4-8 and 8-16 Hz for the first "
                                        "shown curve and its spread");
  cmd->add_option("--range", opt->Range, "one band for every shown curve, e.g. 0.5-10")
      ->excludes(standard);
  CLI::Option* integral = cmd->add_flag("--integral", opt->Integral, "RMS from the band integral");
  cmd->add_flag("--mean", opt->Mean, "root of the band mean")->excludes(integral);
  cmd->add_option("--column", opt->Column, "only value column N (1-based) and its spread")
      ->check(CLI::Range(1, kMaxResultPairs));
  cmd->add_flag("--hv", opt->Hv, "an H/V ratio file (its columns tell it anyway)");
  cmd->add_flag("--power", opt->Power,
                "power spectra (needed only for a file whose name does not tell: an average)");
  cmd->add_flag("--json", opt->Json, "print the values as JSON");
  cmd->callback([opt, &result] {
    ConsoleUiHost host(ConsoleUiHost::Answer::kNo, true, Language());
    const std::optional<TResultFiles> files =
        ResolveResultFiles("bands", {opt->File}, {opt->Hv, opt->Power, {}, {}}, host, false);
    if (!files) {
      result.Status = 1;
      return;
    }
    // The viewer offers "Интегрирование" for power spectra only: the integral of a power
    // density over a band is the mean square there, while that of an amplitude or a ratio is
    // no quantity at all.
    if (opt->Integral && !files->Power) {
      ErrLine(IsRatio(files->Kind)                     ? TCode::kCliIntegralOfRatios
              : files->Kind == TResultKind::kAmplitude ? TCode::kCliIntegralOfAmplitudes
                                                       : TCode::kCliIntegralOfSpectra,
              {opt->File});
      result.Status = 1;
      return;
    }
    TSpectrumView view;
    const bool shown =
        IsRatio(files->Kind)
            ? ShowRatioFile(view, opt->File, files->Kind == TResultKind::kHVRatio, host)
            : ShowSpectrumFile(view, opt->File, files->Power, kVelocity, 0, host);
    if (!shown) {
      result.Status = 1;
      return;
    }
    const bool mean = opt->Mean || !files->Power;
    const size_t columns = view.Series.size() / 2;
    if (opt->Column > 0) {
      if (static_cast<size_t>(opt->Column) > columns) {
        ErrLine(TCode::kCliValueColumns, {opt->File, std::to_string(columns)});
        result.Status = 1;
        return;
      }
      for (size_t i = 0; i < view.Series.size(); ++i) {
        view.Series[i].Checked = i / 2 == static_cast<size_t>(opt->Column - 1);
      }
    }
    const TBandMeasure measure = mean ? TBandMeasure::kMean : TBandMeasure::kIntegral;
    TBandDialog dialog;
    std::vector<TBandValue> values;
    if (opt->Range.empty()) {
      dialog = StandardBandsDialog(view, measure);
      values = StandardBandValues(view, measure);
    } else {
      TStatus error;
      const std::optional<TBandDialog> given = GivenBandDialog(view, measure, opt->Range, &error);
      double lo = 0.0, hi = 0.0;
      if (!given || !ParseBandRange(opt->Range, lo, hi)) {
        ErrReason("bands", Text(error, Language()));
        result.Status = 2;
        return;
      }
      dialog = *given;
      values = SeriesBandValues(view, measure, lo, hi);
    }
    result.Status = 0;
    if (opt->Json) {
      nlohmann::ordered_json j;
      j["file"] = opt->File;
      j["measure"] = mean ? "mean" : "integral";
      j["bands"] = opt->Range.empty() ? "standard" : opt->Range;
      j["text"] = dialog.Report;
      j["values"] = ValuesJson(values);
      std::printf("%s\n", j.dump().c_str());
      return;
    }
    std::printf("%s\n", Printed(dialog.Report).c_str());
  });
}

}  // namespace tarvik::cli

#include "viewers/spectrum_show.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "spectral/transforms.h"
#include "viewers/spectrum_files.h"

namespace tarvik {

namespace {

int ProgressSteps(size_t points) {
  return static_cast<int>(std::min<size_t>(points / 100, INT32_MAX));
}

bool Drawable(double x, double y) {
  return std::isfinite(x) && std::isfinite(y);
}

// Line i of value column j and its spread into the line series and the dot series after it.
void AddWithSpread(TChartSeries& line, TChartSeries& dots, double f, double value, double spread,
                   bool log_y) {
  if (!log_y || value > 0.0) {
    if (Drawable(f, value)) line.Add(f, value);
    if (Drawable(f, value + spread)) dots.Add(f, value + spread);
    // The spread of the lines its curve has.
    if (Drawable(f, spread)) {
      dots.SpreadX.push_back(f);
      dots.SpreadY.push_back(spread);
    }
  }
  if (value - spread > 0.0 && Drawable(f, value - spread)) dots.Add(f, value - spread);
}

// Draws pairs of value and spread columns from frequency line 1 on (line 0, normally 0 Hz, has
// no place on a logarithmic axis), reporting progress every hundred lines.
void DrawWithSpread(TSpectrumView& view, const std::vector<double>& f, const TMatrix2D& values,
                    const TMatrix2D& spreads, bool log_y, UiHost& host) {
  const int steps = ProgressSteps(f.size());
  host.SetStatus(MakeStatus(TCode::kMakingChart), steps);
  const size_t columns = std::min({values.size(), spreads.size(), view.Series.size() / 2});
  for (size_t i = 1; i < f.size(); ++i) {
    for (size_t j = 0; j < columns; ++j) {
      AddWithSpread(view.Series[2 * j], view.Series[2 * j + 1], f[i], values[j][i], spreads[j][i],
                    log_y);
    }
    if (i % 100 == 0) host.SetProgress(static_cast<int>(i / 100), steps);
  }
  host.SetProgress(steps, steps);
}

// A chart of a set of files: nothing to move to, choose or fix.
void BeginSetOfFiles(TSpectrumView& view, std::string caption, bool power, int unit_out,
                     int unit_item) {
  view.Caption = std::move(caption);
  view.LeftTitle = SpectrumAxisTitle(power, unit_out, unit_item);
  view.IntegrationEnabled = power;
  view.PrevEnabled = view.NextEnabled = false;
  view.FixEnabled = false;
  ClearChart(view);
  view.ChoicesEnabled = false;
}

// A fresh view for a file that could not be shown: nothing drawn, nothing to choose.
bool ShowNothing(TSpectrumView& view) {
  ClearChart(view);
  return false;
}

// Loads the files of a set into tables (one per path), which must be of kinds that can share
// one chart or one average: a spectrum beside a ratio, or amplitude beside power spectra, is
// refused with both files named. The left axis is titled for what the files hold. False (the
// reason told through host, the chart cleared) when a file is missing or damaged or the kinds
// differ.
bool LoadOfOneKind(TSpectrumView& view, const std::vector<std::string>& paths,
                   std::vector<TResultTable>& tables, bool power, int unit_out, int unit_item,
                   UiHost& host) {
  std::vector<TResultKind> kinds;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!LoadViewerTable(paths[i], TViewerFile::kSpectrum, host, tables[i])) {
      return ShowNothing(view);
    }
    kinds.push_back(ResultKindOf(paths[i], tables[i].Names));
    host.SetProgress(static_cast<int>(i + 1), static_cast<int>(paths.size()));
  }
  if (const TStatus conflict = KindConflict(paths, kinds); !conflict.Ok()) {
    host.ShowMessage(conflict);
    return ShowNothing(view);
  }
  if (kinds.empty()) return true;
  const auto told = std::find_if(kinds.begin(), kinds.end(),
                                 [](TResultKind k) { return k != TResultKind::kSpectrum; });
  const TResultKind kind = told != kinds.end() ? *told : TResultKind::kSpectrum;
  if (IsRatio(kind)) {
    view.LeftTitle = kRatioAxisTitle;
    view.IntegrationEnabled = false;
  } else {
    power = IsPower(kind, power);
    view.LeftTitle = SpectrumAxisTitle(power, unit_out, unit_item);
    view.IntegrationEnabled = power;
  }
  return true;
}

}  // namespace

bool ShowSpectrumFile(TSpectrumView& view, const std::string& path, bool power, int unit_out,
                      int unit_item, UiHost& host) {
  view.LeftTitle = SpectrumAxisTitle(power, unit_out, unit_item);
  view.IntegrationEnabled = power;
  view.Caption = path;
  UpdateNavigation(view);
  TResultTable table;
  if (!LoadViewerTable(path, TViewerFile::kSpectrum, host, table)) return ShowNothing(view);
  // A file named as amplitude or power spectra is labelled as what it holds.
  power = IsPower(ResultKindOf(path, table.Names), power);
  view.LeftTitle = SpectrumAxisTitle(power, unit_out, unit_item);
  view.IntegrationEnabled = power;
  SetupSeries(view, static_cast<int>(2 * table.Values.size()), kSpectrumSet, table.Names);
  DrawWithSpread(view, table.Frequencies, table.Values, table.StDev, view.LogY, host);
  return true;
}

bool ShowSpectrumFiles(TSpectrumView& view, const std::vector<std::string>& paths, bool power,
                       int unit_out, int unit_item, UiHost& host) {
  BeginSetOfFiles(view, "Количество файлов: " + std::to_string(paths.size()), power, unit_out,
                  unit_item);
  std::vector<TResultTable> tables(paths.size());
  if (!LoadOfOneKind(view, paths, tables, power, unit_out, unit_item, host)) return false;
  for (size_t f = 0; f < paths.size(); ++f) {
    const std::string& path = paths[f];
    const TResultTable& table = tables[f];
    host.SetStatus(MakeStatus(TCode::kAddingSpectrumToChart),
                   ProgressSteps(table.Frequencies.size()));
    const std::string name = FileName(path);
    const size_t first = view.Series.size();
    for (size_t j = 0; j < table.Values.size(); ++j) {
      TChartSeries s;
      s.Title = table.Names[2 * j] + " (" + name + ")";
      s.Color = SeriesColor(static_cast<int>(view.Series.size()));
      s.X.reserve(table.Frequencies.size());
      s.Y.reserve(table.Frequencies.size());
      view.Series.push_back(std::move(s));
    }
    for (size_t i = 1; i < table.Frequencies.size(); ++i) {
      const double f = table.Frequencies[i];
      for (size_t j = 0; j < table.Values.size(); ++j) {
        if (Drawable(f, table.Values[j][i])) view.Series[first + j].Add(f, table.Values[j][i]);
      }
    }
  }
  return true;
}

bool ShowRatioFile(TSpectrumView& view, const std::string& path, bool hv, UiHost& host) {
  view.LeftTitle = kRatioAxisTitle;
  view.Caption = path;
  view.IntegrationEnabled = false;
  UpdateNavigation(view);
  TResultTable table;
  if (!LoadViewerTable(path, TViewerFile::kRatio, host, table)) return ShowNothing(view);
  const std::vector<std::string> ratios = hv ? std::vector<std::string>{"E/Z", "N/Z", "H/Z"}
                                             : std::vector<std::string>{"E1/E2", "N1/N2", "Z1/Z2"};
  std::vector<std::string> names;
  for (const std::string& r : ratios) {
    names.push_back(r);
    names.push_back("StDev " + r);
  }
  SetupSeries(view, 6, hv ? kHVSet : kRelativeSet, names);
  // Ratios are drawn whatever their sign: the rule of the spectra is for their log scale.
  DrawWithSpread(view, table.Frequencies, table.Values, table.StDev, false, host);
  return true;
}

bool CombineSpectra(std::vector<TResultTable> tables, const std::vector<std::string>& files,
                    bool median, TAverageResult& result) {
  result = TAverageResult{};
  if (tables.empty() || tables[0].Values.size() < 3) return false;
  const size_t columns = tables[0].Values.size();
  std::vector<std::vector<double>> frequencies;
  std::vector<TMatrix2D> values, spreads;
  for (size_t t = 0; t < tables.size(); ++t) {
    TResultTable& table = tables[t];
    if (table.Values.size() != columns) {
      result.LeftOut.push_back(t < files.size() ? files[t] : std::to_string(t + 1));
      continue;
    }
    table.Values.resize(3);
    table.StDev.resize(3);
    frequencies.push_back(std::move(table.Frequencies));
    values.push_back(std::move(table.Values));
    spreads.push_back(std::move(table.StDev));
    result.Names = table.Names;
    result.Names.resize(6);
  }
  AlignFrequencies(frequencies, values, spreads);

  size_t lines = frequencies[0].size();
  for (const auto& f : frequencies) lines = std::min(lines, f.size());
  const size_t k = frequencies.size();
  result.FilesUsed = static_cast<int>(k);
  result.Frequencies.assign(frequencies[0].begin(),
                            frequencies[0].begin() + static_cast<ptrdiff_t>(lines));
  result.Values.assign(3, std::vector<double>(lines, 0.0));
  result.StDev.assign(3, std::vector<double>(lines, 0.0));
  std::vector<double> v(k);
  const double kd = static_cast<double>(k);
  for (size_t j = 0; j < 3; ++j) {
    for (size_t i = 0; i < lines; ++i) {
      for (size_t s = 0; s < k; ++s) v[s] = values[s][j][i];
      double m = 0.0, spread = 0.0;
      if (median) {
        // NAN values (written for lines without a value) go last, so the order stays strict.
        std::sort(v.begin(), v.end(),
                  [](double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); });
        m = Median(v, false);
        spread = (v.back() - v.front()) / 2.0;
      } else {
        double sum = 0.0, squares = 0.0;
        for (double x : v) {
          sum += x;
          squares += x * x;
        }
        m = sum / kd;
        const double bracket = kd * squares - sum * sum;
        if (k >= 2 && bracket >= 0.0) spread = std::sqrt(bracket / ((kd - 1.0) * kd));
      }
      result.Values[j][i] = m;
      result.StDev[j][i] = spread;
    }
  }
  return true;
}

bool ShowAverage(TSpectrumView& view, const std::vector<std::string>& paths,
                 const std::string& output, bool power, int unit_out, int unit_item, bool median,
                 UiHost& host, TAverageResult* result_out) {
  BeginSetOfFiles(view, "Количество файлов в выборке: " + std::to_string(paths.size()), power,
                  unit_out, unit_item);

  host.SetStatus(MakeStatus(TCode::kAddingSpectraToSet), static_cast<int>(paths.size()));
  std::vector<TResultTable> tables(paths.size());
  if (!LoadOfOneKind(view, paths, tables, power, unit_out, unit_item, host)) return false;
  if (tables.empty() || tables[0].Values.size() < 3) {
    host.ShowMessage(tables.empty() ? MakeStatus(TCode::kNothingToShow)
                                    : MakeStatus(TCode::kNoThreeComponents, {paths[0]}));
    return ShowNothing(view);
  }
  host.SetStatus(MakeStatus(TCode::kAligningFrequencies), 100);
  TAverageResult result;
  CombineSpectra(std::move(tables), paths, median, result);
  if (!result.LeftOut.empty()) {
    std::string files;
    for (const std::string& f : result.LeftOut) files += (files.empty() ? "" : "\r\n") + f;
    host.ShowMessage(MakeStatus(TCode::kColumnsDifferLeftOut, {files}));
  }
  host.SetStatus(MakeStatus(TCode::kCalculatingSpectrum), 100);
  SetupSeries(view, 6, kSpectrumSet, result.Names);
  view.ChoicesEnabled = false;
  DrawWithSpread(view, result.Frequencies, result.Values, result.StDev, view.LogY, host);
  const TWriteStatus written =
      WriteThreeComponent(output, result.Frequencies, result.Values, result.StDev, host);
  if (result_out != nullptr) *result_out = std::move(result);
  if (!written) {
    if (written.Outcome != TWriteOutcome::kFailed && !written.Status.Ok()) {
      host.ShowMessage(written.Status);
    }
    return ShowNothing(view);
  }
  return true;
}

TStatus ShowResponses(TSpectrumView& view, const TFileRecord& record, int mode, double fmax,
                      double fmin) {
  static constexpr const char* kCaptions[] = {"АЧХ датчиков", "АЧХ усилителей",
                                              "АЧХ каналов (датчик*усилитель)",
                                              "АЧХ трактов регистрации (датчик*усилитель*АЦП)"};
  // Full chains end in counts per metre per second: "c" here is the Latin letter.
  static constexpr const char* kTitles[] = {
      "Коэффициент преобразования, (В с)/м", "Коэффициент преобразования",
      "Коэффициент преобразования, (В с)/м", "Коэффициент преобразования, c/м"};
  mode = std::clamp(mode, 0, 3);
  view.Caption = kCaptions[mode];
  view.LeftTitle = kTitles[mode];
  view.LogX = view.LogY = true;
  view.IntegrationEnabled = false;
  view.PrevEnabled = view.NextEnabled = false;
  const int channels = std::clamp(record.ChannelCount(), 0, kMaxChannels);
  std::vector<std::string> names = ChannelNames(record);
  names.resize(static_cast<size_t>(channels));
  SetupSeries(view, channels, kResponseSet, names);

  if (!(fmax > 0.0) || !std::isfinite(fmax)) fmax = record.SampRate / 2.0;
  if (!(fmin > 0.0) || !std::isfinite(fmin)) fmin = 0.01;
  std::vector<double> freqs{fmin};
  // Capped at 10000 points, far more than any span of frequencies needs.
  for (int k = 1; k < 10000; ++k) {
    const double f = fmin * std::pow(1.1, k);
    if (!(f < fmax)) break;
    freqs.push_back(f);
  }

  const auto exists = [](const std::string& path) { return ResponseFileExists(path); };
  for (int c = 0; c < channels; ++c) {
    const size_t ci = static_cast<size_t>(c);
    // The files of the chain in order, and which of them is the sensor and the amplifier.
    std::vector<std::string> files;
    int sensor = -1, amplifier = -1;
    if (!record.Channels[ci].ChannelResp.empty()) {
      if (exists(record.Channels[ci].ChannelResp)) files.push_back(record.Channels[ci].ChannelResp);
    } else if (!record.Channels[ci].SensorResp.empty() &&
               !record.Channels[ci].AmplifierResp.empty()) {
      if (exists(record.Channels[ci].SensorResp)) {
        sensor = static_cast<int>(files.size());
        files.push_back(record.Channels[ci].SensorResp);
      }
      if (exists(record.Channels[ci].AmplifierResp)) {
        amplifier = static_cast<int>(files.size());
        files.push_back(record.Channels[ci].AmplifierResp);
      }
    }
    TCombinedFilter chain;
    for (const std::string& file : files) {
      TFilterPack pack;
      TStatus status = LoadResponse(file, pack, nullptr, record.Start);
      if (!status.Ok()) return status;
      AppendPack(pack, chain);
    }
    const int device = mode == kSensorResponses      ? sensor
                       : mode == kAmplifierResponses ? amplifier
                                                     : -2;
    if (chain.empty() || device == -1) continue;
    TChartSeries& series = view.Series[ci];
    for (double f : freqs) {
      double h = ResponseModulus(device >= 0 ? EvaluatePack(chain[static_cast<size_t>(device)], f)
                                             : EvaluateChain(chain, f));
      if (mode == kChainResponses) h *= record.Channels[ci].ADCCoef;
      if (Drawable(f, h)) series.Add(f, h);
    }
  }
  return TStatus{};
}

}  // namespace tarvik

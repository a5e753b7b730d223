#include "viewers/psd_chart.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

namespace tarvik {

namespace {

// The density's colours, from the rarest share of segments in a 1 dB bin (pale blue) to the
// most frequent (dark red).
const std::vector<TColorStop> kShareGradient = {{0.0, 0xC6DBEF}, {0.12, 0x6BAED6}, {0.3, 0x41AB5D},
                                                {0.5, 0xFDD049}, {0.75, 0xF16913}, {1.0, 0xA50F15}};

// The levels' colours, from low (blue) to high (red).
const std::vector<TColorStop> kLevelGradient = {{0.0, 0x313695},  {0.15, 0x4575B4}, {0.3, 0x74ADD1},
                                                {0.45, 0xABD9E9}, {0.55, 0xFEE090}, {0.7, 0xFDAE61},
                                                {0.85, 0xF46D43}, {1.0, 0xA50026}};

// A colour map holds at most this many cells, and at most a few times as many as the values the
// file gives for it plus a margin: a result is a few hundred periods by a few hundred decibels
// or segments, its rows about equally long; a short file asking for a vast grid is damaged.
constexpr double kMaxCells = 2e7;
// Seconds since 1970 beyond which a segment's start is damage (about the year 5000).
constexpr double kLatestStart = 1e11;
constexpr double kCellsPerValue = 4.0;
constexpr double kCellMargin = 65536.0;

bool GridFits(double cells, const nlohmann::ordered_json& rows) {
  double values = 0.0;
  for (const auto& row : rows) values += static_cast<double>(row.size());
  return cells <= kMaxCells && cells <= kCellsPerValue * values + kCellMargin;
}

// Sets the side of a grid along the periods: one cell per period, the cells even in log period
// and centred on the periods when these are evenly spaced in log (as the results have them).
void PeriodEdges(const nlohmann::ordered_json& periods, double& lo, double& hi) {
  const double first = periods.front().get<double>();
  const double last = periods.back().get<double>();
  const double n = static_cast<double>(periods.size());
  const double half = n > 1 && last > first ? std::pow(last / first, 0.5 / (n - 1.0)) : 1.25;
  lo = first / half;
  hi = last * half;
}

bool PositivePeriods(const nlohmann::ordered_json& periods) {
  double previous = 0.0;
  for (const auto& p : periods) {
    const double t = p.get<double>();
    if (!(t > previous) || !std::isfinite(t)) return false;
    previous = t;
  }
  return !periods.empty();
}

TChartSeries Curve(const std::string& title, TRgb color, const nlohmann::ordered_json& periods,
                   const nlohmann::ordered_json& values, double width, bool dashed) {
  TChartSeries s;
  s.Title = title;
  s.Color = color;
  s.Width = width;
  s.Dashed = dashed;
  for (size_t j = 0; j < periods.size() && j < values.size(); ++j) {
    if (values[j].is_number()) s.Add(periods[j].get<double>(), values[j].get<double>());
  }
  return s;
}

using Json = nlohmann::ordered_json;

// Days since the UTC midnight before the first start, and that day as a title.
struct TimeAxis {
  double Origin = 0.0;
  std::string Title;
};
TimeAxis AxisOf(const Json& starts) {
  TimeAxis axis;
  const double first = starts.at(0).get<double>();
  axis.Origin = std::floor(first / 86400.0) * 86400.0;
  const std::chrono::sys_days day{std::chrono::days{static_cast<int64_t>(axis.Origin / 86400.0)}};
  const std::chrono::year_month_day ymd{day};
  char text[64];
  std::snprintf(text, sizeof text, "Сутки от %04d-%02u-%02u (UTC)", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  axis.Title = text;
  return axis;
}

// One column per step of time from the first segment to the last (a missing segment leaves its
// column blank), one row per period.
bool ShowSpectrogram(TSpectrumView& view, const Json& periods, const Json& starts,
                     const Json& levels, double step) {
  if (!PositivePeriods(periods)) return false;
  const TimeAxis axis = AxisOf(starts);
  view.BottomTitle = axis.Title;
  view.LeftTitle = "Период, с";
  view.LogX = false;
  view.LogY = true;
  double lo = INFINITY, hi = -INFINITY;
  for (const Json& row : levels) {
    for (const Json& v : row) {
      if (!v.is_number()) continue;
      lo = std::min(lo, v.get<double>());
      hi = std::max(hi, v.get<double>());
    }
  }
  double first = INFINITY, last = -INFINITY;
  for (const Json& t : starts) {
    first = std::min(first, t.get<double>());
    last = std::max(last, t.get<double>());
  }
  const double count = static_cast<double>(starts.size());
  // Segments follow at the result's step; a file without one, or whose starts do not keep to
  // it, gets the mean step of its segments.
  // Steps under a millisecond would make columns no wider than rounding.
  constexpr double kShortestStep = 1e-3;
  double columns = step >= kShortestStep ? std::round((last - first) / step) + 1.0 : 0.0;
  if (!(columns >= 1.0 && columns <= 4.0 * count + 16.0)) {
    columns = count;
    step = count > 1.0 ? (last - first) / (count - 1.0) : 3600.0;
  }
  if (!(step >= kShortestStep)) step = 3600.0;
  if (!GridFits(columns * static_cast<double>(periods.size()), levels)) return false;
  TChartSeries s;
  s.Kind = TSeriesKind::kColorMap;
  s.Title = "Уровень, дБ";
  TColorGrid& grid = s.Map;
  grid.Resize(static_cast<int>(columns), static_cast<int>(periods.size()));
  grid.X0 = (first - axis.Origin) / 86400.0;
  grid.X1 = (first + columns * step - axis.Origin) / 86400.0;
  PeriodEdges(periods, grid.Y0, grid.Y1);
  grid.LogY = true;
  grid.Low = std::isfinite(lo) ? lo : 0.0;
  grid.High = hi > lo ? hi : grid.Low + 1.0;
  grid.Gradient = kLevelGradient;
  for (size_t i = 0; i < starts.size() && i < levels.size(); ++i) {
    const int column =
        grid.ColumnOf((starts[i].get<double>() + step / 2.0 - axis.Origin) / 86400.0);
    if (column < 0) continue;
    for (size_t j = 0; j < periods.size() && j < levels[i].size(); ++j) {
      const int row = grid.RowOf(periods[j].get<double>());
      if (row >= 0 && levels[i][j].is_number()) grid.At(column, row) = levels[i][j].get<double>();
    }
  }
  view.Series.push_back(std::move(s));
  return true;
}

bool ShowBandLevel(TSpectrumView& view, const Json& periods, const Json& starts, const Json& levels,
                   double step, const TPsdChartChoice& choice) {
  const TimeAxis axis = AxisOf(starts);
  view.BottomTitle = axis.Title;
  view.LogX = false;
  view.LogY = false;
  std::vector<size_t> in_band;
  for (size_t j = 0; j < periods.size(); ++j) {
    const double t = periods[j].get<double>();
    if (t >= choice.BandFirst && t <= choice.BandLast) in_band.push_back(j);
  }
  if (in_band.empty()) return false;
  char title[96];
  std::snprintf(title, sizeof title, "%g–%g с", choice.BandFirst, choice.BandLast);
  double previous = -INFINITY;
  for (size_t i = 0; i < starts.size() && i < levels.size(); ++i) {
    double sum = 0.0;
    int n = 0;
    for (size_t j : in_band) {
      if (j < levels[i].size() && levels[i][j].is_number()) {
        sum += levels[i][j].get<double>();
        ++n;
      }
    }
    const double start = starts[i].get<double>();
    if (n == 0) continue;
    // A missing segment breaks the line.
    if (view.Series.empty() || start - previous > 1.5 * step) {
      TChartSeries s;
      s.Title = title;
      s.Color = 0x2171B5;
      s.Width = 1.5;
      s.InLegend = view.Series.empty();
      view.Series.push_back(std::move(s));
    }
    view.Series.back().Add((start - axis.Origin) / 86400.0, sum / n);
    previous = start;
  }
  return !view.Series.empty();
}

}  // namespace

TStatus ParsePsdChartChoice(const std::string& text, TPsdChartChoice& choice) {
  choice = {};
  if (text == "density") return {};
  if (text == "spectrogram") {
    choice.Kind = TPsdChartChoice::Kind::kSpectrogram;
    return {};
  }
  double a = 0.0, b = 0.0;
  int used = 0;
  if (std::sscanf(text.c_str(), "band:%lf-%lf%n", &a, &b, &used) == 2 &&
      used == static_cast<int>(text.size()) && a > 0.0 && b >= a && std::isfinite(b)) {
    choice.Kind = TPsdChartChoice::Kind::kBandLevel;
    choice.BandFirst = a;
    choice.BandLast = b;
    return {};
  }
  return MakeStatus(TCode::kPsdViewUnknown, {text});
}

bool IsPsdStatsFile(const std::string& path) {
  return std::filesystem::path(path).extension() == ".json";
}

TStatus ShowPsdStats(TSpectrumView& view, const std::string& path, const TPsdChartChoice& choice) {
  const auto fault = [&path](TCode code, std::vector<TArg> args = {}) {
    args.insert(args.begin(), TArg(path));
    TStatus status = MakeStatus(code, std::move(args));
    status.File = path;
    return status;
  };
  // Ordered, so that the percentiles keep the order the result gives them.
  nlohmann::ordered_json doc;
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      return fault(TCode::kPsdResultUnreadable);
    }
    doc = nlohmann::ordered_json::parse(in);
    const nlohmann::ordered_json& periods = doc.at("periods");
    const nlohmann::ordered_json& density = doc.at("density");
    const double first = density.at("db_first").get<double>();
    const nlohmann::ordered_json& shares = density.at("shares");
    if (!periods.is_array() || !shares.is_array() || shares.size() != periods.size()) {
      return fault(TCode::kPsdResultDensityMismatch);
    }
    ClearChart(view);
    view.Caption = doc.value("channel", std::string()) + ": " +
                   std::to_string(doc.value("segments", 0)) + " сегментов";
    if (choice.Kind != TPsdChartChoice::Kind::kDensity) {
      if (!doc.contains("segment_starts") || !doc.contains("segment_levels") ||
          doc.at("segment_starts").empty()) {
        return fault(TCode::kPsdResultNoSegments);
      }
      const Json& starts = doc.at("segment_starts");
      const Json& levels = doc.at("segment_levels");
      // Starts are seconds since 1970; far beyond any record's time they are damage, and the
      // day they fall on could not be named.
      for (const Json& t : starts) {
        if (!(std::fabs(t.get<double>()) < kLatestStart)) {
          ClearChart(view);
          return fault(TCode::kPsdResultStartsDamaged);
        }
      }
      if (choice.Kind == TPsdChartChoice::Kind::kSpectrogram) {
        if (!ShowSpectrogram(view, periods, starts, levels, doc.value("step_s", 0.0))) {
          ClearChart(view);
          return fault(TCode::kPsdResultSegmentsDamaged);
        }
        return {};
      }
      view.LeftTitle = "дБ отн. 1 (м/с²)²/Гц";
      if (!ShowBandLevel(view, periods, starts, levels, doc.value("step_s", 0.0), choice)) {
        return fault(TCode::kPsdResultNoPeriodInBand);
      }
      return {};
    }
    view.BottomTitle = "Период, с";
    view.LeftTitle = "дБ отн. 1 (м/с²)²/Гц";
    view.LogX = true;
    view.LogY = false;
    size_t bins = 0;
    for (const Json& row : shares) bins = std::max(bins, row.size());
    if (!PositivePeriods(periods) ||
        !GridFits(static_cast<double>(bins) * static_cast<double>(periods.size()), shares)) {
      ClearChart(view);
      return fault(TCode::kPsdResultDensityDamaged);
    }
    // The density as cells: a column per period, even in log period, a row per 1 dB bin.
    TChartSeries map;
    map.Kind = TSeriesKind::kColorMap;
    map.Title = "Доля сегментов, %";
    TColorGrid& grid = map.Map;
    grid.Resize(static_cast<int>(periods.size()), static_cast<int>(bins));
    PeriodEdges(periods, grid.X0, grid.X1);
    grid.LogX = true;
    grid.Y0 = first;
    grid.Y1 = first + static_cast<double>(bins);
    grid.Gradient = kShareGradient;
    double most = 0.0;
    for (size_t j = 0; j < periods.size(); ++j) {
      const int column = grid.ColumnOf(periods[j].get<double>());
      const Json& row = shares[j];
      for (size_t b = 0; b < row.size(); ++b) {
        const double share = row[b].get<double>() * 100.0;
        // An empty bin stays blank.
        if (!(share > 0.0) || column < 0) continue;
        grid.At(column, static_cast<int>(b)) = share;
        most = std::max(most, share);
      }
    }
    grid.High = most > 0.0 ? most : 1.0;
    view.Series.push_back(std::move(map));
    for (const auto& [key, values] : doc.at("percentiles").items()) {
      view.Series.push_back(Curve(key + " %", 0x404040, periods, values, 1.0, true));
    }
    view.Series.push_back(Curve("мода", 0x000000, periods, doc.at("mode"), 2.0, false));
    view.Series.push_back(Curve("среднее", 0x2171B5, periods, doc.at("mean"), 1.5, false));
    for (const char* model : {"nhnm", "nlnm"}) {
      TChartSeries s =
          Curve(model[1] == 'h' ? "NHNM" : "NLNM", 0x808080, periods, doc.at(model), 2.0, true);
      s.FitsAxes = false;
      view.Series.push_back(std::move(s));
    }
  } catch (const std::exception& e) {
    ClearChart(view);
    return fault(TCode::kPsdResultNotResult, {e.what()});
  }
  return {};
}

}  // namespace tarvik

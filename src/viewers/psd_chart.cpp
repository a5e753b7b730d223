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

// Shares of the segments in a 1 dB bin, from the rarest to the most frequent, and their
// colours from pale blue to dark red.
constexpr std::array<double, 6> kShareFloors = {0.001, 0.01, 0.03, 0.06, 0.12, 0.25};
constexpr std::array<TRgb, 6> kShareColors = {0xC6DBEF, 0x6BAED6, 0x41AB5D,
                                              0xFDD049, 0xF16913, 0xA50F15};

std::string Percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%g %%", share * 100.0);
  return text;
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

// Colours of levels from low (blue) to high (red).
constexpr std::array<TRgb, 8> kLevelColors = {0x313695, 0x4575B4, 0x74ADD1, 0xABD9E9,
                                              0xFEE090, 0xFDAE61, 0xF46D43, 0xA50026};

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

void ShowSpectrogram(TSpectrumView& view, const Json& periods, const Json& starts,
                     const Json& levels) {
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
  const double width = hi > lo ? (hi - lo) / kLevelColors.size() : 1.0;
  const size_t first = view.Series.size();
  for (size_t c = 0; c < kLevelColors.size(); ++c) {
    TChartSeries s;
    s.Kind = TSeriesKind::kPoints;
    s.Color = kLevelColors[c];
    char title[64];
    std::snprintf(title, sizeof title, "%.0f…%.0f дБ", lo + c * width, lo + (c + 1) * width);
    s.Title = title;
    view.Series.push_back(std::move(s));
  }
  for (size_t i = 0; i < starts.size() && i < levels.size(); ++i) {
    const double x = (starts[i].get<double>() - axis.Origin) / 86400.0;
    for (size_t j = 0; j < periods.size() && j < levels[i].size(); ++j) {
      if (!levels[i][j].is_number()) continue;
      const double v = levels[i][j].get<double>();
      const size_t c =
          std::min(kLevelColors.size() - 1, static_cast<size_t>(std::max(0.0, (v - lo) / width)));
      view.Series[first + c].Add(x, periods[j].get<double>());
    }
  }
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

bool ParsePsdChartChoice(const std::string& text, TPsdChartChoice& choice, std::string* why) {
  choice = {};
  if (text == "density") return true;
  if (text == "spectrogram") {
    choice.Kind = TPsdChartChoice::Kind::kSpectrogram;
    return true;
  }
  double a = 0.0, b = 0.0;
  int used = 0;
  if (std::sscanf(text.c_str(), "band:%lf-%lf%n", &a, &b, &used) == 2 &&
      used == static_cast<int>(text.size()) && a > 0.0 && b >= a && std::isfinite(b)) {
    choice.Kind = TPsdChartChoice::Kind::kBandLevel;
    choice.BandFirst = a;
    choice.BandLast = b;
    return true;
  }
  if (why) *why = "'" + text + "' is none of density, spectrogram, band:TMIN-TMAX";
  return false;
}

bool IsPsdStatsFile(const std::string& path) {
  return std::filesystem::path(path).extension() == ".json";
}

bool ShowPsdStats(TSpectrumView& view, const std::string& path, const TPsdChartChoice& choice,
                  std::string& error) {
  // Ordered, so that the percentiles keep the order the result gives them.
  nlohmann::ordered_json doc;
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      error = path + ": cannot be read";
      return false;
    }
    doc = nlohmann::ordered_json::parse(in);
    const nlohmann::ordered_json& periods = doc.at("periods");
    const nlohmann::ordered_json& density = doc.at("density");
    const double first = density.at("db_first").get<double>();
    const nlohmann::ordered_json& shares = density.at("shares");
    if (!periods.is_array() || !shares.is_array() || shares.size() != periods.size()) {
      error = path + ": the density does not match the periods";
      return false;
    }
    ClearChart(view);
    view.Caption = doc.value("channel", std::string()) + ": " +
                   std::to_string(doc.value("segments", 0)) + " сегментов";
    if (choice.Kind != TPsdChartChoice::Kind::kDensity) {
      if (!doc.contains("segment_starts") || !doc.contains("segment_levels") ||
          doc.at("segment_starts").empty()) {
        error = path + ": holds no segments (write it with psd-stats --with-segments)";
        return false;
      }
      const Json& starts = doc.at("segment_starts");
      const Json& levels = doc.at("segment_levels");
      if (choice.Kind == TPsdChartChoice::Kind::kSpectrogram) {
        ShowSpectrogram(view, periods, starts, levels);
        return true;
      }
      view.LeftTitle = "дБ отн. 1 (м/с²)²/Гц";
      if (!ShowBandLevel(view, periods, starts, levels, doc.value("step_s", 0.0), choice)) {
        error = path + ": no period of the result lies in the band";
        return false;
      }
      return true;
    }
    view.BottomTitle = "Период, с";
    view.LeftTitle = "дБ отн. 1 (м/с²)²/Гц";
    view.LogX = true;
    view.LogY = false;
    for (size_t c = 0; c < kShareFloors.size(); ++c) {
      TChartSeries s;
      s.Kind = TSeriesKind::kPoints;
      s.Color = kShareColors[c];
      s.Behind = true;
      s.Title = "плотность от " + Percent(kShareFloors[c]);
      view.Series.push_back(std::move(s));
    }
    for (size_t j = 0; j < periods.size(); ++j) {
      const double t = periods[j].get<double>();
      const nlohmann::ordered_json& row = shares[j];
      for (size_t b = 0; b < row.size(); ++b) {
        const double share = row[b].get<double>();
        size_t c = kShareFloors.size();
        while (c > 0 && share < kShareFloors[c - 1]) --c;
        if (c == 0) continue;
        view.Series[c - 1].Add(t, first + static_cast<double>(b) + 0.5);
      }
    }
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
    error = path + ": not a noise-statistics result (" + e.what() + ")";
    ClearChart(view);
    return false;
  }
  return true;
}

}  // namespace tarvik

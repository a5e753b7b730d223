#include "viewers/psd_chart.h"

#include <array>
#include <cmath>
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

}  // namespace

bool IsPsdStatsFile(const std::string& path) {
  return std::filesystem::path(path).extension() == ".json";
}

bool ShowPsdStats(TSpectrumView& view, const std::string& path, std::string& error) {
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

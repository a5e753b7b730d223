#include "viewers/spectrum_chart.h"

#include <array>
#include <cmath>

namespace tarvik {

namespace {

constexpr std::array<TRgb, 16> kPalette = {
    0xFF0000, 0x0000FF, 0x000000, 0x008000, 0x800000, 0x000080, 0x808000, 0x800080,
    0x008080, 0x808080, 0x00FF00, 0xFFFF00, 0xC0C0C0, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

constexpr std::array<std::string_view, kUnitItemCount> kLengthUnits = {"м", "см", "мм", "мкм",
                                                                       "нм"};
constexpr std::array<double, kUnitItemCount> kUnitFactors = {1.0, 0.01, 0.001, 1e-6, 1e-9};
// Velocity with the Latin "c", acceleration with the Cyrillic "с": the texts users know.
constexpr std::array<std::string_view, 3> kTimeParts = {"", "/c", "/с^2"};

// The choice list after the curves' own titles, by kind.
const std::vector<std::vector<std::string>> kKindChoices = {
    {"Среднее E,N", "Среднее E,N,Z", "Среднее"},
    {"E1/E2", "N1/N2", "Z1/Z2", "Среднее E,N", "Среднее E,N,Z"},
    {"E/Z", "N/Z", "Среднее H/Z"},
};

}  // namespace

TRgb SeriesColor(int i) {
  return kPalette[static_cast<size_t>(((i % 16) + 16) % 16)];
}

std::string UnitLabel(int unit_out, int unit_item) {
  if (unit_item < 0 || unit_item >= kUnitItemCount) unit_item = 0;
  if (unit_out < 0 || unit_out >= 3) unit_out = 0;
  return std::string(kLengthUnits[static_cast<size_t>(unit_item)]) +
         std::string(kTimeParts[static_cast<size_t>(unit_out)]);
}

std::string SpectrumAxisTitle(bool power, int unit_out, int unit_item) {
  const std::string label = UnitLabel(unit_out, unit_item);
  return power ? "Мощность, (" + label + ")^2/Гц" : "Амплитуда, (" + label + ")/Гц";
}

double UnitFactor(int unit_item) {
  if (unit_item < 0 || unit_item >= kUnitItemCount) return 1.0;
  return kUnitFactors[static_cast<size_t>(unit_item)];
}

int UnitItemOfFactor(double coef) {
  for (int i = 0; i < kUnitItemCount; ++i) {
    const double f = kUnitFactors[static_cast<size_t>(i)];
    if (std::fabs(coef - f) <= 1e-9 * f) return i;
  }
  return 0;
}

void ClearChart(TSpectrumView& view) {
  view.Series.clear();
  view.Choices.clear();
  view.Selection = -1;
  view.Panel = TSidePanel{};
}

void SetupSeries(TSpectrumView& view, int n, int kind, const std::vector<std::string>& names) {
  ClearChart(view);
  for (int i = 0; i < n; ++i) {
    TChartSeries s;
    if (static_cast<size_t>(i) < names.size()) s.Title = names[static_cast<size_t>(i)];
    if (i % 2 == 1 && kind != kResponseSet) {
      s.Kind = TSeriesKind::kPoints;
      s.Color = view.Series.back().Color;
    } else {
      s.Kind = TSeriesKind::kLine;
      s.Color = SeriesColor(kind == kResponseSet ? i : i / 2);
      if (kind == kSpectrumSet) view.Choices.push_back(s.Title);
    }
    view.Series.push_back(std::move(s));
  }
  if (kind >= kSpectrumSet && kind <= kHVSet) {
    const auto& extra = kKindChoices[static_cast<size_t>(kind)];
    view.Choices.insert(view.Choices.end(), extra.begin(), extra.end());
  }
  view.ChoicesEnabled = kind >= kSpectrumSet && kind <= kHVSet;
}

void UpdateNavigation(TSpectrumView& view) {
  view.PrevEnabled = view.CurrentIndex > 0;
  view.NextEnabled = view.CurrentIndex < view.RecordCount - 1;
}

}  // namespace tarvik

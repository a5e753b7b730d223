#include "viewers/spectrum_chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tarvik {

namespace {

// Colours told apart at a glance on white: none pale, no two of one hue and depth.
constexpr std::array<TRgb, 12> kPalette = {
    0xFF0000, 0x0000FF, 0x000000, 0x008000, 0xFF8C00, 0x800080,
    0x008B8B, 0x8B4513, 0xE000E0, 0x80C000, 0x808080, 0x00A0FF,
};

// The colour of hue h (degrees), saturation s and value v (0..1).
TRgb Hsv(double h, double s, double v) {
  h = std::fmod(h, 360.0) / 60.0;
  const double c = v * s;
  const double x = c * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0:
      r = c, g = x;
      break;
    case 1:
      r = x, g = c;
      break;
    case 2:
      g = c, b = x;
      break;
    case 3:
      g = x, b = c;
      break;
    case 4:
      r = x, b = c;
      break;
    default:
      r = c, b = x;
      break;
  }
  const double m = v - c;
  auto byte = [m](double part) { return static_cast<TRgb>(std::lround((part + m) * 255.0)); };
  return (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

double Pow10(int k) {
  return std::pow(10.0, k);
}

// m · 10^k, dividing for negative k so that 3 · 10^-1 is the double nearest 0.3.
double Scaled(double m, int k) {
  return k < 0 ? m / Pow10(-k) : m * Pow10(k);
}

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
  if (i < 0) i = 0;
  if (static_cast<size_t>(i) < kPalette.size()) return kPalette[static_cast<size_t>(i)];
  // Past the palette: the golden angle keeps consecutive hues far apart and never repeats one;
  // four depths keep the colours dark enough for thin lines on white.
  const int n = i - static_cast<int>(kPalette.size());
  static constexpr double kValues[] = {0.85, 0.6, 0.72, 0.48};
  static constexpr double kSaturations[] = {0.95, 0.8, 0.65, 0.9};
  return Hsv(15.0 + 137.50776405 * n, kSaturations[n % 4], kValues[(n / 4) % 4]);
}

TLogTicks LogAxisTicks(double lo, double hi) {
  TLogTicks ticks;
  if (!(lo > 0.0 && hi > lo && std::isfinite(hi))) return ticks;
  const auto inside = [lo, hi](double t) { return t >= lo * (1 - 1e-9) && t <= hi * (1 + 1e-9); };
  const int first = static_cast<int>(std::floor(std::log10(lo)));
  const int last = static_cast<int>(std::ceil(std::log10(hi)));
  const int decades = static_cast<int>(std::floor(std::log10(hi) + 1e-9)) -
                      static_cast<int>(std::ceil(std::log10(lo) - 1e-9)) + 1;
  if (decades >= 3) {
    // About eight labels at most: every stride-th power, the ones a multiple of stride.
    const int stride = (decades + 7) / 8;
    for (int k = first; k <= last; ++k) {
      if (k % stride == 0 && inside(Pow10(k))) ticks.Values.push_back(Scaled(1.0, k));
    }
    return ticks;
  }
  ticks.Plain = true;
  for (const std::vector<double>& mantissas :
       {std::vector<double>{1, 2, 5}, std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}}) {
    ticks.Values.clear();
    for (int k = first; k <= last; ++k) {
      for (const double m : mantissas) {
        if (inside(Scaled(m, k))) ticks.Values.push_back(Scaled(m, k));
      }
    }
    if (ticks.Values.size() >= 3) return ticks;
  }
  // Less than a factor of two or so: round numbers at the smallest 1-2-5 step that leaves at
  // most eight intervals; the step before it left more, and the steps grow at most 2.5-fold, so
  // at least three marks remain.
  ticks.Values.clear();
  const double span = hi - lo;
  int k = static_cast<int>(std::floor(std::log10(span))) - 1;
  for (;; ++k) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double step = Scaled(m, k);
      if (span / step > 8.0) continue;
      for (double n = std::ceil(lo / step - 1e-9); n * step <= hi * (1 + 1e-12); n += 1.0) {
        ticks.Values.push_back(k < 0 ? n * m / Pow10(-k) : n * step);
      }
      return ticks;
    }
  }
}

void TColorGrid::Resize(int columns, int rows) {
  if (columns < 1 || rows < 1) columns = rows = 0;
  Columns = columns;
  Rows = rows;
  Values.assign(static_cast<size_t>(columns) * static_cast<size_t>(rows),
                std::numeric_limits<double>::quiet_NaN());
}

namespace {

// Where v lies from a to b as a share 0..1, in logarithms when log; NaN when it cannot.
double ShareOf(double v, double a, double b, bool log) {
  if (log) {
    if (!(v > 0.0 && a > 0.0 && b > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    v = std::log(v), a = std::log(a), b = std::log(b);
  }
  return b > a ? (v - a) / (b - a) : std::numeric_limits<double>::quiet_NaN();
}

int CellOf(double v, double a, double b, bool log, int n) {
  const double f = ShareOf(v, a, b, log);
  if (!(f >= 0.0 && f <= 1.0) || n < 1) return -1;
  return std::min(n - 1, static_cast<int>(f * n));
}

double Middle(int i, double a, double b, bool log, int n) {
  const double f = (i + 0.5) / n;
  return log ? a * std::pow(b / a, f) : a + (b - a) * f;
}

}  // namespace

size_t TColorGrid::FilledCells() const {
  return static_cast<size_t>(
      std::count_if(Values.begin(), Values.end(), [](double v) { return !std::isnan(v); }));
}

int TColorGrid::ColumnOf(double x) const {
  return CellOf(x, X0, X1, LogX, Columns);
}
int TColorGrid::RowOf(double y) const {
  return CellOf(y, Y0, Y1, LogY, Rows);
}
double TColorGrid::ColumnMiddle(int column) const {
  return Middle(column, X0, X1, LogX, Columns);
}
double TColorGrid::RowMiddle(int row) const {
  return Middle(row, Y0, Y1, LogY, Rows);
}

TRgb GradientColor(const std::vector<TColorStop>& gradient, double t) {
  if (gradient.empty()) return 0;
  if (!(t > gradient.front().At)) return gradient.front().Color;
  for (size_t i = 1; i < gradient.size(); ++i) {
    const TColorStop& a = gradient[i - 1];
    const TColorStop& b = gradient[i];
    if (t > b.At) continue;
    const double f = b.At > a.At ? (t - a.At) / (b.At - a.At) : 1.0;
    TRgb rgb = 0;
    for (const int shift : {16, 8, 0}) {
      const double ca = (a.Color >> shift) & 0xFF;
      const double cb = (b.Color >> shift) & 0xFF;
      rgb |= static_cast<TRgb>(std::lround(ca + (cb - ca) * f)) << shift;
    }
    return rgb;
  }
  return gradient.back().Color;
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

#pragma once

// The spectrum viewer's chart as data: the series with their titles, colours, kinds and points,
// the axis titles and scales, the choice list "Выбрать", the Prev/Next and "Зафиксировать
// выбор" states and the caption. The window draws exactly this; the command line renders it
// or prints it; the tests read it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// 0xRRGGBB.
using TRgb = uint32_t;

enum class TSeriesKind {
  kLine,      // a curve through the points
  kPoints,    // separate 2 × 2 pixel dots without outline (the spread of a curve)
  kBand,      // a shaded vertical band from X[0] to X[1] across the whole chart (Y unused)
  kColorMap,  // a grid of values drawn as coloured cells (the Map fields; X and Y unused)
};

// A point of a colour gradient: At runs from 0 (the lowest value) to 1 (the highest).
struct TColorStop {
  double At = 0.0;
  TRgb Color = 0;
};

// The cells of a colour map: Columns × Rows values, row by row from the lowest y, each row from
// the lowest x; NaN leaves a cell blank. The cells tile X0..X1 and Y0..Y1 (outer edges), in
// equal steps of the logarithm along an axis marked Log and in equal steps otherwise, so that on
// a chart with the same scale every cell has the same size. Values from Low to High take the
// gradient's colours; the chart's colour scale is labelled with the series' title.
struct TColorGrid {
  int Columns = 0;
  int Rows = 0;
  double X0 = 0.0, X1 = 1.0, Y0 = 0.0, Y1 = 1.0;
  bool LogX = false;
  bool LogY = false;
  double Low = 0.0, High = 1.0;
  std::vector<TColorStop> Gradient;
  std::vector<double> Values;

  // Sizes the grid with every cell blank; a size below 1 makes an empty grid.
  void Resize(int columns, int rows);
  double& At(int column, int row) {
    return Values[static_cast<size_t>(row) * static_cast<size_t>(Columns) +
                  static_cast<size_t>(column)];
  }
  double At(int column, int row) const {
    return Values[static_cast<size_t>(row) * static_cast<size_t>(Columns) +
                  static_cast<size_t>(column)];
  }
  // How many cells hold a value.
  size_t FilledCells() const;
  // The column and the row whose cell holds x or y; -1 outside the grid (or for x <= 0 on a
  // logarithmic side).
  int ColumnOf(double x) const;
  int RowOf(double y) const;
  // The middle of a column or a row (the geometric middle on a logarithmic side).
  double ColumnMiddle(int column) const;
  double RowMiddle(int row) const;
};

// The colour of value t in 0..1 on a gradient, interpolated between its stops (black without
// stops; t outside 0..1 takes the nearest end).
TRgb GradientColor(const std::vector<TColorStop>& gradient, double t);

struct TChartSeries {
  std::string Title;  // UTF-8
  TRgb Color = 0;
  TSeriesKind Kind = TSeriesKind::kLine;
  bool Dashed = false;
  double Width = 1.0;  // line width in pixels
  // Opacity 0..255: thin background curves and shaded bands are drawn translucent.
  int Alpha = 255;
  // The check-list entry: an unchecked series is not drawn.
  bool Checked = true;
  // The axes are fitted to this series' points; off for reference curves (the noise models)
  // that span far more than any record, and for the many single-window curves of an H/V
  // analysis whose outliers would squash the mean curve.
  bool FitsAxes = true;
  // Drawn beneath every series without it: many thin background curves stay under the curves
  // that carry the result.
  bool Behind = false;
  // Whether a rendered chart's legend lists a line series, and under what text (the title when
  // empty): one entry stands for a whole group of window curves.
  bool InLegend = true;
  std::string LegendTitle;
  // Points in the order added; X is frequency in Hz.
  std::vector<double> X;
  std::vector<double> Y;
  // The dots of a spread stand at value ± spread, two to a frequency; band amplitudes of the
  // spread are taken of the spread column itself, kept here one value per frequency (ascending).
  std::vector<double> SpreadX;
  std::vector<double> SpreadY;
  // The cells of a colour map.
  TColorGrid Map;

  void Add(double x, double y) {
    X.push_back(x);
    Y.push_back(y);
  }
};

// The colour of series index i >= 0. Every index has its own colour, readable on the white
// chart: a palette of well-told-apart colours first, then hues spread by the golden angle at
// alternating depths. A negative index counts as 0.
TRgb SeriesColor(int i);

// The major ticks of a logarithmic axis from lo to hi (0 < lo < hi), ascending and within the
// range: the powers of ten when at least three of them fall inside, every other one or fewer
// when there are many; otherwise 1, 2 and 5 times the powers of ten; otherwise every whole
// mantissa; and for a range narrower still, evenly spaced round numbers. Plain tells that the
// labels should be plain numbers rather than powers of ten.
struct TLogTicks {
  std::vector<double> Values;
  bool Plain = false;
};
TLogTicks LogAxisTicks(double lo, double hi);

// What the chart's left axis measures.
enum TUnitOut : int { kDisplacement = 0, kVelocity = 1, kAcceleration = 2 };
inline constexpr int kUnitItemCount = 5;  // SI, centi, milli, micro, nano

// "мкм/c" and the like: the length unit of unit_item (0 SI .. 4 nano) and the time part of
// unit_out (0 displacement, 1 velocity, 2 acceleration). Out-of-range indices count as 0.
std::string UnitLabel(int unit_out, int unit_item);
// "Мощность, (LABEL)^2/Гц" for power spectra, "Амплитуда, (LABEL)/Гц" for amplitude spectra.
std::string SpectrumAxisTitle(bool power, int unit_out, int unit_item);
// The metre factor of a unit item: 1, 0.01, 0.001, 1e-6, 1e-9 (1 out of range).
double UnitFactor(int unit_item);
// The unit item whose factor is coef (the settings keep the factor); 0 when none matches.
int UnitItemOfFactor(double coef);

inline constexpr char kFrequencyAxisTitle[] = "Частота, Гц";
inline constexpr char kRatioAxisTitle[] = "Отношение амплитуд";
// Minor ticks between two major ticks of a logarithmic and of a linear axis.
inline constexpr int kLogMinorTicks = 8;
inline constexpr int kLinearMinorTicks = 9;

// A side panel beside the chart: a table of tests (a heading row opens each group) and lines
// of text under it. Rows keep the numbers for the data and the texts the window shows.
struct TPanelRow {
  bool Heading = false;  // a group's heading: Name only, spanning the row
  std::string Id;        // a stable key of the test ("clear.3"); empty for headings
  std::string Name;      // what is tested, as the window shows it
  bool Evaluated = false;
  double Value = 0.0;
  double Threshold = 0.0;
  std::string ValueText;      // "4.71", "—" when there was nothing to test
  std::string ThresholdText;  // "> 2", "< 0.10 Гц"
  bool Pass = false;
};

struct TSidePanel {
  std::string Title;
  std::vector<TPanelRow> Rows;
  std::vector<std::string> Notes;
  bool Empty() const { return Title.empty() && Rows.empty() && Notes.empty(); }
};

// The kinds of SetupSeries: spectra (value and spread columns), relative spectra, H/V ratios,
// and responses (one curve per channel, no spread).
enum TSeriesSetKind : int { kSpectrumSet = 0, kRelativeSet = 1, kHVSet = 2, kResponseSet = 3 };

// Everything the viewer window shows.
struct TSpectrumView {
  std::string Caption;
  std::string BottomTitle = kFrequencyAxisTitle;
  std::string LeftTitle;
  bool LogX = true;
  bool LogY = true;
  // The spread of each curve (its point series) drawn as a shaded band from value − spread to
  // value + spread rather than as dots.
  bool SpreadAsBand = false;
  std::vector<TChartSeries> Series;

  // The choice list "Выбрать", its state and the chosen entry (-1 none).
  std::vector<std::string> Choices;
  bool ChoicesEnabled = false;
  int Selection = -1;
  // "Зафиксировать выбор": the chosen entry is given to each record shown next.
  bool FixEnabled = false;
  bool FixChecked = false;

  // The record shown and how many there are, for "Предыдущий" and "Следующий".
  int CurrentIndex = 0;
  int RecordCount = 0;
  bool PrevEnabled = false;
  bool NextEnabled = false;

  // The popup item "Интегрирование" (power spectra only).
  bool IntegrationEnabled = false;

  // Shown beside the chart when not empty (the criteria of an H/V analysis).
  TSidePanel Panel;
};

// Clears the check list, the series and the choice list, then makes n series: for kinds other
// than responses, odd series are point series (the spread) in the colour of the series before,
// even ones line series in SeriesColor(i div 2); responses are n line series in SeriesColor(i).
// Titles come from names (an empty title where names run out). The choice list is filled for
// kinds 0..2 and enabled for them only.
void SetupSeries(TSpectrumView& view, int n, int kind, const std::vector<std::string>& names);

// Removes every series, choice and the side panel (the chart then shows nothing).
void ClearChart(TSpectrumView& view);

// Sets Prev/Next from the current index and the record count.
void UpdateNavigation(TSpectrumView& view);

}  // namespace tarvik

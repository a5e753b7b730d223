#pragma once

// Band amplitudes of the viewer's curves and the texts of the three dialogs that report them:
// the RMS amplitude from the band integral of a power spectrum ("Интегрирование") and the
// square root of the band mean ("Среднее").

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.h"
#include "viewers/spectrum_chart.h"

namespace tarvik {

// The popup menu: two submenus with the same three items.
inline constexpr char kIntegrationMenu[] = "Интегрирование";
inline constexpr char kMeanMenu[] = "Среднее";
inline constexpr char kStandardBandsItem[] = "В стандартных диапазонах";
inline constexpr char kGivenBandItem[] = "В заданном диапазоне ";
inline constexpr char kWindowBandItem[] = "В текущем окне";

// The query of "В заданном диапазоне ".
inline constexpr char kBandQueryCaption[] = "Ostrel";
inline constexpr char kBandQueryPrompt[] = "Задайте частотный диапазон в Гц";
inline constexpr char kBandQueryDefault[] = "0.5-10";

// What stands in a report where a series has no point in the band.
inline constexpr char kNoData[] = "нет данных";

enum class TBandMeasure { kIntegral, kMean };

// √I with I the band integral of y over x (ascending) from the first point at or above lo to the
// last point at or below hi: half the first point's cell, every following point's full cell,
// and half the last point's cell again. Each point's cell is its distance from the point
// before (the first point of the series takes the distance to the second). nullopt when no
// point lies in [lo, hi].
std::optional<double> BandIntegral(const std::vector<double>& x, const std::vector<double>& y,
                                   double lo, double hi);
// √M with M the mean of y over the same points; nullopt when no point lies in [lo, hi].
std::optional<double> BandMean(const std::vector<double>& x, const std::vector<double>& y,
                               double lo, double hi);

// The six standard bands, Hz.
inline constexpr std::array<std::pair<double, double>, 6> kStandardBands = {
    {{0.5, 0.8}, {0.8, 1.0}, {1.0, 2.0}, {2.0, 4.0}, {4.0, 8.0}, {8.0, 16.0}}};

// One reported value.
struct TBandValue {
  int Series = -1;  // index in the view; -1 when there is no such series
  std::string Title;
  double Lo = 0.0;
  double Hi = 0.0;
  std::optional<double> Value;
};

// The standard bands of the first checked series s and of series s + 1, band by band (s, s + 1).
std::vector<TBandValue> StandardBandValues(const TSpectrumView& view, TBandMeasure measure);
// One value per checked series for [lo, hi].
std::vector<TBandValue> SeriesBandValues(const TSpectrumView& view, TBandMeasure measure, double lo,
                                         double hi);

// A band typed by the user: two numbers separated by "-" and/or spaces ("0.5-10", "1 5").
// false when the text is not two numbers.
bool ParseBandRange(std::string_view text, double& lo, double& hi);

// The dialog that shows a report.
struct TBandDialog {
  // An input box whose edit field holds Text (caption and prompt empty); otherwise a message
  // box showing Text.
  bool InputBox = false;
  // OK and Cancel, OK copying Clipboard; otherwise OK only.
  bool OkCancel = false;
  std::string Text;
  std::string Clipboard;
  // The report without the buttons' instruction (what the command line prints).
  std::string Report;
};

// "В стандартных диапазонах": every value of StandardBandValues as "\t%1.5e" on one line.
TBandDialog StandardBandsDialog(const TSpectrumView& view, TBandMeasure measure);
// "В заданном диапазоне ": answer is the user's text; nullopt (with the reason in error) when it
// is not a band.
std::optional<TBandDialog> GivenBandDialog(const TSpectrumView& view, TBandMeasure measure,
                                           std::string_view answer, TStatus* error = nullptr);
// "В текущем окне": lo and hi are the bottom axis' current range.
TBandDialog WindowBandDialog(const TSpectrumView& view, TBandMeasure measure, double lo, double hi);

}  // namespace tarvik

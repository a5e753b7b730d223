#include "project/settings_page.h"

#include <charconv>
#include <cmath>

#include "common/rounding.h"

namespace tarvik::settings_page {

namespace {

bool KnownWindow(int32_t type) {
  return type >= 0 && type < kWindowTypeCount;
}

std::string Fixed3(double v) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
  if (result.ec != std::errc()) return {};
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string_view WindowItem(int32_t type) {
  return kWindowItems[static_cast<size_t>(KnownWindow(type) ? type : kWindowRectangle)];
}

std::string FormulaLabel(int32_t type) {
  return std::string(kFormulaCaption) +
         std::string(kWindowFormulas[static_cast<size_t>(KnownWindow(type) ? type : 0)]);
}

bool WindowUsesB(int32_t type) {
  return type == kWindowGauss || type == kWindowKaiser || type == kWindowTukey;
}

std::string BHint(int32_t type) {
  std::string hint(kBSpin.Hint);
  if (type == kWindowTukey) hint += " (доля неизменяемых данных в %)";
  return hint;
}

double UnitCoefOfItem(int item) {
  if (item < 0 || item >= static_cast<int>(kUnitItems.size())) return kUnitItems[0].Coef;
  return kUnitItems[static_cast<size_t>(item)].Coef;
}

TNoiseSpin NoiseSpin(const TSpectrumSettings& settings) {
  if (settings.EstimationType == TEstimationType::kBartlett) {
    return {"Помех, с", "Минимальная длительность интервалов с помехами между сегментами тишины",
            RoundToInt32Clamped(settings.NoiseDur)};
  }
  return {"Объединять                      значений",
          "Количество точек суммирования для получения оценки Даниэля", settings.DanielWin};
}

void SetNoiseSpinValue(TSpectrumSettings& settings, int value) {
  if (settings.EstimationType == TEstimationType::kBartlett) {
    settings.NoiseDur = value;
  } else {
    settings.DanielWin = value;
  }
}

TPageRefresh RefreshPage(TSpectrumSettings& edited, double fs) {
  TPageRefresh page;
  page.BEnabled = WindowUsesB(edited.WindowType);
  page.BHint = BHint(edited.WindowType);
  page.FormulaLabel = FormulaLabel(edited.WindowType);
  if (!DeriveGeometry(edited, fs, &page.GeometryError)) return page;

  page.SilenceLengthText = Fixed3(edited.SegmentLength / fs);
  const int32_t M = edited.TransformLength;
  const int32_t first = edited.DataOffset;
  const int32_t last = edited.DataOffset + edited.SegmentLength - 1;
  // Only zero filling leaves indices outside the data; they carry no weight.
  const bool zero_outside = edited.UseFFT && edited.FillByZero;
  std::vector<double> window(static_cast<size_t>(M));
  FillWindow(window, edited.WindowType, edited.B);
  page.WindowChart.reserve(static_cast<size_t>(M));
  for (int32_t i = 0; i < M; ++i) {
    const bool inside = i >= first && i <= last;
    const double y = zero_outside && !inside ? 0.0 : window[static_cast<size_t>(i)];
    page.WindowChart.push_back({static_cast<double>(i - M / 2), y});
  }
  return page;
}

}  // namespace tarvik::settings_page

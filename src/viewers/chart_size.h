#pragma once

// The size of a chart saved to a file, as the person types it: "1200x800" (also "1200 × 800",
// "1200*800", "1200 800"), each side within kMinChartSide..kMaxChartSide pixels.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

inline constexpr int kMinChartSide = 100;
inline constexpr int kMaxChartSide = 10000;

struct TChartSize {
  int Width = 0;
  int Height = 0;
};

std::optional<TChartSize> ParseChartSize(std::string_view text);
std::string ChartSizeText(TChartSize size);

}  // namespace tarvik

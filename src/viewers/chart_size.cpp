#include "viewers/chart_size.h"

#include <charconv>

namespace tarvik {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

// One side: digits only, within the bounds.
std::optional<int> Side(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < kMinChartSide || value > kMaxChartSide) return std::nullopt;
  return value;
}

}  // namespace

std::optional<TChartSize> ParseChartSize(std::string_view text) {
  // The separators a person types between the sides; "×" is two bytes in UTF-8.
  for (std::string_view separator : {"×", "x", "X", "х", "Х", "*", " "}) {
    const size_t at = text.find(separator);
    if (at == std::string_view::npos) continue;
    const auto width = Side(text.substr(0, at));
    const auto height = Side(text.substr(at + separator.size()));
    if (!width || !height) return std::nullopt;
    return TChartSize{*width, *height};
  }
  return std::nullopt;
}

std::string ChartSizeText(TChartSize size) {
  return std::to_string(size.Width) + "x" + std::to_string(size.Height);
}

}  // namespace tarvik

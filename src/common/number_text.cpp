#include "common/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

namespace tarvik {

namespace {

// Drops one leading "+" (which std::from_chars does not accept) when a digit or "." follows.
bool StripPlus(std::string_view& text) {
  if (text.empty() || text.front() != '+') return true;
  text.remove_prefix(1);
  return !text.empty() &&
         (std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.');
}

bool StartsLikeNumber(std::string_view text) {
  const size_t i = (!text.empty() && text.front() == '-') ? 1 : 0;
  return i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.');
}

template <typename T>
std::optional<T> ParseWhole(std::string_view text) {
  if (!StripPlus(text) || !StartsLikeNumber(text)) return std::nullopt;
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<double> ParseDouble(std::string_view text) {
  return ParseWhole<double>(text);
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  return ParseWhole<int32_t>(text);
}

std::optional<int64_t> ParseInt64(std::string_view text) {
  return ParseWhole<int64_t>(text);
}

std::optional<double> ParseLeadingDouble(std::string_view text, size_t* consumed) {
  std::string_view rest = text;
  if (!StripPlus(rest) || !StartsLikeNumber(rest)) return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  if (consumed != nullptr) *consumed = static_cast<size_t>(end - text.data());
  return value;
}

}  // namespace tarvik

#pragma once

// Locale-independent conversion of one whole text field to a number. A Qt host may switch the C
// locale to a decimal comma; these never look at the locale, so files read the same everywhere.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvik {

// Decimal numbers with an optional sign, "." and exponent. One leading "+" is accepted before a
// digit or "." ("+1.5E+03"), "+-1" is not. The whole text must convert and the value must be
// finite ("inf" and "nan" are refused); nullopt otherwise. The caller trims the field.
std::optional<double> ParseDouble(std::string_view text);
std::optional<int32_t> ParseInt32(std::string_view text);
std::optional<int64_t> ParseInt64(std::string_view text);

// The number at the very start of text, in the same notation, the rest of the text left alone
// ("1.585 uV" gives 1.585 and 5 characters consumed). nullopt when text does not begin with a
// number or the value is not finite.
std::optional<double> ParseLeadingDouble(std::string_view text, size_t* consumed = nullptr);

// The same, storing into value only on success.
template <typename T>
bool ParseInto(std::optional<T> parsed, T& value) {
  if (!parsed) return false;
  value = *parsed;
  return true;
}

}  // namespace tarvik

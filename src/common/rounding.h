#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tarvik {

// Round to nearest, ties to even (the default floating-point rounding mode).
inline double RoundHalfEven(double v) {
  return std::nearbyint(v);
}

// Round to nearest-even and convert, saturating at the int64 range; NaN gives 0.
inline int64_t RoundToInt64(double v) {
  if (std::isnan(v)) return 0;
  double r = std::nearbyint(v);
  if (r >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
  if (r <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(r);
}

// Round to nearest-even and clamp to the int32 range; NaN gives 0.
inline int32_t RoundToInt32Clamped(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::nearbyint(v));
}

// Clamp an int64 to the int32 range.
inline int32_t ClampToInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace tarvik

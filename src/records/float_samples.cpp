#include "records/float_samples.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/rounding.h"

namespace tarvik {

void FloatScale::Add(double value) {
  if (!std::isfinite(value)) return;
  const double magnitude = std::abs(value);
  if (magnitude > largest_) largest_ = magnitude;
  if (whole_ && (value != std::nearbyint(value) ||
                 magnitude > static_cast<double>(std::numeric_limits<int32_t>::max()))) {
    whole_ = false;
  }
}

double FloatScale::Scale() const {
  if (whole_ || largest_ == 0.0) return 1.0;
  constexpr double kTop = 8388608.0;  // 2^23
  // Kept within what a double's power of ten holds, however small or large the values are.
  constexpr int kMostDigits = 300;
  const double exact = std::floor(std::log10(kTop) - std::log10(largest_));
  int power = static_cast<int>(std::clamp(exact, double{-kMostDigits}, double{kMostDigits}));
  // log10 may land a hair off an exact power: step back while the largest value overshoots.
  while (power > -kMostDigits && largest_ * std::pow(10.0, power) > kTop) --power;
  return std::pow(10.0, power);
}

int32_t ScaleSample(double value, double scale) {
  if (!std::isfinite(value)) return 0;
  return RoundToInt32Clamped(value * scale);
}

std::vector<int32_t> ScaleSamples(std::span<const float> values, double scale) {
  std::vector<int32_t> out(values.size());
  for (size_t i = 0; i < values.size(); ++i) out[i] = ScaleSample(values[i], scale);
  return out;
}

}  // namespace tarvik

#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarvik {

// Formats that store samples as floating-point values in physical units (or as counts written
// as floats) are held as int32 counts: value × scale, with the scale as the channel's
// coefficient, so that count / coefficient gives the value back.
class FloatScale {
 public:
  // Takes one value into account (values that are not finite are left out).
  void Add(double value);
  // 1 when every value is a whole number within int32 (counts written as floats stay counts);
  // otherwise the power of ten that brings the largest magnitude to at most 2^23, which keeps
  // the 24 bits of a float's mantissa and leaves room for louder files of the same record.
  double Scale() const;

 private:
  double largest_ = 0.0;
  bool whole_ = true;
};

// round(value × scale) for each value, clamped to int32; values that are not finite give 0.
std::vector<int32_t> ScaleSamples(std::span<const float> values, double scale);
int32_t ScaleSample(double value, double scale);

}  // namespace tarvik

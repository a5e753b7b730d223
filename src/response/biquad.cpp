#include "response/biquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvik {

namespace {

std::complex<double> Product(const TBiquadCascade& cascade, std::complex<double> x) {
  std::complex<double> h(1.0, 0.0);
  const int n = std::clamp(cascade.Count, 0, kMaxBiquadSections);
  const std::complex<double> x2 = x * x;
  for (int i = 0; i < n; ++i) {
    const TBiquadSection& s = cascade.Sections[static_cast<size_t>(i)];
    h *= (s.B0 + s.B1 * x + s.B2 * x2) / (1.0 + s.A1 * x + s.A2 * x2);
  }
  return h;
}

}  // namespace

std::complex<double> EvaluateSections(const TBiquadCascade& cascade, double f) {
  return Product(cascade, std::complex<double>(0.0, 2.0 * std::numbers::pi * f));
}

std::complex<double> EvaluateDigitalSections(const TBiquadCascade& cascade, double fs, double f) {
  const double w = 2.0 * std::numbers::pi * f / fs;
  return Product(cascade, std::complex<double>(std::cos(w), -std::sin(w)));
}

}  // namespace tarvik

#pragma once

#include <array>
#include <complex>
#include <cstdint>

namespace tarvik {

// One second-order section: (b0 + b1·x + b2·x²) / (1 + a1·x + a2·x²), where x is s for the
// analog sections of a response and z⁻¹ for the digital band-pass filters.
struct TBiquadSection {
  double B0 = 0.0, B1 = 0.0, B2 = 0.0, A1 = 0.0, A2 = 0.0;
};

inline constexpr int kMaxBiquadSections = 20;

// Up to 20 sections in cascade order; Count 0 is the identity filter.
struct TBiquadCascade {
  int32_t Count = 0;
  std::array<TBiquadSection, kMaxBiquadSections> Sections{};
};

// The cascade's analog response at f Hz: Π sections at s = j·2πf.
std::complex<double> EvaluateSections(const TBiquadCascade& cascade, double f);

// The cascade's digital response at f Hz for sampling rate fs: Π sections at
// z⁻¹ = e^(−j·2πf/fs); 1 for an empty cascade.
std::complex<double> EvaluateDigitalSections(const TBiquadCascade& cascade, double fs, double f);

}  // namespace tarvik

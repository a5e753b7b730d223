#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/status.h"

namespace tarvik {

// Window types, in the order of the settings page's window list.
enum TWindowType : int32_t {
  kWindowRectangle = 0,
  kWindowBartlett = 1,
  kWindowHann = 2,
  kWindowHamming = 3,
  kWindowGauss = 4,
  kWindowKaiser = 5,
  kWindowWelch = 6,
  kWindowTukey = 7,
};
inline constexpr int kWindowTypeCount = 8;

// How a spectrum is estimated: one segment smoothed over neighbouring lines, or the average of
// the quiet segments. The numbers are the settings page's items and what the project file keeps;
// a stored number outside them is carried as it is.
enum class TEstimationType : int32_t { kDaniell = 0, kBartlett = 1 };
// What a spectrum holds: amplitudes or powers (numbered as above).
enum class TSpectrumType : int32_t { kAmplitude = 0, kPower = 1 };

// One set of processing settings. Field names are the keys under which the project file keeps
// them; SegmentLength, TransformLength, DataOffset, NoiseGap and Normalization are derived from
// the others and a sampling rate by DeriveGeometry before every use.
struct TSpectrumSettings {
  TEstimationType EstimationType = TEstimationType::kBartlett;
  TSpectrumType SpectrumType = TSpectrumType::kAmplitude;
  int32_t WindowType = kWindowHann;
  int32_t SegmentLength = 8192;    // samples of data in one segment
  int32_t TransformLength = 8192;  // length of the Fourier transform
  int32_t DataOffset = 0;          // buffer index of the segment's first sample
  int32_t NoiseGap = 2000;         // NoiseDur in samples
  int32_t DanielWin = 5;           // neighbouring lines averaged by the Daniell estimate
  int32_t EdgeOrder = 6;
  int32_t NoiseOrder = 6;
  int32_t UnitOut = 1;  // 0 displacement, 1 velocity, 2 acceleration
  bool UseFFT = true;
  bool FillByZero = false;  // bring a segment to 2^n with zeros instead of more data
  bool EdgeEffect = false;
  bool NoiseFilter = false;
  bool IdentCorrection = false;
  double UnitCoef = 1.0;
  double FMin = 0.1;
  double FMax = 100.0;
  double NoiseFMin = 0.1;
  double NoiseFMax = 100.0;
  double SilenceDur = 20.0;  // segment duration, s
  double NoiseDur = 5.0;     // gap skipped after a disturbed sample, s
  double Normalization = 1.0;
  double B = 6.0;  // window parameter b
};

inline constexpr int kSettingsSetCount = 2;
inline constexpr int kMicroseismSet = 0;
inline constexpr int kEventSet = 1;

// The constant default sets: 0 for microseism records, 1 for records of impulsive events.
inline constexpr TSpectrumSettings kDefaultSpectrumSettings[kSettingsSetCount] = {
    TSpectrumSettings{},
    [] {
      TSpectrumSettings s;
      s.EstimationType = TEstimationType::kDaniell;
      return s;
    }(),
};

// The default set `set` (0 or 1; any other value gives set 0).
const TSpectrumSettings& DefaultSpectrumSettings(int set);

// Copies the default set `set` over `settings`.
void RestoreDefaults(TSpectrumSettings& settings, int set);

// Weight of sample i (0 <= i < M) of an M-sample window of the given type with parameter b.
// Unknown types give the rectangle; i outside 0..M-1 gives 0.
double WindowValue(int64_t i, int64_t M, int32_t type, double b);

// Fills w with WindowValue(i, w.size(), type, b) for every i; one pass of what the segment loop
// would otherwise evaluate sample by sample.
void FillWindow(std::span<double> w, int32_t type, double b);

// Modified Bessel function of the first kind, order 0; +inf once the series overflows.
double BesselI0(double x);

// The smallest power of two not below n; 0 for n <= 0, 1 for n = 1; 0 when the result would
// not fit in 62 bits.
int64_t NextPowerOfTwo(int64_t n);

// Longest segment the geometry accepts, in samples (its transform length must fit in int32).
inline constexpr int64_t kMaxSegmentSamples = int64_t{1} << 30;

// Derives SegmentLength, TransformLength, DataOffset, Normalization and, for the Bartlett
// estimate, NoiseGap from the other fields and the sampling rate fs (Hz). Returns false and
// leaves the settings unchanged when no usable segment results (fewer than two samples, too
// long, or a window with no weight on the data); message then gets the reason for the user.
bool DeriveGeometry(TSpectrumSettings& settings, double fs, std::string* message = nullptr);
// The same, the reason as kSegmentTooShort, kSegmentTooLong or kWindowHasNoWeight (kOk when the
// geometry is derived).
TStatus DeriveSegmentGeometry(TSpectrumSettings& settings, double fs);

}  // namespace tarvik

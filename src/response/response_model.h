#pragma once

// The response of one device (TFilterPack) and of a recording chain (TCombinedFilter), as
// read from response files and evaluated by response_evaluation.h.

#include <array>
#include <complex>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/datetime.h"
#include "common/status.h"
#include "response/biquad.h"

namespace tarvik {

using TComplex = std::complex<double>;

inline constexpr int kMaxRoots = 40;         // zeros, and poles, of one ZP description
inline constexpr int kMaxPolyCascades = 20;  // polynomial cascades of one pack
inline constexpr int kMaxCascadeOrder = 39;  // highest power of s in a polynomial cascade

using TComplexRoots = std::array<TComplex, kMaxRoots>;

// H(s) = NormFactor · Π(s − zᵢ) / Π(s − pₖ), s = j·2πf, roots in rad/s.
struct TComplexFilter {
  char Kind = 0;               // 'S' (analog) once a description is read
  double NormFrequency = 0.0;  // Hz
  double NormValue = 0.0;      // modulus at NormFrequency
  double NormFactor = 0.0;     // the constant A0
  int32_t NormType = 0;        // 0, 1 or 2: how NormalizeZP reconciles NormValue and NormFactor
  int32_t ZeroCount = 0;       // 0..kMaxRoots
  int32_t PoleCount = 0;       // 0..kMaxRoots
  TComplexRoots Zeros{};
  TComplexRoots Poles{};
};

// One row of an amplitude/phase table; phase in radians.
struct TFAPRow {
  double Frequency = 0.0;
  double Amplitude = 0.0;
  double Phase = 0.0;
};

// Rows in the order the file gives them (meant to be ascending in frequency; not sorted).
using TFAPFilter = std::vector<TFAPRow>;

// (N0 + N1·s + … + N_Order·s^Order) / (1 + D1·s + … + D_Order·s^Order).
struct TPolyCascade {
  int32_t Order = 0;                                     // 0..kMaxCascadeOrder
  std::array<double, kMaxCascadeOrder + 1> Numerator{};  // N0..N39
  std::array<double, kMaxCascadeOrder> Denominator{};    // D1..D39 (Denominator[k − 1] = Dk)
};

struct TPolyCascades {
  int32_t Count = 0;  // 0..kMaxPolyCascades
  std::array<TPolyCascade, kMaxPolyCascades> Items{};
};

struct TDeviceInfo {
  std::string Network;
  std::string Station;
  std::string Location;
  std::string Channel;
  std::string Serial;
  std::string Model;
  std::string Note;
  std::string UnitIn;   // free text, shown only
  std::string UnitOut;  // free text, shown only
  TDateTime Date = 0.0;
  TDateTime EndDate = 0.0;
  bool ZPAvailable = false;
  bool FAPAvailable = false;
  bool BiCascadeAvailable = false;
  bool CascadeAvailable = false;
};

// A digital filter stage of a response read from a station inventory, evaluated at its own
// input sampling rate: either Σ Numerator[k]·z⁻ᵏ / Σ Denominator[k]·z⁻ᵏ (an empty denominator
// is 1), or, with ByRoots, Π(z − Zeros) / Π(z − Poles). Its gain is held by the pack's ZP.
struct TDigitalStage {
  double Rate = 0.0;  // Hz
  bool ByRoots = false;
  std::vector<double> Numerator;
  std::vector<double> Denominator;
  std::vector<TComplex> Zeros;
  std::vector<TComplex> Poles;
};

// One device. Evaluation uses the first available description in the order ZP, biquad
// sections, polynomial cascades, FAP table; with none the response is 1. The digital stages,
// when there are any, multiply whichever description is used.
struct TFilterPack {
  TDeviceInfo Device;
  TFAPFilter FAP;
  TComplexFilter ZP;
  TBiquadCascade BiCascade;  // analog sections: x = s
  TPolyCascades Cascades;
  std::vector<TDigitalStage> Digital;
};

// The devices of a recording chain in the order they were added; its response is the product
// of theirs (1 for an empty chain).
using TCombinedFilter = std::vector<TFilterPack>;

// Appends a copy of pack as the chain's new last device.
void AppendPack(const TFilterPack& pack, TCombinedFilter& chain);

// The outcome of loading or writing a response file. On failure, message names the file and,
// when one line is at fault, that line: "sensor.rsp, line 12: ...".

}  // namespace tarvik

#pragma once

// The quantity a response takes in. The spectrum calculation divides counts by the chain's
// modulus and reaches displacement or acceleration by one integration or differentiation, so
// every chain is read as taking ground velocity in metres per second. A response file that
// declares another ground unit is turned into that form here, in one place.

#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

enum class TInputQuantity {
  kNotGround,     // an electrical or digital unit (V, COUNTS, A) or none: a device inside a chain
  kDisplacement,  // a length unit
  kVelocity,      // a length per second
  kAcceleration,  // a length per second squared
  kUnknown,       // anything else (PA, RAD/S, DEGC …): no ground-motion spectrum can be had
};

struct TInputUnit {
  TInputQuantity Quantity = TInputQuantity::kNotGround;
  // The unit's length in metres (1e-9 for NM).
  double Metres = 1.0;
};

// The meaning of a declared input unit, read from its first word without regard to case: M,
// CM, MM, UM, NM for displacement, followed by /S or /SEC for velocity and by /S**2, /S^2, /S2,
// /S/S (or the same with SEC) for acceleration; V, VOLTS, COUNT(S), A, NONE and an empty text are
// not ground units.
TInputUnit ParseInputUnit(std::string_view text);

// Turns pack, whose response takes the quantity its Device.UnitIn declares, into the response
// to ground velocity in m/s: divided by the unit's length in metres, and divided by iω for
// displacement or multiplied by iω for acceleration (a zero or a pole at 0 is cancelled when the
// description has one, otherwise one is added). converted is set when the response changed.
// Fails, naming the file (name) and the unit, when the unit is no ground-motion unit or when the
// description cannot take the change (not poles and zeros, or no room for another root).
TStatus ConvertToVelocityInput(TFilterPack& pack, const std::string& name,
                               bool* converted = nullptr);

}  // namespace tarvik

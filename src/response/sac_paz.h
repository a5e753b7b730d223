#pragma once

// SAC poles-and-zeros files: "ZEROS n", "POLES n" and "CONSTANT c" lines, each count followed
// by its root lines (real and imaginary part in rad/s).

#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

// Fills zp (reset first) as NormType 2, NormValue 1, NormFrequency 1 and NormFactor = CONSTANT,
// so that the response is CONSTANT·Π(s − z)/Π(s − p); no normalisation follows. Lines whose
// first non-blank character is "#" or "*" are comments. The three parts may come in any order;
// a part without its keyword is taken from its place (the first header is the zeros' count,
// the next the poles', the next the constant), and roots not given are 0 + 0j. A missing ZEROS
// or POLES part means no such roots; a missing CONSTANT, a count above 40 or a value that is
// not a number fails, naming the file (name) and the line. The units a comment header declares
// for the description read ("* INPUT UNIT : M", "* OUTPUT UNIT  COUNTS", as the tools that
// write these files put them) go to units when given; they are empty when not declared.
struct TSacPazUnits {
  std::string Input;
  std::string Output;
};
TStatus ReadSacPazText(std::string_view bytes, const std::string& name, TComplexFilter& zp,
                       TSacPazUnits* units = nullptr);

}  // namespace tarvik

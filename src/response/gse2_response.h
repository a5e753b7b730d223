#pragma once

// GSE2 calibration messages: a CAL2 line per channel, followed by PAZ2 stages with their pole
// and zero lines (other stage types are skipped).

#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

// Fills packs (cleared first) with one pack per CAL2 line, in file order. The poles and zeros of
// all PAZ2 stages of a channel are gathered into one ZP description, NormType 1, whose modulus
// at 1/period is 10⁹ / calibration (counts per metre). An empty off-date (a calibration still
// valid) gives EndDate 0. PAZ2 stages before the first CAL2 line belong to no channel and are
// skipped. Fails, naming the file (name) and the line, when a number, date or time does not
// convert, the calibration or its period is 0, the file ends inside a stage's roots, or more
// than 40 poles or zeros are given.
TStatus ReadGse2Text(std::string_view bytes, const std::string& name, TCombinedFilter& packs);

}  // namespace tarvik

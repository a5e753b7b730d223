#pragma once

// SEED RESP listings: the text form of a SEED response, one "BnnnFmm ..." line per field.

#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

// Fills packs (cleared first) with one pack per channel response of the listing (each begun by
// a B050F03 station line), in file order. The poles and zeros of all analog stages (B053) are
// gathered into one ZP description, NormType 1, whose modulus at the last normalisation
// frequency read is the channel sensitivity (stage 0 of B058, when the listing gives it last)
// or else the product of the stage gains. Roots of a stage given in Hz (type B) are turned into
// rad/s. UnitIn is the input unit of stage 1 (B053F05 or B054F05). Lines before the first B050F03
// belong to no response and are ignored. Fails, naming the file (name) and the line, when a count,
// stage or root does not convert, a root index lies outside its stage, or more than 40 zeros or
// poles are given.
TStatus ReadSeedRespText(std::string_view bytes, const std::string& name, TCombinedFilter& packs);

// A SEED time "year,day[,hh[:mm[:ss[.ffff]]]]" (1989,241,00:00:00.0000) as a TDateTime; 0 when
// it does not convert (for example "No Ending Time").
TDateTime ParseSeedTime(std::string_view text);

}  // namespace tarvik

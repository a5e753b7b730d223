#pragma once

#include <string>

#include "common/datetime.h"

namespace tarvik {

// "dd.MM.yyyy h:nn:ss", the time left out at exactly midnight; the time rounds to the second.
std::string FormatProjectDateTime(TDateTime value);

// The length of a selection as a time of day ("h:nn:ss"), preceded by the whole days and
// "сут. " when it is a day or longer ("1сут. 2:00:00"); "-" before a negative length.
std::string SelectionLengthText(double days);

}  // namespace tarvik

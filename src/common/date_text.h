#pragma once

// Dates, times and lengths as text for a person: the project file's form, and the one form the
// windows show everywhere (day first, the time always shown with two-digit hours).

#include <cstddef>
#include <string>

#include "common/datetime.h"

namespace tarvik {

// Room for any text FormatProjectDateTime gives.
inline constexpr size_t kProjectDateTimeChars = 64;

// "dd.MM.yyyy h:nn:ss", the time left out at exactly midnight; the time rounds to the second.
std::string FormatProjectDateTime(TDateTime value);
// The same text written to buf, without allocating; gives its length. A project file and the
// processing lists hold these by the ten thousand.
size_t FormatProjectDateTimeTo(TDateTime value, char (&buf)[kProjectDateTimeChars]);

// The length of a selection as a time of day ("h:nn:ss"), preceded by the whole days and
// "сут. " when it is a day or longer ("1сут. 2:00:00"); "-" before a negative length.
std::string SelectionLengthText(double days);

// "14.05.2024 00:00:00".
std::string ShownDateTime(TDateTime t);

// "14.05.2024 10:30:01.250": to the millisecond, where a sample's time is shown.
std::string ShownDateTimeMs(TDateTime t);

}  // namespace tarvik

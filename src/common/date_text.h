#pragma once

// The date and time as the windows show them to a person: one form everywhere, day first, the
// time always shown with two-digit hours.

#include <string>

#include "common/datetime.h"

namespace tarvik {

// "14.05.2024 00:00:00".
std::string ShownDateTime(TDateTime t);

// "14.05.2024 10:30:01.250": to the millisecond, where a sample's time is shown.
std::string ShownDateTimeMs(TDateTime t);

}  // namespace tarvik

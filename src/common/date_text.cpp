#include "common/date_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tarvik {

std::string FormatProjectDateTime(TDateTime value) {
  // Whole seconds: round first so that 59.9996 s does not print as the previous second.
  const double seconds = std::nearbyint(value * kSecondsPerDay);
  const CivilTime c = DecodeDateTime(std::isfinite(seconds) ? seconds / kSecondsPerDay : value);
  char buf[64];
  if (c.Hour == 0 && c.Minute == 0 && c.Second == 0) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", c.Day, c.Month, c.Year);
  } else {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %d:%02d:%02d", c.Day, c.Month, c.Year, c.Hour,
                  c.Minute, c.Second);
  }
  return buf;
}

std::string SelectionLengthText(double days) {
  std::string sign;
  if (days < 0) {
    sign = "-";
    days = -days;
  }
  if (!std::isfinite(days)) return sign + "0:00:00";
  auto seconds = static_cast<int64_t>(std::nearbyint(std::min(days, 1e9) * kSecondsPerDay));
  const int64_t whole_days = seconds / 86400;
  seconds %= 86400;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  if (whole_days > 0) return sign + std::to_string(whole_days) + "сут. " + buf;
  return sign + buf;
}

std::string ShownDateTime(TDateTime t) {
  return FormatDateTime("dd.MM.yyyy hh:nn:ss", t);
}

std::string ShownDateTimeMs(TDateTime t) {
  return FormatDateTime("dd.MM.yyyy hh:nn:ss.zzz", t);
}

}  // namespace tarvik

#include "common/date_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tarvik {

namespace {

// Two decimal digits of v (0..99) at p.
char* TwoDigits(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

// "h:nn:ss" of a time of day in whole seconds (0..86399), hours without a leading zero.
char* TimeOfDay(char* p, int64_t seconds) {
  const int h = static_cast<int>(seconds / 3600);
  if (h >= 10) *p++ = static_cast<char>('0' + h / 10);
  *p++ = static_cast<char>('0' + h % 10);
  *p++ = ':';
  p = TwoDigits(p, static_cast<int>(seconds / 60 % 60));
  *p++ = ':';
  return TwoDigits(p, static_cast<int>(seconds % 60));
}

}  // namespace

size_t FormatProjectDateTimeTo(TDateTime value, char (&buf)[kProjectDateTimeChars]) {
  // Whole seconds: round first so that 59.9996 s does not print as the previous second.
  const double seconds = std::nearbyint(value * kSecondsPerDay);
  const CivilTime c = DecodeDateTime(std::isfinite(seconds) ? seconds / kSecondsPerDay : value);
  const bool midnight = c.Hour == 0 && c.Minute == 0 && c.Second == 0;
  if (c.Year < 0 || c.Year > 9999 || c.Month < 1 || c.Month > 12 || c.Day < 1 || c.Day > 31 ||
      c.Hour < 0 || c.Hour > 23 || c.Minute < 0 || c.Minute > 59 || c.Second < 0 || c.Second > 59) {
    // Beyond what a calendar day holds: printf's form of the same fields.
    const int n = midnight
                      ? std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", c.Day, c.Month, c.Year)
                      : std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %d:%02d:%02d", c.Day,
                                      c.Month, c.Year, c.Hour, c.Minute, c.Second);
    return static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1));
  }
  char* p = TwoDigits(buf, c.Day);
  *p++ = '.';
  p = TwoDigits(p, c.Month);
  *p++ = '.';
  p = TwoDigits(TwoDigits(p, c.Year / 100), c.Year % 100);
  if (!midnight) {
    *p++ = ' ';
    p = TimeOfDay(p, (c.Hour * 60 + c.Minute) * 60 + c.Second);
  }
  return static_cast<size_t>(p - buf);
}

std::string FormatProjectDateTime(TDateTime value) {
  char buf[kProjectDateTimeChars];
  return std::string(buf, FormatProjectDateTimeTo(value, buf));
}

std::string SelectionLengthText(double days) {
  // Sign, whole days, "сут. " and the time of day, formatted in place: every entry of the
  // processing lists has one.
  char buf[64];
  char* p = buf;
  if (days < 0) {
    *p++ = '-';
    days = -days;
  }
  if (!std::isfinite(days)) days = 0.0;
  auto seconds = static_cast<int64_t>(std::nearbyint(std::min(days, 1e9) * kSecondsPerDay));
  const int64_t whole_days = seconds / 86400;
  seconds %= 86400;
  if (whole_days > 0) {
    char digits[24];
    char* d = digits + sizeof digits;
    for (int64_t v = whole_days; v > 0; v /= 10) *--d = static_cast<char>('0' + v % 10);
    p = std::copy(d, digits + sizeof digits, p);
    constexpr std::string_view kDays = "сут. ";
    p = std::copy(kDays.begin(), kDays.end(), p);
  }
  p = TimeOfDay(p, seconds);
  return std::string(buf, static_cast<size_t>(p - buf));
}
std::string ShownDateTime(TDateTime t) {
  return FormatDateTime("dd.MM.yyyy hh:nn:ss", t);
}

std::string ShownDateTimeMs(TDateTime t) {
  return FormatDateTime("dd.MM.yyyy hh:nn:ss.zzz", t);
}

}  // namespace tarvik

#include "common/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/number_text.h"
#include "common/rounding.h"

namespace tarvik {

namespace {

namespace chr = std::chrono;

// 1899-12-30 as days since the Unix epoch.
constexpr int64_t kEpochOffset = -25569;

constexpr int64_t kMillisPerDay = 86400000;

}  // namespace

int64_t DaysFromCivil(int year, int month, int day) {
  // Months out of 1..12 carry into the year, so that encodings built by adding parts work.
  int64_t y = year;
  int64_t m = month - 1;
  y += m >= 0 ? m / 12 : (m - 11) / 12;
  m = ((m % 12) + 12) % 12;
  const chr::year_month_day first{chr::year{static_cast<int>(y)},
                                  chr::month{static_cast<unsigned>(m + 1)}, chr::day{1}};
  const int64_t days = chr::sys_days{first}.time_since_epoch().count();
  return days + (day - 1) - kEpochOffset;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  const double days = static_cast<double>(DaysFromCivil(year, month, day));
  const double ms =
      ((static_cast<double>(hour) * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  return days + ms / static_cast<double>(kMillisPerDay);
}

TDateTime EncodeDayOfYear(int year, int day_of_year, int hour, int minute, int second,
                          double fraction_seconds) {
  const double days = static_cast<double>(DaysFromCivil(year, 1, 1) + (day_of_year - 1));
  const double secs =
      (static_cast<double>(hour) * 60.0 + minute) * 60.0 + second + fraction_seconds;
  return days + secs / kSecondsPerDay;
}

CivilTime DecodeDateTime(TDateTime t) {
  CivilTime c;
  if (!std::isfinite(t) || std::fabs(t) > 3.0e6) return c;  // beyond year 10000: no calendar
  const int64_t total_ms = RoundToInt64(t * static_cast<double>(kMillisPerDay));
  int64_t days = total_ms / kMillisPerDay;
  int64_t ms = total_ms % kMillisPerDay;
  if (ms < 0) {
    ms += kMillisPerDay;
    --days;
  }
  const chr::year_month_day ymd{chr::sys_days{chr::days{days + kEpochOffset}}};
  c.Year = static_cast<int>(ymd.year());
  c.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  c.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  c.Hour = static_cast<int>(ms / 3600000);
  c.Minute = static_cast<int>(ms / 60000 % 60);
  c.Second = static_cast<int>(ms / 1000 % 60);
  c.Millisecond = static_cast<int>(ms % 1000);
  return c;
}

TDateTime UnixToDateTime(double unix_seconds) {
  return unix_seconds / kSecondsPerDay + kUnixEpochDays;
}

double DateTimeToUnix(TDateTime t) {
  return (t - kUnixEpochDays) * kSecondsPerDay;
}

std::string FormatIso(TDateTime t) {
  const CivilTime c = DecodeDateTime(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", c.Year, c.Month, c.Day,
                c.Hour, c.Minute, c.Second, c.Millisecond);
  return buf;
}

std::string FormatDateTime(const std::string& pattern, TDateTime t) {
  const CivilTime c = DecodeDateTime(t);
  std::string out;
  bool after_hour = false;
  size_t i = 0;
  auto run_of = [&](char ch) {
    size_t n = 0;
    while (i + n < pattern.size() && pattern[i + n] == ch) ++n;
    return n;
  };
  auto put = [&](int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    out += buf;
  };
  while (i < pattern.size()) {
    const char ch = pattern[i];
    const size_t n = run_of(ch);
    switch (ch) {
      case 'y':
        if (n >= 4) {
          put(c.Year, 4);
        } else {
          put(c.Year % 100, 2);
        }
        after_hour = false;
        break;
      case 'M':
        put(c.Month, n >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 'm':
        put(after_hour ? c.Minute : c.Month, n >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 'd':
        put(c.Day, n >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 'h':
        put(c.Hour, n >= 2 ? 2 : 1);
        after_hour = true;
        break;
      case 'n':
        put(c.Minute, n >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 's':
        put(c.Second, n >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 'z':
        put(c.Millisecond, n >= 3 ? 3 : 1);
        after_hour = false;
        break;
      default:
        out.append(n, ch);
        // A separator between hour and minute ("hh:mm") keeps "mm" a minute.
        if (!(after_hour && ch == ':')) after_hour = false;
        break;
    }
    i += n;
  }
  return out;
}

std::optional<TDateTime> ParseIso(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  char sep = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%n", &y, &mo, &d, &sep, &h, &mi, &consumed) != 6 ||
      consumed == 0) {
    return std::nullopt;
  }
  if (sep != 'T' && sep != ' ') return std::nullopt;
  // The seconds are read without the C locale, which a host may set to a decimal comma.
  size_t used = 0;
  const std::string_view tail = std::string_view(text).substr(static_cast<size_t>(consumed));
  const std::optional<double> seconds = ParseLeadingDouble(tail, &used);
  if (!seconds) return std::nullopt;
  const double s = *seconds;
  const std::string_view rest = tail.substr(used);
  if (!(rest.empty() || rest == "Z")) return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
      s >= 61) {
    return std::nullopt;
  }
  return static_cast<double>(DaysFromCivil(y, mo, d)) +
         ((h * 60.0 + mi) * 60.0 + s) / kSecondsPerDay;
}

int64_t SamplesInSpan(double days, double rate) {
  return RoundToInt64(days * kSecondsPerDay * rate);
}

}  // namespace tarvik

#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarvik {

// An instant as days since 1899-12-30 00:00; the fraction is the time of day.
using TDateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;
// Days from 1899-12-30 to the Unix epoch 1970-01-01.
inline constexpr double kUnixEpochDays = 25569.0;

struct CivilTime {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// Days since 1899-12-30 of a calendar date (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day);

// The TDateTime of a calendar date and time of day. Fields out of their usual range carry
// over (second 60 is the next minute), as when a time is built by adding its parts.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);

// The TDateTime of a day of year (1 = January 1st) and time of day.
TDateTime EncodeDayOfYear(int year, int day_of_year, int hour = 0, int minute = 0, int second = 0,
                          double fraction_seconds = 0.0);

// Calendar parts of a TDateTime, rounded to the nearest millisecond.
CivilTime DecodeDateTime(TDateTime t);

TDateTime UnixToDateTime(double unix_seconds);
double DateTimeToUnix(TDateTime t);

// "2016-06-03T19:55:00.000Z".
std::string FormatIso(TDateTime t);

// Formats with the pattern letters of the project's date formats: "yyyy" "yy" "mm" (month;
// minute right after "h"/"hh") "dd" "hh" "nn" "ss" "zzz" and "MM" for the month; every other
// character is copied. Examples: "yymmdd-hhnnss", "yyyymmdd-hhnnss.zzz", "dd.MM.yyyy".
std::string FormatDateTime(const std::string& pattern, TDateTime t);

// Parses "YYYY-MM-DDTHH:MM:SS[.fff][Z]" or "YYYY-MM-DD HH:MM:SS[.fff]"; nullopt when malformed.
std::optional<TDateTime> ParseIso(const std::string& text);

// Sample count of a duration: round(days * 86400 * rate), ties to even.
int64_t SamplesInSpan(double days, double rate);

// The duration in days of n samples at a rate.
inline double SpanOfSamples(double samples, double rate) {
  return samples / rate / kSecondsPerDay;
}

}  // namespace tarvik

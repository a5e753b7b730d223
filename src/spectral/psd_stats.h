#pragma once

// Statistics of stored segment PSDs over a choice of segments: per period of the grid the
// probability density in 1 dB bins, its mode, the mean, exact percentiles of the stored values
// (the order statistics themselves, interpolated between neighbours, not bin edges) and the
// share of segments above the high-noise and below the low-noise model of the Earth. Segments
// are chosen by their start: a time span, hours of the day, days of the week and months, in
// local time of a named zone (the system's zone database) or in UTC.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "spectral/psd_store.h"

namespace tarvik {

struct TPsdSelection {
  // Segments starting in [From, To), Unix seconds.
  std::optional<double> From;
  std::optional<double> To;
  // By local time of the start: hour 0..23, weekday 0 (Monday) .. 6 (Sunday), month 0..11.
  std::array<bool, 24> Hours;
  std::array<bool, 7> Weekdays;
  std::array<bool, 12> Months;
  std::string Zone;  // IANA name; empty for UTC

  TPsdSelection() {
    Hours.fill(true);
    Weekdays.fill(true);
    Months.fill(true);
  }
};

// "22-05" or "0-6,18-24": hours from the first up to (not including) the second, across
// midnight when the second is smaller; a single number is that hour.
bool ParseHours(const std::string& text, std::array<bool, 24>& hours, TStatus* why);
// "1-5", "6,7", "11-2": weekdays 1 (Monday) to 7 (Sunday), months 1 to 12; ranges include both
// ends and may wrap around.
bool ParseWeekdays(const std::string& text, std::array<bool, 7>& days, TStatus* why);
bool ParseMonths(const std::string& text, std::array<bool, 12>& months, TStatus* why);

// Local time in a zone. False, with the reason, for a name the zone database does not know.
class TPsdZone {
 public:
  bool Open(const std::string& name, TStatus* why);
  // hour, weekday (0 Monday), month (0 January) of unix seconds.
  void Local(double unix_seconds, int& hour, int& weekday, int& month) const;
  // Unix seconds of "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]" read as local time; nullopt when
  // malformed.
  std::optional<double> Parse(const std::string& text) const;

 private:
  const void* zone_ = nullptr;  // the database's zone; null for UTC
};

// Whether a segment starting at unix seconds start belongs to the selection.
bool PsdSelected(const TPsdSelection& selection, const TPsdZone& zone, double start);

// The stored channels of a store folder ("NET.STA.LOC.CHA" folder names), sorted.
std::vector<std::string> PsdStoreChannels(const std::filesystem::path& store);

// The segments of one channel folder whose day may hold a start in [from, to) (grid values
// only, unless with_full), with the settings of the first file; days stored with other settings
// are left out and named in errors, as are damaged files.
struct TPsdChannelData {
  TPsdDay Header;  // settings and periods; its Segments empty
  std::vector<TPsdSegment> Segments;
  int32_t Skipped = 0;
  int Days = 0;
  std::vector<TStatus> Errors;
};
TPsdChannelData LoadPsdChannel(const std::filesystem::path& folder, std::optional<double> from,
                               std::optional<double> to, bool with_full = false);

// The standard noise models in dB re 1 (m/s²)²/Hz at a period; NaN outside 0.1..100000 s.
double HighNoiseModelDb(double period);
double LowNoiseModelDb(double period);

struct TPsdStats {
  std::vector<double> Periods;
  std::vector<double> Percentiles;                    // as asked, 0..100
  std::vector<std::vector<double>> PercentileValues;  // [percentile][period], dB
  std::vector<double> Mean;                           // dB
  std::vector<double> Mode;                           // centre of the fullest bin, dB
  std::vector<int32_t> Counts;                        // values per period
  std::vector<double> AboveHigh;                      // share above the NHNM
  std::vector<double> BelowLow;                       // share below the NLNM
  double DbFirst = 0.0;                               // lower edge of bin 0
  int32_t DbBins = 0;                                 // bins of 1 dB
  std::vector<std::vector<double>> Density;           // [period][bin], shares summing to 1
  int32_t Segments = 0;
};

// Statistics of segments (grid values over periods). Values that are NaN are left out of their
// period; a period without values gets NaN.
TPsdStats ComputePsdStats(std::span<const double> periods,
                          std::span<const TPsdSegment* const> segments,
                          std::span<const double> percentiles);

}  // namespace tarvik

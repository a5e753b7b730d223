#include "spectral/psd_stats.h"

#include <date/tz.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

namespace tarvik {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// "a-b" pieces of a comma list, each end a whole number in [lo, hi]; single numbers give a == b.
bool ParseList(const std::string& text, int lo, int hi, std::vector<std::pair<int, int>>& out,
               TStatus* why) {
  out.clear();
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    const std::string part = text.substr(pos, comma - pos);
    int a = 0, b = 0, used = 0;
    if (std::sscanf(part.c_str(), "%d-%d%n", &a, &b, &used) == 2 &&
        used == static_cast<int>(part.size())) {
    } else if (std::sscanf(part.c_str(), "%d%n", &a, &used) == 1 &&
               used == static_cast<int>(part.size())) {
      b = a;
    } else {
      if (why) *why = MakeStatus(TCode::kPsdNotRange, {part});
      return false;
    }
    if (a < lo || a > hi || b < lo || b > hi) {
      if (why) {
        *why = MakeStatus(TCode::kPsdOutsideRange, {part, std::to_string(lo), std::to_string(hi)});
      }
      return false;
    }
    out.push_back({a, b});
    pos = comma + 1;
  }
  return !out.empty();
}

template <size_t N>
bool ParseInclusive(const std::string& text, int first, std::array<bool, N>& set, TStatus* why) {
  std::vector<std::pair<int, int>> parts;
  if (!ParseList(text, first, first + static_cast<int>(N) - 1, parts, why)) return false;
  set.fill(false);
  for (auto [a, b] : parts) {
    for (int v = a;; v = v + 1 > first + static_cast<int>(N) - 1 ? first : v + 1) {
      set[static_cast<size_t>(v - first)] = true;
      if (v == b) break;
    }
  }
  return true;
}

// Peterson's models: between period P[i] and P[i+1] the level is A[i] + B[i]·log10(T) dB.
struct ModelPiece {
  double P, A, B;
};
constexpr ModelPiece kLow[] = {
    {0.10, -162.36, 5.64},    {0.17, -166.7, 0.00},     {0.40, -170.00, -8.30},
    {0.80, -166.40, 28.90},   {1.24, -168.60, 52.48},   {2.40, -159.98, 29.81},
    {4.30, -141.10, 0.00},    {5.00, -71.36, -99.77},   {6.00, -97.26, -66.49},
    {10.00, -132.18, -31.57}, {12.00, -205.27, 36.16},  {15.60, -37.65, -104.33},
    {21.90, -114.37, -47.10}, {31.60, -160.58, -16.28}, {45.00, -187.50, 0.00},
    {70.00, -216.47, 15.70},  {101.00, -185.00, 0.00},  {154.00, -168.34, -7.61},
    {328.00, -217.43, 11.90}, {600.00, -258.28, 26.60}, {10000.00, -346.88, 48.75},
    {100000.00, 0.0, 0.0},
};
constexpr ModelPiece kHigh[] = {
    {0.10, -108.73, -17.23}, {0.22, -150.34, -80.50},  {0.32, -122.31, -23.87},
    {0.80, -116.85, 32.51},  {3.80, -108.48, 18.08},   {4.60, -74.66, -32.95},
    {6.30, 0.66, -127.18},   {7.90, -93.37, -22.42},   {15.40, 73.54, -162.98},
    {20.00, -151.52, 10.01}, {354.80, -206.66, 31.63}, {100000.00, 0.0, 0.0},
};

template <size_t N>
double ModelDb(const ModelPiece (&model)[N], double t) {
  if (!(t >= model[0].P && t <= model[N - 1].P)) return kNaN;
  size_t i = 0;
  while (i + 2 < N && t >= model[i + 1].P) ++i;
  return model[i].A + model[i].B * std::log10(t);
}

}  // namespace

bool ParseHours(const std::string& text, std::array<bool, 24>& hours, TStatus* why) {
  std::vector<std::pair<int, int>> parts;
  if (!ParseList(text, 0, 24, parts, why)) return false;
  hours.fill(false);
  for (auto [a, b] : parts) {
    if (a == b) {
      if (a == 24) {
        if (why) *why = MakeStatus(TCode::kPsdHour24);
        return false;
      }
      hours[static_cast<size_t>(a)] = true;
      continue;
    }
    for (int h = a % 24; h != b % 24; h = (h + 1) % 24) hours[static_cast<size_t>(h)] = true;
    if (a % 24 == b % 24) hours.fill(true);  // "0-24"
  }
  return true;
}

bool ParseWeekdays(const std::string& text, std::array<bool, 7>& days, TStatus* why) {
  return ParseInclusive(text, 1, days, why);
}

bool ParseMonths(const std::string& text, std::array<bool, 12>& months, TStatus* why) {
  return ParseInclusive(text, 1, months, why);
}

bool TPsdZone::Open(const std::string& name, TStatus* why) {
  zone_ = nullptr;
  if (name.empty() || name == "UTC") return true;
  try {
    zone_ = date::locate_zone(name);
  } catch (const std::exception&) {
    if (why) *why = MakeStatus(TCode::kPsdUnknownZone, {name});
    return false;
  }
  return true;
}

void TPsdZone::Local(double unix_seconds, int& hour, int& weekday, int& month) const {
  using namespace std::chrono;
  const sys_seconds t{seconds{static_cast<int64_t>(std::floor(unix_seconds))}};
  const seconds local =
      zone_ ? static_cast<const date::time_zone*>(zone_)->to_local(t).time_since_epoch()
            : t.time_since_epoch();
  const days day = floor<days>(local);
  const sys_days d{day};
  hour = static_cast<int>(duration_cast<hours>(local - day).count());
  weekday = static_cast<int>(std::chrono::weekday{d}.iso_encoding()) - 1;
  month = static_cast<int>(static_cast<unsigned>(year_month_day{d}.month())) - 1;
}

std::optional<double> TPsdZone::Parse(const std::string& text) const {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  const int n = static_cast<int>(text.size());
  const bool date_only =
      std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) == 3 && used == n;
  if (!date_only) {
    used = 0;
    char sep = 0;
    const int got =
        std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &used);
    if (got != 6 || (sep != 'T' && sep != ' ')) return std::nullopt;
    if (used != n) {
      int more = 0;
      if (std::sscanf(text.c_str() + used, ":%2d%n", &s, &more) != 1 || used + more != n) {
        return std::nullopt;
      }
    }
  }
  using namespace std::chrono;
  const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)},
                           day{static_cast<unsigned>(d)}};
  if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  const seconds local = sys_days{ymd}.time_since_epoch() + hours{h} + minutes{mi} + seconds{s};
  if (!zone_) return static_cast<double>(local.count());
  const auto* zone = static_cast<const date::time_zone*>(zone_);
  const date::local_seconds lt{local};
  return static_cast<double>(zone->to_sys(lt, date::choose::earliest).time_since_epoch().count());
}

bool PsdSelected(const TPsdSelection& sel, const TPsdZone& zone, double start) {
  if (sel.From && start < *sel.From) return false;
  if (sel.To && start >= *sel.To) return false;
  int hour = 0, weekday = 0, month = 0;
  zone.Local(start, hour, weekday, month);
  return sel.Hours[static_cast<size_t>(hour)] && sel.Weekdays[static_cast<size_t>(weekday)] &&
         sel.Months[static_cast<size_t>(month)];
}

std::vector<std::string> PsdStoreChannels(const std::filesystem::path& store) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(store, ec)) {
    if (!entry.is_directory(ec)) continue;
    for (const auto& file : std::filesystem::directory_iterator(entry.path(), ec)) {
      int64_t day = 0;
      if (ParsePsdDayFileName(file.path().filename().string(), day)) {
        out.push_back(entry.path().filename().string());
        break;
      }
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

TPsdChannelData LoadPsdChannel(const std::filesystem::path& folder, std::optional<double> from,
                               std::optional<double> to, bool with_full) {
  TPsdChannelData data;
  std::map<int64_t, std::filesystem::path> files;
  std::error_code ec;
  for (const auto& file : std::filesystem::directory_iterator(folder, ec)) {
    int64_t day = 0;
    if (!ParsePsdDayFileName(file.path().filename().string(), day)) continue;
    if (from && (day + 1) * 86400.0 <= *from) continue;
    if (to && day * 86400.0 >= *to) continue;
    files[day] = file.path();
  }
  bool first = true;
  TStatus why;
  for (const auto& [day, path] : files) {
    TPsdDay d;
    if (!ReadPsdDay(path, d, &why, with_full)) {
      TStatus error = MakeStatus(TCode::kPsdStoreDamagedLeftOut, {why});
      error.File = why.File;
      error.Offset = why.Offset;
      data.Errors.push_back(std::move(error));
      continue;
    }
    if (first) {
      data.Header = d;
      data.Header.Segments.clear();
      first = false;
    } else if (!data.Header.SameSettings(d)) {
      TStatus error = MakeStatus(TCode::kPsdStoreOtherSettings, {path.string()});
      error.File = path.string();
      data.Errors.push_back(std::move(error));
      continue;
    }
    ++data.Days;
    data.Skipped += d.Skipped;
    for (TPsdSegment& s : d.Segments) data.Segments.push_back(std::move(s));
  }
  return data;
}

double HighNoiseModelDb(double period) {
  return ModelDb(kHigh, period);
}
double LowNoiseModelDb(double period) {
  return ModelDb(kLow, period);
}

TPsdStats ComputePsdStats(std::span<const double> periods,
                          std::span<const TPsdSegment* const> segments,
                          std::span<const double> percentiles) {
  TPsdStats st;
  const size_t np = periods.size();
  st.Periods.assign(periods.begin(), periods.end());
  st.Percentiles.assign(percentiles.begin(), percentiles.end());
  st.PercentileValues.assign(percentiles.size(), std::vector<double>(np, kNaN));
  st.Mean.assign(np, kNaN);
  st.Mode.assign(np, kNaN);
  st.Counts.assign(np, 0);
  st.AboveHigh.assign(np, kNaN);
  st.BelowLow.assign(np, kNaN);
  st.Segments = static_cast<int32_t>(segments.size());

  // The bins cover the usual range of station noise and every value beyond it.
  double lo = -200.0, hi = -50.0;
  for (const TPsdSegment* s : segments) {
    for (size_t j = 0; j < np && j < s->Grid.size(); ++j) {
      const float v = s->Grid[j];
      if (!std::isfinite(v)) continue;
      lo = std::min(lo, std::floor(static_cast<double>(v)));
      hi = std::max(hi, std::floor(static_cast<double>(v)) + 1.0);
    }
  }
  st.DbFirst = lo;
  st.DbBins = static_cast<int32_t>(hi - lo);
  st.Density.assign(np, std::vector<double>(static_cast<size_t>(st.DbBins), 0.0));

  std::vector<double> values;
  values.reserve(segments.size());
  for (size_t j = 0; j < np; ++j) {
    values.clear();
    for (const TPsdSegment* s : segments) {
      if (j < s->Grid.size() && std::isfinite(s->Grid[j])) values.push_back(s->Grid[j]);
    }
    const size_t n = values.size();
    st.Counts[j] = static_cast<int32_t>(n);
    if (n == 0) continue;
    std::sort(values.begin(), values.end());
    double sum = 0.0;
    std::vector<double>& bins = st.Density[j];
    const double high = HighNoiseModelDb(periods[j]);
    const double low = LowNoiseModelDb(periods[j]);
    size_t above = 0, below = 0;
    for (double v : values) {
      sum += v;
      const size_t b = std::min<size_t>(static_cast<size_t>(std::floor(v) - lo), bins.size() - 1);
      bins[b] += 1.0;
      above += v > high;
      below += v < low;
    }
    st.Mean[j] = sum / static_cast<double>(n);
    const size_t best =
        static_cast<size_t>(std::max_element(bins.begin(), bins.end()) - bins.begin());
    for (double& b : bins) b /= static_cast<double>(n);
    st.Mode[j] = lo + static_cast<double>(best) + 0.5;
    if (std::isfinite(high)) st.AboveHigh[j] = static_cast<double>(above) / n;
    if (std::isfinite(low)) st.BelowLow[j] = static_cast<double>(below) / n;
    // Linear between the order statistics around rank p/100·(n − 1).
    for (size_t q = 0; q < percentiles.size(); ++q) {
      const double rank = std::clamp(percentiles[q], 0.0, 100.0) / 100.0 * (n - 1);
      const size_t k = static_cast<size_t>(std::floor(rank));
      const double frac = rank - static_cast<double>(k);
      st.PercentileValues[q][j] =
          k + 1 < n ? values[k] + frac * (values[k + 1] - values[k]) : values[k];
    }
  }
  return st;
}

}  // namespace tarvik

#include "spectral/hvsr_files.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <system_error>

#include "common/binary_file.h"
#include "common/paths.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

using Json = nlohmann::json;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Strict field parsing.

bool ParseDouble(std::string_view text, double& v) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  return ec == std::errc() && ptr == end && std::isfinite(v);
}

bool ParseInt64(std::string_view text, int64_t& v) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  return ec == std::errc() && ptr == end;
}

std::vector<std::string_view> SplitCommas(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (true) {
    const size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      out.push_back(line.substr(start));
      return out;
    }
    out.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
}

// A field as the messages quote it: its first 40 bytes.
std::string Shown(std::string_view field) {
  return Cp1251ToUtf8(field.substr(0, 40));
}

bool FateOf(std::string_view name, TWindowFate& fate) {
  for (const TWindowFate f :
       {TWindowFate::kKept, TWindowFate::kRejected, TWindowFate::kNoPeak, TWindowFate::kUnusable}) {
    if (name == FateName(f)) {
      fate = f;
      return true;
    }
  }
  return false;
}

TStatus AtLine(TStatus status, int64_t line) {
  status.Line = line;
  return status;
}

}  // namespace

TStatus ParseHvWindowsCsv(std::string_view bytes, THvWindowsFile& out) {
  out = THvWindowsFile{};
  auto fail = [&](size_t line, TCode code, std::vector<TArg> args = {}) {
    out = THvWindowsFile{};
    return AtLine(MakeStatus(code, std::move(args)), static_cast<int64_t>(line));
  };
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty()) return fail(1, TCode::kHvFileEmpty);
  const std::vector<std::string_view> head = SplitCommas(lines[0]);
  static constexpr std::string_view kHead[] = {"window", "first_sample", "start_s", "fate", "f0"};
  constexpr size_t kFixed = std::size(kHead);
  for (size_t k = 0; k < kFixed; ++k) {
    if (k >= head.size() || head[k] != kHead[k]) return fail(1, TCode::kHvWindowsHeader);
  }
  out.Grid.reserve(head.size() - kFixed);
  for (size_t k = kFixed; k < head.size(); ++k) {
    double f = 0.0;
    if (!ParseDouble(head[k], f) || f <= 0.0) {
      return fail(1, TCode::kHvGridNotPositive, {Shown(head[k])});
    }
    if (!out.Grid.empty() && f <= out.Grid.back()) {
      return fail(1, TCode::kHvGridNotIncreasing, {Shown(head[k])});
    }
    out.Grid.push_back(f);
  }
  const size_t width = head.size();
  for (size_t k = 1; k < lines.size(); ++k) {
    const size_t line_no = k + 1;
    if (lines[k].empty()) continue;
    const std::vector<std::string_view> f = SplitCommas(lines[k]);
    if (f.size() != width) {
      return fail(line_no, TCode::kFieldCount, {std::to_string(f.size()), std::to_string(width)});
    }
    THvWindowCurve w;
    int64_t number = 0;
    if (!ParseInt64(f[0], number) || number < 1 || number > std::numeric_limits<int>::max()) {
      return fail(line_no, TCode::kHvWindowNumber, {Shown(f[0])});
    }
    w.Number = static_cast<int>(number);
    if (!ParseInt64(f[1], w.FirstSample) || w.FirstSample < 0) {
      return fail(line_no, TCode::kHvFirstSample, {Shown(f[1])});
    }
    if (!ParseDouble(f[2], w.StartSeconds) || w.StartSeconds < 0.0) {
      return fail(line_no, TCode::kHvWindowStart, {Shown(f[2])});
    }
    if (!FateOf(f[3], w.Fate)) return fail(line_no, TCode::kHvWindowFate, {Shown(f[3])});
    if (!f[4].empty() && (!ParseDouble(f[4], w.F0) || w.F0 <= 0.0)) {
      return fail(line_no, TCode::kHvWindowF0, {Shown(f[4])});
    }
    w.Values.resize(out.Grid.size(), kNaN);
    for (size_t i = 0; i < out.Grid.size(); ++i) {
      const std::string_view field = f[kFixed + i];
      if (!field.empty() && !ParseDouble(field, w.Values[i])) {
        return fail(line_no, TCode::kHvFieldNotNumber,
                    {std::to_string(kFixed + i + 1), Shown(field)});
      }
    }
    out.Windows.push_back(std::move(w));
  }
  return {};
}

bool JsonNestsDeeperThan(std::string_view bytes, int max_depth) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > max_depth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

namespace {

// ---- The report's keys, each checked for its type; the status names the key at fault.

// A report nests four levels deep, a series file three; anything far deeper is not one (and is
// refused before the parser builds it).
constexpr int kMaxJsonDepth = 32;

// Takes a document without building it, to find where it stops being JSON: bad syntax and
// numbers out of range alike come to parse_error with the count of bytes read.
class ErrorLocator : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception&) override {
    Read = position;
    return false;
  }
  size_t Read = 0;
};

// The 1-based line of the first byte that is not JSON.
int64_t ErrorLine(std::string_view bytes) {
  ErrorLocator locator;
  Json::sax_parse(bytes.begin(), bytes.end(), &locator);
  const size_t end = std::min(locator.Read > 0 ? locator.Read - 1 : 0, bytes.size());
  return 1 + static_cast<int64_t>(
                 std::count(bytes.begin(), bytes.begin() + static_cast<long>(end), '\n'));
}

class ReportKeys {
 public:
  explicit ReportKeys(TStatus& status) : status_(status) {}

  // The member key of object (named path for the messages), or null with the status set.
  const Json* Member(const Json& object, const char* key, const std::string& path) {
    if (!object.is_object()) {
      Fail(TCode::kJsonNotObject,
           path.empty() ? TArg(MakeStatus(TCode::kJsonDocument)) : TArg(path));
      return nullptr;
    }
    const auto it = object.find(key);
    if (it == object.end()) {
      Fail(TCode::kJsonMissingKey, Name(key, path));
      return nullptr;
    }
    return &*it;
  }

  bool Number(const Json& object, const char* key, const std::string& path, double& v) {
    const Json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_number() || !std::isfinite(m->get<double>())) {
      return Fail(TCode::kJsonNotNumber, Name(key, path));
    }
    v = m->get<double>();
    return true;
  }

  bool Count(const Json& object, const char* key, const std::string& path, int& v) {
    const Json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_number_unsigned() || m->get<uint64_t>() > INT32_MAX) {
      return Fail(TCode::kJsonNotCount, Name(key, path));
    }
    v = static_cast<int>(m->get<uint64_t>());
    return true;
  }

  bool Bool(const Json& object, const char* key, const std::string& path, bool& v) {
    const Json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_boolean()) return Fail(TCode::kJsonNotBool, Name(key, path));
    v = m->get<bool>();
    return true;
  }

  bool String(const Json& object, const char* key, const std::string& path, std::string& v) {
    const Json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_string()) return Fail(TCode::kJsonNotString, Name(key, path));
    v = m->get<std::string>();
    return true;
  }

  // An object or null; false (status set) for anything else.
  bool OptionalObject(const Json& object, const char* key, const std::string& path,
                      const Json*& v) {
    v = Member(object, key, path);
    if (v == nullptr) return false;
    if (v->is_null()) {
      v = nullptr;
      return true;
    }
    if (!v->is_object()) return Fail(TCode::kJsonNotObjectOrNull, Name(key, path));
    return true;
  }

  bool Fail(TCode code, TArg first, std::vector<TArg> more = {}) {
    more.insert(more.begin(), std::move(first));
    status_ = MakeStatus(code, std::move(more));
    return false;
  }

 private:
  static std::string Name(const char* key, const std::string& path) {
    return path.empty() ? key : path + "." + key;
  }
  TStatus& status_;
};

bool ReadCriteria(ReportKeys& keys, const Json& group, const std::string& path, size_t count,
                  std::vector<THvCriterion>& out) {
  const Json* list = keys.Member(group, "criteria", path);
  if (list == nullptr) return false;
  const std::string list_path = path + ".criteria";
  if (!list->is_array() || list->size() != count) {
    return keys.Fail(TCode::kHvCriteriaList, list_path, {std::to_string(count)});
  }
  for (size_t i = 0; i < count; ++i) {
    const Json& item = (*list)[i];
    const std::string at = list_path + "[" + std::to_string(i) + "]";
    THvCriterion c;
    if (!keys.String(item, "id", at, c.Id) || !keys.String(item, "test", at, c.Test) ||
        !keys.Bool(item, "evaluated", at, c.Evaluated) ||
        !keys.Number(item, "threshold", at, c.Threshold) || !keys.Bool(item, "pass", at, c.Pass)) {
      return false;
    }
    const Json* value = keys.Member(item, "value", at);
    if (value == nullptr) return false;
    if (c.Evaluated && !keys.Number(item, "value", at, c.Value)) return false;
    if (!c.Evaluated && !value->is_null()) return keys.Fail(TCode::kHvValueNotNull, at);
    out.push_back(std::move(c));
  }
  return true;
}

bool ReadSesameGroup(ReportKeys& keys, const Json& sesame, const char* key, size_t count,
                     int& passed, std::vector<THvCriterion>& out) {
  const Json* group = keys.Member(sesame, key, "sesame");
  const std::string path = std::string("sesame.") + key;
  if (group == nullptr || !keys.Count(*group, "passed", path, passed) ||
      !ReadCriteria(keys, *group, path, count, out)) {
    return false;
  }
  const int counted = static_cast<int>(
      std::count_if(out.begin(), out.end(), [](const THvCriterion& c) { return c.Pass; }));
  if (counted != passed) {
    return keys.Fail(TCode::kHvPassedCount, path,
                     {std::to_string(passed), std::to_string(counted)});
  }
  return true;
}

}  // namespace

TStatus ParseHvReport(std::string_view bytes, THvReport& out) {
  out = THvReport{};
  if (JsonNestsDeeperThan(bytes, kMaxJsonDepth)) {
    return MakeStatus(TCode::kJsonTooDeep, {std::to_string(kMaxJsonDepth)});
  }
  const Json j = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (j.is_discarded()) return AtLine(MakeStatus(TCode::kNotJson), ErrorLine(bytes));
  THvReport r;
  TStatus status;
  ReportKeys keys(status);
  const Json* windows = keys.Member(j, "windows", "");
  if (windows == nullptr || !keys.Number(j, "window_seconds", "", r.WindowSeconds) ||
      !keys.Count(*windows, "total", "windows", r.Total) ||
      !keys.Count(*windows, "kept", "windows", r.Kept) ||
      !keys.Count(*windows, "rejected", "windows", r.Rejected) ||
      !keys.Count(*windows, "no_peak", "windows", r.NoPeak) ||
      !keys.Count(*windows, "unusable", "windows", r.Unusable)) {
    return status;
  }
  if (int64_t{r.Kept} + r.Rejected + r.NoPeak + r.Unusable != r.Total) {
    return MakeStatus(TCode::kHvWindowTotals);
  }
  const Json* average = nullptr;
  const Json* from_windows = nullptr;
  if (!keys.OptionalObject(j, "f0_from_average", "", average) ||
      !keys.OptionalObject(j, "f0_from_windows", "", from_windows)) {
    return status;
  }
  if (average != nullptr) {
    r.HasF0Average = true;
    if (!keys.Number(*average, "f0", "f0_from_average", r.F0Average) ||
        !keys.Number(*average, "a0", "f0_from_average", r.A0Average)) {
      return status;
    }
  }
  if (from_windows != nullptr) {
    r.HasF0Windows = true;
    const std::string at = "f0_from_windows";
    if (!keys.Number(*from_windows, "median", at, r.F0Median) ||
        !keys.Number(*from_windows, "minus_sigma", at, r.MinusSigma) ||
        !keys.Number(*from_windows, "plus_sigma", at, r.PlusSigma) ||
        !keys.Number(*from_windows, "sigma_f", at, r.SigmaF) ||
        !keys.Count(*from_windows, "windows", at, r.F0WindowCount)) {
      return status;
    }
    if (r.F0Median <= 0.0 || r.SigmaF < 0.0) return MakeStatus(TCode::kHvF0Spread, {at});
  }
  const Json* sesame = keys.Member(j, "sesame", "");
  if (sesame == nullptr || !keys.Bool(*sesame, "evaluated", "sesame", r.SesameEvaluated) ||
      !ReadSesameGroup(keys, *sesame, "reliable", 3, r.ReliablePassed, r.Reliability) ||
      !ReadSesameGroup(keys, *sesame, "clear", 6, r.ClearPassed, r.Clarity) ||
      !keys.Bool(j, "ok", "", r.Ok) || !keys.String(j, "verdict", "", r.Verdict)) {
    return status;
  }
  out = std::move(r);
  return {};
}

namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Seconds of an ISO 8601 UTC time "YYYY-MM-DDThh:mm:ss[.fff]Z"; NaN when it is not one.
double IsoSeconds(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double s = 0.0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) != 6) return kNaN;
  const std::chrono::year_month_day day{std::chrono::year{y}, std::chrono::month{unsigned(mo)},
                                        std::chrono::day{unsigned(d)}};
  if (!day.ok()) return kNaN;
  const auto days = std::chrono::sys_days(day).time_since_epoch().count();
  return static_cast<double>(days) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
}

double NumberOr(const Json& j, const char* key, double otherwise) {
  const auto it = j.find(key);
  return it != j.end() && it->is_number() ? it->get<double>() : otherwise;
}

}  // namespace

bool IsHvsrSeriesFile(std::string_view path) {
  return EndsWith(path, "_time.json") || EndsWith(path, "_azimuths.json");
}

TStatus ParseHvsrSeriesJson(std::string_view bytes, THvsrSeriesChart& out) {
  out = THvsrSeriesChart{};
  const auto fail = [&](TCode code, std::vector<TArg> args = {}) {
    out = THvsrSeriesChart{};
    return MakeStatus(code, std::move(args));
  };
  if (static_cast<int64_t>(bytes.size()) > kMaxHvSeriesBytes)
    return fail(TCode::kFileTooLargeBytes);
  if (JsonNestsDeeperThan(bytes, kMaxJsonDepth)) {
    return fail(TCode::kJsonTooDeep, {std::to_string(kMaxJsonDepth)});
  }
  const Json j = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (j.is_discarded()) return AtLine(fail(TCode::kNotJson), ErrorLine(bytes));
  if (!j.is_object()) return fail(TCode::kNotJson);
  out.ByTime = j.contains("intervals");
  const char* list_key = out.ByTime ? "intervals" : "azimuths";
  const char* map_key = out.ByTime ? "spectrogram" : "map";
  if (!j.contains(list_key) || !j[list_key].is_array()) return fail(TCode::kHvSeriesNoList);
  if (!j.contains(map_key) || !j[map_key].is_object())
    return fail(TCode::kHvSeriesNoMap, {map_key});
  if (j.contains("record") && j["record"].is_object() && j["record"].contains("station") &&
      j["record"]["station"].is_string())
    out.Station = j["record"]["station"].get<std::string>();
  const Json& list = j[list_key];
  double first = kNaN;
  if (out.ByTime) {
    const double every = NumberOr(j, "every_seconds", 0.0);
    out.Width = every > 0.0 && std::isfinite(every) ? every / 3600.0 : 0.0;
  }
  for (const Json& item : list) {
    if (!item.is_object()) return fail(TCode::kHvSeriesItemNotObject, {list_key});
    double x = kNaN;
    if (out.ByTime) {
      const auto start = item.find("start");
      if (start == item.end() || !start->is_string())
        return fail(TCode::kIntervalWithoutKey, {"start"});
      const double seconds = IsoSeconds(start->get<std::string>());
      if (std::isnan(first)) {
        first = seconds;
        out.FirstStart = start->get<std::string>();
      }
      x = (seconds - first) / 3600.0 + out.Width / 2.0;
    } else {
      x = NumberOr(item, "azimuth", kNaN);
    }
    if (!std::isfinite(x)) return fail(TCode::kHvSeriesNoPlace, {list_key});
    out.X.push_back(x);
    const double f0 = NumberOr(item, "f0", kNaN);
    const double sigma = NumberOr(item, "sigma_f0", kNaN);
    out.F0.push_back(f0 > 0.0 ? f0 : kNaN);
    out.F0Low.push_back(f0 > 0.0 && sigma >= 0.0 ? std::max(f0 - sigma, 0.0) : kNaN);
    out.F0High.push_back(f0 > 0.0 && sigma >= 0.0 ? f0 + sigma : kNaN);
  }
  const Json& map = j[map_key];
  if (!map.contains("frequency") || !map["frequency"].is_array())
    return fail(TCode::kHvSeriesNoFrequencies, {map_key});
  for (const Json& f : map["frequency"]) {
    if (!f.is_number() || !(f.get<double>() > 0.0) ||
        (!out.Frequency.empty() && !(f.get<double>() > out.Frequency.back())))
      return fail(TCode::kHvSeriesBadFrequencies, {map_key});
    out.Frequency.push_back(f.get<double>());
  }
  if (!map.contains("mean") || !map["mean"].is_array() || map["mean"].size() != out.X.size())
    return fail(TCode::kHvSeriesCurveCount, {map_key});
  for (const Json& row : map["mean"]) {
    std::vector<double> curve;
    if (!row.is_array() || (!row.empty() && row.size() != out.Frequency.size()))
      return fail(TCode::kHvSeriesCurveLength, {map_key});
    for (const Json& v : row) {
      if (!v.is_number() || !std::isfinite(v.get<double>()))
        return fail(TCode::kHvSeriesNotNumber, {map_key});
      curve.push_back(v.get<double>());
      out.MaxMean = std::max(out.MaxMean, curve.back());
    }
    out.Mean.push_back(std::move(curve));
  }
  return {};
}

// ---- Reading the files.

namespace {

TStatus WithFile(TStatus status, const std::string& path) {
  status.File = path;
  return status;
}

std::string_view AsText(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// kFileDamaged for path with reason inside; the reason's line, when it has one, is told before
// it and kept on the status.
TStatus Damaged(const std::string& path, const TStatus& reason) {
  TStatus inner = reason;
  if (reason.Line > 0) inner = MakeStatus(TCode::kAtLine, {std::to_string(reason.Line), reason});
  TStatus status = WithFile(MakeStatus(TCode::kFileDamaged, {path, inner}), path);
  status.Line = reason.Line;
  return status;
}

}  // namespace

TStatus ReadBoundedFile(const std::string& path, int64_t max_bytes, std::vector<uint8_t>& bytes) {
  bytes.clear();
  const std::filesystem::path native(std::u8string(path.begin(), path.end()));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(native, ec)) {
    return WithFile(MakeStatus(TCode::kFileNotFound, {path}), path);
  }
  const auto size = std::filesystem::file_size(native, ec);
  if (ec) return WithFile(MakeStatus(TCode::kFileUnreadable, {path}), path);
  if (size > static_cast<uintmax_t>(max_bytes)) {
    return WithFile(
        MakeStatus(TCode::kFileTooLarge, {path, std::to_string(size), std::to_string(max_bytes)}),
        path);
  }
  bytes = ReadWholeFile(path, max_bytes);
  if (bytes.size() != size) {
    bytes.clear();
    return WithFile(MakeStatus(TCode::kFileUnreadable, {path}), path);
  }
  return {};
}

TStatus ReadHvFile(const std::string& path, THvFile& out) {
  out = THvFile{};
  std::vector<uint8_t> bytes;
  if (TStatus read = ReadBoundedFile(path, kMaxHvFileBytes, bytes); !read.Ok()) return read;
  std::string error;
  if (!ParseHvFile(AsText(bytes), out, &error)) {
    return WithFile(MakeStatus(TCode::kFileDamaged, {path, error}), path);
  }
  return {};
}

TStatus ReadHvWindowsFile(const std::string& path, THvWindowsFile& out) {
  out = THvWindowsFile{};
  std::vector<uint8_t> bytes;
  if (TStatus read = ReadBoundedFile(path, kMaxHvWindowsBytes, bytes); !read.Ok()) return read;
  if (TStatus parsed = ParseHvWindowsCsv(AsText(bytes), out); !parsed.Ok()) {
    return Damaged(path, parsed);
  }
  return {};
}

TStatus ReadHvReportFile(const std::string& path, THvReport& out) {
  out = THvReport{};
  std::vector<uint8_t> bytes;
  if (TStatus read = ReadBoundedFile(path, kMaxHvReportBytes, bytes); !read.Ok()) return read;
  if (TStatus parsed = ParseHvReport(AsText(bytes), out); !parsed.Ok()) {
    return Damaged(path, parsed);
  }
  return {};
}

TStatus ReadHvsrSeriesFile(const std::string& path, THvsrSeriesChart& out) {
  out = THvsrSeriesChart{};
  std::error_code ec;
  const auto size = std::filesystem::file_size(std::filesystem::path(path), ec);
  if (ec) return WithFile(MakeStatus(TCode::kFileNotFound, {path}), path);
  if (size > static_cast<uintmax_t>(kMaxHvSeriesBytes)) {
    return WithFile(MakeStatus(TCode::kFileTooLargeNoLimit, {path, std::to_string(size)}), path);
  }
  const std::vector<uint8_t> bytes = ReadWholeFile(path, kMaxHvSeriesBytes);
  if (bytes.size() != size) return WithFile(MakeStatus(TCode::kFileUnreadable, {path}), path);
  if (TStatus parsed = ParseHvsrSeriesJson(AsText(bytes), out); !parsed.Ok()) {
    TStatus status = WithFile(MakeStatus(TCode::kFileSays, {path, parsed}), path);
    status.Line = parsed.Line;
    return status;
  }
  return {};
}

std::string HvWindowsPath(const std::string& hv_path) {
  return ReplaceExtension(hv_path, "") + "_windows.csv";
}

std::string HvReportPath(const std::string& hv_path) {
  return ReplaceExtension(hv_path, "") + "_report.json";
}

bool IsHvFile(std::string_view path) {
  return AsciiUpper(FileExtension(path)) == ".HV";
}

}  // namespace tarvik

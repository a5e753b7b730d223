#include "viewers/hvsr_show.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <system_error>

#include "common/binary_file.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "spectral/hv_export.h"

namespace tarvik {

namespace {

using json = nlohmann::json;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Numbers as text, "." whatever the locale (Qt sets the user's locale for the C library).

std::string Fixed(double v, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
}

// About three significant digits, never in exponent form for the sizes a criterion tests.
std::string Readable(double v) {
  const double a = std::fabs(v);
  if (a >= 100.0) return Fixed(v, 0);
  if (a >= 10.0) return Fixed(v, 1);
  if (a >= 1.0 || a == 0.0) return Fixed(v, 2);
  if (a >= 0.001) return Fixed(v, 2 - static_cast<int>(std::floor(std::log10(a))));
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 3);
  return std::string(buf, r.ptr);
}

// f0 with two decimals, three below 1 Hz.
int HzDecimals(double f) {
  return std::fabs(f) < 1.0 ? 3 : 2;
}

std::string Hz(double f) {
  return Fixed(f, HzDecimals(f));
}

// "f0 ± σ" with the spread written to the decimals of f0.
std::string HzPlusMinus(double f, double sigma) {
  return Hz(f) + " ± " + Fixed(sigma, HzDecimals(f));
}

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

std::string Quoted(std::string_view field) {
  return "\"" + Cp1251ToUtf8(field.substr(0, 40)) + "\"";
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

}  // namespace

bool ParseHvWindowsCsv(std::string_view bytes, THvWindowsFile& out, std::string& error) {
  out = THvWindowsFile{};
  auto fail = [&](size_t line, const std::string& why) {
    out = THvWindowsFile{};
    error = "строка " + std::to_string(line) + ": " + why;
    return false;
  };
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty()) return fail(1, "файл пуст");
  const std::vector<std::string_view> head = SplitCommas(lines[0]);
  static constexpr std::string_view kHead[] = {"window", "first_sample", "start_s", "fate", "f0"};
  constexpr size_t kFixed = std::size(kHead);
  for (size_t k = 0; k < kFixed; ++k) {
    if (k >= head.size() || head[k] != kHead[k]) {
      return fail(1, "заголовок не начинается с window,first_sample,start_s,fate,f0");
    }
  }
  out.Grid.reserve(head.size() - kFixed);
  for (size_t k = kFixed; k < head.size(); ++k) {
    double f = 0.0;
    if (!ParseDouble(head[k], f) || f <= 0.0) {
      return fail(1, "частота " + Quoted(head[k]) + " не положительное число");
    }
    if (!out.Grid.empty() && f <= out.Grid.back()) {
      return fail(1, "частоты не возрастают (" + Quoted(head[k]) + ")");
    }
    out.Grid.push_back(f);
  }
  const size_t width = head.size();
  for (size_t k = 1; k < lines.size(); ++k) {
    const size_t line_no = k + 1;
    if (lines[k].empty()) continue;
    const std::vector<std::string_view> f = SplitCommas(lines[k]);
    if (f.size() != width) {
      return fail(line_no, std::to_string(f.size()) + " полей вместо " + std::to_string(width));
    }
    THvWindowCurve w;
    int64_t number = 0;
    if (!ParseInt64(f[0], number) || number < 1 || number > std::numeric_limits<int>::max()) {
      return fail(line_no, "номер окна " + Quoted(f[0]) + " не целое положительное число");
    }
    w.Number = static_cast<int>(number);
    if (!ParseInt64(f[1], w.FirstSample) || w.FirstSample < 0) {
      return fail(line_no, "первый отсчет " + Quoted(f[1]) + " не целое неотрицательное число");
    }
    if (!ParseDouble(f[2], w.StartSeconds) || w.StartSeconds < 0.0) {
      return fail(line_no, "начало окна " + Quoted(f[2]) + " не неотрицательное число");
    }
    if (!FateOf(f[3], w.Fate)) {
      return fail(line_no,
                  "судьба окна " + Quoted(f[3]) + " не kept, rejected, no_peak или unusable");
    }
    if (!f[4].empty() && (!ParseDouble(f[4], w.F0) || w.F0 <= 0.0)) {
      return fail(line_no, "f0 " + Quoted(f[4]) + " не положительное число");
    }
    w.Values.resize(out.Grid.size(), kNaN);
    for (size_t i = 0; i < out.Grid.size(); ++i) {
      const std::string_view field = f[kFixed + i];
      if (!field.empty() && !ParseDouble(field, w.Values[i])) {
        return fail(line_no,
                    "поле " + std::to_string(kFixed + i + 1) + " " + Quoted(field) + " не число");
      }
    }
    out.Windows.push_back(std::move(w));
  }
  return true;
}

namespace {

// ---- The report's keys, each checked for its type; error names the key at fault.

// A report nests four levels deep; anything far deeper is not one (and is refused before the
// parser builds it).
constexpr int kMaxReportDepth = 32;

bool NestsTooDeep(std::string_view bytes) {
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
      if (++depth > kMaxReportDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

// Takes a document without building it, to find where it stops being JSON: bad syntax and
// numbers out of range alike come to parse_error with the count of bytes read.
class ErrorLocator : public nlohmann::json_sax<json> {
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
    read = position;
    return false;
  }
  size_t read = 0;
};

// The 1-based line of the first byte that is not JSON.
size_t ErrorLine(std::string_view bytes) {
  ErrorLocator locator;
  json::sax_parse(bytes.begin(), bytes.end(), &locator);
  const size_t end = std::min(locator.read > 0 ? locator.read - 1 : 0, bytes.size());
  return 1 + static_cast<size_t>(
                 std::count(bytes.begin(), bytes.begin() + static_cast<long>(end), '\n'));
}

class ReportKeys {
 public:
  explicit ReportKeys(std::string& error) : error_(error) {}

  // The member key of object (named path for the messages), or null with the error set.
  const json* Member(const json& object, const char* key, const std::string& path) {
    if (!object.is_object()) {
      Fail((path.empty() ? "документ" : path) + ": не объект");
      return nullptr;
    }
    const auto it = object.find(key);
    if (it == object.end()) {
      Fail(Name(key, path) + ": нет ключа");
      return nullptr;
    }
    return &*it;
  }

  bool Number(const json& object, const char* key, const std::string& path, double& v) {
    const json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_number() || !std::isfinite(m->get<double>())) {
      return Fail(Name(key, path) + ": не число");
    }
    v = m->get<double>();
    return true;
  }

  bool Count(const json& object, const char* key, const std::string& path, int& v) {
    const json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_number_unsigned() || m->get<uint64_t>() > INT32_MAX) {
      return Fail(Name(key, path) + ": не целое неотрицательное число");
    }
    v = static_cast<int>(m->get<uint64_t>());
    return true;
  }

  bool Bool(const json& object, const char* key, const std::string& path, bool& v) {
    const json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_boolean()) return Fail(Name(key, path) + ": не true/false");
    v = m->get<bool>();
    return true;
  }

  bool String(const json& object, const char* key, const std::string& path, std::string& v) {
    const json* m = Member(object, key, path);
    if (m == nullptr) return false;
    if (!m->is_string()) return Fail(Name(key, path) + ": не строка");
    v = m->get<std::string>();
    return true;
  }

  // An object or null; false (error set) for anything else.
  bool OptionalObject(const json& object, const char* key, const std::string& path,
                      const json*& v) {
    v = Member(object, key, path);
    if (v == nullptr) return false;
    if (v->is_null()) {
      v = nullptr;
      return true;
    }
    if (!v->is_object()) return Fail(Name(key, path) + ": не объект и не null");
    return true;
  }

  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }

 private:
  static std::string Name(const char* key, const std::string& path) {
    return path.empty() ? key : path + "." + key;
  }
  std::string& error_;
};

bool ReadCriteria(ReportKeys& keys, const json& group, const std::string& path, size_t count,
                  std::vector<THvCriterion>& out) {
  const json* list = keys.Member(group, "criteria", path);
  if (list == nullptr) return false;
  const std::string list_path = path + ".criteria";
  if (!list->is_array() || list->size() != count) {
    return keys.Fail(list_path + ": не список из " + std::to_string(count) + " критериев");
  }
  for (size_t i = 0; i < count; ++i) {
    const json& item = (*list)[i];
    const std::string at = list_path + "[" + std::to_string(i) + "]";
    THvCriterion c;
    if (!keys.String(item, "id", at, c.Id) || !keys.String(item, "test", at, c.Test) ||
        !keys.Bool(item, "evaluated", at, c.Evaluated) ||
        !keys.Number(item, "threshold", at, c.Threshold) || !keys.Bool(item, "pass", at, c.Pass)) {
      return false;
    }
    const json* value = keys.Member(item, "value", at);
    if (value == nullptr) return false;
    if (c.Evaluated && !keys.Number(item, "value", at, c.Value)) return false;
    if (!c.Evaluated && !value->is_null()) {
      return keys.Fail(at + ".value: не null у непроверенного критерия");
    }
    out.push_back(std::move(c));
  }
  return true;
}

bool ReadSesameGroup(ReportKeys& keys, const json& sesame, const char* key, size_t count,
                     int& passed, std::vector<THvCriterion>& out) {
  const json* group = keys.Member(sesame, key, "sesame");
  const std::string path = std::string("sesame.") + key;
  if (group == nullptr || !keys.Count(*group, "passed", path, passed) ||
      !ReadCriteria(keys, *group, path, count, out)) {
    return false;
  }
  const int counted = static_cast<int>(
      std::count_if(out.begin(), out.end(), [](const THvCriterion& c) { return c.Pass; }));
  if (counted != passed) {
    return keys.Fail(path + ".passed: " + std::to_string(passed) + ", а выполнено критериев " +
                     std::to_string(counted));
  }
  return true;
}

}  // namespace

bool ParseHvReport(std::string_view bytes, THvReport& out, std::string& error) {
  out = THvReport{};
  if (NestsTooDeep(bytes)) {
    error = "вложенность глубже " + std::to_string(kMaxReportDepth) + " уровней";
    return false;
  }
  const json j = json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (j.is_discarded()) {
    error = "строка " + std::to_string(ErrorLine(bytes)) + ": не JSON";
    return false;
  }
  THvReport r;
  ReportKeys keys(error);
  const json* windows = keys.Member(j, "windows", "");
  if (windows == nullptr || !keys.Number(j, "window_seconds", "", r.WindowSeconds) ||
      !keys.Count(*windows, "total", "windows", r.Total) ||
      !keys.Count(*windows, "kept", "windows", r.Kept) ||
      !keys.Count(*windows, "rejected", "windows", r.Rejected) ||
      !keys.Count(*windows, "no_peak", "windows", r.NoPeak) ||
      !keys.Count(*windows, "unusable", "windows", r.Unusable)) {
    return false;
  }
  if (int64_t{r.Kept} + r.Rejected + r.NoPeak + r.Unusable != r.Total) {
    error = "windows: kept + rejected + no_peak + unusable не равно total";
    return false;
  }
  const json* average = nullptr;
  const json* from_windows = nullptr;
  if (!keys.OptionalObject(j, "f0_from_average", "", average) ||
      !keys.OptionalObject(j, "f0_from_windows", "", from_windows)) {
    return false;
  }
  if (average != nullptr) {
    r.HasF0Average = true;
    if (!keys.Number(*average, "f0", "f0_from_average", r.F0Average) ||
        !keys.Number(*average, "a0", "f0_from_average", r.A0Average)) {
      return false;
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
      return false;
    }
    if (r.F0Median <= 0.0 || r.SigmaF < 0.0) {
      error = at + ": median не положительна или sigma_f отрицательна";
      return false;
    }
  }
  const json* sesame = keys.Member(j, "sesame", "");
  if (sesame == nullptr || !keys.Bool(*sesame, "evaluated", "sesame", r.SesameEvaluated) ||
      !ReadSesameGroup(keys, *sesame, "reliable", 3, r.ReliablePassed, r.Reliability) ||
      !ReadSesameGroup(keys, *sesame, "clear", 6, r.ClearPassed, r.Clarity) ||
      !keys.Bool(j, "ok", "", r.Ok) || !keys.String(j, "verdict", "", r.Verdict)) {
    return false;
  }
  out = std::move(r);
  return true;
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

namespace {

// ---- Reading the files.

enum class TRead { kOk, kMissing, kBad };

// The bytes of path, at most max_bytes; otherwise the message for the user in problem.
TRead ReadBounded(const std::string& path, int64_t max_bytes, std::vector<uint8_t>& bytes,
                  std::string& problem) {
  const std::filesystem::path native(std::u8string(path.begin(), path.end()));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(native, ec)) {
    problem = "Файл " + path + " не найден";
    return TRead::kMissing;
  }
  const auto size = std::filesystem::file_size(native, ec);
  if (ec) {
    problem = "Файл " + path + " не удалось прочитать";
    return TRead::kBad;
  }
  if (size > static_cast<uintmax_t>(max_bytes)) {
    problem = "Файл " + path + " слишком велик (" + std::to_string(size) + " байт, допустимо " +
              std::to_string(max_bytes) + ")";
    return TRead::kBad;
  }
  bytes = ReadWholeFile(path, max_bytes);
  if (bytes.size() != size) {
    problem = "Файл " + path + " не удалось прочитать";
    return TRead::kBad;
  }
  return TRead::kOk;
}

std::string_view AsText(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The two grids written from the same analysis carry the same six-digit numbers.
bool SameGrid(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i] - b[i]) > 1e-5 * std::fabs(b[i])) return false;
  }
  return true;
}

// A file written beside the ".hv" file, read whole and parsed; false with the reason added to
// problems when it is missing, too large, damaged, or of another analysis (other_run says how,
// or returns "" when it is of the same one).
template <typename T>
bool ReadCompanion(const std::string& path, int64_t max_bytes,
                   bool (*parse)(std::string_view, T&, std::string&),
                   const std::function<std::string(const T&)>& other_run, T& out,
                   std::vector<std::string>& problems) {
  std::vector<uint8_t> bytes;
  std::string problem;
  if (ReadBounded(path, max_bytes, bytes, problem) != TRead::kOk) {
    problems.push_back(problem);
    return false;
  }
  std::string error;
  if (!parse(AsText(bytes), out, error)) {
    problems.push_back("Файл " + path + " поврежден: " + error);
    return false;
  }
  if (const std::string why = other_run(out); !why.empty()) {
    problems.push_back("Файл " + path + " не от того же расчета: " + why);
    return false;
  }
  return true;
}

// ---- The chart.

constexpr TRgb kMeanColor = 0x000000;
constexpr TRgb kKeptColor = 0x707070;
constexpr TRgb kRejectedColor = 0xC03030;
constexpr TRgb kNoPeakColor = 0x3050C0;
constexpr TRgb kBandColor = 0xF0A020;

struct TFateStyle {
  TWindowFate Fate;
  TRgb Color;
  int Alpha;
  bool Dashed;
  const char* Suffix;  // after "Окно N"
  const char* Group;   // the legend's entry for the group
};

// In drawing order: the windows left out first, so that the kept ones, which make the mean
// curve, lie over them; the left-out ones show in their own colour wherever they stray.
constexpr TFateStyle kFateStyles[] = {
    {TWindowFate::kUnusable, kKeptColor, 70, true, " (непригодно)", "Непригодные окна"},
    {TWindowFate::kNoPeak, kNoPeakColor, 80, false, " (нет пика)", "Окна без пика"},
    {TWindowFate::kRejected, kRejectedColor, 80, false, " (отклонено)", "Отклоненные окна"},
    {TWindowFate::kKept, kKeptColor, 70, false, "", "Окна"},
};

TChartSeries Line(std::string title, TRgb color, double width, bool dashed) {
  TChartSeries s;
  s.Title = std::move(title);
  s.Color = color;
  s.Width = width;
  s.Dashed = dashed;
  return s;
}

void AddPositive(TChartSeries& s, const std::vector<double>& x, const std::vector<double>& y) {
  s.X.reserve(x.size());
  s.Y.reserve(x.size());
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (x[i] > 0.0 && std::isfinite(x[i]) && std::isfinite(y[i])) s.Add(x[i], y[i]);
  }
}

// One series per window with a curve, behind the others; the legend gets one entry per fate.
void AddWindows(TSpectrumView& view, const THvWindowsFile& windows) {
  for (const TFateStyle& style : kFateStyles) {
    const auto count = std::count_if(windows.Windows.begin(), windows.Windows.end(),
                                     [&](const THvWindowCurve& w) { return w.Fate == style.Fate; });
    bool first = true;
    for (const THvWindowCurve& w : windows.Windows) {
      if (w.Fate != style.Fate) continue;
      TChartSeries s =
          Line("Окно " + std::to_string(w.Number) + style.Suffix, style.Color, 1.0, style.Dashed);
      s.Alpha = style.Alpha;
      s.Behind = true;
      s.FitsAxes = false;
      AddPositive(s, windows.Grid, w.Values);
      if (s.X.empty()) continue;
      s.InLegend = first;
      s.LegendTitle = std::string(style.Group) + " (" + std::to_string(count) + ")";
      first = false;
      view.Series.push_back(std::move(s));
    }
  }
}

void AddBand(TSpectrumView& view, double lo, double hi, std::string title) {
  if (!(hi > 0.0) || !std::isfinite(lo) || !std::isfinite(hi)) return;
  TChartSeries band;
  band.Title = std::move(title);
  band.Kind = TSeriesKind::kBand;
  band.Color = kBandColor;
  band.Alpha = 70;
  band.InLegend = false;
  // The band lies on a logarithmic axis: its left edge stays above 0.
  band.Add(std::max(lo, hi * 1e-3), 0.0);
  band.Add(hi, 0.0);
  view.Series.push_back(std::move(band));
}

// How the panel writes each criterion: what is tested, whether the value must be above the
// threshold, and the unit (clear.4 is a relative deviation shown in percent).
struct TCriterionText {
  std::string_view Id;
  const char* Name;
  bool Above;
  const char* Unit;
  double Scale;
};

constexpr TCriterionText kCriterionTexts[] = {
    {"reliable.1", "f0 > 10 / lw", true, " Гц", 1.0},
    {"reliable.2", "nc = lw · nw · f0 > 200", true, "", 1.0},
    {"reliable.3", "max σA на (f0/2, 2 f0)", false, "", 1.0},
    {"clear.1", "min A на [f0/4, f0) < A0/2", false, "", 1.0},
    {"clear.2", "min A на (f0, 4 f0] < A0/2", false, "", 1.0},
    {"clear.3", "A0 > 2", true, "", 1.0},
    {"clear.4", "пики A·σA и A/σA от f0", false, " %", 100.0},
    {"clear.5", "σf < ε(f0)", false, " Гц", 1.0},
    {"clear.6", "σA(f0) < θ(f0)", false, "", 1.0},
};

TPanelRow CriterionRow(const THvCriterion& c) {
  TPanelRow row;
  row.Id = c.Id;
  row.Evaluated = c.Evaluated;
  row.Value = c.Value;
  row.Threshold = c.Threshold;
  row.Pass = c.Pass;
  const auto text = std::find_if(std::begin(kCriterionTexts), std::end(kCriterionTexts),
                                 [&](const TCriterionText& t) { return t.Id == c.Id; });
  if (text == std::end(kCriterionTexts)) {
    // A criterion this viewer does not know: the report's own wording.
    row.Name = c.Test;
    row.ValueText = c.Evaluated ? Readable(c.Value) : "—";
    row.ThresholdText = Readable(c.Threshold);
    return row;
  }
  row.Name = text->Name;
  row.ValueText = c.Evaluated ? Readable(c.Value * text->Scale) + text->Unit : "—";
  row.ThresholdText =
      std::string(text->Above ? "> " : "< ") + Readable(c.Threshold * text->Scale) + text->Unit;
  return row;
}

TPanelRow Heading(std::string name) {
  TPanelRow row;
  row.Heading = true;
  row.Name = std::move(name);
  return row;
}

std::string WindowCounts(const THvReport& r) {
  return "Окна: " + std::to_string(r.Total) + ", принято " + std::to_string(r.Kept) +
         ", отклонено " + std::to_string(r.Rejected) + ", без пика " + std::to_string(r.NoPeak) +
         ", непригодно " + std::to_string(r.Unusable);
}

void FillPanelFromReport(TSidePanel& panel, const THvReport& r) {
  panel.Rows.push_back(
      Heading("Надежность кривой: " + std::to_string(r.ReliablePassed) + " из 3 (нужны все)"));
  for (const THvCriterion& c : r.Reliability) panel.Rows.push_back(CriterionRow(c));
  panel.Rows.push_back(
      Heading("Четкость пика: " + std::to_string(r.ClearPassed) + " из 6 (нужны 5)"));
  for (const THvCriterion& c : r.Clarity) panel.Rows.push_back(CriterionRow(c));

  if (r.Ok) {
    const bool reliable = r.ReliablePassed == 3;
    const bool clear = r.ClearPassed >= 5;
    panel.Notes.push_back(std::string("Итог: ") +
                          (reliable ? "кривая надежна" : "кривая ненадежна") + ", " +
                          (clear ? "пик четкий" : "пик нечеткий"));
  } else {
    panel.Notes.push_back("Итог: f0 не найдена: " + r.Verdict);
  }
  if (r.HasF0Average) {
    panel.Notes.push_back("f0 по средней кривой: " + Hz(r.F0Average) +
                          " Гц, A0 = " + Readable(r.A0Average));
  }
  if (r.HasF0Windows) {
    panel.Notes.push_back("f0 по окнам: " + HzPlusMinus(r.F0Median, r.SigmaF) + " Гц (" +
                          std::to_string(r.F0WindowCount) + " окон)");
  }
  panel.Notes.push_back(WindowCounts(r) + "; длина окна " + Readable(r.WindowSeconds) + " с");
}

// Without the report: f0 as the ".hv" file gives it.
void FillPanelFromHv(TSidePanel& panel, const THvFile& hv) {
  if (hv.F0Average > 0.0) {
    panel.Notes.push_back("f0 по средней кривой: " + Hz(hv.F0Average) +
                          " Гц, A0 = " + Readable(hv.PeakAmplitude));
  }
  if (hv.F0Windows > 0.0) {
    panel.Notes.push_back("f0 по окнам: " + Hz(hv.F0Windows) + " Гц (" + Hz(hv.F0WindowsLow) +
                          " – " + Hz(hv.F0WindowsHigh) + "), " + std::to_string(hv.WindowsForF0) +
                          " окон");
  }
  panel.Notes.push_back("Окон в средней кривой: " + std::to_string(hv.Windows));
}

}  // namespace

THvsrShown ShowHvsrResult(TSpectrumView& view, const std::string& hv_path, UiHost& host) {
  host.SetStatus("Загрузка статистики H/V", 3);
  view.Caption = hv_path;
  view.LeftTitle = "H/V";
  view.BottomTitle = kFrequencyAxisTitle;
  view.LogX = true;
  view.LogY = false;
  view.IntegrationEnabled = false;
  view.PrevEnabled = view.NextEnabled = false;
  view.FixEnabled = false;
  ClearChart(view);
  view.ChoicesEnabled = false;

  std::vector<uint8_t> bytes;
  std::string problem;
  if (ReadBounded(hv_path, kMaxHvFileBytes, bytes, problem) != TRead::kOk) {
    host.ShowMessage(problem);
    return THvsrShown::kNothing;
  }
  THvFile hv;
  std::string error;
  if (!ParseHvFile(AsText(bytes), hv, &error)) {
    host.ShowError("Файл " + hv_path + " поврежден: " + error);
    return THvsrShown::kNothing;
  }
  host.SetProgress(1, 3);

  // The companions: each one read whole or left out with the reason.
  std::vector<std::string> problems;
  THvWindowsFile windows;
  const bool have_windows = ReadCompanion<THvWindowsFile>(
      HvWindowsPath(hv_path), kMaxHvWindowsBytes, ParseHvWindowsCsv,
      [&](const THvWindowsFile& w) {
        return hv.Frequency.empty() || SameGrid(w.Grid, hv.Frequency)
                   ? std::string()
                   : std::to_string(w.Grid.size()) + " частот, в файле .hv " +
                         std::to_string(hv.Frequency.size()) + " других";
      },
      windows, problems);
  host.SetProgress(2, 3);

  THvReport report;
  const bool have_report = ReadCompanion<THvReport>(
      HvReportPath(hv_path), kMaxHvReportBytes, ParseHvReport,
      [&](const THvReport& r) {
        return !have_windows || static_cast<size_t>(r.Total) == windows.Windows.size()
                   ? std::string()
                   : "окон " + std::to_string(r.Total) + ", в файле окон " +
                         std::to_string(windows.Windows.size());
      },
      report, problems);
  host.SetProgress(3, 3);

  // The check list starts with the result; the window curves, drawn behind it, follow.
  TChartSeries mean = Line("Средняя H/V", kMeanColor, 2.5, false);
  TChartSeries low = Line("Средняя ÷ exp σ", kMeanColor, 1.2, true);
  TChartSeries high = Line("Средняя × exp σ", kMeanColor, 1.2, true);
  AddPositive(mean, hv.Frequency, hv.Average);
  AddPositive(low, hv.Frequency, hv.Min);
  AddPositive(high, hv.Frequency, hv.Max);
  high.LegendTitle = "Средняя × и ÷ exp σ";
  low.InLegend = false;
  view.Series.push_back(std::move(mean));
  view.Series.push_back(std::move(low));
  view.Series.push_back(std::move(high));

  TSidePanel& panel = view.Panel;
  panel.Title = "Критерии SESAME";
  if (have_report) {
    if (report.HasF0Windows) {
      AddBand(view, report.F0Median - report.SigmaF, report.F0Median + report.SigmaF,
              "f0 = " + HzPlusMinus(report.F0Median, report.SigmaF) + " Гц");
    }
    FillPanelFromReport(panel, report);
  } else {
    if (hv.F0Windows > 0.0) {
      AddBand(view, hv.F0WindowsLow, hv.F0WindowsHigh,
              "f0 = " + Hz(hv.F0Windows) + " Гц (" + Hz(hv.F0WindowsLow) + " – " +
                  Hz(hv.F0WindowsHigh) + ")");
    }
    FillPanelFromHv(panel, hv);
  }
  if (have_windows) AddWindows(view, windows);

  if (problems.empty()) return THvsrShown::kWhole;
  std::string shown;
  if (!have_windows && !have_report) {
    shown = "Показано только то, что есть в файле " + hv_path + ": средняя кривая, ±σ и f0.";
  } else if (!have_windows) {
    shown = "Кривые окон не показаны.";
  } else {
    shown = "Критерии SESAME не показаны.";
  }
  std::string message;
  for (const std::string& p : problems) {
    message += p + ".\r\n";
    panel.Notes.push_back(p);
  }
  host.ShowMessage(message + shown);
  panel.Notes.push_back(shown);
  return THvsrShown::kPartial;
}

}  // namespace tarvik

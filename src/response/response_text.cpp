#include "response/response_text.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "common/binary_file.h"
#include "common/text_encoding.h"

namespace tarvik::response_text {

std::string Located(const std::string& name, int line, const std::string& reason) {
  if (line <= 0) return name + ": " + reason;
  return name + ", line " + std::to_string(line) + ": " + reason;
}

LoadError::LoadError(TStatus status)
    : std::runtime_error(Text(status, TLanguage::kEnglish)), status_(std::move(status)) {}

TStatus Defect(const std::string& name, int line, TArg reason) {
  TStatus status = line > 0 ? MakeStatus(TCode::kResponseDefectAtLine,
                                         {name, std::to_string(line), std::move(reason)})
                            : MakeStatus(TCode::kResponseDefect, {name, std::move(reason)});
  status.File = name;
  if (line > 0) status.Line = line;
  return status;
}

TStatus About(TCode code, const std::string& name, std::vector<TArg> more) {
  std::vector<TArg> args{TArg(name)};
  args.insert(args.end(), more.begin(), more.end());
  TStatus status = MakeStatus(code, std::move(args));
  status.File = name;
  return status;
}

void Fail(const std::string& name, int line, TArg reason) {
  throw LoadError(Defect(name, line, std::move(reason)));
}

void Fail(const std::string& name, int line, TCode code, std::vector<TArg> args) {
  throw LoadError(Defect(name, line, MakeStatus(code, std::move(args))));
}

void Fail(TStatus status) {
  throw LoadError(std::move(status));
}

std::string ReadFileBytes(const std::string& path) {
  if (path.empty()) Fail(MakeStatus(TCode::kResponseNoFileName));
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) Fail(About(TCode::kResponseIsFolder, path));
  BinaryFile file;
  if (!file.Open(path)) Fail(About(TCode::kResponseFileNotOpened, path));
  if (file.Size() > kMaxResponseFileBytes) {
    Fail(About(TCode::kResponseFileTooLarge, path, {std::to_string(file.Size())}));
  }
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  if (!file.ReadExact(0, bytes.data(), bytes.size())) {
    TStatus status = About(TCode::kResponseFileUnreadable, path);
    status.Offset = 0;
    Fail(std::move(status));
  }
  return bytes;
}

std::string DecodeText(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (bytes.substr(0, kBom.size()) == kBom) return std::string(bytes.substr(kBom.size()));
  return Cp1251ToUtf8(bytes);
}

std::vector<std::string_view> SplitFields(std::string_view line, std::string_view separators) {
  std::vector<std::string_view> fields;
  size_t pos = 0;
  while (true) {
    pos = line.find_first_not_of(separators, pos);
    if (pos == std::string_view::npos) break;
    size_t end = line.find_first_of(separators, pos);
    if (end == std::string_view::npos) end = line.size();
    fields.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return fields;
}

std::string Columns(std::string_view line, size_t first, size_t last) {
  if (first < 1 || first > line.size() || last < first) return {};
  return Trim(line.substr(first - 1, last - first + 1));
}

TFAPRow ParseFapRow(std::string_view line, const std::string& name, int number) {
  const std::vector<std::string_view> f = SplitFields(line, " \t,");
  const auto frequency = f.size() > 0 ? ParseDouble(f[0]) : std::nullopt;
  const auto amplitude = f.size() > 1 ? ParseDouble(f[1]) : std::nullopt;
  if (!frequency || !amplitude) {
    Fail(name, number, TCode::kRefuseRowNeedsFrequency, {Quote(line)});
  }
  const auto phase = f.size() > 2 ? ParseDouble(f[2]) : std::nullopt;
  return {*frequency, *amplitude, phase.value_or(0.0)};
}

std::string Quote(std::string_view text) {
  constexpr size_t kLimit = 40;
  if (text.size() <= kLimit) return "\"" + std::string(text) + "\"";
  return "\"" + std::string(text.substr(0, kLimit)) + "...\"";
}

std::optional<double> ParseTimeOfDay(std::string_view text) {
  const size_t dot = text.find('.');
  std::string_view hms = text.substr(0, dot);
  double fraction = 0.0;
  if (dot != std::string_view::npos) {
    const std::string_view digits = text.substr(dot + 1);
    if (!digits.empty()) {
      for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      }
      const auto f = ParseDouble("0." + std::string(digits));
      if (!f) return std::nullopt;
      fraction = *f;
    }
  }
  int parts[3] = {0, 0, 0};
  int count = 0;
  size_t pos = 0;
  while (true) {
    if (count == 3) return std::nullopt;
    const size_t colon = hms.find(':', pos);
    const std::string_view part =
        hms.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
    if (part.empty() || part.front() == '-' || part.front() == '+') return std::nullopt;
    const auto v = ParseInt32(part);
    if (!v) return std::nullopt;
    parts[count++] = *v;
    if (colon == std::string_view::npos) break;
    pos = colon + 1;
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return std::nullopt;
  const double seconds = (parts[0] * 60.0 + parts[1]) * 60.0 + parts[2] + fraction;
  return seconds / kSecondsPerDay;
}

std::optional<TDateTime> CalendarDate(int year, int month, int day) {
  const std::chrono::year_month_day ymd{std::chrono::year{year},
                                        std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || !ymd.ok()) {
    return std::nullopt;
  }
  return static_cast<TDateTime>(DaysFromCivil(year, month, day));
}

namespace {

std::optional<TDateTime> LocalDateTime(std::time_t t) {
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return std::nullopt;
#else
  if (localtime_r(&t, &tm) == nullptr) return std::nullopt;
#endif
  return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec);
}

}  // namespace

TDateTime LocalNow() {
  const auto now = LocalDateTime(std::time(nullptr));
  return now ? *now : UnixToDateTime(static_cast<double>(std::time(nullptr)));
}

TDateTime LocalToday() {
  return std::floor(LocalNow());
}

std::optional<TDateTime> FileModificationTime(const std::string& path) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(path, ec);
  if (ec) return std::nullopt;
  const auto system = std::chrono::file_clock::to_sys(written);
  return LocalDateTime(std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system)));
}

}  // namespace tarvik::response_text

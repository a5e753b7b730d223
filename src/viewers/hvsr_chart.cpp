#include "viewers/hvsr_chart.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "common/binary_file.h"
#include "common/datetime.h"

namespace tarvik {

namespace {

using Json = nlohmann::json;

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Seconds of an ISO 8601 UTC time "YYYY-MM-DDThh:mm:ss[.fff]Z"; NaN when it is not one.
double IsoSeconds(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double s = 0.0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) != 6)
    return std::numeric_limits<double>::quiet_NaN();
  const std::chrono::year_month_day day{std::chrono::year{y}, std::chrono::month{unsigned(mo)},
                                        std::chrono::day{unsigned(d)}};
  if (!day.ok()) return std::numeric_limits<double>::quiet_NaN();
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

bool ParseHvsrSeriesJson(std::string_view bytes, THvsrSeriesChart& out, std::string& error) {
  out = THvsrSeriesChart{};
  const auto fail = [&](const std::string& why) {
    error = why;
    out = THvsrSeriesChart{};
    return false;
  };
  if (static_cast<int64_t>(bytes.size()) > kMaxHvSeriesBytes) return fail("файл слишком велик");
  // The files nest three levels deep; anything far deeper is refused before it is built.
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
      if (++depth > 32) return fail("вложенность глубже 32 уровней");
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  const Json j = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return fail("не JSON");
  out.ByTime = j.contains("intervals");
  const char* list_key = out.ByTime ? "intervals" : "azimuths";
  const char* map_key = out.ByTime ? "spectrogram" : "map";
  if (!j.contains(list_key) || !j[list_key].is_array())
    return fail("нет списка интервалов или азимутов");
  if (!j.contains(map_key) || !j[map_key].is_object())
    return fail(std::string("нет ключа ") + map_key);
  if (j.contains("record") && j["record"].is_object() && j["record"].contains("station") &&
      j["record"]["station"].is_string())
    out.Station = j["record"]["station"].get<std::string>();
  const Json& list = j[list_key];
  const double nan = std::numeric_limits<double>::quiet_NaN();
  double first = nan;
  if (out.ByTime) {
    const double every = NumberOr(j, "every_seconds", 0.0);
    out.Width = every > 0.0 && std::isfinite(every) ? every / 3600.0 : 0.0;
  }
  for (const Json& item : list) {
    if (!item.is_object()) return fail(std::string(list_key) + ": элемент не объект");
    double x = nan;
    if (out.ByTime) {
      const auto start = item.find("start");
      if (start == item.end() || !start->is_string())
        return fail("intervals: у интервала нет start");
      const double seconds = IsoSeconds(start->get<std::string>());
      if (std::isnan(first)) {
        first = seconds;
        out.FirstStart = start->get<std::string>();
      }
      x = (seconds - first) / 3600.0 + out.Width / 2.0;
    } else {
      x = NumberOr(item, "azimuth", nan);
    }
    if (!std::isfinite(x))
      return fail(std::string(list_key) + ": у элемента нет времени или азимута");
    out.X.push_back(x);
    const double f0 = NumberOr(item, "f0", nan);
    const double sigma = NumberOr(item, "sigma_f0", nan);
    out.F0.push_back(f0 > 0.0 ? f0 : nan);
    out.F0Low.push_back(f0 > 0.0 && sigma >= 0.0 ? std::max(f0 - sigma, 0.0) : nan);
    out.F0High.push_back(f0 > 0.0 && sigma >= 0.0 ? f0 + sigma : nan);
  }
  const Json& map = j[map_key];
  if (!map.contains("frequency") || !map["frequency"].is_array())
    return fail(std::string(map_key) + ": нет частот");
  for (const Json& f : map["frequency"]) {
    if (!f.is_number() || !(f.get<double>() > 0.0) ||
        (!out.Frequency.empty() && !(f.get<double>() > out.Frequency.back())))
      return fail(std::string(map_key) + ": частоты не положительны или не возрастают");
    out.Frequency.push_back(f.get<double>());
  }
  if (!map.contains("mean") || !map["mean"].is_array() || map["mean"].size() != out.X.size())
    return fail(std::string(map_key) + ": кривых не столько, сколько элементов");
  for (const Json& row : map["mean"]) {
    std::vector<double> curve;
    if (!row.is_array() || (!row.empty() && row.size() != out.Frequency.size()))
      return fail(std::string(map_key) + ": длина кривой не равна числу частот");
    for (const Json& v : row) {
      if (!v.is_number() || !std::isfinite(v.get<double>()))
        return fail(std::string(map_key) + ": в кривой не число");
      curve.push_back(v.get<double>());
      out.MaxMean = std::max(out.MaxMean, curve.back());
    }
    out.Mean.push_back(std::move(curve));
  }
  return true;
}

bool ReadHvsrSeriesFile(const std::string& path, THvsrSeriesChart& out, std::string& error) {
  out = THvsrSeriesChart{};
  std::error_code ec;
  const auto size = std::filesystem::file_size(std::filesystem::path(path), ec);
  if (ec) {
    error = "Файл " + path + " не найден";
    return false;
  }
  if (size > static_cast<uintmax_t>(kMaxHvSeriesBytes)) {
    error = "Файл " + path + " слишком велик (" + std::to_string(size) + " байт)";
    return false;
  }
  const std::vector<uint8_t> bytes = ReadWholeFile(path, kMaxHvSeriesBytes);
  if (bytes.size() != size) {
    error = "Файл " + path + " не удалось прочитать";
    return false;
  }
  std::string why;
  if (!ParseHvsrSeriesJson({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, out, why)) {
    error = "Файл " + path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace tarvik

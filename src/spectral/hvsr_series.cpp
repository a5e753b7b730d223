#include "spectral/hvsr_series.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace tarvik {

namespace {

using Json = nlohmann::ordered_json;

std::string Num(double v) {
  if (!std::isfinite(v)) v = 0.0;
  char buf[40];
  const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6).ptr;
  return std::string(buf, end);
}

double Finite(double v) {
  return std::isfinite(v) ? v : 0.0;
}

std::string CrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A CSV field in quotes, its quotes doubled.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// σ_ln of the mean curve at f0: the spread of A0 between windows.
double SigmaLnA0(const THvsrResult& r) {
  return r.HasF0Mean && r.PeakIndex < r.SigmaLn.size() ? r.SigmaLn[r.PeakIndex] : 0.0;
}

// The columns every line of both tables shares after its own first ones.
std::string ResultFields(const THvsrResult& r) {
  std::string t = std::to_string(r.Count(TWindowFate::kKept)) + ",";
  t += (r.HasF0Mean ? Num(r.F0Mean) : "") + ",";
  t += (r.F0Windows >= 2 ? Num(r.SigmaF) : "") + ",";
  t += (r.HasF0Mean ? Num(r.A0Mean) : "") + ",";
  t += (r.HasF0Mean ? Num(SigmaLnA0(r)) : "") + ",";
  t += std::to_string(r.Sesame.ReliablePassed) + "," + std::to_string(r.Sesame.ClearPassed) + ",";
  t += std::string(r.Ambiguous ? "1" : "0") + "," + (r.Ok ? "1" : "0") + "," + Quoted(r.Verdict);
  return t;
}

constexpr char kResultColumns[] =
    "kept,f0,sigma_f0,a0,sigma_ln_a0,sesame_reliable,sesame_clear,ambiguous,ok,verdict";

Json ResultJson(const THvsrResult& r) {
  Json j;
  j["windows"] = {{"total", r.Curves.size()}, {"kept", r.Count(TWindowFate::kKept)}};
  j["f0"] = r.HasF0Mean ? Json(r.F0Mean) : Json(nullptr);
  j["sigma_f0"] = r.F0Windows >= 2 ? Json(Finite(r.SigmaF)) : Json(nullptr);
  j["f0_median"] = r.F0Windows > 0 ? Json(r.F0Median) : Json(nullptr);
  j["sigma_ln_f0"] = r.F0Windows > 0 ? Json(Finite(r.SigmaLnF0)) : Json(nullptr);
  j["a0"] = r.HasF0Mean ? Json(r.A0Mean) : Json(nullptr);
  j["sigma_ln_a0"] = r.HasF0Mean ? Json(Finite(SigmaLnA0(r))) : Json(nullptr);
  j["sesame"] = {{"reliable", r.Sesame.ReliablePassed},
                 {"reliable_of", 3},
                 {"clear", r.Sesame.ClearPassed},
                 {"clear_of", 6}};
  j["ambiguous"] = r.Ambiguous;
  j["ok"] = r.Ok;
  j["verdict"] = r.Verdict;
  return j;
}

Json CurveJson(const THvsrResult& r) {
  Json row = Json::array();
  for (double v : r.Mean) row.push_back(Finite(v));
  return row;
}

Json RecordJson(const TFileRecord& record) {
  return {{"station", record.Station},
          {"file", record.File},
          {"select_start", FormatIso(record.SelectStart)},
          {"select_finish", FormatIso(record.SelectFinish)},
          {"sampling_rate", Finite(record.SampRate)}};
}

// The grid of the first result that has one (every result of a record shares it).
template <typename Items, typename ResultOf>
Json GridJson(const Items& items, ResultOf result_of) {
  for (const auto& item : items) {
    const THvsrResult& r = result_of(item);
    if (!r.Grid.empty()) return Json(r.Grid);
  }
  return Json::array();
}

}  // namespace

std::vector<THvsrInterval> AnalyseIntervals(const THvsrWindowSet& windows,
                                            const TFileRecord& record, double every,
                                            const THvsrSettings& settings) {
  std::vector<THvsrInterval> out;
  const double rate = record.SampRate;
  const double span = (record.SelectFinish - record.SelectStart) * kSecondsPerDay;
  if (!(every > 0.0 && rate > 0.0 && std::isfinite(span) && span >= 0.0)) return out;
  // A window needs samples after its start: a selection ending on an interval's boundary has
  // no interval after it (the tolerance takes in the rounding of the selection's times).
  const double count = std::max(1.0, std::ceil(span / every - 1e-6));
  if (count > 1e6) return out;
  const auto length = static_cast<int64_t>(std::llround(every * rate));
  const auto origin = static_cast<int64_t>(
      std::llround((record.SelectStart - record.Start) * kSecondsPerDay * rate));
  const auto end = static_cast<int64_t>(std::llround(span * rate)) + origin + 1;
  std::vector<THvsrWindowSet> parts =
      SplitWindows(windows, std::max<int64_t>(0, origin), length, static_cast<size_t>(count), end);
  for (size_t k = 0; k < parts.size(); ++k) {
    THvsrInterval interval;
    interval.Start = record.SelectStart + static_cast<double>(k) * every / kSecondsPerDay;
    interval.Seconds = std::max(0.0, std::min(every, span - static_cast<double>(k) * every));
    interval.Result = AnalyseWindows(std::move(parts[k]), settings);
    out.push_back(std::move(interval));
  }
  return out;
}

THvsrSeriesPaths HvsrSeriesPaths(const THvsrPaths& paths) {
  std::string stem = paths.Hv;
  if (stem.size() >= 3 && stem.compare(stem.size() - 3, 3, ".hv") == 0) stem.erase(stem.size() - 3);
  return {stem + "_time.csv", stem + "_time.json", stem + "_azimuths.csv", stem + "_azimuths.json"};
}

std::string TimeSeriesCsvText(const std::vector<THvsrInterval>& intervals) {
  std::string t = std::string("start,seconds,windows,") + kResultColumns + "\n";
  for (const THvsrInterval& i : intervals) {
    t += FormatIso(i.Start) + "," + Num(i.Seconds) + "," + std::to_string(i.Result.Curves.size()) +
         "," + ResultFields(i.Result) + "\n";
  }
  return CrLf(t);
}

std::string TimeSeriesJsonText(const std::vector<THvsrInterval>& intervals,
                               const TFileRecord& record, double every) {
  Json j;
  j["record"] = RecordJson(record);
  j["every_seconds"] = Finite(every);
  Json list = Json::array(), starts = Json::array(), rows = Json::array();
  for (const THvsrInterval& i : intervals) {
    Json item = {{"start", FormatIso(i.Start)}, {"seconds", Finite(i.Seconds)}};
    item.update(ResultJson(i.Result));
    list.push_back(std::move(item));
    starts.push_back(FormatIso(i.Start));
    rows.push_back(CurveJson(i.Result));
  }
  j["intervals"] = std::move(list);
  j["spectrogram"] = {
      {"frequency",
       GridJson(intervals, [](const THvsrInterval& i) -> const THvsrResult& { return i.Result; })},
      {"start", std::move(starts)},
      {"mean", std::move(rows)}};
  return j.dump(2) + "\n";
}

std::string AzimuthCsvText(const THvsrAzimuths& a) {
  std::string t = std::string("azimuth,") + kResultColumns + "\n";
  for (const THvsrAzimuth& d : a.Directions)
    t += Num(d.Azimuth) + "," + ResultFields(d.Result) + "\n";
  t += "# f0 over azimuths: lognormal median " + Num(a.F0Median) + " Hz, sigma_ln " +
       Num(a.F0SigmaLn) + "; A0: median " + Num(a.A0Median) + ", sigma_ln " + Num(a.A0SigmaLn) +
       "; azimuths with f0 " + std::to_string(a.WithF0) + "\n";
  return CrLf(t);
}

std::string AzimuthJsonText(const THvsrAzimuths& a, const TFileRecord& record, double step) {
  Json j;
  j["record"] = RecordJson(record);
  j["step"] = Finite(step);
  Json list = Json::array(), azimuths = Json::array(), rows = Json::array();
  for (const THvsrAzimuth& d : a.Directions) {
    Json item = {{"azimuth", d.Azimuth}};
    item.update(ResultJson(d.Result));
    list.push_back(std::move(item));
    azimuths.push_back(d.Azimuth);
    rows.push_back(CurveJson(d.Result));
  }
  j["azimuths"] = std::move(list);
  j["statistics"] = {{"azimuths_with_f0", a.WithF0},
                     {"f0", {{"median", Finite(a.F0Median)}, {"sigma_ln", Finite(a.F0SigmaLn)}}},
                     {"a0", {{"median", Finite(a.A0Median)}, {"sigma_ln", Finite(a.A0SigmaLn)}}}};
  j["map"] = {
      {"frequency", GridJson(a.Directions,
                             [](const THvsrAzimuth& d) -> const THvsrResult& { return d.Result; })},
      {"azimuth", std::move(azimuths)},
      {"mean", std::move(rows)}};
  return j.dump(2) + "\n";
}

}  // namespace tarvik

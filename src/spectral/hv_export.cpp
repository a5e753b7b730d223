#include "spectral/hv_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/datetime.h"
#include "common/replace_file.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

// Six significant digits, as the ".hv" layout is usually written; "." whatever the locale.
std::string Num(double v) {
  if (!std::isfinite(v)) v = 0.0;
  char buf[40];
  const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6).ptr;
  return std::string(buf, end);
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

double Finite(double v) {
  return std::isfinite(v) ? v : 0.0;
}

}  // namespace

THvsrPaths HvsrFilePaths(const TResultFolders& folders, const TFileRecord& record) {
  namespace fs = std::filesystem;
  THvsrPaths p;
  const fs::path nak(folders.SpectraNakamura);
  p.Folder = (nak.parent_path() / "HVSR").string();
  std::string stem = fs::path(SpectrumFilePath(folders, record, false)).stem().string();
  if (stem.rfind("prim_", 0) == 0) stem.erase(0, 5);
  const fs::path base = fs::path(p.Folder) / stem;
  p.Hv = base.string() + ".hv";
  p.Windows = base.string() + "_windows.csv";
  p.Report = base.string() + "_report.json";
  return p;
}

std::string HvFileText(const THvsrResult& r) {
  const double low = r.F0Median * std::exp(-r.SigmaLnF0);
  const double high = r.F0Median * std::exp(r.SigmaLnF0);
  std::string t;
  t += "# Tarvik output version 1.1\n";
  t += "# Number of windows = " + std::to_string(r.MeanWindows) + "\n";
  t += "# f0 from average\t" + Num(r.HasF0Mean ? r.F0Mean : 0.0) + "\n";
  t += "# Number of windows for f0 = " + std::to_string(r.F0Windows) + "\n";
  t += "# f0 from windows\t" + Num(r.F0Median) + "\t" + Num(low) + "\t" + Num(high) + "\n";
  t += "# Peak amplitude\t" + Num(r.HasF0Mean ? r.A0Mean : 0.0) + "\n";
  t += "# Position\t0 0 0\n";
  t += "# Category\tDefault\n";
  t += "# Frequency\tAverage\tMin\tMax\n";
  for (size_t i = 0; i < r.Mean.size() && i < r.Grid.size(); ++i) {
    const double spread = std::exp(r.SigmaLn[i]);
    t += Num(r.Grid[i]) + "\t" + Num(r.Mean[i]) + "\t" + Num(r.Mean[i] / spread) + "\t" +
         Num(r.Mean[i] * spread) + "\n";
  }
  return CrLf(t);
}

std::string WindowsCsvText(const THvsrResult& r, double rate) {
  std::string t = "window,first_sample,start_s,fate,f0";
  for (double f : r.Grid) t += "," + Num(f);
  t += "\n";
  for (size_t w = 0; w < r.Curves.size(); ++w) {
    const int64_t first = w < r.FirstSample.size() ? r.FirstSample[w] : 0;
    t += std::to_string(w + 1) + "," + std::to_string(first) + "," +
         Num(rate > 0.0 ? static_cast<double>(first) / rate : 0.0) + "," + FateName(r.Fate[w]) +
         "," + (r.WindowF0[w] > 0.0 ? Num(r.WindowF0[w]) : std::string());
    const std::vector<double>& curve = r.Curves[w];
    for (size_t i = 0; i < r.Grid.size(); ++i) {
      t += ",";
      if (i < curve.size() && std::isfinite(curve[i])) t += Num(curve[i]);
    }
    t += "\n";
  }
  return CrLf(t);
}

std::string ReportJsonText(const THvsrResult& r, const TFileRecord& record) {
  using Json = nlohmann::ordered_json;
  const THvsrSettings& s = r.Settings;
  Json j;
  j["record"] = {{"station", record.Station},
                 {"file", record.File},
                 {"select_start", FormatIso(record.SelectStart)},
                 {"select_finish", FormatIso(record.SelectFinish)},
                 {"sampling_rate", Finite(record.SampRate)}};
  j["settings"] = {
      {"smoothing", SmoothingName(s.Smoothing)},
      {"bandwidth", Finite(s.Bandwidth)},
      {"grid",
       {{"fmin", Finite(s.GridFMin)}, {"fmax", Finite(s.GridFMax)}, {"points", s.GridPoints}}},
      {"horizontal", HorizontalName(s.Horizontal)},
      {"rejection", RejectionName(s.Rejection)},
      {"n", Finite(s.RejectionN)},
      {"band",
       {{"fmin", r.Grid.empty() ? 0.0 : r.Grid[std::min(r.BandLo, r.Grid.size() - 1)]},
        {"fmax", r.Grid.empty() ? 0.0 : r.Grid[std::min(r.BandHi, r.Grid.size() - 1)]}}}};
  j["window_seconds"] = Finite(r.WindowSeconds);
  j["windows"] = {{"total", r.Curves.size()},
                  {"kept", r.Count(TWindowFate::kKept)},
                  {"rejected", r.Count(TWindowFate::kRejected)},
                  {"no_peak", r.Count(TWindowFate::kNoPeak)},
                  {"unusable", r.Count(TWindowFate::kUnusable)},
                  {"mean_curve", r.MeanWindows},
                  {"rejection_passes", r.Iterations}};
  Json list = Json::array();
  for (size_t w = 0; w < r.Curves.size(); ++w) {
    Json item = {{"window", w + 1},
                 {"first_sample", w < r.FirstSample.size() ? r.FirstSample[w] : 0},
                 {"fate", FateName(r.Fate[w])}};
    item["f0"] = r.WindowF0[w] > 0.0 ? Json(r.WindowF0[w]) : Json(nullptr);
    list.push_back(std::move(item));
  }
  j["window_list"] = std::move(list);
  j["f0_from_average"] = r.HasF0Mean ? Json{{"f0", r.F0Mean}, {"a0", r.A0Mean}} : Json(nullptr);
  j["f0_from_windows"] = r.F0Windows > 0
                             ? Json{{"median", r.F0Median},
                                    {"minus_sigma", r.F0Median * std::exp(-r.SigmaLnF0)},
                                    {"plus_sigma", r.F0Median * std::exp(r.SigmaLnF0)},
                                    {"sigma_ln", r.SigmaLnF0},
                                    {"sigma_f", r.SigmaF},
                                    {"windows", r.F0Windows}}
                             : Json(nullptr);
  auto criteria = [](const std::vector<TSesameCriterion>& list) {
    Json out = Json::array();
    for (const TSesameCriterion& c : list) {
      out.push_back({{"id", c.Id},
                     {"test", c.Test},
                     {"evaluated", c.Evaluated},
                     {"value", c.Evaluated ? Json(Finite(c.Value)) : Json(nullptr)},
                     {"threshold", Finite(c.Threshold)},
                     {"pass", c.Pass}});
    }
    return out;
  };
  j["sesame"] = {{"evaluated", r.HasF0Mean},
                 {"reliable",
                  {{"passed", r.Sesame.ReliablePassed},
                   {"of", 3},
                   {"reliable", r.Sesame.Reliable()},
                   {"criteria", criteria(r.Sesame.Reliability)}}},
                 {"clear",
                  {{"passed", r.Sesame.ClearPassed},
                   {"of", 6},
                   {"clear", r.Sesame.Clear()},
                   {"criteria", criteria(r.Sesame.Clarity)}}}};
  j["ok"] = r.Ok;
  j["verdict"] = r.Verdict;
  Json peaks = Json::array();
  for (const THvsrPeak& p : r.Peaks) {
    peaks.push_back({{"frequency", p.Frequency},
                     {"amplitude", Finite(p.Amplitude)},
                     {"support", p.Support},
                     {"support_of", r.Count(TWindowFate::kKept)},
                     {"industrial", p.Industrial},
                     {"f0", p.Chosen}});
  }
  j["peaks"] = std::move(peaks);
  j["ambiguous"] = r.Ambiguous;
  j["industrial_lines"] = r.IndustrialLines;
  Json freq = Json::array(), avg = Json::array(), lo = Json::array(), hi = Json::array(),
       sig = Json::array();
  for (size_t i = 0; i < r.Mean.size() && i < r.Grid.size(); ++i) {
    const double spread = std::exp(r.SigmaLn[i]);
    freq.push_back(r.Grid[i]);
    avg.push_back(Finite(r.Mean[i]));
    lo.push_back(Finite(r.Mean[i] / spread));
    hi.push_back(Finite(r.Mean[i] * spread));
    sig.push_back(Finite(r.SigmaLn[i]));
  }
  j["curve"] = {{"frequency", std::move(freq)},
                {"average", std::move(avg)},
                {"min", std::move(lo)},
                {"max", std::move(hi)},
                {"sigma_ln", std::move(sig)}};
  return j.dump(2) + "\n";
}

bool WriteHvsrFiles(const THvsrPaths& paths, const THvsrResult& result, const TFileRecord& record,
                    std::string& message) {
  TStatus error;
  const bool written = WriteHvsrFiles(paths, result, record, {}, error);
  message = written ? std::string() : Text(error, TLanguage::kRussian);
  return written;
}

bool WriteHvsrFiles(const THvsrPaths& paths, const THvsrResult& result, const TFileRecord& record,
                    const std::vector<std::pair<std::string, std::string>>& more, TStatus& error) {
  namespace fs = std::filesystem;
  const auto path_of = [](const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
  };
  // The ".hv" file, the one a user opens, comes last: it is in place only when the companions
  // it is read with are.
  std::vector<std::pair<fs::path, std::string>> files;
  for (const auto& [path, text] : more) files.emplace_back(path_of(path), text);
  files.emplace_back(path_of(paths.Windows), WindowsCsvText(result, record.SampRate));
  files.emplace_back(path_of(paths.Report), ReportJsonText(result, record));
  files.emplace_back(path_of(paths.Hv), HvFileText(result));
  return ReplaceFilesTogether(files, error);
}

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '=';
}

// The whitespace-separated fields of text (TAB, space and "=" separate).
std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsSpace(text[i])) ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

bool Number(std::string_view text, double& v) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  return ec == std::errc() && ptr == end && std::isfinite(v);
}

bool Count(std::string_view text, int& v) {
  double d = 0.0;
  if (!Number(text, d) || d < 0.0 || d > 2147483647.0 || d != std::floor(d)) return false;
  v = static_cast<int>(d);
  return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

bool ParseHvFile(std::string_view bytes, THvFile& out, std::string* error) {
  out = THvFile{};
  auto fail = [&](size_t line, const std::string& why) {
    if (error != nullptr) *error = "line " + std::to_string(line) + ": " + why;
    out = THvFile{};
    return false;
  };
  const std::vector<std::string_view> lines = SplitLines(bytes);
  bool header = false;
  for (size_t k = 0; k < lines.size(); ++k) {
    std::string_view line = lines[k];
    while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
    if (line.empty()) continue;
    if (line.front() == '#') {
      line.remove_prefix(1);
      while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
      // The value fields follow the name; names are matched by their words.
      struct Key {
        std::string_view Name;
        size_t Words;
      };
      static constexpr Key kKeys[] = {{"Number of windows for f0", 5},
                                      {"Number of windows", 3},
                                      {"f0 from average", 3},
                                      {"f0 from windows", 3},
                                      {"Peak amplitude", 2}};
      for (const Key& key : kKeys) {
        if (!StartsWith(line, key.Name)) continue;
        const std::vector<std::string_view> f = Fields(line);
        const std::vector<std::string_view> values(
            f.begin() + static_cast<long>(std::min(key.Words, f.size())), f.end());
        bool ok = !values.empty();
        if (key.Name == "Number of windows for f0") {
          ok = ok && Count(values[0], out.WindowsForF0);
        } else if (key.Name == "Number of windows") {
          ok = ok && Count(values[0], out.Windows);
        } else if (key.Name == "f0 from average") {
          ok = ok && Number(values[0], out.F0Average);
        } else if (key.Name == "f0 from windows") {
          ok = values.size() >= 3 && Number(values[0], out.F0Windows) &&
               Number(values[1], out.F0WindowsLow) && Number(values[2], out.F0WindowsHigh);
        } else {
          ok = ok && Number(values[0], out.PeakAmplitude);
        }
        if (!ok)
          return fail(k + 1, "the value of \"" + std::string(key.Name) + "\" is not a number");
        header = true;
        break;
      }
      continue;
    }
    const std::vector<std::string_view> f = Fields(line);
    double v[4];
    if (f.size() < 4 || !Number(f[0], v[0]) || !Number(f[1], v[1]) || !Number(f[2], v[2]) ||
        !Number(f[3], v[3])) {
      return fail(k + 1, "not four numbers (frequency, average, min, max)");
    }
    out.Frequency.push_back(v[0]);
    out.Average.push_back(v[1]);
    out.Min.push_back(v[2]);
    out.Max.push_back(v[3]);
  }
  if (out.Frequency.empty() && !header) {
    return fail(std::max<size_t>(lines.size(), 1), "neither header nor curve");
  }
  return true;
}

}  // namespace tarvik

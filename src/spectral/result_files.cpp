#include "spectral/result_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/binary_file.h"
#include "common/datetime.h"
#include "common/paths.h"
#include "common/replace_file.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

constexpr std::string_view kEndOfLine = "\r\n";

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

TWriteStatus Refused(TWriteOutcome outcome, TStatus status) {
  return {outcome, std::move(status)};
}

TWriteStatus Nothing(const std::string& path) {
  return Refused(TWriteOutcome::kNothingToWrite, MakeStatus(TCode::kNoDataToWrite, {path}));
}

TWriteStatus Inconsistent(const std::string& path) {
  return Refused(TWriteOutcome::kFailed, MakeStatus(TCode::kRowsOfDifferentLength, {path}));
}

// Forms a file line by line through line(i, text), with the progress every 100 lines, then
// writes it. Nothing is written when the stop flag is set meanwhile, so a stopped run never
// leaves a truncated result that would later read as a complete one.
template <typename LineFn>
TWriteStatus FormAndWrite(const std::string& path, const TStatus& status, int64_t lines,
                          int64_t progress_max, std::string header, UiHost& host, LineFn line) {
  host.SetStatus(status, static_cast<int>(std::clamp<int64_t>(progress_max, 0, INT32_MAX)));
  std::string text = std::move(header);
  text += kEndOfLine;
  for (int64_t i = 0; i < lines; ++i) {
    line(i, text);
    text += kEndOfLine;
    if (i % 100 == 0) {
      host.SetProgress(static_cast<int>(std::min<int64_t>(i / 100, INT32_MAX)),
                       static_cast<int>(std::clamp<int64_t>(progress_max, 0, INT32_MAX)));
      host.ProcessEvents();
      if (host.StopRequested()) return {TWriteOutcome::kStopped, {}};
    }
  }
  TStatus failure;
  if (!ReplaceFileContents(PathOf(path), text, failure)) {
    failure.File = path;
    host.ShowMessage(failure);
    return {TWriteOutcome::kFailed, std::move(failure)};
  }
  return {};
}

void AppendPair(std::string& text, double value, double spread) {
  text += '\t';
  text += FormatResultValue(value);
  text += '\t';
  text += FormatResultValue(spread);
}

// Line i's frequency when a spectrum of `lines` one-sided values came from a transform of
// transform_length points (0: the even length 2·(lines − 1)).
double LineFrequencyOf(int64_t i, int64_t lines, double rate, int64_t transform_length) {
  const int64_t m = transform_length > 0 ? transform_length : 2 * (lines - 1);
  return m > 0 ? static_cast<double>(i) * rate / static_cast<double>(m) : 0.0;
}

bool ParseNumber(std::string_view token, double& value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty()) return false;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc() && end == token.data() + token.size();
}

// The whitespace-separated fields of a line, at most limit of them (the rest is ignored);
// count_all receives the full number of fields.
void SplitFields(std::string_view line, size_t limit, std::vector<std::string_view>& fields,
                 size_t* count_all = nullptr) {
  fields.clear();
  size_t count = 0;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    size_t j = i;
    while (j < line.size() && !IsBlank(line[j])) ++j;
    if (fields.size() < limit) fields.push_back(line.substr(i, j - i));
    ++count;
    if (count_all == nullptr && fields.size() >= limit) break;
    i = j;
  }
  if (count_all != nullptr) *count_all = count;
}

TStatus FileStatus(TCode code, const std::string& path, std::vector<TArg> more = {}) {
  more.insert(more.begin(), TArg(path));
  TStatus status = MakeStatus(code, std::move(more));
  status.File = path;
  return status;
}

enum class TReaderKind { kThreeComponent, kSpectrum, kRelative };

bool ReadResultFile(const std::string& path, TReaderKind kind, UiHost& host, TResultTable& table) {
  static constexpr TCode kStatus[] = {TCode::kLoadingThreeComponentSpectrum,
                                      TCode::kLoadingSpectrum, TCode::kLoadingRelativeSpectrum};
  host.SetStatus(MakeStatus(kStatus[static_cast<int>(kind)]), 100);
  table = TResultTable{};
  std::error_code ec;
  if (!std::filesystem::is_regular_file(PathOf(path), ec)) {
    if (kind != TReaderKind::kRelative) host.ShowMessage(FileStatus(TCode::kFileNotFound, path));
    return false;
  }
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  if (bytes.empty() && std::filesystem::file_size(PathOf(path), ec) > 0) {
    host.ShowMessage(FileStatus(TCode::kFileUnreadable, path));
    return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (TStatus parsed = ParseResultText(text, kind == TReaderKind::kSpectrum ? 0 : 3, table);
      !parsed.Ok()) {
    TStatus damaged = FileStatus(TCode::kFileDamaged, path, {parsed});
    damaged.Line = parsed.Line;
    host.ShowMessage(damaged);
    return false;
  }
  const int steps = static_cast<int>(std::min<size_t>(table.Frequencies.size() / 100, INT32_MAX));
  host.SetProgress(steps, steps);
  host.ProcessEvents();
  return true;
}

}  // namespace

bool WriteFileText(const std::string& path, std::string_view text, std::string& message) {
  return ReplaceFileContents(PathOf(path), text, message);
}

TResultFolders DeriveResultFolders(std::string_view results_folder,
                                   std::string_view program_folder) {
  TResultFolders f;
  f.Results = NativePath(results_folder.empty() ? program_folder : results_folder);
  const std::string spectra = JoinPath(f.Results, "Spectra");
  const std::string events = JoinPath(f.Results, "Events");
  f.ZipData = JoinPath(f.Results, "ZipData");
  f.SpectraIdent = JoinPath(spectra, "Ident");
  f.SpectraPrimary = JoinPath(spectra, "Primary");
  f.SpectraSinchronous = JoinPath(spectra, "Sinchronous");
  f.SpectraRelative = JoinPath(spectra, "Relative");
  f.SpectraCombinations = JoinPath(spectra, "Combinations");
  f.SpectraNakamura = JoinPath(spectra, "Nakamura");
  f.EventsPrimary = JoinPath(events, "Primary");
  f.EventsSinchronous = JoinPath(events, "Sinchronous");
  f.EventsRelative = JoinPath(events, "Relative");
  f.EventsCombinations = JoinPath(events, "Combinations");
  f.EventsNakamura = JoinPath(events, "Nakamura");
  return f;
}

std::string StationForFileName(std::string_view station) {
  std::string out(station);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|') {
      c = '_';
    }
  }
  // "." and ".." name folders, not files.
  if (out.find_first_not_of('.') == std::string::npos)
    std::replace(out.begin(), out.end(), '.', '_');
  return out;
}

std::string SpectrumFilePath(const TResultFolders& folders, const TFileRecord& record, bool power) {
  const std::string name = std::string(power ? "power_" : "prim_") +
                           StationForFileName(record.Station) + "_" +
                           FormatDateTime("yymmdd-hhnnss", record.SelectStart) + ".dat";
  return JoinPath(record.IsEvent ? folders.EventsPrimary : folders.SpectraPrimary, name);
}

std::string RatioFilePath(const TResultFolders& folders, const TFileRecord& record) {
  return JoinPath(folders.SpectraNakamura,
                  "nak_" + FileName(SpectrumFilePath(folders, record, false)));
}

std::string FormatResultValue(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0.0) return "0";
  constexpr int kDigits = 4;
  char buf[64];
  // The scientific form rounds to four significant digits and tells the decimal exponent of
  // the rounded value.
  auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kDigits - 1);
  std::string sci(buf, end);
  const size_t e = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + e + 1);
  auto strip_zeros = [](std::string s) {
    if (s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return s;
  };
  if (exponent >= -5 && exponent < kDigits) {
    auto [fend, fec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                     kDigits - 1 - exponent);
    return strip_zeros(std::string(buf, fend));
  }
  std::string out = strip_zeros(sci.substr(0, e));
  out += 'E';
  if (exponent < 0) out += '-';
  out += std::to_string(std::abs(exponent));
  return out;
}

std::string FormatResultFrequency(double value) {
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 5);
  if (ec != std::errc()) return FormatResultValue(value);
  return std::string(buf, end);
}

TWriteStatus WriteSpectrum(const std::string& path, const TFileRecord& record,
                           const TMatrix2D& mean, const TMatrix2D& stdev, UiHost& host,
                           int64_t transform_length) {
  // The channels of the file: selected ones that have rows.
  std::vector<int> channels;
  for (int c = 0; c < record.ChannelCount(); ++c) {
    if (record.Channels[c].Selected && static_cast<size_t>(c) < mean.size() &&
        static_cast<size_t>(c) < stdev.size()) {
      channels.push_back(c);
    }
  }
  size_t rows = 0;
  for (int c : channels) rows = std::max(rows, mean[c].size());
  if (rows == 0) return Nothing(path);
  for (int c : channels) {
    if (mean[c].size() != rows || stdev[c].size() != rows) return Inconsistent(path);
  }

  int first[3] = {-1, -1, -1};  // the first selected E, N and Z channels
  std::vector<int> others;
  for (int c : channels) {
    const int axis = ComponentNumber(record.Channels[c].Axis);
    if (axis >= 0 && axis < 3 && first[axis] < 0) {
      first[axis] = c;
    } else {
      others.push_back(c);
    }
  }
  auto column = [&](int c) {
    const char letter = ComponentLetter(record.Channels[c].Axis);
    char index[16];
    std::snprintf(index, sizeof index, "%2.2d", c);
    const std::string t = std::string("\t") + letter + index + "_" + record.Channels[c].Channel;
    return t + t + "_StDev";
  };
  std::string header = "Freq";
  for (int axis = 0; axis < 3; ++axis) {
    if (first[axis] < 0) {
      const std::string letter(1, kComponentLetters[axis]);
      header += "\t" + letter + "_Amp\t" + letter + "_StDev";
    } else {
      header += column(first[axis]);
    }
  }
  for (int c : others) header += column(c);

  const auto lines = static_cast<int64_t>(rows);
  return FormAndWrite(
      path, MakeStatus(TCode::kSavingSpectrum), lines, lines / 100, Utf8ToCp1251(header), host,
      [&](int64_t i, std::string& text) {
        text += FormatResultFrequency(LineFrequencyOf(i, lines, record.SampRate, transform_length));
        for (int c : first) {
          if (c < 0) {
            text += "\t0.0000\t0.0000";
          } else {
            AppendPair(text, mean[c][i], stdev[c][i]);
          }
        }
        for (int c : others) AppendPair(text, mean[c][i], stdev[c][i]);
      });
}

TWriteStatus WriteThreeComponent(const std::string& path, const std::vector<double>& frequencies,
                                 const TMatrix2D& mean, const TMatrix2D& stdev, UiHost& host) {
  const size_t n = frequencies.size();
  if (n == 0) return Nothing(path);
  if (mean.size() < 3 || stdev.size() < 3) return Inconsistent(path);
  for (int r = 0; r < 3; ++r) {
    if (mean[r].size() != n || stdev[r].size() != n) return Inconsistent(path);
  }
  const auto lines = static_cast<int64_t>(n);
  return FormAndWrite(path, MakeStatus(TCode::kSavingSpectrum), lines, lines / 100,
                      "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ_Amp\tZ_StDev", host,
                      [&](int64_t i, std::string& text) {
                        text += FormatResultFrequency(frequencies[i]);
                        for (int r = 0; r < 3; ++r) AppendPair(text, mean[r][i], stdev[r][i]);
                      });
}

TWriteStatus WriteRatios(const std::string& path, const TMatrix2D& ratios, const TMatrix2D& stdev,
                         UiHost& host, double samp_rate, const std::vector<double>* frequencies) {
  if (ratios.empty() || ratios[0].empty()) return Nothing(path);
  const size_t n = ratios[0].size();
  if (ratios.size() < 3 || stdev.size() < 3) return Inconsistent(path);
  for (int r = 0; r < 3; ++r) {
    if (ratios[r].size() != n || stdev[r].size() != n) return Inconsistent(path);
  }
  const bool given = frequencies != nullptr && frequencies->size() == n;
  const auto lines = static_cast<int64_t>(n);
  return FormAndWrite(
      path, MakeStatus(TCode::kSavingRelativeSpectrum), lines, (lines - 1) / 100,
      "Freq\tE/Z\tEZ_StDev\tN/Z\tNZ_StDev\tH/Z\tHZ_StDev", host, [&](int64_t i, std::string& text) {
        text += FormatResultFrequency(given ? (*frequencies)[i]
                                            : LineFrequencyOf(i, lines, samp_rate, 0));
        for (int r = 0; r < 3; ++r) AppendPair(text, ratios[r][i], stdev[r][i]);
      });
}

bool ParseResultTable(std::string_view bytes, int pairs, TResultTable& table, std::string* error) {
  const TStatus status = ParseResultText(bytes, pairs, table);
  if (!status.Ok() && error != nullptr) *error = Text(status, TLanguage::kRussian);
  return status.Ok();
}

TStatus ParseResultText(std::string_view bytes, int pairs, TResultTable& table) {
  table = TResultTable{};
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty()) return {};

  std::vector<std::string_view> fields;
  size_t read_pairs = static_cast<size_t>(std::clamp(pairs, 0, kMaxResultPairs));
  if (pairs <= 0) {
    // Names are split at TAB and space; runs of separators count as one.
    const std::string header = Cp1251ToUtf8(lines[0]);
    SplitFields(header, std::numeric_limits<size_t>::max(), fields);
    for (size_t k = 1; k < fields.size(); ++k) table.Names.emplace_back(fields[k]);
    size_t longest = 0;  // most pairs any line holds, even partly
    for (size_t l = 1; l < lines.size(); ++l) {
      size_t count = 0;
      SplitFields(lines[l], 0, fields, &count);
      if (count > 1) longest = std::max(longest, count / 2);
    }
    read_pairs = std::min({table.Names.size() / 2, longest, static_cast<size_t>(kMaxResultPairs)});
  }

  const size_t wanted = 1 + 2 * read_pairs;
  size_t n = 0;
  for (size_t l = 1; l < lines.size(); ++l) {
    SplitFields(lines[l], 1, fields);
    if (!fields.empty()) ++n;
  }
  table.Frequencies.assign(n, 0.0);
  table.Values.assign(read_pairs, std::vector<double>(n, 0.0));
  table.StDev.assign(read_pairs, std::vector<double>(n, 0.0));

  size_t row = 0;
  for (size_t l = 1; l < lines.size(); ++l) {
    SplitFields(lines[l], wanted, fields);
    if (fields.empty()) continue;
    for (size_t k = 0; k < fields.size(); ++k) {
      double v = 0.0;
      if (!ParseNumber(fields[k], v)) {
        table = TResultTable{};
        TStatus status = MakeStatus(
            TCode::kResultFieldNotNumber,
            {std::to_string(l + 1), std::to_string(k + 1), Cp1251ToUtf8(fields[k].substr(0, 40))});
        status.Line = static_cast<int64_t>(l + 1);
        return status;
      }
      if (k == 0) {
        table.Frequencies[row] = v;
      } else if (k % 2 == 1) {
        table.Values[(k - 1) / 2][row] = v;
      } else {
        table.StDev[(k - 1) / 2][row] = v;
      }
    }
    ++row;
  }
  return {};
}

bool ReadThreeComponent(const std::string& path, UiHost& host, TMatrix2D& amplitudes,
                        TMatrix2D& stdev, std::vector<double>& frequencies) {
  TResultTable table;
  const bool ok = ReadResultFile(path, TReaderKind::kThreeComponent, host, table);
  amplitudes = std::move(table.Values);
  stdev = std::move(table.StDev);
  frequencies = std::move(table.Frequencies);
  return ok;
}

bool ReadSpectrum(const std::string& path, UiHost& host, TMatrix2D& values, TMatrix2D& stdev,
                  std::vector<double>& frequencies, std::vector<std::string>& names) {
  TResultTable table;
  const bool ok = ReadResultFile(path, TReaderKind::kSpectrum, host, table);
  values = std::move(table.Values);
  stdev = std::move(table.StDev);
  frequencies = std::move(table.Frequencies);
  names = std::move(table.Names);
  return ok;
}

bool ReadRelative(const std::string& path, UiHost& host, TMatrix2D& values, TMatrix2D& stdev,
                  std::vector<double>& frequencies) {
  TResultTable table;
  const bool ok = ReadResultFile(path, TReaderKind::kRelative, host, table);
  values = std::move(table.Values);
  stdev = std::move(table.StDev);
  frequencies = std::move(table.Frequencies);
  return ok;
}

double AlignFrequencies(std::vector<std::vector<double>>& frequencies,
                        std::vector<TMatrix2D>& values, std::vector<TMatrix2D>& stdev) {
  double step = std::numeric_limits<double>::infinity();
  double top = std::numeric_limits<double>::infinity();
  size_t longest = 0;
  for (const auto& f : frequencies) {
    if (f.size() < 2) continue;
    step = std::min(step, f.back() / static_cast<double>(f.size() - 1));
    top = std::min(top, f.back());
    longest = std::max(longest, f.size());
  }
  if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(top)) return 0.0;

  // Each spectrum is cut after its first line above the lowest top frequency; the resampled
  // grid then stays within a few lines of the finest spectrum, so a grid far longer than that
  // can only come from damaged frequency columns and is refused before anything changes.
  const double limit = 4.0 * static_cast<double>(longest) + 16.0;
  std::vector<size_t> kept(frequencies.size(), 0);
  std::vector<size_t> grid(frequencies.size(), 0);
  for (size_t s = 0; s < frequencies.size(); ++s) {
    const auto& f = frequencies[s];
    if (f.size() < 2) continue;
    size_t len = f.size();
    while (len > 0 && f[len - 1] > top) --len;
    if (len < f.size()) ++len;
    kept[s] = len;
    const double points = std::trunc((f[len - 1] - f[0]) / step);
    if (!(points >= 0.0) || points > limit) return 0.0;
    grid[s] = static_cast<size_t>(points) + 1;
  }

  auto resample = [&](const std::vector<double>& f, size_t len, std::vector<double>& y,
                      size_t count) {
    y.resize(len, 0.0);
    std::vector<double> out(count);
    out[0] = y[0];
    size_t j = 1;
    for (size_t i = 1; i < count; ++i) {
      const double g = f[0] + static_cast<double>(i) * step;
      while (j < len - 1 && f[j] < g) ++j;
      const double df = f[j] - f[j - 1];
      out[i] = df != 0.0 ? y[j - 1] + (y[j] - y[j - 1]) / df * (g - f[j - 1]) : y[j];
    }
    y = std::move(out);
  };
  for (size_t s = 0; s < frequencies.size(); ++s) {
    if (kept[s] == 0) continue;
    auto& f = frequencies[s];
    const size_t len = kept[s];
    if (s < values.size()) {
      for (auto& row : values[s]) resample(f, len, row, grid[s]);
    }
    if (s < stdev.size()) {
      for (auto& row : stdev[s]) resample(f, len, row, grid[s]);
    }
    std::vector<double> g(grid[s]);
    for (size_t i = 0; i < g.size(); ++i) g[i] = f[0] + static_cast<double>(i) * step;
    f = std::move(g);
  }
  return step;
}

}  // namespace tarvik

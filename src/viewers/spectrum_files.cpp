#include "viewers/spectrum_files.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "common/binary_file.h"
#include "common/paths.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Header fields split at TAB (trimmed, empty ones dropped), or at any blank.
std::vector<std::string> HeaderFields(std::string_view header, bool at_tab_only) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < header.size()) {
    size_t j = i;
    if (at_tab_only) {
      while (j < header.size() && header[j] != '\t') ++j;
    } else {
      while (i < header.size() && IsBlank(header[i])) ++i;
      j = i;
      while (j < header.size() && !IsBlank(header[j])) ++j;
    }
    std::string field = Trim(header.substr(i, j - i));
    if (!field.empty()) out.push_back(Cp1251ToUtf8(field));
    i = j + 1;
  }
  return out;
}

// reason at line n: told after "строка N: ", the line kept on the status.
TStatus AtLine(size_t n, TCode reason, std::vector<TArg> args = {}) {
  TStatus status =
      MakeStatus(TCode::kAtLine, {std::to_string(n), MakeStatus(reason, std::move(args))});
  status.Line = static_cast<int64_t>(n);
  return status;
}

}  // namespace

bool ParseViewerTable(std::string_view bytes, TResultTable& table, std::string& error) {
  const TStatus status = ParseViewerTable(bytes, table);
  if (!status.Ok()) error = Text(status, TLanguage::kRussian);
  return status.Ok();
}

TStatus ParseViewerTable(std::string_view bytes, TResultTable& table) {
  table = TResultTable{};
  auto fail = [&](TStatus status) {
    table = TResultTable{};
    return status;
  };
  size_t eol = bytes.find('\n');
  const std::string_view header = bytes.substr(0, eol);
  if (eol == std::string_view::npos) eol = bytes.size();

  // Columns are known from the first row; each later row must have as many fields.
  const size_t line_ends = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  std::vector<std::vector<double>> columns;
  std::vector<double> first;
  size_t line_no = 1;
  size_t first_row_line = 0;
  const char* p = bytes.data() + std::min(eol + 1, bytes.size());
  const char* const end = bytes.data() + bytes.size();
  while (p < end) {
    ++line_no;
    size_t field = 0;
    while (true) {
      while (p < end && IsBlank(*p)) ++p;
      if (p >= end || *p == '\n') break;
      const char* start = p;
      if (*p == '+' && p + 1 < end && *(p + 1) != '-') ++p;
      double v = 0.0;
      const auto [stop, ec] = std::from_chars(p, end, v);
      if (ec != std::errc() || (stop < end && !IsBlank(*stop) && *stop != '\n')) {
        const char* word_end = start;
        while (word_end < end && !IsBlank(*word_end) && *word_end != '\n') ++word_end;
        const std::string_view word(start, std::min<size_t>(word_end - start, 40));
        TStatus status =
            MakeStatus(TCode::kNotANumberField,
                       {std::to_string(line_no), std::to_string(field + 1), Cp1251ToUtf8(word)});
        status.Line = static_cast<int64_t>(line_no);
        return fail(status);
      }
      p = stop;
      if (first_row_line == 0) {
        first.push_back(v);
      } else if (field >= columns.size()) {
        return fail(AtLine(line_no, TCode::kMoreFieldsThanFirstRow,
                           {std::to_string(columns.size()), std::to_string(first_row_line)}));
      } else {
        columns[field].push_back(v);
      }
      ++field;
    }
    if (p < end) ++p;  // the LF
    if (field == 0) continue;
    if (first_row_line == 0) {
      first_row_line = line_no;
      const size_t width = first.size();
      if (width < 3 || width % 2 == 0) {
        return fail(AtLine(line_no, TCode::kNeedFrequencyAndPairs, {std::to_string(width)}));
      }
      if ((width - 1) / 2 > static_cast<size_t>(kMaxResultPairs)) {
        return fail(AtLine(line_no, TCode::kTooManyPairs, {std::to_string(kMaxResultPairs)}));
      }
      if (!std::isfinite(first[0])) return fail(AtLine(line_no, TCode::kFrequencyNotANumber));
      // Every field takes at least two bytes, which bounds the rows the file can hold.
      const size_t rows = std::min(line_ends, bytes.size() / (2 * width) + 1);
      columns.resize(width);
      for (size_t k = 0; k < width; ++k) {
        columns[k].reserve(rows);
        columns[k].push_back(first[k]);
      }
      continue;
    }
    if (field < columns.size()) {
      return fail(AtLine(line_no, TCode::kFieldCountCut,
                         {std::to_string(field), std::to_string(columns.size())}));
    }
    const std::vector<double>& f = columns[0];
    if (!std::isfinite(f.back())) return fail(AtLine(line_no, TCode::kFrequencyNotANumber));
    if (f.back() < f[f.size() - 2]) return fail(AtLine(line_no, TCode::kFrequencyDecreases));
  }
  if (first_row_line == 0) return fail(MakeStatus(TCode::kNoDataRows));
  const size_t width = columns.size();

  // Names with blanks stay whole when the header is TAB-separated, as the writers make it.
  std::vector<std::string> names = HeaderFields(header, true);
  if (names.size() != width) names = HeaderFields(header, false);
  if (names.size() != width) {
    return fail(AtLine(1, TCode::kHeaderColumnCount,
                       {std::to_string(names.size()), std::to_string(width)}));
  }
  table.Frequencies = std::move(columns[0]);
  for (size_t k = 1; k < width; k += 2) {
    table.Values.push_back(std::move(columns[k]));
    table.StDev.push_back(std::move(columns[k + 1]));
  }
  table.Names.assign(names.begin() + 1, names.end());
  return {};
}

bool LoadViewerTable(const std::string& path, TViewerFile kind, UiHost& host, TResultTable& table) {
  static constexpr TCode kStatus[] = {TCode::kLoadingSpectrum, TCode::kLoadingRelativeSpectrum,
                                      TCode::kLoadingThreeComponentSpectrum};
  host.SetStatus(MakeStatus(kStatus[static_cast<int>(kind)]), 100);
  const auto file_status = [&path](TCode code, std::vector<TArg> more = {}) {
    more.insert(more.begin(), TArg(path));
    TStatus status = MakeStatus(code, std::move(more));
    status.File = path;
    return status;
  };
  table = TResultTable{};
  const std::filesystem::path native(std::u8string(path.begin(), path.end()));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(native, ec)) {
    host.ShowError(file_status(TCode::kFileNotFound));
    return false;
  }
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  if (bytes.empty() && std::filesystem::file_size(native, ec) > 0) {
    host.ShowError(file_status(TCode::kFileUnreadable));
    return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (const TStatus parsed = ParseViewerTable(text, table); !parsed.Ok()) {
    TStatus damaged = file_status(TCode::kFileDamaged, {parsed});
    damaged.Line = parsed.Line;
    host.ShowError(damaged);
    return false;
  }
  if (kind != TViewerFile::kSpectrum && table.Values.size() < 3) {
    host.ShowError(file_status(
        TCode::kFileDamaged,
        {MakeStatus(TCode::kPairsInsteadOfThree, {std::to_string(table.Values.size())})}));
    table = TResultTable{};
    return false;
  }
  return true;
}

TResultKind ResultKindOf(std::string_view path, const std::vector<std::string>& names) {
  const auto values_are = [&](std::initializer_list<const char*> titles) {
    size_t k = 0;
    for (const char* title : titles) {
      if (2 * k >= names.size() || names[2 * k] != title) return false;
      ++k;
    }
    return true;
  };
  if (values_are({"E/Z", "N/Z", "H/Z"})) return TResultKind::kHVRatio;
  if (values_are({"E1/E2", "N1/N2", "Z1/Z2"})) return TResultKind::kRelative;
  const std::string name = AsciiUpper(FileName(std::string(path)));
  if (name.rfind("PRIM_", 0) == 0) return TResultKind::kAmplitude;
  if (name.rfind("POWER_", 0) == 0) return TResultKind::kPower;
  return TResultKind::kSpectrum;
}

bool IsRatio(TResultKind kind) {
  return kind == TResultKind::kHVRatio || kind == TResultKind::kRelative;
}

bool IsPower(TResultKind kind, bool said_power) {
  return kind == TResultKind::kPower || (kind == TResultKind::kSpectrum && said_power);
}

bool KindsAgree(TResultKind a, TResultKind b) {
  if (a == b) return true;
  const auto spectrum = [](TResultKind k) { return !IsRatio(k); };
  return spectrum(a) && spectrum(b) && (a == TResultKind::kSpectrum || b == TResultKind::kSpectrum);
}

TStatus ResultKindName(TResultKind kind) {
  switch (kind) {
    case TResultKind::kAmplitude:
      return MakeStatus(TCode::kKindAmplitude);
    case TResultKind::kPower:
      return MakeStatus(TCode::kKindPower);
    case TResultKind::kHVRatio:
      return MakeStatus(TCode::kKindHvRatio);
    case TResultKind::kRelative:
      return MakeStatus(TCode::kKindRelative);
    case TResultKind::kSpectrum:
      break;
  }
  return MakeStatus(TCode::kKindSpectrum);
}

TStatus KindConflict(const std::vector<std::string>& paths, const std::vector<TResultKind>& kinds) {
  // The first file of each kind met so far; a file that disagrees with one of them conflicts.
  constexpr size_t kKinds = 5;
  std::array<size_t, kKinds> first;
  first.fill(SIZE_MAX);
  const size_t n = std::min(paths.size(), kinds.size());
  for (size_t i = 0; i < n; ++i) {
    for (size_t k = 0; k < kKinds; ++k) {
      const size_t j = first[k];
      if (j == SIZE_MAX || KindsAgree(kinds[j], kinds[i])) continue;
      return MakeStatus(TCode::kFilesOfDifferentKinds,
                        {paths[j], ResultKindName(kinds[j]), paths[i], ResultKindName(kinds[i])});
    }
    size_t& mine = first[static_cast<size_t>(kinds[i])];
    if (mine == SIZE_MAX) mine = i;
  }
  return {};
}

}  // namespace tarvik

#include "project/project_file.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"

namespace tarvik {

namespace fs = std::filesystem;

namespace {

// A record takes at least this many bytes in the binary form; with the allowance below it
// bounds the record count a damaged file can ask for.
constexpr int64_t kMinRecordBytes = 16;
constexpr int64_t kRecordAllowance = 64;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSevenBitText(std::string_view text) {
  unsigned char bits = 0;
  for (char c : text) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Position of needle in text at or after from, letters compared without case; npos when none.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
  const char head = needle[0];
  if (Lower(head) == head && (head < 'a' || head > 'z')) {
    // A first character without case ("$", "/"): the C library finds where it stands.
    const size_t last = text.size() - needle.size();
    for (size_t i = from; i <= last;) {
      const void* hit = std::memchr(text.data() + i, head, last - i + 1);
      if (hit == nullptr) return std::string_view::npos;
      i = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
      // Eight bytes at a time, ASCII letters folded as Lower folds them.
      if (TBinIniFile::NoCaseEqual{}(text.substr(i, needle.size()), needle)) return i;
      ++i;
    }
    return std::string_view::npos;
  }
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Lower(text[i + k]) == Lower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

// A numbered key as NumberedKey gives it, built in place: a project reads and writes hundreds
// of thousands of them.
// The number of a numbered key as it ends the key ("07", "100"), made once for all the keys
// of a record or a channel.
class KeyNumber {
 public:
  explicit KeyNumber(int n) {
    char* p = text_;
    if (n >= 0 && n < 10) *p++ = '0';
    p = std::to_chars(p, text_ + sizeof text_, n).ptr;
    size_ = static_cast<size_t>(p - text_);
  }
  std::string_view Text() const { return {text_, size_}; }

 private:
  char text_[12];
  size_t size_ = 0;
};

class KeyName {
 public:
  KeyName(std::string_view name, int n) : KeyName(name, KeyNumber(n)) {}
  KeyName(std::string_view name, const KeyNumber& number) {
    const size_t length = std::min(name.size(), sizeof text_ - 12);
    std::memcpy(text_, name.data(), length);
    const std::string_view digits = number.Text();
    std::memcpy(text_ + length, digits.data(), digits.size());
    size_ = length + digits.size();
  }
  KeyName() = default;
  operator std::string_view() const { return {text_, size_}; }  // NOLINT: used as a key

 private:
  char text_[48];
  size_t size_ = 0;
};

// pattern is a name followed by "%2.2d".
KeyName Numbered(std::string_view pattern, int n) {
  return KeyName(pattern.substr(0, pattern.size() - 5), n);
}

// A path as stored (ToCommonDir), kept in scratch: a project writes tens of thousands of them.
std::string_view StoredPath(std::string_view path, std::string_view folder, std::string& scratch);

// A numbered key of the text form; the binary form has no names, so none is built for it.
KeyName KeyFor(const TBinIniFile& ini, std::string_view pattern, const KeyNumber& number) {
  return ini.Binary() ? KeyName() : KeyName(pattern.substr(0, pattern.size() - 5), number);
}

TDateTime Today() {
  const auto now = std::chrono::system_clock::now();
  const auto days = std::chrono::floor<std::chrono::days>(now).time_since_epoch().count();
  return static_cast<double>(days) + kUnixEpochDays;
}

std::string AbsolutePath(const std::string& name) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(name), ec);
  if (ec) return name;
  return p.lexically_normal().string();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

bool StartsWithMagic(const std::string& name) {
  BinaryFile f(name);
  uint8_t head[4] = {};
  return f.ReadExact(0, head, sizeof head) && LoadI32LE(head) == kProjectMagic;
}

// What the settings page's controls accept.
void ClampGeneral(TGeneralSettings& g) {
  const TGeneralSettings defaults;
  if (g.DataFormat < 0 || g.DataFormat >= kDataFormatCount) g.DataFormat = defaults.DataFormat;
  g.MaxSpan = std::clamp(g.MaxSpan, 0, kMaxSpanLimit);
  if (!std::isfinite(g.SampRateDefault)) g.SampRateDefault = defaults.SampRateDefault;
  g.SampRateDefault = std::clamp(g.SampRateDefault, kMinSampRateDefault, kMaxSampRateDefault);
}

// The keys of one processing-settings set; the event set's noise-filter keys end in "1".
void ReadSettings(TBinIniFile& ini, const char* section, const char* suffix, TSpectrumSettings& s) {
  const std::string sfx = suffix;
  s.UseFFT = ini.ReadBool(section, "UseFFT", true);
  s.SpectrumType = static_cast<TSpectrumType>(ini.ReadInteger(section, "SpectrumType", 0));
  s.EstimationType = static_cast<TEstimationType>(ini.ReadInteger(section, "EstimationType", 1));
  s.SilenceDur = ini.ReadFloat(section, "SilenceDur", 20.0);
  s.NoiseDur = ini.ReadInteger(section, "NoiseDur", 5);
  s.DanielWin = ini.ReadInteger(section, "DanielWin", 5);
  s.WindowType = ini.ReadInteger(section, "WindowType", kWindowHann);
  s.B = ini.ReadFloat(section, "B", 6.0);
  s.EdgeEffect = ini.ReadBool(section, "EdgeEffect", false);
  s.FMin = ini.ReadFloat(section, "FMin", 0.1);
  s.FMax = ini.ReadFloat(section, "FMax", 100.0);
  s.EdgeOrder = ini.ReadInteger(section, "EdgeOrder", 6);
  s.UnitOut = ini.ReadInteger(section, "UnitOut", 0);
  s.NoiseFilter = ini.ReadBool(section, "NoiseFiletr" + sfx, false);
  s.NoiseFMin = ini.ReadFloat(section, "NoiseFMin" + sfx, 0.1);
  s.NoiseFMax = ini.ReadFloat(section, "NoiseFMax" + sfx, 100.0);
  s.NoiseOrder = ini.ReadInteger(section, "NoiseOrder" + sfx, 6);
  s.IdentCorrection = false;
}

void WriteSettings(TBinIniFile& ini, const char* section, const char* suffix,
                   const TSpectrumSettings& s) {
  const std::string sfx = suffix;
  ini.WriteBool(section, "UseFFT", s.UseFFT);
  ini.WriteInteger(section, "SpectrumType", static_cast<int32_t>(s.SpectrumType));
  ini.WriteInteger(section, "EstimationType", static_cast<int32_t>(s.EstimationType));
  ini.WriteFloat(section, "SilenceDur", s.SilenceDur);
  // NoiseDur is held as a float and kept as whole seconds.
  const double noise = std::nearbyint(s.NoiseDur);
  ini.WriteInteger(section, "NoiseDur",
                   std::isfinite(noise)
                       ? static_cast<int32_t>(std::clamp(noise, -2147483648.0, 2147483647.0))
                       : 0);
  ini.WriteInteger(section, "DanielWin", s.DanielWin);
  ini.WriteInteger(section, "WindowType", s.WindowType);
  ini.WriteFloat(section, "B", s.B);
  ini.WriteBool(section, "EdgeEffect", s.EdgeEffect);
  ini.WriteFloat(section, "FMin", s.FMin);
  ini.WriteFloat(section, "FMax", s.FMax);
  ini.WriteInteger(section, "EdgeOrder", s.EdgeOrder);
  ini.WriteInteger(section, "UnitOut", s.UnitOut);
  ini.WriteBool(section, "NoiseFiletr" + sfx, s.NoiseFilter);
  ini.WriteFloat(section, "NoiseFMin" + sfx, s.NoiseFMin);
  ini.WriteFloat(section, "NoiseFMax" + sfx, s.NoiseFMax);
  ini.WriteInteger(section, "NoiseOrder" + sfx, s.NoiseOrder);
}

// The per-window H/V settings, section HVSR. The binary form keeps them in block 2, after the
// event settings, which a reader of block 1 alone never reaches; a file without them, or with a
// value out of range, gives the defaults.
constexpr char kHvsrSection[] = "HVSR";

void ReadHvsrSettings(TBinIniFile& ini, THvsrSettings& h) {
  const THvsrSettings d;
  if (ini.Binary()) {
    if (ini.AtEnd()) {
      h = d;
      return;
    }
    const int32_t marker = ini.ReadInteger("", "", 0);
    const int32_t block = ini.ReadInteger("", "", 0);
    if (marker != kBlockMarker || block != 2) {
      h = d;
      return;
    }
  }
  const char* s = kHvsrSection;
  const int32_t smoothing = ini.ReadInteger(s, "Smoothing", 0);
  h.Smoothing = smoothing == 1 ? THvsrSmoothing::kNone : THvsrSmoothing::kKonnoOhmachi;
  h.Bandwidth = ini.ReadFloat(s, "Bandwidth", d.Bandwidth);
  h.GridFMin = ini.ReadFloat(s, "GridFMin", d.GridFMin);
  h.GridFMax = ini.ReadFloat(s, "GridFMax", d.GridFMax);
  h.GridPoints = ini.ReadInteger(s, "GridPoints", d.GridPoints);
  const int32_t horizontal = ini.ReadInteger(s, "Horizontal", 0);
  h.Horizontal =
      horizontal >= 0 && horizontal <= 2 ? static_cast<THvsrHorizontal>(horizontal) : d.Horizontal;
  h.Rejection =
      ini.ReadInteger(s, "Rejection", 0) == 1 ? THvsrRejection::kNone : THvsrRejection::kFdwra;
  h.RejectionN = ini.ReadFloat(s, "RejectionN", d.RejectionN);
  h.BandFMin = ini.ReadFloat(s, "BandFMin", d.BandFMin);
  h.BandFMax = ini.ReadFloat(s, "BandFMax", d.BandFMax);
  if (!CheckHvsrSettings(h)) h = d;
}

void WriteHvsrSettings(TBinIniFile& ini, const THvsrSettings& h) {
  if (ini.Binary()) {
    ini.WriteInteger("", "", kBlockMarker);
    ini.WriteInteger("", "", 2);
  }
  const char* s = kHvsrSection;
  ini.WriteInteger(s, "Smoothing", static_cast<int32_t>(h.Smoothing));
  ini.WriteFloat(s, "Bandwidth", h.Bandwidth);
  ini.WriteFloat(s, "GridFMin", h.GridFMin);
  ini.WriteFloat(s, "GridFMax", h.GridFMax);
  ini.WriteInteger(s, "GridPoints", h.GridPoints);
  ini.WriteInteger(s, "Horizontal", static_cast<int32_t>(h.Horizontal));
  ini.WriteInteger(s, "Rejection", static_cast<int32_t>(h.Rejection));
  ini.WriteFloat(s, "RejectionN", h.RejectionN);
  ini.WriteFloat(s, "BandFMin", h.BandFMin);
  ini.WriteFloat(s, "BandFMax", h.BandFMax);
}

// One channel's keys in the order both forms keep them. A missing key gives what a channel of
// an older project had.
TRecordChannel ReadChannel(TBinIniFile& ini, std::string_view section, int c,
                           const std::string& folder) {
  TRecordChannel v;
  const KeyNumber number(c);
  std::string scratch;
  // The paths are read as views: only their native form is kept.
  const auto path = [&](std::string_view pattern) {
    return FromCommonDir(ini.ReadStringView(section, KeyFor(ini, pattern, number), "", scratch),
                         folder);
  };
  v.Channel = ini.ReadString(section, KeyFor(ini, "Channel%2.2d", number), Numbered("Chn%2.2d", c));
  v.SensorResp = path("SensorResp%2.2d");
  v.AmplifierResp = path("AmplifierResp%2.2d");
  v.ChannelResp = path("ChannelResp%2.2d");
  v.Axis = static_cast<Component>(
      ini.ReadInteger(section, KeyFor(ini, "Axis%2.2d", number), ComponentNumber(Component::kZ)));
  v.Level = ini.ReadInteger(section, KeyFor(ini, "Level%2.2d", number), 2147483647);
  v.Selected = ini.ReadBool(section, KeyFor(ini, "ChanSelected%2.2d", number), false);
  v.ADCCoef = ini.ReadFloat(section, KeyFor(ini, "ADCCoef%2.2d", number), 800.0);
  return v;
}

void WriteChannel(TBinIniFile& ini, std::string_view section, int c, const TRecordChannel& v,
                  const std::string& folder, std::string& scratch) {
  const KeyNumber number(c);
  ini.WriteString(section, KeyFor(ini, "Channel%2.2d", number), v.Channel);
  ini.WriteString(section, KeyFor(ini, "SensorResp%2.2d", number),
                  StoredPath(v.SensorResp, folder, scratch));
  ini.WriteString(section, KeyFor(ini, "AmplifierResp%2.2d", number),
                  StoredPath(v.AmplifierResp, folder, scratch));
  ini.WriteString(section, KeyFor(ini, "ChannelResp%2.2d", number),
                  StoredPath(v.ChannelResp, folder, scratch));
  ini.WriteInteger(section, KeyFor(ini, "Axis%2.2d", number), ComponentNumber(v.Axis));
  ini.WriteInteger(section, KeyFor(ini, "Level%2.2d", number), v.Level);
  ini.WriteBool(section, KeyFor(ini, "ChanSelected%2.2d", number), v.Selected);
  ini.WriteFloat(section, KeyFor(ini, "ADCCoef%2.2d", number), v.ADCCoef);
}

bool SameName(std::string_view a, std::string_view b) {
  return TBinIniFile::NoCaseEqual{}(a, b);
}

// The record number of a section named "REC" and its number as the writer names it; 0 for any
// other section.
int64_t RecordOfSection(std::string_view name) {
  if (name.size() < 5 || !SameName(name.substr(0, 3), "REC") || name.size() > 12) return 0;
  int64_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > 2147483647 || NumberedKey("REC", static_cast<int>(n)) != AsciiUpper(name))
    return 0;
  return n;
}

// What the reader of a text project found of a record's values.
constexpr uint8_t kFoundInFiles = 1;
constexpr uint8_t kFoundInSection = 2;

// Whether [FILES] holds any value of record k.
bool HasRecordKeys(const TBinIniFile& ini, int k) {
  static constexpr const char* kNames[] = {
      "File",     "Station",     "ChannelCount", "SampRate", "ToProcess",   "ToProcessNakamura",
      "SelIndex", "SelNakIndex", "Start",        "Finish",   "SelectStart", "SelectFinish",
      "IsEvent"};
  for (const char* name : kNames) {
    if (ini.HasKey("FILES", NumberedKey(name, k))) return true;
  }
  return false;
}

// The key the writer puts last into a section: a section read without it, and not closed by
// the empty line that ends every written section, is one the file stops inside. Empty for
// sections this program does not write.
std::string LastKeyOf(std::string_view section, const TProject& project, int64_t file_num) {
  if (SameName(section, "VERSION")) return "ProjectVersion";
  if (SameName(section, "FILES")) {
    return file_num > 0
               ? NumberedKey("IsEvent", static_cast<int>(std::min<int64_t>(file_num, 2147483647)))
               : "FileNum";
  }
  if (SameName(section, "SETTINGS")) return "NoiseOrder";
  if (SameName(section, "EVENTSETTINGS")) return "NoiseOrder1";
  if (SameName(section, kHvsrSection)) return "BandFMax";
  const int64_t k = RecordOfSection(section);
  if (k >= 1 && k <= static_cast<int64_t>(project.Records.size())) {
    const int channels = project.Records[static_cast<size_t>(k - 1)].ChannelCount();
    if (channels > 0) return NumberedKey("ADCCoef", channels);
  }
  return "";
}

// The text form against what its writer always leaves: no line and no section cut off, the
// sections every project has, and a record count that agrees with the records' keys and
// sections. file_num is FileNum as stored. found tells, for each record, whether its reader
// found any of its values in [FILES] (bit 0) and in its own section (bit 1): those need not be
// looked for again.
TProjectDamage CheckTextStructure(const TBinIniFile& ini, const TProject& project, int64_t file_num,
                                  const std::vector<uint8_t>& found) {
  const auto found_in = [&found](int64_t k, uint8_t bit) {
    return static_cast<size_t>(k - 1) < found.size() && (found[static_cast<size_t>(k - 1)] & bit);
  };
  TProjectDamage d;
  const auto damaged = [&d](int line, TStatus what) {
    d.Line = line;
    d.What = std::move(what);
    return d;
  };
  const std::vector<std::pair<std::string, int>> headings = ini.SectionHeadings();
  const int last = ini.LastTextLine();
  const std::string last_section = headings.empty() ? std::string() : headings.back().first;
  if (ini.LastLineUnended()) {
    return damaged(last, last_section.empty()
                             ? MakeStatus(TCode::kCutInsideLine)
                             : MakeStatus(TCode::kCutInsideSectionLine, {last_section}));
  }
  if (!last_section.empty() && !ini.EndsWithEmptyLine()) {
    const std::string key = LastKeyOf(last_section, project, file_num);
    if (!key.empty() && !ini.HasKey(last_section, key))
      return damaged(last, MakeStatus(TCode::kCutInsideSectionNoKey, {last_section, key}));
  }
  for (const char* required : {"VERSION", "FILES", "SETTINGS", "EVENTSETTINGS"}) {
    if (ini.SectionLine(required) == 0)
      return damaged(last, MakeStatus(TCode::kMissingSection, {required}));
  }

  const int file_num_line = std::max(ini.KeyLine("FILES", "FileNum"), ini.SectionLine("FILES"));
  const std::string count_text = "FileNum=" + std::to_string(file_num);
  const int64_t records = static_cast<int64_t>(project.Records.size());
  for (int64_t k = 1; k <= records; ++k) {
    if (!found_in(k, kFoundInFiles) && !HasRecordKeys(ini, static_cast<int>(k)))
      return damaged(file_num_line, MakeStatus(TCode::kRecordValuesMissing,
                                               {std::to_string(file_num), std::to_string(k)}));
  }
  if (file_num > records) {
    return damaged(file_num_line,
                   MakeStatus(TCode::kRecordValuesMissing,
                              {std::to_string(file_num), std::to_string(records + 1)}));
  }
  for (int64_t k = 1; k <= records; ++k) {
    const TFileRecord& r = project.Records[static_cast<size_t>(k - 1)];
    const std::string section = NumberedKey("REC", static_cast<int>(k));
    if (r.ChannelCount() > 0 && !found_in(k, kFoundInSection) && ini.SectionLine(section) == 0) {
      const std::string key = NumberedKey("ChannelCount", static_cast<int>(k));
      return damaged(std::max(ini.KeyLine("FILES", key), file_num_line),
                     MakeStatus(TCode::kRecordSectionMissing,
                                {key, std::to_string(r.ChannelCount()), section}));
    }
  }
  for (const auto& [name, line] : headings) {
    const int64_t k = RecordOfSection(name);
    if (k > file_num)
      return damaged(
          line, MakeStatus(TCode::kSectionBeyondRecords, {name, std::to_string(k), count_text}));
  }
  return d;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int32_t ProbeProjectFormat(const std::string& file_name) {
  BinaryFile file(file_name);
  if (!file.IsOpen()) return -1;
  uint8_t head[8];
  const size_t n = file.ReadAt(0, head, sizeof head);
  if (n >= 4 && LoadI32LE(head) == kProjectMagic) {
    return n >= 8 ? LoadI32LE(head + 4) : -1;
  }
  if (n >= 2 && head[0] == '[' && head[1] == 'V') return 0;
  return -1;
}

namespace {

// ToCommonDir's text appended to out.
void AppendCommonDir(std::string& out, std::string_view path, std::string_view folder) {
  if (folder.empty()) {
    out.append(path);
    return;
  }
  // A root folder ("/", "C:\") already ends at a separator; any other folder must be followed
  // by one, so that a sibling such as "/data/proj2" is not taken for "/data/proj".
  const bool root = IsSeparator(folder.back());
  size_t from = 0;
  while (from < path.size()) {
    size_t at = FindNoCase(path, folder, from);
    while (at != std::string_view::npos && !root) {
      const size_t end = at + folder.size();
      if (end == path.size() || IsSeparator(path[end])) break;
      at = FindNoCase(path, folder, at + 1);
    }
    if (at == std::string_view::npos || (root && at != 0)) break;
    out.append(path.substr(from, at - from));
    out += kCommonDirToken;
    from = at + folder.size();
    if (root) break;
  }
  out.append(path.substr(std::min(from, path.size())));
}

std::string_view StoredPath(std::string_view path, std::string_view folder, std::string& scratch) {
  scratch.clear();
  AppendCommonDir(scratch, path, folder);
  return scratch;
}

}  // namespace

std::string ToCommonDir(std::string_view path, std::string_view folder) {
  std::string out;
  AppendCommonDir(out, path, folder);
  return out;
}

std::string FromCommonDir(std::string_view stored, std::string_view folder) {
  const std::string_view token = kCommonDirToken;
  std::string out;
  out.reserve(stored.size() + folder.size());
  size_t from = 0;
  while (true) {
    const size_t at = FindNoCase(stored, token, from);
    if (at == std::string_view::npos) break;
    out.append(stored.substr(from, at - from));
    out.append(folder);
    from = at + token.size();
  }
  out.append(stored.substr(from));
  // As NativePath, in place, from the first foreign separator on (most paths have none).
#ifndef _WIN32
  constexpr char kForeign = '\\';
  constexpr char kNative = '/';
#else
  constexpr char kForeign = '/';
  constexpr char kNative = '\\';
#endif
  if (const void* first = std::memchr(out.data(), kForeign, out.size()); first != nullptr) {
    const auto at = out.begin() + (static_cast<const char*>(first) - out.data());
    std::replace(at, out.end(), kForeign, kNative);
  }
  return out;
}

std::string NumberedKey(std::string_view name, int n) {
  // Formatted by hand: a project has hundreds of thousands of numbered keys.
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
  std::string key(name);
  if (n >= 0 && n < 10) key += '0';
  key.append(digits, end);
  return key;
}

std::string ProjectSaveName(const std::string& name) {
  const std::string ext = FileExtension(name);
  if (ext.size() == 4 && Lower(ext[1]) == 't' && Lower(ext[2]) == 'v' && Lower(ext[3]) == 'p')
    return name;
  return name + ".tvp";
}

std::string ProjectBackupName(const std::string& file_name) {
  return file_name + "`";
}

std::string ProjectFilePath(const std::string& name) {
  return AbsolutePath(ProjectSaveName(name));
}

TProjectStamp ProjectFileStamp(const std::string& file_name) {
  TProjectStamp stamp;
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(file_name), ec)) return stamp;
  const std::vector<uint8_t> bytes = ReadWholeFile(file_name);
  const auto size = fs::file_size(fs::path(file_name), ec);
  // A file that could not be read whole is taken as changed.
  if (ec || bytes.size() != size) return stamp;
  stamp.Known = true;
  stamp.Size = bytes.size();
  stamp.Hash = ProjectContentHash(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return stamp;
}

TStatus DamagedProjectStatus(const std::string& file_name, const TProjectDamage& damage) {
  const TStatus where =
      damage.Offset >= 0 ? MakeStatus(TCode::kAtByte, {std::to_string(damage.Offset), damage.What})
                         : MakeStatus(TCode::kAtLine, {std::to_string(damage.Line), damage.What});
  TStatus status = MakeStatus(TCode::kFileDamaged, {file_name, where});
  status.File = file_name;
  if (damage.Offset >= 0) {
    status.Offset = damage.Offset;
  } else {
    status.Line = damage.Line;
  }
  return status;
}

// ---------------------------------------------------------------------------------------------
// Reading.

bool ReadProjectValues(TBinIniFile& ini, TProject& project, const std::string& folder, UiHost& host,
                       TProjectDamage* damage) {
  const bool binary = ini.Binary();
  TProjectDamage cut;
  // The binary form has no names to check: the data ending before a value does is the damage,
  // named by where the reader was.
  const auto note_cut = [&](const auto& where) {
    if (binary && ini.CutShort() && !cut.Damaged()) {
      cut.Offset = static_cast<int64_t>(ini.DataSize());
      cut.What = where();
    }
  };
  if (binary) ini.ReadInteger("", "", 0);  // the magic, checked by the probe
  project.Version = ini.ReadInteger("VERSION", "ProjectVersion", kProjectVersion);
  project.Records.clear();
  if (project.Version < 1) return true;

  // Only block 1 carries data; later blocks of a newer version hold nothing this program reads.
  if (binary) {
    const int32_t marker = ini.ReadInteger("", "", 0);
    const int32_t block = ini.ReadInteger("", "", 0);
    if (marker != kBlockMarker || block != 1) return false;
  }

  host.SetStage(MakeStatus(TCode::kLoadingRecordList));
  const int64_t file_num = std::max(0, ini.ReadInteger("FILES", "FileNum", 0));
  note_cut([] { return MakeStatus(TCode::kCutBeforeRecordCount); });
  int64_t count = file_num;
  // A damaged count must not allocate beyond what the file could describe.
  count = std::min<int64_t>(
      count, kRecordAllowance + static_cast<int64_t>(ini.DataSize()) / kMinRecordBytes);
  const int progress_max = static_cast<int>(count);
  host.SetProgress(0, progress_max);
  project.Records.resize(static_cast<size_t>(count));
  std::vector<int64_t> stored_channels(static_cast<size_t>(count), 0);
  std::vector<uint8_t> found(binary ? 0 : static_cast<size_t>(count), 0);
  const TDateTime today = Today();
  double first_rate = 0.0;
  std::string scratch;
  for (int64_t i = 0; i < count; ++i) {
    const int k = static_cast<int>(i + 1);
    const KeyNumber number(k);
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    const size_t found_before = ini.ValuesFound();
    r.File = FromCommonDir(
        ini.ReadStringView("FILES", KeyFor(ini, "File%2.2d", number), "", scratch), folder);
    r.Station = ShortName(
        ini.ReadString("FILES", KeyFor(ini, "Station%2.2d", number), Numbered("Sta%2.2d", k)));
    const int32_t channels = ini.ReadInteger("FILES", KeyFor(ini, "ChannelCount%2.2d", number), 0);
    stored_channels[static_cast<size_t>(i)] = channels;
    r.Channels.resize(static_cast<size_t>(std::clamp(channels, 0, kMaxChannels)));
    r.SampRate = ini.ReadFloat("FILES", KeyFor(ini, "SampRate%2.2d", number), 0.0);
    if (i == 0 && r.SampRate > 0.0) first_rate = r.SampRate;
    r.ToProcess = ini.ReadBool("FILES", KeyFor(ini, "ToProcess%2.2d", number), false);
    r.ToProcessNakamura =
        ini.ReadBool("FILES", KeyFor(ini, "ToProcessNakamura%2.2d", number), false);
    r.SelIndex = ini.ReadInteger("FILES", KeyFor(ini, "SelIndex%2.2d", number), -1);
    r.SelNakIndex = ini.ReadInteger("FILES", KeyFor(ini, "SelNakIndex%2.2d", number), -1);
    r.Start = ini.ReadDateTime("FILES", KeyFor(ini, "Start%2.2d", number), today);
    r.Finish = ini.ReadDateTime("FILES", KeyFor(ini, "Finish%2.2d", number), today + 1.0);
    r.SelectStart = ini.ReadDateTime("FILES", KeyFor(ini, "SelectStart%2.2d", number), r.Start);
    r.SelectFinish = ini.ReadDateTime("FILES", KeyFor(ini, "SelectFinish%2.2d", number), r.Finish);
    r.IsEvent = ini.ReadBool("FILES", KeyFor(ini, "IsEvent%2.2d", number), false);
    if (!binary && ini.ValuesFound() != found_before)
      found[static_cast<size_t>(i)] |= kFoundInFiles;
    note_cut([&] {
      return MakeStatus(TCode::kCutAtRecord, {std::to_string(k), std::to_string(file_num)});
    });
    host.SetProgress(k, progress_max);
  }

  host.SetGauge(25, 100);
  host.SetStage(MakeStatus(TCode::kLoadingRecordParameters));
  for (int64_t i = 0; i < count; ++i) {
    const int k = static_cast<int>(i + 1);
    const KeyNumber number(k);
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    const KeyName section = KeyFor(ini, "REC%2.2d", number);
    const size_t found_before = ini.ValuesFound();
    for (size_t c = 0; c < r.Channels.size(); ++c)
      r.Channels[c] = ReadChannel(ini, section, static_cast<int>(c + 1), folder);
    if (!binary && ini.ValuesFound() != found_before)
      found[static_cast<size_t>(i)] |= kFoundInSection;
    // Channels beyond the record's 32 are read past in the binary form, so that the values
    // after them land where they belong; the text form finds its keys by name.
    if (binary) {
      for (int64_t c = kMaxChannels; c < stored_channels[static_cast<size_t>(i)]; ++c) {
        if (ini.AtEnd()) break;
        ReadChannel(ini, section, static_cast<int>(std::min<int64_t>(c + 1, 1 << 30)), folder);
      }
    }
    note_cut([&] {
      return MakeStatus(TCode::kCutAtChannels, {std::to_string(k), std::to_string(count)});
    });
  }

  host.SetGauge(50, 100);
  host.SetStage(MakeStatus(TCode::kMakingSpectrumLists));
  host.SetProgress(0, 2);
  host.SetProgress(2, 2);

  host.SetGauge(75, 100);
  host.SetStage(MakeStatus(TCode::kLoadingRunParameters));
  TGeneralSettings& g = project.General;
  g.ResultDir = FromCommonDir(ini.ReadString("SETTINGS", "ResultDir", ""), folder);
  g.DataFormat = ini.ReadInteger("SETTINGS", "DataFormat", 0);
  g.RecognizeComponent = ini.ReadBool("SETTINGS", "RecognizeComponent", true);
  g.MaxSpan = ini.ReadInteger("SETTINGS", "MaxSpan", 10);
  g.SampRateDefault = ini.ReadFloat("SETTINGS", "SampRateDefault", 50.0);
  ClampGeneral(g);
  project.WorkingRate = first_rate > 0.0 ? first_rate : g.SampRateDefault;
  ReadSettings(ini, "SETTINGS", "", project.Settings[kMicroseismSet]);
  ReadSettings(ini, "EVENTSETTINGS", "1", project.Settings[kEventSet]);
  note_cut([] { return MakeStatus(TCode::kCutInRunParameters); });
  ReadHvsrSettings(ini, project.Hvsr);
  note_cut([] { return MakeStatus(TCode::kCutInHvsrParameters); });
  host.SetGauge(100, 100);
  if (damage != nullptr) *damage = binary ? cut : CheckTextStructure(ini, project, file_num, found);
  return true;
}

TLoadResult LoadProject(TProject& project, const std::string& file_name, UiHost& host) {
  const auto told = [&](LoadStatus kind, TCode code, std::vector<TArg> args) {
    TLoadResult result{kind, MakeStatus(code, std::move(args))};
    result.Status.File = file_name;
    host.ShowMessage(result.Status);
    return result;
  };
  const std::string name = AbsolutePath(file_name);
  if (!Exists(name) || fs::is_directory(fs::path(name)))
    return told(LoadStatus::kNotFound, TCode::kFileNotFound, {file_name});
  const int32_t form = ProbeProjectFormat(name);
  if (form >= 2) return {LoadStatus::kNewerVersion, {}};
  // A binary project of a version below 1 is as unknown as a file that is no project at all.
  if (form < 0 || (form == 0 && StartsWithMagic(name)))
    return told(LoadStatus::kUnknownVersion, TCode::kUnknownVersion, {file_name});

  host.SetGauge(0, 100);
  host.SetOperation(MakeStatus(TCode::kLoadingProject));
  // Read into a copy: a damaged file leaves the project as it was. The caller has closed it, so
  // there are no records to copy.
  TProject loaded = project;
  loaded.FileName.clear();
  const std::string folder = FolderOf(name);
  loaded.Folder = folder;
  TBinIniFile ini(name, form == 1, TBinIniFile::Mode::kRead);
  TProjectDamage damage;
  const bool blocks_ok = ReadProjectValues(ini, loaded, folder, host, &damage);
  const bool version_ok = blocks_ok && loaded.Version >= 1;
  if (version_ok && damage.Damaged()) {
    host.SetGauge(0, 100);
    host.SetProgress(0, 100);
    host.SetStage("");
    TLoadResult result{LoadStatus::kDamaged, DamagedProjectStatus(file_name, damage)};
    host.ShowMessage(result.Status);
    return result;
  }

  loaded.Modified = false;
  loaded.FileName = name;
  loaded.Form = form;
  loaded.Disk = TProjectStamp{true, ini.DataSize(), ini.ContentHash()};
  project = std::move(loaded);
  host.SetGauge(100, 100);
  host.SetProgress(0, 100);
  host.SetStage(MakeStatus(TCode::kProjectLoaded));
  if (!version_ok) return told(LoadStatus::kUnknownVersion, TCode::kUnknownVersion, {file_name});
  return {LoadStatus::kLoaded, {}};
}

// ---------------------------------------------------------------------------------------------
// Writing.

void WriteProjectValues(TBinIniFile& ini, const TProject& project, const std::string& folder,
                        UiHost& host) {
  const bool binary = ini.Binary();
  if (binary) ini.WriteInteger("", "", kProjectMagic);
  ini.WriteInteger("VERSION", "ProjectVersion", kProjectVersion);
  if (binary) {
    ini.WriteInteger("", "", kBlockMarker);
    ini.WriteInteger("", "", 1);
  }

  const TFileRecords& records = project.Records;
  const int n = static_cast<int>(records.size());
  host.SetStage(MakeStatus(TCode::kSavingRecordList));
  std::string scratch;
  ini.WriteInteger("FILES", "FileNum", n);
  for (int i = 0; i < n; ++i) {
    const int k = i + 1;
    const KeyNumber number(k);
    const TFileRecord& r = records[static_cast<size_t>(i)];
    ini.WriteString("FILES", KeyFor(ini, "File%2.2d", number), StoredPath(r.File, folder, scratch));
    ini.WriteString("FILES", KeyFor(ini, "Station%2.2d", number), r.Station);
    ini.WriteInteger("FILES", KeyFor(ini, "ChannelCount%2.2d", number), r.ChannelCount());
    ini.WriteFloat("FILES", KeyFor(ini, "SampRate%2.2d", number), r.SampRate);
    ini.WriteBool("FILES", KeyFor(ini, "ToProcess%2.2d", number), r.ToProcess);
    ini.WriteBool("FILES", KeyFor(ini, "ToProcessNakamura%2.2d", number), r.ToProcessNakamura);
    ini.WriteInteger("FILES", KeyFor(ini, "SelIndex%2.2d", number), r.SelIndex);
    ini.WriteInteger("FILES", KeyFor(ini, "SelNakIndex%2.2d", number), r.SelNakIndex);
    ini.WriteDateTime("FILES", KeyFor(ini, "Start%2.2d", number), r.Start);
    ini.WriteDateTime("FILES", KeyFor(ini, "Finish%2.2d", number), r.Finish);
    ini.WriteDateTime("FILES", KeyFor(ini, "SelectStart%2.2d", number), r.SelectStart);
    ini.WriteDateTime("FILES", KeyFor(ini, "SelectFinish%2.2d", number), r.SelectFinish);
    ini.WriteBool("FILES", KeyFor(ini, "IsEvent%2.2d", number), r.IsEvent);
    host.SetGauge(33 * k / n, 100);
  }

  host.SetGauge(33, 100);
  host.SetStage(MakeStatus(TCode::kSavingRecordParameters));
  for (int i = 0; i < n; ++i) {
    const int k = i + 1;
    const KeyNumber number(k);
    const TFileRecord& r = records[static_cast<size_t>(i)];
    const KeyName section = KeyFor(ini, "REC%2.2d", number);
    for (size_t c = 0; c < r.Channels.size(); ++c)
      WriteChannel(ini, section, static_cast<int>(c + 1), r.Channels[c], folder, scratch);
    host.SetGauge(33 + 34 * k / n, 100);
  }

  host.SetGauge(67, 100);
  host.SetStage(MakeStatus(TCode::kSavingRunParameters));
  const TGeneralSettings& g = project.General;
  ini.WriteString("SETTINGS", "ResultDir", ToCommonDir(g.ResultDir, folder));
  ini.WriteInteger("SETTINGS", "DataFormat", g.DataFormat);
  ini.WriteBool("SETTINGS", "RecognizeComponent", g.RecognizeComponent);
  ini.WriteInteger("SETTINGS", "MaxSpan", g.MaxSpan);
  ini.WriteFloat("SETTINGS", "SampRateDefault", g.SampRateDefault);
  WriteSettings(ini, "SETTINGS", "", project.Settings[kMicroseismSet]);
  WriteSettings(ini, "EVENTSETTINGS", "1", project.Settings[kEventSet]);
  WriteHvsrSettings(ini, project.Hvsr);
  host.SetGauge(100, 100);
}

namespace {

// A stored path of the project that the file's code page cannot hold, as the status that
// refuses the save of file_name naming the path and the character; kOk when every path reads
// back as it was written.
TStatus UnstorablePath(const TProject& project, const std::string& folder,
                       const std::string& file_name) {
  TStatus refused;
  const auto storable = [&](const std::string& path) {
    // An ASCII path is stored as it is, with ASCII in place of the folder.
    if (IsSevenBitText(path)) return true;
    const std::string bad = FirstCharacterNotInCp1251(ToCommonDir(path, folder));
    if (bad.empty()) return true;
    refused = MakeStatus(TCode::kCannotSaveProject, {file_name, path, bad});
    return false;
  };
  if (!storable(project.General.ResultDir)) return refused;
  for (const TFileRecord& r : project.Records) {
    if (!storable(r.File)) return refused;
    for (const TRecordChannel& ch : r.Channels) {
      if (!storable(ch.SensorResp) || !storable(ch.AmplifierResp) || !storable(ch.ChannelResp))
        return refused;
    }
  }
  return {};
}

}  // namespace

SaveResult SaveProject(TProject& project, const std::string& name, int form, UiHost& host,
                       const std::string& program_folder, const TProjectLock* lock) {
  SaveResult result;
  const bool binary = form >= 1;
  const std::string file_name = AbsolutePath(ProjectSaveName(name));
  result.FileName = file_name;
  const std::string folder = FolderOf(file_name);
  if (!program_folder.empty() && project.General.ResultDir == program_folder)
    project.General.ResultDir = folder;
  // Such a path would be written with "?" in place of the character and never found again.
  const auto refused = [&](TStatus error) {
    result.Error = std::move(error);
    result.Error.File = file_name;
    host.ShowMessage(result.Error);
    return result;
  };
  if (TStatus bad = UnstorablePath(project, folder, file_name); !bad.Ok())
    return refused(std::move(bad));

  // Two writers saving at once would lose one's change or rename one's file from under the
  // other: the save holds the project's lock.
  TProjectLock own_lock;
  if (lock == nullptr || !lock->Guards(file_name)) {
    own_lock = TProjectLock::Acquire(file_name);
    if (!own_lock.Held()) return refused(own_lock.Error());
  }

  host.SetGauge(0, 100);
  host.SetOperation(MakeStatus(TCode::kSavingProject));

  // The new file is written under a temporary name first: a failure on the way leaves the
  // project file as it was.
  const std::string temp_name = file_name + ".new";
  TProjectStamp written;
  {
    TBinIniFile ini(temp_name, binary, TBinIniFile::Mode::kWrite);
    // Every key of a project is written once: its sections are written straight out.
    ini.SetKeysWrittenOnce();
    // The file read or written last, with room for what was added since.
    if (project.Disk.Known && project.Form == form) {
      const auto size = static_cast<size_t>(std::min<uint64_t>(project.Disk.Size, 1u << 30));
      ini.Reserve(size + size / 8);
    }
    if (ini.Error().empty()) WriteProjectValues(ini, project, folder, host);
    ini.UpdateFile();
    ini.Close();
    result.Error = ini.Failure();
    // What the file holds once it is in place, so that a later save can tell whether someone
    // else has written it since: known from the bytes written, or read back.
    if (result.Error.Ok()) {
      written.Known = ini.WrittenBytes(written.Size, written.Hash);
      if (!written.Known) written = ProjectFileStamp(temp_name);
    }
  }
  std::error_code ec;
  if (result.Error.Ok()) {
    // The previous version stays beside the new one as its backup; failing to keep it does not
    // stop the save.
    // The backup too is put in place by a rename, so that a save broken off at any moment
    // leaves the previous backup or the new one, never a part of one. A second name of the
    // project file costs nothing where the file system has them; elsewhere it is a copy.
    const std::string backup = ProjectBackupName(file_name);
    if (Exists(file_name)) {
      const std::string backup_temp = backup + ".new";
      fs::remove(backup_temp, ec);
      fs::create_hard_link(file_name, backup_temp, ec);
      if (ec) fs::copy_file(file_name, backup_temp, fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::rename(backup_temp, backup, ec);
      if (ec) fs::remove(backup_temp, ec);
    }
    fs::rename(temp_name, file_name, ec);
    if (ec) result.Error = MakeStatus(TCode::kCannotReplaceProject, {file_name, ec.message()});
  }
  if (!result.Error.Ok()) {
    fs::remove(temp_name, ec);
    return refused(result.Error);
  }

  project.Version = kProjectVersion;
  project.Form = binary ? 1 : 0;
  project.Disk = written;
  project.Modified = false;
  project.FileName = file_name;
  project.Folder = folder;
  host.SetStage(MakeStatus(TCode::kProjectSaved));
  result.Ok = true;
  return result;
}

}  // namespace tarvik

#include "project/channel_ini.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/binary_file.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "project/bin_ini_file.h"
#include "project/project_file.h"
#include "project/record_editor.h"
#include "response/load_response.h"

namespace tarvik {

namespace {

// A channel-settings file is a few kilobytes; anything far larger is not one.
constexpr int64_t kMaxIniBytes = int64_t{16} << 20;

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

// One line of a text: its content and where the next line starts.
struct Line {
  size_t Begin = 0;
  size_t End = 0;   // end of the content
  size_t Next = 0;  // after the line break
};

std::vector<Line> SplitKeepingBreaks(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.Begin = pos;
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    line.End = end;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      line.Next = end + 2;
    else
      line.Next = std::min(end + 1, text.size());
    lines.push_back(line);
    pos = line.Next;
  }
  return lines;
}

// The section name of a "[name]" line; empty when the line is not one.
bool SectionName(std::string_view content, std::string& name) {
  const std::string t = Trim(content);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  name = Trim(std::string_view(t).substr(1, t.size() - 2));
  return true;
}

// The key of a "key=value" line, as the INI reader takes it (a line without "=" is a key with
// an empty value); false for comments and blank lines.
bool KeyOf(std::string_view content, std::string& key) {
  const std::string t = Trim(content);
  if (t.empty() || t.front() == ';') return false;
  key = Trim(std::string_view(t).substr(0, t.find('=')));
  return true;
}

std::string OneLine(std::string value) {
  std::replace_if(
      value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return value;
}

// Replaces path with a new file holding bytes; the old file stays untouched when writing fails.
bool WriteFileReplacing(const std::string& path, const std::string& bytes, TStatus& error) {
  const std::string temp = path + ".new";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    error = MakeStatus(TCode::kCannotCreateFile, {temp, std::strerror(errno)});
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  std::error_code ec;
  if (!written || !closed) {
    error = MakeStatus(TCode::kCannotWriteFile, {path});
    std::filesystem::remove(temp, ec);
    return false;
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    error = MakeStatus(TCode::kCannotReplaceFile, {path, ec.message()});
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

bool ReadIniFile(const std::string& path, std::vector<uint8_t>& bytes, TStatus& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = MakeStatus(TCode::kFileNotFound, {path});
    return false;
  }
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    error = MakeStatus(TCode::kFileUnreadable, {path});
    return false;
  }
  if (size > static_cast<uintmax_t>(kMaxIniBytes)) {
    error = MakeStatus(TCode::kFileTooLarge,
                       {path, std::to_string(size), std::to_string(kMaxIniBytes)});
    return false;
  }
  bytes = ReadWholeFile(path, kMaxIniBytes);
  if (bytes.size() != size) {
    error = MakeStatus(TCode::kFileUnreadable, {path});
    return false;
  }
  return true;
}

TRecordOpResult Refused(TStatus status) {
  TRecordOpResult result;
  result.Status = std::move(status);
  return result;
}

}  // namespace

std::string ChannelIniName(const std::string& name) {
  return EqualNoCase(FileExtension(name), ".ini") ? name : name + ".ini";
}

std::vector<TChannelResponses> ParseChannelIni(std::string_view bytes, int count,
                                               const std::string& folder) {
  TBinIniFile ini(std::vector<uint8_t>(bytes.begin(), bytes.end()), false);
  std::vector<TChannelResponses> out;
  count = std::clamp(count, 0, kMaxChannels);
  for (int c = 1; c <= count; ++c) {
    TChannelResponses v;
    v.SensorResp =
        FromCommonDir(ini.ReadString(kChannelIniSection, NumberedKey("SensorResp", c), ""), folder);
    v.AmplifierResp = FromCommonDir(
        ini.ReadString(kChannelIniSection, NumberedKey("AmplifierResp", c), ""), folder);
    v.ChannelResp = FromCommonDir(
        ini.ReadString(kChannelIniSection, NumberedKey("ChannelResp", c), ""), folder);
    v.Axis = ini.ReadInteger(kChannelIniSection, NumberedKey("Axis", c), 2);
    out.push_back(std::move(v));
  }
  return out;
}

std::vector<int> ChannelIniChannels(std::string_view bytes) {
  TBinIniFile ini(std::vector<uint8_t>(bytes.begin(), bytes.end()), false);
  std::vector<int> out;
  // Two-digit keys: a file made for records of more channels than a record holds still shows
  // what it holds.
  for (int c = 1; c <= 99; ++c) {
    for (const char* name : {"SensorResp", "AmplifierResp", "ChannelResp", "Axis"}) {
      if (ini.HasKey(kChannelIniSection, NumberedKey(name, c))) {
        out.push_back(c);
        break;
      }
    }
  }
  return out;
}

std::string UpdateIniText(std::string_view text, std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& values) {
  const std::vector<Line> lines = SplitKeepingBreaks(text);
  // The first section of that name is the one readers use.
  size_t first = lines.size(), last = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    const std::string_view content = text.substr(lines[i].Begin, lines[i].End - lines[i].Begin);
    if (!SectionName(content, name)) continue;
    if (first < lines.size()) {
      last = i;
      break;
    }
    if (EqualNoCase(name, section)) first = i;
  }
  std::vector<std::string> replaced(lines.size());
  std::vector<bool> is_replaced(lines.size(), false);
  std::string added;
  for (const auto& [key, value] : values) {
    const std::string line = key + "=" + Utf8ToCp1251(OneLine(value));
    bool found = false;
    for (size_t i = first + 1; first < lines.size() && i < last && !found; ++i) {
      std::string k;
      if (KeyOf(text.substr(lines[i].Begin, lines[i].End - lines[i].Begin), k) &&
          EqualNoCase(k, key)) {
        replaced[i] = line;
        is_replaced[i] = true;
        found = true;
      }
    }
    if (!found) added += line + "\r\n";
  }

  std::string out;
  out.reserve(text.size() + added.size() + 16);
  if (first == lines.size()) {
    out.append(text);
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
    if (!out.empty()) out += "\r\n";
    out += "[" + std::string(section) + "]\r\n" + added;
    return out;
  }
  // New keys go after the section's last line that is not blank.
  size_t insert_after = first;
  for (size_t i = first + 1; i < last; ++i) {
    if (!Trim(text.substr(lines[i].Begin, lines[i].End - lines[i].Begin)).empty()) insert_after = i;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (is_replaced[i]) {
      out += replaced[i];
      out.append(text.substr(lines[i].End, lines[i].Next - lines[i].End));
    } else {
      out.append(text.substr(lines[i].Begin, lines[i].Next - lines[i].Begin));
    }
    if (i == insert_after && !added.empty()) {
      // The last line of the text may have no break of its own.
      if (lines[i].Next == lines[i].End) out += "\r\n";
      out += added;
    }
  }
  return out;
}

TRecordOpResult ChannelsToIni(const TProject& project, int current, const std::string& path) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()))
    return Refused(MakeStatus(TCode::kNoRecordSelected));
  const TFileRecord& r = project.Records[static_cast<size_t>(current)];
  const std::string name = ChannelIniName(path);
  std::vector<uint8_t> old;
  TStatus error;
  std::error_code ec;
  if (std::filesystem::exists(name, ec) && !ReadIniFile(name, old, error)) return Refused(error);

  std::vector<std::pair<std::string, std::string>> values;
  for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
    const int k = c + 1;
    values.emplace_back(NumberedKey("SensorResp", k),
                        ToCommonDir(r.Channels[c].SensorResp, project.Folder));
    values.emplace_back(NumberedKey("AmplifierResp", k),
                        ToCommonDir(r.Channels[c].AmplifierResp, project.Folder));
    values.emplace_back(NumberedKey("ChannelResp", k),
                        ToCommonDir(r.Channels[c].ChannelResp, project.Folder));
    values.emplace_back(NumberedKey("Axis", k),
                        std::to_string(ComponentNumber(r.Channels[c].Axis)));
  }
  const std::string text =
      UpdateIniText(std::string_view(reinterpret_cast<const char*>(old.data()), old.size()),
                    kChannelIniSection, values);
  if (!WriteFileReplacing(name, text, error)) return Refused(error);
  TRecordOpResult result;
  result.Done = true;
  result.Count = std::clamp(r.ChannelCount(), 0, kMaxChannels);
  result.Written = name;
  result.Selection = {current};
  return result;
}

namespace {

// "1, 4, 5".
std::string ChannelList(const std::vector<int>& channels) {
  std::string out;
  for (int c : channels) out += (out.empty() ? "" : ", ") + std::to_string(c);
  return out;
}

TStatus RecordName(const TProject& project, int index) {
  return MakeStatus(TCode::kRecordLower, {std::to_string(index + 1),
                                          project.Records[static_cast<size_t>(index)].Station});
}

}  // namespace

TRecordOpResult ChannelsFromIni(TProject& project, const TSelection& selection, int current,
                                const std::string& path) {
  if (current < 0 || current >= static_cast<int>(project.Records.size()))
    return Refused(MakeStatus(TCode::kNoRecordSelected));
  std::vector<uint8_t> bytes;
  TStatus error;
  if (!ReadIniFile(path, bytes, error)) return Refused(error);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // Any text would otherwise read as a file of empty paths and Z components, and clear every
  // channel it is given to.
  const std::vector<int> present = ChannelIniChannels(text);
  if (present.empty()) {
    return Refused(MakeStatus(TCode::kNotChannelSettings, {path, kChannelIniSection}));
  }
  const int shown =
      std::clamp(project.Records[static_cast<size_t>(current)].ChannelCount(), 0, kMaxChannels);
  const std::vector<TChannelResponses> values = ParseChannelIni(text, shown, project.Folder);
  const auto in_file = [&present](int channel) {
    return std::binary_search(present.begin(), present.end(), channel);
  };
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  for (int i : result.Selection) {
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    const int channels = std::clamp(r.ChannelCount(), 0, kMaxChannels);
    const int n = std::min(channels, static_cast<int>(values.size()));
    std::vector<int> kept;
    for (int c = 0; c < n; ++c) {
      if (!in_file(c + 1)) {
        kept.push_back(c + 1);
        continue;
      }
      const TChannelResponses& v = values[static_cast<size_t>(c)];
      r.Channels[c].SensorResp = v.SensorResp;
      r.Channels[c].AmplifierResp = v.AmplifierResp;
      r.Channels[c].ChannelResp = v.ChannelResp;
      r.Channels[c].Axis = static_cast<Component>(v.Axis);
    }
    ++result.Count;
    if (!kept.empty()) {
      TStatus warning = MakeStatus(TCode::kChannelSettingsMissing,
                                   {path, ChannelList(kept), RecordName(project, i)});
      warning.Record = i;
      result.Warnings.push_back(std::move(warning));
    }
    std::vector<int> beyond;
    for (int c : present) {
      if (c > n) beyond.push_back(c);
    }
    if (!beyond.empty()) {
      const TStatus why = channels <= shown
                              ? MakeStatus(TCode::kItHasChannels, {std::to_string(channels)})
                              : MakeStatus(TCode::kTakesChannelsOf,
                                           {RecordName(project, current), std::to_string(shown)});
      TStatus warning = MakeStatus(TCode::kChannelSettingsNotApplied,
                                   {ChannelList(beyond), path, RecordName(project, i), why});
      warning.Record = i;
      result.Warnings.push_back(std::move(warning));
    }
  }
  for (const TChannelResponses& v : values) {
    for (const std::string* file : {&v.SensorResp, &v.AmplifierResp, &v.ChannelResp}) {
      if (file->empty() || ResponseFileExists(*file)) continue;
      TStatus missing = MakeStatus(TCode::kFileNotFound, {*file});
      if (std::none_of(result.Warnings.begin(), result.Warnings.end(), [&](const TStatus& w) {
            return w.Code == missing.Code && w.Args == missing.Args;
          }))
        result.Warnings.push_back(std::move(missing));
    }
  }
  result.Done = true;
  if (result.Count > 0) project.Modified = true;
  result.Written = path;
  return result;
}

}  // namespace tarvik

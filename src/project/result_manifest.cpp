#include "project/result_manifest.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string_view>
#include <system_error>

#include "common/binary_file.h"
#include "common/datetime.h"
#include "common/replace_file.h"

namespace tarvik {

namespace {

namespace fs = std::filesystem;

// Far above any real results folder (a line per result file), far below what memory holds.
constexpr int64_t kMaxManifestBytes = int64_t{64} << 20;
constexpr size_t kFields = 4;
constexpr size_t kNamedFiles = 10;

constexpr std::string_view kHeader =
    "# Tarvik results: FILE\tPROJECT\tRECORD\tWRITTEN (UTC); the last line of a file counts\n";

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::u8string& u8) {
  return std::string(u8.begin(), u8.end());
}

std::string Utf8(const fs::path& path) {
  return Utf8(path.u8string());
}

std::string Encode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Decode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

// One line as file and owner; nullopt when it does not read.
std::optional<std::pair<std::string, TResultOwner>> ParseLine(std::string_view line) {
  std::vector<std::string> fields;
  size_t from = 0;
  while (fields.size() <= kFields) {
    const size_t tab = line.find('\t', from);
    const std::optional<std::string> field =
        Decode(line.substr(from, tab == std::string_view::npos ? line.size() - from : tab - from));
    if (!field) return std::nullopt;
    fields.push_back(*field);
    if (tab == std::string_view::npos) break;
    from = tab + 1;
  }
  if (fields.size() != kFields || fields[0].empty() || !ParseIso(fields[3])) return std::nullopt;
  return std::pair<std::string, TResultOwner>{fields[0], {fields[1], fields[2], fields[3]}};
}

std::string LineOf(const std::string& key, const TResultOwner& owner) {
  return Encode(key) + "\t" + Encode(owner.Project) + "\t" + Encode(owner.Record) + "\t" +
         Encode(owner.Written) + "\n";
}

std::string NowText() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return FormatIso(UnixToDateTime(std::chrono::duration<double>(now).count()));
}

// Whether the file ends inside a line (a crash while appending): the next line appended would
// be joined to it.
bool EndsInsideALine(const std::string& path) {
  BinaryFile f;
  if (!f.Open(path, false) || f.Size() == 0) return false;
  char last = '\n';
  return !f.ReadExact(f.Size() - 1, &last, 1) || last != '\n';
}

}  // namespace

TResultManifestText ParseResultManifest(std::string_view text) {
  TResultManifestText out;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    const bool complete = end != std::string_view::npos;
    if (!complete) end = text.size();
    std::string_view line = text.substr(from, end - from);
    from = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!complete) out.Damaged = true;  // cut short while being appended
    if (line.empty() || line.front() == '#') continue;
    ++out.Lines;
    if (auto entry = ParseLine(line)) {
      out.Owners[entry->first] = std::move(entry->second);
    } else {
      out.Damaged = true;
    }
  }
  return out;
}

std::string ResultManifestText(const std::map<std::string, TResultOwner>& owners) {
  std::string text(kHeader);
  for (const auto& [key, owner] : owners) text += LineOf(key, owner);
  return text;
}

std::string ProjectIdentity(const std::string& project_file) {
  if (project_file.empty()) return {};
  std::error_code ec;
  fs::path full = fs::absolute(PathOf(project_file), ec);
  if (ec) full = PathOf(project_file);
  const fs::path canonical = fs::weakly_canonical(full, ec);
  return Utf8(ec ? full.lexically_normal() : canonical);
}

std::string ManifestRecordText(int index, const std::string& station) {
  return std::to_string(index + 1) + " (" + station + ")";
}

TResultManifest::TResultManifest(std::string results_folder)
    : folder_(std::move(results_folder)),
      path_(Utf8(PathOf(folder_) / PathOf(kResultManifestName))) {
  std::lock_guard lock(mutex_);
  ReadLocked();
}

std::string TResultManifest::Key(const std::string& file) const {
  const fs::path path = PathOf(file).lexically_normal();
  const fs::path relative = path.lexically_relative(PathOf(folder_).lexically_normal());
  if (relative.empty() || *relative.begin() == "..") return Utf8(path.generic_u8string());
  return Utf8(relative.generic_u8string());
}

void TResultManifest::ReadLocked() {
  owners_.clear();
  lines_ = 0;
  damaged_ = false;
  std::error_code ec;
  if (!fs::exists(PathOf(path_), ec)) return;
  const std::vector<uint8_t> bytes = ReadWholeFile(path_, kMaxManifestBytes);
  if (bytes.empty()) {
    // An unreadable or oversized manifest starts afresh on the next write.
    damaged_ = fs::file_size(PathOf(path_), ec) > 0;
    return;
  }
  TResultManifestText text = ParseResultManifest(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  owners_ = std::move(text.Owners);
  lines_ = text.Lines;
  damaged_ = text.Damaged;
}

bool TResultManifest::RewriteLocked(TStatus* error) {
  TStatus reason;
  if (!ReplaceFileContents(PathOf(path_), ResultManifestText(owners_), reason)) {
    if (error != nullptr) *error = reason;
    return false;
  }
  lines_ = owners_.size();
  damaged_ = false;
  return true;
}

std::optional<TResultOwner> TResultManifest::OwnerOf(const std::string& file) const {
  std::lock_guard lock(mutex_);
  const auto it = owners_.find(Key(file));
  if (it == owners_.end()) return std::nullopt;
  return it->second;
}

bool TResultManifest::Note(const std::string& file, TResultOwner owner, TStatus* error) {
  std::lock_guard lock(mutex_);
  owner.Written = NowText();
  const std::string key = Key(file);
  damaged_ = damaged_ || EndsInsideALine(path_);
  // Another run may have added lines since this one read the manifest: a rewrite starts from
  // what the file holds now.
  if (damaged_ || lines_ >= 2 * owners_.size() + 64) {
    ReadLocked();
    owners_[key] = std::move(owner);
    return RewriteLocked(error);
  }
  std::error_code ec;
  const bool fresh = !fs::exists(PathOf(path_), ec);
  if (fresh) {
    fs::create_directories(PathOf(folder_), ec);
  }
  const std::string line = (fresh ? std::string(kHeader) : std::string()) + LineOf(key, owner);
  owners_[key] = std::move(owner);
  ++lines_;
  // One write of one short line: lines that runs of other processes append at the same time
  // stay whole.
  std::FILE* f = std::fopen(path_.c_str(), "ab");
  const bool written = f != nullptr && std::fwrite(line.data(), 1, line.size(), f) == line.size();
  const bool closed = f != nullptr && std::fclose(f) == 0;
  if (!written || !closed) {
    if (error != nullptr) *error = MakeStatus(TCode::kCannotWriteFile, {path_});
    return false;
  }
  return true;
}

bool TResultManifest::Damaged() const {
  std::lock_guard lock(mutex_);
  return damaged_;
}

TStatus OtherProjectsQuestion(const TResultManifest& manifest,
                              const std::vector<std::string>& files, const std::string& project) {
  std::set<std::string> seen;
  std::vector<TStatus> lines = {MakeStatus(TCode::kOtherProjectResults)};
  size_t count = 0;
  for (const std::string& file : files) {
    if (!seen.insert(file).second) continue;
    std::error_code ec;
    if (!fs::is_regular_file(PathOf(file), ec)) continue;
    const std::optional<TResultOwner> owner = manifest.OwnerOf(file);
    if (!owner || owner->Project == project) continue;
    if (++count > kNamedFiles) continue;
    lines.push_back(MakeStatus(
        TCode::kOtherProjectResultFile,
        {file,
         owner->Project.empty() ? TArg(MakeStatus(TCode::kWithoutName)) : TArg(owner->Project),
         owner->Record, owner->Written}));
  }
  if (count == 0) return {};
  if (count > kNamedFiles)
    lines.push_back(MakeStatus(TCode::kMoreFiles, {std::to_string(count - kNamedFiles)}));
  lines.push_back(
      MakeStatus(TCode::kReplacedByProject,
                 {project.empty() ? TArg(MakeStatus(TCode::kWithoutName)) : TArg(project)}));
  // One line each, as the question box shows them.
  TStatus question = lines.back();
  for (size_t k = lines.size() - 1; k-- > 0;)
    question = MakeStatus(TCode::kLines, {lines[k], question});
  return question;
}

}  // namespace tarvik

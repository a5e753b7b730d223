#include "common/replace_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvik {

namespace {

namespace fs = std::filesystem;

std::string PathText(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

std::string Reason(int error_number) {
  return std::generic_category().message(error_number);
}

long ProcessId() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

// ".NAME~PID-N.EXT" beside target.
fs::path TemporaryNameFor(const fs::path& target) {
  static std::atomic<unsigned long> counter{0};
  const std::u8string stem = target.stem().u8string();
  const std::u8string ext = target.extension().u8string();
  const std::string tag =
      "~" + std::to_string(ProcessId()) + "-" + std::to_string(counter.fetch_add(1) + 1);
  std::u8string name = u8".";
  name += stem;
  name += std::u8string(tag.begin(), tag.end());
  name += ext;
  return target.parent_path() / fs::path(name);
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  const std::string m(mode);
  return _wfopen(path.c_str(), std::wstring(m.begin(), m.end()).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

// Makes what was written through file reach the disk before the file is renamed, so that a
// power cut after the rename cannot leave the new name on an empty file.
bool SyncAndClose(std::FILE* file) {
  bool ok = std::fflush(file) == 0;
#ifdef _WIN32
  ok = ok && _commit(_fileno(file)) == 0;
#else
  ok = ok && fsync(fileno(file)) == 0;
#endif
  const int saved = errno;
  ok = std::fclose(file) == 0 && ok;
  if (!ok && errno == 0) errno = saved;
  return ok;
}

// The rename itself is made durable by flushing the folder that holds both names.
void SyncFolder([[maybe_unused]] const fs::path& folder) {
#ifndef _WIN32
  const fs::path dir = folder.empty() ? fs::path(".") : folder;
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
#endif
}

// The failure of code for file, with the reason.
TStatus Failure(TCode code, const fs::path& file, std::string reason) {
  TStatus status = MakeStatus(code, {PathText(file), std::move(reason)});
  status.File = PathText(file);
  return status;
}

// The Russian text of a failure, for the callers that take a text.
bool Told(bool done, const TStatus& status, std::string& error) {
  if (!done) error = Text(status, TLanguage::kRussian);
  return done;
}

}  // namespace

TFileReplacement::TFileReplacement(fs::path target)
    : target_(std::move(target)), temporary_(TemporaryNameFor(target_)) {}

TFileReplacement::~TFileReplacement() {
  if (committed_) return;
  std::error_code ec;
  fs::remove(temporary_, ec);
}

bool TFileReplacement::CreateFolder(TStatus& error) const {
  const fs::path folder = target_.parent_path();
  if (folder.empty()) return true;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) {
    error = Failure(TCode::kCannotCreateFolder, folder, ec ? ec.message() : Reason(ENOTDIR));
    return false;
  }
  return true;
}

bool TFileReplacement::Write(std::string_view bytes, TStatus& error) {
  errno = 0;
  std::FILE* file = OpenFile(temporary_, "wb");
  if (file == nullptr) {
    error = Failure(TCode::kCannotCreateFile, target_, Reason(errno));
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_errno = errno;
  const bool synced = SyncAndClose(file);
  if (!written || !synced) {
    error = Failure(TCode::kWriteError, target_,
                    Reason(write_errno != 0 ? write_errno : (errno != 0 ? errno : EIO)));
    std::error_code ec;
    fs::remove(temporary_, ec);
    return false;
  }
  return true;
}

bool TFileReplacement::Flush(TStatus& error) {
  errno = 0;
  std::FILE* file = OpenFile(temporary_, "r+b");
  if (file == nullptr || !SyncAndClose(file)) {
    error = Failure(TCode::kWriteError, target_, Reason(errno != 0 ? errno : EIO));
    return false;
  }
  return true;
}

bool TFileReplacement::Commit(TStatus& error) {
  std::error_code ec;
  fs::rename(temporary_, target_, ec);
  if (ec) {
    error = Failure(TCode::kCannotReplaceFile, target_, ec.message());
    fs::remove(temporary_, ec);
    return false;
  }
  committed_ = true;
  SyncFolder(target_.parent_path());
  return true;
}

bool TFileReplacement::CreateFolder(std::string& error) const {
  TStatus status;
  return Told(CreateFolder(status), status, error);
}

bool TFileReplacement::Write(std::string_view bytes, std::string& error) {
  TStatus status;
  return Told(Write(bytes, status), status, error);
}

bool TFileReplacement::Flush(std::string& error) {
  TStatus status;
  return Told(Flush(status), status, error);
}

bool TFileReplacement::Commit(std::string& error) {
  TStatus status;
  return Told(Commit(status), status, error);
}

bool ReplaceFileContents(const fs::path& path, std::string_view bytes, std::string& error) {
  TStatus status;
  return Told(ReplaceFileContents(path, bytes, status), status, error);
}

bool ReplaceFilesTogether(const std::vector<std::pair<fs::path, std::string>>& files,
                          std::string& error) {
  TStatus status;
  return Told(ReplaceFilesTogether(files, status), status, error);
}

bool ReplaceFileContents(const fs::path& path, std::string_view bytes, TStatus& error) {
  TFileReplacement replacement(path);
  return replacement.CreateFolder(error) && replacement.Write(bytes, error) &&
         replacement.Commit(error);
}

bool ReplaceFilesTogether(const std::vector<std::pair<fs::path, std::string>>& files,
                          TStatus& error) {
  std::vector<std::unique_ptr<TFileReplacement>> pending;
  for (const auto& [path, bytes] : files) {
    pending.push_back(std::make_unique<TFileReplacement>(path));
    if (!pending.back()->CreateFolder(error) || !pending.back()->Write(bytes, error)) return false;
  }
  // Each earlier file is kept under a second name (a hard link, or a copy where links are not
  // supported) until all the new ones are in place.
  std::vector<std::optional<fs::path>> kept(files.size());
  const auto drop_kept = [&] {
    std::error_code ec;
    for (const auto& k : kept) {
      if (k) fs::remove(*k, ec);
    }
  };
  std::error_code ec;
  for (size_t i = 0; i < files.size(); ++i) {
    const fs::path& target = files[i].first;
    if (!fs::exists(target, ec)) continue;
    const fs::path backup = TemporaryNameFor(target);
    fs::create_hard_link(target, backup, ec);
    if (ec) fs::copy_file(target, backup, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      error = Failure(TCode::kCannotReplaceFile, target, ec.message());
      drop_kept();
      return false;
    }
    kept[i] = backup;
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    if (pending[i]->Commit(error)) continue;
    for (size_t j = 0; j < i; ++j) {
      if (kept[j]) {
        fs::rename(*kept[j], files[j].first, ec);
        if (!ec) kept[j].reset();
      } else {
        fs::remove(files[j].first, ec);
      }
    }
    drop_kept();
    return false;
  }
  drop_kept();
  return true;
}

}  // namespace tarvik

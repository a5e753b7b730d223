#include "records/header_cache.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/ui_host.h"

namespace tarvik {

HeaderCache::Stamp HeaderCache::StampOf(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p(path);
  const auto size = fs::file_size(p, ec);
  if (ec) return {};
  const auto time = fs::last_write_time(p, ec);
  if (ec) return {};
  return {static_cast<int64_t>(size), static_cast<int64_t>(time.time_since_epoch().count())};
}

HeaderCache::Entry& HeaderCache::EntryFor(const std::string& path, const Stamp& stamp) {
  Entry& entry = entries_[path];
  if (!(entry.stamp == stamp)) {
    entry = Entry{};
    entry.stamp = stamp;
  }
  return entry;
}

FormatTag HeaderCache::Recognize(const std::string& path) {
  // The stamp is taken before the file is read: a file that changes while it is read gets a
  // newer stamp than the one kept, and is read again the next time.
  const Stamp stamp = StampOf(path);
  if (stamp.size < 0) return tarvik::Recognize(path);
  {
    std::lock_guard lock(mutex_);
    const Entry& entry = EntryFor(path, stamp);
    if (entry.recognized) return entry.tag;
  }
  const FormatTag tag = tarvik::Recognize(path);
  std::lock_guard lock(mutex_);
  Entry& entry = EntryFor(path, stamp);
  entry.recognized = true;
  entry.tag = tag;
  return tag;
}

std::shared_ptr<const FileHeaders> HeaderCache::Headers(const std::string& path, FormatTag tag,
                                                        double default_rate) {
  const Stamp stamp = StampOf(path);
  if (stamp.size < 0) {
    return std::make_shared<const FileHeaders>(ReadHeaders(path, tag, default_rate));
  }
  const std::pair<FormatTag, double> key(tag, default_rate);
  {
    std::lock_guard lock(mutex_);
    const Entry& entry = EntryFor(path, stamp);
    if (const auto it = entry.headers.find(key); it != entry.headers.end()) return it->second;
  }
  // Read outside the lock, so that threads read different files at the same time; two threads
  // that read the same file both get what it holds.
  auto read = std::make_shared<const FileHeaders>(ReadHeaders(path, tag, default_rate));
  std::lock_guard lock(mutex_);
  EntryFor(path, stamp).headers[key] = read;
  return read;
}

std::pair<std::vector<FolderHeaders::Start>::const_iterator,
          std::vector<FolderHeaders::Start>::const_iterator>
FolderHeaders::StartingIn(TDateTime from, TDateTime to) const {
  const auto lo = std::lower_bound(starts.begin(), starts.end(), from,
                                   [](const Start& s, TDateTime t) { return s.start < t; });
  const auto hi = std::lower_bound(lo, starts.end(), to,
                                   [](const Start& s, TDateTime t) { return s.start < t; });
  return {lo, hi};
}

std::shared_ptr<const FolderHeaders> HeaderCache::Folder(const std::string& folder,
                                                         std::string_view mask, FormatTag tag,
                                                         double default_rate, UiHost* host) {
  const FolderKey key{folder, std::string(mask), tag, default_rate};
  std::lock_guard build(build_mutex_);
  {
    std::lock_guard lock(mutex_);
    const auto it = folders_.find(key);
    if (it != folders_.end() && it->second.pass == pass_) return it->second.index;
  }
  auto index = std::make_shared<FolderHeaders>();
  std::vector<std::string> paths = ListRecordMask(folder, mask);
  const int n = static_cast<int>(std::min<size_t>(paths.size(), std::numeric_limits<int>::max()));
  for (size_t i = 0; i < paths.size(); ++i) {
    auto headers = Headers(paths[i], tag, default_rate);
    index->files.push_back({std::move(paths[i]), std::move(headers)});
    if (host != nullptr) {
      host->SetProgress(static_cast<int>(std::min<size_t>(i + 1, n)), n);
      host->ProcessEvents();
    }
  }
  for (size_t f = 0; f < index->files.size() && f <= std::numeric_limits<uint32_t>::max(); ++f) {
    const FileHeaders& read = *index->files[f].headers;
    if (!read.status.Ok()) continue;
    for (size_t h = 0; h < read.headers.size(); ++h) {
      const TDateTime start = read.headers[h].Start;
      if (std::isnan(start)) continue;
      index->starts.push_back({start, static_cast<uint32_t>(f), static_cast<uint32_t>(h)});
    }
  }
  std::stable_sort(index->starts.begin(), index->starts.end(),
                   [](const FolderHeaders::Start& a, const FolderHeaders::Start& b) {
                     return a.start < b.start;
                   });
  std::lock_guard lock(mutex_);
  FolderEntry& entry = folders_[key];
  entry.pass = pass_;
  entry.index = std::move(index);
  return entry.index;
}

void HeaderCache::NewPass() {
  std::lock_guard lock(mutex_);
  ++pass_;
}

size_t HeaderCache::Size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void HeaderCache::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  folders_.clear();
}

FormatTag RecognizeWith(HeaderCache* cache, const std::string& path) {
  return cache != nullptr ? cache->Recognize(path) : Recognize(path);
}

std::shared_ptr<const FileHeaders> HeadersWith(HeaderCache* cache, const std::string& path,
                                               FormatTag tag, double default_rate) {
  if (cache != nullptr) return cache->Headers(path, tag, default_rate);
  return std::make_shared<const FileHeaders>(ReadHeaders(path, tag, default_rate));
}

}  // namespace tarvik

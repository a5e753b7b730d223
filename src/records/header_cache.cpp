#include "records/header_cache.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/ui_host.h"

namespace tarvik {

HeaderCache::FileStamp HeaderCache::StampOf(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p(path);
  const auto size = fs::file_size(p, ec);
  if (ec) return {};
  const auto time = fs::last_write_time(p, ec);
  if (ec) return {};
  return {static_cast<int64_t>(size), static_cast<int64_t>(time.time_since_epoch().count())};
}

HeaderCache::Entry& HeaderCache::EntryFor(const std::string& path, const FileStamp& stamp) {
  Entry& entry = entries_[path];
  if (!(entry.Stamp == stamp)) {
    entry = Entry{};
    entry.Stamp = stamp;
  }
  return entry;
}

FormatTag HeaderCache::Recognize(const std::string& path) {
  // The stamp is taken before the file is read: a file that changes while it is read gets a
  // newer stamp than the one kept, and is read again the next time.
  const FileStamp stamp = StampOf(path);
  if (stamp.Size < 0) return tarvik::Recognize(path);
  {
    std::lock_guard lock(mutex_);
    const Entry& entry = EntryFor(path, stamp);
    if (entry.Recognized) return entry.Tag;
  }
  const FormatTag tag = tarvik::Recognize(path);
  std::lock_guard lock(mutex_);
  Entry& entry = EntryFor(path, stamp);
  entry.Recognized = true;
  entry.Tag = tag;
  return tag;
}

std::shared_ptr<const FileHeaders> HeaderCache::Headers(const std::string& path, FormatTag tag,
                                                        double default_rate) {
  const FileStamp stamp = StampOf(path);
  if (stamp.Size < 0) {
    return std::make_shared<const FileHeaders>(ReadHeaders(path, tag, default_rate));
  }
  const std::pair<FormatTag, double> key(tag, default_rate);
  {
    std::lock_guard lock(mutex_);
    const Entry& entry = EntryFor(path, stamp);
    if (const auto it = entry.Headers.find(key); it != entry.Headers.end()) return it->second;
  }
  // Read outside the lock, so that threads read different files at the same time; two threads
  // that read the same file both get what it holds.
  auto read = std::make_shared<const FileHeaders>(ReadHeaders(path, tag, default_rate));
  std::lock_guard lock(mutex_);
  EntryFor(path, stamp).Headers[key] = read;
  return read;
}

std::pair<std::vector<FolderHeaders::Start>::const_iterator,
          std::vector<FolderHeaders::Start>::const_iterator>
FolderHeaders::StartingIn(TDateTime from, TDateTime to) const {
  const auto lo = std::lower_bound(Starts.begin(), Starts.end(), from,
                                   [](const Start& s, TDateTime t) { return s.Start < t; });
  const auto hi = std::lower_bound(lo, Starts.end(), to,
                                   [](const Start& s, TDateTime t) { return s.Start < t; });
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
    if (it != folders_.end() && it->second.Pass == pass_) return it->second.Index;
  }
  auto index = std::make_shared<FolderHeaders>();
  std::vector<std::string> paths = ListRecordMask(folder, mask);
  const int n = static_cast<int>(std::min<size_t>(paths.size(), std::numeric_limits<int>::max()));
  for (size_t i = 0; i < paths.size(); ++i) {
    auto headers = Headers(paths[i], tag, default_rate);
    index->Files.push_back({std::move(paths[i]), std::move(headers)});
    if (host != nullptr) {
      host->SetProgress(static_cast<int>(std::min<size_t>(i + 1, n)), n);
      host->ProcessEvents();
    }
  }
  for (size_t f = 0; f < index->Files.size() && f <= std::numeric_limits<uint32_t>::max(); ++f) {
    const FileHeaders& read = *index->Files[f].Headers;
    if (!read.Status.Ok()) continue;
    for (size_t h = 0; h < read.Headers.size(); ++h) {
      const TDateTime start = read.Headers[h].Start;
      if (std::isnan(start)) continue;
      index->Starts.push_back({start, static_cast<uint32_t>(f), static_cast<uint32_t>(h)});
    }
  }
  std::stable_sort(index->Starts.begin(), index->Starts.end(),
                   [](const FolderHeaders::Start& a, const FolderHeaders::Start& b) {
                     return a.Start < b.Start;
                   });
  std::lock_guard lock(mutex_);
  FolderEntry& entry = folders_[key];
  entry.Pass = pass_;
  entry.Index = std::move(index);
  return entry.Index;
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

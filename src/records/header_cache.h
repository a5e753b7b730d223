#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/formats.h"

namespace tarvik {

class UiHost;

// The files of one folder that match a record mask, read as one format, with their headers: the
// index a record's file search looks its files up in by time.
struct FolderHeaders {
  struct File {
    std::string Path;
    std::shared_ptr<const FileHeaders> Headers;
  };
  // A header of a file whose reader succeeded, by its start; headers whose start is not a
  // number are left out (they start within no span).
  struct Start {
    TDateTime Start = 0.0;
    uint32_t File = 0;
    uint32_t Header = 0;
  };
  // In path order.
  std::vector<File> Files;
  // Ordered by start.
  std::vector<Start> Starts;

  // The entries whose start lies in [from, to), in order of start.
  std::pair<std::vector<Start>::const_iterator, std::vector<Start>::const_iterator> StartingIn(
      TDateTime from, TDateTime to) const;
};

// The format tags and headers of seismogram files, each read once and kept for as long as the
// file stays as it was: an entry is keyed by the file's path and holds the file's size and
// modification time, and a file whose size or time changed is read again. Whoever runs an
// operation over many files owns one (a run of the driver, an open project of the window) and
// hands it to the operations it calls; the readers then read a file's header once however many
// records search its folder. Safe to use from several threads at once.
class HeaderCache {
 public:
  // Recognize of path, kept while the file is unchanged.
  FormatTag Recognize(const std::string& path);

  // ReadHeaders of path as tag with default_rate, kept while the file is unchanged. Never null.
  std::shared_ptr<const FileHeaders> Headers(const std::string& path, FormatTag tag,
                                             double default_rate);

  // The files of folder that match mask (ListRecordMask) read as tag with default_rate. The
  // folder is listed and every file's stamp checked once per pass: within a pass the index is
  // taken as it was, so that records searching one folder cost their own files only.
  // While the index is built, host (when given) shows the files read on its progress bar and
  // lets pending events run after each.
  std::shared_ptr<const FolderHeaders> Folder(const std::string& folder, std::string_view mask,
                                              FormatTag tag, double default_rate,
                                              UiHost* host = nullptr);

  // Begins a new pass: files listed or checked before are checked again when next asked for.
  // A run calls it when it starts, so that a cache kept across runs sees the files as they are.
  void NewPass();

  // Files held (for tests and diagnostics).
  size_t Size() const;
  void Clear();

 private:
  struct FileStamp {
    int64_t Size = -1;
    int64_t Time = 0;
    bool operator==(const FileStamp&) const = default;
  };
  struct Entry {
    FileStamp Stamp;
    bool Recognized = false;
    FormatTag Tag = 0;
    std::map<std::pair<FormatTag, double>, std::shared_ptr<const FileHeaders>> Headers;
  };

  // The file's size and modification time; nullopt-like size -1 when they cannot be taken.
  static FileStamp StampOf(const std::string& path);
  // The entry of path for stamp under the lock: a fresh one when the file changed.
  Entry& EntryFor(const std::string& path, const FileStamp& stamp);

  struct FolderKey {
    std::string Folder;
    std::string Mask;
    FormatTag Tag = 0;
    double Rate = 0.0;
    auto operator<=>(const FolderKey&) const = default;
  };
  struct FolderEntry {
    uint64_t Pass = 0;
    std::shared_ptr<const FolderHeaders> Index;
  };

  mutable std::mutex mutex_;
  std::map<std::string, Entry> entries_;
  std::map<FolderKey, FolderEntry> folders_;
  uint64_t pass_ = 1;
  // Held while a folder index is built, so that threads that need it at once build it once.
  // Recursive: the events a build lets run may start a search of their own on this thread.
  std::recursive_mutex build_mutex_;
};

// The tag of path through cache, or read directly when cache is null.
FormatTag RecognizeWith(HeaderCache* cache, const std::string& path);

// The headers of path through cache, or read directly when cache is null.
std::shared_ptr<const FileHeaders> HeadersWith(HeaderCache* cache, const std::string& path,
                                               FormatTag tag, double default_rate);

}  // namespace tarvik

#pragma once

// Writing a file so that it is replaced whole or not at all: the new contents go to a temporary
// file in the target's folder, are flushed to the disk and then renamed over the target. A
// failure, a stop or a crash at any moment leaves either the earlier file or the complete new
// one, never a truncated or emptied file; at worst a temporary file is left behind.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.h"

namespace tarvik {

// One replacement in progress. The temporary name is ".NAME~PID-N.EXT" beside the target: it
// keeps the target's extension, so writers that choose the form by it (PNG or PDF) write the
// right one, and it is unique per process and call, so that two writers never share one.
class TFileReplacement {
 public:
  explicit TFileReplacement(std::filesystem::path target);
  // Removes the temporary file unless it was committed.
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& Temporary() const { return temporary_; }

  // Creates the target's folder with its missing parents; false with the reason when it cannot.
  bool CreateFolder(TStatus& error) const;
  // Writes bytes as the temporary file and flushes them to the disk.
  bool Write(std::string_view bytes, TStatus& error);
  // Flushes a temporary file that another writer made (an image export) to the disk; false
  // when it is not there.
  bool Flush(TStatus& error);
  // Renames the temporary file over the target.
  bool Commit(TStatus& error);
  // The same with the reason as the Russian text of the status.
  bool CreateFolder(std::string& error) const;
  bool Write(std::string_view bytes, std::string& error);
  bool Flush(std::string& error);
  bool Commit(std::string& error);

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool committed_ = false;
};

// Replaces path with bytes (creating its folder when missing). On failure the earlier file is
// as it was and error holds the status (kCannotCreateFolder, kCannotCreateFile, kWriteError or
// kCannotReplaceFile, File set), the reason in the platform's words.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes, TStatus& error);
// The same with the reason as the Russian text of the status.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes,
                         std::string& error);

// Replaces several files that belong together: every new file is written and flushed first,
// and only then are they renamed over their targets, in the order given. When a rename fails,
// the targets already replaced get their earlier contents back (or are removed when they had
// none), so that a failure leaves all of them as they were.
bool ReplaceFilesTogether(const std::vector<std::pair<std::filesystem::path, std::string>>& files,
                          TStatus& error);
bool ReplaceFilesTogether(const std::vector<std::pair<std::filesystem::path, std::string>>& files,
                          std::string& error);

}  // namespace tarvik

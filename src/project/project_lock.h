#pragma once

// The exclusive hold a writer of a project takes for the time it reads, changes and saves it: a
// lock file beside the project ("p.tvp.lock"), locked with flock on POSIX systems, holding the
// name, process number and computer of its holder so that a writer that waits in vain can say
// who keeps the project. A holder that dies loses the lock with its process; the file it leaves
// is taken over by the next writer.

#include <string>

#include "common/status.h"

namespace tarvik {

class UiHost;

// How long a writer waits for another one to finish before it gives up.
inline constexpr double kProjectLockWaitSeconds = 5.0;

// The lock file of a project file: its name with ".lock" appended.
std::string ProjectLockName(const std::string& project_file);

// The status of a writer that gave up waiting (kProjectBusy): the project and who holds it, as
// the lock file names the holder; File is the project.
TStatus ProjectBusyStatus(const std::string& project_file, const std::string& holder);
// That status told in language.
std::string ProjectBusyMessage(const std::string& project_file, const std::string& holder,
                               TLanguage language = TLanguage::kRussian);

class TProjectLock {
 public:
  // Holds nothing.
  TProjectLock() = default;
  ~TProjectLock();
  TProjectLock(TProjectLock&& other) noexcept;
  TProjectLock& operator=(TProjectLock&& other) noexcept;
  TProjectLock(const TProjectLock&) = delete;
  TProjectLock& operator=(const TProjectLock&) = delete;

  // Takes the lock of project_file (a full path), waiting up to wait_seconds while another
  // writer holds it; host, when given, lets pending events run while it waits. A lock that is
  // not held afterwards has the reason in Error() (the holder named).
  static TProjectLock Acquire(const std::string& project_file,
                              double wait_seconds = kProjectLockWaitSeconds,
                              UiHost* host = nullptr);

  bool Held() const { return fd_ >= 0 || held_without_file_; }
  // The project file this lock guards.
  const std::string& ProjectFile() const { return project_file_; }
  // Why the lock could not be taken (kOk when held).
  const TStatus& Error() const { return error_; }
  // Whether this lock guards file (a full path).
  bool Guards(const std::string& file) const { return Held() && file == project_file_; }

  // Gives the lock up (the lock file goes with it).
  void Release();

  // The holder written into the lock file by this process: program, process number, computer.
  static std::string ThisHolder();

 private:
  std::string project_file_;
  std::string lock_file_;
  TStatus error_;
  int fd_ = -1;
  // Systems without flock: the lock is a formality that always succeeds.
  bool held_without_file_ = false;
};

}  // namespace tarvik

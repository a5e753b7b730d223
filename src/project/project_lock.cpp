#include "project/project_lock.h"

#include <chrono>
#include <string_view>
#include <thread>
#include <utility>

#include "common/ui_host.h"

#if defined(__unix__) || defined(__APPLE__)
#define TARVIK_PROJECT_FLOCK 1
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvik {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(40);

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

std::string ProjectLockName(const std::string& project_file) {
  return project_file + ".lock";
}

TStatus ProjectBusyStatus(const std::string& project_file, const std::string& holder) {
  TStatus status = MakeStatus(
      TCode::kProjectBusy,
      {project_file, holder.empty() ? TArg(MakeStatus(TCode::kUnknownHolder)) : TArg(holder)});
  status.File = project_file;
  return status;
}

std::string ProjectBusyMessage(const std::string& project_file, const std::string& holder,
                               TLanguage language) {
  return Text(ProjectBusyStatus(project_file, holder), language);
}

std::string TProjectLock::ThisHolder() {
  std::string program = "tarvik";
  std::string pid = "?";
  std::string host = "?";
#ifdef TARVIK_PROJECT_FLOCK
#ifdef __GLIBC__
  if (program_invocation_short_name != nullptr && *program_invocation_short_name != '\0')
    program = program_invocation_short_name;
#endif
  pid = std::to_string(static_cast<long long>(getpid()));
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') host = name;
#endif
  // Kept in the lock file and shown by every program that finds the project taken: always the
  // Russian text, as the window tells it.
  return Text(MakeStatus(TCode::kLockHolder, {program, pid, host}), TLanguage::kRussian);
}

TProjectLock::~TProjectLock() {
  Release();
}

TProjectLock::TProjectLock(TProjectLock&& other) noexcept
    : project_file_(std::move(other.project_file_)),
      lock_file_(std::move(other.lock_file_)),
      error_(std::move(other.error_)),
      fd_(std::exchange(other.fd_, -1)),
      held_without_file_(std::exchange(other.held_without_file_, false)) {}

TProjectLock& TProjectLock::operator=(TProjectLock&& other) noexcept {
  if (this != &other) {
    Release();
    project_file_ = std::move(other.project_file_);
    lock_file_ = std::move(other.lock_file_);
    error_ = std::move(other.error_);
    fd_ = std::exchange(other.fd_, -1);
    held_without_file_ = std::exchange(other.held_without_file_, false);
  }
  return *this;
}

void TProjectLock::Release() {
  held_without_file_ = false;
#ifdef TARVIK_PROJECT_FLOCK
  if (fd_ < 0) return;
  // Removed while still locked: a writer that opened this file meanwhile finds, once it has
  // the lock, that the name no longer leads to it, and starts over with a new file.
  unlink(lock_file_.c_str());
  close(fd_);
  fd_ = -1;
#endif
}

TProjectLock TProjectLock::Acquire(const std::string& project_file, double wait_seconds,
                                   UiHost* host) {
  TProjectLock lock;
  lock.project_file_ = project_file;
  lock.lock_file_ = ProjectLockName(project_file);
#ifndef TARVIK_PROJECT_FLOCK
  (void)wait_seconds;
  (void)host;
  lock.held_without_file_ = true;
  return lock;
#else
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(wait_seconds > 0 ? wait_seconds : 0));
  std::string holder;
  for (;;) {
    const int fd = open(lock.lock_file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      // No lock file can be made where the project is (a missing or read-only folder): the
      // save that follows fails there too and says why.
      lock.held_without_file_ = true;
      return lock;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      struct stat opened {};
      struct stat named {};
      if (fstat(fd, &opened) == 0 && stat(lock.lock_file_.c_str(), &named) == 0 &&
          opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
        const std::string me = ThisHolder() + "\n";
        if (ftruncate(fd, 0) == 0) {
          [[maybe_unused]] const ssize_t written = pwrite(fd, me.data(), me.size(), 0);
        }
        lock.fd_ = fd;
        return lock;
      }
      // The previous holder removed the file between our open and our lock.
      close(fd);
      continue;
    }
    const int error = errno;
    if (error != EWOULDBLOCK && error != EINTR) {
      // A file system without locks: nothing better than going on without one.
      close(fd);
      lock.held_without_file_ = true;
      return lock;
    }
    char text[512];
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    close(fd);
    // The holder writes its name right after taking the lock: an empty file is one caught in
    // between, and the name read before stands.
    if (n > 0) {
      const std::string read = Trimmed(std::string(text, static_cast<size_t>(n)));
      if (!read.empty()) holder = read;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.error_ = ProjectBusyStatus(project_file, holder);
      return lock;
    }
    if (host != nullptr) host->ProcessEvents();
    std::this_thread::sleep_for(kPollInterval);
  }
#endif
}

}  // namespace tarvik

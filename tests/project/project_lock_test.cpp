#include "project/project_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  return std::string(b.begin(), b.end());
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Two holds of one project exclude each other (also within one process, as the window and a
// save it starts would); the one that waits in vain names the holder.
TEST(ProjectLock, AWriterThatWaitsInVainNamesTheHolder) {
  TempDir dir;
  const std::string project = dir.File("p.tvp");
  EXPECT_EQ(ProjectLockName(project), project + ".lock");
  TProjectLock first = TProjectLock::Acquire(project);
  ASSERT_TRUE(first.Held()) << tarvik::Text(first.Error(), TLanguage::kEnglish);
  EXPECT_TRUE(first.Error().Ok());
  EXPECT_TRUE(first.Guards(project));
  EXPECT_FALSE(first.Guards(dir.File("q.tvp")));
  const std::string holder = TProjectLock::ThisHolder();
  EXPECT_NE(holder.find("процесс " + std::to_string(getpid())), std::string::npos) << holder;
  EXPECT_EQ(Text(project + ".lock"), holder + "\n");

  const auto start = std::chrono::steady_clock::now();
  const TProjectLock second = TProjectLock::Acquire(project, 0.3);
  EXPECT_GE(SecondsSince(start), 0.3);
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(second.Error().Code, TCode::kProjectBusy);
  EXPECT_EQ(second.Error().File, project);
  EXPECT_EQ(
      tarvik::Text(second.Error(), TLanguage::kRussian),
      "Проект " + project + " занят другой программой (" + holder + "); изменения не сохранены");
  // A holder that left no name is said to be unknown, in each language.
  EXPECT_EQ(ProjectBusyMessage(project, "", TLanguage::kRussian),
            "Проект " + project +
                " занят другой программой (неизвестно, какой); изменения не "
                "сохранены");
  EXPECT_EQ(ProjectBusyMessage(project, "", TLanguage::kEnglish),
            "Project " + project +
                " is in use by another program (unknown which); changes not "
                "saved");
  // Another project is free.
  EXPECT_TRUE(TProjectLock::Acquire(dir.File("q.tvp"), 0).Held());

  // Released: the lock file goes, the next writer gets the lock at once.
  TProjectLock moved = std::move(first);
  EXPECT_FALSE(first.Held());
  EXPECT_TRUE(moved.Held());
  moved.Release();
  EXPECT_FALSE(fs::exists(project + ".lock"));
  EXPECT_TRUE(TProjectLock::Acquire(project, 0).Held());
}

// A writer waiting for the lock gets it as soon as the holder lets go.
TEST(ProjectLock, AWaitingWriterGoesOnWhenTheHolderIsDone) {
  TempDir dir;
  const std::string project = dir.File("p.tvp");
  TProjectLock holder = TProjectLock::Acquire(project);
  ASSERT_TRUE(holder.Held());
  std::thread done([&holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    holder.Release();
  });
  const auto start = std::chrono::steady_clock::now();
  const TProjectLock waiter = TProjectLock::Acquire(project, 10.0);
  const double waited = SecondsSince(start);
  done.join();
  EXPECT_TRUE(waiter.Held());
  EXPECT_GE(waited, 0.15);
  EXPECT_LT(waited, 5.0);
}

// A lock file left by a writer that was killed holds no lock: the next writer takes it over.
TEST(ProjectLock, ALockFileLeftBehindIsTakenOver) {
  TempDir dir;
  const std::string project = dir.File("p.tvp");
  testing::WriteText(project + ".lock", "tarvik-cli, процесс 1, компьютер gone\n");
  const TProjectLock lock = TProjectLock::Acquire(project, 0);
  ASSERT_TRUE(lock.Held()) << tarvik::Text(lock.Error(), TLanguage::kEnglish);
  EXPECT_EQ(Text(project + ".lock"), TProjectLock::ThisHolder() + "\n");
}

}  // namespace
}  // namespace tarvik

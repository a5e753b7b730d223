// End-to-end runs of "tarvik-cli add" and "scan" as a new user meets them: folders of miniSEED
// files under any of their extensions, paths that do not exist or are given in the wrong order,
// and paths a project file cannot hold.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "project/project_file.h"
#include "recording_ui_host.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::RealFile;
using testing::TempDir;

std::vector<std::string> RecordFiles(const std::string& project) {
  TProject p;
  testing::RecordingUiHost host;
  EXPECT_EQ(LoadProject(p, project, host), LoadStatus::kLoaded);
  std::vector<std::string> files;
  for (const TFileRecord& r : p.Records) files.push_back(r.File);
  return files;
}

// Three stations' real files under the three miniSEED extensions, beside a file that is no
// recording.
class FolderOfMiniSeed : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_);
    fs::copy_file(RealFile("mseed/test.mseed"), folder_ + "/a.miniseed");
    fs::copy_file(RealFile("mseed/gaps.mseed"), folder_ + "/b.msd");
    fs::copy_file(RealFile("mseed/timingquality.mseed"), folder_ + "/c.mseed");
    testing::WriteText(folder_ + "/README", "notes on the campaign\n");
  }

  TempDir dir_;
  const std::string folder_ = dir_.File("data");
  const std::vector<std::string> expected_ = {folder_ + "/a.miniseed", folder_ + "/b.msd",
                                              folder_ + "/c.mseed"};
};

TEST_F(FolderOfMiniSeed, FolderWithoutFormatAddsEverySeismogramFile) {
  const std::string project = dir_.File("all.tvp");
  const CliRun add = Cli("add " + Quote(project) + " " + Quote(folder_), dir_);
  ASSERT_EQ(add.Status, 0) << add.Err;
  EXPECT_EQ(add.Err, "") << "the README is passed over without a word";
  EXPECT_EQ(RecordFiles(project), expected_);
}

TEST_F(FolderOfMiniSeed, MiniSeedFormatTakesAllThreeExtensions) {
  for (const std::string& args :
       {" " + Quote(folder_) + " --format 7", " --folder " + Quote(folder_) + " --format 7"}) {
    SCOPED_TRACE(args);
    const std::string project = dir_.File("ms.tvp");
    fs::remove(project);
    const CliRun add = Cli("add " + Quote(project) + args, dir_);
    ASSERT_EQ(add.Status, 0) << add.Err;
    EXPECT_EQ(RecordFiles(project), expected_);
  }
  const CliRun scan = Cli("scan --json --format .msd " + Quote(folder_), dir_);
  ASSERT_EQ(scan.Status, 0) << scan.Err;
  const nlohmann::json doc = nlohmann::json::parse(scan.Out);
  ASSERT_EQ(doc["records"].size(), 3u);
  EXPECT_EQ(doc["records"][0]["file"], expected_[0]);
  EXPECT_EQ(doc["records"][1]["station"], "BGLD");
  EXPECT_TRUE(doc["not_added"].empty());
}

TEST_F(FolderOfMiniSeed, NothingAddedLeavesNoProjectBehind) {
  const std::string project = dir_.File("p.tvp");
  const CliRun missing =
      testing::CliWithLocale("C", "add " + Quote(project) + " /nonexistent", dir_);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err,
            "/nonexistent: not added: no such file or folder\nadd: nothing was "
            "added; " +
                project + " was not created\n");
  EXPECT_FALSE(fs::exists(project));

  // The arguments in the wrong order: a recording where the project belongs, or the project
  // among the recordings.
  const std::string data = folder_ + "/b.msd";
  for (const std::string& args :
       {Quote(data) + " " + Quote(project), Quote(dir_.File("q")) + " " + Quote(project)}) {
    const CliRun swapped = Cli("add " + args, dir_);
    EXPECT_EQ(swapped.Status, 2) << args;
    EXPECT_NE(swapped.Err.find("проект указывается первым"), std::string::npos) << swapped.Err;
  }
  EXPECT_FALSE(fs::exists(project));
  EXPECT_FALSE(fs::exists(data + ".tvp"));
  EXPECT_FALSE(fs::exists(dir_.File("q.tvp")));

  // An existing project to which nothing is added stays as it was.
  ASSERT_EQ(Cli("add " + Quote(project) + " " + Quote(data), dir_).Status, 0);
  const std::vector<uint8_t> before = testing::ReadBytes(project);
  const CliRun empty = Cli("add " + Quote(project) + " " + Quote(dir_.File("none.msd")), dir_);
  EXPECT_EQ(empty.Status, 1);
  EXPECT_NE(empty.Err.find(project + " оставлен как был"), std::string::npos) << empty.Err;
  EXPECT_EQ(testing::ReadBytes(project), before);
}

// A folder name of letters Windows-1251 has no code for: the path would be stored with "?" and
// the record could never be read again, so the file is refused and no project written.
TEST_F(FolderOfMiniSeed, PathAProjectFileCannotHoldIsRefused) {
  const std::string foreign = dir_.File("観測");
  fs::create_directories(foreign);
  fs::copy_file(RealFile("mseed/test.mseed"), foreign + "/test.mseed");
  const std::string project = dir_.File("p.tvp");
  const CliRun add = Cli("add " + Quote(project) + " " + Quote(foreign + "/test.mseed"), dir_);
  EXPECT_EQ(add.Status, 1);
  EXPECT_NE(add.Err.find(foreign + "/test.mseed: не добавлен: его путь содержит символ 観, "
                                   "которого нет в кодировке файла проекта (Windows-1251)"),
            std::string::npos)
      << add.Err;
  const CliRun english = testing::CliWithLocale(
      "C", "add " + Quote(project) + " " + Quote(foreign + "/test.mseed"), dir_);
  EXPECT_NE(english.Err.find(foreign + "/test.mseed: not added: its path holds the character 観, "
                                       "which a project file (Windows-1251) cannot hold"),
            std::string::npos)
      << english.Err;
  EXPECT_FALSE(fs::exists(project));

  // Cyrillic letters are held; so is the rest of the project's folder, kept as $CommonDir.
  const std::string russian = dir_.File("станция");
  fs::create_directories(russian);
  fs::copy_file(RealFile("mseed/test.mseed"), russian + "/test.mseed");
  const CliRun ok = Cli("add " + Quote(project) + " " + Quote(russian), dir_);
  ASSERT_EQ(ok.Status, 0) << ok.Err;
  EXPECT_EQ(RecordFiles(project), std::vector<std::string>{russian + "/test.mseed"});
  const std::string inside = foreign + "/p.tvp";
  ASSERT_EQ(Cli("add " + Quote(inside) + " " + Quote(foreign + "/test.mseed"), dir_).Status, 0);
  EXPECT_EQ(RecordFiles(inside), std::vector<std::string>{foreign + "/test.mseed"});
}

TEST_F(FolderOfMiniSeed, ScanSaysWhyNoRecordIsFormed) {
  const std::string empty = dir_.File("empty");
  fs::create_directories(empty);
  struct Case {
    std::string Args;
    std::string Said;
  };
  for (const Case& c :
       {Case{Quote(empty), empty + ": not added: no seismogram files\n"},
        Case{Quote(dir_.File("gone")), dir_.File("gone") + ": not added: no such file or folder\n"},
        Case{"--format 0 " + Quote(folder_),
             folder_ + ": not added: no files of the format .rec\n"}}) {
    const CliRun scan = testing::CliWithLocale("C", "scan " + c.Args, dir_);
    EXPECT_EQ(scan.Status, 1) << c.Args;
    EXPECT_EQ(scan.Out, "");
    EXPECT_EQ(scan.Err, c.Said + "scan: no record is formed\n");
  }
}

}  // namespace
}  // namespace tarvik

#include "common/replace_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string Read(const fs::path& path) {
  const std::vector<uint8_t> bytes = testing::ReadBytes(path.string());
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ReplaceFile, TemporaryNameKeepsFolderAndExtensionAndIsNeverShared) {
  const TFileReplacement a(fs::path("/r/Spectra/prim_S_240514-000000.dat"));
  const TFileReplacement b(fs::path("/r/Spectra/prim_S_240514-000000.dat"));
  EXPECT_EQ(a.Temporary().parent_path(), fs::path("/r/Spectra"));
  EXPECT_EQ(a.Temporary().extension(), ".dat");
  EXPECT_EQ(a.Temporary().filename().string().rfind(".prim_S_240514-000000~", 0), 0u);
  EXPECT_NE(a.Temporary(), b.Temporary());
  EXPECT_EQ(TFileReplacement(fs::path("chart.png")).Temporary().extension(), ".png");
}

TEST(ReplaceFile, ReplacesWholeAndCreatesTheFolder) {
  TempDir dir;
  const fs::path target = dir.Path() / "a" / "b" / "x.dat";
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(target, "first\r\n", error)) << error;
  ASSERT_TRUE(ReplaceFileContents(target, "second", error)) << error;
  EXPECT_EQ(Read(target), "second");
  EXPECT_EQ(Names(target.parent_path()), std::vector<std::string>{"x.dat"});
}

// A target that cannot be replaced (a folder stands there) fails with the reason and leaves
// the folder and no temporary file.
TEST(ReplaceFile, FailureLeavesWhatWasThere) {
  TempDir dir;
  const fs::path target = dir.Path() / "x.dat";
  fs::create_directory(target);
  testing::WriteText((target / "inner").string(), "kept");
  std::string error;
  EXPECT_FALSE(ReplaceFileContents(target, "new", error));
  EXPECT_NE(error.find("Не удалось заменить файл " + target.string()), std::string::npos) << error;
  EXPECT_EQ(Read(target / "inner"), "kept");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"x.dat"});

  // A temporary file that was never written cannot be committed either.
  TFileReplacement unwritten(dir.Path() / "y.dat");
  EXPECT_FALSE(unwritten.Flush(error));
  EXPECT_FALSE(unwritten.Commit(error));
  EXPECT_FALSE(fs::exists(dir.Path() / "y.dat"));
}

// Writers racing on one target each leave a whole file: the last rename wins, no file is ever
// a mixture of two.
TEST(ReplaceFile, ConcurrentWritersNeverMixTheirFiles) {
  TempDir dir;
  const fs::path target = dir.Path() / "r.dat";
  std::vector<std::string> contents;
  for (char c = 'a'; c < 'a' + 8; ++c) contents.push_back(std::string(200000, c));
  std::vector<std::thread> threads;
  std::vector<int> failures(contents.size(), 0);
  for (size_t t = 0; t < contents.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        std::string error;
        if (!ReplaceFileContents(target, contents[t], error)) ++failures[t];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(std::count(failures.begin(), failures.end(), 0), static_cast<long>(failures.size()));
  EXPECT_NE(std::find(contents.begin(), contents.end(), Read(target)), contents.end());
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"r.dat"});
}

// Files that belong together: when the last one cannot be replaced, those before it get their
// earlier bytes back, and one that did not exist before is removed again.
TEST(ReplaceFile, FilesTogetherAreReplacedAllOrNone) {
  TempDir dir;
  const fs::path csv = dir.Path() / "S_windows.csv";
  const fs::path json = dir.Path() / "S_report.json";
  const fs::path hv = dir.Path() / "S.hv";
  testing::WriteText(csv.string(), "old csv");
  fs::create_directory(hv);  // stands where the last file goes
  std::string error;
  EXPECT_FALSE(ReplaceFilesTogether({{csv, "new csv"}, {json, "new json"}, {hv, "new hv"}}, error));
  EXPECT_NE(error.find(hv.string()), std::string::npos) << error;
  EXPECT_EQ(Read(csv), "old csv");
  EXPECT_FALSE(fs::exists(json));
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"S.hv", "S_windows.csv"}));

  fs::remove(hv);
  ASSERT_TRUE(ReplaceFilesTogether({{csv, "new csv"}, {json, "new json"}, {hv, "new hv"}}, error))
      << error;
  EXPECT_EQ(Read(csv), "new csv");
  EXPECT_EQ(Read(json), "new json");
  EXPECT_EQ(Read(hv), "new hv");
  EXPECT_EQ(Names(dir.Path()),
            (std::vector<std::string>{"S.hv", "S_report.json", "S_windows.csv"}));
}

}  // namespace
}  // namespace tarvik

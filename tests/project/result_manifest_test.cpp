#include "project/result_manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/datetime.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string Read(const std::string& path) {
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class ResultManifestTest : public ::testing::Test {
 protected:
  std::string Result(const std::string& name) const {
    const std::string path = dir_.File("Spectra/Primary/" + name);
    fs::create_directories(fs::path(path).parent_path());
    testing::WriteText(path, "Freq\r\n");
    return path;
  }
  std::string Manifest() const { return dir_.File(kResultManifestName); }

  TempDir dir_;
};

TEST_F(ResultManifestTest, NotesReadBackAndTheLastOneCounts) {
  const std::string a = Result("prim_A_240514-000000.dat");
  const std::string b = Result("prim_B_240514-000000.dat");
  {
    TResultManifest m(dir_.Path().string());
    EXPECT_FALSE(m.OwnerOf(a));
    ASSERT_TRUE(m.Note(a, {"/p/one.tvp", "1 (A)", {}}));
    ASSERT_TRUE(m.Note(b, {"/p/one.tvp", "2 (B)", {}}));
    ASSERT_TRUE(m.Note(a, {"/p/two.tvp", "4 (A)", {}}));
  }
  const TResultManifest m(dir_.Path().string());
  EXPECT_FALSE(m.Damaged());
  ASSERT_TRUE(m.OwnerOf(a));
  EXPECT_EQ(m.OwnerOf(a)->Project, "/p/two.tvp");
  EXPECT_EQ(m.OwnerOf(a)->Record, "4 (A)");
  EXPECT_TRUE(ParseIso(m.OwnerOf(a)->Written));
  EXPECT_EQ(m.OwnerOf(b)->Project, "/p/one.tvp");
  // The manifest names files relative to its folder, as a user reads them.
  EXPECT_NE(Read(Manifest()).find("\nSpectra/Primary/prim_A_240514-000000.dat\t/p/two.tvp\t"),
            std::string::npos)
      << Read(Manifest());
}

// Paths with the separators of the manifest itself read back unchanged.
TEST_F(ResultManifestTest, FieldsWithTabsNewlinesAndPercentRoundTrip) {
  const std::string a = Result("prim_A_240514-000000.dat");
  const std::string odd = "/p/50%\tmix\r\nname.tvp";
  TResultManifest(dir_.Path().string()).Note(a, {odd, "1 (A\tB)", {}});
  const TResultManifest m(dir_.Path().string());
  EXPECT_FALSE(m.Damaged());
  EXPECT_EQ(m.OwnerOf(a)->Project, odd);
  EXPECT_EQ(m.OwnerOf(a)->Record, "1 (A\tB)");
}

// Whatever the manifest holds, the lines that read are kept, the run goes on, and the next
// note rewrites it clean; a line cut short by a crash is not joined to the next one.
TEST_F(ResultManifestTest, DamagedManifestIsReadAroundAndRewritten) {
  const std::string a = Result("prim_A_240514-000000.dat");
  const std::string b = Result("prim_B_240514-000000.dat");
  const std::string good =
      "Spectra/Primary/prim_A_240514-000000.dat\t/p/one.tvp\t1 (A)\t2024-05-14T10:00:00.000Z\n";
  const std::vector<std::string> damage = {
      "garbage\n",
      "only\ttwo\n",
      "Spectra/x.dat\t/p\t1\tnot a time\n",
      "Spectra/x.dat\t/p\t1\t2024-05-14T10:00:00.000Z\textra\n",
      "bad%zzescape\t/p\t1\t2024-05-14T10:00:00.000Z\n",
      std::string("\0\xFF\x01"
                  "binary",
                  9) +
          "\n",
      "Spectra/Primary/prim_B_240514-000000.dat\t/p/one.tvp\t2 (B)\t2024-05-",  // cut short
  };
  for (const std::string& bad : damage) {
    SCOPED_TRACE(bad);
    testing::WriteText(Manifest(), good + bad);
    TResultManifest m(dir_.Path().string());
    EXPECT_TRUE(m.Damaged());
    ASSERT_TRUE(m.OwnerOf(a));
    EXPECT_EQ(m.OwnerOf(a)->Project, "/p/one.tvp");
    ASSERT_TRUE(m.Note(b, {"/p/two.tvp", "2 (B)", {}}));
    const TResultManifest again(dir_.Path().string());
    EXPECT_FALSE(again.Damaged()) << Read(Manifest());
    EXPECT_EQ(again.OwnerOf(a)->Project, "/p/one.tvp");
    EXPECT_EQ(again.OwnerOf(b)->Project, "/p/two.tvp");
  }
  // Unreadable as a whole (a folder in its place): no owners, and noting fails without
  // throwing; the result files are not touched.
  fs::remove(Manifest());
  fs::create_directory(Manifest());
  TResultManifest m(dir_.Path().string());
  EXPECT_FALSE(m.OwnerOf(a));
  TStatus error;
  EXPECT_FALSE(m.Note(a, {"/p/one.tvp", "1 (A)", {}}, &error));
  EXPECT_TRUE(error.Code == TCode::kCannotReplaceFile || error.Code == TCode::kCannotWriteFile ||
              error.Code == TCode::kCannotCreateFile || error.Code == TCode::kWriteError)
      << CodeName(error.Code);
  EXPECT_EQ(Read(a), "Freq\r\n");
}

// Records computed on several threads note their files at the same time; none is lost.
TEST_F(ResultManifestTest, NotesFromSeveralThreadsAreAllKept) {
  std::vector<std::string> files;
  for (int i = 0; i < 200; ++i) files.push_back(Result("prim_S" + std::to_string(i) + ".dat"));
  {
    TResultManifest m(dir_.Path().string());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (size_t i = static_cast<size_t>(t); i < files.size(); i += 4)
          m.Note(files[i], {"/p/one.tvp", std::to_string(i + 1) + " (S)", {}});
      });
    }
    for (std::thread& t : threads) t.join();
  }
  const TResultManifest m(dir_.Path().string());
  EXPECT_FALSE(m.Damaged());
  for (size_t i = 0; i < files.size(); ++i) {
    ASSERT_TRUE(m.OwnerOf(files[i])) << i;
    EXPECT_EQ(m.OwnerOf(files[i])->Record, std::to_string(i + 1) + " (S)");
  }
}

// Files written again and again by one project do not make the manifest grow without end.
TEST_F(ResultManifestTest, RepeatedNotesAreCompacted) {
  const std::string a = Result("prim_A.dat");
  TResultManifest m(dir_.Path().string());
  for (int i = 0; i < 1000; ++i) m.Note(a, {"/p/one.tvp", std::to_string(i) + " (A)", {}});
  EXPECT_LT(fs::file_size(Manifest()), 100u * 120);
  EXPECT_EQ(TResultManifest(dir_.Path().string()).OwnerOf(a)->Record, "999 (A)");
}

TEST_F(ResultManifestTest, QuestionNamesTheOtherProjectsFilesOnly) {
  const std::string mine = Result("prim_M.dat");
  const std::string theirs = Result("prim_T.dat");
  const std::string unknown = Result("prim_U.dat");
  const std::string gone = dir_.File("Spectra/Primary/prim_G.dat");
  TResultManifest m(dir_.Path().string());
  m.Note(mine, {"/p/me.tvp", "1 (M)", {}});
  m.Note(theirs, {"/p/other.tvp", "3 (T)", {}});
  m.Note(gone, {"/p/other.tvp", "4 (G)", {}});

  EXPECT_TRUE(OtherProjectsQuestion(m, {mine, unknown, gone}, "/p/me.tvp").Ok());
  const TStatus q = OtherProjectsQuestion(m, {mine, theirs, theirs, unknown}, "/p/me.tvp");
  const TStatus file = MakeStatus(TCode::kOtherProjectResultFile,
                                  {theirs, "/p/other.tvp", "3 (T)", m.OwnerOf(theirs)->Written});
  const TStatus replaced = MakeStatus(TCode::kReplacedByProject, {"/p/me.tvp"});
  EXPECT_EQ(q.Code, TCode::kLines);
  EXPECT_EQ(q.Args, (std::vector<TArg>{MakeStatus(TCode::kOtherProjectResults),
                                       MakeStatus(TCode::kLines, {file, replaced})}));

  std::vector<std::string> many;
  for (int i = 0; i < 13; ++i) {
    many.push_back(Result("prim_X" + std::to_string(i) + ".dat"));
    m.Note(many.back(), {"/p/other.tvp", "1 (X)", {}});
  }
  // Ten files named, then how many more; a project without a name is said to be one.
  std::vector<TStatus> lines;
  for (TStatus s = OtherProjectsQuestion(m, many, ""); !s.Ok();) {
    if (s.Code != TCode::kLines) {
      lines.push_back(s);
      break;
    }
    lines.push_back(*s.Args[0].Nested);
    // Copied first: s owns the status its argument points to.
    const TStatus rest = *s.Args[1].Nested;
    s = rest;
  }
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[11].Code, TCode::kMoreFiles);
  EXPECT_EQ(lines[11].Args, std::vector<TArg>{"3"});
  EXPECT_EQ(lines[12].Code, TCode::kReplacedByProject);
  EXPECT_EQ(lines[12].Args, std::vector<TArg>{MakeStatus(TCode::kWithoutName)});
}

TEST(ResultManifestText, ProjectIdentityIsAFullNormalisedPath) {
  EXPECT_EQ(ProjectIdentity(""), "");
  EXPECT_EQ(ProjectIdentity("/a/b/../c/./p.tvp"), "/a/c/p.tvp");
  EXPECT_EQ(ProjectIdentity("rel.tvp"),
            (fs::weakly_canonical(fs::current_path()) / "rel.tvp").string());
  EXPECT_EQ(ManifestRecordText(2, "STN11"), "3 (STN11)");
}

}  // namespace
}  // namespace tarvik

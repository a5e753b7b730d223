// Files a user names as a command's output: an existing one is replaced only with --force, and
// a command's own input never, --force or not; a refused command leaves every file as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::TempDir;

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  return std::string(b.begin(), b.end());
}

// Names of the files in folder that a write left under a temporary name.
std::vector<std::string> Temporaries(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.path().filename().string().front() == '.') out.push_back(e.path().string());
  }
  return out;
}

// A three-component spectrum file of three lines whose values are all v.
std::string Spectrum(double v) {
  std::string t = "Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\tZ_Amp\tZ_StDev\r\n";
  for (int i = 0; i < 3; ++i) {
    t += std::to_string(i) + ".00000";
    for (int c = 0; c < 3; ++c) t += "\t" + std::to_string(v) + "\t0";
    t += "\r\n";
  }
  return t;
}

// Two stations' recordings in g/ (one miniSEED file each), a project of them, two spectra, a
// response file and files standing where outputs will be named.
class OutputCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("g"), 2, 60.0, 1);
    ASSERT_EQ(Cli("add " + Quote(project_) + " " + Quote(dir_.File("g")), dir_).Status, 0);
    testing::WriteText(a_, Spectrum(1.0));
    testing::WriteText(b_, Spectrum(3.0));
    testing::WriteText(paz_, "ZEROS 0\nPOLES 0\nCONSTANT 1\n");
    for (const char* name : {"chart.png", "wave.png", "old.rec", "unit.rsp", "ch.ini"})
      testing::WriteText(dir_.File(name), std::string("earlier ") + name + "\n");
  }

  std::string File(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
  const std::string project_ = dir_.File("p.tvp");
  const std::string first_ = dir_.File("g/TVK01.XX.20240514T000000.msd");
  const std::string second_ = dir_.File("g/TVK02.XX.20240514T000000.msd");
  const std::string a_ = dir_.File("A.dat");
  const std::string b_ = dir_.File("B.dat");
  const std::string paz_ = dir_.File("unit.paz");
};

struct Refusal {
  const char* What;
  std::string Args;  // {F} a file of the fixture, by name
  std::string Kept;  // the file that must stay as it was
  int Status;
  std::string Error;  // all of stderr
};

TEST_F(OutputCli, ExistingOutputOrAnInputIsRefusedAndLeftAsItWas) {
  const std::string p = Quote(project_);
  fs::create_hard_link(first_, File("same_as_first.msd"));
  const std::vector<Refusal> cases = {
      {"compress onto its own file", "compress " + Quote(first_) + " -o " + Quote(first_), first_,
       2, "compress: " + first_ + " is an input of the command and is never written over\n"},
      {"compress onto its own file, forced",
       "compress --force " + Quote(first_) + " -o " + Quote(first_), first_, 2,
       "compress: " + first_ + " is an input of the command and is never written over\n"},
      {"compress onto a link to its own file",
       "compress --force " + Quote(first_) + " -o " + Quote(File("same_as_first.msd")), first_, 2,
       "compress: " + File("same_as_first.msd") + " is the input " + first_ +
           " and is never written over\n"},
      {"compress onto another station's file",
       "compress " + Quote(first_) + " -o " + Quote(second_), second_, 1,
       "compress: " + second_ + " exists and would be replaced; give --force to replace it\n"},
      {"average without its output name", "average " + Quote(a_) + " " + Quote(b_), a_, 1,
       "average: " + a_ + " exists and would be replaced; give --force to replace it\n"},
      {"average into one of its files",
       "average --force " + Quote(b_) + " " + Quote(a_) + " " + Quote(b_), b_, 2,
       "average: " + b_ + " is an input of the command and is never written over\n"},
      {"response template", "response --template " + Quote(File("unit")) + " --rate 100",
       File("unit.rsp"), 1,
       "response: " + File("unit.rsp") +
           " exists and would be replaced; give --force to replace "
           "it\n"},
      {"response template over the file it reads",
       "response " + Quote(File("unit.rsp")) + " --template " + Quote(File("unit.rsp")) +
           " --rate 100 --force",
       File("unit.rsp"), 2,
       "response: " + File("unit.rsp") +
           " is an input of the command and is never written "
           "over\n"},
      {"template", "template " + p + " --records 1 --channel 1 " + Quote(File("unit.rsp")),
       File("unit.rsp"), 1,
       "template: " + File("unit.rsp") +
           " exists and would be replaced; give --force to replace "
           "it\n"},
      {"channels --to-ini", "channels " + p + " --records 1 --to-ini " + Quote(File("ch")),
       File("ch.ini"), 1,
       "channels: " + File("ch.ini") +
           " exists and would be replaced; give --force to replace "
           "it\n"},
#ifdef TARVIK_CLI_HAS_GUI
      {"plot", "plot " + Quote(a_) + " -o " + Quote(File("chart.png")), File("chart.png"), 1,
       "plot: " + File("chart.png") +
           " exists and would be replaced; give --force to replace "
           "it\n"},
      {"preview", "preview " + p + " --record 1 -o " + Quote(File("wave.png")), File("wave.png"), 1,
       "preview: " + File("wave.png") +
           " exists and would be replaced; give --force to replace "
           "it\n"},
      {"preview onto its project", "preview " + p + " --record 1 --force -o " + p, project_, 2,
       "preview: " + project_ + " is an input of the command and is never written over\n"},
#endif
      {"output that is a folder", "average --force " + Quote(File("g")) + " " + Quote(a_),
       File("g/TVK01.XX.20240514T000000.msd"), 2,
       "average: " + File("g") + " is a folder, not a file to write\n"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.What);
    const std::vector<uint8_t> before = testing::ReadBytes(c.Kept);
    const std::vector<uint8_t> project_before = testing::ReadBytes(project_);
    const CliRun run = testing::CliWithLocale("C", c.Args, dir_);
    EXPECT_EQ(run.Status, c.Status);
    // The refusal comes before any work: the project loading is all stderr may show first.
    const size_t at = run.Err.find(c.Error);
    EXPECT_NE(at, std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.substr(at), c.Error);
    EXPECT_TRUE(testing::ReadBytes(c.Kept) == before);
    EXPECT_TRUE(testing::ReadBytes(project_) == project_before);
  }
  EXPECT_TRUE(Temporaries(dir_.Path().string()).empty());
}

TEST_F(OutputCli, ForceReplacesAndANewNameIsWritten) {
  const std::string p = Quote(project_);
  // average A.dat B.dat --force: A.dat becomes B's values, as asked.
  ASSERT_EQ(Cli("average --force " + Quote(a_) + " " + Quote(b_), dir_).Status, 0);
  EXPECT_NE(Text(a_).find("\t3\t0\t3\t0\t3\t0\r\n"), std::string::npos) << Text(a_);
  ASSERT_EQ(
      Cli("average " + Quote(File("mean.dat")) + " " + Quote(a_) + " " + Quote(b_), dir_).Status,
      0);
  EXPECT_NE(Text(File("mean.dat")).find("\t3\t0\t3\t0\t3\t0\r\n"), std::string::npos);

  // compress --force over an earlier copy; the copy is a REC file of the record.
  const CliRun rec =
      Cli("compress --force " + Quote(first_) + " -o " + Quote(File("old.rec")), dir_);
  ASSERT_EQ(rec.Status, 0) << rec.Err;
  EXPECT_EQ(Text(File("old.rec")).substr(0, 4), "[HD2");
  const CliRun info = Cli("info " + Quote(File("old.rec")), dir_);
  EXPECT_NE(info.Out.find("станция:  TVK01"), std::string::npos) << info.Out;

  const CliRun tmpl =
      Cli("template --force " + p + " --records 1 --channel 1 " + Quote(File("unit.rsp")), dir_);
  ASSERT_EQ(tmpl.Status, 0) << tmpl.Err;
  EXPECT_EQ(Text(File("unit.rsp")).substr(0, 8), "[DEVICE]");
  ASSERT_EQ(
      Cli("response --force --template " + Quote(File("unit.rsp")) + " --rate 50", dir_).Status, 0);
  const CliRun ini =
      Cli("channels --force " + p + " --records 1 --to-ini " + Quote(File("ch.ini")), dir_);
  ASSERT_EQ(ini.Status, 0) << ini.Err;
  EXPECT_NE(Text(File("ch.ini")).find("[REC00]"), std::string::npos);
#ifdef TARVIK_CLI_HAS_GUI
  ASSERT_EQ(Cli("plot --force " + Quote(a_) + " -o " + Quote(File("chart.png")), dir_).Status, 0);
  EXPECT_EQ(Text(File("chart.png")).substr(0, 4), "\x89PNG");
  ASSERT_EQ(Cli("preview --force " + p + " --record 1 -o " + Quote(File("wave.png")), dir_).Status,
            0);
  EXPECT_EQ(Text(File("wave.png")).substr(0, 4), "\x89PNG");
#endif
  EXPECT_TRUE(Temporaries(dir_.Path().string()).empty());
}

}  // namespace
}  // namespace tarvik

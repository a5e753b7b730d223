// What tarvik-cli does to result files that are already there: a failed H/V analysis leaves
// them as they were, a stopped hvsr keeps what it finished and what the record in progress had,
// two projects sharing a results folder ask before replacing each other's results, and a run
// killed at any moment leaves every result file whole.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "project/project_file.h"
#include "project/result_manifest.h"
#include "recording_ui_host.h"
#include "spectral/hv_export.h"
#include "spectral/result_files.h"
#include "test_files.h"
#include "viewers/hvsr_show.h"

extern char** environ;

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::RecordingUiHost;
using testing::TempDir;
using Files = std::map<std::string, std::vector<uint8_t>>;

// The result files under folder by their path relative to it, without the manifest and the
// temporary files a killed writer may leave (their names begin with ".").
Files ResultsUnder(const std::string& folder) {
  Files out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || name == kResultManifestName || name.front() == '.') continue;
    out[fs::relative(e.path(), folder).string()] = testing::ReadBytes(e.path().string());
  }
  return out;
}

// tarvik-cli started with args, stdout and stderr into files of dir; the child's id.
pid_t Start(const std::vector<std::string>& args, const TempDir& dir) {
  std::vector<std::string> argv_text = {TARVIK_CLI_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, dir.File("out.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, dir.File("err.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The raw wait status of pid.
int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Three demo stations (resonances 2, 5 and 8 Hz) of one file each, no transients, saved as the
// text project p.tvp with its results in the project's folder.
class ResultsCli : public ::testing::Test {
 protected:
  void Build(double seconds) {
    TDemoOptions options;
    options.Stations = {{"TVK01", 2.0}, {"TVK02", 5.0}, {"TVK03", 8.0}};
    options.Files = 1;
    options.FileSeconds = seconds;
    options.TransientsPerFile = 0;
    RecordingUiHost host;
    ASSERT_NO_FATAL_FAILURE(
        testing::BuildDemoProjectIn(dir_.Path().string(), options, host, project_));
    project_.General.ResultDir.clear();
    Save(project_, project_file_);
  }
  void Save(TProject project, const std::string& file) {
    RecordingUiHost host;
    ASSERT_TRUE(SaveProject(project, file, 0, host).Ok);
  }
  CliRun Ok(const std::string& args) {
    const CliRun run = Cli(args, dir_);
    EXPECT_EQ(run.Status, 0) << args << "\n" << run.Err;
    return run;
  }
  Files Hvsr() const { return ResultsUnder(dir_.File("Spectra/HVSR")); }

  TempDir dir_;
  TProject project_;
  const std::string project_file_ = dir_.File("p.tvp");
};

// An analysis that finds no f0 (no grid point in the band) is a failure: the good result of an
// earlier run stays byte for byte.
TEST_F(ResultsCli, FailedAnalysisLeavesTheEarlierResult) {
  ASSERT_NO_FATAL_FAILURE(Build(600));
  const std::string p = Quote(project_file_);
  Ok("hvsr " + p + " --records 2");
  const Files good = Hvsr();
  ASSERT_EQ(good.size(), 3u);
  const std::string hv = dir_.File("Spectra/HVSR/TVK02_240514-000000.hv");
  THvFile parsed;
  ASSERT_TRUE(ParseHvFile(Text(good.at("TVK02_240514-000000.hv")), parsed));
  EXPECT_NEAR(parsed.F0Average, 5.0, 0.25);

  const CliRun band = Cli("hvsr " + p + " --records 2 --band 60 80", dir_);
  EXPECT_EQ(band.Status, 1);
  EXPECT_NE(band.Err.find("hvsr: запись 2 (TVK02): в полосе поиска 60-80 Гц нет ни одной точки "
                          "сетки; ее прежние файлы оставлены без изменений\n"),
            std::string::npos)
      << band.Err;
  EXPECT_EQ(band.Out, "запись 2 (TVK02): в полосе поиска 60-80 Гц нет ни одной точки сетки\n");
  const CliRun english =
      testing::CliWithLocale("C", "hvsr " + p + " --records 2 --band 60 80", dir_);
  EXPECT_EQ(english.Out, "record 2 (TVK02): no grid point in the search band 60-80 Hz\n");
  EXPECT_TRUE(Hvsr() == good);

  // A record that never had a result gets none from a failed analysis.
  const CliRun first = Cli("hvsr " + p + " --records 1 --band 60 80 --json", dir_);
  EXPECT_EQ(first.Status, 1);
  EXPECT_NE(first.Out.find("ничего не записано"), std::string::npos) << first.Out;
  EXPECT_TRUE(Hvsr() == good);
}

// Ctrl-C during hvsr stops the record in progress: the records finished before keep their new
// files, the one in progress and those after keep the files they had.
TEST_F(ResultsCli, InterruptedHvsrStopsAndKeepsWhatWasThere) {
  ASSERT_NO_FATAL_FAILURE(Build(1800));
  Ok("hvsr " + Quote(project_file_) + " --records 1-3");
  const Files before = Hvsr();
  ASSERT_EQ(before.size(), 9u);
  const std::string first_hv = "TVK01_240514-000000.hv";

  // Another smoothing gives other files; the stop comes once record 1 has its new ones.
  const pid_t pid = Start({"hvsr", project_file_, "--records", "1-3", "--smoothing", "none"}, dir_);
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (testing::ReadBytes(dir_.File("Spectra/HVSR/" + first_hv)) == before.at(first_hv) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  kill(pid, SIGINT);
  const int status = Wait(pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the interrupt ended the program instead of stopping it";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = Text(testing::ReadBytes(dir_.File("err.txt")));
  EXPECT_NE(err.find("hvsr: stopped\n"), std::string::npos) << err;
  EXPECT_EQ(Text(testing::ReadBytes(dir_.File("out.txt"))).find("record 2"), std::string::npos);

  const Files after = Hvsr();
  ASSERT_EQ(after.size(), 9u);
  for (const auto& [name, bytes] : after) {
    if (name.rfind("TVK01", 0) == 0) {
      EXPECT_FALSE(bytes == before.at(name)) << name << " is still the earlier file";
    } else {
      EXPECT_TRUE(bytes == before.at(name)) << name << " changed";
    }
  }
}

// A second project in the same folder (the results folder of both) with record 1 reduced to
// its Z channel would replace the first project's three-component spectrum of the same name.
TEST_F(ResultsCli, SecondProjectInTheFolderAsksBeforeReplacingTheFirstsResults) {
  ASSERT_NO_FATAL_FAILURE(Build(300));
  TProject second = project_;
  second.Records[0].Channels[0].Selected = second.Records[0].Channels[1].Selected = false;
  for (size_t i = 1; i < second.Records.size(); ++i) second.Records[i].ToProcess = false;
  const std::string second_file = dir_.File("z.tvp");
  Save(second, second_file);
  const std::string prim = dir_.File("Spectra/Primary/prim_TVK01_240514-000000.dat");

  Ok("run --spectra " + Quote(project_file_));
  const std::vector<uint8_t> three = testing::ReadBytes(prim);
  ASSERT_EQ(Text(three).rfind("Freq\tE00_HHE\tE00_HHE_StDev\tN01_HHN\t", 0), 0u);

  const CliRun asked = Cli("run --spectra " + Quote(second_file), dir_);
  EXPECT_EQ(asked.Status, 1);
  const std::string question = "Файлы результатов другого проекта будут заменены:\n" + prim +
                               " — проект " + project_file_ + ", запись 1 (TVK01), ";
  EXPECT_NE(asked.Err.find(question), std::string::npos) << asked.Err;
  EXPECT_NE(asked.Err.find("Их заменит проект " + second_file + ". Продолжить? [нет]\n"),
            std::string::npos)
      << asked.Err;
  EXPECT_NE(asked.Err.find("spectra: расчёт не выполнен\n"), std::string::npos) << asked.Err;
  EXPECT_TRUE(testing::ReadBytes(prim) == three);

  Ok("run --spectra --yes " + Quote(second_file));
  EXPECT_EQ(Text(testing::ReadBytes(prim)).rfind("Freq\tE_Amp\tE_StDev\tN_Amp\tN_StDev\t", 0), 0u);
  EXPECT_EQ(TResultManifest(dir_.Path().string()).OwnerOf(prim)->Project, second_file);
  // The second project's own file: no question. The first one asks back.
  Ok("run --spectra " + Quote(second_file));
  EXPECT_EQ(Cli("run --spectra " + Quote(project_file_), dir_).Status, 1);

  // hvsr asks the same way before replacing another project's statistics.
  Ok("hvsr " + Quote(project_file_) + " --records 2");
  const CliRun hvsr = Cli("hvsr " + Quote(second_file) + " --records 2", dir_);
  EXPECT_EQ(hvsr.Status, 1);
  EXPECT_NE(hvsr.Err.find(" — проект " + project_file_ + ", запись 2 (TVK02), "), std::string::npos)
      << hvsr.Err;
  EXPECT_NE(hvsr.Err.find("hvsr: расчёт не выполнен\n"), std::string::npos) << hvsr.Err;
  Ok("hvsr --yes " + Quote(second_file) + " --records 2");
}

// Every result file of the two settings variants, as complete runs write them.
struct Variants {
  Files A, B;
};

// kill -9 of a run at random moments, each time with one of two settings that give other
// bytes: afterwards every result file is byte for byte one of the two complete results, none is
// missing, and the manifest still reads.
void KillAtRandomMoments(const std::vector<std::string>& a, const std::vector<std::string>& b,
                         const Variants& expected, const std::string& folder, const TempDir& dir,
                         double seconds, unsigned seed) {
  const std::string results = dir.Path().string();
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> moment(0.0, 1.2 * seconds);
  int killed = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const bool use_b = (random() & 1) != 0;
    const double at = moment(random);
    SCOPED_TRACE("attempt " + std::to_string(attempt) + ", killed after " + std::to_string(at) +
                 " s");
    const pid_t pid = Start(use_b ? b : a, dir);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::duration<double>(at));
    kill(pid, SIGKILL);
    const int status = Wait(pid);
    const Files now = ResultsUnder(folder);
    if (WIFSIGNALED(status)) ++killed;
    ASSERT_EQ(now.size(), expected.A.size());
    for (const auto& [name, bytes] : now) {
      ASSERT_TRUE(expected.A.count(name)) << name;
      EXPECT_TRUE(bytes == expected.A.at(name) || bytes == expected.B.at(name))
          << name << " is neither complete result";
    }
    const TResultManifest manifest(results);
    for (const auto& [name, bytes] : now) EXPECT_TRUE(manifest.OwnerOf(folder + "/" + name));
  }
  // Most moments fall within the run; a machine so slow that none did would test nothing.
  EXPECT_GE(killed, 5);
}

double Timed(const std::vector<std::string>& args, const TempDir& dir) {
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = Start(args, dir);
  const int status = Wait(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << Text(testing::ReadBytes(dir.File("err.txt")));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

TEST_F(ResultsCli, KilledRunsLeaveEveryResultWhole) {
  ASSERT_NO_FATAL_FAILURE(Build(240));
  // The same project with another weighting window gives other spectra and ratios.
  TProject welch = project_;
  welch.Settings[kMicroseismSet].WindowType = kWindowWelch;
  const std::string welch_file = dir_.File("welch.tvp");
  Save(welch, welch_file);
  const std::string results = dir_.File("Spectra");

  const std::vector<std::string> run_a = {"run", "--yes", project_file_};
  const std::vector<std::string> run_b = {"run", "--yes", welch_file};
  Variants runs;
  Timed(run_b, dir_);
  runs.B = ResultsUnder(results);
  const double run_seconds = Timed(run_a, dir_);
  runs.A = ResultsUnder(results);
  ASSERT_EQ(runs.A.size(), 6u);
  for (const auto& [name, bytes] : runs.A) ASSERT_FALSE(bytes == runs.B.at(name)) << name;
  KillAtRandomMoments(run_a, run_b, runs, results, dir_, run_seconds, 1);
  for (const auto& [name, bytes] : ResultsUnder(results)) {
    TResultTable table;
    EXPECT_TRUE(ParseResultTable(Text(bytes), 0, table)) << name;
    EXPECT_GT(table.Frequencies.size(), 100u) << name;
  }

  const std::vector<std::string> hvsr_a = {"hvsr", "--yes", project_file_};
  const std::vector<std::string> hvsr_b = {"hvsr", "--yes", project_file_, "--smoothing", "none"};
  const std::string hvsr_folder = dir_.File("Spectra/HVSR");
  Variants stats;
  Timed(hvsr_b, dir_);
  stats.B = ResultsUnder(hvsr_folder);
  const double hvsr_seconds = Timed(hvsr_a, dir_);
  stats.A = ResultsUnder(hvsr_folder);
  ASSERT_EQ(stats.A.size(), 9u);
  KillAtRandomMoments(hvsr_a, hvsr_b, stats, hvsr_folder, dir_, hvsr_seconds, 2);
  for (const auto& [name, bytes] : ResultsUnder(hvsr_folder)) {
    if (!IsHvFile(name)) continue;
    THvFile hv;
    EXPECT_TRUE(ParseHvFile(Text(bytes), hv)) << name;
    EXPECT_FALSE(hv.Frequency.empty()) << name;
  }
}

}  // namespace
}  // namespace tarvik

// The calculation driver over 20 one-hour records (the demo's synthetic recordings, 100 Hz, three
// channels): primary spectra computed one record at a time against two at a time. The closing
// line gives the speed-up of --jobs 2 over --jobs 1 measured in this run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/ui_host.h"
#include "project/demo.h"
#include "project/driver.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvik;

constexpr int kRecords = 20;

struct Data {
  fs::path Folder;
  TProject Project;
  TResultFolders Results;
  bool Ok = false;

  Data() {
    Folder = fs::temp_directory_path() / ("tarvik-bench-jobs-" + std::to_string(::getpid()));
    TDemoOptions options;
    options.Stations.clear();
    for (int i = 0; i < kRecords; ++i) {
      char name[8];
      std::snprintf(name, sizeof name, "B%04d", i + 1);
      options.Stations.push_back({name, 1.0 + 0.25 * i});
    }
    options.Files = 1;
    options.FileSeconds = 3600.0;
    NullUiHost host;
    std::vector<TDemoRecording> recordings;
    std::string error;
    Ok = BuildDemoProject(Folder.string(), kDemoGeophonePaz, options, host, Project, recordings,
                          error);
    if (!Ok) std::fprintf(stderr, "bench_run_jobs: %s\n", error.c_str());
    Results = DeriveResultFolders(Project.General.ResultDir);
  }
  ~Data() {
    std::error_code ec;
    fs::remove_all(Folder, ec);
  }
};

Data& Shared() {
  static Data data;
  return data;
}

void BM_RunPrimary(benchmark::State& state) {
  Data& data = Shared();
  if (!data.Ok) {
    state.SkipWithError("no data");
    return;
  }
  TRunOptions options;
  options.Jobs = static_cast<int>(state.range(0));
  size_t written = 0;
  for (auto _ : state) {
    TProject project = data.Project;
    NullUiHost host;
    written = RunPrimary(project, data.Results, host, options).Written.size();
  }
  if (written != kRecords) state.SkipWithError("not every record got its spectra");
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(kRecords) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunPrimary)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Keeps the real time of each run to print the ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      // With repetitions the median stands for the run; the other aggregates do not.
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      const std::string name = r.benchmark_name();
      if (name.rfind("BM_RunPrimary/1/", 0) == 0) one_ = r.GetAdjustedRealTime();
      if (name.rfind("BM_RunPrimary/2/", 0) == 0) two_ = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (one_ > 0 && two_ > 0)
      std::printf("speed-up of --jobs 2 over --jobs 1: %.2f\n", one_ / two_);
  }

 private:
  double one_ = 0.0;
  double two_ = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

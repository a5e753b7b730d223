// A month (and a season) of one station in one folder: hourly miniSEED files, 20 Hz, one
// channel, Steim-2 in 4096-byte records, each day's recording stopping a minute before midnight
// so that every day forms a record of its own. Measured in the same run:
//   (a) the whole run of primary spectra over the daily records of the folder;
//   (b) the same records, each computed from a folder that holds only its own files (hard links
//       of the same files), summed;
//   and the bytes each reads (rchar of /proc/self/io): the whole run against the folder's bytes,
//   and "run --only 1" against that record's own files plus 8 KiB for every other file.
// The closing lines give (a)/(b), the byte ratios, and the same at 90 days.

#include <benchmark/benchmark.h>
#include <libmseed.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "project/demo.h"
#include "project/driver.h"
#include "records/assembly.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvik;

constexpr int kRate = 20;
constexpr int kHoursPerDay = 24;
// The last hour of a day stops a minute early: a gap above the join tolerance.
constexpr int kLastHourSeconds = 3540;
constexpr int kMiniSeedFormatIndex = 7;  // ".msd" in the data-format list
constexpr int64_t kAllowancePerOtherFile = 8192;

int64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

// The records a user would make of a folder: every file of the format added, each channel given
// the demo geophone's response, an ADC coefficient and a level every sample stays below.
TProject MakeProject(const std::string& folder, const std::string& results,
                     const std::string& paz) {
  TProject project;
  project.General.ResultDir = results;
  project.General.DataFormat = kMiniSeedFormatIndex;
  project.WorkingRate = kRate;
  AssemblySettings settings;
  settings.WorkingRate = kRate;
  NullUiHost host;
  AddFolder(project.Records, folder, kMiniSeedFormatIndex, settings, host);
  for (TFileRecord& r : project.Records) {
    for (int c = 0; c < r.ChannelCount(); ++c) {
      r.Channels[c].ChannelResp = paz;
      r.Channels[c].ADCCoef = 419430.4;
      r.Channels[c].Level = 1 << 30;
    }
    r.ToProcess = true;
  }
  return project;
}

struct Month {
  int Days = 0;
  fs::path Root;
  TProject Whole;
  std::vector<TProject> Isolated;
  int Files = 0;
  int64_t FolderBytes = 0;
  std::vector<int64_t> DayBytes;
  bool Ok = false;

  explicit Month(int d) : Days(d) {
    Root = fs::temp_directory_path() /
           ("tarvik-bench-folder-" + std::to_string(::getpid()) + "-" + std::to_string(Days));
    const fs::path all = Root / "all";
    fs::create_directories(all);
    const std::string paz = (Root / kDemoGeophoneFileName).string();
    std::ofstream(paz) << kDemoGeophonePaz;
    const hptime_t start = ms_timestr2hptime(const_cast<char*>("2020-01-01T00:00:00.000000"));
    for (int day = 0; day < Days; ++day) {
      const fs::path iso = Root / "iso" / std::to_string(day);
      fs::create_directories(iso);
      int64_t bytes = 0;
      for (int h = 0; h < kHoursPerDay; ++h) {
        const int seconds = h + 1 == kHoursPerDay ? kLastHourSeconds : 3600;
        const int64_t n = int64_t{seconds} * kRate;
        char name[64];
        std::snprintf(name, sizeof name, "BENCH.XX.2020.%03d.%02d.msd", day + 1, h);
        const std::string path = (all / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        MSTrace* mst = mst_init(nullptr);
        std::strcpy(mst->network, "XX");
        std::strcpy(mst->station, "BENCH");
        std::strcpy(mst->channel, "HHZ");
        mst->starttime = start + (static_cast<hptime_t>(day) * 24 + h) * 3600 * HPTMODULUS;
        mst->samprate = kRate;
        const std::vector<int32_t> signal =
            bench::NoiseSignal(static_cast<unsigned>(day * 24 + h + 1), n, kRate);
        // libmseed shrinks the array as it packs, so it must own a malloc'ed copy.
        auto* samples = static_cast<int32_t*>(std::malloc(static_cast<size_t>(n) * 4));
        std::memcpy(samples, signal.data(), static_cast<size_t>(n) * 4);
        mst->datasamples = samples;
        mst->numsamples = n;
        mst->samplecnt = n;
        mst->sampletype = 'i';
        int64_t packed = 0;
        mst_pack(mst, bench::WriteRecord, f, 4096, DE_STEIM2, 1, &packed, 1, 0, nullptr);
        mst_free(&mst);
        std::fclose(f);
        fs::create_hard_link(path, iso / name);
        bytes += static_cast<int64_t>(fs::file_size(path));
        ++Files;
      }
      DayBytes.push_back(bytes);
      FolderBytes += bytes;
    }
    Whole = MakeProject(all.string(), (Root / "results-all").string(), paz);
    for (int day = 0; day < Days; ++day) {
      const fs::path iso = Root / "iso" / std::to_string(day);
      Isolated.push_back(MakeProject(iso.string(), (iso / "results").string(), paz));
    }
    Ok = static_cast<int>(Whole.Records.size()) == Days;
    for (const TProject& p : Isolated) Ok = Ok && p.Records.size() == 1;
    if (!Ok) {
      std::fprintf(stderr, "bench_folder_records: %zu records of %d days\n", Whole.Records.size(),
                   Days);
    }
  }
  ~Month() {
    std::error_code ec;
    fs::remove_all(Root, ec);
  }
};

Month& MonthOf(int days) {
  static std::map<int, std::unique_ptr<Month>> months;
  auto& m = months[days];
  if (!m) m = std::make_unique<Month>(days);
  return *m;
}

// Seconds and bytes read per benchmark, for the closing lines.
struct Figures {
  double Seconds = 0.0;
  double Cpu = 0.0;
  double Bytes = 0.0;
};
std::map<std::string, Figures> g_figures;

// Wall and processor time since a moment.
struct Clock {
  std::chrono::steady_clock::time_point Wall = std::chrono::steady_clock::now();
  std::clock_t Cpu = std::clock();
};

void Keep(benchmark::State& state, const std::string& name, const Clock& since, int64_t bytes) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - since.Wall).count();
  const double cpu = static_cast<double>(std::clock() - since.Cpu) / CLOCKS_PER_SEC;
  state.counters["MB_read"] = static_cast<double>(bytes) / 1e6;
  Figures& f = g_figures[name + "/" + std::to_string(state.range(0))];
  // The fastest of the repetitions stands for the benchmark: the machine is shared.
  if (f.Seconds == 0.0 || seconds < f.Seconds) f.Seconds = seconds;
  if (f.Cpu == 0.0 || cpu < f.Cpu) f.Cpu = cpu;
  f.Bytes = static_cast<double>(bytes);
}

void Run(TProject project, const TRunOptions& options, size_t expected, benchmark::State& state) {
  NullUiHost host;
  const TResultFolders results = DeriveResultFolders(project.General.ResultDir);
  const TRunReport report = RunPrimary(project, results, host, options);
  if (report.Written.size() != expected) state.SkipWithError("a record got no spectra");
}

// (a): one run over every record of the folder.
void BM_WholeRun(benchmark::State& state) {
  Month& m = MonthOf(static_cast<int>(state.range(0)));
  if (!m.Ok) return state.SkipWithError("no data");
  for (auto _ : state) {
    const int64_t before = BytesRead();
    const Clock t0;
    Run(m.Whole, TRunOptions{}, m.Whole.Records.size(), state);
    Keep(state, "whole", t0, BytesRead() - before);
  }
}

// (b): each record from a folder of its own files.
void BM_IsolatedRuns(benchmark::State& state) {
  Month& m = MonthOf(static_cast<int>(state.range(0)));
  if (!m.Ok) return state.SkipWithError("no data");
  for (auto _ : state) {
    const int64_t before = BytesRead();
    const Clock t0;
    for (const TProject& p : m.Isolated) Run(p, TRunOptions{}, 1, state);
    Keep(state, "isolated", t0, BytesRead() - before);
  }
}

// "run --only 1" over the whole folder.
void BM_OnlyFirst(benchmark::State& state) {
  Month& m = MonthOf(static_cast<int>(state.range(0)));
  if (!m.Ok) return state.SkipWithError("no data");
  TRunOptions only;
  only.Only = true;
  for (auto _ : state) {
    const int64_t before = BytesRead();
    const Clock t0;
    Run(m.Whole, only, 1, state);
    Keep(state, "only", t0, BytesRead() - before);
  }
}

BENCHMARK(BM_WholeRun)->Arg(30)->Arg(90)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_IsolatedRuns)
    ->Arg(30)
    ->Arg(90)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_OnlyFirst)->Arg(30)->Arg(90)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (BytesRead() < 0) std::fprintf(stderr, "bytes read are not counted on this system\n");
  benchmark::RunSpecifiedBenchmarks();
  for (int days : {30, 90}) {
    const std::string d = "/" + std::to_string(days);
    if (!g_figures.count("whole" + d) || !g_figures.count("isolated" + d)) continue;
    Month& m = MonthOf(days);
    const Figures& a = g_figures["whole" + d];
    const Figures& b = g_figures["isolated" + d];
    std::printf(
        "%d days, %d files, %.1f MB: (a) whole run %.3f s (processor %.3f s), "
        "(b) sum of isolated runs %.3f s (processor %.3f s), (a)/(b) = %.3f "
        "(processor %.3f; goal at most 1.1)\n",
        days, m.Files, static_cast<double>(m.FolderBytes) / 1e6, a.Seconds, a.Cpu, b.Seconds, b.Cpu,
        a.Seconds / b.Seconds, a.Cpu / b.Cpu);
    std::printf(
        "%d days: whole run read %.1f MB = %.3f x the folder (goal at most 1.2); "
        "isolated runs %.3f x\n",
        days, a.Bytes / 1e6, a.Bytes / static_cast<double>(m.FolderBytes),
        b.Bytes / static_cast<double>(m.FolderBytes));
    if (g_figures.count("only" + d)) {
      const Figures& o = g_figures["only" + d];
      const double own = static_cast<double>(m.DayBytes.front());
      const double allowance =
          own + static_cast<double>(kAllowancePerOtherFile) * (m.Files - kHoursPerDay);
      std::printf(
          "%d days: run --only 1 read %.2f MB in %.3f s; own files %.2f MB; "
          "read / (own + 8 KiB x %d other files) = %.3f (goal at most 1); "
          "read beyond own files per other file %.0f bytes\n",
          days, o.Bytes / 1e6, o.Seconds, own / 1e6, m.Files - kHoursPerDay, o.Bytes / allowance,
          (o.Bytes - own) / (m.Files - kHoursPerDay));
    }
  }
  benchmark::Shutdown();
  return 0;
}

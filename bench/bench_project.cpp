// A project of 10,000 records of three channels each, in the text and the binary form: loading
// it, building both processing lists and saving it, beside the I/O floor measured in the same
// run (reading the file's bytes into memory and writing the same bytes to a new file). The
// closing lines give each operation's time as a multiple of its floor.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/binary_file.h"
#include "common/ui_host.h"
#include "project/driver.h"
#include "project/project_file.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvik;

constexpr int kRecords = 10000;
constexpr int kChannels = 3;
constexpr const char* kForms[2] = {"text", "binary"};

TProject MakeProject(const std::string& folder) {
  TProject p;
  const TDateTime day = EncodeDateTime(2024, 1, 1);
  for (int i = 0; i < kRecords; ++i) {
    TFileRecord r;
    char station[8];
    std::snprintf(station, sizeof station, "S%04d", i % 500);
    r.Station = station;
    r.Start = day + i / 24 + (i % 24) / 24.0;
    r.Finish = r.Start + 1.0 / 24.0;
    r.SelectStart = r.Start + 60.0 / 86400.0;
    r.SelectFinish = r.Finish - 60.0 / 86400.0;
    r.File =
        folder + "/data/" + r.Station + "/" + FormatDateTime("yyyymmdd-hhnnss", r.Start) + ".msd";
    r.SampRate = 100.0;
    r.Channels.resize(static_cast<size_t>(kChannels));
    r.ToProcess = true;
    r.ToProcessNakamura = i % 2 == 0;
    r.SelIndex = r.SelNakIndex = -1;
    for (int c = 0; c < kChannels; ++c) {
      r.Channels[c].Channel = std::string("HH") + "ENZ"[c];
      r.Channels[c].Axis = static_cast<Component>(c);
      r.Channels[c].Level = 50000 + c;
      r.Channels[c].Selected = true;
      r.Channels[c].ADCCoef = 419430.4;
      r.Channels[c].ChannelResp = folder + "/responses/geophone_1hz.paz";
    }
    p.Records.push_back(std::move(r));
  }
  p.General.ResultDir = folder + "/results";
  return p;
}

struct Data {
  fs::path Folder;
  std::string Files[2];
  std::vector<uint8_t> Bytes[2];
  TResultFolders Results;

  Data() {
    Folder = fs::temp_directory_path() / ("tarvik-bench-project-" + std::to_string(::getpid()));
    fs::create_directories(Folder);
    TProject p = MakeProject(Folder.string());
    NullUiHost host;
    for (int form = 0; form < 2; ++form) {
      Files[form] = (Folder / (std::string(kForms[form]) + ".tvp")).string();
      if (!SaveProject(p, Files[form], form, host).Ok) std::fprintf(stderr, "cannot save\n");
      Bytes[form] = ReadWholeFile(Files[form]);
    }
    Results = DeriveResultFolders(p.General.ResultDir);
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

void Count(benchmark::State& state, int form) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(Shared().Bytes[form].size()));
  state.SetLabel(kForms[form]);
}

void BM_ReadFloor(benchmark::State& state) {
  const int form = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(ReadWholeFile(Shared().Files[form]).data());
  Count(state, form);
}

void BM_WriteFloor(benchmark::State& state) {
  const int form = static_cast<int>(state.range(0));
  const std::vector<uint8_t>& bytes = Shared().Bytes[form];
  const std::string out = (Shared().Folder / "floor.out").string();
  for (auto _ : state) {
    std::FILE* f = std::fopen(out.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  Count(state, form);
}

// What the record model costs by itself: 10,000 empty records made and released.
void BM_RecordArray(benchmark::State& state) {
  for (auto _ : state) {
    TFileRecords records(kRecords);
    benchmark::DoNotOptimize(records.data());
  }
}

void BM_Load(benchmark::State& state) {
  const int form = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TProject p;
    NullUiHost host;
    if (LoadProject(p, Shared().Files[form], host) != LoadStatus::kLoaded ||
        p.Records.size() != kRecords)
      state.SkipWithError("not loaded");
  }
  Count(state, form);
}

void BM_Lists(benchmark::State& state) {
  const int form = static_cast<int>(state.range(0));
  TProject p;
  NullUiHost host;
  LoadProject(p, Shared().Files[form], host);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BuildPrimaryList(p).Problem);
    benchmark::DoNotOptimize(BuildHVList(p, Shared().Results).Problem);
  }
  Count(state, form);
}

void BM_Save(benchmark::State& state) {
  const int form = static_cast<int>(state.range(0));
  TProject p;
  NullUiHost host;
  LoadProject(p, Shared().Files[form], host);
  const std::string out = (Shared().Folder / (std::string("saved-") + kForms[form])).string();
  for (auto _ : state) {
    if (!SaveProject(p, out, form, host).Ok) state.SkipWithError("not saved");
  }
  Count(state, form);
}

BENCHMARK(BM_ReadFloor)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteFloor)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RecordArray)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Load)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lists)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's real and CPU time and prints the ratios to the floors at the end: on a busy
// machine the CPU times are the steadier of the two.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      times_[0][r.run_name.str()] = r.GetAdjustedRealTime();
      times_[1][r.run_name.str()] = r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (int clock = 0; clock < 2; ++clock) {
      std::map<std::string, double>& t = times_[clock];
      for (int form = 0; form < 2; ++form) {
        const std::string f = "/" + std::to_string(form) + "/real_time";
        const double read = t["BM_ReadFloor" + f], write = t["BM_WriteFloor" + f];
        const double load = t["BM_Load" + f], lists = t["BM_Lists" + f];
        const double save = t["BM_Save" + f];
        if (read <= 0 || write <= 0) continue;
        std::printf(
            "%s time, %s: load %.1f ms + lists %.1f ms = %.1f x reading (%.2f ms); save %.1f ms "
            "= %.1f x writing (%.2f ms); all %.1f ms = %.1f x reading and writing\n",
            clock == 0 ? "real" : "CPU", kForms[form], load, lists, (load + lists) / read, read,
            save, save / write, write, load + lists + save, (load + lists + save) / (read + write));
        if (form == 1) {
          std::printf("%s time: 10,000 empty records made and released %.1f ms\n",
                      clock == 0 ? "real" : "CPU", t["BM_RecordArray/real_time"]);
        }
      }
    }
  }

 private:
  std::map<std::string, double> times_[2];
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Shared();  // the two project files, written before anything is timed
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

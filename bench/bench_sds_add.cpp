// A year of one three-component station in an SDS archive (ROOT/2023/XX/BENCH/LH?.D/, 365 day
// files of each channel, 1 Hz, Steim-2 in 4096-byte records: 1,095 files). Measured in the same
// run:
//   (a) adding the archive as "add --sds ROOT --stations XX.BENCH" does: listing the days and
//       forming one record of three channels per day;
//   (b) opening each of the same files and reading its first 4 KiB.
// The closing line gives (a)/(b); the goal is at most 2.

#include <benchmark/benchmark.h>
#include <libmseed.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/binary_file.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/header_cache.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvik;

constexpr int kRate = 1;
constexpr int kDays = 365;
const char* const kChannels[] = {"LHE", "LHN", "LHZ"};

struct Archive {
  fs::path Root;
  std::vector<std::string> Files;
  bool Ok = false;

  Archive() {
    Root = fs::temp_directory_path() / ("tarvik-bench-sds-" + std::to_string(::getpid()));
    const hptime_t start = ms_timestr2hptime(const_cast<char*>("2023-01-01T00:00:00.000000"));
    for (int c = 0; c < 3; ++c) {
      const fs::path folder = Root / "2023" / "XX" / "BENCH" / (std::string(kChannels[c]) + ".D");
      fs::create_directories(folder);
      for (int day = 1; day <= kDays; ++day) {
        char name[64];
        std::snprintf(name, sizeof name, "XX.BENCH..%s.D.2023.%03d", kChannels[c], day);
        const std::string path = (folder / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        const int64_t n = int64_t{86400} * kRate;
        MSTrace* mst = mst_init(nullptr);
        std::strcpy(mst->network, "XX");
        std::strcpy(mst->station, "BENCH");
        std::strcpy(mst->channel, kChannels[c]);
        mst->starttime = start + static_cast<hptime_t>(day - 1) * 86400 * HPTMODULUS;
        mst->samprate = kRate;
        const std::vector<int32_t> signal =
            bench::NoiseSignal(static_cast<unsigned>(c * 1000 + day), n, kRate);
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
        Files.push_back(path);
      }
    }
    Ok = true;
  }
  ~Archive() {
    std::error_code ec;
    fs::remove_all(Root, ec);
  }
};

Archive& TheArchive() {
  static Archive archive;
  return archive;
}

void BM_AddSds(benchmark::State& state) {
  Archive& a = TheArchive();
  if (!a.Ok) {
    state.SkipWithError("the archive could not be written");
    return;
  }
  const SdsStation station = *ParseSdsStation("XX.BENCH");
  const double nan = std::nan("");
  size_t records = 0;
  for (auto _ : state) {
    NullUiHost host;
    HeaderCache cache;
    TFileRecords out;
    AddFileGroups(out, ListSdsDays(a.Root.string(), station, nan, nan), AssemblySettings{}, host,
                  &cache);
    records = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  if (records != kDays) state.SkipWithError("the archive did not give a record a day");
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(a.Files.size()));
}

// The listing of the archive's days alone: the part of (a) that reads no file.
void BM_ListSds(benchmark::State& state) {
  Archive& a = TheArchive();
  const SdsStation station = *ParseSdsStation("XX.BENCH");
  const double nan = std::nan("");
  for (auto _ : state) {
    benchmark::DoNotOptimize(ListSdsDays(a.Root.string(), station, nan, nan).size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(a.Files.size()));
}

void BM_ReadHeads(benchmark::State& state) {
  Archive& a = TheArchive();
  std::vector<uint8_t> head(4096);
  for (auto _ : state) {
    for (const std::string& f : a.Files) {
      BinaryFile file;
      if (file.Open(f)) benchmark::DoNotOptimize(file.ReadAt(0, head.data(), head.size()));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(a.Files.size()));
}

BENCHMARK(BM_AddSds)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListSds)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHeads)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tarvik::bench::RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Repeated benchmarks are named "BM_X/repeats:N"; the median stands for each.
  const auto rate = [&](const std::string& name) {
    for (const auto& [key, value] : reporter.Rates) {
      if (key.rfind(name, 0) == 0) return value;
    }
    return 0.0;
  };
  const double add = rate("BM_AddSds");
  const double heads = rate("BM_ReadHeads");
  if (add > 0.0 && heads > 0.0) {
    std::printf(
        "adding a year of one three-component station (%zu files) / reading their 4 KiB "
        "heads: %.2f (goal <= 2)\n",
        TheArchive().Files.size(), heads / add);
  }
  benchmark::Shutdown();
  return 0;
}

// LoadRecord of a day-long three-channel 100 Hz Steim-2 miniSEED record kept as 24 hourly files,
// beside libmseed reading the same files into arrays in the same run; and the peak heap memory
// of LoadRecord against the final int32 matrix. The files are packed by libmseed from a
// synthetic noise signal before the benchmarks start; the loaded samples are compared with the
// signal once before timing.
#include <benchmark/benchmark.h>
#include <libmseed.h>
#include <malloc.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"

// Heap accounting for the peak-memory figure: every allocation through operator new.
namespace {
std::atomic<int64_t> g_heap_now{0};
std::atomic<int64_t> g_heap_peak{0};

void* Allocate(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  const int64_t now = g_heap_now += static_cast<int64_t>(malloc_usable_size(p));
  int64_t peak = g_heap_peak.load();
  while (now > peak && !g_heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void Release(void* p) {
  if (p == nullptr) return;
  g_heap_now -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}
}  // namespace

void* operator new(size_t size) {
  return Allocate(size);
}
void* operator new[](size_t size) {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, size_t) noexcept {
  Release(p);
}

namespace {

constexpr int kRate = 100;
constexpr int64_t kHourSamples = 3600 * kRate;
constexpr int kHours = 24;
const char* const kChannels[] = {"HHZ", "HHN", "HHE"};

struct DayRecord {
  std::string Folder;
  std::vector<std::string> Files;
  std::vector<std::vector<int32_t>> Signals;
  tarvik::TFileRecord Record;
  int64_t Bytes = 0;
};

DayRecord MakeDayRecord() {
  DayRecord day;
  day.Folder =
      (std::filesystem::temp_directory_path() / ("tarvik-bench-load-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(day.Folder);
  for (unsigned c = 0; c < 3; ++c)
    day.Signals.push_back(tarvik::bench::NoiseSignal(c + 1, kHourSamples * kHours, kRate));
  const hptime_t start = ms_timestr2hptime(const_cast<char*>("2020-01-01T00:00:00.000000"));
  for (int h = 0; h < kHours; ++h) {
    char name[64];
    std::snprintf(name, sizeof name, "BENCH.2020.001.%02d.msd", h);
    const std::string path = tarvik::JoinPath(day.Folder, name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    for (int c = 0; c < 3; ++c) {
      MSTrace* mst = mst_init(nullptr);
      std::strcpy(mst->network, "XX");
      std::strcpy(mst->station, "BENCH");
      std::strcpy(mst->channel, kChannels[c]);
      mst->starttime = start + static_cast<hptime_t>(h) * 3600 * HPTMODULUS;
      mst->samprate = kRate;
      // libmseed shrinks the array as it packs, so it must own a malloc'ed copy.
      auto* samples = static_cast<int32_t*>(std::malloc(kHourSamples * sizeof(int32_t)));
      std::memcpy(samples, day.Signals[c].data() + h * kHourSamples,
                  kHourSamples * sizeof(int32_t));
      mst->datasamples = samples;
      mst->numsamples = kHourSamples;
      mst->samplecnt = kHourSamples;
      mst->sampletype = 'i';
      int64_t packed = 0;
      mst_pack(mst, tarvik::bench::WriteRecord, f, 4096, DE_STEIM2, 1, &packed, 1, 0, nullptr);
      mst_free(&mst);
    }
    std::fclose(f);
    day.Files.push_back(path);
    day.Bytes += static_cast<int64_t>(std::filesystem::file_size(path));
  }
  tarvik::TFileRecords records;
  tarvik::NullUiHost host;
  tarvik::AddFiles(records, day.Files, tarvik::AssemblySettings(), host);
  if (records.size() != 1) std::abort();
  day.Record = records.front();
  return day;
}

DayRecord& Day() {
  static DayRecord day = MakeDayRecord();
  return day;
}

tarvik::LoadSettings Settings(bool demean) {
  tarvik::LoadSettings s;
  s.Demean = demean;
  return s;
}

void BM_LoadRecord(benchmark::State& state) {
  const DayRecord& day = Day();
  tarvik::NullUiHost host;
  const bool demean = state.range(0) != 0;
  for (auto _ : state) {
    tarvik::TFileRecord record = day.Record;
    tarvik::TData32 data;
    tarvik::LoadRecord(record, data, host, Settings(demean));
    benchmark::DoNotOptimize(data.data());
    if (record.SampleCount != kHourSamples * kHours) state.SkipWithError("sample count differs");
  }
  state.SetItemsProcessed(state.iterations() * 3 * kHourSamples * kHours);
}

// libmseed: every record of every file decoded and appended to its channel's array.
void BM_LibmseedRecordsIntoArrays(benchmark::State& state) {
  const DayRecord& day = Day();
  for (auto _ : state) {
    std::map<std::string, std::vector<int32_t>> arrays;
    for (const std::string& path : day.Files) {
      MSFileParam* fp = nullptr;
      MSRecord* msr = nullptr;
      while (ms_readmsr_r(&fp, &msr, path.c_str(), 0, nullptr, nullptr, 1, 1, 0) == MS_NOERROR) {
        std::vector<int32_t>& dst = arrays[msr->channel];
        if (dst.empty()) dst.reserve(static_cast<size_t>(kHourSamples * kHours));
        const auto* s = static_cast<const int32_t*>(msr->datasamples);
        dst.insert(dst.end(), s, s + msr->numsamples);
      }
      ms_readmsr_r(&fp, &msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
    }
    benchmark::DoNotOptimize(arrays.size());
  }
  state.SetItemsProcessed(state.iterations() * 3 * kHourSamples * kHours);
}

// libmseed: the files read into one trace group, contiguous records merged into one array.
void BM_LibmseedTraceGroup(benchmark::State& state) {
  const DayRecord& day = Day();
  for (auto _ : state) {
    MSTraceGroup* group = mst_initgroup(nullptr);
    for (const std::string& path : day.Files) {
      ms_readtraces(&group, path.c_str(), 0, -1.0, -1.0, 0, 1, 1, 0);
    }
    benchmark::DoNotOptimize(group->numtraces);
    mst_freegroup(&group);
  }
  state.SetItemsProcessed(state.iterations() * 3 * kHourSamples * kHours);
}

BENCHMARK(BM_LoadRecord)->Arg(1)->Arg(0)->ArgName("demean")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmseedRecordsIntoArrays)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmseedTraceGroup)->Unit(benchmark::kMillisecond);

// Loads once, compares the samples with the packed signal and measures the heap peak.
bool VerifyAndMeasure(double& peak_ratio) {
  DayRecord& day = Day();
  tarvik::NullUiHost host;
  tarvik::TFileRecord record = day.Record;
  const int64_t base = g_heap_now.load();
  g_heap_peak = base;
  tarvik::TData32 data;
  tarvik::LoadRecord(record, data, host, Settings(false));
  const int64_t peak = g_heap_peak.load() - base;
  const double matrix = 3.0 * static_cast<double>(kHourSamples * kHours) * sizeof(int32_t);
  peak_ratio = static_cast<double>(peak) / matrix;
  return data == day.Signals;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const DayRecord& day = Day();
  std::printf("record: %zu files, %lld bytes, 3 x %lld samples\n", day.Files.size(),
              static_cast<long long>(day.Bytes), static_cast<long long>(kHourSamples * kHours));
  double peak_ratio = 0.0;
  if (!VerifyAndMeasure(peak_ratio)) {
    std::fprintf(stderr, "LoadRecord does not give back the packed signal\n");
    return 1;
  }
  tarvik::bench::RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const std::pair<const char*, const char*> pairs[] = {
      {"BM_LoadRecord/demean:1", "BM_LibmseedRecordsIntoArrays"},
      {"BM_LoadRecord/demean:1", "BM_LibmseedTraceGroup"},
      {"BM_LoadRecord/demean:0", "BM_LibmseedRecordsIntoArrays"},
      {"BM_LoadRecord/demean:0", "BM_LibmseedTraceGroup"}};
  for (const auto& [our_name, their_name] : pairs) {
    const auto ours = reporter.Rates.find(our_name);
    const auto ref = reporter.Rates.find(their_name);
    if (ours != reporter.Rates.end() && ref != reporter.Rates.end() && ours->second > 0) {
      std::printf("time %s / %s: %.2f\n", our_name, their_name, ref->second / ours->second);
    }
  }
  std::printf("peak heap of LoadRecord / final int32 matrix: %.3f\n", peak_ratio);
  std::filesystem::remove_all(day.Folder);
  benchmark::Shutdown();
  return 0;
}

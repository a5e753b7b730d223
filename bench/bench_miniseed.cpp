// Decoding a day of three-channel 100 Hz Steim-2 miniSEED (4096-byte records): our segment list
// and sample reader beside libmseed reading the same file in the same run. The file is packed
// by libmseed from a synthetic noise signal before the benchmarks start; the two decoders'
// samples are compared once before timing.
#include <benchmark/benchmark.h>
#include <libmseed.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "records/miniseed.h"
#include "records/read_samples.h"
#include "records/steim.h"

namespace {

constexpr double kRate = 100.0;
constexpr int64_t kDaySamples = 86400 * 100;
const char* const kChannels[] = {"HHZ", "HHN", "HHE"};

struct DayFile {
  std::string Path;
  int64_t Samples = 0;
  std::map<std::string, std::vector<int32_t>> Signals;
};

DayFile MakeDayFile() {
  DayFile day;
  day.Path = (std::filesystem::temp_directory_path() / "tarvik-bench-day.mseed").string();
  std::FILE* f = std::fopen(day.Path.c_str(), "wb");
  if (f == nullptr) std::abort();
  unsigned seed = 1;
  for (const char* channel : kChannels) {
    std::vector<int32_t> signal = tarvik::bench::NoiseSignal(seed++, kDaySamples, kRate);
    MSTrace* mst = mst_init(nullptr);
    std::strcpy(mst->network, "XX");
    std::strcpy(mst->station, "BENCH");
    std::strcpy(mst->channel, channel);
    mst->starttime = ms_timestr2hptime(const_cast<char*>("2020-01-01T00:00:00.000000"));
    mst->samprate = kRate;
    // libmseed shrinks the array as it packs, so it must own a malloc'ed copy.
    auto* samples = static_cast<int32_t*>(std::malloc(signal.size() * sizeof(int32_t)));
    std::memcpy(samples, signal.data(), signal.size() * sizeof(int32_t));
    mst->datasamples = samples;
    mst->numsamples = static_cast<int64_t>(signal.size());
    mst->samplecnt = mst->numsamples;
    mst->sampletype = 'i';
    int64_t packed = 0;
    mst_pack(mst, tarvik::bench::WriteRecord, f, 4096, DE_STEIM2, 1, &packed, 1, 0, nullptr);
    mst_free(&mst);
    day.Samples += packed;
    day.Signals[channel] = std::move(signal);
  }
  std::fclose(f);
  return day;
}

const DayFile& Day() {
  static const DayFile kDay = MakeDayFile();
  return kDay;
}

// Both decoders must give back the signal that was packed.
bool Verify(const DayFile& day) {
  tarvik::TRecList list;
  tarvik::BuildMiniSeedSegments(day.Path, list, "");
  std::map<std::string, std::vector<int32_t>> ours;
  tarvik::SampleReader reader;
  for (const auto& seg : list.Items) {
    const std::vector<int32_t> v = reader.Read(seg);
    auto& dst = ours[seg.Channel];
    dst.insert(dst.end(), v.begin(), v.end());
  }
  std::map<std::string, std::vector<int32_t>> theirs;
  MSFileParam* fp = nullptr;
  MSRecord* msr = nullptr;
  while (ms_readmsr_r(&fp, &msr, day.Path.c_str(), 0, nullptr, nullptr, 1, 1, 0) == MS_NOERROR) {
    auto& dst = theirs[msr->channel];
    const auto* s = static_cast<const int32_t*>(msr->datasamples);
    dst.insert(dst.end(), s, s + msr->numsamples);
  }
  ms_readmsr_r(&fp, &msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
  return ours == day.Signals && theirs == day.Signals;
}

// The segment list of the day's file, then every segment decoded by decode(reader, segment),
// which returns the samples it gave.
template <typename Decode>
void DecodeDay(benchmark::State& state, Decode decode) {
  const DayFile& day = Day();
  for (auto _ : state) {
    tarvik::TRecList list;
    tarvik::BuildMiniSeedSegments(day.Path, list, "");
    tarvik::SampleReader reader;
    int64_t n = 0;
    for (const auto& seg : list.Items) n += decode(reader, seg);
    if (n != day.Samples) state.SkipWithError("sample count differs");
  }
  state.SetItemsProcessed(state.iterations() * day.Samples);
}

void BM_TarvikSegmentsAndSamples(benchmark::State& state) {
  DecodeDay(state, [](tarvik::SampleReader& reader, const auto& seg) {
    const std::vector<int32_t> v = reader.Read(seg);
    benchmark::DoNotOptimize(v.data());
    return static_cast<int64_t>(v.size());
  });
}

// The same, each segment decoded into one buffer that is reused, as the loader decodes into
// the rows of its matrix.
void BM_TarvikSegmentsIntoBuffer(benchmark::State& state) {
  std::vector<int32_t> buffer;
  DecodeDay(state, [&buffer](tarvik::SampleReader& reader, const auto& seg) {
    const auto count = static_cast<size_t>(reader.Count(seg));
    if (buffer.size() < count) buffer.resize(count);
    reader.ReadInto(seg, std::span(buffer).first(count));
    benchmark::DoNotOptimize(buffer.data());
    return static_cast<int64_t>(count);
  });
}

// The segment list alone: the record walk that precedes the decoding.
void BM_TarvikSegmentsOnly(benchmark::State& state) {
  const DayFile& day = Day();
  for (auto _ : state) {
    tarvik::TRecList list;
    tarvik::BuildMiniSeedSegments(day.Path, list, "");
    benchmark::DoNotOptimize(list.Items.data());
  }
  state.SetItemsProcessed(state.iterations() * day.Samples);
}

void BM_LibmseedReadRecords(benchmark::State& state) {
  const DayFile& day = Day();
  for (auto _ : state) {
    MSFileParam* fp = nullptr;
    MSRecord* msr = nullptr;
    int64_t n = 0;
    while (ms_readmsr_r(&fp, &msr, day.Path.c_str(), 0, nullptr, nullptr, 1, 1, 0) == MS_NOERROR) {
      benchmark::DoNotOptimize(msr->datasamples);
      n += msr->numsamples;
    }
    ms_readmsr_r(&fp, &msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
    if (n != day.Samples) state.SkipWithError("sample count differs");
  }
  state.SetItemsProcessed(state.iterations() * day.Samples);
}

void BM_LibmseedReadTraces(benchmark::State& state) {
  const DayFile& day = Day();
  for (auto _ : state) {
    MSTraceGroup* group = nullptr;
    ms_readtraces(&group, day.Path.c_str(), 0, -1.0, -1.0, 0, 1, 1, 0);
    benchmark::DoNotOptimize(group);
    mst_freegroup(&group);
  }
  state.SetItemsProcessed(state.iterations() * day.Samples);
}

// The decoding alone, records already in memory: DecodeSteim beside libmseed's msr_unpack.
std::vector<char> FileBytes(const std::string& path) {
  std::vector<char> bytes(std::filesystem::file_size(path));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
  return bytes;
}

// The unpacking is chosen by the argument: 0 the fastest the processor has, 1 the one for any
// processor.
void BM_TarvikSteimInMemory(benchmark::State& state) {
  const DayFile& day = Day();
  std::vector<char> bytes = FileBytes(day.Path);
  std::vector<int32_t> out;
  const auto unpack =
      state.range(0) == 0 ? tarvik::SteimUnpack::kFastest : tarvik::SteimUnpack::kPortable;
  for (auto _ : state) {
    for (size_t at = 0; at + 4096 <= bytes.size(); at += 4096) {
      const auto* record = reinterpret_cast<const uint8_t*>(bytes.data() + at);
      const size_t n = static_cast<size_t>((record[30] << 8) | record[31]);
      out.resize(n);
      tarvik::DecodeSteim(std::span(record + 64, 4096 - 64), 2, out, unpack);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * day.Samples);
}

void BM_LibmseedUnpackInMemory(benchmark::State& state) {
  const DayFile& day = Day();
  std::vector<char> bytes = FileBytes(day.Path);
  MSRecord* msr = nullptr;
  for (auto _ : state) {
    for (size_t at = 0; at + 4096 <= bytes.size(); at += 4096) {
      msr_unpack(bytes.data() + at, 4096, &msr, 1, 0);
      benchmark::DoNotOptimize(msr->datasamples);
    }
  }
  msr_free(&msr);
  state.SetItemsProcessed(state.iterations() * day.Samples);
}

BENCHMARK(BM_TarvikSegmentsAndSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TarvikSegmentsIntoBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TarvikSegmentsOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmseedReadRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmseedReadTraces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TarvikSteimInMemory)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("portable")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmseedUnpackInMemory)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const DayFile& day = Day();
  std::printf("file: %s, %lld samples in %lld bytes\n", day.Path.c_str(),
              static_cast<long long>(day.Samples),
              static_cast<long long>(std::filesystem::file_size(day.Path)));
  if (!Verify(day)) {
    std::fprintf(stderr, "the decoders disagree with the packed signal\n");
    return 1;
  }
  tarvik::bench::RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const std::pair<const char*, const char*> pairs[] = {
      {"BM_TarvikSegmentsAndSamples", "BM_LibmseedReadRecords"},
      {"BM_TarvikSegmentsAndSamples", "BM_LibmseedReadTraces"},
      {"BM_TarvikSegmentsIntoBuffer", "BM_LibmseedReadRecords"},
      {"BM_TarvikSteimInMemory/portable:0", "BM_LibmseedUnpackInMemory"},
      {"BM_TarvikSteimInMemory/portable:1", "BM_LibmseedUnpackInMemory"}};
  for (const auto& [our_name, their_name] : pairs) {
    const auto ours = reporter.Rates.find(our_name);
    const auto ref = reporter.Rates.find(their_name);
    if (ours != reporter.Rates.end() && ref != reporter.Rates.end() && ref->second > 0) {
      std::printf("samples/s %s %.3g, %s %.3g: ratio %.2f\n", our_name, ours->second, their_name,
                  ref->second, ours->second / ref->second);
    }
  }
  std::filesystem::remove(day.Path);
  benchmark::Shutdown();
  return 0;
}

// The primary spectra of a 30-day three-channel 100 Hz record (777.6 M samples) kept as 30 daily
// Steim-2 miniSEED files joined into one record, read in blocks; against the whole-record path
// (LoadRecord, then the spectra of the loaded matrix) on the first day's file alone, times 30.
// Each calculation runs in a child process of its own, which reports its time and its peak
// resident memory (VmHWM). The files are packed by libmseed into a temporary folder and
// removed at the end.
//
//   bench_long_record [days]        (30 unless given)
#include <libmseed.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "spectral/spectrum_engine.h"

namespace {

constexpr int kRate = 100;
constexpr int64_t kDaySamples = int64_t{86400} * kRate;
const char* const kChannels[] = {"HHZ", "HHN", "HHE"};

std::vector<std::string> WriteDays(const std::string& folder, int days) {
  std::vector<std::string> files;
  const hptime_t start = ms_timestr2hptime(const_cast<char*>("2020-01-01T00:00:00.000000"));
  for (int d = 0; d < days; ++d) {
    char name[64];
    std::snprintf(name, sizeof name, "BENCH.2020.%03d.msd", d + 1);
    const std::string path = tarvik::JoinPath(folder, name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    for (int c = 0; c < 3; ++c) {
      const std::vector<int32_t> signal =
          tarvik::bench::NoiseSignal(static_cast<unsigned>(d * 3 + c + 1), kDaySamples, kRate);
      MSTrace* mst = mst_init(nullptr);
      std::strcpy(mst->network, "XX");
      std::strcpy(mst->station, "BENCH");
      std::strcpy(mst->channel, kChannels[c]);
      mst->starttime = start + static_cast<hptime_t>(d) * 86400 * HPTMODULUS;
      mst->samprate = kRate;
      auto* samples = static_cast<int32_t*>(std::malloc(kDaySamples * sizeof(int32_t)));
      std::memcpy(samples, signal.data(), kDaySamples * sizeof(int32_t));
      mst->datasamples = samples;
      mst->numsamples = kDaySamples;
      mst->samplecnt = kDaySamples;
      mst->sampletype = 'i';
      int64_t packed = 0;
      mst_pack(mst, tarvik::bench::WriteRecord, f, 4096, DE_STEIM2, 1, &packed, 1, 0, nullptr);
      mst_free(&mst);
    }
    std::fclose(f);
    files.push_back(path);
  }
  return files;
}

int64_t PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6);
  }
  return -1;
}

struct Figures {
  double Seconds = 0;
  int64_t PeakKib = 0;
  int32_t Segments = 0;
  double Checksum = 0;
};

// Computes the spectra of the record of files in a child process: in blocks, or the whole
// record loaded first.
Figures Measure(const std::vector<std::string>& files, bool blocks) {
  int pipe_fd[2];
  if (pipe(pipe_fd) != 0) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fd[0]);
    tarvik::NullUiHost host;
    tarvik::TFileRecords records;
    tarvik::AddFiles(records, files, tarvik::AssemblySettings(), host);
    Figures f;
    if (records.size() == 1) {
      tarvik::TFileRecord record = records.front();
      for (auto& channel : record.Channels) channel.Level = 1000000;
      const tarvik::TSpectrumSettings settings =
          tarvik::DefaultSpectrumSettings(tarvik::kMicroseismSet);
      tarvik::TMatrix2D mean, stdev;
      const auto t0 = std::chrono::steady_clock::now();
      tarvik::TSpectraStatus status;
      if (blocks) {
        status = tarvik::CalculateSpectra(record, settings, record.SelectStart, record.SelectFinish,
                                          kRate, host, mean, stdev);
      } else {
        tarvik::TData32 samples;
        tarvik::LoadReport report;
        tarvik::LoadSettings load;
        load.DefaultRate = kRate;
        tarvik::LoadRecord(record, samples, host, load, &report);
        status = tarvik::CalculateSpectraOfSamples(record, samples, settings, record.SelectStart,
                                                   record.SelectFinish, host, mean, stdev, {},
                                                   report.Unread);
      }
      f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      f.Segments = status.Segments;
      for (const auto& row : mean) {
        for (double v : row) f.Checksum += v;
      }
    }
    f.PeakKib = PeakResidentKiB();
    if (write(pipe_fd[1], &f, sizeof f) != sizeof f) _exit(1);
    _exit(0);
  }
  close(pipe_fd[1]);
  Figures f;
  if (read(pipe_fd[0], &f, sizeof f) != sizeof f) std::abort();
  close(pipe_fd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int days = argc > 1 ? std::atoi(argv[1]) : 30;
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("tarvik-bench-long-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(folder);
  const std::vector<std::string> files = WriteDays(folder, days);
  uintmax_t bytes = 0;
  for (const auto& f : files) bytes += std::filesystem::file_size(f);
  std::printf("record: %d daily files, %.1f MB, 3 x %lld samples\n", days,
              static_cast<double>(bytes) / 1e6, static_cast<long long>(kDaySamples * days));

  const std::vector<std::string> first_day = {files.front()};
  const Figures day_whole = Measure(first_day, false);
  const Figures day_blocks = Measure(first_day, true);
  const Figures all_blocks = Measure(files, true);
  auto show = [](const char* what, const Figures& f) {
    std::printf("%-34s %8.2f s  peak RSS %8.1f MiB  segments %d\n", what, f.Seconds,
                static_cast<double>(f.PeakKib) / 1024.0, f.Segments);
  };
  show("1 day, whole record", day_whole);
  show("1 day, in blocks", day_blocks);
  show((std::to_string(days) + " days, in blocks").c_str(), all_blocks);
  std::printf("1 day in blocks / whole record: time %.3f, same spectra: %s\n",
              day_blocks.Seconds / day_whole.Seconds,
              day_blocks.Checksum == day_whole.Checksum ? "yes" : "no");
  std::printf("%d days in blocks / (1 day whole x %d): time %.3f\n", days, days,
              all_blocks.Seconds / (day_whole.Seconds * days));
  std::filesystem::remove_all(folder);
  return 0;
}

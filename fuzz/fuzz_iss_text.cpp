// Reads arbitrary bytes as an ISS text trigger file: header, then the triggers written into a
// small matrix as the record's first file and as a later one, at the file's own rate or a
// higher record rate (resampling).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "records/iss_text.h"

namespace {

// A folder of its own for the files written from each input; removed when the run ends.
struct Scratch {
  std::filesystem::path dir;
  Scratch() {
    dir = std::filesystem::temp_directory_path() /
          ("tarvik-fuzz-iss-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  const std::string folder = scratch.dir.string();
  const std::string path = folder + "/x.iss_dat";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  tarvik::TFileRecordInfo info;
  tarvik::ReadIssHeader(path, info, 100.0);
  const size_t channels = static_cast<size_t>(std::max(info.ChannelCount, 1));
  const int64_t length = std::clamp<int64_t>(info.SampleCount, 1, 2048);
  for (int pass = 0; pass < 3; ++pass) {
    tarvik::TData32 matrix(channels, std::vector<int32_t>(static_cast<size_t>(length), 0));
    tarvik::LoadTarget target;
    target.first = info;
    if (pass == 1) target.first.SampRate = info.SampRate * 3.0 + 1.0;
    target.data = &matrix;
    target.record_start = info.Start;
    target.position = pass == 2 ? 7 : 0;
    tarvik::ReadIssInto(path, target);
  }
  return 0;
}

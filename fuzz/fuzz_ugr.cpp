// Reads arbitrary bytes as the three files of a one-component set: header and sequential
// reading at a position chosen by the first byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "records/ugr.h"

namespace {

// A folder of its own for the files written from each input; removed when the run ends.
struct Scratch {
  std::filesystem::path dir;
  Scratch() {
    dir = std::filesystem::temp_directory_path() /
          ("tarvik-fuzz-ugr-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  const std::string folder = scratch.dir.string();
  const std::string z = folder + "/110131_12Z3015_25.ugrABC";
  Write(z, data, size);
  Write(folder + "/110131_12E3015_25.ugrABC", data, size / 2);
  Write(folder + "/110131_12N3015_25.ugrABC", data + size / 3, size - size / 3);
  tarvik::LoadTarget target;
  if (!tarvik::ReadUgrHeader(z, target.first, 100.0)) return 0;
  const int64_t length = std::min<int64_t>(target.first.SampleCount + 3, 4096);
  tarvik::TData32 matrix(3, std::vector<int32_t>(static_cast<size_t>(length), 0));
  target.data = &matrix;
  target.position = size > 0 ? static_cast<int8_t>(data[0]) : 0;
  tarvik::ReadUgrInto(z, target);
  return 0;
}

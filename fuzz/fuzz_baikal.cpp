// Reads arbitrary bytes as a Baikal file: header, segments and their samples.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "records/baikal.h"
#include "records/read_samples.h"

namespace {

// A folder of its own for the files written from each input; removed when the run ends.
struct Scratch {
  std::filesystem::path dir;
  Scratch() {
    dir = std::filesystem::temp_directory_path() /
          ("tarvik-fuzz-baikal-" + std::to_string(std::random_device{}()));
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
  const std::string path = folder + "/x.baikal";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  tarvik::TFileRecordInfo info;
  tarvik::ReadBaikalHeader(path, info, 100.0);
  tarvik::TRecList list;
  tarvik::BuildBaikalSegments(path, list, "");
  tarvik::SampleReader reader;
  for (const auto& seg : list.Items) reader.Read(seg);
  return 0;
}

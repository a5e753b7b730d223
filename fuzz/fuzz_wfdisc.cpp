// Reads arbitrary bytes as a wfdisc index: header, segments, and the samples of segments that
// name files inside the fuzzing folder.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "records/read_samples.h"
#include "records/wfdisc.h"

namespace {

// A folder of its own for the files written from each input; removed when the run ends.
struct Scratch {
  std::filesystem::path dir;
  Scratch() {
    dir = std::filesystem::temp_directory_path() /
          ("tarvik-fuzz-wfdisc-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    // A small data file that index lines may point at (dir "-", dfile "d.w").
    std::ofstream data(dir / "d.w", std::ios::binary);
    for (int i = 0; i < 64; ++i) data.put(static_cast<char>(i * 37));
    data << "\n1.5\n-2\n3e2\n";
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
  const std::string path = folder + "/x.wfdisc";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  tarvik::TFileRecordInfo info;
  tarvik::ReadWfdiscHeader(path, info, 100.0);
  tarvik::TRecList list;
  tarvik::BuildWfdiscSegments(path, list, "");
  tarvik::SampleReader reader;
  int read = 0;
  for (const auto& seg : list.Items) {
    if (seg.FileName != folder + "/d.w" || ++read > 16) continue;
    reader.Read(seg);
  }
  return 0;
}

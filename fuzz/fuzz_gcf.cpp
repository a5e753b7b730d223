// GCF files: the header reader, the segment builder with each segment's samples, and the block
// decoder on the raw input with each difference width.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "records/gcf.h"
#include "records/read_samples.h"

namespace {

std::string ScratchFile(const char* name) {
  return (std::filesystem::temp_directory_path() /
          ("tarvik_fuzz_" + std::to_string(getpid()) + "_" + name))
      .string();
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  static const std::string path = ScratchFile("in.gcf");
  Write(path, data, size);

  TFileRecordInfo info;
  ReadGcfHeader(path, info, 100.0);
  TRecList list;
  BuildGcfSegments(path, list, "");
  SampleReader reader;
  for (const TRecordDescription& seg : list.Items) reader.Read(seg);

  if (size >= 1) {
    std::vector<int32_t> out(static_cast<size_t>(data[0]) * 5);
    for (int width : {1, 2, 4}) DecodeGcf(std::span<const uint8_t>(data + 1, size - 1), width, out);
  }
  return 0;
}

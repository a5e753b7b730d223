// SL sets: the input is split into the header file and two channel files (the first byte sets
// where the header file ends, the second where the first channel file ends).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "records/formats.h"
#include "records/sl.h"

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
  if (size < 2) return 0;
  static const std::string path = ScratchFile("set.sl");
  const size_t rest = size - 2;
  const size_t header = std::min<size_t>(rest, data[0]);
  const size_t first = std::min<size_t>(rest - header, size_t{data[1]} * 16);
  const uint8_t* p = data + 2;
  Write(path, p, header);
  Write(SlChannelFileName(path, 0), p + header, first);
  Write(SlChannelFileName(path, 1), p + header + first, rest - header - first);

  int sub_kind = 0;
  RecognizeSl(path, &sub_kind);
  Recognize(path);
  TFileRecordInfo info;
  ReadSlHeader(path, info, 0.0);
  for (const int64_t length : {std::clamp<int64_t>(info.SampleCount, 0, 4096), int64_t{300}}) {
    TData32 matrix(static_cast<size_t>(std::clamp(info.ChannelCount, 0, kMaxChannels)),
                   std::vector<int32_t>(static_cast<size_t>(length), 0));
    LoadTarget target;
    target.data = &matrix;
    target.first = info;
    target.position = length == 300 ? -100 : 0;
    ReadSlInto(path, target);
  }
  std::vector<int32_t> out;
  DecodeSlBlock(std::span<const uint8_t>(p, rest), data[0], data[1] % 20, out);
  return 0;
}

// SDAS files: the text header parser, the header reader and the sequential reader.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "records/formats.h"
#include "records/sdas.h"

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
  static const std::string path = ScratchFile("in.sdas");
  Write(path, data, size);

  TSDASCommonHead head;
  ParseSdasHeaderText(std::string_view(reinterpret_cast<const char*>(data), size), head);
  Recognize(path);
  TFileRecordInfo info;
  ReadSdasHeader(path, info, 0.0);
  for (const int64_t length : {std::clamp<int64_t>(info.SampleCount, 0, 4096), int64_t{64}}) {
    TData32 matrix(static_cast<size_t>(std::clamp(info.ChannelCount, 0, kMaxChannels)),
                   std::vector<int32_t>(static_cast<size_t>(length), 0));
    LoadTarget target;
    target.data = &matrix;
    target.first = info;
    target.position = length == 64 ? -10 : 0;
    ReadSdasInto(path, target);
  }
  return 0;
}

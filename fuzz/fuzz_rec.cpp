// REC block files: recognition, both header readers, the sequential reader into a matrix shaped
// by the header, and the data block decoder on the raw input.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "records/formats.h"
#include "records/rec.h"

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
  static const std::string path = ScratchFile("in.rec");
  Write(path, data, size);

  Recognize(path);
  TFileRecordInfo info;
  ReadRecHeader1(path, info, 100.0);
  if (!ReadRecHeader2(path, info, 100.0)) ReadRecHeader1(path, info, 100.0);

  // The header's own shape, its length bounded; then a shape taken from the input's first bytes.
  for (int pass = 0; pass < 2; ++pass) {
    TFileRecordInfo first = info;
    if (pass == 1 && size >= 3) {
      first.ChannelCount = data[0] % 40;
      first.BlockSamples = data[1] * 7;
    }
    const int64_t length = std::clamp<int64_t>(first.SampleCount, 0, 4096);
    TData32 matrix(static_cast<size_t>(std::clamp(first.ChannelCount, 0, kMaxChannels)),
                   std::vector<int32_t>(static_cast<size_t>(length), 0));
    LoadTarget target;
    target.data = &matrix;
    target.first = first;
    target.position = pass == 1 && size >= 3 ? static_cast<int8_t>(data[2]) : 0;
    ReadRecInto(path, target);
  }

  if (size >= 2) {
    static constexpr FormatTag kTags[] = {kBlockDMU, kBlockDSV, kBlockDMW, kBlockDSW,
                                          kBlockDMX, kBlockDSX, kBlockDSZ};
    const FormatTag tag = kTags[data[0] % std::size(kTags)];
    DecodeRecDataBlock(tag, std::span<const uint8_t>(data + 2, size - 2), data[1] % 48, data[1] * 3,
                       1 << 16);
  }
  return 0;
}

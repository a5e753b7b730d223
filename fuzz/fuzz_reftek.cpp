// Reftek 130 files: the header reader (with its search of the folder for an event header), the
// segment builder with each segment's samples, and the sequential reader into a matrix shaped
// by the header and into one shaped by the input.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "records/read_samples.h"
#include "records/reftek.h"

namespace {

// A folder of its own, so that the event header search sees only the input's files.
std::string ScratchFolder() {
  const auto folder =
      std::filesystem::temp_directory_path() / ("tarvik_fuzz_reftek_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  return folder.string();
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  static const std::string folder = ScratchFolder();
  // The input's first half-kilobyte also stands as an earlier file of the same folder.
  static const std::string earlier = folder + "/000000000_00000000";
  static const std::string path = folder + "/000000001_00000000";
  Write(earlier, data, std::min<size_t>(size, 1024));
  Write(path, data, size);

  TFileRecordInfo info;
  ReadReftekHeader(path, info, 100.0);
  TRecList list;
  BuildReftekSegments(path, list, "");
  SampleReader reader;
  for (const TRecordDescription& seg : list.Items) reader.Read(seg);

  for (int pass = 0; pass < 2; ++pass) {
    int channels = std::clamp(info.ChannelCount, 0, kMaxChannels);
    int64_t length = std::clamp<int64_t>(info.SampleCount, 0, 1 << 12);
    if (pass == 1 && size >= 2) {
      channels = data[0] % 20;
      length = data[1] * 3;
    }
    TData32 matrix(static_cast<size_t>(channels),
                   std::vector<int32_t>(static_cast<size_t>(length), 0));
    LoadTarget target;
    target.data = &matrix;
    if (pass == 1 && size >= 3) target.channel_positions[data[2] % 16] = -int64_t{data[2]};
    ReadReftekInto(path, target);
  }
  return 0;
}

// miniSEED files: the record walk of the header reader and the segment builder, each segment's
// samples, and the record parser on the raw input.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "records/miniseed.h"
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
  static const std::string path = ScratchFile("in.mseed");
  Write(path, data, size);

  TFileRecordInfo info;
  ReadMiniSeedHeader(path, info, 100.0);
  TRecList list;
  BuildMiniSeedSegments(path, list, "");
  SampleReader reader;
  for (const TRecordDescription& seg : list.Items) reader.Read(seg);
  // The loader's merge over the file's span, when that span is of a sane length.
  if (!list.empty() && info.SampRate > 0.0) {
    const auto [from, to] = list.Span();
    if ((to - from) * 86400.0 * info.SampRate < 1e5) {
      list.GetData(info.Station, "00", to, from, info.ChannelNames[0]);
    }
  }

  TMiniSEEDPacket packet;
  const size_t head = std::min<size_t>(size, kMiniSeedDefaultRecordLength);
  ParseMiniSeedRecord(std::span<const uint8_t>(data, head), static_cast<int64_t>(size), packet,
                      true);
  return 0;
}

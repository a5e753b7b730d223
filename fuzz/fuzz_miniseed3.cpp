// miniSEED 3 files: the header reader, the segment builder and each segment's samples, the
// record parser on the raw input, and the walk: sound records in file order, each wholly inside
// the file and never overlapping the one before.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/miniseed3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.ms3", data, size);
  const auto [info, list] =
      fuzz::ReadEverySegment(path, ReadMiniSeed3Header, BuildMiniSeed3Segments);

  int64_t end = 0;
  ForEachMiniSeed3Record(path, [&](int64_t offset, const Ms3Record& r) {
    if (offset < end || r.Length < kMiniSeed3FixedHeader ||
        offset + r.Length > static_cast<int64_t>(size)) {
      __builtin_trap();
    }
    // A record the walk takes parses alone, CRC and all.
    Ms3Record again;
    const auto bytes = std::span<const uint8_t>(data + offset, static_cast<size_t>(r.Length));
    if (ParseMiniSeed3Record(bytes, again) != MiniSeed3Status::kOk) __builtin_trap();
    end = offset + r.Length;
  });

  std::vector<TFileRecordInfo> headers;
  ReadMiniSeed3Headers(path, headers);
  if (!headers.empty() && (headers.front().Station != info.Station ||
                           headers.front().SampleCount != info.SampleCount)) {
    __builtin_trap();
  }
  Ms3Record record;
  ParseMiniSeed3Record(std::span<const uint8_t>(data, size), record);
  return 0;
}

// GCF files: the header reader, the segment builder with each segment's samples, and the block
// decoder on the raw input with each difference width.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "records/gcf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  fuzz::ReadEverySegment(fuzz::WriteScratchFile("in.gcf", data, size), ReadGcfHeader,
                         BuildGcfSegments);

  if (size >= 1) {
    std::vector<int32_t> out(static_cast<size_t>(data[0]) * 5);
    for (int width : {1, 2, 4}) DecodeGcf(std::span<const uint8_t>(data + 1, size - 1), width, out);
  }
  return 0;
}

// Reftek 130 files: the header reader (with its search of the folder for an event header), the
// segment builder with each segment's samples, and the sequential reader into a matrix shaped
// by the header and into one shaped by the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/reftek.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  // The input's first kilobyte also stands as an earlier file of the same folder, which the
  // header reader searches for an event header.
  fuzz::WriteScratchFile("000000000_00000000", data, std::min<size_t>(size, 1024));
  const std::string path = fuzz::WriteScratchFile("000000001_00000000", data, size);
  const TFileRecordInfo info =
      fuzz::ReadEverySegment(path, ReadReftekHeader, BuildReftekSegments).Info;

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
    target.Data = &matrix;
    if (pass == 1 && size >= 3) target.ChannelPositions[data[2] % 16] = -int64_t{data[2]};
    ReadReftekInto(path, target);
  }
  return 0;
}

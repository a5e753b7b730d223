// SAF text files: recognition, the header reader, the column segments and their samples, and
// the sequential reader into a matrix of the header's size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "records/formats.h"
#include "records/saf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.saf", data, size);
  (void)Recognize(path);
  const fuzz::FileReading reading = fuzz::ReadEverySegment(path, ReadSafHeader, BuildSafSegments);
  if (reading.info.ChannelCount > 0 && reading.info.SampRate > 0.0) {
    // The record starts a little before or after the file, as a record of several files may.
    const int64_t length = std::clamp<int64_t>(reading.info.SampleCount, 0, 4096);
    for (int64_t shift : {int64_t{0}, int64_t{-3}, int64_t{5}}) {
      TData32 matrix(static_cast<size_t>(reading.info.ChannelCount),
                     std::vector<int32_t>(static_cast<size_t>(length), 0));
      LoadTarget target;
      target.data = &matrix;
      target.first = reading.info;
      target.record_start = reading.info.Start + shift / reading.info.SampRate / 86400.0;
      ReadSafInto(path, target);
      if (target.position < 0 || target.position > length) __builtin_trap();
    }
  }
  return 0;
}

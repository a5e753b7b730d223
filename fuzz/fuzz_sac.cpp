// SAC files: recognition, the header reader, the segment and its samples, and the sequential
// reader into a matrix of the header's size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "records/formats.h"
#include "records/sac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.sac", data, size);
  (void)Recognize(path);
  const fuzz::FileReading reading = fuzz::ReadEverySegment(path, ReadSacHeader, BuildSacSegments);
  if (reading.info.ChannelCount > 0) {
    // The record starts a little before or after the file, as a record of several files may.
    const int64_t length = std::clamp<int64_t>(reading.info.SampleCount, 0, 4096);
    for (int64_t shift : {int64_t{0}, int64_t{-3}, int64_t{5}}) {
      TFileRecordInfo first = reading.info;
      fuzz::ReadIntoMatrix(path, ReadSacInto, first, length, shift);
    }
  }
  if (size >= 4) {
    float delta;
    std::memcpy(&delta, data, 4);
    if (delta > 0.0f) (void)SacRate(delta);
  }
  return 0;
}

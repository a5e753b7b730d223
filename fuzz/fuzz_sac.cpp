// SAC files: recognition, the header reader, the segment and its samples, and the sequential
// reader into a matrix of the header's size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "records/formats.h"
#include "records/sac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.sac", data, size);
  (void)Recognize(path);
  const fuzz::FileReading reading = fuzz::ReadEverySegment(path, ReadSacHeader, BuildSacSegments);
  fuzz::ReadIntoShiftedRecords(path, ReadSacInto, reading.Info);
  if (size >= 4) {
    float delta;
    std::memcpy(&delta, data, 4);
    if (delta > 0.0f) (void)SacRate(delta);
  }
  return 0;
}

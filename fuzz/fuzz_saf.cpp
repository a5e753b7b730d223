// SAF text files: recognition, the header reader, the column segments and their samples, and
// the sequential reader into a matrix of the header's size.
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
  fuzz::ReadIntoShiftedRecords(path, ReadSafInto, reading.Info);
  return 0;
}

// Reads arbitrary bytes as an ADB and as a DDB file: header, segments and their samples.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "records/adb_ddb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  fuzz::ReadEverySegment(fuzz::WriteScratchFile("x.adb", data, size), ReadAdbHeader,
                         BuildAdbSegments);
  fuzz::ReadEverySegment(fuzz::WriteScratchFile("x.ddb", data, size), ReadDdbHeader,
                         BuildDdbSegments);
  return 0;
}

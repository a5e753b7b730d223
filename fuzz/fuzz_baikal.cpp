// Reads arbitrary bytes as a Baikal file: header, segments and their samples.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "records/baikal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  fuzz::ReadEverySegment(fuzz::WriteScratchFile("x.baikal", data, size), ReadBaikalHeader,
                         BuildBaikalSegments);
  return 0;
}

// Reads arbitrary bytes as the three files of a one-component set: header and sequential
// reading at a position chosen by the first byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/ugr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tarvik::fuzz::WriteScratchFile;
  const std::string z = WriteScratchFile("110131_12Z3015_25.ugrABC", data, size);
  WriteScratchFile("110131_12E3015_25.ugrABC", data, size / 2);
  WriteScratchFile("110131_12N3015_25.ugrABC", data + size / 3, size - size / 3);
  tarvik::LoadTarget target;
  if (!tarvik::ReadUgrHeader(z, target.First, 100.0)) return 0;
  const int64_t length = std::min<int64_t>(target.First.SampleCount + 3, 4096);
  tarvik::TData32 matrix(3, std::vector<int32_t>(static_cast<size_t>(length), 0));
  target.Data = &matrix;
  target.Position = size > 0 ? static_cast<int8_t>(data[0]) : 0;
  tarvik::ReadUgrInto(z, target);
  return 0;
}

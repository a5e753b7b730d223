// Sample reading of one segment by its sample type code: the input's first 24 bytes describe the
// segment (type, count, offset, block size, stride, skip, calibration), the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "fuzz_support.h"
#include "records/read_samples.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  constexpr size_t kHead = 24;
  if (size < kHead) return 0;
  const std::string path = fuzz::WriteScratchFile("in.samples", data + kHead, size - kHead);

  TRecordDescription seg;
  seg.FileName = path;
  seg.DataType = data[0] % kSampleTypeCount;
  // Counts up to a few hundred thousand: larger ones are cut to the file's bound anyway.
  seg.Count = static_cast<int32_t>(LoadU32BE(data + 1) % 300000) - 8;
  seg.Offset = static_cast<int32_t>(LoadU32BE(data + 5) % 70000) - 8;
  seg.BlockSize = static_cast<int32_t>(LoadU32BE(data + 9) % 70000) - 8;
  seg.Stride = static_cast<int8_t>(data[13]);
  seg.Skip = static_cast<int8_t>(data[14]);
  float calib = 0.0f;
  std::memcpy(&calib, data + 15, sizeof calib);
  seg.Calib = calib;
  seg.SampRate = 100.0;

  const std::vector<int32_t> samples = ReadSamples(seg);
  if (samples.size() > static_cast<size_t>(std::max<int32_t>(seg.Count, 0))) __builtin_trap();
  return 0;
}

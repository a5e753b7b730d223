// SL sets: the input is split into the header file and two channel files (the first byte sets
// where the header file ends, the second where the first channel file ends).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/formats.h"
#include "records/sl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  if (size < 2) return 0;
  const size_t rest = size - 2;
  const size_t header = std::min<size_t>(rest, data[0]);
  const size_t first = std::min<size_t>(rest - header, size_t{data[1]} * 16);
  const uint8_t* p = data + 2;
  const std::string path = fuzz::WriteScratchFile("set.sl", p, header);
  fuzz::WriteFile(SlChannelFileName(path, 0), p + header, first);
  fuzz::WriteFile(SlChannelFileName(path, 1), p + header + first, rest - header - first);

  int sub_kind = 0;
  RecognizeSl(path, &sub_kind);
  Recognize(path);
  TFileRecordInfo info;
  ReadSlHeader(path, info, 0.0);
  // The header's own length, bounded; then a short matrix written from before its start.
  fuzz::ReadIntoMatrix(path, ReadSlInto, info, std::clamp<int64_t>(info.SampleCount, 0, 4096), 0);
  fuzz::ReadIntoMatrix(path, ReadSlInto, info, 300, -100);
  std::vector<int32_t> out;
  DecodeSlBlock(std::span<const uint8_t>(p, rest), data[0], data[1] % 20, out);
  return 0;
}

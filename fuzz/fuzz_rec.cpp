// REC block files: recognition, both header readers, the sequential reader into a matrix shaped
// by the header, and the data block decoder on the raw input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/formats.h"
#include "records/rec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  const std::string path = fuzz::WriteScratchFile("in.rec", data, size);

  Recognize(path);
  TFileRecordInfo info;
  ReadRecHeader1(path, info, 100.0);
  if (!ReadRecHeader2(path, info, 100.0)) ReadRecHeader1(path, info, 100.0);

  // The header's own shape, its length bounded; then a shape taken from the input's first bytes.
  for (int pass = 0; pass < 2; ++pass) {
    TFileRecordInfo first = info;
    if (pass == 1 && size >= 3) {
      first.ChannelCount = data[0] % 40;
      first.BlockSamples = data[1] * 7;
    }
    fuzz::ReadIntoMatrix(path, ReadRecInto, first, std::clamp<int64_t>(first.SampleCount, 0, 4096),
                         pass == 1 && size >= 3 ? static_cast<int8_t>(data[2]) : 0);
  }

  if (size >= 2) {
    static constexpr FormatTag kTags[] = {kBlockDMU, kBlockDSV, kBlockDMW, kBlockDSW,
                                          kBlockDMX, kBlockDSX, kBlockDSZ};
    const FormatTag tag = kTags[data[0] % std::size(kTags)];
    DecodeRecDataBlock(tag, std::span<const uint8_t>(data + 2, size - 2), data[1] % 48, data[1] * 3,
                       1 << 16);
  }
  return 0;
}

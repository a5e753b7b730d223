// Steim-1 and Steim-2 frames: the input's first two bytes choose the sample count, the rest are
// the frames.
#include <cstdint>
#include <vector>

#include "records/steim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t count = (size_t{data[0]} << 8 | data[1]) % 2048;
  std::vector<int32_t> out(count);
  std::vector<int32_t> portable(count);
  const std::span<const uint8_t> frames(data + 2, size - 2);
  for (int level : {1, 2}) {
    const size_t decoded = tarvik::DecodeSteim(frames, level, out);
    if (decoded > count) __builtin_trap();
    // The unpacking for any processor gives the same samples as the fastest one.
    if (tarvik::DecodeSteim(frames, level, portable, tarvik::SteimUnpack::kPortable) != decoded ||
        portable != out) {
      __builtin_trap();
    }
  }
  return 0;
}

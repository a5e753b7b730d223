#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvik {

// Decodes Steim frames (64 bytes each, big-endian) into out, level 1 or 2. out.size() is the
// segment's Count: its last entry is preset to the reverse integration constant and the others
// to 0, so samples the frames do not reach stay 0. Returns the number of samples decoded.
size_t DecodeSteim(std::span<const uint8_t> frames, int level, std::span<int32_t> out);

}  // namespace tarvik

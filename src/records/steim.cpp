#include "records/steim.h"

// Not yet implemented: no samples are decoded.

namespace tarvik {

size_t DecodeSteim(std::span<const uint8_t>, int, std::span<int32_t>) { return 0; }

}  // namespace tarvik

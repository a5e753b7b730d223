#include "records/gcf.h"

// Not yet implemented.

namespace tarvik {

void DecodeGcf(std::span<const uint8_t>, int, std::span<int32_t>) {}

bool ReadGcfHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void BuildGcfSegments(const std::string&, TRecList&, const std::string&) {}

}  // namespace tarvik

#include "records/reftek.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadReftekHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void BuildReftekSegments(const std::string&, TRecList&, const std::string&) {}

void ReadReftekInto(const std::string&, LoadTarget&) {}

}  // namespace tarvik

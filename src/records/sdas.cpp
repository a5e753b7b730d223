#include "records/sdas.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadSdasHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void ReadSdasInto(const std::string&, LoadTarget&) {}

}  // namespace tarvik

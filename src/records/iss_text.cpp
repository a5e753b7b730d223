#include "records/iss_text.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadIssHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void ReadIssInto(const std::string&, LoadTarget&) {}

}  // namespace tarvik

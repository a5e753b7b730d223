#include "records/wfdisc.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadWfdiscHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void BuildWfdiscSegments(const std::string&, TRecList&, const std::string&) {}

}  // namespace tarvik

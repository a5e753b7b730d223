#include "records/baikal.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadBaikalHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void BuildBaikalSegments(const std::string&, TRecList&, const std::string&) {}

}  // namespace tarvik

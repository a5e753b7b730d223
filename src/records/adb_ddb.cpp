#include "records/adb_ddb.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadAdbHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

bool ReadDdbHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void BuildAdbSegments(const std::string&, TRecList&, const std::string&) {}

void BuildDdbSegments(const std::string&, TRecList&, const std::string&) {}

}  // namespace tarvik

#include "records/ugr.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

bool ReadUgrHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void ReadUgrInto(const std::string&, LoadTarget&) {}

}  // namespace tarvik

#include "records/sl.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

FormatTag RecognizeSl(const std::string&, int* sub_kind) {
  if (sub_kind) *sub_kind = 0;
  return 0;
}

bool ReadSlHeader(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void ReadSlInto(const std::string&, LoadTarget&) {}

}  // namespace tarvik

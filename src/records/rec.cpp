#include "records/rec.h"

// Not yet implemented: every reader yields the empty result that callers treat as
// "not this format".

namespace tarvik {

FormatTag ReadFirstBlockTag(const std::string&) { return 0; }

bool ReadRecHeader1(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

bool ReadRecHeader2(const std::string&, TFileRecordInfo& info, double) {
  info.Reset();
  return false;
}

void ReadRecInto(const std::string&, LoadTarget&) {}

}  // namespace tarvik

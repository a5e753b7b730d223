#include "records/bigeo.h"

// Not yet implemented.

namespace tarvik {

bool IsBiGeoFile(const std::string&) { return false; }

}  // namespace tarvik

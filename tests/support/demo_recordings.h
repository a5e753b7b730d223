#pragma once

#include <string>

#include "project/demo.h"

namespace tarvik::testing {

// Writes the demo's miniSEED recordings of the given length into folder (created when missing),
// without transients and through a sensor of response 1, for suites that need real files of a
// known station, start and rate. Fails the calling test when they cannot be written.
void WriteShortRecordings(const std::string& folder, int files, double seconds);

}  // namespace tarvik::testing

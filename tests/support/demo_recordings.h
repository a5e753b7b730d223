#pragma once

#include <string>

#include "project/demo.h"
#include "project/project_file.h"

namespace tarvik::testing {

// Writes short demo recordings without transients into folder (created when missing): stations
// TVK01, TVK02, ... with site resonances 2, 5, 8 ... Hz, each files consecutive miniSEED files
// of seconds each, starting 2024-05-14 00:00. Fails the running test when they cannot be written.
void WriteShortRecordings(const std::string& folder, int stations, double seconds, int files);

// Builds the demo project of options in folder (its recordings through the demo's geophone, its
// results under folder) into project. Fails the running test when it cannot be built.
void BuildDemoProjectIn(const std::string& folder, const TDemoOptions& options, UiHost& host,
                        TProject& project);

}  // namespace tarvik::testing

#pragma once

#include <string>

namespace tarvik::testing {

// Writes short demo recordings without transients into folder (created when missing): stations
// TVK01, TVK02, ... with site resonances 2, 5, 8 ... Hz, each files consecutive miniSEED files
// of seconds each, starting 2024-05-14 00:00. Fails the running test when they cannot be written.
void WriteShortRecordings(const std::string& folder, int stations, double seconds, int files);

}  // namespace tarvik::testing

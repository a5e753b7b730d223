#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of a miniSEED file: all records walked; false when no record has blockette 1000.
bool ReadMiniSeedHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// One segment per record with blockette 1000, a rate above 0 and a station.
void BuildMiniSeedSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

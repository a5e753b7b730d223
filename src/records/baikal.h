#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of a Baikal multi-channel file.
bool ReadBaikalHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// One segment per channel.
void BuildBaikalSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

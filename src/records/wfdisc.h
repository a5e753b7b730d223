#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of a CSS 3.0 wfdisc index.
bool ReadWfdiscHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// One segment per index line (only the lines of station when it is not empty).
void BuildWfdiscSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Headers of ADB and DDB three-component files.
bool ReadAdbHeader(const std::string& path, TFileRecordInfo& info, double default_rate);
bool ReadDdbHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// One segment per channel ("Z", "N", "E").
void BuildAdbSegments(const std::string& path, TRecList& list, const std::string& station);
void BuildDdbSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

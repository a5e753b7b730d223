#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of an ISS text trigger file.
bool ReadIssHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// Writes every trigger of the file at its own time offset from the record's start.
void ReadIssInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

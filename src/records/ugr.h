#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of a one-component ".ugr*" set (the rate from the file size, else default_rate).
bool ReadUgrHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// Reads each channel's file of the set at the sequential position.
void ReadUgrInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of an SDAS file; false when its text header cannot be read.
bool ReadSdasHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// Decodes the data blocks of the file at the sequential position.
void ReadSdasInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

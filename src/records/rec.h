#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// The first 4 bytes of the first 8-byte block head of a REC file as a tag; 0 when unreadable.
FormatTag ReadFirstBlockTag(const std::string& path);

// Header of a REC file with a "[HD1" or "[HD2" header block.
bool ReadRecHeader1(const std::string& path, TFileRecordInfo& info, double default_rate);
bool ReadRecHeader2(const std::string& path, TFileRecordInfo& info, double default_rate);

// Decodes every data block of the file into all channels at the sequential position.
void ReadRecInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

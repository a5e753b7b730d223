#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// The tag of an SL header file ("[HS0".."[HS4"), 0 when it is 40 bytes or shorter or
// unreadable; sub_kind (may be null) receives the "[HS0" sub-kind.
FormatTag RecognizeSl(const std::string& path, int* sub_kind);

bool ReadSlHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// Decodes the blocks of the channel files of an SL set at the sequential position.
void ReadSlInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

#pragma once

#include <cstdint>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Header of a Reftek 130 file (rate and names from an earlier file of the folder when this one
// has no event header); false when the file holds no packet.
bool ReadReftekHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// One segment per "DT" packet.
void BuildReftekSegments(const std::string& path, TRecList& list, const std::string& station);

// Decodes every "DT" packet into its channel at that channel's own write position.
void ReadReftekInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

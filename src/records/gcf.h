#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "records/record_model.h"

namespace tarvik {

// Decodes a GCF block's data (the 1008 bytes from block offset 16) with differences of
// diff_bytes (1, 2 or 4) bytes into out; samples beyond the data stay 0.
void DecodeGcf(std::span<const uint8_t> data, int diff_bytes, std::span<int32_t> out);

// Header of a GCF file; false when no block carries samples.
bool ReadGcfHeader(const std::string& path, TFileRecordInfo& info, double default_rate);

// One segment per sample-carrying 1024-byte block.
void BuildGcfSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

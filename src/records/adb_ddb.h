#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// The fields of an ADB (256-byte) or DDB (512-byte) header.
struct TAdbHeader {
  int32_t Device = 0;
  int32_t Number1 = 0;  // the two further numbers; their meaning is not known
  int32_t Number2 = 0;
  TDateTime Start = 0.0;
  double Rate = 0.0;
  int32_t Channels = 0;  // as the header states it
  int32_t Count = 0;     // samples per channel as the header states it
  int64_t FileSize = 0;
};

// The sampling rate of a rate code: 31 and 62 are 31.25 and 62.5 Hz, 35, 70 and 140 are
// multiples of 1 / 0.028 s / 35; any other code is the rate in Hz.
double AdbRateFromCode(int32_t code);

// The header of an ADB (ddb false) or DDB file; nullopt when the file is shorter than its
// header, the date or time is impossible, or the rate is not positive.
std::optional<TAdbHeader> ReadAdbFields(const std::string& path, bool ddb, TStatus* why = nullptr);

// Headers of ADB and DDB three-component files. At most 32 channels are kept, and the sample
// count is held to what the file's data part can hold.
bool ReadAdbHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);
bool ReadDdbHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);

// One segment per channel ("Z", "N", "E"); station is not used (the file holds one device).
void BuildAdbSegments(const std::string& path, TRecList& list, const std::string& station);
void BuildDdbSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

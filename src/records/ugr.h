#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// The start time a one-component file's name carries ("YYMMDD?HHCMMSS?cc": year - 2000, month,
// day, hour, the component letter C, minute, second, hundredths); nullopt when the name does
// not hold that layout.
std::optional<TDateTime> UgrStartFromName(const std::string& path);

// The station of a one-component file: up to three characters after ".UGR" in the extension.
std::string UgrStationFromName(const std::string& path);

// The sampling rate a one-component file of this many bytes implies: 50 Hz for 6000 samples,
// 100 Hz for 12000, 200 Hz for 48004 to 96003 bytes, otherwise default_rate.
double UgrRateFromSize(int64_t file_size, double default_rate);

// The path of the set's file of another component: the tenth character of the name replaced.
std::string UgrComponentPath(const std::string& path, char component);

// Header of a one-component ".ugr*" set (the rate from the file size, else default_rate). False
// when the file cannot be opened or its name does not carry a start time.
bool ReadUgrHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);

// Reads each channel's file of the set into its channel at the sequential position (what lies
// outside the matrix is dropped; a missing file leaves its channel 0), then advances the
// position by this file's sample count.
void ReadUgrInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

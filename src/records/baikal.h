#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// One channel's 72-byte header: its name and coefficient.
struct TBaikalChannelHeader {
  std::string Name;
  double Coefficient = 0.0;
};
using TBaikalChannelHeaders = std::vector<TBaikalChannelHeader>;

// The fields of a Baikal file's headers and the layout of its samples.
struct TBaikalHeader {
  int32_t Channels = 0;  // channels in the file; the samples are interleaved over all of them
  std::string Station;
  TDateTime Start = 0.0;
  double Interval = 0.0;   // seconds between samples
  int32_t Resolution = 0;  // bits per sample: up to 16 stored as int16, more as int32
  int32_t BytesPerSample = 0;
  int64_t DataStart = 0;
  int32_t Samples = 0;                   // per channel
  TBaikalChannelHeaders ChannelHeaders;  // the first 32 channels' headers
};

// The headers of a Baikal file; nullopt when the file is shorter than its headers, names no
// channel, or its date or sampling interval is impossible.
std::optional<TBaikalHeader> ReadBaikalFields(const std::string& path, TStatus* why = nullptr);

// Header of a Baikal multi-channel file: the first 32 channels of a file that has more.
bool ReadBaikalHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                      TStatus* why = nullptr);

// One segment per channel (of the first 32); station is not used (the file holds one station).
void BuildBaikalSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

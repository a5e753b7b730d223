#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/datetime.h"
#include "records/record_model.h"

namespace tarvik {

class UiHost;

// Where the sample loader wants one file's samples: the record's matrix (sized by the loader
// from the headers), the sequential write position, per-channel positions for formats whose
// channels advance independently, and the record's start for formats placed by time.
struct LoadTarget {
  TData32* data = nullptr;
  // Samples per channel written so far by sequential formats; the next file starts here.
  int64_t position = 0;
  // Per-channel write positions (Reftek packets carry one channel each).
  std::array<int64_t, 16> channel_positions{};
  TDateTime record_start = 0.0;
  // Header of the record's first file: channel count, names, BlockSamples.
  TFileRecordInfo first;
  double default_rate = 0.0;
  // Progress within the file; may be null.
  UiHost* host = nullptr;

  int ChannelCount() const;
  int64_t Length() const;
};

// Copies samples into channel at [pos, pos + n), dropping whatever falls before index 0 or past
// the end of the matrix (or on a channel the matrix does not have). Returns the samples written.
int64_t WriteClipped(TData32& data, int channel, int64_t pos, std::span<const int32_t> samples);

}  // namespace tarvik

#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/datetime.h"
#include "records/record_model.h"
#include "records/sample_ranges.h"

namespace tarvik {

class UiHost;

// Where the sample loader wants one file's samples: the record's matrix (sized by the loader
// from the headers), the sequential write position, per-channel positions for formats whose
// channels advance independently, and the record's start for formats placed by time.
struct LoadTarget {
  TData32* Data = nullptr;
  // Samples per channel written so far by sequential formats; the next file starts here.
  int64_t Position = 0;
  // Per-channel write positions (Reftek packets carry one channel each).
  std::array<int64_t, 16> ChannelPositions{};
  TDateTime RecordStart = 0.0;
  // Header of the record's first file: channel count, names, BlockSamples.
  TFileRecordInfo First;
  double DefaultRate = 0.0;
  // Progress within the file; may be null.
  UiHost* Host = nullptr;
  // Per channel, the indices that hold recorded samples. Whatever a reader leaves out (a gap,
  // a block that failed to decode, the end of a file cut short) stays zero and is not here.
  TChannelRanges Written;

  int ChannelCount() const;
  int64_t Length() const;

  // Copies samples into channel from pos on (clipped as WriteClipped clips) and records the
  // first `sound` of them as recorded data; the rest (a damaged block's samples) are written
  // but stay unrecorded. Returns the samples written.
  int64_t Write(int channel, int64_t pos, std::span<const int32_t> samples);
  int64_t Write(int channel, int64_t pos, std::span<const int32_t> samples, int64_t sound);
  // Records [pos, pos + n) of channel as recorded data, clipped to the matrix, for readers that
  // fill the matrix themselves.
  void MarkWritten(int channel, int64_t pos, int64_t n);
  // Takes [pos, pos + n) of channel out of the recorded data (a later damaged block over it).
  void MarkUnwritten(int channel, int64_t pos, int64_t n);
};

// Copies samples into channel at [pos, pos + n), dropping whatever falls before index 0 or past
// the end of the matrix (or on a channel the matrix does not have). Returns the samples written.
int64_t WriteClipped(TData32& data, int channel, int64_t pos, std::span<const int32_t> samples);

}  // namespace tarvik

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "records/record_model.h"

namespace tarvik {

inline constexpr int kGcfBlockBytes = 1024;
inline constexpr int kGcfHeaderBytes = 16;
// The part of a block that holds the integration constants and the difference records.
inline constexpr int kGcfDataBytes = kGcfBlockBytes - kGcfHeaderBytes;

// The 16-byte head of one GCF block.
struct TGcfBlockHeader {
  std::string StreamId;   // six base-36 characters
  std::string Station;    // the first four of them
  char Component = 0;     // the fifth
  TDateTime Start = 0.0;  // date code plus the start-time fraction
  double SampRate = 0.0;
  int Compression = 0;  // bytes per difference: 1, 2 or 4
  int Records = 0;      // 4-byte data records
  int32_t SampleCount = 0;
  // A status block: a rate code of 0.
  bool Status = false;
  // Why the 16 bytes are not the head of a GCF block (a field out of its range); empty when
  // they are.
  TStatus Problem;
  // A data block of a seismic stream with a rate and a compression that can be decoded; status
  // and damaged blocks carry nothing.
  bool CarriesSamples = false;
};

// A 32-bit value as six base-36 characters, most significant first, leading zeros kept.
std::string GcfBase36(uint32_t value);

// The sampling rate and the start-time fraction denominator of a rate code.
double GcfRate(int rate_code);
int GcfFractionDenominator(int rate_code);

// Parses the 16 bytes at the start of a block.
TGcfBlockHeader ParseGcfBlockHeader(std::span<const uint8_t, kGcfHeaderBytes> head);

// Decodes a GCF block's data (the 1008 bytes from block offset 16) with differences of
// diff_bytes (1, 2 or 4) bytes into out; samples beyond the data stay 0. Returns the samples
// decoded.
size_t DecodeGcf(std::span<const uint8_t> data, int diff_bytes, std::span<int32_t> out);

// How many of the samples DecodeGcf gave (decoded of out.size()) are recorded data: none when
// the last disagrees with the block's reverse integration constant (the block is damaged),
// the decoded ones when the data ended early, all of them otherwise.
size_t GcfSoundSamples(std::span<const uint8_t> data, int diff_bytes, std::span<const int32_t> out,
                       size_t decoded);

// Header of a GCF file; false when the file is not GCF (its first block's head is not that of
// a GCF block, or most of its blocks' are not) or no block carries samples.
bool ReadGcfHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);

// One segment per sample-carrying 1024-byte block.
void BuildGcfSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

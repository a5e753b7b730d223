#pragma once

// The store of segment PSDs: one file per channel and UTC day,
// RESULTS/PSD/NET.STA.LOC.CHA/YYYY-DDD.psd, holding the settings, the channel's response and
// every segment of the day that was computed (its start, a fingerprint of what it was computed
// from, its PSD on the period grid and at every line). The layout is described in
// docs/psd_store.md. Files are replaced whole (temporary name, then rename); the reader checks
// every count against the file's size.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace tarvik {

struct TPsdSegment {
  // Nominal start of the segment, Unix seconds (UTC).
  double Start = 0.0;
  // Of the samples, the gap-free check and the response factors the PSD came from.
  uint64_t Fingerprint = 0;
  // dB re 1 (m/s²)²/Hz on the period grid and at every line; NaN where not computed. Full is
  // empty when the file was read without it.
  std::vector<float> Grid;
  std::vector<float> Full;
};

struct TPsdDay {
  std::string Channel;   // "NET.STA.LOC.CHA"
  std::string Response;  // the response files and ADC coefficient the PSDs were divided by
  double Rate = 0.0;
  double SegmentSeconds = 0.0;
  double Overlap = 0.0;
  int32_t Nfft = 0;
  std::vector<double> Periods;
  // Segments of the day left out because they held gaps or damaged data.
  int32_t Skipped = 0;
  std::vector<TPsdSegment> Segments;  // ascending by Start

  int32_t Lines() const { return Nfft / 2 + 1; }
  // Whether other was computed with the same settings and on the same grid.
  bool SameSettings(const TPsdDay& other) const;
};

// The bytes of a store file.
std::string EncodePsdDay(const TPsdDay& day);

// Reads a store file from its bytes; with_full false leaves every segment's Full empty. False,
// with the reason and the byte offset where it applies, when the bytes are not a whole store
// file of this layout.
bool DecodePsdDay(std::string_view bytes, TPsdDay& day, TStatus* why, bool with_full = true);

// The same from a file; without the full-resolution values only the header and the grid values
// are read. The reason puts the decoder's under the file's path (File set, and Offset when the
// byte at fault is known).
bool ReadPsdDay(const std::filesystem::path& path, TPsdDay& day, TStatus* why,
                bool with_full = true);

// Replaces path with day (creating its folder), or leaves the earlier file as it was and tells
// why in error.
bool WritePsdDay(const std::filesystem::path& path, const TPsdDay& day, TStatus& error);

// "NET.STA.LOC.CHA" with every character that a file name cannot safely hold made "_".
std::string PsdChannelFolder(std::string_view channel);

// "2024-123.psd" for the UTC day that holds unix_day·86400.
std::string PsdDayFileName(int64_t unix_day);
// The day of a file name made by PsdDayFileName; false for any other name.
bool ParsePsdDayFileName(std::string_view name, int64_t& unix_day);

// A 64-bit hash of size bytes (not cryptographic: it tells changed data from unchanged),
// continued from seed.
uint64_t Fingerprint(const void* data, size_t size, uint64_t seed = 0xcbf29ce484222325ULL);

}  // namespace tarvik

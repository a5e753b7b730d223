#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// SESAME ASCII data format (SAF) of portable three-component instruments: a first line naming
// the format and its version, "KEY = value" lines, a line beginning "####", then one row of
// three numbers per sample.
struct SafHeader {
  int Version = 0;
  std::string Station;
  TDateTime Start = 0.0;
  double Rate = 0.0;
  int32_t Samples = 0;  // NDAT
  std::array<std::string, 3> Channels;
  // Lines before the first data row (the "####" line included).
  int32_t HeaderLines = 0;
};

// True when text begins with the first line of a SAF file (any version).
bool LooksLikeSafStart(std::string_view text);
// True when the file begins so.
bool IsSafFile(const std::string& path);

// The header of a SAF file whose rows agree with it (NDAT rows of three numbers), and the scale
// that holds each channel's values as counts; nullopt (and *why) otherwise. STA_CODE missing
// gives the file's name without extension as the station; CH0_ID to CH2_ID missing give the
// usual V, N, E.
struct SafFile {
  SafHeader Header;
  std::array<double, 3> Scales{1.0, 1.0, 1.0};
};
std::optional<SafFile> ReadSafFile(const std::string& path, TStatus* why = nullptr);

// The component (Axis value) a channel key gives: its last letter Z, V or U (or "UD") Z, N (or
// "NS") N, E (or "EW") E; -1 for any other.
int32_t SafAxis(std::string_view id);

// Three channels named by CH0_ID to CH2_ID, NDAT samples at SAMP_FREQ from START_TIME, each
// channel's values held as counts of its own scale (the channel coefficient).
bool ReadSafHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);

// One text segment per channel (its column of the rows).
void BuildSafSegments(const std::string& path, TRecList& list, const std::string& station);

// Places the file's rows by time into the record's channels (matched by name, else by column),
// scaled by the first file's coefficients; a file of another sampling rate is left out.
void ReadSafInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

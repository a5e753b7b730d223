#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// SAC binary files: a 632-byte header (70 floats, 40 integers, then text fields) in the byte
// order of the machine that wrote it, followed by one channel of float32 samples.
inline constexpr int64_t kSacHeaderSize = 632;
// The value that marks a header field as undefined.
inline constexpr int32_t kSacUndefined = -12345;

// The fields of a SAC header that the reader uses.
struct SacHeader {
  bool LittleEndian = true;
  float Delta = 0.0f;   // sampling interval, seconds
  float Depmin = 0.0f;  // the extremes of the samples (undefined: -12345)
  float Depmax = 0.0f;
  float B = 0.0f;       // first sample's time after the reference time, seconds
  float Cmpaz = 0.0f;   // component azimuth, degrees from north
  float Cmpinc = 0.0f;  // component incidence, degrees from vertical
  int32_t Nzyear = 0, Nzjday = 0, Nzhour = 0, Nzmin = 0, Nzsec = 0, Nzmsec = 0;
  int32_t Nvhdr = 0;
  int32_t Npts = 0;
  int32_t Iftype = 0;
  int32_t Leven = 0;
  // Text fields trimmed; empty where undefined ("-12345").
  std::string Kstnm, Knetwk, Khole, Kcmpnm;
};

// True when the first kSacHeaderSize bytes of a file are a SAC header of version 6 in either
// byte order: the version word (word 76) and the file type and evenness words agree with it.
bool LooksLikeSacHeader(const uint8_t* head, size_t size);
// True when the file begins with such a header.
bool IsSacFile(const std::string& path);

// The header of a SAC file that holds an evenly sampled time series of float32 samples, checked
// against the file's size; nullopt (and *why) when the file is not one.
std::optional<SacHeader> ReadSacFields(const std::string& path, TStatus* why = nullptr);

// The start of the first sample: reference time (an undefined one counts as 1970-01-01) plus B.
// nullopt when the reference time is partly undefined or out of range.
std::optional<TDateTime> SacStart(const SacHeader& h);

// The sampling rate of a sampling interval stored as a float: the rate of fewest significant
// digits whose interval rounds to that float (0.01 gives 100 Hz, not 100.0000022).
double SacRate(float delta);

// The component (Axis value) of a SAC channel: from the last letter of its name (Z or 3 Z, N or
// 1 N, E or 2 E), otherwise from the orientation (incidence 0 or 180 Z; incidence 90 with
// azimuth 0 or 360 N, with azimuth 90 E); -1 when neither tells.
int32_t SacAxis(const std::string& channel, float cmpaz, float cmpinc);

// One channel: station KSTNM, channel KCMPNM (undefined: the letter of its orientation), the
// sampling rate 1 / DELTA, NPTS samples held as
// counts of the file's own scale (the channel coefficient). False, with *why, for a file that is
// not a readable SAC time series.
bool ReadSacHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why = nullptr);

// One segment: the file's float32 samples scaled by its coefficient; location KHOLE ("00" when
// undefined).
void BuildSacSegments(const std::string& path, TRecList& list, const std::string& station);

// Places the file's samples by time into the record's single channel, scaled by the first
// file's coefficient; a file of another channel or sampling rate than the first is left out.
void ReadSacInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

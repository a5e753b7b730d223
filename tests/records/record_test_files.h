#pragma once

// Small writers of recorder files for the assembly, loading and compression suites: miniSEED
// records of 32-bit samples, and a helper that compares loaded matrices.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "test_files.h"

namespace tarvik::testing {

// One channel of a miniSEED file: big-endian int32 samples (encoding 3) in 512-byte records
// of 112 samples, each record stamped with its own start time.
struct MsChannel {
  std::string Station = "ABC";
  std::string Location;
  std::string Channel = "HHZ";
  TDateTime Start = 0.0;
  int Rate = 100;  // Hz, whole numbers only
  std::vector<int32_t> Samples;
};

inline constexpr int kMsRecordBytes = 512;
inline constexpr int kMsRecordSamples = (kMsRecordBytes - 64) / 4;

inline void AppendMiniSeed(std::vector<uint8_t>& out, const MsChannel& ch) {
  // Times in ten-thousandths of a second, so that every record's stamp is exact.
  const auto start = static_cast<int64_t>(std::llround(ch.Start * 864000000.0));
  for (size_t first = 0; first < ch.Samples.size(); first += kMsRecordSamples) {
    const size_t n = std::min<size_t>(kMsRecordSamples, ch.Samples.size() - first);
    const int64_t t = start + static_cast<int64_t>(first) * 10000 / ch.Rate;
    const int64_t day = t / 864000000;
    int64_t rest = t % 864000000;
    const CivilTime civil = DecodeDateTime(static_cast<double>(day));
    const int doy = static_cast<int>(DaysFromCivil(civil.Year, civil.Month, civil.Day) -
                                     DaysFromCivil(civil.Year, 1, 1)) +
                    1;
    const int hour = static_cast<int>(rest / 36000000);
    rest %= 36000000;
    const int minute = static_cast<int>(rest / 600000);
    rest %= 600000;
    const int second = static_cast<int>(rest / 10000);
    const int tenth_ms = static_cast<int>(rest % 10000);

    std::vector<uint8_t> r;
    PutText(r, "000001D ", 8);
    PutText(r, ch.Station, 5);
    PutText(r, ch.Location, 2);
    PutText(r, ch.Channel, 3);
    PutText(r, "XX", 2);
    PutU16BE(r, static_cast<uint16_t>(civil.Year));
    PutU16BE(r, static_cast<uint16_t>(doy));
    r.push_back(static_cast<uint8_t>(hour));
    r.push_back(static_cast<uint8_t>(minute));
    r.push_back(static_cast<uint8_t>(second));
    r.push_back(0);
    PutU16BE(r, static_cast<uint16_t>(tenth_ms));
    PutU16BE(r, static_cast<uint16_t>(n));
    PutU16BE(r, static_cast<uint16_t>(ch.Rate));  // rate factor
    PutU16BE(r, 1);                               // rate multiplier
    r.insert(r.end(), {0, 0, 0, 1});              // flags, one blockette
    PutU32BE(r, 0);                               // time correction
    PutU16BE(r, 64);                              // beginning of data
    PutU16BE(r, 48);                              // first blockette
    PutU16BE(r, 1000);
    PutU16BE(r, 0);
    r.insert(r.end(), {3, 1, 9, 0});  // int32, big-endian, 2^9 bytes
    r.resize(64, 0);
    for (size_t i = 0; i < n; ++i) PutU32BE(r, static_cast<uint32_t>(ch.Samples[first + i]));
    r.resize(kMsRecordBytes, 0);
    out.insert(out.end(), r.begin(), r.end());
  }
}

inline void WriteMiniSeed(const std::string& path, const std::vector<MsChannel>& channels) {
  std::vector<uint8_t> bytes;
  for (const MsChannel& ch : channels) AppendMiniSeed(bytes, ch);
  WriteBytes(path, bytes);
}

// A signal that differs from channel to channel and from sample to sample.
inline std::vector<int32_t> TestSignal(size_t n, int seed, size_t offset = 0) {
  std::vector<int32_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double k = static_cast<double>(i + offset);
    out[i] = static_cast<int32_t>(1000 * seed + std::lround(800.0 * std::sin(k * 0.07 * seed) +
                                                            (static_cast<int>(k) * 37 % 101)));
  }
  return out;
}

}  // namespace tarvik::testing

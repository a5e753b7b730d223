#pragma once

// A writer of miniSEED 3 records for the suites of that format.

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "records/miniseed3.h"
#include "test_files.h"

namespace tarvik::testing {

// The fields of one record.
struct Ms3Fields {
  std::string Sid = "FDSN:XX_TEST_00_B_H_Z";
  std::string Extra;  // JSON extra headers
  double UnixStart = 1700000000.25;
  int Encoding = 3;
  double Rate = 100.0;  // a negative value is a period in seconds
  uint32_t Count = 0;
  std::vector<uint8_t> Payload;
};

// The record, after the FDSN definition: a 40-byte little-endian fixed header, the source
// identifier, the extra headers, the payload; the CRC-32C is of the whole record with its own
// field zero.
inline std::vector<uint8_t> MakeMs3(const Ms3Fields& s) {
  auto whole = static_cast<int64_t>(std::floor(s.UnixStart));
  auto ns = static_cast<uint32_t>(std::llround((s.UnixStart - whole) * 1e6) * 1000);
  if (ns >= 1000000000u) {
    ++whole;
    ns = 0;
  }
  const int64_t days = whole / 86400;
  const int64_t seconds = whole % 86400;
  const CivilTime civil = DecodeDateTime(static_cast<double>(days) + kUnixEpochDays);
  const auto doy = static_cast<uint16_t>(DaysFromCivil(civil.Year, civil.Month, civil.Day) -
                                         DaysFromCivil(civil.Year, 1, 1) + 1);
  std::vector<uint8_t> b = {'M', 'S', 3, 0};
  PutU32LE(b, ns);
  PutU16LE(b, static_cast<uint16_t>(civil.Year));
  PutU16LE(b, doy);
  b.push_back(static_cast<uint8_t>(seconds / 3600));
  b.push_back(static_cast<uint8_t>(seconds / 60 % 60));
  b.push_back(static_cast<uint8_t>(seconds % 60));
  b.push_back(static_cast<uint8_t>(s.Encoding));
  const auto rate = std::bit_cast<uint64_t>(s.Rate);
  PutU32LE(b, static_cast<uint32_t>(rate));
  PutU32LE(b, static_cast<uint32_t>(rate >> 32));
  PutU32LE(b, s.Count);
  PutU32LE(b, 0);  // CRC, set below
  b.push_back(1);  // publication version
  b.push_back(static_cast<uint8_t>(s.Sid.size()));
  PutU16LE(b, static_cast<uint16_t>(s.Extra.size()));
  PutU32LE(b, static_cast<uint32_t>(s.Payload.size()));
  b.insert(b.end(), s.Sid.begin(), s.Sid.end());
  b.insert(b.end(), s.Extra.begin(), s.Extra.end());
  b.insert(b.end(), s.Payload.begin(), s.Payload.end());
  const uint32_t crc = Crc32c(b);
  for (int i = 0; i < 4; ++i) b[28 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
  return b;
}

}  // namespace tarvik::testing

#pragma once

// Helpers of the packet-format suites: the reference listings of the real corpus and small
// writers of miniSEED records and Steim frames.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace tarvik::testing {

// One record of a listing: "# NET STA LOC CHAN START RATE N ENCODING RECLEN", then its samples.
struct RefRecord {
  std::string Station, Location, Channel;
  double StartUnix = 0.0, Rate = 0.0;
  int Count = 0, Encoding = 0, RecordLength = 0;
  std::vector<double> Samples;
};

inline std::vector<double> ParseNumbers(const std::string& line) {
  std::vector<double> out;
  std::istringstream in(line);
  for (double v = 0.0; in >> v;) out.push_back(v);
  return out;
}

// The records of a ".ref.txt" listing (fields are single-space separated; empty ones stay).
inline std::vector<RefRecord> ReadRefListing(const std::string& path) {
  std::ifstream in(path);
  std::vector<RefRecord> out;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f(1);
    for (char c : line) {
      if (c == ' ') {
        f.emplace_back();
      } else {
        f.back().push_back(c);
      }
    }
    if (f.size() < 10 || f[0] != "#") continue;
    RefRecord r{f[2],
                f[3],
                f[4],
                std::stod(f[5]),
                std::stod(f[6]),
                std::stoi(f[7]),
                std::stoi(f[8]),
                std::stoi(f[9]),
                {}};
    std::string samples;
    std::getline(in, samples);
    r.Samples = ParseNumbers(samples);
    out.push_back(std::move(r));
  }
  return out;
}

// The arrays of a listing of "# arr_N type (n,)" lines, each followed by its samples.
inline std::vector<std::vector<int32_t>> ReadRefArrays(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<int32_t>> out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# arr_", 0) != 0) continue;
    std::getline(in, line);
    std::vector<int32_t>& a = out.emplace_back();
    for (double v : ParseNumbers(line)) a.push_back(static_cast<int32_t>(v));
  }
  return out;
}

// Steim-1 frames holding every difference as one 32-bit word: plain enough to be right by
// inspection, so decoders can be checked against it.
inline std::vector<uint8_t> SimpleSteim1(const std::vector<int32_t>& samples, size_t frames) {
  std::vector<uint8_t> out;
  size_t next = 0;  // the sample whose difference goes next
  for (size_t f = 0; f < frames; ++f) {
    std::vector<uint32_t> w(16, 0);
    if (f == 0 && !samples.empty()) {
      w[1] = static_cast<uint32_t>(samples.front());
      w[2] = static_cast<uint32_t>(samples.back());
    }
    for (int i = f == 0 ? 3 : 1; i < 16 && next < samples.size(); ++i, ++next) {
      const uint32_t previous = next == 0 ? 0u : static_cast<uint32_t>(samples[next - 1]);
      w[static_cast<size_t>(i)] = static_cast<uint32_t>(samples[next]) - previous;
      w[0] |= 3u << (30 - 2 * i);
    }
    for (uint32_t v : w) PutU32BE(out, v);
  }
  return out;
}

// One big-endian miniSEED record: blockette 1000 at 48, then 1001 and 100 when given.
struct MsRecordLayout {
  std::string Station = "STA", Location, Channel = "HHZ";
  int Year = 2020, Day = 100, Second = 3, Count = 0;
  int RateFactor = 100, RateMultiplier = 1;
  int DataOffset = 64, Encoding = 10, WordOrder = 1, Exponent = 9;
  std::optional<float> B100Rate;
  std::optional<int> TimingQuality;
  std::vector<uint8_t> Data;
  size_t RecordBytes = 0;  // 0: 2^exponent
};

inline std::vector<uint8_t> MakeMsRecord(const MsRecordLayout& s) {
  std::vector<uint8_t> r;
  PutText(r, "000001D ", 8);
  PutText(r, s.Station, 5);
  PutText(r, s.Location, 2);
  PutText(r, s.Channel, 3);
  PutText(r, "XX", 2);
  PutU16BE(r, static_cast<uint16_t>(s.Year));
  PutU16BE(r, static_cast<uint16_t>(s.Day));
  for (int b : {1, 2, s.Second, 0, 0, 0}) r.push_back(static_cast<uint8_t>(b));  // 01:02:ss.0000
  PutU16BE(r, static_cast<uint16_t>(s.Count));
  PutU16BE(r, static_cast<uint16_t>(s.RateFactor));
  PutU16BE(r, static_cast<uint16_t>(s.RateMultiplier));
  PutU32BE(r, 0);  // flags, blockette count
  PutU32BE(r, 0);  // time correction
  PutU16BE(r, static_cast<uint16_t>(s.DataOffset));
  PutU16BE(r, 48);
  const size_t b1001 = s.TimingQuality ? 8 : 0;
  PutU16BE(r, 1000);
  PutU16BE(r, static_cast<uint16_t>(b1001 || s.B100Rate ? 56 : 0));
  for (int b : {s.Encoding, s.WordOrder, s.Exponent, 0}) r.push_back(static_cast<uint8_t>(b));
  if (s.TimingQuality) {
    PutU16BE(r, 1001);
    PutU16BE(r, static_cast<uint16_t>(s.B100Rate ? 64 : 0));
    PutU32BE(r, static_cast<uint32_t>(*s.TimingQuality) << 24);
  }
  if (s.B100Rate) {
    PutU16BE(r, 100);
    PutU16BE(r, 0);
    PutU32BE(r, std::bit_cast<uint32_t>(*s.B100Rate));
    PutU32BE(r, 0);
  }
  r.resize(std::max(r.size(), static_cast<size_t>(s.DataOffset)), 0);
  r.insert(r.end(), s.Data.begin(), s.Data.end());
  r.resize(s.RecordBytes ? s.RecordBytes : size_t{1} << s.Exponent, 0);
  return r;
}

}  // namespace tarvik::testing

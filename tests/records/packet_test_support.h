#pragma once

// Helpers of the packet-format suites: the reference listings of the real corpus and small
// writers of miniSEED records and Steim frames.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace tarvik::testing {

// One record of a ".ref.txt" listing: "# NET STA LOC CHAN START RATE N ENCODING RECLEN" and a
// line of samples.
struct RefRecord {
  std::string network, station, location, channel;
  double start_unix = 0.0;
  double rate = 0.0;
  int count = 0;
  int encoding = 0;
  int record_length = 0;
  std::vector<double> samples;
};

inline std::vector<std::string> SplitOnSpaces(const std::string& line) {
  std::vector<std::string> out;
  std::string field;
  for (char c : line) {
    if (c == ' ') {
      out.push_back(field);
      field.clear();
    } else if (c != '\r') {
      field += c;
    }
  }
  out.push_back(field);
  return out;
}

inline std::vector<double> ParseNumbers(const std::string& line) {
  std::vector<double> out;
  std::istringstream in(line);
  double v = 0.0;
  while (in >> v) out.push_back(v);
  return out;
}

// The records of a reference listing; empty locations and networks stay empty.
inline std::vector<RefRecord> ReadRefListing(const std::string& path) {
  std::ifstream in(path);
  std::vector<RefRecord> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# ", 0) != 0) continue;
    const std::vector<std::string> f = SplitOnSpaces(line);
    if (f.size() < 10) continue;
    RefRecord r;
    r.network = f[1];
    r.station = f[2];
    r.location = f[3];
    r.channel = f[4];
    r.start_unix = std::stod(f[5]);
    r.rate = std::stod(f[6]);
    r.count = std::stoi(f[7]);
    r.encoding = std::stoi(f[8]);
    r.record_length = std::stoi(f[9]);
    std::string samples;
    std::getline(in, samples);
    r.samples = ParseNumbers(samples);
    out.push_back(std::move(r));
  }
  return out;
}

// The arrays of a listing made of "# arr_N type (n,)" lines, each followed by its samples.
inline std::vector<std::vector<int32_t>> ReadRefArrays(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<int32_t>> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# arr_", 0) != 0) continue;
    std::string samples;
    std::getline(in, samples);
    std::vector<int32_t> a;
    for (double v : ParseNumbers(samples)) a.push_back(static_cast<int32_t>(v));
    out.push_back(std::move(a));
  }
  return out;
}

// Steim-1 frames that hold every difference as one 32-bit word: plain enough to be right by
// inspection, so decoders can be checked against it.
inline std::vector<uint8_t> SimpleSteim1(const std::vector<int32_t>& samples, size_t frames) {
  std::vector<uint8_t> out;
  out.reserve(frames * 64);
  size_t next = 0;  // index of the sample whose difference goes next
  for (size_t f = 0; f < frames; ++f) {
    std::vector<uint32_t> words(16, 0);
    uint32_t control = 0;
    int first = 1;
    if (f == 0) {
      words[1] = samples.empty() ? 0u : static_cast<uint32_t>(samples.front());
      words[2] = samples.empty() ? 0u : static_cast<uint32_t>(samples.back());
      first = 3;
    }
    for (int i = first; i < 16 && next < samples.size(); ++i, ++next) {
      const int32_t previous = next == 0 ? 0 : samples[next - 1];
      words[static_cast<size_t>(i)] =
          static_cast<uint32_t>(samples[next]) - static_cast<uint32_t>(previous);
      control |= 3u << (30 - 2 * i);
    }
    words[0] = control;
    for (uint32_t w : words) PutU32BE(out, w);
  }
  return out;
}

// One miniSEED record with blockette 1000, and optionally 1001 and 100.
struct MsRecordSpec {
  std::string station = "STA";
  std::string location;
  std::string channel = "HHZ";
  std::string network = "XX";
  int year = 2020, day = 100, hour = 1, minute = 2, second = 3, tenth_ms = 0;
  int count = 0;
  int rate_factor = 100;
  int rate_multiplier = 1;
  uint8_t activity_flags = 0;
  int32_t time_correction = 0;
  int data_offset = 64;
  int first_blockette = 48;
  int encoding = 10;
  int word_order = 1;
  int exponent = 9;
  std::optional<float> b100_rate;
  std::optional<int> timing_quality;  // blockette 1001
  int microseconds = 0;
  std::vector<uint8_t> data;
  // Overrides the next-blockette offset of the last blockette (to build loops).
  std::optional<uint16_t> last_next;
  // The record's size in bytes; 0 for 2^exponent.
  size_t record_bytes = 0;
};

inline std::vector<uint8_t> MakeMsRecord(const MsRecordSpec& s) {
  std::vector<uint8_t> r;
  PutText(r, "000001", 6);
  r.push_back('D');
  r.push_back(' ');
  PutText(r, s.station, 5);
  PutText(r, s.location, 2);
  PutText(r, s.channel, 3);
  PutText(r, s.network, 2);
  PutU16BE(r, static_cast<uint16_t>(s.year));
  PutU16BE(r, static_cast<uint16_t>(s.day));
  r.push_back(static_cast<uint8_t>(s.hour));
  r.push_back(static_cast<uint8_t>(s.minute));
  r.push_back(static_cast<uint8_t>(s.second));
  r.push_back(0);
  PutU16BE(r, static_cast<uint16_t>(s.tenth_ms));
  PutU16BE(r, static_cast<uint16_t>(s.count));
  PutU16BE(r, static_cast<uint16_t>(static_cast<int16_t>(s.rate_factor)));
  PutU16BE(r, static_cast<uint16_t>(static_cast<int16_t>(s.rate_multiplier)));
  r.push_back(s.activity_flags);
  r.push_back(0);
  r.push_back(0);
  const int blockettes = 1 + (s.timing_quality ? 1 : 0) + (s.b100_rate ? 1 : 0);
  r.push_back(static_cast<uint8_t>(blockettes));
  PutU32BE(r, static_cast<uint32_t>(s.time_correction));
  PutU16BE(r, static_cast<uint16_t>(s.data_offset));
  PutU16BE(r, static_cast<uint16_t>(s.first_blockette));
  r.resize(static_cast<size_t>(s.first_blockette), 0);
  // Blockettes one after another: 1000 (8 bytes), 1001 (8), 100 (12).
  std::vector<std::vector<uint8_t>> bodies;
  std::vector<uint8_t> b1000 = {static_cast<uint8_t>(s.encoding),
                                static_cast<uint8_t>(s.word_order),
                                static_cast<uint8_t>(s.exponent), 0};
  bodies.push_back(b1000);
  std::vector<uint16_t> types = {1000};
  if (s.timing_quality) {
    bodies.push_back({static_cast<uint8_t>(*s.timing_quality),
                      static_cast<uint8_t>(static_cast<int8_t>(s.microseconds)), 0, 0});
    types.push_back(1001);
  }
  if (s.b100_rate) {
    std::vector<uint8_t> b;
    uint32_t bits = 0;
    static_assert(sizeof(float) == 4);
    std::memcpy(&bits, &*s.b100_rate, 4);
    PutU32BE(b, bits);
    PutU32BE(b, 0);
    bodies.push_back(b);
    types.push_back(100);
  }
  for (size_t i = 0; i < bodies.size(); ++i) {
    const size_t here = r.size();
    const size_t next = here + 4 + bodies[i].size();
    uint16_t next_offset = i + 1 < bodies.size() ? static_cast<uint16_t>(next) : 0;
    if (i + 1 == bodies.size() && s.last_next) next_offset = *s.last_next;
    PutU16BE(r, types[i]);
    PutU16BE(r, next_offset);
    r.insert(r.end(), bodies[i].begin(), bodies[i].end());
  }
  const size_t size = s.record_bytes ? s.record_bytes : size_t{1} << s.exponent;
  const auto at = static_cast<size_t>(s.data_offset);
  r.resize(std::max(r.size(), at + s.data.size()), 0);
  std::copy(s.data.begin(), s.data.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
  r.resize(size, 0);
  return r;
}

}  // namespace tarvik::testing

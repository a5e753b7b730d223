#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/record_model.h"

namespace tarvik {

// Bytes of a miniSEED 3 record's fixed header: "MS", version 3, flags, start time, encoding,
// rate, sample count, CRC, publication version and the lengths of what follows.
inline constexpr int kMiniSeed3FixedHeader = 40;

// One miniSEED 3 record. Its header is little-endian; Steim payloads are big-endian.
struct Ms3Record {
  std::string Sid;  // the source identifier as it stands
  // From an FDSN source identifier "FDSN:NET_STA_LOC_B_S_SS"; empty for any other.
  std::string Network, Station, Location, Channel;
  TDateTime Start = 0.0;
  double Rate = 0.0;  // Hz; a negative field is a period in seconds
  int Encoding = 0;
  int32_t DataType = kSampleUnknown;
  int64_t SampleCount = 0;
  int64_t DataOffset = 0;  // from the record's first byte
  int64_t DataLength = 0;
  int64_t Length = 0;  // the whole record
};

enum class MiniSeed3Status {
  kOk,
  kNotRecord,  // the bytes do not begin with "MS" and version 3
  kDamaged,    // impossible fields, a payload too small for its samples, or a failed CRC
  kTruncated,  // the record runs past the end of the file
};

// CRC-32C (Castagnoli) of bytes, continuing from crc (0 to start).
uint32_t Crc32c(std::span<const uint8_t> bytes, uint32_t crc = 0);

// Network, station, location and channel of an FDSN source identifier; false (the fields left
// empty) when sid is not one. The channel is band, source and subsource joined, with "_"
// between them when one of them is longer than a letter.
bool ParseFdsnSourceId(std::string_view sid, Ms3Record& record);

// The sample type code of a miniSEED 3 encoding; kSampleUnknown for text, opaque data and codes
// the program does not decode.
int32_t MiniSeed3SampleType(int encoding);

// Parses the record at the start of bytes, which hold the file from the record's first byte
// (or at least the whole record). Checks the CRC. why (when given) says what is wrong.
MiniSeed3Status ParseMiniSeed3Record(std::span<const uint8_t> bytes, Ms3Record& record,
                                     TStatus* why = nullptr);

// True when head begins with "MS" and version 3 and holds a whole fixed header (whose fields the
// reader then checks).
bool LooksLikeMiniSeed3(std::span<const uint8_t> head);

// Calls visit(offset, record) for every sound record of the file, in file order. A damaged or
// cut record is left out, and the walk looks for the next record after its first byte.
// problem (when given) receives what was wrong with the first record left out ("record 2
// (byte 512): ..."). False when the file cannot be opened.
bool ForEachMiniSeed3Record(const std::string& path,
                            const std::function<void(int64_t, const Ms3Record&)>& visit,
                            TStatus* problem = nullptr);

// A header per station and location, as ReadMiniSeedHeaders makes them; false when no record
// is sound and of an FDSN station with a rate above 0.
bool ReadMiniSeed3Headers(const std::string& path, std::vector<TFileRecordInfo>& headers,
                          TStatus* why = nullptr);

// The header of the file's first station and location.
bool ReadMiniSeed3Header(const std::string& path, TFileRecordInfo& info, double default_rate,
                         TStatus* why = nullptr);

// One segment per sound record with a station and a rate above 0.
void BuildMiniSeed3Segments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

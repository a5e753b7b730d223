#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

inline constexpr int kMiniSeedFixedHeader = 48;
// The record length assumed until a blockette 1000 gives one.
inline constexpr int kMiniSeedDefaultRecordLength = 4096;
// Record lengths outside 2^7 .. 2^16 bytes mark a damaged blockette 1000.
inline constexpr int kMiniSeedMinExponent = 7;
inline constexpr int kMiniSeedMaxExponent = 16;

// One decoded miniSEED record.
struct TMiniSEEDPacket {
  // The header texts as they stand: trailing blanks kept, cut at a zero byte.
  std::string Station;
  std::string Location;
  std::string Channel;
  std::string Network;
  TDateTime Start = 0.0;
  double SampRate = 0.0;
  uint16_t FirstBlockette = 0;
  uint16_t DataOffset = 0;
  int32_t DataType = kSampleUnknown;
  int32_t SampleCount = 0;
  int32_t RecordLength = kMiniSeedDefaultRecordLength;
  int32_t TimingQuality = 255;
  int32_t Encoding = -1;  // blockette 1000's encoding; -1 when there is none
  int32_t WordOrder = 1;  // 1 big-endian, 0 little-endian
  // The record's data part, when asked for.
  std::vector<uint8_t> Data;
};

// What reading one record found.
enum class MiniSeedStatus {
  kOk,               // blockette 1000 read; the record lies wholly in the file
  kNoBlockette1000,  // no blockette 1000 (not miniSEED, or a record that gives no data)
  kDamaged,          // impossible header fields or record length
  kTruncated,        // the record runs past the end of the file
};

// Parses the record whose first bytes are head (up to 4096 bytes, fewer at the end of a file);
// available is the number of file bytes from the record's start. Blockettes are looked for
// within the record (the default 4096 bytes until blockette 1000 says otherwise). With
// with_data the packet's Data receives the record's data part as far as head holds it.
MiniSeedStatus ParseMiniSeedRecord(std::span<const uint8_t> head, int64_t available,
                                   TMiniSEEDPacket& packet, bool with_data = false);

// Reads the record at offset of the file. next receives the offset of the following record,
// always beyond offset: the record's length when known, else the default 4096 bytes.
MiniSeedStatus ReadMiniSeedRecord(BinaryFile& file, int64_t offset, TMiniSEEDPacket& packet,
                                  int64_t& next, bool with_data = false);

// Calls visit(offset, packet) for every record with blockette 1000 that lies wholly in the
// file, walking from record to record; false when the file cannot be opened.
bool ForEachMiniSeedRecord(const std::string& path,
                           const std::function<void(int64_t, const TMiniSEEDPacket&)>& visit);

// The sample type code of a blockette 1000 encoding and word order (1 big-, 0 little-endian).
int32_t MiniSeedSampleType(int encoding, int word_order);

// The rate of a fixed header's sample rate factor and multiplier; 0 when either is 0.
double MiniSeedRate(int factor, int multiplier);

// A walk over the records of one file: calls its argument with (offset, packet) per record.
using MiniSeedVisitor = std::function<void(int64_t, const TMiniSEEDPacket&)>;
using MiniSeedWalk = std::function<void(const MiniSeedVisitor&)>;

// The headers ReadMiniSeedHeaders makes of the records a walk visits (only Station, Location,
// Channel, Start, SampRate, SampleCount and RecordLength of each are used); false, headers
// empty, when the walk visits none.
bool GroupMiniSeedRecords(const MiniSeedWalk& walk, std::vector<TFileRecordInfo>& headers);

// Header of a miniSEED file: all records walked; false when no record has blockette 1000. The
// header is that of the first station (and location) the file holds.
bool ReadMiniSeedHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                        TStatus* why = nullptr);

// A header per station and location the file holds, in the order they first appear; the
// channels of a station held under several locations are named "LL.CHN" and the header's
// Location says which. False (headers empty) when no record has blockette 1000.
bool ReadMiniSeedHeaders(const std::string& path, std::vector<TFileRecordInfo>& headers,
                         TStatus* why = nullptr);

// One segment per record with blockette 1000, a rate above 0 and a station.
void BuildMiniSeedSegments(const std::string& path, TRecList& list, const std::string& station);

}  // namespace tarvik

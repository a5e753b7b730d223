#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Data format codes of a SEG-2 trace descriptor block.
enum Seg2DataFormat : int {
  kSeg2Int16 = 1,
  kSeg2Int32 = 2,
  kSeg2Float20 = 3,  // four samples in 10 bytes: a word of exponents, four mantissas
  kSeg2Float32 = 4,
  kSeg2Float64 = 5,
};

// One trace of a SEG-2 file, as its descriptor block and strings describe it.
struct Seg2Trace {
  int64_t Descriptor = 0;  // byte offset of the trace descriptor block
  int64_t Data = 0;        // byte offset of the samples
  int32_t Samples = 0;     // samples the file holds: the stated count, cut to the data present
  int Format = 0;
  double Interval = 0.0;   // SAMPLE_INTERVAL, seconds
  double Descaling = 1.0;  // DESCALING_FACTOR: sample × descaling = millivolts
  double Delay = 0.0;      // DELAY: seconds from the acquisition time to the first sample
  std::string ChannelNumber;
  std::string Station;  // STATION_CODE, when the writer gives one
  char Component = 0;   // 'Z', 'N' or 'E' from an orientation string; 0 when none says
};

// The parts of a SEG-2 file the program uses.
struct Seg2File {
  bool BigEndian = false;
  std::string Station;
  TDateTime Start = 0.0;  // the first sample: the acquisition time plus the first trace's DELAY
  double Rate = 0.0;
  std::vector<Seg2Trace> Traces;  // the first 32
};

// The blocks of a SEG-2 file, every count and offset checked against the file; nullopt when
// they do not hold, and then *why (when given) names the block and the field.
std::optional<Seg2File> ReadSeg2Fields(const std::string& path, TStatus* why = nullptr);

// True when head (the file's first bytes) begins a SEG-2 file descriptor block whose sizes fit
// a file of file_size bytes: recognition by content, whatever the file's name.
bool LooksLikeSeg2(std::span<const uint8_t> head, int64_t file_size);

// Four samples of format code 3 from their 10 bytes (five 16-bit words in the file's order):
// the first word holds a 4-bit exponent per sample (the first sample's in the low bits), each
// further word a ones' complement mantissa; the sample is mantissa × 2^exponent.
void DecodeSeg2Float20(std::span<const uint8_t, 10> group, bool big_endian,
                       std::span<int32_t, 4> out);

// A trace's samples as int32 counts: integer formats as stored, floating formats as
// value × descaling × 10^6 rounded (microvolts), clamped to the int32 range.
std::vector<int32_t> ReadSeg2Samples(BinaryFile& file, const Seg2File& seg2,
                                     const Seg2Trace& trace);

// Counts per volt of a trace's samples as ReadSeg2Samples gives them.
double Seg2CountsPerVolt(const Seg2Trace& trace);

// Header of a SEG-2 file: one channel per trace (the first 32), all at one rate.
bool ReadSeg2Header(const std::string& path, TFileRecordInfo& info, double default_rate,
                    TStatus* why = nullptr);

// Writes the file's traces into the record's channels, placed by the file's start in time.
void ReadSeg2Into(const std::string& path, LoadTarget& target);

}  // namespace tarvik

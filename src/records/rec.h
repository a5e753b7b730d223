#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// ---------------------------------------------------------------------------------------------
// REC tagged-block files: a sequence of blocks, each an 8-byte head (4-character tag, int32
// length of the body that follows) and its body. Header block tags begin "[H", data block tags
// "[D". All numbers are little-endian.

inline constexpr FormatTag kBlockDMU = MakeTag("[DMU");  // N frames of C int16
inline constexpr FormatTag kBlockDMV = MakeTag("[DMV");  // N frames of C int16
inline constexpr FormatTag kBlockDSV = MakeTag("[DSV");  // C runs of N int16
inline constexpr FormatTag kBlockDMW = MakeTag("[DMW");  // N frames of C uint16
inline constexpr FormatTag kBlockDSW = MakeTag("[DSW");  // C runs of N uint16
inline constexpr FormatTag kBlockDMX = MakeTag("[DMX");  // N frames of C int32
inline constexpr FormatTag kBlockDSX = MakeTag("[DSX");  // C runs of N int32
inline constexpr FormatTag kBlockDSZ = MakeTag("[DSZ");  // C runs of (size, bzip2 of int32)

inline constexpr int64_t kRecBlockHeadSize = 8;
inline constexpr int64_t kRecDataHeaderSize = 24;

// One block as found by the walk: where its head starts, where its body starts and how long
// the body claims to be (the body may run past the end of a damaged file).
struct RecBlock {
  FormatTag Tag = 0;
  int64_t HeadOffset = 0;
  int64_t BodyOffset = 0;
  int64_t Length = 0;
};

// True for the tags of data blocks ("[D" and two more characters).
bool IsRecDataTag(FormatTag tag);

// The block whose head starts at offset; false at the end of the file or when the head is
// damaged (a negative length). Walk a file with ReadRecBlockAt(file, NextRecBlockOffset(b), b)
// from offset 0. A "[HTX" block spells its length in the decimal digits that
// follow its tag; the head then ends after the first character that is not a digit.
bool ReadRecBlockAt(BinaryFile& file, int64_t offset, RecBlock& block);

// The offset of the head of the block that follows block.
inline int64_t NextRecBlockOffset(const RecBlock& block) {
  return block.BodyOffset + block.Length;
}

// The first 4 bytes of the first 8-byte block head of a REC file as a tag; 0 when unreadable.
FormatTag ReadFirstBlockTag(const std::string& path);

// Header of a REC file from its "[HD1" (or "[HD2") header block, with BlockCount counting the
// data blocks. False when the file has no such header block or it is too short to read; data
// blocks are then still counted.
bool ReadRecHeader1(const std::string& path, TFileRecordInfo& info, double default_rate,
                    TStatus* why = nullptr);
bool ReadRecHeader2(const std::string& path, TFileRecordInfo& info, double default_rate,
                    TStatus* why = nullptr);

// The samples of one data block, one array per channel (channels >= 0, at most 32): for the
// fixed layouts block_samples per channel (fewer when the body ends early); for "[DSZ" each
// channel as long as its decompressed run, but never more than max_samples. An unknown layout
// gives channels empty arrays.
TData32 DecodeRecDataBlock(FormatTag tag, std::span<const uint8_t> body, int channels,
                           int64_t block_samples, int64_t max_samples);

// Decodes every data block of the file into all channels at the sequential position. Each block
// advances the position by first.BlockSamples, a "[DSZ" block by its longest channel.
void ReadRecInto(const std::string& path, LoadTarget& target);

// ---------------------------------------------------------------------------------------------
// Writers (record compression). Each returns a complete block, head included, ready to append
// to a file; the readers above read it back.

// The 24-byte data header of a data block: three TDateTime values that readers ignore.
using RecDataHeader = std::array<TDateTime, 3>;

// Format word of a "[HD2" block written from a file header; SL sources write their ADC
// resolution in bits plus kRecFormatWordSlBase.
inline constexpr int32_t kRecFormatWordHeader = 32;
inline constexpr int32_t kRecFormatWordSlBase = 1024;

// The "[HD2" header block of info: station, info.BlockSamples, one entry (name index i,
// info.SampRate, ChannelCoefs[i]) and one name per channel of info.ChannelCount (0..32), the
// format word and info.Start. Names and station are written in Windows-1251, cut to 7 bytes.
// Readers size a record as BlockCount x BlockSamples, so with "[DSZ" blocks BlockSamples should
// be at least the longest block's channel length.
std::vector<uint8_t> MakeRecHeader2Block(const TFileRecordInfo& info,
                                         int32_t format_word = kRecFormatWordHeader);

// A "[DSZ" data block of the given channels (each may have its own length; at most 32 used):
// head, data header, then per channel the bzip2 size and stream of its little-endian int32
// samples. Empty when bzip2 fails.
std::vector<uint8_t> MakeDszBlock(std::span<const std::vector<int32_t>> channels,
                                  const RecDataHeader& data_header);

// The same for samples [first, first + count) of every channel of data (cut to each channel).
std::vector<uint8_t> MakeDszBlock(const TData32& data, int64_t first, int64_t count,
                                  const RecDataHeader& data_header);

}  // namespace tarvik

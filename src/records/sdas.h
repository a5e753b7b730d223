#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/binary_file.h"
#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// SDAS files: a text header of "[SECTION]" lines and "KEY=VALUE" lines, then, from
// OFFSET_TO_DATA, data blocks of a 256-byte block header followed by duration x rate unsigned
// 16-bit samples of every channel of the file's stream, channel after channel.

inline constexpr int64_t kSdasBlockHeaderSize = 256;
// Value of each of the four marker words that open a data block header.
inline constexpr int16_t kSdasBlockMarker = -21846;  // 0xAAAA

struct TSDASSchedule {
  std::string Start = "01/12/01,00:00:00";
  int32_t Duration = 0;
  int32_t Repeate = 0;
  int32_t Delay = 0;
  std::string Calibr = "NONE";
};

struct TSDASChannel {
  bool On = false;
  std::string Name = "EEE";
};

struct TSDASStream {
  char Type = 'P';  // first letter of the stream type ("PERMANENT")
  double RecSizeSec = 5;
  double FileSizeSec = 3600;
  int32_t ChannelCount = 3;
  std::vector<int32_t> Channels{7, 5, 3};  // channel numbers, counted from 1
};

struct TSDASGroup {
  std::string Type = "FLOW";
  double Gain = 0;
  std::string Channels = "7";
};

// The "[FILE]" section: what this one file holds.
struct TSDASFileParam {
  int32_t Stream = 1;  // counted from 1
  std::string DataType = "UINT";
  double DataSec = 0;
  std::string DateInt = "08-12-2004";
  std::string TimeInt = "21:51:20.00";
  std::string DateDos = "08-12-2004";
  std::string TimeDos = "21:51:20";
  std::string DateExt = "08-12-2004";
  std::string TimeExt = "21:51:19";
  std::string FileType = "PERMANENT";
};

// The parsed text header. Numbered sections ("STREAM1", "CH7", ...) are held from number 1 on;
// the accessors give a section's defaults for a number the header lacks.
struct TSDASCommonHead {
  int32_t HeaderSize = 3072;
  int32_t OffsetToData = 4608;
  std::string Type = "Seismic Digital Aquasition Station, V.3.11";

  std::string Name = "noname";
  double Lat = 0;
  double Lon = 0;
  double Alt = 0;
  double Freq = 0;
  int32_t NChannel = 0;
  int32_t NGroup = 0;
  int32_t NStream = 0;
  int32_t NSchedule = 0;

  double TimePost = 0;
  double TimePre = 0;
  int32_t NFlag = 0;
  double TimeLimit = 0;
  int32_t NCh = 0;
  std::string Ch = "7,5,3";

  std::vector<TSDASSchedule> Schedules;
  std::vector<TSDASChannel> Channels;
  std::vector<TSDASStream> Streams;
  std::vector<TSDASGroup> Groups;
  TSDASFileParam File;

  const TSDASStream& Stream(int32_t number) const;
  const TSDASChannel& Channel(int32_t number) const;
  // The stream recorded in this file ("[FILE]" STREAM).
  const TSDASStream& FileStream() const { return Stream(File.Stream); }
};

// Parses header text (Windows-1251, LF or CR LF lines); false when it does not open with a
// "[HEADER]" section.
bool ParseSdasHeaderText(std::string_view text, TSDASCommonHead& head);

// Reads and parses the text header of a file, at most HEADER_SIZE bytes and never past
// OFFSET_TO_DATA; false when the file cannot be read or the text is not an SDAS header.
bool ReadSdasCommonHead(BinaryFile& file, TSDASCommonHead& head);

struct SdasBlockHeader {
  bool Valid = false;
  int32_t Rate = 0;      // Hz
  int32_t Duration = 0;  // seconds
  // Day, month, year, hour, minute, second.
  std::array<int16_t, 6> Stamp1{};  // bytes 34-45
  std::array<int16_t, 6> Stamp2{};  // bytes 46-57
};

// A block header is valid when its four marker words are 0xAAAA and rate and duration are > 0.
SdasBlockHeader ParseSdasBlockHeader(std::span<const uint8_t, kSdasBlockHeaderSize> raw);

// The first sample's time of a block: its second time stamp when that is 1999-01-01 or later,
// else its first time stamp.
TDateTime SdasBlockStart(const SdasBlockHeader& block);

// Header of an SDAS file; false when its text header cannot be read.
bool ReadSdasHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                    TStatus* why = nullptr);

// Decodes the data blocks of the file at the sequential position, up to the first invalid one.
void ReadSdasInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik

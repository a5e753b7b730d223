#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// Fills info from one file; false when the file cannot be read as this format (info is then
// reset or partly filled), and then *why (when given) says what in the file is not of the
// format: a code of the readers' refusals with its arguments ("block 1 (byte 0): sample rate
// code 251 is not a GCF rate"), Offset set where the reader knows the byte. default_rate is used
// by formats that do not store a rate.
using HeaderReader = bool (*)(const std::string& path, TFileRecordInfo& info, double default_rate,
                              TStatus* why);
// Appends one segment per data unit of a packet or index file; station, when not empty,
// restricts an index file to that station's lines.
using SegmentBuilder = void (*)(const std::string& path, TRecList& list,
                                const std::string& station);
// Decodes one file of a sequentially read record into the loader's matrix.
using SequentialReader = void (*)(const std::string& path, LoadTarget& target);
// The most samples per channel that one file of the format (with the data files it names) can
// hold, given its header; the loader never sizes a record beyond the sum over its files.
using CapacityReader = int64_t (*)(const std::string& path, const TFileRecordInfo& info);

// One recorder format: everything keyed by its tag.
struct FormatInfo {
  FormatTag Tag;
  const char* Name;
  HeaderReader ReadHeader;       // null: the tag has no header reader
  SegmentBuilder BuildSegments;  // packet and index formats: samples come through GetData
  SequentialReader ReadInto;     // formats read file after file; the loader prefers it
  // Mask of the files that continue a record ("*.msd;*.mseed": several masks); null: none.
  const char* RecordMask;
  // Null: the file itself holds the samples, at most MaxSamplesInFile of its size.
  CapacityReader SampleCapacity;
};

// The row of a tag; null for 0 and unknown tags.
const FormatInfo* FindFormat(FormatTag tag);
// Every row, in tag order of the format list.
std::span<const FormatInfo> AllFormats();

// The most samples per channel that path can hold as a file of tag (see SampleCapacity); 0 when
// the file cannot be opened.
int64_t SampleCapacityOf(const std::string& path, FormatTag tag, const TFileRecordInfo& info);

// The files of folder that match a record mask (one mask or several joined by ";"), in path
// order without duplicates.
std::vector<std::string> ListRecordMask(const std::string& folder, std::string_view mask);

// The format tag of a file, by extension first and content where the extension leaves it open;
// 0 when the file cannot be opened or no rule applies, and then *status (when given) says which
// (kRecordFileNotOpened, kFormatNotRecognized, kReaderFailed when reading it failed), with File.
FormatTag Recognize(const std::string& path, TStatus* status = nullptr);

// The files of folder (not its subfolders) that Recognize knows, in path order: what "every
// seismogram file of a folder" means wherever a folder is added.
std::vector<std::string> RecognizedFilesIn(const std::string& folder);

// Fills info by the header reader of tag; a tag without a reader leaves info unchanged.
// Fails, with File set, when there is no reader (kNoHeaderReader), the file cannot be opened
// (kRecordFileNotOpened), the reader refuses it (kNotOfFormat with the reader's refusal nested,
// and its Offset, Record and Line; kRecordFileCut when the refusal tells of the file ending
// before what the reader needs, Offset then the file's size unless the refusal names a byte;
// kNoValidData when it gives no reason) or reading it failed (kReaderFailed).
TStatus ReadHeader(const std::string& path, FormatTag tag, TFileRecordInfo& info,
                   double default_rate);

// What the header reader of a tag gives for one file.
struct FileHeaders {
  // What the reader answered, as ReadHeader tells it.
  TStatus Status = MakeStatus(TCode::kNoHeaderReader);
  // Never empty: headers[0] is the header ReadHeader fills (empty when there is no reader).
  std::vector<TFileRecordInfo> Headers;
};

// The headers of path read as tag: of miniSEED files and wfdisc indexes one per station (and
// location) they hold, of every other file the one ReadHeader fills.
FileHeaders ReadHeaders(const std::string& path, FormatTag tag, double default_rate);

// The header of the record of station (a short name, as records keep it) and location (see
// TFileRecordInfo::Location): that station's header of that location, else its first header,
// else (the record's station was renamed) the file's first header.
const TFileRecordInfo& HeaderOfStation(const FileHeaders& read, std::string_view station,
                                       std::string_view location);

}  // namespace tarvik

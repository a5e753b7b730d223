#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "records/record_model.h"

namespace tarvik {

class HeaderCache;
class UiHost;

// The data-format list of the project settings, by stored index (0 to 10).
inline constexpr std::array<std::string_view, 11> kDataFormats = {
    ".rec", ".iss_dat", ".ugr*", ".sdas",   ".reftek", ".wfd*",
    ".gcf", ".msd",     ".ddb",  ".baikal", ".sl"};

// The project settings that adding files needs.
struct AssemblySettings {
  // Largest gap between the files of one record, seconds (0 to 999).
  int max_span = 10;
  // Components from channel names; off: every channel is Z.
  bool recognize_component = true;
  // The working sampling rate: the default rate given to header readers, Hz.
  double working_rate = 50.0;
};

enum class AddStatus {
  kNewRecord,      // a record was formed from the file
  kJoined,         // the file continues (or now begins) an existing record
  kNotRecognized,  // no format matched
  kNoReader,       // the format is recognised but has no header reader
  kUnreadable,     // the header reader found nothing it could use
  kNoRate,         // the header gives no usable sampling rate or duration
};

struct AddFileResult {
  AddStatus status = AddStatus::kNotRecognized;
  FormatTag tag = 0;
  // The record formed or joined; -1 when the file was not added.
  int record = -1;
  // What in the file is not of its format, as its header reader tells it; empty when the
  // reader found nothing wrong.
  std::string why;

  bool Added() const { return record >= 0; }
};

// Why a file was not added, in a few words ("" when it was added).
std::string AddStatusText(AddStatus status);
// The same followed by the header reader's reason when there is one.
std::string AddResultText(const AddFileResult& result);

// Adds one file to records: it joins the last record of its station that ends or begins within
// max_span seconds of it, or forms a new record. A file that is not recognised, has no header
// reader or gives no sampling rate is left out (records unchanged). Headers come through cache
// when one is given (here and in every operation below that takes one).
AddFileResult AddFile(TFileRecords& records, const std::string& path,
                      const AssemblySettings& settings, HeaderCache* cache = nullptr);

// The joining rule of AddFile for a header already read.
AddFileResult AddFileHeader(TFileRecords& records, const std::string& path, FormatTag tag,
                            const TFileRecordInfo& info, const AssemblySettings& settings);

// The folder mask of a data-format index ("?????????Z*.ugr*", "?????????_*",
// "*.msd;*.mseed;*.miniseed", ...; several masks joined by ";"); empty for an index outside the
// list.
std::string FolderMask(int format_index);

struct AddedFile {
  std::string path;
  AddFileResult result;
};

// Adds files in the order given, the gauge counting them and events running after each.
std::vector<AddedFile> AddFiles(TFileRecords& records, const std::vector<std::string>& paths,
                                const AssemblySettings& settings, UiHost& host,
                                HeaderCache* cache = nullptr);

// Adds every file of folder that matches the mask of the data-format index, in path order.
std::vector<AddedFile> AddFolder(TFileRecords& records, const std::string& folder, int format_index,
                                 const AssemblySettings& settings, UiHost& host,
                                 HeaderCache* cache = nullptr);

// The record that path begins, formed as adding path and then, in path order, the files of its
// folder that match its format's record mask and start no earlier would form it: records[0]
// of the result is that record (empty when path itself was not added; result says why).
TFileRecords FormRecordsFrom(const std::string& path, const AssemblySettings& settings,
                             AddFileResult* result = nullptr, HeaderCache* cache = nullptr);

// The files of one record, found again from its first file.
struct RecordFiles {
  FormatTag tag = 0;
  // Header of the first file.
  TFileRecordInfo first;
  // Full paths in path order (the first file included) and their headers.
  std::vector<std::string> paths;
  std::vector<TFileRecordInfo> headers;
  // The largest BlockSamples and the sum of SampleCount over the files.
  int32_t block_samples = 0;
  int64_t total_samples = 0;
};

// The record's files: first_file and the files of its folder that match its format's record
// mask, are of its station and start within [start, finish). Status panel 1 and the progress
// bar show the search. A first file that is not recognised gives tag 0 and no files. In a file
// of several stations the record is that of station and location (HeaderOfStation); an empty
// station means the file's first.
RecordFiles FindRecordFiles(const std::string& first_file, double default_rate, TDateTime start,
                            TDateTime finish, UiHost& host, HeaderCache* cache = nullptr,
                            std::string_view station = {}, std::string_view location = {});

}  // namespace tarvik

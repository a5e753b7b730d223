#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "common/status.h"
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
  int MaxSpan = 10;
  // Components from channel names; off: every channel is Z.
  bool RecognizeComponent = true;
  // The working sampling rate: the default rate given to header readers, Hz.
  double WorkingRate = 50.0;
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
  AddStatus Status = AddStatus::kNotRecognized;
  FormatTag Tag = 0;
  // The record formed or joined; -1 when the file was not added.
  int Record = -1;
  // What in the file is not of its format, as its header reader tells it; empty when the
  // reader found nothing wrong.
  std::string Why;
  // Why the file was not added or its header not read (File set); Ok when nothing went wrong.
  TStatus Reason;

  bool Added() const { return Record >= 0; }
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

// Whether from's channels may join into's to make one record of both: one station and location,
// one sampling rate, no channel name in both, at most kMaxChannels together, and (with
// need_overlap) spans that overlap in time.
bool CanJoinChannels(const TFileRecord& into, const TFileRecord& from, bool need_overlap);

// Joins from's channels, with their components, levels, coefficients, responses and selection,
// after into's; into then spans both records and its selection is the whole of it. The first
// file is that of the record that begins first.
void JoinChannels(TFileRecord& into, const TFileRecord& from);

// Joins each record of touched (indices into records) with every record of its station that it
// may join (CanJoinChannels with overlap) and whose format is read by segments, the later into
// the earlier, until none is left: one station's channels written to separate files become one
// record. Returns the number of records joined away; moved (when given) maps each former index
// to the record's index now. miniseed_locations (when given) holds the location of records
// whose first file is known to be miniSEED, by that file's path.
int JoinSiblingChannels(TFileRecords& records, std::vector<int> touched,
                        HeaderCache* cache = nullptr, std::vector<int>* moved = nullptr,
                        const std::map<std::string, std::string>* miniseed_locations = nullptr);

// The folder mask of a data-format index ("?????????Z*.ugr*", "?????????_*",
// "*.msd;*.mseed;*.miniseed", ...; several masks joined by ";"); empty for an index outside the
// list.
std::string FolderMask(int format_index);

struct AddedFile {
  std::string Path;
  AddFileResult Result;
};

// Adds files in the order given, the gauge counting them and events running after each; then
// joins the records of one station's channel files (JoinSiblingChannels).
std::vector<AddedFile> AddFiles(TFileRecords& records, const std::vector<std::string>& paths,
                                const AssemblySettings& settings, UiHost& host,
                                HeaderCache* cache = nullptr);

// Adds every file of folder that matches the mask of the data-format index, in path order; with
// a negative index every file a reader knows by its content (RecognizedFilesIn).
std::vector<AddedFile> AddFolder(TFileRecords& records, const std::string& folder, int format_index,
                                 const AssemblySettings& settings, UiHost& host,
                                 HeaderCache* cache = nullptr);

// The record that path begins, formed as adding path and then, in path order, the files of its
// folder that match its format's record mask and start no earlier would form it, the station's
// channel files joined: records[0] of the result is that record (empty when path itself was
// not added; result says why).
TFileRecords FormRecordsFrom(const std::string& path, const AssemblySettings& settings,
                             AddFileResult* result = nullptr, HeaderCache* cache = nullptr);

// The files of one record, found again from its first file.
struct RecordFiles {
  FormatTag Tag = 0;
  // Header of the first file.
  TFileRecordInfo First;
  // Full paths in path order (the first file included) and their headers.
  std::vector<std::string> Paths;
  std::vector<TFileRecordInfo> Headers;
  // The largest BlockSamples and the sum of SampleCount over the files.
  int32_t BlockSamples = 0;
  int64_t TotalSamples = 0;
};

// The record's files: first_file and the files of its folder that match its format's record
// mask, are of its station and start within [start, finish). Status panel 1 and the progress
// bar show the search. A first file that is not recognised gives tag 0 and no files. In a file
// of several stations the record is that of station and location (HeaderOfStation); an empty
// station means the file's first.
//
// With channels (the record's channel names) the record is one of files per channel: the files
// of any of these channels are taken, the first file does not end the search, and an SDS day
// file's record is looked for in every channel folder of its station over the record's years.
// A first file whose name its format's record mask does not take (an SDS day file, a name
// without extension) has its folder's files of every name read.
RecordFiles FindRecordFiles(const std::string& first_file, double default_rate, TDateTime start,
                            TDateTime finish, UiHost& host, HeaderCache* cache = nullptr,
                            std::string_view station = {}, std::string_view location = {},
                            std::span<const std::string> channels = {});

// The parts of an SDS day file name "NET.STA.LOC.CHA.TYPE.YEAR.DAY" kept in
// ROOT/YEAR/NET/STA/CHA.TYPE/; nullopt for any other name.
struct SdsName {
  std::string Network, Station, Location, Channel, Type;
  int Year = 0;
  int Day = 0;
};
std::optional<SdsName> ParseSdsName(std::string_view file_name);

// A station of an SDS archive as "NET.STA" (any location) or "NET.STA.LOC" (that location;
// "NET.STA." the empty one).
struct SdsStation {
  std::string Network, Station, Location;
  bool AnyLocation = true;
};
// nullopt when text is not of that form.
std::optional<SdsStation> ParseSdsStation(std::string_view text);

// The day files of station in the SDS archive under root (ROOT/YEAR/NET/STA/CHA.TYPE/) whose
// day lies in [from, to] (whole days; a bound that is not a number is no bound), one list per
// day in order of day, each in path order.
std::vector<std::vector<std::string>> ListSdsDays(const std::string& root,
                                                  const SdsStation& station, TDateTime from,
                                                  TDateTime to);

// Adds each group of files as AddFiles does, as if into a list of that group's records alone:
// a group's files join only each other's records, and its records then follow those of
// records. The gauge counts the files of all groups. An SDS day file of one channel in records
// of one length has its header taken from its first and last records.
std::vector<AddedFile> AddFileGroups(TFileRecords& records,
                                     const std::vector<std::vector<std::string>>& groups,
                                     const AssemblySettings& settings, UiHost& host,
                                     HeaderCache* cache = nullptr);

}  // namespace tarvik

#pragma once

// A run of segment PSDs over project records into the PSD store: every selected channel of every
// record is cut into segments at fixed clock times (multiples of the segment step since
// 1970-01-01 UTC, so that a day gets the same segments whichever records hold it), each
// segment's PSD goes to the file of its channel and UTC day. Segments already stored with the
// same settings, data and response are kept instead of computed again; a day is written only
// when something in it changed, so a re-run after adding data computes only the new days.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/status.h"
#include "records/record_model.h"
#include "spectral/psd_segments.h"

namespace tarvik {

class HeaderCache;
class UiHost;

struct TPsdRunOptions {
  TPsdSettings Settings;
  // Threads computing segments at the same time; the files do not depend on it.
  int Jobs = 1;
  // One of ShardCount runs that together fill the store of one run: only the days d (days since
  // 1970-01-01) with d mod ShardCount == ShardIndex are computed.
  int ShardIndex = 0;
  int ShardCount = 1;
  // The SampRateDefault setting, for formats that store no rate.
  double DefaultRate = 50.0;
  HeaderCache* Headers = nullptr;
};

struct TPsdRunReport {
  int64_t Computed = 0;  // segments transformed in this run
  int64_t Kept = 0;      // segments taken unchanged from the store
  int64_t Skipped = 0;   // segments left out because they held gaps or damaged data
  int DaysWritten = 0;
  int DaysUnchanged = 0;
  std::vector<std::string> Written;  // day files written, in order
  // What kept records, channels or days from the store, one status each (a channel without a
  // response, a selection shorter than a segment, a damaged store file, a failed write), most
  // of them put under the label of their record (kPsdAt).
  std::vector<TStatus> Errors;
  bool Stopped = false;
};

// "NET.STA.LOC.CHA" of channel c of record. The record model keeps no network code: NET is
// empty. LOC is the location the channel's name carries ("10.HHZ"), else empty.
std::string PsdChannelCode(const TFileRecord& record, int c);

// Why channel c of record cannot give PSDs in ground units: it names no response file, or only
// one of a sensor and an amplifier (Channel set to c); Ok when it has its chain.
TStatus MissingPsdResponse(const TFileRecord& record, int c);

// The reason of an error of the report without the labels it is put under (kPsdAt): what the
// command line's JSON names by its code.
const TStatus& PsdReason(const TStatus& status);

// Computes the PSDs of the selected channels of records (labels: how messages name each record,
// "record 3 (STA)") into store, the PSD folder of the results. The stop flag of host ends the
// run after the segments in progress; days not finished are not written.
TPsdRunReport RunPsd(std::vector<TFileRecord>& records, const std::vector<std::string>& labels,
                     const std::filesystem::path& store, const TPsdRunOptions& options,
                     UiHost& host);

}  // namespace tarvik

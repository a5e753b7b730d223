#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/status.h"
#include "records/record_model.h"
#include "records/sample_ranges.h"

namespace tarvik {

class HeaderCache;
class UiHost;

// Turns a pair of horizontal channels toward a direction as the samples are read: channel e
// gets round(cos_a * n + sin_a * e) (clamped to the int32 range, after the means are removed)
// and its unread spans become those of either channel; n is left as it is.
struct HorizontalTurn {
  int E = -1;
  int N = -1;
  double CosA = 1.0;
  double SinA = 0.0;
  bool Active() const { return E >= 0 && N >= 0 && E != N; }
};

struct LoadSettings {
  // The SampRateDefault setting: the rate of formats that do not store one, Hz.
  double DefaultRate = 50.0;
  // Subtract each channel's mean (rounded to an integer) after loading.
  bool Demean = true;
  // Clear the stop flag when loading starts. A caller that runs several steps under one stop
  // request (record compression) keeps it.
  bool ClearStop = true;
  // The headers of the files, kept by the caller across loads (a run, an open project); null:
  // the load keeps them for itself alone.
  HeaderCache* Headers = nullptr;
  // Horizontals turned toward a direction (H/V by azimuth); inactive by default.
  HorizontalTurn Turn;
};

// What a load found, for callers that need more than the samples.
struct LoadReport {
  FormatTag Tag = 0;
  // Header of the record's first file.
  TFileRecordInfo First;
  int FilesFound = 0;
  int FilesRead = 0;
  // Samples per channel the matrix was sized to before it was cut to the samples read.
  int64_t Allocated = 0;
  bool Stopped = false;
  // Per channel of the matrix, the samples that hold no recorded data: gaps between the
  // segments or files, blocks that failed to decode or their check, parts of files that could
  // not be read, a channel that ends before the others. They read as 0 (also after the mean
  // is removed) and are never quiet.
  TChannelRanges Unread;
  // Why the load failed (File set): the record's first file not recognised
  // (kRecordNotRecognized, with Recognize's reason as its second argument) or its matrix too
  // large to allocate (kRecordTooLarge); Ok when it succeeded.
  TStatus Status;
  // The files of the record that failed to read part way (kReaderFailed, File set); what they
  // would have held is among the unread samples.
  std::vector<TStatus> FailedFiles;
};

// Loads all samples of record into data: one int32 array per channel of the first file's
// header, aligned in time, all of record.SampleCount samples. The files are those that
// FindRecordFiles finds from record.File over [record.Start, record.Finish); formats read in
// sequence append file after file, packet and index formats are placed by time (gaps stay 0).
// Sets record.SampRate from the first file and record.SampleCount to the samples loaded.
// Status panel 1 and the progress bar show the work; a stop request ends the loading after
// the current file, the samples so far kept (cut and de-meaned as usual).
// Returns false, with data empty and record.SampleCount 0, when record.File is not recognised
// or the matrix cannot be allocated.
bool LoadRecord(TFileRecord& record, TData32& data, UiHost& host, const LoadSettings& settings,
                LoadReport* report = nullptr);

// Subtracts from every sample of each channel the channel's mean rounded to the nearest integer
// (ties to even); results beyond the int32 range are clamped.
void RemoveMeans(TData32& data, UiHost* host = nullptr);

// The same with the mean of each channel taken over its recorded samples only, the spans of
// unread[c] (see LoadReport) being set to 0: zeros standing for a gap would otherwise pull the
// mean toward 0 and shift every real sample by it.
void RemoveMeans(TData32& data, const TChannelRanges& unread, UiHost* host = nullptr);

// Applies turn to samples (the whole matrix or a block of it); nothing when turn is inactive or
// the matrix lacks one of its channels.
void TurnHorizontals(const HorizontalTurn& turn, TData32& samples);

// The unread spans of a record whose horizontals are turned: turn.e gets those of both.
void TurnUnread(const HorizontalTurn& turn, TChannelRanges& unread);

// A part of a record's matrix: samples[c][i] is sample first + i of channel c, every channel the
// same length.
struct RecordBlock {
  int64_t First = 0;
  TData32 Samples;
};

// A record read in blocks: the samples LoadRecord would give, in order, without the whole
// matrix in memory. Open reads every file once for the means (when they are removed) and for
// where the recorded data lie; Next then reads the files again, one at a time (the first ones
// kept from the first pass while they fit in a fixed budget), and hands out what no later file
// can change, in blocks of at most kMaxBlock samples per channel.
// Records whose files cannot be read that way (formats read in sequence, a record of one file
// per channel, files that overlap in time) are loaded whole by Open and handed out from memory;
// the blocks are the same.
class RecordBlocks {
 public:
  static constexpr int64_t kMaxBlock = int64_t{1} << 20;
  // Decoded samples of the first files that the first pass keeps for the second, bytes.
  static constexpr int64_t kKeptBytes = int64_t{256} << 20;

  RecordBlocks();
  ~RecordBlocks();
  RecordBlocks(const RecordBlocks&) = delete;
  RecordBlocks& operator=(const RecordBlocks&) = delete;

  // As LoadRecord: false when record.File is not recognised or nothing can be read; sets
  // record.SampRate and record.SampleCount. report, when given, gets what LoadRecord reports.
  // max_block and kept_bytes (tests) make the blocks smaller and the files kept fewer.
  bool Open(TFileRecord& record, UiHost& host, const LoadSettings& settings,
            LoadReport* report = nullptr, int64_t max_block = kMaxBlock,
            int64_t kept_bytes = kKeptBytes);

  // The next block; false after the last one.
  bool Next(RecordBlock& block);

  // Every remaining block joined into one matrix.
  TData32 ReadAll();

  int Channels() const;
  // Samples per channel of the whole record.
  int64_t Count() const;
  // Per channel, the samples that hold no recorded data (LoadReport::unread).
  const TChannelRanges& Unread() const;
  // Whether the files are read block by block (false: the record was loaded whole).
  bool Streaming() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tarvik

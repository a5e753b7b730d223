#pragma once

// The calculation driver: the entry texts and first-problem marks of the two record lists, the
// checks made before a run, the run loops of primary spectra and H/V ratios with their stop,
// and the result files of a project's records. Windows show what these return; the command
// line and the tests call them directly.

#include <string>
#include <vector>

#include "common/date_text.h"
#include "common/status.h"
#include "project/project.h"
#include "spectral/hv_export.h"
#include "spectral/hvsr.h"
#include "spectral/hvsr_series.h"
#include "spectral/result_files.h"

namespace tarvik {

class HeaderCache;
class UiHost;

// "STATION Ш [E,N,Z] 03.06.2016 19:55:00 (1:00:00)": station, "С" for an event record or "Ш",
// the components of the selected channels in channel order, SelectStart and the selection's
// length. The window's lists and the files are Russian; a console line gives its language
// ("STATION noise [E,N,Z] …").
std::string PrimaryEntryText(const TFileRecord& record, TLanguage language = TLanguage::kRussian);
// The same with the H/V components: "E/Z" and ",N/Z" by the selected E and N channels, or
// "нет" when no selected channel is a Z channel.
std::string HVEntryText(const TFileRecord& record, TLanguage language = TLanguage::kRussian);

// A record is incomplete when a selected channel has no channel response file and lacks a
// sensor or an amplifier response file.
bool IsIncomplete(const TFileRecord& record);
// What an incomplete record lacks, a line per channel (kChannelNeedsSensor and the like, joined
// by kLines, each with its Channel); kOk for a complete record.
TStatus MissingResponses(const TFileRecord& record);
// That told in language ("Канал 2 (HHN): не задан файл ЧХ усилителя; задайте его или файл ЧХ
// всего канала"); empty for a complete record.
std::string MissingResponsesText(const TFileRecord& record,
                                 TLanguage language = TLanguage::kRussian);

inline constexpr char kHVListHint[] =
    "Установите флаги для обрабатываемых записей или выберите запись для визуализации ее спектра";

// One of the two record lists: an entry per record, its check mark, and the first-problem mark
// (0 none, else the 1-based index of the first record that blocks a run).
struct TRecordListModel {
  std::vector<std::string> Entries;
  std::vector<bool> Checked;
  int Problem = 0;
  // The H/V list's hint: the missing spectrum file that set the mark, or the normal hint. The
  // primary list's: what the marked record lacks (MissingResponsesText), or empty.
  std::string Hint;
};

// The primary list: the mark is the first checked record that is incomplete.
TRecordListModel BuildPrimaryList(const TProject& project);
// The H/V list: the mark is the first record checked for H/V whose amplitude-spectrum file does
// not exist.
TRecordListModel BuildHVList(const TProject& project, const TResultFolders& folders);

// The first record checked for primary spectra with a selected channel whose level is not set
// (0 or below, or 2147483647); -1 when there is none.
int FirstRecordWithoutLevel(const TProject& project);

// The primary result file of a record: the power-spectrum file when its settings set computes
// power spectra, else the amplitude-spectrum file.
std::string PrimaryResultPath(const TProject& project, const TResultFolders& folders,
                              const TFileRecord& record);

// The files offered for comparison: every record's primary result file (hv false) or its H/V
// file (hv true), checked exactly when the file exists.
struct TComparisonEntry {
  std::string Path;
  bool Checked = false;
};
std::vector<TComparisonEntry> ComparisonFiles(const TProject& project,
                                              const TResultFolders& folders, bool hv);

struct TRunOptions {
  // Index of the first record; a value below 0 (no entry selected) starts from the first.
  int Start = 0;
  // Only the record at Start, without the list checks and the level warning.
  bool Only = false;
  // Records computed at the same time (1 or more); the result files do not depend on it.
  int Jobs = 1;
  // The files' headers kept across runs (the window's, for an open project); null: the run
  // keeps them for itself, so that each file's header is read once whatever the records.
  HeaderCache* Headers = nullptr;
  // One of ShardCount runs that together write the files of one run (on the machines of a
  // cluster): only the records whose index i has i mod ShardCount == ShardIndex are computed.
  int ShardIndex = 0;
  int ShardCount = 1;
  // H/V run only: records whose primary spectra failed earlier in the same call. Their
  // amplitude file, if there is one, is from an earlier run, so they are skipped with a reason
  // and left out of the check for missing amplitude files.
  std::vector<int> SpectraFailed;
};

// Whether record i belongs to the run's shard.
inline bool InShard(const TRunOptions& options, int i) {
  return options.ShardCount <= 1 || i % options.ShardCount == options.ShardIndex;
}

// The segments a record of a run was computed with: samples per segment and the record's
// sampling rate (both 0 when nothing was computed).
struct TRunWindow {
  int32_t Samples = 0;
  double Rate = 0.0;
};

struct TRunReport {
  // The loop ran (false when a check or the user's answer stopped it before).
  bool Ran = false;
  bool Cancelled = false;
  // The first-problem mark that prevented the run (0 none).
  int Problem = 0;
  // No record from the start on was checked for the run, which therefore did not start.
  bool NothingChecked = false;
  // Records the run handled and what became of them, in record order.
  std::vector<int> Processed;
  std::vector<std::string> Written;
  // Records whose result file was not written (no quiet interval, a response that did not
  // load, a failed write), with the reason (its Record set).
  std::vector<std::pair<int, TStatus>> Failed;
  // Seconds each record of Processed took, and the segments it was computed with, in the same
  // order.
  std::vector<double> Seconds;
  std::vector<TRunWindow> Windows;
  // What the user should know about records whose results were written (an upper filter corner
  // above the Nyquist frequency, a message shown while a record was computed).
  std::vector<std::pair<int, TStatus>> Notes;
  // What the user was told once for the whole run (response files taken as flat responses).
  std::vector<TStatus> Notices;
  // Per record of Processed, in the same order: the gaps of its span that its spectra left out
  // (how many, their seconds) and the record's message about them (Ok without gaps).
  struct TGaps {
    int Count = 0;
    double Seconds = 0.0;
    TStatus Message;
  };
  std::vector<TGaps> Gaps;
};

// What the H/V list's first-problem mark means: the record's amplitude-spectrum file (the
// list's hint) is not there (kAmplitudeSpectrumFileMissing). Names the record and the file and
// says how to compute it; kOk when the list has no mark.
TStatus MissingAmplitudeSpectrum(const TRecordListModel& hv_list);
// That told in language; empty when the list has no mark.
std::string MissingAmplitudeSpectrumText(const TRecordListModel& hv_list,
                                         TLanguage language = TLanguage::kRussian);

// The reason a record's status gives, without the station it is put under (kStationReason):
// what the command line's JSON names by its code.
const TStatus& ReasonOf(const TStatus& status);

// What the end of a run tells in one message, in language: how many of the records it handled
// got no result, each with its reason, then the notes on the others; empty when there is
// neither.
std::string RunSummaryText(const TProject& project, const TRunReport& report,
                           TLanguage language = TLanguage::kRussian);

// Primary spectra of the records checked for processing (or of one record), from Start on:
// each record is computed with the settings set its IsEvent flag selects, over its selected
// span, and written as its primary result file unless the run was stopped. The stop flag of
// host ends the run after the records in progress; a record stopped half way gets no file.
// Each file written is noted in the results folder's manifest as this project's; a run that
// would replace files another project wrote asks first (no run on No), also for one record.
// What a record's calculation would show as a message goes into the report instead (Failed or
// Notes), so that the run goes on to the next record; the caller tells it at the end. A run
// with no record checked is refused with a message.
TRunReport RunPrimary(TProject& project, const TResultFolders& folders, UiHost& host,
                      const TRunOptions& options);

// H/V ratios of the records checked for H/V (or of one record), from their amplitude-spectrum
// files, each written as the record's H/V file; the manifest and its question as in RunPrimary.
TRunReport RunHV(TProject& project, const TResultFolders& folders, UiHost& host,
                 const TRunOptions& options);

// What an H/V statistics run computes besides the options every run takes.
struct THvsrRunOptions {
  THvsrSettings Settings;
  // The records to analyse (0-based, ascending); empty: the records checked for H/V.
  std::vector<int> Records;
  // Above 0: also one result per interval of this many seconds of each selection.
  double EverySeconds = 0.0;
  // Above 0: also one result per azimuth 0, step, 2·step ... 180 degrees.
  double AzimuthStep = 0.0;
};

// What became of one record of an H/V statistics run.
struct THvsrRecordRun {
  int Record = -1;
  // Stopped before it had a result: nothing to tell.
  bool Stopped = false;
  // The statistics were computed (Result holds them, without the windows' curves); else Error
  // says why not. Error is also set when the result was computed but not written.
  bool Analysed = false;
  THvsrResult Result;
  std::vector<THvsrInterval> Intervals;  // with EverySeconds, without curves but the mean
  THvsrAzimuths Azimuths;                // with AzimuthStep, the same
  // The files written (the ".hv" file and its companions, then the series files); empty when
  // nothing was written.
  std::vector<std::string> Files;
  TStatus Error;
};

struct THvsrRunReport {
  TRunReport Run;
  // One per record of Run.Processed, in the same order.
  std::vector<THvsrRecordRun> Records;
};

// The files an H/V statistics run writes for record: the ".hv" file, its window CSV and report,
// and the time and azimuth tables when options asks for them.
std::vector<std::string> HvsrRunFiles(const TResultFolders& folders, const TFileRecord& record,
                                      const THvsrRunOptions& options);

// Per-window H/V statistics of the chosen records (options.Records, or the records checked for
// H/V; from Start on, or only the record at Start), each written as its ".hv" file with its
// companions, with the checks, questions, jobs, shards and stop of RunPrimary. A record without
// f0 gets no files: the files of an earlier run stay as they were. Settings that cannot be used
// refuse the run with a message.
THvsrRunReport RunHvsr(TProject& project, const TResultFolders& folders, UiHost& host,
                       const TRunOptions& options, const THvsrRunOptions& hvsr);

}  // namespace tarvik

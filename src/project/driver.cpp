#include "project/driver.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>

#include "common/paths.h"
#include "common/ui_host.h"
#include "project/bin_ini_file.h"
#include "project/result_manifest.h"
#include "project/settings_keys.h"
#include "records/header_cache.h"
#include "response/load_response.h"
#include "spectral/hv.h"
#include "spectral/spectrum_engine.h"

namespace tarvik {

namespace {

constexpr int32_t kLevelNotSet = 2147483647;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

int Channels(const TFileRecord& r) {
  return std::clamp(r.ChannelCount(), 0, kMaxChannels);
}

std::string EntryText(const TFileRecord& r, const std::string& components, TLanguage language) {
  const std::string_view kind =
      CatalogueText(r.IsEvent ? TCode::kEntryEventMark : TCode::kEntryNoiseMark, language);
  return r.Station + " " + std::string(kind) + " [" + components + "] " +
         FormatProjectDateTime(r.SelectStart) + " (" +
         SelectionLengthText(r.SelectFinish - r.SelectStart) + ")";
}

// What became of one record of a run.
struct RecordOutcome {
  bool Handled = false;
  bool Stopped = false;
  std::string Written;
  TStatus Failure;
  double Seconds = 0.0;
  TRunWindow Window;
  // Notes of the run's own, and the messages the record's calculation would have shown.
  std::vector<TStatus> Notes;
  std::vector<TStatus> Messages;
  TRunReport::TGaps Gaps;
};

// The host of one record of a run: keeps its messages as CollectingUiHost does, and with each
// the status it was told from (a text a layer below hands over as such is read back into one).
class RecordUiHost : public CollectingUiHost {
 public:
  using CollectingUiHost::CollectingUiHost;
  using UiHost::SetOperation;
  using UiHost::SetStage;
  using UiHost::ShowMessage;
  using UiHost::ShowMessageOfKind;

  void Noted(const TStatus& status) override {
    CollectingUiHost::Noted(status);
    std::lock_guard lock(mutex_);
    pending_ = status;
  }
  void SetOperation(std::string_view text) override {
    Forget();
    CollectingUiHost::SetOperation(text);
  }
  void SetStage(std::string_view text) override {
    Forget();
    CollectingUiHost::SetStage(text);
  }
  void ShowMessage(std::string_view text) override {
    CollectingUiHost::ShowMessage(text);
    Keep(text);
  }
  void ShowMessageOfKind(MessageKind kind, std::string_view text) override {
    CollectingUiHost::ShowMessageOfKind(kind, text);
    Keep(text);
  }

  std::vector<TStatus> Statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

 private:
  void Forget() {
    std::lock_guard lock(mutex_);
    pending_.reset();
  }
  void Keep(std::string_view text) {
    std::lock_guard lock(mutex_);
    statuses_.push_back(pending_ ? *std::move(pending_) : MakeStatus(TCode::kReasonText, {text}));
    pending_.reset();
  }

  mutable std::mutex mutex_;
  std::optional<TStatus> pending_;
  std::vector<TStatus> statuses_;
};

// text without the "STATION: " most reasons of a record begin with.
std::string WithoutStation(const std::string& text, const std::string& station) {
  const std::string own = station + ": ";
  return text.compare(0, own.size(), own) == 0 ? text.substr(own.size()) : text;
}

// reason of the record at station: kStationReason, Record set.
TStatus OfStation(const std::string& station, TStatus reason, int index) {
  TStatus status = MakeStatus(TCode::kStationReason, {station, reason});
  status.Record = index;
  return status;
}

// Runs work(i) for i = first .. count - 1 on up to jobs threads, each index once, in ascending
// order of start. After each index the gauge shows how many are done and pending events run;
// no new index starts once the stop flag (or an abort after an error) is set.
template <typename Work>
void RunIndices(int first, int count, int jobs, UiHost& host, std::vector<RecordOutcome>& outcomes,
                Work work) {
  std::atomic<int> next{first};
  std::atomic<int> done{0};
  std::atomic<bool> abort{false};
  auto worker = [&] {
    while (!host.StopRequested() && !abort.load()) {
      const int i = next.fetch_add(1);
      if (i >= count) break;
      RecordOutcome& out = outcomes[static_cast<size_t>(i)];
      try {
        work(i, out);
      } catch (const std::exception& e) {
        // Told with the run's other failures at its end.
        out.Failure = MakeStatus(TCode::kReasonText, {e.what()});
        abort.store(true);
      }
      host.SetGauge(first + done.fetch_add(1) + 1, count);
      host.ProcessEvents();
    }
  };
  const int span = std::max(0, count - first);
  const int threads = std::clamp(jobs, 1, std::max(1, span));
  if (threads == 1) {
    worker();
    return;
  }
  std::vector<std::thread> pool;
  pool.reserve(static_cast<size_t>(threads));
  for (int t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (std::thread& t : pool) t.join();
}

void Summarise(const std::vector<RecordOutcome>& outcomes, TRunReport& report) {
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const RecordOutcome& o = outcomes[i];
    if (!o.Handled) continue;
    const int index = static_cast<int>(i);
    report.Processed.push_back(index);
    report.Seconds.push_back(o.Seconds);
    report.Windows.push_back(o.Window);
    TStatus failure;
    report.Gaps.push_back(o.Gaps);
    if (!o.Written.empty()) {
      report.Written.push_back(o.Written);
    } else if (!o.Stopped) {
      failure = o.Failure;
      if (failure.Ok() && !o.Messages.empty()) failure = o.Messages.front();
      if (failure.Record < 0) failure.Record = index;
      report.Failed.emplace_back(index, failure);
    }
    std::vector<TStatus> notes = o.Notes;
    for (const TStatus& m : o.Messages) {
      if (m.Code != failure.Code || m.Args != failure.Args) notes.push_back(m);
    }
    for (TStatus& n : notes) {
      if (n.Record < 0) n.Record = index;
      report.Notes.emplace_back(index, std::move(n));
    }
  }
}

// The results folder's manifest and the project a run notes as the writer of its files.
struct RunOwner {
  TResultManifest& Manifest;
  std::string Project;

  void Wrote(const std::string& path, int index, const TFileRecord& record) const {
    Manifest.Note(path, {Project, ManifestRecordText(index, record.Station), {}});
  }
};

void PrimaryRecord(TProject& project, const TResultFolders& folders, int i, UiHost& host,
                   HeaderCache& headers, const RunOwner& owner, RecordOutcome& out) {
  TFileRecord& record = project.Records[static_cast<size_t>(i)];
  out.Handled = true;
  // A filter that is on but would filter nothing must not give spectra that look filtered.
  const TSpectrumSettings& settings = project.SettingsFor(record);
  if (TStatus failure = CheckFilters(settings, record.SampRate).Failure; !failure.Ok()) {
    out.Failure = OfStation(record.Station, std::move(failure), i);
    return;
  }
  TMatrix2D mean, stdev;
  const TSpectraStatus status =
      CalculateSpectra(record, settings, record.SelectStart, record.SelectFinish,
                       project.General.SampRateDefault, host, mean, stdev, {}, &headers);
  out.Gaps = {static_cast<int>(status.Gaps.size()), status.GapSeconds,
              GapStatus(record.Station, status)};
  if (status.Outcome == TSpectraOutcome::kStopped || host.StopRequested()) {
    out.Stopped = true;
    return;
  }
  if (!status.Computed()) {
    out.Failure = status.Failure;
    return;
  }
  out.Window = {status.Used.SegmentLength, record.SampRate};
  // The rate the samples were read with decides where the Nyquist frequency lies.
  if (TStatus note = CheckFilters(settings, record.SampRate).Note; !note.Ok())
    out.Notes.push_back(OfStation(record.Station, std::move(note), i));
  const std::string path = PrimaryResultPath(project, folders, record);
  const TWriteStatus written =
      WriteSpectrum(path, record, mean, stdev, host, status.Used.TransformLength);
  if (written) {
    out.Written = path;
    owner.Wrote(path, i, record);
  } else {
    out.Stopped = written.Outcome == TWriteOutcome::kStopped;
    out.Failure = written.Status;
  }
}

void HVRecord(TProject& project, const TResultFolders& folders, int i, UiHost& host,
              const RunOwner& owner, RecordOutcome& out) {
  const TFileRecord& record = project.Records[static_cast<size_t>(i)];
  out.Handled = true;
  // Without a Z channel, or without E or N, the ratios would be 1 (or half of one ratio)
  // written as if they were measured.
  const std::string missing = MissingHVComponents(record);
  if (!missing.empty()) {
    out.Failure = MakeStatus(missing.size() == 1 ? TCode::kNoChannelForHV : TCode::kNoChannelsForHV,
                             {record.Station, missing});
    out.Failure.Record = i;
    host.ShowMessage(out.Failure);
    return;
  }
  TMatrix2D ratios, stdev;
  std::vector<double> frequencies;
  const std::string prim = SpectrumFilePath(folders, record, false);
  // Ratios are formed from amplitude spectra only; a record computed as power spectra has none
  // unless an earlier run left one.
  if (!FileExists(prim)) {
    const bool power = project.SettingsFor(record).SpectrumType == TSpectrumType::kPower;
    out.Failure =
        MakeStatus(power ? TCode::kHVNeedsAmplitudeNotPower : TCode::kHVNeedsAmplitudeOnly,
                   {record.Station, prim});
    out.Failure.Record = i;
    out.Failure.File = prim;
    host.ShowMessage(out.Failure);
    return;
  }
  TStatus reason;
  const bool formed = CalculateHV(prim, host, ratios, stdev, &frequencies, &reason);
  if (host.StopRequested()) {
    out.Stopped = true;
    return;
  }
  if (!formed) {
    out.Failure = reason.Ok() ? MakeStatus(TCode::kFileNotRead, {prim}) : reason;
    out.Failure.File = prim;
    return;
  }
  const std::string path = RatioFilePath(folders, record);
  const TWriteStatus written =
      WriteRatios(path, ratios, stdev, host, record.SampRate, &frequencies);
  if (written) {
    out.Written = path;
    owner.Wrote(path, i, record);
  } else {
    out.Stopped = written.Outcome == TWriteOutcome::kStopped;
    out.Failure = written.Status;
  }
}

// The options of a run whose records from options.Start on write the files path_of gives (an
// empty path for a record the run skips). Records with the same station and selection start
// write the same file: a serial run leaves the later record's results there, records computed
// at the same time would leave whichever happened to finish last, so such a run takes one job.
template <typename PathOf>
TRunOptions JobsForResultFiles(const TProject& project, TRunOptions options, PathOf path_of) {
  if (options.Jobs <= 1) return options;
  std::set<std::string> seen;
  for (size_t i = static_cast<size_t>(std::max(0, options.Start)); i < project.Records.size();
       ++i) {
    const std::string path = path_of(project.Records[i]);
    if (!path.empty() && !seen.insert(path).second) {
      options.Jobs = 1;
      break;
    }
  }
  return options;
}

// The records of a shard that another shard would overwrite: a record whose result file a
// later checked record writes again is left to that one. One run ends with the later record's
// file; shards running at the same time could end with either.
template <typename PathOf>
std::vector<bool> OverwrittenLater(const TProject& project, const TRunOptions& options,
                                   PathOf path_of) {
  std::vector<bool> skip(project.Records.size(), false);
  if (options.ShardCount <= 1) return skip;
  std::set<std::string> later;
  for (size_t i = project.Records.size(); i-- > static_cast<size_t>(std::max(0, options.Start));) {
    const std::string path = path_of(project.Records[i]);
    if (!path.empty() && !later.insert(path).second) skip[i] = true;
  }
  return skip;
}

// Tells the user which entry lacks its response files; a report naming it, or nullopt when
// every entry has them. missing_file, when not empty, is the file whose absence set the mark;
// it is named on a line of its own, so that the user looks for that file and not for response
// files.
std::optional<TRunReport> RefuseIncompleteResponses(const TProject& project,
                                                    const TRecordListModel& list, UiHost& host) {
  if (list.Problem <= 0) return std::nullopt;
  const auto index = static_cast<size_t>(list.Problem - 1);
  const std::string& entry = list.Entries[index];
  const TStatus missing =
      index < project.Records.size() ? MissingResponses(project.Records[index]) : TStatus{};
  TStatus status = missing.Ok() ? MakeStatus(TCode::kResponsesNotSet, {entry})
                                : MakeStatus(TCode::kResponsesNotSetHint, {entry, missing});
  status.Record = static_cast<int>(index);
  host.ShowMessage(status);
  TRunReport report;
  report.Problem = list.Problem;
  return report;
}

struct RunTexts {
  TCode Operation;
  TCode Finished;
  TCode Cancelled;
};

constexpr RunTexts kPrimaryTexts = {TCode::kPrimaryRun, TCode::kPrimaryRunDone,
                                    TCode::kPrimaryRunCancelled};
constexpr RunTexts kHvsrTexts = {TCode::kHvsrRun, TCode::kHvsrRunDone, TCode::kHvsrRunCancelled};
constexpr RunTexts kHVTexts = {TCode::kHVRun, TCode::kHVRunDone, TCode::kHVRunCancelled};

// Runs untimed(i, out, record_host) over the records: each record gets a host of its own whose
// messages are kept for the report rather than shown, so that no record waits for the user.
template <typename Work>
TRunReport RunLoop(TProject& project, UiHost& host, const TRunOptions& options,
                   const RunTexts& texts, Work untimed) {
  const auto work = [&untimed, &host](int i, RecordOutcome& out) {
    RecordUiHost record_host(host);
    const auto started = std::chrono::steady_clock::now();
    untimed(i, out, record_host);
    out.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    out.Messages = record_host.Statuses();
  };
  TRunReport report;
  const int count = static_cast<int>(project.Records.size());
  // No entry selected: the run starts from the first record.
  const int start = std::max(0, options.Start);
  host.SetOperation(MakeStatus(texts.Operation));
  std::vector<RecordOutcome> outcomes(project.Records.size());
  report.Ran = true;
  if (options.Only) {
    if (start < count) {
      try {
        work(start, outcomes[static_cast<size_t>(start)]);
      } catch (const std::exception& e) {
        outcomes[static_cast<size_t>(start)].Failure = MakeStatus(TCode::kReasonText, {e.what()});
      }
    }
  } else {
    host.SetGauge(0, count);
    host.ProcessEvents();
    RunIndices(start, count, options.Jobs, host, outcomes, work);
  }
  Summarise(outcomes, report);
  report.Cancelled = host.StopRequested();
  host.SetStage(MakeStatus(report.Cancelled ? texts.Cancelled : texts.Finished));
  return report;
}

// Asks whether to go on when records of the run would write the same result file (the same
// station and selection start: the same data added twice, or files without a station), since
// each would overwrite the results of the one before. True when no file is shared or the user
// answers Yes.
template <typename PathOf>
bool AcceptSharedResultFiles(const TProject& project, int start, UiHost& host, PathOf path_of) {
  std::vector<std::pair<std::string, std::vector<int>>> files;
  for (size_t i = static_cast<size_t>(std::max(0, start)); i < project.Records.size(); ++i) {
    const std::string path = path_of(project.Records[i]);
    if (path.empty()) continue;
    auto same =
        std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == path; });
    if (same == files.end()) {
      files.push_back({path, {static_cast<int>(i)}});
    } else {
      same->second.push_back(static_cast<int>(i));
    }
  }
  std::optional<TStatus> shared;
  for (const auto& [path, records] : files) {
    if (records.size() < 2) continue;
    std::string list;
    for (size_t k = 0; k < records.size(); ++k) {
      const TFileRecord& r = project.Records[static_cast<size_t>(records[k])];
      list += (k == 0 ? "" : ", ") + std::to_string(records[k] + 1) + " (" + r.Station + ")";
    }
    TStatus line = MakeStatus(TCode::kSameResultFile, {list, path});
    shared = shared ? MakeStatus(TCode::kLines, {*shared, line}) : line;
  }
  if (!shared) return true;
  return host.AskYesNo(
      MakeStatus(TCode::kSameResultFileQuestion, {*shared, MakeStatus(TCode::kLastResultStays)}));
}

// Asks whether to go on when files the run would write hold results that another project
// wrote (projects sharing a results folder write the same names for the same station and
// time). planned(i) is the file record i would write, or "" when the run skips it. True when
// no such file is found or the user answers Yes.
template <typename Planned>
bool AcceptOtherProjectsFiles(const TProject& project, const TRunOptions& options,
                              const RunOwner& owner, UiHost& host, Planned planned) {
  std::vector<std::string> files;
  const size_t first = static_cast<size_t>(std::max(0, options.Start));
  const size_t end =
      options.Only ? std::min(first + 1, project.Records.size()) : project.Records.size();
  for (size_t i = first; i < end; ++i) {
    std::string path = planned(static_cast<int>(i));
    if (!path.empty()) files.push_back(std::move(path));
  }
  const TStatus question = OtherProjectsQuestion(owner.Manifest, files, owner.Project);
  return question.Ok() || host.AskYesNo(question);
}

// Tells once, for the whole run, which response files of the records it computes are taken as
// a flat response of 1.
std::vector<TStatus> NoteFlatResponses(const TProject& project, const TRunOptions& options,
                                       UiHost& host) {
  std::vector<std::string> checked;
  std::vector<TStatus> notices;
  const size_t first = static_cast<size_t>(std::max(0, options.Start));
  const size_t end =
      options.Only ? std::min(first + 1, project.Records.size()) : project.Records.size();
  for (size_t i = first; i < end; ++i) {
    const TFileRecord& r = project.Records[i];
    if (!options.Only && !r.ToProcess) continue;
    for (int c = 0; c < Channels(r); ++c) {
      if (!r.Channels[c].Selected) continue;
      for (const std::string* stored :
           {&r.Channels[c].ChannelResp, &r.Channels[c].SensorResp, &r.Channels[c].AmplifierResp}) {
        // The sensor and amplifier files are not part of the chain when a channel file is set.
        if (stored != &r.Channels[c].ChannelResp && !r.Channels[c].ChannelResp.empty()) break;
        const std::string path = NativePath(*stored);
        if (path.empty() || std::find(checked.begin(), checked.end(), path) != checked.end())
          continue;
        checked.push_back(path);
        if (TakenAsFlatResponse(path))
          notices.push_back(MakeStatus(TCode::kCliFlatResponse, {path}));
      }
    }
  }
  if (!notices.empty()) {
    // One message for all of them, a line each.
    TStatus told = notices.back();
    for (size_t k = notices.size() - 1; k-- > 0;)
      told = MakeStatus(TCode::kLines, {notices[k], told});
    host.ShowMessage(told);
  }
  return notices;
}

// Refuses a run in which no record from start on has the flag checked(record) reads, telling the
// user how to check them; nullopt when one is checked.
template <typename Checked>
std::optional<TRunReport> RefuseNothingChecked(const TProject& project, int start, UiHost& host,
                                               Checked checked, TCode nothing, TCode how) {
  for (size_t i = static_cast<size_t>(std::max(0, start)); i < project.Records.size(); ++i) {
    if (checked(project.Records[i])) return std::nullopt;
  }
  host.ShowMessage(
      start > 0 ? MakeStatus(TCode::kNothingCheckedFrom,
                             {MakeStatus(nothing), std::to_string(start + 1), MakeStatus(how)})
                : MakeStatus(TCode::kNothingCheckedHow, {MakeStatus(nothing), MakeStatus(how)}));
  // Nothing was done: the gauge must not go on showing the end of what went before.
  host.SetGauge(0, static_cast<int>(project.Records.size()));
  TRunReport report;
  report.NothingChecked = true;
  return report;
}

// The H/V list, its mark set only by records for which counts(index) holds.
template <typename Counts>
TRecordListModel HVList(const TProject& project, const TResultFolders& folders, Counts counts) {
  TRecordListModel list;
  for (size_t i = 0; i < project.Records.size(); ++i) {
    const TFileRecord& r = project.Records[i];
    list.Entries.push_back(HVEntryText(r));
    list.Checked.push_back(r.ToProcessNakamura);
    if (list.Problem == 0 && r.ToProcessNakamura && counts(static_cast<int>(i))) {
      const std::string prim = SpectrumFilePath(folders, r, false);
      if (!FileExists(prim)) {
        list.Problem = static_cast<int>(i) + 1;
        list.Hint = prim;
      }
    }
  }
  if (list.Hint.empty()) list.Hint = kHVListHint;
  return list;
}

}  // namespace

std::string PrimaryEntryText(const TFileRecord& record, TLanguage language) {
  std::string components;
  for (int c = 0; c < Channels(record); ++c) {
    if (!record.Channels[c].Selected) continue;
    if (!components.empty()) components += ',';
    components += ComponentLetter(record.Channels[c].Axis);
  }
  return EntryText(record, components, language);
}

std::string HVEntryText(const TFileRecord& record, TLanguage language) {
  bool e = false, n = false, z = false;
  for (int c = 0; c < Channels(record); ++c) {
    if (!record.Channels[c].Selected) continue;
    e = e || record.Channels[c].Axis == Component::kE;
    n = n || record.Channels[c].Axis == Component::kN;
    z = z || record.Channels[c].Axis == Component::kZ;
  }
  std::string components(CatalogueText(TCode::kEntryNoHvComponents, language));
  if (z) {
    components.clear();
    if (e) components += "E/Z";
    if (n) components += ",N/Z";
  }
  return EntryText(record, components, language);
}

bool IsIncomplete(const TFileRecord& record) {
  for (int c = 0; c < Channels(record); ++c) {
    if (!record.Channels[c].Selected || !record.Channels[c].ChannelResp.empty()) continue;
    if (record.Channels[c].SensorResp.empty() || record.Channels[c].AmplifierResp.empty())
      return true;
  }
  return false;
}

TStatus MissingResponses(const TFileRecord& record) {
  std::optional<TStatus> all;
  for (int c = 0; c < Channels(record); ++c) {
    if (!record.Channels[c].Selected || !record.Channels[c].ChannelResp.empty()) continue;
    const bool sensor = record.Channels[c].SensorResp.empty();
    const bool amplifier = record.Channels[c].AmplifierResp.empty();
    if (!sensor && !amplifier) continue;
    const TCode code = sensor && amplifier ? TCode::kChannelNeedsBoth
                       : sensor            ? TCode::kChannelNeedsSensor
                                           : TCode::kChannelNeedsAmplifier;
    TStatus line = MakeStatus(code, {std::to_string(c + 1), record.Channels[c].Channel});
    line.Channel = c;
    all = all ? MakeStatus(TCode::kLines, {*all, line}) : line;
  }
  return all ? *all : TStatus{};
}

std::string MissingResponsesText(const TFileRecord& record, TLanguage language) {
  return Text(MissingResponses(record), language);
}

TRecordListModel BuildPrimaryList(const TProject& project) {
  TRecordListModel list;
  for (size_t i = 0; i < project.Records.size(); ++i) {
    const TFileRecord& r = project.Records[i];
    list.Entries.push_back(PrimaryEntryText(r));
    list.Checked.push_back(r.ToProcess);
    if (list.Problem == 0 && r.ToProcess && IsIncomplete(r)) {
      list.Problem = static_cast<int>(i) + 1;
      list.Hint = MissingResponsesText(r);
    }
  }
  return list;
}

TRecordListModel BuildHVList(const TProject& project, const TResultFolders& folders) {
  return HVList(project, folders, [](int) { return true; });
}

int FirstRecordWithoutLevel(const TProject& project) {
  for (size_t i = 0; i < project.Records.size(); ++i) {
    const TFileRecord& r = project.Records[i];
    if (!r.ToProcess) continue;
    for (int c = 0; c < Channels(r); ++c) {
      if (r.Channels[c].Selected &&
          (r.Channels[c].Level <= 0 || r.Channels[c].Level == kLevelNotSet))
        return static_cast<int>(i);
    }
  }
  return -1;
}

std::string PrimaryResultPath(const TProject& project, const TResultFolders& folders,
                              const TFileRecord& record) {
  return SpectrumFilePath(folders, record,
                          project.SettingsFor(record).SpectrumType == TSpectrumType::kPower);
}

std::vector<TComparisonEntry> ComparisonFiles(const TProject& project,
                                              const TResultFolders& folders, bool hv) {
  std::vector<TComparisonEntry> out;
  for (const TFileRecord& r : project.Records) {
    TComparisonEntry e;
    e.Path = hv ? RatioFilePath(folders, r) : PrimaryResultPath(project, folders, r);
    e.Checked = FileExists(e.Path);
    out.push_back(std::move(e));
  }
  return out;
}

TStatus MissingAmplitudeSpectrum(const TRecordListModel& hv_list) {
  if (hv_list.Problem <= 0 || static_cast<size_t>(hv_list.Problem) > hv_list.Entries.size())
    return {};
  TStatus status = MakeStatus(TCode::kAmplitudeSpectrumFileMissing,
                              {hv_list.Entries[static_cast<size_t>(hv_list.Problem - 1)],
                               hv_list.Hint, MakeStatus(TCode::kHVNeedsAmplitudeSpectra)});
  status.Record = hv_list.Problem - 1;
  status.File = hv_list.Hint;
  return status;
}

std::string MissingAmplitudeSpectrumText(const TRecordListModel& hv_list, TLanguage language) {
  const TStatus status = MissingAmplitudeSpectrum(hv_list);
  return status.Ok() ? std::string() : Text(status, language);
}

const TStatus& ReasonOf(const TStatus& status) {
  if (status.Code == TCode::kStationReason && status.Args.size() == 2 && status.Args[1].Nested)
    return *status.Args[1].Nested;
  return status;
}

std::string RunSummaryText(const TProject& project, const TRunReport& report, TLanguage language) {
  const auto line = [&](int i, const std::string& text) {
    const std::string& station = project.Records[static_cast<size_t>(i)].Station;
    // Most reasons begin with the station already.
    return Text(MakeStatus(TCode::kSummaryRecord,
                           {std::to_string(i + 1), station, WithoutStation(text, station)}),
                language);
  };
  std::string out;
  if (!report.Failed.empty()) {
    out = Text(MakeStatus(TCode::kRecordsNotComputed, {std::to_string(report.Failed.size()),
                                                       std::to_string(report.Processed.size())}),
               language);
    for (const auto& [i, reason] : report.Failed) out += "\n" + line(i, Text(reason, language));
  }
  // A record computed around gaps gives a result that looks whole: its message says what was
  // left out, so the summary tells it beside the other notes.
  std::vector<std::pair<int, std::string>> notes;
  for (const auto& [i, note] : report.Notes) notes.emplace_back(i, Text(note, language));
  for (size_t k = 0; k < report.Gaps.size() && k < report.Processed.size(); ++k) {
    if (!report.Gaps[k].Message.Ok())
      notes.emplace_back(report.Processed[k], Text(report.Gaps[k].Message, language));
  }
  if (!notes.empty()) {
    if (!out.empty()) out += "\n\n";
    out += Text(MakeStatus(TCode::kRemarks), language);
    for (const auto& [i, note] : notes) out += "\n" + line(i, note);
  }
  return out;
}

TRunReport RunPrimary(TProject& project, const TResultFolders& folders, UiHost& host,
                      const TRunOptions& options) {
  host.ClearStop();
  const auto path_of = [&](const TFileRecord& r) {
    return r.ToProcess ? PrimaryResultPath(project, folders, r) : std::string();
  };
  if (!options.Only) {
    if (auto refused = RefuseNothingChecked(
            project, options.Start, host, [](const TFileRecord& r) { return r.ToProcess; },
            TCode::kNoRecordCheckedForSpectra, TCode::kCheckRecordsForSpectra)) {
      return *refused;
    }
    if (auto refused = RefuseIncompleteResponses(project, BuildPrimaryList(project), host)) {
      return *refused;
    }
    const int unset = FirstRecordWithoutLevel(project);
    if (unset >= 0) {
      const TFileRecord& r = project.Records[static_cast<size_t>(unset)];
      if (!host.AskYesNo(MakeStatus(TCode::kQuietIntervalQuestion, {r.Station, r.File}))) {
        host.SetStage(MakeStatus(kPrimaryTexts.Finished));
        return TRunReport{};
      }
    }
    if (!AcceptSharedResultFiles(project, options.Start, host, path_of)) {
      host.SetStage(MakeStatus(kPrimaryTexts.Finished));
      return TRunReport{};
    }
  }
  const std::vector<bool> skip = OverwrittenLater(project, options, path_of);
  const auto computed = [&](int i) {
    return options.Only || (project.Records[static_cast<size_t>(i)].ToProcess &&
                            InShard(options, i) && !skip[static_cast<size_t>(i)]);
  };
  TResultManifest manifest(folders.Results);
  const RunOwner owner{manifest, ProjectIdentity(project.FileName)};
  if (!AcceptOtherProjectsFiles(project, options, owner, host, [&](int i) {
        return computed(i)
                   ? PrimaryResultPath(project, folders, project.Records[static_cast<size_t>(i)])
                   : std::string();
      })) {
    host.SetStage(MakeStatus(kPrimaryTexts.Finished));
    return TRunReport{};
  }
  std::vector<TStatus> notices = NoteFlatResponses(project, options, host);
  const TRunOptions run = JobsForResultFiles(project, options, path_of);
  HeaderCache own;
  HeaderCache& headers = options.Headers != nullptr ? *options.Headers : own;
  headers.NewPass();
  TRunReport report =
      RunLoop(project, host, run, kPrimaryTexts, [&](int i, RecordOutcome& out, UiHost& h) {
        if (computed(i)) PrimaryRecord(project, folders, i, h, headers, owner, out);
      });
  report.Notices = std::move(notices);
  return report;
}

TRunReport RunHV(TProject& project, const TResultFolders& folders, UiHost& host,
                 const TRunOptions& options) {
  host.ClearStop();
  const std::vector<int>& skip = options.SpectraFailed;
  const auto skipped = [&](int i) { return std::find(skip.begin(), skip.end(), i) != skip.end(); };
  // Called with elements of project.Records, whose index the address gives.
  const auto ratio_path = [&](const TFileRecord& r) {
    const auto i = static_cast<int>(&r - project.Records.data());
    return r.ToProcessNakamura && !skipped(i) ? RatioFilePath(folders, r) : std::string();
  };
  if (!options.Only) {
    if (auto refused = RefuseNothingChecked(
            project, options.Start, host, [](const TFileRecord& r) { return r.ToProcessNakamura; },
            TCode::kNoRecordCheckedForHV, TCode::kCheckRecordsForHV)) {
      return *refused;
    }
    // Records whose spectra failed in this call are skipped below, and a shard needs only its
    // own records' spectra, which other shards may still be computing for theirs.
    const TRecordListModel list =
        HVList(project, folders, [&](int i) { return !skipped(i) && InShard(options, i); });
    if (list.Problem > 0) {
      host.ShowMessage(MissingAmplitudeSpectrum(list));
      TRunReport report;
      report.Problem = list.Problem;
      return report;
    }
    if (!AcceptSharedResultFiles(project, options.Start, host, ratio_path)) {
      host.SetStage(MakeStatus(kHVTexts.Finished));
      return TRunReport{};
    }
  }
  const std::vector<bool> overwritten = OverwrittenLater(project, options, ratio_path);
  const auto computed = [&](int i) {
    return options.Only || (project.Records[static_cast<size_t>(i)].ToProcessNakamura &&
                            InShard(options, i) && !overwritten[static_cast<size_t>(i)]);
  };
  TResultManifest manifest(folders.Results);
  const RunOwner owner{manifest, ProjectIdentity(project.FileName)};
  if (!AcceptOtherProjectsFiles(project, options, owner, host, [&](int i) {
        return computed(i) && !skipped(i)
                   ? RatioFilePath(folders, project.Records[static_cast<size_t>(i)])
                   : std::string();
      })) {
    host.SetStage(MakeStatus(kHVTexts.Finished));
    return TRunReport{};
  }
  const TRunOptions run = JobsForResultFiles(project, options, ratio_path);
  return RunLoop(project, host, run, kHVTexts, [&](int i, RecordOutcome& out, UiHost& h) {
    if (!computed(i)) return;
    if (skipped(i)) {
      out.Handled = true;
      out.Failure = MakeStatus(TCode::kSkippedSpectraFailed);
      return;
    }
    HVRecord(project, folders, i, h, owner, out);
  });
}

namespace {

// Leaves of a result only what its tables and reports use: the windows' curves are written
// with the record's files and would otherwise stay in memory for the whole run.
THvsrResult Summary(THvsrResult result) {
  result.Curves.clear();
  result.Curves.shrink_to_fit();
  return result;
}

void HvsrRecord(TProject& project, const TResultFolders& folders, int i, UiHost& host,
                HeaderCache& headers, const RunOwner& owner, const THvsrRunOptions& options,
                RecordOutcome& out, THvsrRecordRun& run) {
  TFileRecord& record = project.Records[static_cast<size_t>(i)];
  out.Handled = true;
  run.Record = i;
  const TSpectrumSettings& spectrum = project.SettingsFor(record);
  const double default_rate = project.General.SampRateDefault;
  THvsrWindowSet windows;
  THvsrAzimuths azimuths;
  const THvsrStatus status =
      options.AzimuthStep > 0.0
          ? AnalyseRecordAzimuths(record, spectrum, default_rate, options.Settings,
                                  options.AzimuthStep, host, windows, azimuths, &headers)
          : CollectRecordWindows(record, spectrum, default_rate, options.Settings, host, windows,
                                 &headers);
  if (status.Outcome == THvsrOutcome::kStopped || host.StopRequested()) {
    out.Stopped = run.Stopped = true;
    return;
  }
  if (status.Outcome != THvsrOutcome::kAnalysed) {
    out.Failure = run.Error = status.Failure;
    return;
  }
  out.Window = {static_cast<int32_t>(std::lround(windows.WindowSeconds * record.SampRate)),
                record.SampRate};
  // An interval shorter than a window would hold at most one and give no statistics: a day
  // cut into seconds would only fill memory with empty results.
  if (options.EverySeconds > 0.0 && options.EverySeconds < windows.WindowSeconds) {
    const auto number = [](double value) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", value);
      return std::string(text);
    };
    out.Failure = run.Error =
        MakeStatus(TCode::kIntervalShorterThanWindow,
                   {record.Station, number(options.EverySeconds), number(windows.WindowSeconds)});
    return;
  }
  std::vector<THvsrInterval> intervals;
  if (options.EverySeconds > 0.0)
    intervals = AnalyseIntervals(windows, record, options.EverySeconds, options.Settings);
  const THvsrResult result = AnalyseWindows(std::move(windows), options.Settings);
  run.Analysed = true;
  const THvsrPaths paths = HvsrFilePaths(folders, record);
  const THvsrSeriesPaths series = HvsrSeriesPaths(paths);
  if (!result.Ok) {
    std::error_code ec;
    out.Failure = run.Error = MakeStatus(
        std::filesystem::exists(paths.Hv, ec) ? TCode::kNoF0EarlierFilesKept
                                              : TCode::kNoF0NothingWritten,
        {record.Station, result.Reason.Ok() ? TArg(result.Verdict) : TArg(result.Reason)});
  } else {
    std::vector<std::pair<std::string, std::string>> more;
    if (options.EverySeconds > 0.0) {
      more.emplace_back(series.TimeCsv, TimeSeriesCsvText(intervals));
      more.emplace_back(series.TimeJson,
                        TimeSeriesJsonText(intervals, record, options.EverySeconds));
    }
    if (options.AzimuthStep > 0.0) {
      more.emplace_back(series.AzimuthCsv, AzimuthCsvText(azimuths));
      more.emplace_back(series.AzimuthJson, AzimuthJsonText(azimuths, record, options.AzimuthStep));
    }
    TStatus message;
    if (WriteHvsrFiles(paths, result, record, more, message)) {
      out.Written = paths.Hv;
      run.Files = {paths.Hv, paths.Windows, paths.Report};
      for (const auto& file : more) run.Files.push_back(file.first);
      for (const std::string& file : run.Files) owner.Wrote(file, i, record);
    } else {
      out.Failure = run.Error = OfStation(record.Station, message, i);
    }
  }
  run.Result = Summary(result);
  for (THvsrInterval& interval : intervals) interval.Result = Summary(std::move(interval.Result));
  run.Intervals = std::move(intervals);
  for (THvsrAzimuth& d : azimuths.Directions) d.Result = Summary(std::move(d.Result));
  run.Azimuths = std::move(azimuths);
}

}  // namespace

std::vector<std::string> HvsrRunFiles(const TResultFolders& folders, const TFileRecord& record,
                                      const THvsrRunOptions& options) {
  const THvsrPaths paths = HvsrFilePaths(folders, record);
  const THvsrSeriesPaths series = HvsrSeriesPaths(paths);
  std::vector<std::string> files = {paths.Hv, paths.Windows, paths.Report};
  if (options.EverySeconds > 0.0) files.insert(files.end(), {series.TimeCsv, series.TimeJson});
  if (options.AzimuthStep > 0.0) files.insert(files.end(), {series.AzimuthCsv, series.AzimuthJson});
  return files;
}

THvsrRunReport RunHvsr(TProject& project, const TResultFolders& folders, UiHost& host,
                       const TRunOptions& options, const THvsrRunOptions& hvsr) {
  host.ClearStop();
  THvsrRunReport out;
  if (const TStatus fault = HvsrSettingsFault(hvsr.Settings); !fault.Ok()) {
    host.ShowMessage(MakeStatus(TCode::kHvsrStatistics, {fault}));
    return out;
  }
  const size_t count = project.Records.size();
  std::vector<bool> chosen(count, hvsr.Records.empty());
  for (int i : hvsr.Records) {
    if (i >= 0 && static_cast<size_t>(i) < count) chosen[static_cast<size_t>(i)] = true;
  }
  if (hvsr.Records.empty()) {
    for (size_t i = 0; i < count; ++i) chosen[i] = project.Records[i].ToProcessNakamura;
  }
  const auto index_of = [&](const TFileRecord& r) {
    return static_cast<size_t>(&r - project.Records.data());
  };
  // Called with elements of project.Records, whose index the address gives.
  const auto hv_path = [&](const TFileRecord& r) {
    return chosen[index_of(r)] ? HvsrFilePaths(folders, r).Hv : std::string();
  };
  if (!options.Only) {
    if (auto refused = RefuseNothingChecked(
            project, options.Start, host, [&](const TFileRecord& r) { return chosen[index_of(r)]; },
            TCode::kNoRecordCheckedForHV, TCode::kCheckRecordsForHV)) {
      out.Run = *refused;
      return out;
    }
    if (!AcceptSharedResultFiles(project, options.Start, host, hv_path)) {
      host.SetStage(MakeStatus(kHvsrTexts.Finished));
      return out;
    }
  }
  const std::vector<bool> overwritten = OverwrittenLater(project, options, hv_path);
  const auto computed = [&](int i) {
    const auto k = static_cast<size_t>(i);
    return options.Only || (chosen[k] && InShard(options, i) && !overwritten[k]);
  };
  TResultManifest manifest(folders.Results);
  const RunOwner owner{manifest, ProjectIdentity(project.FileName)};
  std::vector<std::string> planned;
  const size_t first = static_cast<size_t>(std::max(0, options.Start));
  const size_t end = options.Only ? std::min(first + 1, count) : count;
  for (size_t i = first; i < end; ++i) {
    if (!computed(static_cast<int>(i))) continue;
    for (std::string& file : HvsrRunFiles(folders, project.Records[i], hvsr))
      planned.push_back(std::move(file));
  }
  if (const TStatus question = OtherProjectsQuestion(manifest, planned, owner.Project);
      !question.Ok() && !host.AskYesNo(question)) {
    host.SetStage(MakeStatus(kHvsrTexts.Finished));
    return out;
  }
  const TRunOptions run = JobsForResultFiles(project, options, hv_path);
  HeaderCache own;
  HeaderCache& headers = options.Headers != nullptr ? *options.Headers : own;
  headers.NewPass();
  std::vector<THvsrRecordRun> records(count);
  out.Run = RunLoop(project, host, run, kHvsrTexts, [&](int i, RecordOutcome& o, UiHost& h) {
    if (computed(i))
      HvsrRecord(project, folders, i, h, headers, owner, hvsr, o, records[static_cast<size_t>(i)]);
  });
  for (int i : out.Run.Processed) out.Records.push_back(std::move(records[static_cast<size_t>(i)]));
  return out;
}

}  // namespace tarvik

#include "project/record_management.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <numeric>
#include <optional>
#include <set>

#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "project/record_editor.h"
#include "records/compress.h"
#include "records/formats.h"
#include "records/header_cache.h"

namespace tarvik {

namespace {

AssemblySettings AssemblyOf(const TProject& project) {
  AssemblySettings s;
  s.MaxSpan = project.General.MaxSpan;
  s.RecognizeComponent = project.General.RecognizeComponent;
  s.WorkingRate = project.WorkingRate;
  return s;
}

TAddReport Added(TProject& project, size_t before, std::vector<AddedFile> files) {
  TAddReport report;
  report.Files = std::move(files);
  report.Result.Done = true;
  for (size_t i = before; i < project.Records.size(); ++i)
    report.Result.NewRecords.push_back(static_cast<int>(i));
  for (const AddedFile& f : report.Files) {
    if (f.Result.Added()) ++report.Result.Count;
  }
  if (report.Result.Count > 0) project.Modified = true;
  return report;
}

// The key of a record's result file names: its station as it appears in them and the
// selection start to the second.
std::string ResultNameKey(const TFileRecord& r) {
  return StationForFileName(r.Station) + "_" + FormatDateTime("yymmdd-hhnnss", r.SelectStart);
}

// Warnings for new records that will write the result files of another record.
void WarnSharedResults(const TProject& project, TRecordOpResult& result) {
  for (const auto& [a, b] : RecordsSharingResults(project)) {
    if (std::find(result.NewRecords.begin(), result.NewRecords.end(), b) == result.NewRecords.end())
      continue;
    TStatus warning =
        MakeStatus(TCode::kSameResultFilesWarning,
                   {std::to_string(a + 1), std::to_string(b + 1),
                    project.Records[static_cast<size_t>(b)].Station, std::to_string(b + 1)});
    warning.Record = b;
    result.Warnings.push_back(std::move(warning));
  }
}

// Appends record to the project as a record the operation added.
void Append(TProject& project, TFileRecord record, TRecordOpResult& result) {
  project.Records.push_back(std::move(record));
  result.NewRecords.push_back(static_cast<int>(project.Records.size()) - 1);
}

// The first n characters of text (UTF-8), never cutting a letter in two.
std::string FirstChars(std::string_view text, size_t n) {
  size_t i = 0;
  for (size_t chars = 0; i < text.size() && chars < n; ++chars) {
    const auto b = static_cast<unsigned char>(text[i]);
    ++i;
    if (b >= 0xC0) {
      while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
  }
  return std::string(text.substr(0, i));
}

size_t CharCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// station + suffix within the station field: the station gives up its last characters so that
// the suffix, which tells the new records apart, is never cut. The suffix keeps at most all but
// one character of the field.
std::string FitStation(std::string_view station, std::string_view suffix) {
  const size_t most = kShortNameLength - 1;
  const size_t chars = CharCount(suffix);
  std::string tail(suffix);
  if (chars > most) tail = suffix.substr(FirstChars(suffix, chars - most).size());
  return FirstChars(station, kShortNameLength - std::min(chars, most)) + tail;
}

// The stations of the project's records: names a new record must not take, since records of
// one station and one selection start write the same result files.
std::set<std::string> StationsOf(const TProject& project) {
  std::set<std::string> used;
  for (const TFileRecord& r : project.Records) used.insert(r.Station);
  return used;
}

// The first of station + "-" + tag, station + "-" + tag + "2", "3" ... fitted to the field
// (a long tag keeps its end) that is not in used; empty when none is free.
std::string UnusedStation(const std::string& station, const std::string& tag,
                          const std::set<std::string>& used) {
  for (int k = 1; k < 1000000; ++k) {
    const std::string name =
        FitStation(station, "-" + tag + (k == 1 ? std::string() : std::to_string(k)));
    if (used.count(name) == 0) return name;
  }
  return {};
}

// What tells the record's channels apart: each name without the beginning and the end that all
// of them share ("E", "N", "Z" of HHE, HHN, HHZ). A channel whose part would be empty, or the
// same as another's, is told by its whole name.
std::vector<std::string> DistinguishingParts(const TFileRecord& r) {
  const int count = std::clamp(r.ChannelCount(), 0, kMaxChannels);
  std::vector<std::string> names = ChannelNames(r);
  names.resize(static_cast<size_t>(count));
  std::vector<std::string> parts = names;
  if (count < 2) return parts;
  // The bytes every name shares at its beginning and at its end.
  size_t prefix = names[0].size(), suffix = names[0].size();
  for (const std::string& n : names) {
    const auto head = std::mismatch(n.begin(), n.end(), names[0].begin(), names[0].end());
    const auto tail = std::mismatch(n.rbegin(), n.rend(), names[0].rbegin(), names[0].rend());
    prefix = std::min(prefix, static_cast<size_t>(head.first - n.begin()));
    suffix = std::min(suffix, static_cast<size_t>(tail.first - n.rbegin()));
  }
  // Never inside a letter of more than one byte.
  while (prefix > 0 && (static_cast<unsigned char>(names[0][prefix]) & 0xC0) == 0x80) --prefix;
  while (suffix > 0 &&
         (static_cast<unsigned char>(names[0][names[0].size() - suffix]) & 0xC0) == 0x80)
    --suffix;
  for (size_t c = 0; c < names.size(); ++c) {
    const std::string& n = names[c];
    const size_t end = n.size() >= prefix + suffix ? n.size() - suffix : prefix;
    parts[c] = n.substr(std::min(prefix, n.size()), end - std::min(prefix, n.size()));
  }
  for (size_t c = 0; c < parts.size(); ++c) {
    if (parts[c].empty() || std::count(parts.begin(), parts.end(), parts[c]) > 1)
      parts[c] = names[c];
  }
  return parts;
}

// The end of an operation that appends records.
TRecordOpResult Appended(TProject& project, TRecordOpResult result) {
  result.Done = true;
  result.Count = static_cast<int>(result.NewRecords.size());
  if (result.Count > 0) project.Modified = true;
  WarnSharedResults(project, result);
  return result;
}

}  // namespace

TStatus JoinedWarnings(const std::vector<TStatus>& warnings) {
  if (warnings.empty()) return {};
  TStatus joined = warnings.back();
  for (size_t k = warnings.size() - 1; k-- > 0;)
    joined = MakeStatus(TCode::kLines, {warnings[k], joined});
  return joined;
}

TSelection NormalizeSelection(const TProject& project, const TSelection& selection) {
  TSelection out;
  const int n = static_cast<int>(project.Records.size());
  for (int i : selection) {
    if (i >= 0 && i < n) out.push_back(i);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

TSelection AllRecords(const TProject& project) {
  TSelection all(project.Records.size());
  std::iota(all.begin(), all.end(), 0);
  return all;
}

TAddReport AddFilesToProject(TProject& project, const std::vector<std::string>& paths, UiHost& host,
                             HeaderCache* headers) {
  const size_t before = project.Records.size();
  return Added(project, before,
               AddFiles(project.Records, paths, AssemblyOf(project), host, headers));
}

TAddReport AddFileGroupsToProject(TProject& project,
                                  const std::vector<std::vector<std::string>>& groups, UiHost& host,
                                  HeaderCache* headers) {
  const size_t before = project.Records.size();
  return Added(project, before,
               AddFileGroups(project.Records, groups, AssemblyOf(project), host, headers));
}

TAddReport AddFolderToProject(TProject& project, const std::string& folder, int format_index,
                              UiHost& host, HeaderCache* headers) {
  const size_t before = project.Records.size();
  return Added(
      project, before,
      AddFolder(project.Records, folder, format_index, AssemblyOf(project), host, headers));
}

TRecordOpResult ChangePath(TProject& project, const TSelection& selection,
                           const std::string& folder) {
  TRecordOpResult result;
  if (TStatus why = UnstorablePathMessage(project, folder); !why.Ok()) {
    result.Status = std::move(why);
    return result;
  }
  result.Selection = NormalizeSelection(project, selection);
  for (int i : result.Selection) {
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    r.File = JoinPath(folder, FileName(r.File));
    ++result.Count;
  }
  result.Done = true;
  if (result.Count > 0) project.Modified = true;
  return result;
}

TRecordOpResult ChangeFile(TProject& project, int current, const std::string& path) {
  TRecordOpResult result;
  if (current < 0 || current >= static_cast<int>(project.Records.size())) {
    result.Status = MakeStatus(TCode::kNoRecordSelected);
    return result;
  }
  if (TStatus why = UnstorablePathMessage(project, path); !why.Ok()) {
    result.Status = std::move(why);
    return result;
  }
  project.Records[static_cast<size_t>(current)].File = path;
  project.Modified = true;
  result.Done = true;
  result.Count = 1;
  result.Selection = {current};
  return result;
}

TRecordOpResult DeleteRecords(TProject& project, const TSelection& selection) {
  TRecordOpResult result;
  const TSelection chosen = NormalizeSelection(project, selection);
  std::vector<bool> remove(project.Records.size(), false);
  for (int i : chosen) remove[static_cast<size_t>(i)] = true;
  TFileRecords kept;
  kept.reserve(project.Records.size() - chosen.size());
  for (size_t i = 0; i < project.Records.size(); ++i) {
    if (!remove[i]) kept.push_back(std::move(project.Records[i]));
  }
  project.Records = std::move(kept);
  result.Done = true;
  result.Count = static_cast<int>(chosen.size());
  if (result.Count > 0) project.Modified = true;
  return result;
}

namespace {

// The refusal that names the selected records overlapping another selected one in time; kOk
// when they follow one another. Records that overlap are simultaneous recordings (the channels
// of one station in files of their own): joining them would keep one and drop the others. An
// overlap of less than one sample is the rounding of adjacent records, not an overlap.
TStatus OverlappingRecords(const TProject& project, const TSelection& chosen) {
  TSelection by_start = chosen;
  std::stable_sort(by_start.begin(), by_start.end(), [&](int a, int b) {
    return project.Records[static_cast<size_t>(a)].Start <
           project.Records[static_cast<size_t>(b)].Start;
  });
  std::vector<bool> overlaps(project.Records.size(), false);
  int latest = by_start.front();
  for (size_t n = 1; n < by_start.size(); ++n) {
    const TFileRecord& r = project.Records[static_cast<size_t>(by_start[n])];
    const TFileRecord& before = project.Records[static_cast<size_t>(latest)];
    const double sample = r.SampRate > 0.0 ? 1.0 / r.SampRate : 0.001;
    if (r.Start < before.Finish - sample / kSecondsPerDay) {
      overlaps[static_cast<size_t>(latest)] = true;
      overlaps[static_cast<size_t>(by_start[n])] = true;
    }
    if (r.Finish > before.Finish) latest = by_start[n];
  }
  std::string names;
  for (int i : chosen) {
    if (!overlaps[static_cast<size_t>(i)]) continue;
    const TFileRecord& r = project.Records[static_cast<size_t>(i)];
    names += (names.empty() ? "" : ", ") + std::to_string(i + 1) + " (" + r.Station + ")";
  }
  if (names.empty()) return {};
  return MakeStatus(TCode::kRecordsOverlap, {names});
}

}  // namespace

TRecordOpResult CombineRecords(TProject& project, const TSelection& selection) {
  TRecordOpResult result;
  const TSelection chosen = NormalizeSelection(project, selection);
  if (chosen.size() < 2) {
    result.Status = MakeStatus(TCode::kSelectTwoRecords);
    return result;
  }
  result.Status = OverlappingRecords(project, chosen);
  if (!result.Status.Ok()) {
    // Simultaneous records of one station are its channels recorded apart.
    TProject trial = project;
    TRecordOpResult joined = CombineChannels(trial, chosen);
    if (!joined.Done) return result;
    project = std::move(trial);
    return joined;
  }
  int kept = chosen.front();
  TDateTime finish = project.Records[static_cast<size_t>(kept)].Finish;
  TDateTime select_finish = project.Records[static_cast<size_t>(kept)].SelectFinish;
  for (int i : chosen) {
    const TFileRecord& r = project.Records[static_cast<size_t>(i)];
    if (r.Start < project.Records[static_cast<size_t>(kept)].Start) kept = i;
    finish = std::max(finish, r.Finish);
    select_finish = std::max(select_finish, r.SelectFinish);
  }
  TFileRecord& k = project.Records[static_cast<size_t>(kept)];
  k.Finish = finish;
  k.SelectFinish = select_finish;
  TSelection others;
  for (int i : chosen) {
    if (i != kept) others.push_back(i);
  }
  // The kept record moves up by the number of removed records before it.
  const int before = static_cast<int>(
      std::count_if(others.begin(), others.end(), [kept](int i) { return i < kept; }));
  DeleteRecords(project, others);
  project.Modified = true;
  result.Done = true;
  result.Count = static_cast<int>(others.size());
  result.Selection = {kept - before};
  return result;
}

namespace {

// Whether a record of the channels of both files finds both again when it is read: files of a
// format read by segments, in one folder or in channel folders of one station of an SDS
// archive.
bool ChannelFilesFindEachOther(const std::string& a, const std::string& b) {
  for (const std::string* f : {&a, &b}) {
    const FormatInfo* format = FindFormat(Recognize(*f));
    if (format == nullptr || format->BuildSegments == nullptr) return false;
  }
  if (FolderOf(a) == FolderOf(b)) return true;
  const std::optional<SdsName> sa = ParseSdsName(FileName(a));
  const std::optional<SdsName> sb = ParseSdsName(FileName(b));
  return sa && sb && sa->Network == sb->Network && sa->Station == sb->Station &&
         sa->Type == sb->Type && FolderOf(FolderOf(a)) == FolderOf(FolderOf(b));
}

}  // namespace

TRecordOpResult CombineChannels(TProject& project, const TSelection& selection) {
  TRecordOpResult result;
  const TSelection chosen = NormalizeSelection(project, selection);
  if (chosen.size() < 2) {
    result.Status = MakeStatus(TCode::kSelectTwoRecords);
    return result;
  }
  std::vector<int> ordered = chosen;
  std::sort(ordered.begin(), ordered.end());
  const int kept = ordered.front();
  TFileRecord joined = project.Records[static_cast<size_t>(kept)];
  for (size_t n = 1; n < ordered.size(); ++n) {
    const TFileRecord& r = project.Records[static_cast<size_t>(ordered[n])];
    if (!ChannelFilesFindEachOther(joined.File, r.File)) {
      result.Status =
          MakeStatus(TCode::kChannelFilesApart, {std::to_string(ordered[n] + 1), r.Station});
      result.Status.Record = ordered[n];
      return result;
    }
    if (!CanJoinChannels(joined, r, true)) {
      result.Status =
          MakeStatus(TCode::kChannelsNotJoinable, {std::to_string(ordered[n] + 1), r.Station});
      result.Status.Record = ordered[n];
      return result;
    }
    JoinChannels(joined, r);
  }
  project.Records[static_cast<size_t>(kept)] = std::move(joined);
  const TSelection others(ordered.begin() + 1, ordered.end());
  DeleteRecords(project, others);
  project.Modified = true;
  result.Done = true;
  result.Count = static_cast<int>(others.size());
  result.Selection = {kept};
  return result;
}

TCompressReport CompressRecords(TProject& project, const TSelection& selection,
                                const TResultFolders& folders, UiHost& host, HeaderCache* headers) {
  HeaderCache own;
  HeaderCache& cache = headers != nullptr ? *headers : own;
  cache.NewPass();
  TCompressReport report;
  TRecordOpResult& result = report.Result;
  result.Selection = NormalizeSelection(project, selection);
  host.ClearStop();
  host.SetOperation(MakeStatus(TCode::kCompressingRecords));
  const int lines = static_cast<int>(project.Records.size());
  host.SetGauge(0, lines);
  for (int i : result.Selection) {
    if (host.StopRequested()) break;
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    const std::string target = JoinPath(folders.ZipData, CompressedRecordName(r));
    std::string error;
    if (CompressRecord(target, r, host, project.General.SampRateDefault, &error, &cache)) {
      r.File = target;
      project.Modified = true;
      report.Written.emplace_back(i, target);
      ++result.Count;
    } else {
      report.Failed.emplace_back(i, error);
    }
    host.SetGauge(i + 1, lines);
  }
  result.Done = true;
  return report;
}

TRecordOpResult SplitChannels(TProject& project, const TSelection& selection) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  std::set<std::string> used = StationsOf(project);
  std::vector<TFileRecord> parts;
  for (int i : result.Selection) {
    const TFileRecord& source = project.Records[static_cast<size_t>(i)];
    const int channels = std::clamp(source.ChannelCount(), 0, kMaxChannels);
    std::vector<int> split;
    for (int c = 0; c < channels; ++c) {
      if (source.Channels[c].Selected) split.push_back(c);
    }
    // Station + "-" + the channel name where that tells the new records apart from each other
    // and from every record there is; otherwise each is named by what distinguishes its channel.
    std::vector<std::string> names;
    for (int c : split)
      names.push_back(ShortName(source.Station + "-" + source.Channels[c].Channel));
    const std::set<std::string> distinct(names.begin(), names.end());
    bool plain = distinct.size() == names.size();
    for (const std::string& n : names) plain = plain && used.count(n) == 0;
    if (!plain) {
      const std::vector<std::string> tags = DistinguishingParts(source);
      for (size_t k = 0; k < split.size(); ++k) {
        names[k] = UnusedStation(source.Station, tags[static_cast<size_t>(split[k])], used);
        if (names[k].empty()) {
          result.Status = MakeStatus(TCode::kNoStationForChannel,
                                     {source.Channels[split[k]].Channel, std::to_string(i + 1)});
          result.Status.Record = i;
          return result;
        }
        used.insert(names[k]);
      }
    }
    for (size_t k = 0; k < split.size(); ++k) {
      used.insert(names[k]);
      TFileRecord part = source;
      part.Station = names[k];
      for (TRecordChannel& ch : part.Channels) ch.Selected = false;
      part.Channels[split[k]].Selected = true;
      parts.push_back(std::move(part));
    }
  }
  for (TFileRecord& part : parts) Append(project, std::move(part), result);
  return Appended(project, std::move(result));
}

int CopiesFromText(std::string_view text) {
  const std::string t = Trim(text);
  int value = 0;
  const char* first = t.data();
  if (!t.empty() && t.front() == '+') ++first;
  const auto [end, ec] = std::from_chars(first, t.data() + t.size(), value);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return 1;
  return value;
}

TRecordOpResult CloneRecords(TProject& project, const TSelection& selection, int copies) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  // The names first: a command that cannot name every copy adds none.
  std::set<std::string> used = StationsOf(project);
  std::vector<std::pair<int, std::string>> names;
  int n = 0;
  for (int repetition = 0; repetition < copies; ++repetition) {
    for (int i : result.Selection) {
      // The copies are numbered over the whole command; a number whose name is taken is passed.
      const std::string& station = project.Records[static_cast<size_t>(i)].Station;
      std::string name;
      while (name.empty()) {
        const std::string suffix = "-" + std::to_string(++n);
        if (CharCount(suffix) >= kShortNameLength) {
          result.Status = MakeStatus(TCode::kNoStationForCopy, {std::to_string(i + 1), station});
          result.Status.Record = i;
          return result;
        }
        name = FitStation(station, suffix);
        if (used.count(name) != 0) name.clear();
      }
      used.insert(name);
      names.emplace_back(i, std::move(name));
    }
  }
  for (auto& [i, name] : names) {
    TFileRecord copy = project.Records[static_cast<size_t>(i)];
    copy.Station = std::move(name);
    Append(project, std::move(copy), result);
  }
  return Appended(project, std::move(result));
}

bool SortsBefore(const TFileRecord& a, const TFileRecord& b, TSortKey key) {
  auto by = [&](const auto& x, const auto& y) {
    if (x < y) return true;
    if (y < x) return false;
    return a.File < b.File;
  };
  switch (key) {
    case TSortKey::kFile:
      return a.File < b.File;
    case TSortKey::kStation:
      return by(a.Station, b.Station);
    case TSortKey::kStart:
      return by(a.Start, b.Start);
    case TSortKey::kFinish:
      return by(a.Finish, b.Finish);
    case TSortKey::kLength:
      return by(a.Finish - a.Start, b.Finish - b.Start);
    case TSortKey::kSelection:
      return by(a.SelectFinish - a.SelectStart, b.SelectFinish - b.SelectStart);
  }
  return false;
}

namespace {

// Sorts the records at positions (ascending) among themselves; result gets how many moved and
// where each record came from.
void SortPositions(TFileRecords& records, const TSelection& positions, TSortKey key,
                   TRecordOpResult& result) {
  std::vector<int> order = positions;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
    return SortsBefore(records[static_cast<size_t>(x)], records[static_cast<size_t>(y)], key);
  });
  int moved = 0;
  std::vector<TFileRecord> sorted;
  sorted.reserve(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    if (order[k] != positions[k]) ++moved;
    sorted.push_back(records[static_cast<size_t>(order[k])]);
  }
  result.Order.resize(records.size());
  std::iota(result.Order.begin(), result.Order.end(), 0);
  for (size_t k = 0; k < positions.size(); ++k) {
    records[static_cast<size_t>(positions[k])] = std::move(sorted[k]);
    result.Order[static_cast<size_t>(positions[k])] = order[k];
  }
  result.Count = moved;
  result.Done = true;
}

}  // namespace

TRecordOpResult SortAll(TProject& project, TSortKey key) {
  TRecordOpResult result;
  SortPositions(project.Records, AllRecords(project), key, result);
  if (!project.Records.empty()) project.Modified = true;
  return result;
}

TRecordOpResult SortSelected(TProject& project, const TSelection& selection, TSortKey key) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  SortPositions(project.Records, result.Selection, key, result);
  if (!result.Selection.empty()) project.Modified = true;
  return result;
}

TRecordOpResult RenameChannel(TProject& project, const TSelection& selection, int channel,
                              const std::string& name) {
  TRecordOpResult result;
  result.Selection = NormalizeSelection(project, selection);
  if (channel < 0 || channel >= kMaxChannels) {
    result.Status = MakeStatus(TCode::kNoRecordsOrChannel);
    return result;
  }
  if (TStatus why = UnstorableTextMessage(TCode::kWordChannelName, name); !why.Ok()) {
    result.Status = std::move(why);
    return result;
  }
  for (int i : result.Selection) {
    TFileRecord& r = project.Records[static_cast<size_t>(i)];
    if (channel >= r.ChannelCount()) continue;
    r.Channels[channel].Channel = name;
    ++result.Count;
  }
  result.Done = true;
  if (result.Count > 0) project.Modified = true;
  return result;
}

std::vector<std::pair<int, int>> RecordsSharingResults(const TProject& project) {
  std::vector<std::pair<int, int>> pairs;
  std::map<std::string, int> last;
  for (size_t i = 0; i < project.Records.size(); ++i) {
    const auto [it, inserted] =
        last.emplace(ResultNameKey(project.Records[i]), static_cast<int>(i));
    if (!inserted) {
      pairs.emplace_back(it->second, static_cast<int>(i));
      it->second = static_cast<int>(i);
    }
  }
  return pairs;
}

}  // namespace tarvik

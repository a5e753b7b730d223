#include "records/assembly.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "common/paths.h"
#include "common/ui_host.h"
#include "records/formats.h"
#include "records/header_cache.h"

namespace tarvik {

namespace {

// Time stamps that should be equal can differ by a few units in the last place of a TDateTime
// (about a microsecond); a gap of exactly max_span seconds still joins.
constexpr double kJoinSlackDays = 1e-5 / kSecondsPerDay;

int32_t ClampCount(int64_t count) {
  return static_cast<int32_t>(std::clamp<int64_t>(count, 0, std::numeric_limits<int32_t>::max()));
}

void JoinRecord(TFileRecord& r, const std::string& path, const TFileRecordInfo& info,
                TDateTime file_start, TDateTime file_end) {
  if (file_start < r.Start) {
    r.Start = file_start;
    r.File = path;
  }
  // A file that overlaps the record's end lengthens it by its whole duration, so that the
  // record's span keeps room for every sample its files hold.
  if (file_end > r.Finish) r.Finish = std::max(file_end, r.Finish + (file_end - file_start));
  r.SampleCount = ClampCount(int64_t{r.SampleCount} + std::max(info.SampleCount, 0));
  r.SelectStart = r.Start;
  // Files that overlap hold more samples than the record's span: the selection still ends
  // where the record does.
  r.SelectFinish = r.SampRate > 0.0
                       ? std::min(r.Start + SpanOfSamples(r.SampleCount, r.SampRate), r.Finish)
                       : r.Finish;
}

}  // namespace

std::string AddStatusText(AddStatus status) {
  switch (status) {
    case AddStatus::kNewRecord:
    case AddStatus::kJoined:
      return "";
    case AddStatus::kNotRecognized:
      return "not a recognised seismogram file";
    case AddStatus::kNoReader:
      return "its format is recognised but cannot be read";
    case AddStatus::kUnreadable:
      return "its header cannot be read";
    case AddStatus::kNoRate:
      return "its header gives no sampling rate";
  }
  return "";
}

std::string AddResultText(const AddFileResult& result) {
  std::string text = AddStatusText(result.status);
  if (!result.Added() && !result.why.empty()) text += ": " + result.why;
  return text;
}

AddFileResult AddFileHeader(TFileRecords& records, const std::string& path, FormatTag tag,
                            const TFileRecordInfo& info, const AssemblySettings& settings) {
  AddFileResult result;
  result.tag = tag;
  if (tag == 0) return result;
  // A rate of 0 (a Reftek file with no event header of its own or in an earlier file) would
  // make the record's end infinite or undefined; such a file is not added.
  const double rate = info.SampRate;
  const TDateTime file_start = info.Start;
  const TDateTime file_end =
      file_start + (rate > 0.0 ? SpanOfSamples(std::max(info.SampleCount, 0), rate) : 0.0);
  if (!(rate > 0.0) || !std::isfinite(rate) || !std::isfinite(file_start) ||
      !std::isfinite(file_end)) {
    result.status = AddStatus::kNoRate;
    return result;
  }

  const double tol = std::clamp(settings.max_span, 0, 999) / kSecondsPerDay + kJoinSlackDays;
  // Records keep the station as a short name; compare in that form so that a longer station
  // name still finds its record.
  const std::string station = ShortName(info.Station);
  int candidate = -1;
  for (size_t i = 0; i < records.size(); ++i) {
    const TFileRecord& r = records[i];
    if (r.Station != station) continue;
    // Channels of one location continue the record of that location only.
    if (!info.Location.empty() && RecordLocation(r) != info.Location) continue;
    if (std::abs(r.Finish - file_start) <= tol || std::abs(r.Start - file_end) <= tol) {
      candidate = static_cast<int>(i);
    }
  }
  if (candidate < 0) {
    records.push_back(FormRecord(path, info, settings.recognize_component));
    result.status = AddStatus::kNewRecord;
    result.record = static_cast<int>(records.size() - 1);
    return result;
  }
  JoinRecord(records[static_cast<size_t>(candidate)], path, info, file_start, file_end);
  result.status = AddStatus::kJoined;
  result.record = candidate;
  return result;
}

AddFileResult AddFile(TFileRecords& records, const std::string& path,
                      const AssemblySettings& settings, HeaderCache* cache) {
  AddFileResult result;
  result.tag = RecognizeWith(cache, path);
  if (result.tag == 0) return result;
  const FormatInfo* format = FindFormat(result.tag);
  if (format == nullptr || format->read_header == nullptr) {
    result.status = AddStatus::kNoReader;
    return result;
  }
  const std::shared_ptr<const FileHeaders> read =
      HeadersWith(cache, path, result.tag, settings.working_rate);
  // A file of several stations (or locations) adds each, as separate files would; the result
  // tells of the first.
  result = AddFileHeader(records, path, result.tag, read->headers.front(), settings);
  for (size_t k = 1; k < read->headers.size(); ++k) {
    AddFileHeader(records, path, result.tag, read->headers[k], settings);
  }
  if (result.status == AddStatus::kNoRate && !read->ok) result.status = AddStatus::kUnreadable;
  if (!read->ok) result.why = read->why;
  return result;
}

std::string FolderMask(int format_index) {
  if (format_index < 0 || format_index >= static_cast<int>(kDataFormats.size())) return "";
  const std::string_view text = kDataFormats[static_cast<size_t>(format_index)];
  if (format_index == 2) return "?????????Z" + std::string(text);
  if (format_index == 4) return "?????????_*";
  // miniSEED files go by all the extensions recognition takes.
  if (format_index == 7) return FindFormat(kTagMiniSeed)->record_mask;
  return "*" + std::string(text);
}

std::vector<AddedFile> AddFiles(TFileRecords& records, const std::vector<std::string>& paths,
                                const AssemblySettings& settings, UiHost& host,
                                HeaderCache* cache) {
  std::vector<AddedFile> out;
  out.reserve(paths.size());
  const int n = static_cast<int>(std::min<size_t>(paths.size(), std::numeric_limits<int>::max()));
  host.SetGauge(0, n);
  for (size_t i = 0; i < paths.size(); ++i) {
    out.push_back({paths[i], AddFile(records, paths[i], settings, cache)});
    host.SetGauge(static_cast<int>(std::min<size_t>(i + 1, n)), n);
    host.ProcessEvents();
  }
  return out;
}

std::vector<AddedFile> AddFolder(TFileRecords& records, const std::string& folder, int format_index,
                                 const AssemblySettings& settings, UiHost& host,
                                 HeaderCache* cache) {
  host.SetOperation("Добавление файлов из папки");
  const std::string mask = FolderMask(format_index);
  const std::vector<std::string> paths =
      mask.empty() ? std::vector<std::string>() : ListRecordMask(folder, mask);
  host.SetStage("Составление списка последовательных записей");
  std::vector<AddedFile> out = AddFiles(records, paths, settings, host, cache);
  host.SetStage("Список последовательных записей составлен");
  return out;
}

TFileRecords FormRecordsFrom(const std::string& path, const AssemblySettings& settings,
                             AddFileResult* result, HeaderCache* cache) {
  TFileRecords records;
  const AddFileResult first = AddFile(records, path, settings, cache);
  if (result != nullptr) *result = first;
  if (!first.Added()) return records;
  const FormatInfo* format = FindFormat(first.tag);
  if (format == nullptr || format->record_mask == nullptr) return records;
  const TDateTime start = records.front().Start;
  const std::string name = FileName(path);
  for (const std::string& other : ListRecordMask(FolderOf(path), format->record_mask)) {
    if (FileName(other) == name) continue;
    const FormatTag tag = RecognizeWith(cache, other);
    if (tag == 0) continue;
    const std::shared_ptr<const FileHeaders> read =
        HeadersWith(cache, other, tag, settings.working_rate);
    if (!read->ok) continue;
    for (const TFileRecordInfo& info : read->headers) {
      if (info.Start >= start) AddFileHeader(records, other, tag, info, settings);
    }
  }
  return records;
}

RecordFiles FindRecordFiles(const std::string& first_file, double default_rate, TDateTime start,
                            TDateTime finish, UiHost& host, HeaderCache* cache,
                            std::string_view station, std::string_view location) {
  HeaderCache own;
  HeaderCache& headers = cache != nullptr ? *cache : own;
  RecordFiles out;
  host.SetStatus("Формирование списка файлов записи", 100);
  out.tag = headers.Recognize(first_file);
  if (out.tag == 0) return out;
  const std::shared_ptr<const FileHeaders> first =
      headers.Headers(first_file, out.tag, default_rate);
  out.first = station.empty() ? first->headers.front() : HeaderOfStation(*first, station, location);
  out.paths.push_back(first_file);
  out.headers.push_back(out.first);
  out.block_samples = out.first.BlockSamples;
  out.total_samples = std::max(out.first.SampleCount, 0);

  // A first file that reaches the record's end is the whole record; so is one without a rate,
  // whose end is unknown.
  const double rate = out.first.SampRate;
  if (!(rate > 0.0) || out.first.Start + SpanOfSamples(out.total_samples, rate) >= finish) {
    return out;
  }
  const FormatInfo* format = FindFormat(out.tag);
  if (format == nullptr || format->record_mask == nullptr || format->read_header == nullptr) {
    return out;
  }

  // The folder's files are read as the first file's format (no new recognition) and looked up
  // by their start: a record costs its own files, however many the folder holds.
  const std::shared_ptr<const FolderHeaders> folder =
      headers.Folder(FolderOf(first_file), format->record_mask, out.tag, default_rate, &host);
  const int n =
      static_cast<int>(std::min<size_t>(folder->files.size(), std::numeric_limits<int>::max()));
  const std::string first_name = FileName(first_file);
  const auto [from, to] = folder->StartingIn(start, finish);
  for (auto it = from; it != to; ++it) {
    const FolderHeaders::File& file = folder->files[it->file];
    // Every candidate lies in the first file's folder, so the name alone tells them apart.
    if (FileName(file.path) == first_name) continue;
    const TFileRecordInfo& info = file.headers->headers[it->header];
    if (info.Station != out.first.Station || info.Location != out.first.Location) continue;
    out.paths.push_back(file.path);
    out.headers.push_back(info);
    out.block_samples = std::max(out.block_samples, info.BlockSamples);
    out.total_samples += std::max(info.SampleCount, 0);
  }
  host.SetProgress(n, n);
  host.ProcessEvents();

  // The list is in path order: files that are read one after another rely on it.
  std::vector<size_t> order(out.paths.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return out.paths[a] < out.paths[b]; });
  RecordFiles sorted;
  sorted.tag = out.tag;
  sorted.first = out.first;
  sorted.block_samples = out.block_samples;
  sorted.total_samples = out.total_samples;
  for (size_t k : order) {
    sorted.paths.push_back(std::move(out.paths[k]));
    sorted.headers.push_back(std::move(out.headers[k]));
  }
  return sorted;
}

}  // namespace tarvik

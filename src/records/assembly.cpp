#include "records/assembly.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <numeric>
#include <system_error>

#include "common/binary_file.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "records/formats.h"
#include "records/header_cache.h"
#include "records/miniseed.h"

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

bool SameRate(double a, double b) {
  return a > 0.0 && b > 0.0 && std::abs(a - b) <= 1e-9 * std::max(a, b);
}

bool HoldsChannel(const TFileRecord& r, std::string_view name) {
  for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
    if (r.Channels[static_cast<size_t>(c)].Channel == name) return true;
  }
  return false;
}

bool HoldsChannelsOf(const TFileRecord& r, const TFileRecordInfo& info) {
  for (int c = 0; c < std::clamp(info.ChannelCount, 0, kMaxChannels); ++c) {
    if (!HoldsChannel(r, info.ChannelNames[static_cast<size_t>(c)])) return false;
  }
  return true;
}

bool SameChannels(const TFileRecord& r, const TFileRecordInfo& info) {
  return r.ChannelCount() == info.ChannelCount && HoldsChannelsOf(r, info);
}

bool Overlap(TDateTime a_start, TDateTime a_end, TDateTime b_start, TDateTime b_end) {
  return a_start < b_end - kJoinSlackDays && b_start < a_end - kJoinSlackDays;
}

// A record of one file per channel that already holds the file's channels over a span the
// file overlaps: the file is one more of its files (a channel's next file, met after the
// channels were joined).
int ChannelHost(const TFileRecords& records, const std::string& station,
                const TFileRecordInfo& info, TDateTime file_start, TDateTime file_end) {
  int host = -1;
  for (size_t i = 0; i < records.size(); ++i) {
    const TFileRecord& r = records[i];
    if (r.Station != station || RecordLocation(r) != info.Location) continue;
    if (!SameRate(r.SampRate, info.SampRate) || r.ChannelCount() <= info.ChannelCount) continue;
    if (!HoldsChannelsOf(r, info) || !Overlap(r.Start, r.Finish, file_start, file_end)) continue;
    host = static_cast<int>(i);
  }
  return host;
}

bool ReadBySegments(FormatTag tag) {
  const FormatInfo* f = FindFormat(tag);
  return f != nullptr && f->BuildSegments != nullptr;
}

// The location code a miniSEED file's first record carries, trimmed: a record keeps it only
// when the file holds several, yet channels of two locations are two instruments.
std::string FirstLocation(const std::string& path, FormatTag tag) {
  if (tag != kTagMiniSeed) return "";
  BinaryFile file;
  if (!file.Open(path, false)) return "";
  TMiniSEEDPacket packet;
  int64_t next = 0;
  ReadMiniSeedRecord(file, 0, packet, next);
  return std::string(Trim(packet.Location));
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
  std::string text = AddStatusText(result.Status);
  if (!result.Added() && !result.Why.empty()) text += ": " + result.Why;
  return text;
}

AddFileResult AddFileHeader(TFileRecords& records, const std::string& path, FormatTag tag,
                            const TFileRecordInfo& info, const AssemblySettings& settings) {
  AddFileResult result;
  result.Tag = tag;
  if (tag == 0) return result;
  // A rate of 0 (a Reftek file with no event header of its own or in an earlier file) would
  // make the record's end infinite or undefined; such a file is not added.
  const double rate = info.SampRate;
  const TDateTime file_start = info.Start;
  const TDateTime file_end =
      file_start + (rate > 0.0 ? SpanOfSamples(std::max(info.SampleCount, 0), rate) : 0.0);
  if (!(rate > 0.0) || !std::isfinite(rate) || !std::isfinite(file_start) ||
      !std::isfinite(file_end)) {
    result.Status = AddStatus::kNoRate;
    return result;
  }

  const double tol = std::clamp(settings.MaxSpan, 0, 999) / kSecondsPerDay + kJoinSlackDays;
  // Records keep the station as a short name; compare in that form so that a longer station
  // name still finds its record.
  const std::string station = ShortName(info.Station);
  int candidate = -1;
  int same_channels = -1;
  for (size_t i = 0; i < records.size(); ++i) {
    const TFileRecord& r = records[i];
    if (r.Station != station) continue;
    // Channels of one location continue the record of that location only.
    if (!info.Location.empty() && RecordLocation(r) != info.Location) continue;
    if (std::abs(r.Finish - file_start) <= tol || std::abs(r.Start - file_end) <= tol) {
      candidate = static_cast<int>(i);
      if (SameChannels(r, info)) same_channels = candidate;
    }
  }
  // When a station's channels come in files of their own, each channel's next file continues
  // the record of that channel, not the one of its sibling that happens to end at the same time.
  if (same_channels >= 0) candidate = same_channels;
  if (candidate < 0) {
    const int host = ChannelHost(records, station, info, file_start, file_end);
    if (host >= 0 &&
        FirstLocation(path, tag) == FirstLocation(records[static_cast<size_t>(host)].File, tag)) {
      TFileRecord& r = records[static_cast<size_t>(host)];
      if (file_start < r.Start) {
        r.Start = file_start;
        r.File = path;
      }
      r.Finish = std::max(r.Finish, file_end);
      r.SampleCount = std::max(r.SampleCount, ClampCount(SamplesInSpan(r.Finish - r.Start, rate)));
      r.SelectStart = r.Start;
      r.SelectFinish = r.Finish;
      result.Status = AddStatus::kJoined;
      result.Record = host;
      return result;
    }
    records.push_back(FormRecord(path, info, settings.RecognizeComponent));
    result.Status = AddStatus::kNewRecord;
    result.Record = static_cast<int>(records.size() - 1);
    return result;
  }
  JoinRecord(records[static_cast<size_t>(candidate)], path, info, file_start, file_end);
  result.Status = AddStatus::kJoined;
  result.Record = candidate;
  return result;
}

AddFileResult AddFile(TFileRecords& records, const std::string& path,
                      const AssemblySettings& settings, HeaderCache* cache) {
  AddFileResult result;
  result.Tag = RecognizeWith(cache, path);
  if (result.Tag == 0) {
    result.Reason = MakeStatus(TCode::kFormatNotRecognized);
    result.Reason.File = path;
    return result;
  }
  const FormatInfo* format = FindFormat(result.Tag);
  if (format == nullptr || format->ReadHeader == nullptr) {
    result.Status = AddStatus::kNoReader;
    result.Reason = MakeStatus(TCode::kNoHeaderReader, {format != nullptr ? format->Name : ""});
    result.Reason.File = path;
    return result;
  }
  const std::shared_ptr<const FileHeaders> read =
      HeadersWith(cache, path, result.Tag, settings.WorkingRate);
  // A file of several stations (or locations) adds each, as separate files would; the result
  // tells of the first.
  result = AddFileHeader(records, path, result.Tag, read->Headers.front(), settings);
  for (size_t k = 1; k < read->Headers.size(); ++k) {
    AddFileHeader(records, path, result.Tag, read->Headers[k], settings);
  }
  if (result.Status == AddStatus::kNoRate && !read->Status.Ok()) {
    result.Status = AddStatus::kUnreadable;
  } else if (result.Status == AddStatus::kNoRate) {
    result.Reason = MakeStatus(TCode::kHeaderWithoutRate);
    result.Reason.File = path;
  }
  if (!read->Status.Ok()) {
    result.Reason = read->Status;
    result.Why = Text(read->Status, TLanguage::kEnglish);
  }
  return result;
}

bool CanJoinChannels(const TFileRecord& into, const TFileRecord& from, bool need_overlap) {
  if (into.Station != from.Station || RecordLocation(into) != RecordLocation(from)) return false;
  if (!SameRate(into.SampRate, from.SampRate)) return false;
  if (into.ChannelCount() < 1 || from.ChannelCount() < 1 ||
      into.ChannelCount() + from.ChannelCount() > kMaxChannels) {
    return false;
  }
  for (int c = 0; c < from.ChannelCount(); ++c) {
    if (HoldsChannel(into, from.Channels[static_cast<size_t>(c)].Channel)) return false;
  }
  return !need_overlap || Overlap(into.Start, into.Finish, from.Start, from.Finish);
}

void JoinChannels(TFileRecord& into, const TFileRecord& from) {
  const int base = std::clamp(into.ChannelCount(), 0, kMaxChannels);
  const int n = std::clamp(from.ChannelCount(), 0, kMaxChannels - base);
  into.Channels.resize(static_cast<size_t>(base));
  into.Channels.insert(into.Channels.end(), from.Channels.begin(), from.Channels.begin() + n);
  if (from.Start < into.Start) {
    into.Start = from.Start;
    into.File = from.File;
  }
  into.Finish = std::max(into.Finish, from.Finish);
  into.SampleCount = std::max(into.SampleCount, from.SampleCount);
  into.SelectStart = into.Start;
  into.SelectFinish =
      into.SampRate > 0.0
          ? std::min(into.Start + SpanOfSamples(into.SampleCount, into.SampRate), into.Finish)
          : into.Finish;
}

int JoinSiblingChannels(TFileRecords& records, std::vector<int> touched, HeaderCache* cache,
                        std::vector<int>* moved,
                        const std::map<std::string, std::string>* miniseed_locations) {
  int joined = 0;
  if (moved != nullptr) {
    moved->resize(records.size());
    std::iota(moved->begin(), moved->end(), 0);
  }
  // Per record: whether its format is read by segments, and its first file's location.
  struct Known {
    bool Read = false;
    bool Segments = false;
    std::string Location;
  };
  std::vector<Known> known(records.size());
  const auto know = [&](size_t i) -> const Known& {
    Known& k = known[i];
    if (!k.Read && miniseed_locations != nullptr) {
      if (const auto it = miniseed_locations->find(records[i].File);
          it != miniseed_locations->end()) {
        k = {true, true, it->second};
      }
    }
    if (!k.Read) {
      const FormatTag tag = RecognizeWith(cache, records[i].File);
      k.Read = true;
      k.Segments = ReadBySegments(tag);
      if (k.Segments) k.Location = FirstLocation(records[i].File, tag);
    }
    return k;
  };
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  for (bool again = true; again;) {
    again = false;
    for (int t : touched) {
      if (t < 0 || static_cast<size_t>(t) >= records.size()) continue;
      const auto a = static_cast<size_t>(t);
      for (size_t b = 0; b < records.size() && !again; ++b) {
        if (b == a) continue;
        const size_t into = std::min(a, b);
        const size_t from = std::max(a, b);
        if (!CanJoinChannels(records[into], records[from], true)) continue;
        if (!know(into).Segments || !know(from).Segments) continue;
        if (known[into].Location != known[from].Location) continue;
        JoinChannels(records[into], records[from]);
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(from));
        known.erase(known.begin() + static_cast<std::ptrdiff_t>(from));
        const auto follow = [&](int& u) {
          if (u == static_cast<int>(from)) {
            u = static_cast<int>(into);
          } else if (u > static_cast<int>(from)) {
            --u;
          }
        };
        for (int& u : touched) follow(u);
        if (moved != nullptr) {
          for (int& u : *moved) follow(u);
        }
        ++joined;
        again = true;
      }
      if (again) break;
    }
  }
  return joined;
}

std::string FolderMask(int format_index) {
  if (format_index < 0 || format_index >= static_cast<int>(kDataFormats.size())) return "";
  const std::string_view text = kDataFormats[static_cast<size_t>(format_index)];
  if (format_index == 2) return "?????????Z" + std::string(text);
  if (format_index == 4) return "?????????_*";
  // miniSEED files go by all the extensions recognition takes.
  if (format_index == 7) return FindFormat(kTagMiniSeed)->RecordMask;
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
  std::vector<int> touched;
  for (const AddedFile& a : out) {
    if (a.Result.Added()) touched.push_back(a.Result.Record);
  }
  std::vector<int> moved;
  if (JoinSiblingChannels(records, touched, cache, &moved) > 0) {
    for (AddedFile& a : out) {
      if (a.Result.Added()) a.Result.Record = moved[static_cast<size_t>(a.Result.Record)];
    }
  }
  return out;
}

std::vector<AddedFile> AddFolder(TFileRecords& records, const std::string& folder, int format_index,
                                 const AssemblySettings& settings, UiHost& host,
                                 HeaderCache* cache) {
  host.SetOperation(MakeStatus(TCode::kAddingFolder));
  // Without a format, every file whose content a reader knows.
  const std::vector<std::string> paths = format_index < 0
                                             ? RecognizedFilesIn(folder)
                                             : ListRecordMask(folder, FolderMask(format_index));
  host.SetStage(MakeStatus(TCode::kListingRecords));
  std::vector<AddedFile> out = AddFiles(records, paths, settings, host, cache);
  host.SetStage(MakeStatus(TCode::kRecordsListed));
  return out;
}

TFileRecords FormRecordsFrom(const std::string& path, const AssemblySettings& settings,
                             AddFileResult* result, HeaderCache* cache) {
  TFileRecords records;
  const AddFileResult first = AddFile(records, path, settings, cache);
  if (result != nullptr) *result = first;
  if (!first.Added()) return records;
  const FormatInfo* format = FindFormat(first.Tag);
  if (format == nullptr || format->RecordMask == nullptr) return records;
  const TDateTime start = records.front().Start;
  const std::string name = FileName(path);
  for (const std::string& other : ListRecordMask(FolderOf(path), format->RecordMask)) {
    if (FileName(other) == name) continue;
    const FormatTag tag = RecognizeWith(cache, other);
    if (tag == 0) continue;
    const std::shared_ptr<const FileHeaders> read =
        HeadersWith(cache, other, tag, settings.WorkingRate);
    if (!read->Status.Ok()) continue;
    for (const TFileRecordInfo& info : read->Headers) {
      if (info.Start >= start) AddFileHeader(records, other, tag, info, settings);
    }
  }
  // The station's other channels in files of their own join the record, as adding would.
  std::vector<int> all(records.size());
  std::iota(all.begin(), all.end(), 0);
  JoinSiblingChannels(records, all, cache);
  return records;
}

std::optional<SdsName> ParseSdsName(std::string_view file_name) {
  std::vector<std::string_view> parts;
  for (size_t at = 0;;) {
    const size_t dot = file_name.find('.', at);
    parts.push_back(file_name.substr(at, dot == std::string_view::npos ? dot : dot - at));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  if (parts.size() != 7 || parts[1].empty() || parts[3].empty() || parts[4].size() != 1 ||
      parts[5].size() != 4 || parts[6].size() != 3) {
    return std::nullopt;
  }
  SdsName n{std::string(parts[0]), std::string(parts[1]), std::string(parts[2]),
            std::string(parts[3]), std::string(parts[4])};
  const auto number = [](std::string_view text, int& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
  };
  if (!number(parts[5], n.Year) || !number(parts[6], n.Day) || n.Day < 1 || n.Day > 366) {
    return std::nullopt;
  }
  return n;
}

std::optional<SdsStation> ParseSdsStation(std::string_view text) {
  std::vector<std::string> parts;
  for (size_t at = 0;;) {
    const size_t dot = text.find('.', at);
    parts.emplace_back(text.substr(at, dot == std::string_view::npos ? dot : dot - at));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() || parts[1].empty()) {
    return std::nullopt;
  }
  SdsStation s{parts[0], parts[1], "", parts.size() == 2};
  if (parts.size() == 3) s.Location = parts[2];
  return s;
}

std::vector<std::vector<std::string>> ListSdsDays(const std::string& root,
                                                  const SdsStation& station, TDateTime from,
                                                  TDateTime to) {
  namespace fs = std::filesystem;
  std::map<std::pair<int, int>, std::vector<std::string>> days;
  const int first_year = std::isfinite(from) ? DecodeDateTime(from).Year : 0;
  const int last_year = std::isfinite(to) ? DecodeDateTime(to).Year : 1 << 30;
  std::error_code ec;
  for (fs::directory_iterator y(root, ec), end; !ec && y != end; y.increment(ec)) {
    int year = 0;
    const std::string year_name = y->path().filename().string();
    const auto [stop, bad] =
        std::from_chars(year_name.data(), year_name.data() + year_name.size(), year);
    if (bad != std::errc() || stop != year_name.data() + year_name.size()) continue;
    if (year < first_year || year > last_year) continue;
    const fs::path place = y->path() / station.Network / station.Station;
    std::error_code inner;
    for (fs::directory_iterator c(place, inner); !inner && c != end; c.increment(inner)) {
      if (!c->is_directory(inner)) continue;
      std::error_code files_ec;
      for (fs::directory_iterator f(c->path(), files_ec); !files_ec && f != end;
           f.increment(files_ec)) {
        const std::optional<SdsName> n = ParseSdsName(f->path().filename().string());
        if (!n || n->Network != station.Network || n->Station != station.Station ||
            n->Year != year || (!station.AnyLocation && n->Location != station.Location)) {
          continue;
        }
        if (c->path().filename() != n->Channel + "." + n->Type) continue;
        const TDateTime day = EncodeDayOfYear(n->Year, n->Day);
        if ((std::isfinite(from) && day < std::floor(from)) ||
            (std::isfinite(to) && day > std::floor(to))) {
          continue;
        }
        std::error_code plain;
        if (f->is_regular_file(plain)) days[{n->Year, n->Day}].push_back(f->path().string());
      }
    }
  }
  std::vector<std::vector<std::string>> out;
  for (auto& [day, files] : days) {
    std::sort(files.begin(), files.end());
    out.push_back(std::move(files));
  }
  return out;
}

namespace {

// The header of an SDS day file taken from its first and last records alone: an archive keeps a
// day of one channel in records of one length in time order, so the two give what walking
// every record would, at the cost of reading two. nullopt when the file is not laid out so
// (not miniSEED 2, a size that is no multiple of the record length, first and last records of
// different streams): the file is then read as any other. location gets the stream's location.
std::optional<TFileRecordInfo> SdsDayHeader(const std::string& path, std::string& location) {
  BinaryFile file;
  if (!file.Open(path, false)) return std::nullopt;
  const int64_t size = file.Size();
  // The fixed header and blockette 1000 of an archive's records lie in their first bytes; a
  // record whose blockettes lie further is read the long way.
  constexpr size_t kHeadBytes = 512;
  std::vector<uint8_t> head(kHeadBytes);
  head.resize(file.ReadAt(0, head.data(), head.size()));
  if (head.size() < 8 ||
      std::string_view("DRQM").find(static_cast<char>(head[6])) == std::string_view::npos) {
    return std::nullopt;
  }
  TMiniSEEDPacket first;
  if (ParseMiniSeedRecord(head, std::min<int64_t>(size, kMiniSeedDefaultRecordLength), first) !=
      MiniSeedStatus::kOk) {
    return std::nullopt;
  }
  const int64_t length = first.RecordLength;
  if (length <= 0 || size % length != 0) return std::nullopt;
  TMiniSEEDPacket last = first;
  if (size > length) {
    head.resize(static_cast<size_t>(std::min<int64_t>(length, kHeadBytes)));
    if (file.ReadAt(size - length, head.data(), head.size()) < head.size() ||
        ParseMiniSeedRecord(head, length, last) != MiniSeedStatus::kOk) {
      return std::nullopt;
    }
  }
  if (last.Station != first.Station || last.Location != first.Location ||
      last.Channel != first.Channel || last.Network != first.Network ||
      !SameRate(last.SampRate, first.SampRate) || last.RecordLength != length ||
      last.Start < first.Start) {
    return std::nullopt;
  }
  std::vector<TFileRecordInfo> headers;
  GroupMiniSeedRecords(
      [&](const MiniSeedVisitor& visit) {
        visit(0, first);
        if (size > length) visit(size - length, last);
      },
      headers);
  if (headers.size() != 1 || !(headers[0].SampRate > 0.0)) return std::nullopt;
  headers[0].BlockCount =
      static_cast<int32_t>(std::min<int64_t>(size / length, std::numeric_limits<int32_t>::max()));
  location = Trim(first.Location);
  return headers[0];
}

}  // namespace

std::vector<AddedFile> AddFileGroups(TFileRecords& records,
                                     const std::vector<std::vector<std::string>>& groups,
                                     const AssemblySettings& settings, UiHost& host,
                                     HeaderCache* cache) {
  std::vector<AddedFile> out;
  size_t total = 0;
  for (const auto& g : groups) total += g.size();
  const int n = static_cast<int>(std::min<size_t>(total, std::numeric_limits<int>::max()));
  host.SetGauge(0, n);
  // A record is several kilobytes: room for them is made once, not grown record by record.
  records.reserve(records.size() + groups.size());
  TFileRecords own;
  for (const std::vector<std::string>& group : groups) {
    own.clear();
    own.reserve(group.size());
    std::vector<int> touched;
    const size_t first = out.size();
    // SDS day files are known from their first and last records.
    std::map<std::string, std::string> locations;
    for (const std::string& path : group) {
      std::string location;
      std::optional<TFileRecordInfo> day;
      if (ParseSdsName(FileName(path))) day = SdsDayHeader(path, location);
      if (day) {
        out.push_back({path, AddFileHeader(own, path, kTagMiniSeed, *day, settings)});
        locations[path] = location;
      } else {
        out.push_back({path, AddFile(own, path, settings, cache)});
      }
      if (out.back().Result.Added()) touched.push_back(out.back().Result.Record);
      host.SetGauge(static_cast<int>(std::min<size_t>(out.size(), n)), n);
      host.ProcessEvents();
    }
    std::vector<int> moved;
    JoinSiblingChannels(own, touched, cache, &moved, &locations);
    const int base = static_cast<int>(records.size());
    for (size_t k = first; k < out.size(); ++k) {
      AddFileResult& r = out[k].Result;
      if (r.Added())
        r.Record = base + (moved.empty() ? r.Record : moved[static_cast<size_t>(r.Record)]);
    }
    records.insert(records.end(), std::make_move_iterator(own.begin()),
                   std::make_move_iterator(own.end()));
  }
  return out;
}

namespace {

// The folders whose files may belong to the record of first_file: its own, and for an SDS day
// file kept in its archive place, with siblings, the folders of its station's channels of the
// same type in every year from start to finish.
std::vector<std::string> RecordFolders(const std::string& first_file, TDateTime start,
                                       TDateTime finish, bool siblings) {
  namespace fs = std::filesystem;
  std::vector<std::string> folders{FolderOf(first_file)};
  const std::optional<SdsName> sds = ParseSdsName(FileName(first_file));
  if (!sds) return folders;
  const fs::path own = fs::path(first_file).parent_path();
  const fs::path station = own.parent_path();
  const fs::path network = station.parent_path();
  const fs::path year = network.parent_path();
  if (own.filename() != sds->Channel + "." + sds->Type || station.filename() != sds->Station ||
      network.filename() != sds->Network || year.filename() != std::to_string(sds->Year)) {
    return folders;
  }
  const fs::path root = year.parent_path();
  const int first_year = DecodeDateTime(start).Year;
  const int last_year = std::isfinite(finish) ? DecodeDateTime(finish).Year : first_year;
  for (int y = first_year; y <= std::min(last_year, first_year + 100); ++y) {
    const fs::path place = root / std::to_string(y) / sds->Network / sds->Station;
    std::error_code ec;
    if (!siblings) {
      const fs::path same = place / own.filename();
      if (same != own && fs::is_directory(same, ec)) folders.push_back(same.string());
      continue;
    }
    for (fs::directory_iterator it(place, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!it->is_directory(ec) || it->path() == own) continue;
      if (name.size() > 2 && name.compare(name.size() - 2, 2, "." + sds->Type) == 0) {
        folders.push_back(it->path().string());
      }
    }
  }
  std::sort(folders.begin() + 1, folders.end());
  return folders;
}

// The mask a record's files are listed by: the format's, when it takes the first file's name;
// else every file (SDS day files and names without extension are known by their content).
std::string RecordMaskFor(const std::string& first_file, const FormatInfo& format) {
  const std::string name = FileName(first_file);
  std::string_view mask = format.RecordMask;
  while (!mask.empty()) {
    const size_t cut = mask.find(';');
    if (MatchMask(name, mask.substr(0, cut))) return format.RecordMask;
    mask = cut == std::string_view::npos ? std::string_view() : mask.substr(cut + 1);
  }
  return "*";
}

bool HoldsAnyOf(const TFileRecordInfo& info, std::span<const std::string> channels) {
  for (int c = 0; c < std::clamp(info.ChannelCount, 0, kMaxChannels); ++c) {
    const std::string& name = info.ChannelNames[static_cast<size_t>(c)];
    if (std::find(channels.begin(), channels.end(), name) != channels.end()) return true;
  }
  return false;
}

}  // namespace

RecordFiles FindRecordFiles(const std::string& first_file, double default_rate, TDateTime start,
                            TDateTime finish, UiHost& host, HeaderCache* cache,
                            std::string_view station, std::string_view location,
                            std::span<const std::string> channels) {
  HeaderCache own;
  HeaderCache& headers = cache != nullptr ? *cache : own;
  RecordFiles out;
  host.SetStatus(MakeStatus(TCode::kListingRecordFiles), 100);
  out.Tag = headers.Recognize(first_file);
  if (out.Tag == 0) return out;
  const std::shared_ptr<const FileHeaders> first =
      headers.Headers(first_file, out.Tag, default_rate);
  out.First = station.empty() ? first->Headers.front() : HeaderOfStation(*first, station, location);
  out.Paths.push_back(first_file);
  out.Headers.push_back(out.First);
  out.BlockSamples = out.First.BlockSamples;
  out.TotalSamples = std::max(out.First.SampleCount, 0);
  const bool siblings = !channels.empty();

  // A first file that reaches the record's end is the whole record (unless the record's other
  // channels are in files of their own); so is one without a rate, whose end is unknown.
  const double rate = out.First.SampRate;
  if (!(rate > 0.0) ||
      (!siblings && out.First.Start + SpanOfSamples(out.TotalSamples, rate) >= finish)) {
    return out;
  }
  const FormatInfo* format = FindFormat(out.Tag);
  if (format == nullptr || format->RecordMask == nullptr || format->ReadHeader == nullptr) {
    return out;
  }

  // The folder's files are read as the first file's format (no new recognition) and looked up
  // by their start: a record costs its own files, however many the folder holds.
  const std::string mask = RecordMaskFor(first_file, *format);
  const std::string first_location = siblings ? FirstLocation(first_file, out.Tag) : "";
  size_t listed = 0;
  const std::string first_name = FileName(first_file);
  const std::vector<std::string> places = RecordFolders(first_file, start, finish, siblings);
  for (size_t p = 0; p < places.size(); ++p) {
    const std::string& place = places[p];
    const std::shared_ptr<const FolderHeaders> folder =
        headers.Folder(place, mask, out.Tag, default_rate, &host);
    listed += folder->Files.size();
    const auto [from, to] = folder->StartingIn(start, finish);
    for (auto it = from; it != to; ++it) {
      const FolderHeaders::File& file = folder->Files[it->File];
      // The first folder is the first file's: there the name alone tells the first file.
      if (p == 0 && FileName(file.Path) == first_name) continue;
      const TFileRecordInfo& info = file.Headers->Headers[it->Header];
      if (info.Station != out.First.Station || info.Location != out.First.Location) continue;
      // Another channel's files are the record's only at its rate and of its location.
      if (siblings && (!HoldsAnyOf(info, channels) || !SameRate(info.SampRate, rate) ||
                       FirstLocation(file.Path, out.Tag) != first_location)) {
        continue;
      }
      out.Paths.push_back(file.Path);
      out.Headers.push_back(info);
      out.BlockSamples = std::max(out.BlockSamples, info.BlockSamples);
      out.TotalSamples += std::max(info.SampleCount, 0);
    }
  }
  const int n = static_cast<int>(std::min<size_t>(listed, std::numeric_limits<int>::max()));
  host.SetProgress(n, n);
  host.ProcessEvents();

  // The list is in path order: files that are read one after another rely on it.
  std::vector<size_t> order(out.Paths.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return out.Paths[a] < out.Paths[b]; });
  RecordFiles sorted;
  sorted.Tag = out.Tag;
  sorted.First = out.First;
  sorted.BlockSamples = out.BlockSamples;
  sorted.TotalSamples = out.TotalSamples;
  for (size_t k : order) {
    sorted.Paths.push_back(std::move(out.Paths[k]));
    sorted.Headers.push_back(std::move(out.Headers[k]));
  }
  return sorted;
}

}  // namespace tarvik

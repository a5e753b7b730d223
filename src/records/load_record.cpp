#include "records/load_record.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/rounding.h"
#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/header_cache.h"
#include "records/load_target.h"

namespace tarvik {

namespace {

// The station, location and channel under which a channel's segments are filed.
struct SegmentKey {
  std::string Station;
  std::string Location;
  std::string Channel;
};

bool ChannelMatches(const TRecordDescription& seg, const std::string& name) {
  return seg.Channel == name || seg.Channel.find(name) != std::string::npos;
}

// Segment lists file a channel under the station and location of the recorder (a device
// number and a pair of numbers for ADB/DDB, the record's own location code for miniSEED), which
// need not be the header's station or "00". Each channel is asked for under the keys that the
// first file's segments of that channel carry, those of the header's own station first (a file
// may hold several). A header of one location of its station names its channels "LL.CHN":
// they are asked for as CHN under that location only.
std::vector<SegmentKey> SegmentKeys(const TRecList& list, const TFileRecordInfo& first,
                                    int channels) {
  std::vector<SegmentKey> keys;
  for (int c = 0; c < channels; ++c) {
    const std::string& name = first.ChannelNames[static_cast<size_t>(c)];
    SegmentKey key{first.Station, "00", name};
    if (!first.Location.empty()) {
      key.Location = first.Location;
      key.Channel = std::string(SplitChannelLocation(name).second);
    }
    const TRecordDescription* pick = nullptr;
    for (const TRecordDescription& seg : list.Items) {
      if (ChannelMatches(seg, key.Channel) && seg.Station == first.Station &&
          (first.Location.empty() || seg.Location == first.Location)) {
        pick = &seg;
        break;
      }
    }
    for (size_t i = 0; pick == nullptr && first.Location.empty() && i < list.size(); ++i) {
      if (ChannelMatches(list[i], key.Channel)) pick = &list[i];
    }
    if (pick != nullptr) {
      key.Station = pick->Station;
      key.Location = pick->Location;
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

// The highest rate among the segments GetData would select for a channel.
double ChannelRate(const TRecList& list, const SegmentKey& key) {
  double rate = 0.0;
  for (const TRecordDescription& seg : list.Items) {
    if (seg.Station == key.Station && seg.Location == key.Location &&
        ChannelMatches(seg, key.Channel) && std::isfinite(seg.SampRate)) {
      rate = std::max(rate, seg.SampRate);
    }
  }
  return rate;
}

// The time of one channel of a packet or index file that a matrix of length samples from
// record_start has room for: asking for no more means a damaged time stamp or count never makes
// the reader allocate more than the matrix holds. None when the channel has no rate or no time
// falls inside.
std::optional<std::pair<TDateTime, TDateTime>> RoomySpan(const TRecList& list,
                                                         const SegmentKey& key,
                                                         TDateTime record_start, int64_t length) {
  const double rate = ChannelRate(list, key);
  if (!(rate > 0.0)) return std::nullopt;
  const auto [lo, hi] = list.Span();
  const TDateTime from = std::max(lo, record_start);
  const TDateTime to =
      std::min(hi, record_start + SpanOfSamples(static_cast<double>(length), rate));
  if (!(to > from)) return std::nullopt;
  return std::pair{from, to};
}

// One channel's samples of one packet or index file, placed by time: they belong at index
// offset of the record's matrix, and covered holds the spans of data (relative to the first
// sample) that are recorded data.
struct FilePiece {
  int Channel = 0;
  int64_t Offset = 0;
  std::vector<int32_t> Data;
  TRecordRanges Covered;
};

// The pieces of one packet or index file for a matrix of length samples per channel: channel
// c's samples over the file's span go to index round((start - record start) * rate). Appends
// piece after piece, so that those got before a failure are kept.
void SegmentPieces(const TRecList& list, const std::vector<SegmentKey>& keys,
                   TDateTime record_start, int channels, int64_t length,
                   std::vector<FilePiece>& pieces) {
  if (list.empty()) return;
  for (size_t c = 0; c < keys.size() && c < static_cast<size_t>(channels); ++c) {
    const std::optional<std::pair<TDateTime, TDateTime>> span =
        RoomySpan(list, keys[c], record_start, length);
    if (!span) continue;
    const auto [from, to] = *span;
    FilePiece piece;
    TRecordDescription got =
        list.GetData(keys[c].Station, keys[c].Location, to, from, keys[c].Channel, &piece.Covered);
    if (!(got.SampRate > 0.0) || got.Data.empty()) continue;
    piece.Channel = static_cast<int>(c);
    piece.Offset = RoundToInt64((got.StartTime - record_start) * kSecondsPerDay * got.SampRate);
    piece.Data = std::move(got.Data);
    pieces.push_back(std::move(piece));
  }
}

// Places the samples of one packet or index file by time, where SegmentPieces would put them,
// decoding them straight into the matrix rows: no piece is held between. The span a file
// covers replaces what an earlier file left there, gaps included.
void ReadSegmentFile(const TRecList& list, const std::vector<SegmentKey>& keys,
                     TDateTime record_start, LoadTarget& target) {
  if (list.empty()) return;
  const int channels = target.ChannelCount();
  const int64_t length = target.Length();
  for (size_t c = 0; c < keys.size() && c < static_cast<size_t>(channels); ++c) {
    const std::optional<std::pair<TDateTime, TDateTime>> span =
        RoomySpan(list, keys[c], record_start, length);
    if (!span) continue;
    const auto [from, to] = *span;
    TRecordRanges covered;
    int64_t at = 0;
    const TRecordDescription got =
        list.GetDataInto(keys[c].Station, keys[c].Location, to, from, keys[c].Channel, record_start,
                         (*target.Data)[c], at, &covered);
    if (!(got.SampRate > 0.0) || got.Count <= 0) continue;
    const int channel = static_cast<int>(c);
    target.MarkUnwritten(channel, at, got.Count);
    for (const auto& [a, b] : covered) target.MarkWritten(channel, at + a, int64_t{b} - a + 1);
    target.Position = std::max(target.Position, std::min(at + got.Count, length));
  }
}

// Integer rounding of sum / n to nearest, ties to even, without a detour through double.
int64_t RoundedMean(int64_t sum, int64_t n) {
  int64_t mean = sum / n;
  const int64_t rest = sum % n;
  const int64_t twice = 2 * (rest < 0 ? -rest : rest);
  if (twice > n || (twice == n && mean % 2 != 0)) mean += sum < 0 ? -1 : 1;
  return mean;
}

// Sum, smallest and largest of x[0..n), in blocks the compiler turns into vector instructions:
// each sample splits into its upper 16 bits (signed) and lower 16 bits (unsigned), whose sums
// over a block of 2^15 samples fit in 32-bit lanes, so the 64-bit total stays exact while the
// loop runs at the speed of memory.
struct SumRange {
  int64_t Sum = 0;
  int32_t Min = std::numeric_limits<int32_t>::max();
  int32_t Max = std::numeric_limits<int32_t>::min();
};

void AddToSum(const int32_t* __restrict x, int64_t n, SumRange& r) {
  constexpr int64_t kBlock = int64_t{1} << 15;
  int32_t lo = r.Min, hi = r.Max;
  for (int64_t start = 0; start < n; start += kBlock) {
    const int64_t len = std::min(kBlock, n - start);
    const int32_t* p = x + start;
    int32_t upper = 0;
    uint32_t lower = 0;
    for (int64_t j = 0; j < len; ++j) {
      upper += p[j] >> 16;
      lower += static_cast<uint32_t>(p[j]) & 0xFFFFu;
      lo = std::min(lo, p[j]);
      hi = std::max(hi, p[j]);
    }
    r.Sum += int64_t{upper} * 65536 + int64_t{lower};
  }
  r.Min = lo;
  r.Max = hi;
}

// x[i] − mean for i < n, clamped to the int32 range; the clamping is needed only when the
// range's extremes (from AddToSum) would leave it.
void Subtract(int32_t* __restrict x, int64_t n, int64_t mean, const SumRange& r) {
  if (mean == 0) return;
  if (int64_t{r.Min} - mean >= std::numeric_limits<int32_t>::min() &&
      int64_t{r.Max} - mean <= std::numeric_limits<int32_t>::max()) {
    const auto m = static_cast<int32_t>(mean);
    for (int64_t i = 0; i < n; ++i) x[i] -= m;
    return;
  }
  for (int64_t i = 0; i < n; ++i) x[i] = ClampToInt32(int64_t{x[i]} - mean);
}

int ProgressPercent(const TFileRecordInfo& info, const TFileRecord& record) {
  const double span = record.Finish - record.Start;
  if (!(span > 0.0) || !(info.SampRate > 0.0)) return 100;
  const double end = info.Start + SpanOfSamples(std::max(info.SampleCount, 0), info.SampRate);
  const double percent = (end - record.Start) / span * 100.0;
  if (!std::isfinite(percent)) return 100;
  return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

// The channels of a record of one file per channel: the record's own names when it holds
// every channel of its first file and more besides (a name the user changed, which no file
// holds, keeps the first file's name at its place); empty for any other record.
std::vector<std::string> SiblingChannels(const TFileRecord& record, const TFileRecordInfo& first) {
  const int count = std::clamp(record.ChannelCount(), 0, kMaxChannels);
  const int own = std::clamp(first.ChannelCount, 0, kMaxChannels);
  if (count <= own || own == 0) return {};
  std::vector<std::string> names = ChannelNames(record);
  names.resize(static_cast<size_t>(count));
  for (int c = 0; c < own; ++c) {
    if (std::find(names.begin(), names.end(), first.ChannelNames[static_cast<size_t>(c)]) ==
        names.end()) {
      return {};
    }
  }
  return names;
}

// What a load reads: the record's files, the header its matrix follows and the matrix's
// length, decided from the headers before any sample is read.
struct LoadPlan {
  RecordFiles Files;
  // The channels of a record of one file per channel (see SiblingChannels).
  std::vector<std::string> Siblings;
  TFileRecordInfo First;
  int64_t Length = 0;
  int Channels = 0;
};

bool PlanLoad(TFileRecord& record, UiHost& host, const LoadSettings& settings, HeaderCache& headers,
              LoadReport& report, LoadPlan& plan) {
  // A record of one file per channel reads its channels from their own files.
  std::vector<std::string>& siblings = plan.Siblings;
  if (const FormatTag tag = headers.Recognize(record.File); tag != 0) {
    const FormatInfo* format = FindFormat(tag);
    if (format != nullptr && format->BuildSegments != nullptr) {
      const std::shared_ptr<const FileHeaders> read =
          headers.Headers(record.File, tag, settings.DefaultRate);
      siblings =
          SiblingChannels(record, HeaderOfStation(*read, record.Station, RecordLocation(record)));
    }
  }
  plan.Files = FindRecordFiles(record.File, settings.DefaultRate, record.Start, record.Finish, host,
                               &headers, record.Station, RecordLocation(record), siblings);
  const RecordFiles& files = plan.Files;
  report.Tag = files.Tag;
  report.First = files.First;
  report.FilesFound = static_cast<int>(files.Paths.size());
  if (files.Tag == 0 || files.Paths.empty()) {
    TStatus recognized;
    if (files.Tag == 0) Recognize(record.File, &recognized);
    report.Status = MakeStatus(
        files.Tag == 0 ? TCode::kRecordNotRecognized : TCode::kRecordNothingRead, {record.File});
    if (!recognized.Ok()) report.Status.Args.emplace_back(recognized);
    report.Status.File = record.File;
    return false;
  }
  TFileRecordInfo& first = plan.First;
  first = files.First;
  if (!siblings.empty()) {
    first.ChannelCount = static_cast<int32_t>(siblings.size());
    for (size_t c = 0; c < siblings.size(); ++c) first.ChannelNames[c] = siblings[c];
  }
  record.SampRate = first.SampRate;

  // The headers say how long the record is; the files say how much they can hold at most.
  // A damaged header therefore never makes the matrix larger than the data it could be filled
  // from. A packet record also needs room for the gaps between its files. The files of a
  // record of one file per channel lie side by side: the span, not their sum, is its length.
  int64_t claim = files.TotalSamples;
  if (!siblings.empty()) {
    claim = 0;
    for (const TFileRecordInfo& h : files.Headers) claim = std::max<int64_t>(claim, h.SampleCount);
  }
  if (first.SampRate > 0.0 && record.Finish > record.Start) {
    claim = std::max(claim, SamplesInSpan(record.Finish - record.Start, first.SampRate));
  }
  int64_t capacity = 0;
  for (size_t k = 0; k < files.Paths.size() && capacity < claim; ++k) {
    capacity += SampleCapacityOf(files.Paths[k], files.Tag, files.Headers[k]);
  }
  plan.Length =
      std::clamp<int64_t>(std::min(claim, capacity), 0, std::numeric_limits<int32_t>::max());
  plan.Channels = std::clamp(first.ChannelCount, 0, kMaxChannels);
  report.Allocated = plan.Length;
  return true;
}

bool LoadInto(TFileRecord& record, TData32& out, UiHost& host, const LoadSettings& settings,
              HeaderCache& headers, LoadReport& report) {
  LoadPlan plan;
  if (!PlanLoad(record, host, settings, headers, report, plan)) return false;
  const RecordFiles& files = plan.Files;
  const std::vector<std::string>& siblings = plan.Siblings;
  const TFileRecordInfo& first = plan.First;
  const int64_t length = plan.Length;
  const int channels = plan.Channels;

  // Each channel allocated in place: a prototype copied to every channel would cost one more.
  TData32 data(static_cast<size_t>(channels));
  for (std::vector<int32_t>& channel : data) channel.assign(static_cast<size_t>(length), 0);
  record.SampleCount = 0;
  LoadTarget target;
  target.Data = &data;
  target.Written.resize(static_cast<size_t>(channels));
  target.RecordStart = record.Start;
  target.First = first;
  target.DefaultRate = settings.DefaultRate;
  target.Host = &host;

  host.SetStatus(MakeStatus(TCode::kLoadingData, {record.Station}), 100);
  // The first file's segment list gives the keys of every channel; it is kept for its turn.
  const FormatInfo* first_format = FindFormat(files.Tag);
  const bool by_segments = first_format != nullptr && first_format->BuildSegments != nullptr &&
                           (first_format->ReadInto == nullptr || !siblings.empty());
  TRecList first_list;
  std::vector<SegmentKey> keys;
  if (by_segments) {
    try {
      first_format->BuildSegments(record.File, first_list, first.Station);
    } catch (const std::exception&) {
      first_list.Clear();
    }
    keys = SegmentKeys(first_list, first, channels);
  }

  for (size_t k = 0; k < files.Paths.size(); ++k) {
    const std::string& path = files.Paths[k];
    TFileRecordInfo info = files.Headers[k];
    const FormatTag tag = headers.Recognize(path);
    const FormatInfo* format = FindFormat(tag);
    // A file that changed its format since it was found: its own header, when it has one.
    if (tag != files.Tag && format != nullptr && format->ReadHeader != nullptr) {
      info = headers.Headers(path, tag, settings.DefaultRate)->Headers.front();
    }
    try {
      if (format == nullptr) {
        // Not a seismogram any more: it reads as nothing.
      } else if (format->ReadInto != nullptr && (siblings.empty() || !by_segments)) {
        format->ReadInto(path, target);
      } else if (format->BuildSegments != nullptr && length > 0) {
        TRecList list;
        if (path == record.File && by_segments) {
          list = std::move(first_list);
        } else {
          format->BuildSegments(path, list, first.Station);
        }
        // Each file of a record of one file per channel files its own channels under keys of
        // its own.
        if (keys.empty() || (!siblings.empty() && path != record.File)) {
          keys = SegmentKeys(list, first, channels);
        }
        ReadSegmentFile(list, keys, record.Start, target);
      }
      ++report.FilesRead;
    } catch (const std::exception& e) {
      // A file that fails to read leaves its part of the record at 0, and the report says so.
      TStatus failed = MakeStatus(TCode::kReaderFailed, {e.what()});
      failed.File = path;
      report.FailedFiles.push_back(std::move(failed));
    }
    for (int64_t p : target.ChannelPositions) target.Position = std::max(target.Position, p);
    host.SetProgress(ProgressPercent(info, record), 100);
    host.ProcessEvents();
    if (host.StopRequested()) {
      report.Stopped = true;
      break;
    }
  }

  const int64_t count = std::clamp<int64_t>(target.Position, 0, length);
  for (std::vector<int32_t>& channel : data) {
    channel.resize(static_cast<size_t>(count));
    // Give memory back when the headers promised far more than the files held.
    if (channel.capacity() / 2 > channel.size()) channel.shrink_to_fit();
  }
  record.SampleCount = static_cast<int32_t>(count);
  report.Unread.assign(static_cast<size_t>(channels), {});
  for (size_t c = 0; c < report.Unread.size(); ++c) {
    report.Unread[c] = ComplementOf(target.Written[c], 0, count - 1);
  }

  if (settings.Demean) {
    host.SetStatus(MakeStatus(TCode::kRemovingOffset, {record.Station}), channels);
    RemoveMeans(data, report.Unread, &host);
  }
  out = std::move(data);
  return true;
}

}  // namespace

void RemoveMeans(TData32& data, UiHost* host) {
  const int channels = static_cast<int>(data.size());
  for (int c = 0; c < channels; ++c) {
    std::vector<int32_t>& samples = data[static_cast<size_t>(c)];
    const auto n = static_cast<int64_t>(samples.size());
    if (n > 0) {
      SumRange range;
      AddToSum(samples.data(), n, range);
      Subtract(samples.data(), n, RoundedMean(range.Sum, n), range);
    }
    if (host != nullptr) host->SetProgress(c + 1, channels);
  }
}

void RemoveMeans(TData32& data, const TChannelRanges& unread, UiHost* host) {
  const int channels = static_cast<int>(data.size());
  for (int c = 0; c < channels; ++c) {
    std::vector<int32_t>& samples = data[static_cast<size_t>(c)];
    const auto n = static_cast<int64_t>(samples.size());
    const TRecordRanges none;
    const TRecordRanges& gaps = static_cast<size_t>(c) < unread.size() ? unread[c] : none;
    const TRecordRanges real = ComplementOf(gaps, 0, n - 1);
    SumRange range;
    int64_t count = 0;
    for (const auto& [a, b] : real) {
      AddToSum(samples.data() + a, int64_t{b} - a + 1, range);
      count += int64_t{b} - a + 1;
    }
    if (count > 0) {
      const int64_t mean = RoundedMean(range.Sum, count);
      for (const auto& [a, b] : real) {
        Subtract(samples.data() + a, int64_t{b} - a + 1, mean, range);
      }
    }
    for (const auto& [a, b] : ClipRanges(gaps, 0, n - 1)) {
      std::fill(samples.begin() + a, samples.begin() + b + 1, 0);
    }
    if (host != nullptr) host->SetProgress(c + 1, channels);
  }
}

void TurnHorizontals(const HorizontalTurn& turn, TData32& samples) {
  if (!turn.Active() || static_cast<size_t>(std::max(turn.E, turn.N)) >= samples.size()) return;
  std::vector<int32_t>& h = samples[static_cast<size_t>(turn.E)];
  const std::vector<int32_t>& n = samples[static_cast<size_t>(turn.N)];
  const size_t count = std::min(h.size(), n.size());
  for (size_t i = 0; i < count; ++i) {
    const double v = turn.CosA * n[i] + turn.SinA * h[i];
    h[i] = static_cast<int32_t>(std::lround(std::clamp(v, -2147483648.0, 2147483647.0)));
  }
}

void TurnUnread(const HorizontalTurn& turn, TChannelRanges& unread) {
  if (!turn.Active() || static_cast<size_t>(std::max(turn.E, turn.N)) >= unread.size()) return;
  TRecordRanges& gaps = unread[static_cast<size_t>(turn.E)];
  const TRecordRanges& other = unread[static_cast<size_t>(turn.N)];
  gaps.insert(gaps.end(), other.begin(), other.end());
  std::sort(gaps.begin(), gaps.end());
  TRecordRanges merged;
  for (const auto& span : gaps) {
    if (!merged.empty() && int64_t{span.first} <= int64_t{merged.back().second} + 1) {
      merged.back().second = std::max(merged.back().second, span.second);
    } else {
      merged.push_back(span);
    }
  }
  gaps = std::move(merged);
}

bool LoadRecord(TFileRecord& record, TData32& data, UiHost& host, const LoadSettings& settings,
                LoadReport* report) {
  data = TData32();
  if (settings.ClearStop) host.ClearStop();
  LoadReport local;
  LoadReport& rep = report != nullptr ? *report : local;
  rep = LoadReport();
  bool ok = false;
  HeaderCache own;
  HeaderCache& headers = settings.Headers != nullptr ? *settings.Headers : own;
  try {
    ok = LoadInto(record, data, host, settings, headers, rep);
  } catch (const std::exception&) {
    ok = false;  // the matrix could not be allocated; whatever was built is already released
    rep.Status = MakeStatus(TCode::kRecordTooLarge, {record.File, std::to_string(rep.Allocated)});
    rep.Status.File = record.File;
  }
  if (!ok) {
    data = TData32();
    record.SampleCount = 0;
  } else if (settings.Turn.Active()) {
    TurnHorizontals(settings.Turn, data);
    TurnUnread(settings.Turn, rep.Unread);
  }
  return ok;
}

namespace {

// Builds the segment list of one file of a streamed record and gets its pieces. Returns false
// when the file failed to read (the pieces got before the failure are kept, as LoadRecord
// keeps what such a file wrote).
bool ReadFilePieces(const std::string& path, const FormatInfo& format, const LoadPlan& plan,
                    std::vector<SegmentKey>& keys, TDateTime record_start,
                    std::vector<FilePiece>& pieces) {
  pieces.clear();
  if (plan.Length <= 0) return true;
  try {
    TRecList list;
    format.BuildSegments(path, list, plan.First.Station);
    if (keys.empty()) keys = SegmentKeys(list, plan.First, plan.Channels);
    SegmentPieces(list, keys, record_start, plan.Channels, plan.Length, pieces);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

// The pieces of one file and whether it read to its end.
struct Decoded {
  bool Ok = false;
  std::vector<FilePiece> Pieces;
};

struct RecordBlocks::State {
  TFileRecord Record;
  UiHost* Host = nullptr;
  LoadSettings Settings;
  HeaderCache OwnHeaders;
  LoadPlan Plan;
  const FormatInfo* Format = nullptr;
  std::vector<SegmentKey> Keys;
  int64_t MaxBlock = kMaxBlock;
  bool Streaming = false;

  int64_t Count = 0;
  TChannelRanges Unread;
  // unread as the caller sees it: with the horizontals turned, if they are.
  TChannelRanges ShownUnread;
  std::vector<int64_t> Means;
  // next_start[k][c]: the first index of channel c that file k or a later one writes.
  std::vector<std::vector<int64_t>> NextStart;
  size_t FilesScanned = 0;
  // The pieces of the first files as the first pass read them, kept while they fit in
  // kept_limit bytes, so that the second pass need not decode those files again (a record of
  // one day is decoded once).
  int64_t KeptLimit = kKeptBytes;
  std::vector<std::vector<FilePiece>> Kept;
  size_t KeptBytes = 0;
  bool Keeping = true;
  // The file decoded ahead of the second pass.
  std::future<std::vector<FilePiece>> Ahead;
  size_t AheadFile = 0;

  // The second pass: the files read so far have written pending (row c holds channel c from
  // index pending_base on, zeros past its end); [emitted, ready) is final and not yet handed
  // out.
  size_t NextFile = 0;
  TData32 Pending;
  int64_t PendingBase = 0;
  int64_t Emitted = 0;
  int64_t Ready = 0;

  // A record loaded whole.
  TData32 Whole;

  // The first pass: where every file writes, the recorded spans and their sums. False when the
  // files overlap in time (a later file would replace samples already handed out) or a piece
  // is inconsistent.
  bool Scan(LoadReport& report) {
    const int channels = Plan.Channels;
    const int64_t length = Plan.Length;
    const RecordFiles& files = Plan.Files;
    TChannelRanges written(static_cast<size_t>(channels));
    std::vector<SumRange> sums(static_cast<size_t>(channels));
    std::vector<int64_t> chan_end(static_cast<size_t>(channels), 0);
    constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
    NextStart.assign(files.Paths.size() + 1,
                     std::vector<int64_t>(static_cast<size_t>(channels), kNone));
    int64_t position = 0;
    std::vector<FilePiece> pieces;
    HeaderCache& headers = Settings.Headers != nullptr ? *Settings.Headers : OwnHeaders;
    // The files are decoded on as many threads as the machine has cores (up to four), each
    // with the keys of the first file, and taken in order: this pass only decodes and sums, and
    // would otherwise leave every core but one idle.
    const size_t workers = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::deque<std::future<Decoded>> in_flight;
    size_t launched = 0;
    bool launching = true;
    for (size_t k = 0; k < files.Paths.size(); ++k) {
      const std::string& path = files.Paths[k];
      while (launching && !Keys.empty() && launched < files.Paths.size() &&
             launched < k + workers) {
        // A file whose format changed is met in its turn below.
        if (headers.Recognize(files.Paths[launched]) != files.Tag) {
          launching = false;
          break;
        }
        in_flight.push_back(
            std::async(std::launch::async, [this, file = launched, copy = Keys]() mutable {
              Decoded d;
              d.Ok = ReadFilePieces(Plan.Files.Paths[file], *Format, Plan, copy, Record.Start,
                                    d.Pieces);
              return d;
            }));
        ++launched;
      }
      bool ok = false;
      if (launched > k) {
        Decoded d = in_flight.front().get();
        in_flight.pop_front();
        ok = d.Ok;
        pieces = std::move(d.Pieces);
      } else {
        if (headers.Recognize(path) != files.Tag) return false;
        // Without keys yet (the first file's segment list failed), this file gives them.
        ok = ReadFilePieces(path, *Format, Plan, Keys, Record.Start, pieces);
        launched = k + 1;
      }
      if (ok) ++report.FilesRead;
      for (const FilePiece& piece : pieces) {
        const auto c = static_cast<size_t>(piece.Channel);
        const auto n = static_cast<int64_t>(piece.Data.size());
        const int64_t s = std::max<int64_t>(piece.Offset, 0);
        const int64_t e = std::min(piece.Offset + n, length);
        if (s < e) {
          if (s < chan_end[c]) return false;
          chan_end[c] = e;
          NextStart[k][c] = std::min(NextStart[k][c], s);
        }
        for (const auto& [a, b] : piece.Covered) {
          if (a < 0 || b < a || b >= n) return false;
          const int64_t from = std::max<int64_t>(piece.Offset + a, 0);
          const int64_t to = std::min<int64_t>(piece.Offset + b + 1, length);
          if (from >= to) continue;
          AddRange(written[c], from, to - 1);
          AddToSum(piece.Data.data() + (from - piece.Offset), to - from, sums[c]);
        }
        position = std::max(position, std::min(piece.Offset + n, length));
      }
      size_t bytes = 0;
      for (const FilePiece& piece : pieces) bytes += piece.Data.size() * sizeof(int32_t);
      Keeping = Keeping && static_cast<int64_t>(KeptBytes + bytes) <= KeptLimit;
      if (Keeping) {
        Kept.push_back(std::move(pieces));
        KeptBytes += bytes;
      }
      FilesScanned = k + 1;
      Host->SetProgress(ProgressPercent(files.Headers[k], Record), 100);
      Host->ProcessEvents();
      if (Host->StopRequested()) {
        report.Stopped = true;
        break;
      }
    }
    for (size_t k = files.Paths.size(); k-- > 0;) {
      for (size_t c = 0; c < static_cast<size_t>(channels); ++c) {
        NextStart[k][c] = std::min(NextStart[k][c], NextStart[k + 1][c]);
      }
    }
    Count = std::clamp<int64_t>(position, 0, length);
    Unread.assign(static_cast<size_t>(channels), {});
    Means.assign(static_cast<size_t>(channels), 0);
    for (size_t c = 0; c < Unread.size(); ++c) {
      Unread[c] = ComplementOf(written[c], 0, Count - 1);
      const int64_t real = RangeSamples(ComplementOf(Unread[c], 0, Count - 1));
      if (real > 0) Means[c] = RoundedMean(sums[c].Sum, real);
    }
    Pending.assign(static_cast<size_t>(channels), {});
    return true;
  }

  // Reads the next file of the second pass into pending.
  // The pieces of file k, decoded again.
  std::vector<FilePiece> Decode(size_t k, std::vector<SegmentKey> file_keys) const {
    std::vector<FilePiece> pieces;
    ReadFilePieces(Plan.Files.Paths[k], *Format, Plan, file_keys, Record.Start, pieces);
    return pieces;
  }

  // Reads the next file of the second pass into pending. The file after it is decoded on a
  // thread of its own meanwhile, while the caller works on what this one gave.
  void ReadNextFile() {
    std::vector<FilePiece> pieces;
    if (NextFile < Kept.size()) {
      pieces = std::move(Kept[NextFile]);
    } else if (Ahead.valid() && AheadFile == NextFile) {
      pieces = Ahead.get();
    } else {
      pieces = Decode(NextFile, Keys);
    }
    const size_t following = NextFile + 1;
    if (following < FilesScanned && following >= Kept.size()) {
      AheadFile = following;
      Ahead = std::async(std::launch::async,
                         [this, following, copy = Keys] { return Decode(following, copy); });
    }
    for (FilePiece& piece : pieces) {
      std::vector<int32_t>& row = Pending[static_cast<size_t>(piece.Channel)];
      const auto n = static_cast<int64_t>(piece.Data.size());
      // The first pass made sure that nothing before pending_base is written again.
      const int64_t s = std::max({piece.Offset, PendingBase, int64_t{0}});
      const int64_t e = std::min(piece.Offset + n, Count);
      if (s >= e) continue;
      if (row.empty() && s == PendingBase && piece.Offset == s && e == s + n) {
        row = std::move(piece.Data);  // the piece is the row: no copy
        continue;
      }
      if (static_cast<int64_t>(row.size()) < e - PendingBase) {
        row.resize(static_cast<size_t>(e - PendingBase), 0);
      }
      std::copy(piece.Data.begin() + (s - piece.Offset), piece.Data.begin() + (e - piece.Offset),
                row.begin() + (s - PendingBase));
    }
    ++NextFile;
    int64_t final_end = Count;
    if (NextFile < FilesScanned) {
      for (int64_t s : NextStart[NextFile]) final_end = std::min(final_end, s);
    }
    Ready = std::max(Ready, final_end);
  }

  // Hands out [emitted, emitted + n) of pending, the means removed.
  void Emit(int64_t n, RecordBlock& block) {
    block.First = Emitted;
    block.Samples.resize(Pending.size());
    for (size_t c = 0; c < Pending.size(); ++c) {
      std::vector<int32_t>& row = Pending[c];
      std::vector<int32_t>& out = block.Samples[c];
      out.assign(static_cast<size_t>(n), 0);
      const int64_t from = Emitted - PendingBase;
      const int64_t have = std::clamp<int64_t>(static_cast<int64_t>(row.size()) - from, 0, n);
      if (have > 0) std::copy_n(row.begin() + from, have, out.begin());
      if (Settings.Demean) {
        const int64_t mean = Means[c];
        if (mean != 0) {
          for (int32_t& x : out) x = ClampToInt32(int64_t{x} - mean);
        }
        for (const auto& [a, b] : ClipRanges(Unread[c], Emitted, Emitted + n - 1)) {
          std::fill(out.begin() + (a - Emitted), out.begin() + (b - Emitted + 1), 0);
        }
      }
    }
    TurnHorizontals(Settings.Turn, block.Samples);
    Emitted += n;
    // Drop what was handed out once it is half of what pending holds.
    const int64_t used = Emitted - PendingBase;
    size_t longest = 0;
    for (const std::vector<int32_t>& row : Pending) longest = std::max(longest, row.size());
    if (2 * used < static_cast<int64_t>(longest)) return;
    for (std::vector<int32_t>& row : Pending) {
      row.erase(row.begin(),
                row.begin() + std::min<int64_t>(used, static_cast<int64_t>(row.size())));
    }
    PendingBase = Emitted;
  }
};

RecordBlocks::RecordBlocks() : state_(std::make_unique<State>()) {}
RecordBlocks::~RecordBlocks() = default;

bool RecordBlocks::Open(TFileRecord& record, UiHost& host, const LoadSettings& settings,
                        LoadReport* report, int64_t max_block, int64_t kept_bytes) {
  state_ = std::make_unique<State>();
  State& st = *state_;
  st.MaxBlock = std::max<int64_t>(max_block, 1);
  st.KeptLimit = kept_bytes;
  st.Host = &host;
  st.Settings = settings;
  LoadReport local;
  LoadReport& rep = report != nullptr ? *report : local;
  rep = LoadReport();
  if (settings.ClearStop) host.ClearStop();
  HeaderCache& headers = settings.Headers != nullptr ? *settings.Headers : st.OwnHeaders;
  bool planned = false;
  try {
    planned = PlanLoad(record, host, settings, headers, rep, st.Plan);
  } catch (const std::exception&) {
    planned = false;
    rep.Status = MakeStatus(TCode::kRecordTooLarge, {record.File, std::to_string(rep.Allocated)});
    rep.Status.File = record.File;
  }
  if (!planned) {
    record.SampleCount = 0;
    return false;
  }
  st.Format = FindFormat(st.Plan.Files.Tag);
  const bool by_segments = st.Format != nullptr && st.Format->BuildSegments != nullptr &&
                           st.Format->ReadInto == nullptr && st.Plan.Siblings.empty();
  if (by_segments) {
    st.Record = record;
    host.SetStatus(MakeStatus(TCode::kLoadingData, {record.Station}), 100);
    TRecList first_list;
    try {
      st.Format->BuildSegments(record.File, first_list, st.Plan.First.Station);
    } catch (const std::exception&) {
      first_list.Clear();
    }
    st.Keys = SegmentKeys(first_list, st.Plan.First, st.Plan.Channels);
    LoadReport scanned = rep;
    try {
      st.Streaming = st.Scan(scanned);
    } catch (const std::exception&) {
      st.Streaming = false;
    }
    if (st.Streaming) {
      rep = scanned;
      st.ShownUnread = st.Unread;
      TurnUnread(settings.Turn, st.ShownUnread);
      rep.Unread = st.ShownUnread;
      record.SampleCount = static_cast<int32_t>(st.Count);
      return true;
    }
  }
  // Loaded whole.
  st.Streaming = false;
  if (!LoadRecord(record, st.Whole, host, settings, &rep)) return false;
  st.Count = st.Whole.empty() ? 0 : static_cast<int64_t>(st.Whole.front().size());
  st.Unread = rep.Unread;
  st.ShownUnread = rep.Unread;
  return true;
}

bool RecordBlocks::Next(RecordBlock& block) {
  State& st = *state_;
  if (!st.Streaming) {
    if (st.Emitted >= st.Count) return false;
    const int64_t n = std::min(st.MaxBlock, st.Count - st.Emitted);
    block.First = st.Emitted;
    block.Samples.resize(st.Whole.size());
    for (size_t c = 0; c < st.Whole.size(); ++c) {
      const auto from = st.Whole[c].begin() + st.Emitted;
      block.Samples[c].assign(from, from + n);
    }
    st.Emitted += n;
    return true;
  }
  for (;;) {
    if (st.Emitted < st.Ready) {
      st.Emit(std::min(st.MaxBlock, st.Ready - st.Emitted), block);
      return true;
    }
    if (st.NextFile < st.FilesScanned) {
      st.ReadNextFile();
      continue;
    }
    if (st.Ready < st.Count) {
      st.Ready = st.Count;
      continue;
    }
    return false;
  }
}

TData32 RecordBlocks::ReadAll() {
  State& st = *state_;
  if (!st.Streaming && st.Emitted == 0) {
    st.Emitted = st.Count;
    return std::move(st.Whole);
  }
  TData32 out(static_cast<size_t>(Channels()));
  RecordBlock block;
  while (Next(block)) {
    for (size_t c = 0; c < out.size() && c < block.Samples.size(); ++c) {
      out[c].insert(out[c].end(), block.Samples[c].begin(), block.Samples[c].end());
    }
  }
  return out;
}

int RecordBlocks::Channels() const {
  return state_->Streaming ? state_->Plan.Channels : static_cast<int>(state_->Whole.size());
}

int64_t RecordBlocks::Count() const {
  return state_->Count;
}

const TChannelRanges& RecordBlocks::Unread() const {
  return state_->ShownUnread;
}

bool RecordBlocks::Streaming() const {
  return state_->Streaming;
}

}  // namespace tarvik

#include "records/load_record.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <limits>
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
  std::string station;
  std::string location;
  std::string channel;
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
      key.location = first.Location;
      key.channel = std::string(SplitChannelLocation(name).second);
    }
    const TRecordDescription* pick = nullptr;
    for (const TRecordDescription& seg : list.Items) {
      if (ChannelMatches(seg, key.channel) && seg.Station == first.Station &&
          (first.Location.empty() || seg.Location == first.Location)) {
        pick = &seg;
        break;
      }
    }
    for (size_t i = 0; pick == nullptr && first.Location.empty() && i < list.size(); ++i) {
      if (ChannelMatches(list[i], key.channel)) pick = &list[i];
    }
    if (pick != nullptr) {
      key.station = pick->Station;
      key.location = pick->Location;
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

// The highest rate among the segments GetData would select for a channel.
double ChannelRate(const TRecList& list, const SegmentKey& key) {
  double rate = 0.0;
  for (const TRecordDescription& seg : list.Items) {
    if (seg.Station == key.station && seg.Location == key.location &&
        ChannelMatches(seg, key.channel) && std::isfinite(seg.SampRate)) {
      rate = std::max(rate, seg.SampRate);
    }
  }
  return rate;
}

// One channel's samples of one packet or index file, placed by time: they belong at index
// offset of the record's matrix, and covered holds the spans of data (relative to the first
// sample) that are recorded data.
struct FilePiece {
  int channel = 0;
  int64_t offset = 0;
  std::vector<int32_t> data;
  TRecordRanges covered;
};

// The pieces of one packet or index file for a matrix of length samples per channel: channel
// c's samples over the file's span go to index round((start - record start) * rate). Appends
// piece after piece, so that those got before a failure are kept.
void SegmentPieces(const TRecList& list, const std::vector<SegmentKey>& keys,
                   TDateTime record_start, int channels, int64_t length,
                   std::vector<FilePiece>& pieces) {
  if (list.empty()) return;
  const auto [lo, hi] = list.Span();
  for (size_t c = 0; c < keys.size() && c < static_cast<size_t>(channels); ++c) {
    const double rate = ChannelRate(list, keys[c]);
    if (!(rate > 0.0)) continue;
    // Ask only for the time the matrix has room for, so that a damaged time stamp or count
    // never makes GetData allocate more than the matrix holds.
    const TDateTime from = std::max(lo, record_start);
    const TDateTime to =
        std::min(hi, record_start + SpanOfSamples(static_cast<double>(length), rate));
    if (!(to > from)) continue;
    FilePiece piece;
    TRecordDescription got =
        list.GetData(keys[c].station, keys[c].location, to, from, keys[c].channel, &piece.covered);
    if (!(got.SampRate > 0.0) || got.Data.empty()) continue;
    piece.channel = static_cast<int>(c);
    piece.offset = RoundToInt64((got.StartTime - record_start) * kSecondsPerDay * got.SampRate);
    piece.data = std::move(got.Data);
    pieces.push_back(std::move(piece));
  }
}

// Places the samples of one packet or index file by time, where SegmentPieces would put them,
// decoding them straight into the matrix rows: no piece is held between. The span a file
// covers replaces what an earlier file left there, gaps included.
void ReadSegmentFile(const TRecList& list, const std::vector<SegmentKey>& keys,
                     TDateTime record_start, LoadTarget& target) {
  if (list.empty()) return;
  const auto [lo, hi] = list.Span();
  const int channels = target.ChannelCount();
  const int64_t length = target.Length();
  for (size_t c = 0; c < keys.size() && c < static_cast<size_t>(channels); ++c) {
    const double rate = ChannelRate(list, keys[c]);
    if (!(rate > 0.0)) continue;
    const TDateTime from = std::max(lo, record_start);
    const TDateTime to =
        std::min(hi, record_start + SpanOfSamples(static_cast<double>(length), rate));
    if (!(to > from)) continue;
    TRecordRanges covered;
    int64_t at = 0;
    const TRecordDescription got =
        list.GetDataInto(keys[c].station, keys[c].location, to, from, keys[c].channel, record_start,
                         (*target.data)[c], at, &covered);
    if (!(got.SampRate > 0.0) || got.Count <= 0) continue;
    const int channel = static_cast<int>(c);
    target.MarkUnwritten(channel, at, got.Count);
    for (const auto& [a, b] : covered) target.MarkWritten(channel, at + a, int64_t{b} - a + 1);
    target.position = std::max(target.position, std::min(at + got.Count, length));
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
  int64_t sum = 0;
  int32_t min = std::numeric_limits<int32_t>::max();
  int32_t max = std::numeric_limits<int32_t>::min();
};

void AddToSum(const int32_t* __restrict x, int64_t n, SumRange& r) {
  constexpr int64_t kBlock = int64_t{1} << 15;
  int32_t lo = r.min, hi = r.max;
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
    r.sum += int64_t{upper} * 65536 + int64_t{lower};
  }
  r.min = lo;
  r.max = hi;
}

// x[i] − mean for i < n, clamped to the int32 range; the clamping is needed only when the
// range's extremes (from AddToSum) would leave it.
void Subtract(int32_t* __restrict x, int64_t n, int64_t mean, const SumRange& r) {
  if (mean == 0) return;
  if (int64_t{r.min} - mean >= std::numeric_limits<int32_t>::min() &&
      int64_t{r.max} - mean <= std::numeric_limits<int32_t>::max()) {
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
  RecordFiles files;
  // The channels of a record of one file per channel (see SiblingChannels).
  std::vector<std::string> siblings;
  TFileRecordInfo first;
  int64_t length = 0;
  int channels = 0;
};

bool PlanLoad(TFileRecord& record, UiHost& host, const LoadSettings& settings, HeaderCache& headers,
              LoadReport& report, LoadPlan& plan) {
  // A record of one file per channel reads its channels from their own files.
  std::vector<std::string>& siblings = plan.siblings;
  if (const FormatTag tag = headers.Recognize(record.File); tag != 0) {
    const FormatInfo* format = FindFormat(tag);
    if (format != nullptr && format->build_segments != nullptr) {
      const std::shared_ptr<const FileHeaders> read =
          headers.Headers(record.File, tag, settings.default_rate);
      siblings =
          SiblingChannels(record, HeaderOfStation(*read, record.Station, RecordLocation(record)));
    }
  }
  plan.files = FindRecordFiles(record.File, settings.default_rate, record.Start, record.Finish,
                               host, &headers, record.Station, RecordLocation(record), siblings);
  const RecordFiles& files = plan.files;
  report.tag = files.tag;
  report.first = files.first;
  report.files_found = static_cast<int>(files.paths.size());
  if (files.tag == 0 || files.paths.empty()) {
    TStatus recognized;
    if (files.tag == 0) Recognize(record.File, &recognized);
    report.status = MakeStatus(
        files.tag == 0 ? TCode::kRecordNotRecognized : TCode::kRecordNothingRead, {record.File});
    if (!recognized.Ok()) report.status.Args.emplace_back(recognized);
    report.status.File = record.File;
    return false;
  }
  TFileRecordInfo& first = plan.first;
  first = files.first;
  if (!siblings.empty()) {
    first.ChannelCount = static_cast<int32_t>(siblings.size());
    for (size_t c = 0; c < siblings.size(); ++c) first.ChannelNames[c] = siblings[c];
  }
  record.SampRate = first.SampRate;

  // The headers say how long the record is; the files say how much they can hold at most.
  // A damaged header therefore never makes the matrix larger than the data it could be filled
  // from. A packet record also needs room for the gaps between its files. The files of a
  // record of one file per channel lie side by side: the span, not their sum, is its length.
  int64_t claim = files.total_samples;
  if (!siblings.empty()) {
    claim = 0;
    for (const TFileRecordInfo& h : files.headers) claim = std::max<int64_t>(claim, h.SampleCount);
  }
  if (first.SampRate > 0.0 && record.Finish > record.Start) {
    claim = std::max(claim, SamplesInSpan(record.Finish - record.Start, first.SampRate));
  }
  int64_t capacity = 0;
  for (size_t k = 0; k < files.paths.size() && capacity < claim; ++k) {
    capacity += SampleCapacityOf(files.paths[k], files.tag, files.headers[k]);
  }
  plan.length =
      std::clamp<int64_t>(std::min(claim, capacity), 0, std::numeric_limits<int32_t>::max());
  plan.channels = std::clamp(first.ChannelCount, 0, kMaxChannels);
  report.allocated = plan.length;
  return true;
}

bool LoadInto(TFileRecord& record, TData32& out, UiHost& host, const LoadSettings& settings,
              HeaderCache& headers, LoadReport& report) {
  LoadPlan plan;
  if (!PlanLoad(record, host, settings, headers, report, plan)) return false;
  const RecordFiles& files = plan.files;
  const std::vector<std::string>& siblings = plan.siblings;
  const TFileRecordInfo& first = plan.first;
  const int64_t length = plan.length;
  const int channels = plan.channels;

  // Each channel allocated in place: a prototype copied to every channel would cost one more.
  TData32 data(static_cast<size_t>(channels));
  for (std::vector<int32_t>& channel : data) channel.assign(static_cast<size_t>(length), 0);
  record.SampleCount = 0;
  LoadTarget target;
  target.data = &data;
  target.written.resize(static_cast<size_t>(channels));
  target.record_start = record.Start;
  target.first = first;
  target.default_rate = settings.default_rate;
  target.host = &host;

  host.SetStatus(MakeStatus(TCode::kLoadingData, {record.Station}), 100);
  // The first file's segment list gives the keys of every channel; it is kept for its turn.
  const FormatInfo* first_format = FindFormat(files.tag);
  const bool by_segments = first_format != nullptr && first_format->build_segments != nullptr &&
                           (first_format->read_into == nullptr || !siblings.empty());
  TRecList first_list;
  std::vector<SegmentKey> keys;
  if (by_segments) {
    try {
      first_format->build_segments(record.File, first_list, first.Station);
    } catch (const std::exception&) {
      first_list.Clear();
    }
    keys = SegmentKeys(first_list, first, channels);
  }

  for (size_t k = 0; k < files.paths.size(); ++k) {
    const std::string& path = files.paths[k];
    TFileRecordInfo info = files.headers[k];
    const FormatTag tag = headers.Recognize(path);
    const FormatInfo* format = FindFormat(tag);
    // A file that changed its format since it was found: its own header, when it has one.
    if (tag != files.tag && format != nullptr && format->read_header != nullptr) {
      info = headers.Headers(path, tag, settings.default_rate)->headers.front();
    }
    try {
      if (format == nullptr) {
        // Not a seismogram any more: it reads as nothing.
      } else if (format->read_into != nullptr && (siblings.empty() || !by_segments)) {
        format->read_into(path, target);
      } else if (format->build_segments != nullptr && length > 0) {
        TRecList list;
        if (path == record.File && by_segments) {
          list = std::move(first_list);
        } else {
          format->build_segments(path, list, first.Station);
        }
        // Each file of a record of one file per channel files its own channels under keys of
        // its own.
        if (keys.empty() || (!siblings.empty() && path != record.File)) {
          keys = SegmentKeys(list, first, channels);
        }
        ReadSegmentFile(list, keys, record.Start, target);
      }
      ++report.files_read;
    } catch (const std::exception& e) {
      // A file that fails to read leaves its part of the record at 0, and the report says so.
      TStatus failed = MakeStatus(TCode::kReaderFailed, {e.what()});
      failed.File = path;
      report.failed_files.push_back(std::move(failed));
    }
    for (int64_t p : target.channel_positions) target.position = std::max(target.position, p);
    host.SetProgress(ProgressPercent(info, record), 100);
    host.ProcessEvents();
    if (host.StopRequested()) {
      report.stopped = true;
      break;
    }
  }

  const int64_t count = std::clamp<int64_t>(target.position, 0, length);
  for (std::vector<int32_t>& channel : data) {
    channel.resize(static_cast<size_t>(count));
    // Give memory back when the headers promised far more than the files held.
    if (channel.capacity() / 2 > channel.size()) channel.shrink_to_fit();
  }
  record.SampleCount = static_cast<int32_t>(count);
  report.unread.assign(static_cast<size_t>(channels), {});
  for (size_t c = 0; c < report.unread.size(); ++c) {
    report.unread[c] = ComplementOf(target.written[c], 0, count - 1);
  }

  if (settings.demean) {
    host.SetStatus(MakeStatus(TCode::kRemovingOffset, {record.Station}), channels);
    RemoveMeans(data, report.unread, &host);
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
      Subtract(samples.data(), n, RoundedMean(range.sum, n), range);
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
      const int64_t mean = RoundedMean(range.sum, count);
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
  if (!turn.Active() || static_cast<size_t>(std::max(turn.e, turn.n)) >= samples.size()) return;
  std::vector<int32_t>& h = samples[static_cast<size_t>(turn.e)];
  const std::vector<int32_t>& n = samples[static_cast<size_t>(turn.n)];
  const size_t count = std::min(h.size(), n.size());
  for (size_t i = 0; i < count; ++i) {
    const double v = turn.cos_a * n[i] + turn.sin_a * h[i];
    h[i] = static_cast<int32_t>(std::lround(std::clamp(v, -2147483648.0, 2147483647.0)));
  }
}

void TurnUnread(const HorizontalTurn& turn, TChannelRanges& unread) {
  if (!turn.Active() || static_cast<size_t>(std::max(turn.e, turn.n)) >= unread.size()) return;
  TRecordRanges& gaps = unread[static_cast<size_t>(turn.e)];
  const TRecordRanges& other = unread[static_cast<size_t>(turn.n)];
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
  if (settings.clear_stop) host.ClearStop();
  LoadReport local;
  LoadReport& rep = report != nullptr ? *report : local;
  rep = LoadReport();
  bool ok = false;
  HeaderCache own;
  HeaderCache& headers = settings.headers != nullptr ? *settings.headers : own;
  try {
    ok = LoadInto(record, data, host, settings, headers, rep);
  } catch (const std::exception&) {
    ok = false;  // the matrix could not be allocated; whatever was built is already released
    rep.status = MakeStatus(TCode::kRecordTooLarge, {record.File, std::to_string(rep.allocated)});
    rep.status.File = record.File;
  }
  if (!ok) {
    data = TData32();
    record.SampleCount = 0;
  } else if (settings.turn.Active()) {
    TurnHorizontals(settings.turn, data);
    TurnUnread(settings.turn, rep.unread);
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
  if (plan.length <= 0) return true;
  try {
    TRecList list;
    format.build_segments(path, list, plan.first.Station);
    if (keys.empty()) keys = SegmentKeys(list, plan.first, plan.channels);
    SegmentPieces(list, keys, record_start, plan.channels, plan.length, pieces);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

// The pieces of one file and whether it read to its end.
struct Decoded {
  bool ok = false;
  std::vector<FilePiece> pieces;
};

struct RecordBlocks::State {
  TFileRecord record;
  UiHost* host = nullptr;
  LoadSettings settings;
  HeaderCache own_headers;
  LoadPlan plan;
  const FormatInfo* format = nullptr;
  std::vector<SegmentKey> keys;
  int64_t max_block = kMaxBlock;
  bool streaming = false;

  int64_t count = 0;
  TChannelRanges unread;
  // unread as the caller sees it: with the horizontals turned, if they are.
  TChannelRanges shown_unread;
  std::vector<int64_t> means;
  // next_start[k][c]: the first index of channel c that file k or a later one writes.
  std::vector<std::vector<int64_t>> next_start;
  size_t files_scanned = 0;
  // The pieces of the first files as the first pass read them, kept while they fit in
  // kept_limit bytes, so that the second pass need not decode those files again (a record of
  // one day is decoded once).
  int64_t kept_limit = kKeptBytes;
  std::vector<std::vector<FilePiece>> kept;
  size_t kept_bytes = 0;
  bool keeping = true;
  // The file decoded ahead of the second pass.
  std::future<std::vector<FilePiece>> ahead;
  size_t ahead_file = 0;

  // The second pass: the files read so far have written pending (row c holds channel c from
  // index pending_base on, zeros past its end); [emitted, ready) is final and not yet handed
  // out.
  size_t next_file = 0;
  TData32 pending;
  int64_t pending_base = 0;
  int64_t emitted = 0;
  int64_t ready = 0;

  // A record loaded whole.
  TData32 whole;

  // The first pass: where every file writes, the recorded spans and their sums. False when the
  // files overlap in time (a later file would replace samples already handed out) or a piece
  // is inconsistent.
  bool Scan(LoadReport& report) {
    const int channels = plan.channels;
    const int64_t length = plan.length;
    const RecordFiles& files = plan.files;
    TChannelRanges written(static_cast<size_t>(channels));
    std::vector<SumRange> sums(static_cast<size_t>(channels));
    std::vector<int64_t> chan_end(static_cast<size_t>(channels), 0);
    constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
    next_start.assign(files.paths.size() + 1,
                      std::vector<int64_t>(static_cast<size_t>(channels), kNone));
    int64_t position = 0;
    std::vector<FilePiece> pieces;
    HeaderCache& headers = settings.headers != nullptr ? *settings.headers : own_headers;
    // The files are decoded on as many threads as the machine has cores (up to four), each
    // with the keys of the first file, and taken in order: this pass only decodes and sums, and
    // would otherwise leave every core but one idle.
    const size_t workers = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::deque<std::future<Decoded>> in_flight;
    size_t launched = 0;
    bool launching = true;
    for (size_t k = 0; k < files.paths.size(); ++k) {
      const std::string& path = files.paths[k];
      while (launching && !keys.empty() && launched < files.paths.size() &&
             launched < k + workers) {
        // A file whose format changed is met in its turn below.
        if (headers.Recognize(files.paths[launched]) != files.tag) {
          launching = false;
          break;
        }
        in_flight.push_back(
            std::async(std::launch::async, [this, file = launched, copy = keys]() mutable {
              Decoded d;
              d.ok = ReadFilePieces(plan.files.paths[file], *format, plan, copy, record.Start,
                                    d.pieces);
              return d;
            }));
        ++launched;
      }
      bool ok = false;
      if (launched > k) {
        Decoded d = in_flight.front().get();
        in_flight.pop_front();
        ok = d.ok;
        pieces = std::move(d.pieces);
      } else {
        if (headers.Recognize(path) != files.tag) return false;
        // Without keys yet (the first file's segment list failed), this file gives them.
        ok = ReadFilePieces(path, *format, plan, keys, record.Start, pieces);
        launched = k + 1;
      }
      if (ok) ++report.files_read;
      for (const FilePiece& piece : pieces) {
        const auto c = static_cast<size_t>(piece.channel);
        const auto n = static_cast<int64_t>(piece.data.size());
        const int64_t s = std::max<int64_t>(piece.offset, 0);
        const int64_t e = std::min(piece.offset + n, length);
        if (s < e) {
          if (s < chan_end[c]) return false;
          chan_end[c] = e;
          next_start[k][c] = std::min(next_start[k][c], s);
        }
        for (const auto& [a, b] : piece.covered) {
          if (a < 0 || b < a || b >= n) return false;
          const int64_t from = std::max<int64_t>(piece.offset + a, 0);
          const int64_t to = std::min<int64_t>(piece.offset + b + 1, length);
          if (from >= to) continue;
          AddRange(written[c], from, to - 1);
          AddToSum(piece.data.data() + (from - piece.offset), to - from, sums[c]);
        }
        position = std::max(position, std::min(piece.offset + n, length));
      }
      size_t bytes = 0;
      for (const FilePiece& piece : pieces) bytes += piece.data.size() * sizeof(int32_t);
      keeping = keeping && static_cast<int64_t>(kept_bytes + bytes) <= kept_limit;
      if (keeping) {
        kept.push_back(std::move(pieces));
        kept_bytes += bytes;
      }
      files_scanned = k + 1;
      host->SetProgress(ProgressPercent(files.headers[k], record), 100);
      host->ProcessEvents();
      if (host->StopRequested()) {
        report.stopped = true;
        break;
      }
    }
    for (size_t k = files.paths.size(); k-- > 0;) {
      for (size_t c = 0; c < static_cast<size_t>(channels); ++c) {
        next_start[k][c] = std::min(next_start[k][c], next_start[k + 1][c]);
      }
    }
    count = std::clamp<int64_t>(position, 0, length);
    unread.assign(static_cast<size_t>(channels), {});
    means.assign(static_cast<size_t>(channels), 0);
    for (size_t c = 0; c < unread.size(); ++c) {
      unread[c] = ComplementOf(written[c], 0, count - 1);
      const int64_t real = RangeSamples(ComplementOf(unread[c], 0, count - 1));
      if (real > 0) means[c] = RoundedMean(sums[c].sum, real);
    }
    pending.assign(static_cast<size_t>(channels), {});
    return true;
  }

  // Reads the next file of the second pass into pending.
  // The pieces of file k, decoded again.
  std::vector<FilePiece> Decode(size_t k, std::vector<SegmentKey> file_keys) const {
    std::vector<FilePiece> pieces;
    ReadFilePieces(plan.files.paths[k], *format, plan, file_keys, record.Start, pieces);
    return pieces;
  }

  // Reads the next file of the second pass into pending. The file after it is decoded on a
  // thread of its own meanwhile, while the caller works on what this one gave.
  void ReadNextFile() {
    std::vector<FilePiece> pieces;
    if (next_file < kept.size()) {
      pieces = std::move(kept[next_file]);
    } else if (ahead.valid() && ahead_file == next_file) {
      pieces = ahead.get();
    } else {
      pieces = Decode(next_file, keys);
    }
    const size_t following = next_file + 1;
    if (following < files_scanned && following >= kept.size()) {
      ahead_file = following;
      ahead = std::async(std::launch::async,
                         [this, following, copy = keys] { return Decode(following, copy); });
    }
    for (FilePiece& piece : pieces) {
      std::vector<int32_t>& row = pending[static_cast<size_t>(piece.channel)];
      const auto n = static_cast<int64_t>(piece.data.size());
      // The first pass made sure that nothing before pending_base is written again.
      const int64_t s = std::max({piece.offset, pending_base, int64_t{0}});
      const int64_t e = std::min(piece.offset + n, count);
      if (s >= e) continue;
      if (row.empty() && s == pending_base && piece.offset == s && e == s + n) {
        row = std::move(piece.data);  // the piece is the row: no copy
        continue;
      }
      if (static_cast<int64_t>(row.size()) < e - pending_base) {
        row.resize(static_cast<size_t>(e - pending_base), 0);
      }
      std::copy(piece.data.begin() + (s - piece.offset), piece.data.begin() + (e - piece.offset),
                row.begin() + (s - pending_base));
    }
    ++next_file;
    int64_t final_end = count;
    if (next_file < files_scanned) {
      for (int64_t s : next_start[next_file]) final_end = std::min(final_end, s);
    }
    ready = std::max(ready, final_end);
  }

  // Hands out [emitted, emitted + n) of pending, the means removed.
  void Emit(int64_t n, RecordBlock& block) {
    block.first = emitted;
    block.samples.resize(pending.size());
    for (size_t c = 0; c < pending.size(); ++c) {
      std::vector<int32_t>& row = pending[c];
      std::vector<int32_t>& out = block.samples[c];
      out.assign(static_cast<size_t>(n), 0);
      const int64_t from = emitted - pending_base;
      const int64_t have = std::clamp<int64_t>(static_cast<int64_t>(row.size()) - from, 0, n);
      if (have > 0) std::copy_n(row.begin() + from, have, out.begin());
      if (settings.demean) {
        const int64_t mean = means[c];
        if (mean != 0) {
          for (int32_t& x : out) x = ClampToInt32(int64_t{x} - mean);
        }
        for (const auto& [a, b] : ClipRanges(unread[c], emitted, emitted + n - 1)) {
          std::fill(out.begin() + (a - emitted), out.begin() + (b - emitted + 1), 0);
        }
      }
    }
    TurnHorizontals(settings.turn, block.samples);
    emitted += n;
    // Drop what was handed out once it is half of what pending holds.
    const int64_t used = emitted - pending_base;
    size_t longest = 0;
    for (const std::vector<int32_t>& row : pending) longest = std::max(longest, row.size());
    if (2 * used < static_cast<int64_t>(longest)) return;
    for (std::vector<int32_t>& row : pending) {
      row.erase(row.begin(),
                row.begin() + std::min<int64_t>(used, static_cast<int64_t>(row.size())));
    }
    pending_base = emitted;
  }
};

RecordBlocks::RecordBlocks() : state_(std::make_unique<State>()) {}
RecordBlocks::~RecordBlocks() = default;

bool RecordBlocks::Open(TFileRecord& record, UiHost& host, const LoadSettings& settings,
                        LoadReport* report, int64_t max_block, int64_t kept_bytes) {
  state_ = std::make_unique<State>();
  State& st = *state_;
  st.max_block = std::max<int64_t>(max_block, 1);
  st.kept_limit = kept_bytes;
  st.host = &host;
  st.settings = settings;
  LoadReport local;
  LoadReport& rep = report != nullptr ? *report : local;
  rep = LoadReport();
  if (settings.clear_stop) host.ClearStop();
  HeaderCache& headers = settings.headers != nullptr ? *settings.headers : st.own_headers;
  bool planned = false;
  try {
    planned = PlanLoad(record, host, settings, headers, rep, st.plan);
  } catch (const std::exception&) {
    planned = false;
    rep.status = MakeStatus(TCode::kRecordTooLarge, {record.File, std::to_string(rep.allocated)});
    rep.status.File = record.File;
  }
  if (!planned) {
    record.SampleCount = 0;
    return false;
  }
  st.format = FindFormat(st.plan.files.tag);
  const bool by_segments = st.format != nullptr && st.format->build_segments != nullptr &&
                           st.format->read_into == nullptr && st.plan.siblings.empty();
  if (by_segments) {
    st.record = record;
    host.SetStatus(MakeStatus(TCode::kLoadingData, {record.Station}), 100);
    TRecList first_list;
    try {
      st.format->build_segments(record.File, first_list, st.plan.first.Station);
    } catch (const std::exception&) {
      first_list.Clear();
    }
    st.keys = SegmentKeys(first_list, st.plan.first, st.plan.channels);
    LoadReport scanned = rep;
    try {
      st.streaming = st.Scan(scanned);
    } catch (const std::exception&) {
      st.streaming = false;
    }
    if (st.streaming) {
      rep = scanned;
      st.shown_unread = st.unread;
      TurnUnread(settings.turn, st.shown_unread);
      rep.unread = st.shown_unread;
      record.SampleCount = static_cast<int32_t>(st.count);
      return true;
    }
  }
  // Loaded whole.
  st.streaming = false;
  if (!LoadRecord(record, st.whole, host, settings, &rep)) return false;
  st.count = st.whole.empty() ? 0 : static_cast<int64_t>(st.whole.front().size());
  st.unread = rep.unread;
  st.shown_unread = rep.unread;
  return true;
}

bool RecordBlocks::Next(RecordBlock& block) {
  State& st = *state_;
  if (!st.streaming) {
    if (st.emitted >= st.count) return false;
    const int64_t n = std::min(st.max_block, st.count - st.emitted);
    block.first = st.emitted;
    block.samples.resize(st.whole.size());
    for (size_t c = 0; c < st.whole.size(); ++c) {
      const auto from = st.whole[c].begin() + st.emitted;
      block.samples[c].assign(from, from + n);
    }
    st.emitted += n;
    return true;
  }
  for (;;) {
    if (st.emitted < st.ready) {
      st.Emit(std::min(st.max_block, st.ready - st.emitted), block);
      return true;
    }
    if (st.next_file < st.files_scanned) {
      st.ReadNextFile();
      continue;
    }
    if (st.ready < st.count) {
      st.ready = st.count;
      continue;
    }
    return false;
  }
}

TData32 RecordBlocks::ReadAll() {
  State& st = *state_;
  if (!st.streaming && st.emitted == 0) {
    st.emitted = st.count;
    return std::move(st.whole);
  }
  TData32 out(static_cast<size_t>(Channels()));
  RecordBlock block;
  while (Next(block)) {
    for (size_t c = 0; c < out.size() && c < block.samples.size(); ++c) {
      out[c].insert(out[c].end(), block.samples[c].begin(), block.samples[c].end());
    }
  }
  return out;
}

int RecordBlocks::Channels() const {
  return state_->streaming ? state_->plan.channels : static_cast<int>(state_->whole.size());
}

int64_t RecordBlocks::Count() const {
  return state_->count;
}

const TChannelRanges& RecordBlocks::Unread() const {
  return state_->shown_unread;
}

bool RecordBlocks::Streaming() const {
  return state_->streaming;
}

}  // namespace tarvik

#include "records/load_record.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
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

// Places the samples of one packet or index file by time: channel c's samples over the file's
// span go to index round((start - record start) * rate).
void ReadSegmentFile(const TRecList& list, const std::vector<SegmentKey>& keys,
                     TDateTime record_start, LoadTarget& target) {
  if (list.empty()) return;
  TData32& data = *target.data;
  const int64_t length = target.Length();
  const auto [lo, hi] = list.Span();
  for (size_t c = 0; c < keys.size() && c < data.size(); ++c) {
    const double rate = ChannelRate(list, keys[c]);
    if (!(rate > 0.0)) continue;
    // Ask only for the time the matrix has room for, so that a damaged time stamp or count
    // never makes GetData allocate more than the matrix holds.
    const TDateTime from = std::max(lo, record_start);
    const TDateTime to =
        std::min(hi, record_start + SpanOfSamples(static_cast<double>(length), rate));
    if (!(to > from)) continue;
    TRecordRanges covered;
    const TRecordDescription got =
        list.GetData(keys[c].station, keys[c].location, to, from, keys[c].channel, &covered);
    if (!(got.SampRate > 0.0) || got.Data.empty()) continue;
    const int64_t offset =
        RoundToInt64((got.StartTime - record_start) * kSecondsPerDay * got.SampRate);
    WriteClipped(data, static_cast<int>(c), offset, got.Data);
    // The span a file covers replaces what an earlier file left there, gaps included.
    target.MarkUnwritten(static_cast<int>(c), offset, static_cast<int64_t>(got.Data.size()));
    for (const auto& [a, b] : covered) {
      target.MarkWritten(static_cast<int>(c), offset + a, int64_t{b} - a + 1);
    }
    const int64_t end = offset + static_cast<int64_t>(got.Data.size());
    target.position = std::max(target.position, std::min(end, length));
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

bool LoadInto(TFileRecord& record, TData32& out, UiHost& host, const LoadSettings& settings,
              HeaderCache& headers, LoadReport& report) {
  // A record of one file per channel reads its channels from their own files.
  std::vector<std::string> siblings;
  if (const FormatTag tag = headers.Recognize(record.File); tag != 0) {
    const FormatInfo* format = FindFormat(tag);
    if (format != nullptr && format->build_segments != nullptr) {
      const std::shared_ptr<const FileHeaders> read =
          headers.Headers(record.File, tag, settings.default_rate);
      siblings =
          SiblingChannels(record, HeaderOfStation(*read, record.Station, RecordLocation(record)));
    }
  }
  const RecordFiles files =
      FindRecordFiles(record.File, settings.default_rate, record.Start, record.Finish, host,
                      &headers, record.Station, RecordLocation(record), siblings);
  report.tag = files.tag;
  report.first = files.first;
  report.files_found = static_cast<int>(files.paths.size());
  if (files.tag == 0 || files.paths.empty()) return false;
  TFileRecordInfo first = files.first;
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
  const int64_t length =
      std::clamp<int64_t>(std::min(claim, capacity), 0, std::numeric_limits<int32_t>::max());
  const int channels = std::clamp(first.ChannelCount, 0, kMaxChannels);
  report.allocated = length;

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

  host.SetStatus(record.Station + ": Загрузка данных", 100);
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
    } catch (const std::exception&) {
      // A file that fails to read leaves its part of the record at 0.
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
    host.SetStatus(record.Station + ": Удаление постоянного фона", channels);
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
  }
  if (!ok) {
    data = TData32();
    record.SampleCount = 0;
  }
  return ok;
}

}  // namespace tarvik

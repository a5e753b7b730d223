#include "records/miniseed.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/bytes.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "records/read_samples.h"

namespace tarvik {

namespace {

// Field offsets of the fixed header.
constexpr size_t kStation = 8;
constexpr size_t kLocation = 13;
constexpr size_t kChannel = 15;
constexpr size_t kNetwork = 18;
constexpr size_t kYear = 20;
constexpr size_t kDayOfYear = 22;
constexpr size_t kHour = 24;
constexpr size_t kMinute = 25;
constexpr size_t kSecond = 26;
constexpr size_t kTenThousandths = 28;
constexpr size_t kSampleCount = 30;
constexpr size_t kRateFactor = 32;
constexpr size_t kRateMultiplier = 34;
constexpr size_t kActivityFlags = 36;
constexpr size_t kTimeCorrection = 40;
constexpr size_t kDataOffset = 44;
constexpr size_t kFirstBlockette = 46;

// Activity flag: the time correction has already been applied to the start time.
constexpr uint8_t kTimeCorrectionApplied = 0x02;

// A header text: the bytes up to the first zero byte, trailing blanks kept.
std::string HeaderText(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

// The numbers of a record's fixed header and blockettes in the byte order the header was
// written in. miniSEED 2 leaves that order to the writer; the year and the day of year tell it.
struct HeaderOrder {
  bool Little = false;
  uint16_t U16(const uint8_t* p) const { return Little ? LoadU16LE(p) : LoadU16BE(p); }
  int16_t I16(const uint8_t* p) const { return Little ? LoadI16LE(p) : LoadI16BE(p); }
  int32_t I32(const uint8_t* p) const { return Little ? LoadI32LE(p) : LoadI32BE(p); }
  float F32(const uint8_t* p) const { return Little ? LoadF32LE(p) : LoadF32BE(p); }
};

bool ValidYearDay(int year, int day) {
  return year >= 1900 && year <= 2100 && day >= 1 && day <= 366;
}

// Big-endian unless only the little-endian reading of the year and day makes sense.
HeaderOrder OrderOf(const uint8_t* h) {
  HeaderOrder order;
  order.Little = !ValidYearDay(LoadU16BE(h + kYear), LoadU16BE(h + kDayOfYear)) &&
                 ValidYearDay(LoadU16LE(h + kYear), LoadU16LE(h + kDayOfYear));
  return order;
}

bool PlausibleTime(int year, int day, int hour, int minute, int second, int fraction) {
  return year >= 1900 && year <= 2100 && day >= 1 && day <= 366 && hour <= 23 && minute <= 59 &&
         second <= 60 && fraction <= 9999;
}

// Why the first 48 bytes are not a data record's fixed header; empty when they are. A sequence
// number of six digits (blanks or zero bytes where a writer left it out), a quality indicator
// of D, R, Q or M, a blank or zero reserved byte, and a time whose fields are in range.
TStatus FixedHeaderProblem(const uint8_t* h) {
  for (int i = 0; i < 6; ++i) {
    const uint8_t c = h[i];
    if (!((c >= '0' && c <= '9') || c == ' ' || c == 0)) {
      return Refusal(TCode::kRefuseSequenceNotDigits);
    }
  }
  if (h[6] != 'D' && h[6] != 'R' && h[6] != 'Q' && h[6] != 'M') {
    return Refusal(TCode::kRefuseQualityIndicator);
  }
  if (h[7] != ' ' && h[7] != 0) return Refusal(TCode::kRefuseQualityNotBlank);
  const HeaderOrder order = OrderOf(h);
  if (!PlausibleTime(order.U16(h + kYear), order.U16(h + kDayOfYear), h[kHour], h[kMinute],
                     h[kSecond], order.U16(h + kTenThousandths))) {
    return Refusal(TCode::kRefuseStartNotTime);
  }
  return {};
}

MiniSeedStatus ReadRecordInto(BinaryFile& file, int64_t offset, std::vector<uint8_t>& buffer,
                              TMiniSEEDPacket& packet, int64_t& next, bool with_data) {
  const int64_t available = std::max<int64_t>(0, file.Size() - offset);
  const auto want = static_cast<size_t>(std::min<int64_t>(available, kMiniSeedDefaultRecordLength));
  buffer.resize(want);
  const size_t got = file.ReadAt(offset, buffer.data(), want);
  buffer.resize(got);
  const MiniSeedStatus status = ParseMiniSeedRecord(buffer, available, packet, with_data);
  const bool length_known = status == MiniSeedStatus::kOk || status == MiniSeedStatus::kTruncated;
  next = offset + (length_known ? packet.RecordLength : kMiniSeedDefaultRecordLength);
  return status;
}

// Sample counts of a header whose span may be stretched by one damaged time stamp: the span
// may exceed the samples held by at most one day of gaps, so that the matrix sized from it
// stays bounded by the file.
int32_t BoundedSpanSamples(TDateTime start, TDateTime end, double rate, int64_t held) {
  const int64_t span = RoundToInt64((end - start) * kSecondsPerDay * rate);
  const int64_t bound = held + RoundToInt64(kSecondsPerDay * rate);
  return ClampToInt32(std::clamp<int64_t>(span, 0, bound));
}

bool UsableRecord(const TMiniSEEDPacket& p) {
  return p.SampRate > 0.0 && std::isfinite(p.SampRate) && !Trim(p.Station).empty();
}

}  // namespace

int32_t MiniSeedSampleType(int encoding, int word_order) {
  const bool little = word_order == 0;
  switch (encoding) {
    case 0:
      return kSampleUnknown;  // ASCII text of log records: no samples
    case 1:
      return little ? kSampleI2 : kSampleS2;
    case 2:
      return kSampleS3;
    case 3:
      return little ? kSampleI4 : kSampleS4;
    case 4:
      return little ? kSampleF4 : kSampleT4;
    case 5:
      return little ? kSampleF8 : kSampleT8;
    case 10:
      return kSampleSteim1a;
    case 11:
      return kSampleSteim2a;
    default:
      return kSampleUnknown;
  }
}

double MiniSeedRate(int factor, int multiplier) {
  const double f = factor;
  const double m = multiplier;
  if (factor > 0 && multiplier > 0) return f * m;
  if (factor > 0 && multiplier < 0) return -f / m;
  if (factor < 0 && multiplier > 0) return -m / f;
  if (factor < 0 && multiplier < 0) return 1.0 / (f * m);
  return 0.0;
}

namespace {

// The first bytes of a record as far as they were read: bytes holds the first bytes.size() of
// the full head a reader of the whole record head would see (full = min(available, 4096)).
// Every decision is taken on the full head's length; a byte wanted beyond what was read marks
// the view short, and the caller reads the full head and parses again. The highest byte any
// decision needed is kept, so that the caller knows how much to read of the next record.
struct HeadView {
  std::span<const uint8_t> Bytes;
  size_t Full = 0;
  bool ShortRead = false;
  size_t Needed = 0;

  // True when [0, end) was read; marks the view short otherwise.
  bool Has(size_t end) {
    Needed = std::max(Needed, end);
    if (end <= Bytes.size()) return true;
    ShortRead = true;
    return false;
  }
};

MiniSeedStatus ParseHead(HeadView& view, int64_t available, TMiniSEEDPacket& packet,
                         bool with_data) {
  packet = TMiniSEEDPacket{};
  if (view.Full < kMiniSeedFixedHeader) {
    return available < kMiniSeedFixedHeader ? MiniSeedStatus::kTruncated : MiniSeedStatus::kDamaged;
  }
  if (!view.Has(kMiniSeedFixedHeader)) return MiniSeedStatus::kDamaged;
  const uint8_t* h = view.Bytes.data();
  if (!FixedHeaderProblem(h).Ok()) return MiniSeedStatus::kDamaged;
  const HeaderOrder order = OrderOf(h);
  packet.Station = HeaderText(h + kStation, 5);
  packet.Location = HeaderText(h + kLocation, 2);
  packet.Channel = HeaderText(h + kChannel, 3);
  packet.Network = HeaderText(h + kNetwork, 2);
  const int year = order.U16(h + kYear);
  const int day = order.U16(h + kDayOfYear);
  const int hour = h[kHour];
  const int minute = h[kMinute];
  const int second = h[kSecond];
  const int fraction = order.U16(h + kTenThousandths);
  packet.SampleCount = order.U16(h + kSampleCount);
  const int factor = order.I16(h + kRateFactor);
  const int multiplier = order.I16(h + kRateMultiplier);
  const uint8_t flags = h[kActivityFlags];
  const int32_t correction = order.I32(h + kTimeCorrection);
  packet.DataOffset = order.U16(h + kDataOffset);
  packet.FirstBlockette = order.U16(h + kFirstBlockette);

  // Blockettes: each begins with its type and the offset of the next (0 = last), both from the
  // record's start. Offsets must grow, so a chain that points back cannot loop.
  float b100_rate = 0.0f;
  bool found_1000 = false;
  bool bad_length = false;
  int microseconds = 0;
  size_t pos = packet.FirstBlockette;
  size_t previous = 0;
  while (pos != 0) {
    const size_t limit = std::min(view.Full, static_cast<size_t>(packet.RecordLength));
    if (pos < kMiniSeedFixedHeader || pos <= previous || pos + 4 > limit) break;
    if (!view.Has(pos + 4)) return MiniSeedStatus::kDamaged;
    const uint16_t type = order.U16(h + pos);
    const uint16_t following = order.U16(h + pos + 2);
    const bool body = pos + 8 <= limit;  // the 4 bytes each used blockette needs after its head
    const bool used = type == 100 || type == 1000 || type == 1001;
    if (used && body && !view.Has(pos + 8)) return MiniSeedStatus::kDamaged;
    if (type == 100 && body) {
      b100_rate = order.F32(h + pos + 4);
    } else if (type == 1000 && body) {
      found_1000 = true;
      packet.Encoding = h[pos + 4];
      packet.WordOrder = h[pos + 5];
      const int exponent = h[pos + 6];
      if (exponent < kMiniSeedMinExponent || exponent > kMiniSeedMaxExponent) {
        bad_length = true;
      } else {
        packet.RecordLength = 1 << exponent;
      }
    } else if (type == 1001 && body) {
      packet.TimingQuality = h[pos + 4];
      microseconds = static_cast<int8_t>(h[pos + 5]);
    }
    previous = pos;
    pos = following;
  }

  if (!found_1000) return MiniSeedStatus::kNoBlockette1000;
  if (bad_length || !PlausibleTime(year, day, hour, minute, second, fraction)) {
    packet.RecordLength = kMiniSeedDefaultRecordLength;
    return MiniSeedStatus::kDamaged;
  }

  double seconds = second + fraction / 10000.0 + microseconds / 1e6;
  if ((flags & kTimeCorrectionApplied) == 0) seconds += correction / 10000.0;
  packet.Start = EncodeDayOfYear(year, day, hour, minute, 0, seconds);
  packet.SampRate = (b100_rate > 0.0f && std::isfinite(b100_rate))
                        ? static_cast<double>(b100_rate)
                        : MiniSeedRate(factor, multiplier);
  packet.DataType = MiniSeedSampleType(packet.Encoding, packet.WordOrder);
  // Samples that would begin inside the fixed header or past the record are not data.
  const bool data_inside =
      packet.DataOffset >= kMiniSeedFixedHeader && packet.DataOffset <= packet.RecordLength;
  if (!data_inside && packet.SampleCount > 0) packet.DataType = kSampleUnknown;

  if (available < packet.RecordLength) return MiniSeedStatus::kTruncated;
  if (with_data && data_inside) {
    const size_t end = std::min(view.Full, static_cast<size_t>(packet.RecordLength));
    if (end > packet.DataOffset) {
      if (!view.Has(end)) return MiniSeedStatus::kDamaged;
      packet.Data.assign(h + packet.DataOffset, h + end);
    }
  }
  return MiniSeedStatus::kOk;
}

}  // namespace

MiniSeedStatus ParseMiniSeedRecord(std::span<const uint8_t> head, int64_t available,
                                   TMiniSEEDPacket& packet, bool with_data) {
  HeadView view{head, head.size()};
  return ParseHead(view, available, packet, with_data);
}

MiniSeedStatus ReadMiniSeedRecord(BinaryFile& file, int64_t offset, TMiniSEEDPacket& packet,
                                  int64_t& next, bool with_data) {
  std::vector<uint8_t> buffer;
  return ReadRecordInto(file, offset, buffer, packet, next, with_data);
}

bool ForEachMiniSeedRecord(const std::string& path,
                           const std::function<void(int64_t, const TMiniSEEDPacket&)>& visit) {
  // Only the fixed header and the blockettes of each record are read, never its data: a walk
  // over a file of 4096-byte records reads a few per cent of it. Each record is first read as
  // far as the records before it needed; one whose blockettes lie further is read again up to
  // the default record length, exactly as a reader of whole record heads would see it.
  BinaryFile file;
  if (!file.Open(path, false)) return false;
  const int64_t size = file.Size();
  constexpr size_t kProbeStep = 64;
  size_t probe = kProbeStep;
  std::vector<uint8_t> head(kMiniSeedDefaultRecordLength);
  TMiniSEEDPacket packet;
  int64_t offset = 0;
  while (offset < size) {
    const int64_t available = size - offset;
    const auto full =
        static_cast<size_t>(std::min<int64_t>(available, kMiniSeedDefaultRecordLength));
    const size_t first = std::min(full, probe);
    if (file.ReadAt(offset, head.data(), first) < first) break;  // the file cannot be read
    HeadView view{std::span<const uint8_t>(head.data(), first), full};
    MiniSeedStatus status = ParseHead(view, available, packet, false);
    if (view.ShortRead) {
      if (file.ReadAt(offset + static_cast<int64_t>(first), head.data() + first, full - first) <
          full - first) {
        break;
      }
      view = HeadView{std::span<const uint8_t>(head.data(), full), full};
      status = ParseHead(view, available, packet, false);
    }
    probe = std::clamp<size_t>((view.Needed + kProbeStep - 1) / kProbeStep * kProbeStep, kProbeStep,
                               kMiniSeedDefaultRecordLength);
    if (status == MiniSeedStatus::kOk) visit(offset, packet);
    const bool length_known = status == MiniSeedStatus::kOk || status == MiniSeedStatus::kTruncated;
    // Always beyond offset: at least 128 bytes on.
    offset += length_known ? packet.RecordLength : kMiniSeedDefaultRecordLength;
  }
  return true;
}

namespace {

// The records of one station and location, as the header reader gathers them.
struct StationGroup {
  std::string Station;
  std::string Location;  // as the segments file it: "00" when the header has none
  TFileRecordInfo Info;
  TDateTime LatestEnd = 0.0;
  int64_t Held = 0;
};

std::string SegmentLocation(const TMiniSEEDPacket& p) {
  std::string location = Trim(p.Location);
  return location.empty() ? "00" : location;
}

}  // namespace

bool ReadMiniSeedHeaders(const std::string& path, std::vector<TFileRecordInfo>& headers,
                         TStatus* why) {
  headers.clear();
  {
    // The first record tells whether the file is miniSEED at all; a damaged record further on
    // is left out.
    BinaryFile file;
    if (!file.Open(path, false)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
    uint8_t head[kMiniSeedFixedHeader];
    if (file.ReadAt(0, head, sizeof head) < sizeof head) {
      return RefuseFile(why, Refusal(TCode::kRefuseShorterThanRecordHeader,
                                     {std::to_string(kMiniSeedFixedHeader)}));
    }
    const TStatus problem = FixedHeaderProblem(head);
    if (!problem.Ok()) return RefuseFile(why, RefusalIn(TCode::kRefuseInRecord, 1, 0, problem));
  }
  if (!GroupMiniSeedRecords(
          [&path](const MiniSeedVisitor& visit) { ForEachMiniSeedRecord(path, visit); }, headers)) {
    return RefuseFile(why, Refusal(TCode::kRefuseNoBlockette1000));
  }
  return true;
}

bool GroupMiniSeedRecords(const MiniSeedWalk& walk, std::vector<TFileRecordInfo>& headers) {
  headers.clear();
  std::optional<TFileRecordInfo> first_record;
  std::vector<StationGroup> groups;
  size_t last = 0;
  walk([&](int64_t, const TMiniSEEDPacket& p) {
    if (!first_record) {
      // Kept only when no record has a rate: then the file gives a station and a start but
      // no samples.
      TFileRecordInfo& info = first_record.emplace();
      info.Station = Trim(p.Station);
      info.Start = p.Start;
      info.BlockSamples = p.RecordLength;
      info.ChannelCount = 1;
      info.ChannelNames[0] = ShortName(Trim(p.Channel));
      info.ChannelCoefs.fill(1e9);
    }
    // Records that the segment list drops (log records without a rate, no station) take no
    // part either: a rate of 0 would give them no end in time.
    if (!UsableRecord(p)) return;
    const std::string station = Trim(p.Station);
    const std::string location = SegmentLocation(p);
    if (last >= groups.size() || groups[last].Station != station ||
        groups[last].Location != location) {
      last =
          static_cast<size_t>(std::find_if(groups.begin(), groups.end(),
                                           [&](const StationGroup& g) {
                                             return g.Station == station && g.Location == location;
                                           }) -
                              groups.begin());
      if (last == groups.size()) {
        StationGroup& g = groups.emplace_back();
        g.Station = station;
        g.Location = location;
        g.Info.Station = station;
        g.Info.SampRate = p.SampRate;
        g.Info.Start = p.Start;
        g.Info.BlockSamples = p.RecordLength;
        g.Info.ChannelCoefs.fill(1e9);
        g.LatestEnd = p.Start;
      }
    }
    StationGroup& g = groups[last];
    TFileRecordInfo& info = g.Info;
    info.Start = std::min(info.Start, p.Start);
    const std::string name = ShortName(Trim(p.Channel));
    const auto names_end = info.ChannelNames.begin() + info.ChannelCount;
    if (std::find(info.ChannelNames.begin(), names_end, name) == names_end &&
        info.ChannelCount < kMaxChannels) {
      info.ChannelNames[static_cast<size_t>(info.ChannelCount++)] = name;
    }
    g.LatestEnd = std::max(g.LatestEnd, p.Start + SpanOfSamples(p.SampleCount, p.SampRate));
    g.Held += p.SampleCount;
    ++info.BlockCount;
  });
  if (!first_record) return false;
  if (groups.empty()) {
    headers.push_back(std::move(*first_record));
    return true;
  }
  for (StationGroup& g : groups) {
    TFileRecordInfo& info = g.Info;
    info.SampleCount = BoundedSpanSamples(info.Start, g.LatestEnd, info.SampRate, g.Held);
    // A station recorded under several locations forms a record per location; the channel
    // names then say which location they belong to.
    const bool located = std::count_if(groups.begin(), groups.end(), [&](const StationGroup& o) {
                           return o.Station == g.Station;
                         }) > 1;
    if (located) {
      info.Location = g.Location;
      for (int c = 0; c < info.ChannelCount; ++c) {
        std::string& name = info.ChannelNames[static_cast<size_t>(c)];
        name = LocatedChannelName(g.Location, name);
      }
    }
    headers.push_back(std::move(info));
  }
  return true;
}

bool ReadMiniSeedHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                        TStatus* why) {
  std::vector<TFileRecordInfo> headers;
  const bool read = ReadMiniSeedHeaders(path, headers, why);
  info = headers.empty() ? TFileRecordInfo{} : std::move(headers.front());
  return read;
}

void BuildMiniSeedSegments(const std::string& path, TRecList& list,
                           const std::string& /*station*/) {
  ForEachMiniSeedRecord(path, [&](int64_t offset, const TMiniSEEDPacket& p) {
    if (!UsableRecord(p)) return;
    if (offset + p.RecordLength > INT32_MAX) return;  // beyond what a segment can address
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = Trim(p.Station);
    seg.Location = Trim(p.Location);
    if (seg.Location.empty()) seg.Location = "00";
    seg.Channel = Trim(p.Channel);
    seg.StartTime = p.Start;
    seg.SampRate = p.SampRate;
    seg.Calib = 1.0;
    seg.DataType = p.DataType;
    seg.Count = p.SampleCount;
    seg.Offset = static_cast<int32_t>(offset + p.DataOffset);
    // The data runs to the record's end, wherever it begins.
    seg.BlockSize = std::max(0, p.RecordLength - static_cast<int32_t>(p.DataOffset));
    seg.TimingQuality = p.TimingQuality;
    list.Add(std::move(seg));
  });
}

}  // namespace tarvik

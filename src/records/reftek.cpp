#include "records/reftek.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "records/steim.h"

namespace tarvik {

namespace {

// Data packet fields.
constexpr size_t kChannelByte = 19;
constexpr size_t kCountBytes = 20;
constexpr size_t kFormatByte = 23;
constexpr int kMax16BitSamples = 500;
constexpr int kMax32BitSamples = 250;

// Event header fields (ASCII).
constexpr size_t kStationExtension = 59;
constexpr size_t kStationName = 60;
constexpr size_t kStreamName = 64;
constexpr size_t kRateText = 88;
constexpr size_t kFirstSampleText = 112;
constexpr size_t kGainTexts = 288;
constexpr size_t kGainWidth = 8;

std::string_view Text(std::span<const uint8_t> packet, size_t at, size_t n) {
  return std::string_view(reinterpret_cast<const char*>(packet.data()) + at, n);
}

bool IsCompressed(uint8_t format) {
  return format >= 0xC0 && format <= 0xC3;
}

// A number at the start of text (after blanks); nullopt when there is none.
std::optional<double> LeadingNumber(std::string_view text, size_t* consumed = nullptr) {
  const std::string s = Trim(text);
  if (s.empty()) return std::nullopt;
  return ParseLeadingDouble(s, consumed);
}

// Digits of a fixed-width decimal text; nullopt when one is not a digit.
std::optional<int> Digits(std::string_view text) {
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool PlausibleDayTime(int day, int hour, int minute, int second, int millis) {
  return day >= 1 && day <= 366 && hour <= 23 && minute <= 59 && second <= 60 && millis <= 999;
}

// One "DT" packet as the file walk sees it.
struct DataPacket {
  int64_t Offset = 0;
  int Channel = 0;
  int Samples = 0;
  uint8_t Format = 0;
};

// Everything one pass over a file tells.
struct FileScan {
  // Why the file is not Reftek 130; empty when it is.
  TStatus Problem;
  int Packets = 0;
  std::optional<TReftekEvent> FirstEvent;
  std::optional<TReftekEvent> LastEvent;
  // The start by the event headers: at each one, the first data packet's time when one was
  // seen before it, else its own first sample time.
  std::optional<TDateTime> EventStart;
  std::optional<TDateTime> FirstDataTime;
  std::vector<DataPacket> Data;
};

// The first packet decides whether the file is Reftek 130 at all; a packet further on whose head
// is not a packet head is a damaged packet, left out, but a file whose packets are mostly such
// is not Reftek either.
FileScan ScanFile(const std::string& path) {
  FileScan scan;
  BinaryFile file;
  if (!file.Open(path)) {
    scan.Problem = Refusal(TCode::kRefuseNotOpened);
    return scan;
  }
  if (file.Size() < kReftekPacketBytes) {
    scan.Problem = Refusal(TCode::kRefuseShorterThanPacket, {std::to_string(kReftekPacketBytes)});
    return scan;
  }
  std::vector<uint8_t> packet(kReftekPacketBytes);
  bool data_seen = false;
  int bad = 0;
  // A partial packet at the end of a file is cut off and left out.
  for (int64_t offset = 0; offset + kReftekPacketBytes <= file.Size();
       offset += kReftekPacketBytes) {
    if (!file.ReadExact(offset, packet.data(), packet.size())) break;
    ++scan.Packets;
    const TStatus problem = ReftekPacketProblem(packet);
    if (!problem.Ok()) {
      if (offset == 0) {
        scan.Problem = RefusalIn(TCode::kRefuseInPacket, 1, 0, problem);
        return scan;
      }
      ++bad;
      continue;
    }
    const std::string type = ReftekPacketType(packet);
    if (type == "EH" || type == "ET") {
      TReftekEvent event = ParseReftekEvent(packet);
      if (data_seen && scan.FirstDataTime) {
        scan.EventStart = scan.FirstDataTime;
      } else if (event.FirstSampleTime) {
        scan.EventStart = event.FirstSampleTime;
      }
      if (!scan.FirstEvent) scan.FirstEvent = event;
      scan.LastEvent = std::move(event);
    } else if (type == "DT") {
      if (!data_seen) scan.FirstDataTime = ReftekPacketTime(packet);
      data_seen = true;
      scan.Data.push_back(
          {offset, packet[kChannelByte], ReftekPacketSamples(packet), packet[kFormatByte]});
    }
  }
  if (2 * bad > scan.Packets) {
    scan.Problem = Refusal(TCode::kRefuseFewReftekPackets,
                           {std::to_string(scan.Packets - bad), std::to_string(scan.Packets)});
  }
  return scan;
}

// The event header of the nearest earlier file of the folder that begins with one: files that
// continue an event carry only data packets.
std::optional<TReftekEvent> EventFromEarlierFile(const std::string& path) {
  const std::string name = FileName(path);
  const std::vector<std::string> files = ListFolder(FolderOf(path), "?????????_*");
  std::vector<uint8_t> packet(kReftekPacketBytes);
  for (auto it = files.rbegin(); it != files.rend(); ++it) {
    if (FileName(*it) >= name) continue;
    BinaryFile file;
    if (!file.Open(*it) || !file.ReadExact(0, packet.data(), packet.size())) continue;
    if (ReftekPacketType(packet) == "EH") return ParseReftekEvent(packet);
  }
  return std::nullopt;
}

// The event that describes a file: its own, else that of an earlier file.
std::optional<TReftekEvent> EventOf(const std::string& path, const FileScan& scan, bool last) {
  if (scan.FirstEvent) return last ? scan.LastEvent : scan.FirstEvent;
  return EventFromEarlierFile(path);
}

// The file's start: by its event headers, else its first data packet's time.
TDateTime StartOf(const FileScan& scan) {
  if (scan.FirstEvent && scan.EventStart) return *scan.EventStart;
  return scan.FirstDataTime.value_or(0.0);
}

std::string ChannelSuffix(int channel) {
  return "_" + std::to_string(channel + 1);
}

}  // namespace

std::string ReftekPacketType(std::span<const uint8_t> packet) {
  if (packet.size() < 2) return {};
  return std::string(Text(packet, 0, 2));
}

TStatus ReftekPacketProblem(std::span<const uint8_t> packet) {
  static constexpr std::string_view kTypes[] = {"AD", "CD", "DS", "DT", "EH",
                                                "ET", "FD", "OM", "SC", "SH"};
  if (packet.size() < 16) return Refusal(TCode::kRefuseShorterThanPacketHead);
  const std::string type = ReftekPacketType(packet);
  if (std::find(std::begin(kTypes), std::end(kTypes), type) == std::end(kTypes)) {
    return Refusal(TCode::kRefusePacketType);
  }
  // Experiment number, year, time, byte count and sequence number are decimal digits.
  for (size_t i : {2, 3, 12, 13, 14, 15}) {
    if ((packet[i] >> 4) > 9 || (packet[i] & 0x0F) > 9) return Refusal(TCode::kRefusePacketNotBcd);
  }
  if (!ReftekPacketTime(packet)) return Refusal(TCode::kRefusePacketTime);
  return {};
}

std::optional<int> ReftekBcd(const uint8_t* p, int digits) {
  int v = 0;
  for (int i = 0; i < digits; ++i) {
    const uint8_t byte = p[i / 2];
    const int nibble = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
    if (nibble > 9) return std::nullopt;
    v = v * 10 + nibble;
  }
  return v;
}

std::optional<TDateTime> ReftekPacketTime(std::span<const uint8_t> packet) {
  if (packet.size() < 12) return std::nullopt;
  const auto year = ReftekBcd(&packet[3], 2);
  // DDDHHMMSSTTT: twelve digits, so the hour and the second straddle bytes.
  std::array<int, 12> d{};
  for (size_t i = 0; i < d.size(); ++i) {
    const uint8_t byte = packet[6 + i / 2];
    d[i] = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
    if (d[i] > 9) return std::nullopt;
  }
  if (!year) return std::nullopt;
  const int day = d[0] * 100 + d[1] * 10 + d[2];
  const int hour = d[3] * 10 + d[4];
  const int minute = d[5] * 10 + d[6];
  const int second = d[7] * 10 + d[8];
  const int millis = d[9] * 100 + d[10] * 10 + d[11];
  if (!PlausibleDayTime(day, hour, minute, second, millis)) return std::nullopt;
  const int full_year = *year < 70 ? 2000 + *year : 1900 + *year;
  return EncodeDayOfYear(full_year, day, hour, minute, second, millis / 1000.0);
}

std::optional<double> ReftekGainVolts(std::string_view text) {
  const std::string t = Trim(text);
  size_t consumed = 0;
  const auto number = LeadingNumber(t, &consumed);
  if (!number || !(*number > 0.0)) return std::nullopt;
  const std::string unit = Trim(std::string_view(t).substr(consumed));
  if (unit == "mV") return *number / 1e3;
  if (unit == "uV") return *number / 1e6;
  if (unit == "nV") return *number / 1e9;
  return *number;
}

TReftekEvent ParseReftekEvent(std::span<const uint8_t> packet) {
  TReftekEvent event;
  event.Coefs.fill(1.0);
  if (packet.size() < static_cast<size_t>(kReftekPacketBytes)) return event;
  event.Station = Trim(Text(packet, kStationName, 4)) + Trim(Text(packet, kStationExtension, 1));
  event.StreamName = Trim(Text(packet, kStreamName, 16));
  const auto rate = LeadingNumber(Text(packet, kRateText, 4));
  event.SampRate = (rate && *rate > 0.0) ? *rate : 0.0;
  const std::string_view t = Text(packet, kFirstSampleText, 16);
  const auto year = Digits(t.substr(0, 4));
  const auto day = Digits(t.substr(4, 3));
  const auto hour = Digits(t.substr(7, 2));
  const auto minute = Digits(t.substr(9, 2));
  const auto second = Digits(t.substr(11, 2));
  const auto millis = Digits(t.substr(13, 3));
  if (year && day && hour && minute && second && millis &&
      PlausibleDayTime(*day, *hour, *minute, *second, *millis)) {
    event.FirstSampleTime = EncodeDayOfYear(*year, *day, *hour, *minute, *second, *millis / 1000.0);
  }
  for (size_t c = 0; c < kReftekChannels; ++c) {
    const auto gain = ReftekGainVolts(Text(packet, kGainTexts + c * kGainWidth, kGainWidth));
    event.Coefs[c] = gain ? 1.0 / *gain : 1.0;
  }
  return event;
}

int32_t ReftekSampleType(uint8_t format) {
  switch (format) {
    case 0x16:
      return kSampleS2;
    case 0x32:
    case 0x33:  // 32-bit samples as well; read as such so that no copy loses them
      return kSampleS4;
    case 0xC0:
      return kSampleSteim1a;
    case 0xC1:
      return kSampleSteim1b;
    case 0xC2:
      return kSampleSteim2a;
    case 0xC3:
      return kSampleSteim2b;
    default:
      return kSampleUnknown;
  }
}

int ReftekPacketSamples(std::span<const uint8_t> packet) {
  if (packet.size() < static_cast<size_t>(kReftekPacketBytes)) return 0;
  const auto count = ReftekBcd(&packet[kCountBytes], 4);
  if (!count) return 0;
  const uint8_t format = packet[kFormatByte];
  switch (format) {
    case 0x16:
      return *count == 0 ? kMax16BitSamples : std::min(*count, kMax16BitSamples);
    case 0x32:
    case 0x33:
      return *count == 0 ? kMax32BitSamples : std::min(*count, kMax32BitSamples);
    default:
      return IsCompressed(format) ? std::min(*count, kReftekMaxPacketSamples) : 0;
  }
}

int DecodeReftekPacket(std::span<const uint8_t> packet, std::vector<int32_t>& out) {
  const int n = ReftekPacketSamples(packet);
  out.assign(static_cast<size_t>(n), 0);
  if (n == 0) return 0;
  const uint8_t format = packet[kFormatByte];
  const uint8_t* data = packet.data() + kReftekDataOffset;
  if (format == 0x16) {
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = LoadI16BE(data + 2 * i);
  } else if (format == 0x32 || format == 0x33) {
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = LoadI32BE(data + 4 * i);
  } else {
    const int level = format <= 0xC1 ? 1 : 2;
    const std::span<const uint8_t> frames = packet.subspan(kReftekSteimOffset, kReftekSteimBytes);
    return static_cast<int>(SteimSoundSamples(frames, out, DecodeSteim(frames, level, out)));
  }
  return n;
}

bool ReadReftekHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                      TStatus* why) {
  info.Reset();
  const FileScan scan = ScanFile(path);
  if (!scan.Problem.Ok()) return RefuseFile(why, scan.Problem);
  info.Start = StartOf(scan);
  const std::optional<TReftekEvent> event = EventOf(path, scan, true);
  if (event) {
    info.Station = event->Station;
    info.SampRate = event->SampRate;
    const std::string base = Trim(event->StreamName.substr(
        event->StreamName.size() - std::min<size_t>(4, event->StreamName.size())));
    for (int c = 0; c < kReftekChannels; ++c) {
      info.ChannelNames[static_cast<size_t>(c)] = ShortName(base + ChannelSuffix(c));
      info.ChannelCoefs[static_cast<size_t>(c)] = event->Coefs[static_cast<size_t>(c)];
    }
  }
  std::array<int64_t, kReftekChannels> counts{};
  int highest = -1;
  for (const DataPacket& p : scan.Data) {
    ++info.BlockCount;
    if (p.Channel >= kReftekChannels) continue;  // no place in the matrix
    counts[static_cast<size_t>(p.Channel)] += p.Samples;
    if (p.Samples > 0) highest = std::max(highest, p.Channel);
  }
  // Matrix channel i is packet channel i, so the count reaches the highest channel in use.
  info.ChannelCount = highest + 1;
  info.SampleCount = ClampToInt32(*std::max_element(counts.begin(), counts.end()));
  info.BlockSamples = kReftekPacketBytes;
  return true;
}

void BuildReftekSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const FileScan scan = ScanFile(path);
  if (!scan.Problem.Ok() || scan.Data.empty()) return;
  const std::optional<TReftekEvent> event = EventOf(path, scan, false);
  const TReftekEvent none;
  const TReftekEvent& ev = event ? *event : none;
  // Times count from the file's own start, as its header gives it, so that a file continuing
  // an event follows the earlier one instead of overlapping it.
  const TDateTime start = StartOf(scan);
  std::array<int64_t, kReftekChannels> seen{};
  for (const DataPacket& p : scan.Data) {
    if (p.Channel >= kReftekChannels) continue;
    if (p.Offset + kReftekPacketBytes > INT32_MAX) break;  // beyond what a segment can address
    const auto c = static_cast<size_t>(p.Channel);
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = ev.Station;
    seg.Location = "00";
    seg.Channel = ev.StreamName + ChannelSuffix(p.Channel);
    seg.SampRate = ev.SampRate;
    seg.StartTime = ev.SampRate > 0.0
                        ? start + SpanOfSamples(static_cast<double>(seen[c]), ev.SampRate)
                        : start;
    seg.Calib = 1.0;
    seg.Count = p.Samples;
    seg.DataType = ReftekSampleType(p.Format);
    seg.Offset = static_cast<int32_t>(
        p.Offset + (IsCompressed(p.Format) ? kReftekSteimOffset : kReftekDataOffset));
    seg.BlockSize = kReftekSteimBytes;
    seg.TimingQuality = 255;
    seen[c] += p.Samples;
    list.Add(std::move(seg));
  }
}

void ReadReftekInto(const std::string& path, LoadTarget& target) {
  if (target.Data == nullptr) return;
  BinaryFile file;
  if (!file.Open(path)) return;
  std::vector<uint8_t> packet(kReftekPacketBytes);
  std::vector<int32_t> samples;
  samples.reserve(kReftekMaxPacketSamples);
  const int channels = std::min(target.ChannelCount(), kReftekChannels);
  for (int64_t offset = 0; offset + kReftekPacketBytes <= file.Size();
       offset += kReftekPacketBytes) {
    if (!file.ReadExact(offset, packet.data(), packet.size())) break;
    if (packet[0] != 'D' || packet[1] != 'T' || !ReftekPacketProblem(packet).Ok()) continue;
    const int channel = packet[kChannelByte];
    if (channel >= channels) continue;  // no place in the matrix
    const int sound = DecodeReftekPacket(packet, samples);
    int64_t& position = target.ChannelPositions[static_cast<size_t>(channel)];
    target.Write(channel, position, samples, sound);
    position += static_cast<int64_t>(samples.size());
    target.Position = std::max(target.Position, position);
  }
}

}  // namespace tarvik

#include "records/adb_ddb.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/rounding.h"

namespace tarvik {

namespace {

constexpr int64_t kAdbHeaderSize = 256;
constexpr int64_t kDdbHeaderSize = 512;
// ADB: after the header each channel is a 4-byte word followed by its samples, so the samples of
// channel i begin at i * (count + 1) * 4 + 260.
constexpr int64_t kAdbDataStart = 260;
// DDB: frames of three int32 samples (Z, N, E) from the end of the header.
constexpr int64_t kDdbDataStart = 512;
constexpr int32_t kDdbFrame = 12;

constexpr std::array<const char*, 3> kLetters = {"Z", "N", "E"};

// Counts per volt of the recorder's converter.
constexpr double kAdbCoefficient = 1e9 / 0.0318;

int64_t AdbChannelOffset(const TAdbHeader& h, int channel) {
  return channel * (int64_t{h.Count} + 1) * 4 + kAdbDataStart;
}

// The samples of one channel that the file holds from offset on, frames stride bytes apart.
int32_t SamplesPresent(int64_t file_size, int64_t offset, int64_t stride, int32_t wanted) {
  const int64_t available = file_size - offset;
  if (available < 4 || wanted <= 0) return 0;
  return static_cast<int32_t>(std::min<int64_t>(wanted, (available - 4) / stride + 1));
}

bool FillInfo(const std::string& path, bool ddb, TFileRecordInfo& info, TStatus* why) {
  info.Reset();
  const std::optional<TAdbHeader> h = ReadAdbFields(path, ddb, why);
  if (!h) return false;
  char station[48];
  std::snprintf(station, sizeof station, "%d|%d|%d", h->Device, h->Number1, h->Number2);
  info.Station = station;
  info.Start = h->Start;
  info.SampRate = h->Rate;
  // Channels beyond the 32 a record holds are left out.
  info.ChannelCount = std::clamp(h->Channels, 0, kMaxChannels);
  for (int i = 0; i < info.ChannelCount; ++i) {
    info.ChannelNames[static_cast<size_t>(i)] =
        i < 3 ? std::string(kLetters[static_cast<size_t>(i)]) : "Z" + std::to_string(i);
  }
  info.ChannelCoefs.fill(kAdbCoefficient);
  // The first channel's samples come first (ADB) or every frame holds one of them (DDB): the
  // file cannot hold more per channel than that channel has room for.
  info.SampleCount = ddb ? SamplesPresent(h->FileSize, kDdbDataStart, kDdbFrame, h->Count)
                         : SamplesPresent(h->FileSize, kAdbDataStart, 4, h->Count);
  info.BlockSamples = info.SampleCount;
  info.BlockCount = 1;
  return true;
}

TRecordDescription ChannelSegment(const std::string& path, const TAdbHeader& h, int channel) {
  TRecordDescription seg;
  seg.FileName = path;
  seg.Station = std::to_string(h.Device);
  seg.Location = std::to_string(h.Number1) + "|" + std::to_string(h.Number2);
  seg.Channel = kLetters[static_cast<size_t>(channel)];
  seg.StartTime = h.Start;
  seg.SampRate = h.Rate;
  seg.Calib = 1.0;
  seg.DataType = kSampleI4;
  return seg;
}

}  // namespace

double AdbRateFromCode(int32_t code) {
  if (code == 31 || code == 62) return code / 31.0 / 0.032;
  if (code == 35 || code == 70 || code == 140) return code / 35.0 / 0.028;
  return code;
}

std::optional<TAdbHeader> ReadAdbFields(const std::string& path, bool ddb, TStatus* why) {
  const auto refuse = [why](TStatus reason) {
    RefuseFile(why, std::move(reason));
    return std::nullopt;
  };
  // A header field out of its range, named by its first and last byte.
  const auto field = [&refuse](TCode code, int first, int last) {
    return refuse(Refusal(code, {std::to_string(first), std::to_string(last)}, first));
  };
  BinaryFile file;
  if (!file.Open(path)) return refuse(Refusal(TCode::kRefuseNotOpened));
  const int64_t header_size = ddb ? kDdbHeaderSize : kAdbHeaderSize;
  std::array<uint8_t, 72> b{};
  if (file.Size() < header_size || !file.ReadExact(0, b.data(), b.size())) {
    return refuse(Refusal(TCode::kRefuseShorterThanHeader, {std::to_string(header_size)}));
  }
  auto i16 = [&](size_t at) { return static_cast<int32_t>(LoadI16LE(&b[at])); };
  TAdbHeader h;
  h.Device = i16(36);
  h.Number1 = i16(38);
  h.Number2 = i16(40);
  int year = i16(44);
  if (year >= 0 && year < 100) year += year > 69 ? 1900 : 2000;
  const int month = i16(46), day = i16(48), hour = i16(50), minute = i16(52), second = i16(54);
  int ms = i16(56);
  if (ddb) ms = static_cast<int>(RoundHalfEven(ms / 1024.0));
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 || ms > 999) {
    return field(TCode::kRefuseHeaderFieldNotDateTime, 44, 57);
  }
  h.Start = EncodeDateTime(year, month, day, hour, minute, second, ms);
  h.Rate = AdbRateFromCode(i16(58));
  if (!(h.Rate > 0.0)) return field(TCode::kRefuseHeaderRateNotPositive, 58, 59);
  h.Channels = i16(64);
  if (h.Channels < 1) return field(TCode::kRefuseHeaderChannelsBelowOne, 64, 65);
  if (LoadI32LE(&b[66]) < 0) return field(TCode::kRefuseHeaderSamplesNegative, 66, 69);
  h.Count = std::max(0, LoadI32LE(&b[66]));
  h.FileSize = file.Size();
  return h;
}

bool ReadAdbHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                   TStatus* why) {
  return FillInfo(path, false, info, why);
}

bool ReadDdbHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                   TStatus* why) {
  return FillInfo(path, true, info, why);
}

void BuildAdbSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const std::optional<TAdbHeader> h = ReadAdbFields(path, false);
  if (!h) return;
  for (int ch = 0; ch < 3; ++ch) {
    TRecordDescription seg = ChannelSegment(path, *h, ch);
    const int64_t offset = AdbChannelOffset(*h, ch);
    if (offset > std::numeric_limits<int32_t>::max()) {
      seg.Offset = std::numeric_limits<int32_t>::max();
      seg.Count = 0;
    } else {
      seg.Offset = static_cast<int32_t>(offset);
      seg.Count = SamplesPresent(h->FileSize, offset, 4, h->Count);
    }
    seg.BlockSize = ClampToInt32(int64_t{4} * h->Number2);
    list.Add(std::move(seg));
  }
}

void BuildDdbSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const std::optional<TAdbHeader> h = ReadAdbFields(path, true);
  if (!h) return;
  for (int ch = 0; ch < 3; ++ch) {
    TRecordDescription seg = ChannelSegment(path, *h, ch);
    seg.Offset = static_cast<int32_t>(kDdbDataStart);
    seg.Skip = ch * 4;
    seg.Stride = kDdbFrame;
    seg.Count = SamplesPresent(h->FileSize, kDdbDataStart + seg.Skip, kDdbFrame, h->Count);
    list.Add(std::move(seg));
  }
}

}  // namespace tarvik

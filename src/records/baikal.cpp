#include "records/baikal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/rounding.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

constexpr int64_t kMainHeaderSize = 120;
constexpr int64_t kChannelHeaderSize = 72;

// A fixed-width text field: up to its first zero byte, Windows-1251, trimmed.
std::string TextField(const uint8_t* p, size_t width) {
  const std::string_view raw(reinterpret_cast<const char*>(p), width);
  return Trim(Cp1251ToUtf8(raw.substr(0, raw.find('\0'))));
}

// A coefficient of 0 (or not a number) is taken as 1, so that no channel divides by zero.
double UsableCoefficient(double c) {
  return (c != 0.0 && std::isfinite(c)) ? c : 1.0;
}

}  // namespace

std::optional<TBaikalHeader> ReadBaikalFields(const std::string& path, TStatus* why) {
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
  std::array<uint8_t, kMainHeaderSize> b{};
  if (!file.ReadExact(0, b.data(), b.size())) {
    return refuse(Refusal(TCode::kRefuseShorterThanHeader, {std::to_string(kMainHeaderSize)}));
  }
  TBaikalHeader h;
  h.Channels = LoadI16LE(&b[0]);
  if (h.Channels <= 0) return field(TCode::kRefuseHeaderChannelsBelowOne, 0, 1);
  const int day = LoadI16LE(&b[6]);
  const int month = LoadI16LE(&b[8]);
  const int year = LoadI16LE(&b[10]);
  h.Resolution = LoadI16LE(&b[18]);
  h.Station = TextField(&b[32], 16);
  h.Interval = LoadF64LE(&b[48]);
  const double seconds = LoadF64LE(&b[56]);
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31) {
    return field(TCode::kRefuseHeaderDateNotDate, 6, 11);
  }
  if (!(h.Interval > 0.0) || !std::isfinite(1.0 / h.Interval)) {
    return field(TCode::kRefuseHeaderIntervalNotPositive, 48, 55);
  }
  if (!(seconds >= 0.0 && seconds < kSecondsPerDay + 1.0)) {
    return field(TCode::kRefuseHeaderStartNotTimeOfDay, 56, 63);
  }
  h.Start = EncodeDateTime(year, month, day) + seconds / kSecondsPerDay;
  h.BytesPerSample = h.Resolution <= 16 ? 2 : 4;
  h.DataStart = kMainHeaderSize + kChannelHeaderSize * h.Channels;
  if (file.Size() < h.DataStart) {
    return refuse(Refusal(TCode::kRefuseShorterThanChannelHeaders, {std::to_string(h.Channels)}));
  }
  h.Samples = ClampToInt32((file.Size() - h.DataStart) / h.Channels / h.BytesPerSample);
  // The samples stay interleaved over every channel of the file; only the first 32 are named.
  const int kept = std::min(h.Channels, kMaxChannels);
  for (int i = 0; i < kept; ++i) {
    std::array<uint8_t, kChannelHeaderSize> c{};
    if (!file.ReadExact(kMainHeaderSize + kChannelHeaderSize * i, c.data(), c.size())) {
      return refuse(Refusal(TCode::kRefuseChannelHeaderUnreadable));
    }
    h.ChannelHeaders.push_back({TextField(&c[8], 24), LoadF64LE(&c[56])});
  }
  return h;
}

bool ReadBaikalHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                      TStatus* why) {
  info.Reset();
  const std::optional<TBaikalHeader> h = ReadBaikalFields(path, why);
  if (!h) return false;
  info.Station = h->Station;
  info.SampRate = 1.0 / h->Interval;
  info.Start = h->Start;
  info.ChannelCount = static_cast<int32_t>(h->ChannelHeaders.size());
  for (size_t i = 0; i < h->ChannelHeaders.size(); ++i) {
    info.ChannelNames[i] = ShortName(h->ChannelHeaders[i].Name);
    info.ChannelCoefs[i] = 1e6 / UsableCoefficient(h->ChannelHeaders[i].Coefficient);
  }
  info.SampleCount = h->Samples;
  info.BlockSamples = h->Samples;
  info.BlockCount = 1;
  return true;
}

void BuildBaikalSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const std::optional<TBaikalHeader> h = ReadBaikalFields(path);
  if (!h) return;
  for (size_t i = 0; i < h->ChannelHeaders.size(); ++i) {
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = h->Station;
    seg.Location = "00";
    seg.Channel = h->ChannelHeaders[i].Name;
    seg.StartTime = h->Start;
    seg.SampRate = 1.0 / h->Interval;
    seg.Count = h->Samples;
    seg.DataType = h->BytesPerSample == 2 ? kSampleI2 : kSampleI4;
    seg.Offset = static_cast<int32_t>(h->DataStart);
    seg.Skip = static_cast<int32_t>(i) * h->BytesPerSample;
    seg.Stride = h->Channels * h->BytesPerSample;
    seg.Calib = UsableCoefficient(h->ChannelHeaders[i].Coefficient) / 1e6;
    list.Add(std::move(seg));
  }
}

}  // namespace tarvik

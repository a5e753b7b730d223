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

std::optional<TBaikalHeader> ReadBaikalFields(const std::string& path, std::string* why) {
  const auto refuse = [why](std::string reason) {
    RefuseFile(why, std::move(reason));
    return std::nullopt;
  };
  BinaryFile file;
  if (!file.Open(path)) return refuse("the file cannot be opened");
  std::array<uint8_t, kMainHeaderSize> b{};
  if (!file.ReadExact(0, b.data(), b.size())) return refuse("shorter than the 120-byte header");
  TBaikalHeader h;
  h.channels = LoadI16LE(&b[0]);
  if (h.channels <= 0) return refuse("the header's channel count (bytes 0 and 1) is below 1");
  const int day = LoadI16LE(&b[6]);
  const int month = LoadI16LE(&b[8]);
  const int year = LoadI16LE(&b[10]);
  h.resolution = LoadI16LE(&b[18]);
  h.station = TextField(&b[32], 16);
  h.interval = LoadF64LE(&b[48]);
  const double seconds = LoadF64LE(&b[56]);
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31) {
    return refuse("the header's date (bytes 6 to 11) is not a date");
  }
  if (!(h.interval > 0.0) || !std::isfinite(1.0 / h.interval)) {
    return refuse("the header's sampling interval (bytes 48 to 55) is not above 0");
  }
  if (!(seconds >= 0.0 && seconds < kSecondsPerDay + 1.0)) {
    return refuse("the header's start (bytes 56 to 63) is not a time of day");
  }
  h.start = EncodeDateTime(year, month, day) + seconds / kSecondsPerDay;
  h.bytes_per_sample = h.resolution <= 16 ? 2 : 4;
  h.data_start = kMainHeaderSize + kChannelHeaderSize * h.channels;
  if (file.Size() < h.data_start) {
    return refuse("shorter than the headers of its " + std::to_string(h.channels) + " channels");
  }
  h.samples = ClampToInt32((file.Size() - h.data_start) / h.channels / h.bytes_per_sample);
  // The samples stay interleaved over every channel of the file; only the first 32 are named.
  const int kept = std::min(h.channels, kMaxChannels);
  for (int i = 0; i < kept; ++i) {
    std::array<uint8_t, kChannelHeaderSize> c{};
    if (!file.ReadExact(kMainHeaderSize + kChannelHeaderSize * i, c.data(), c.size())) {
      return refuse("a channel header cannot be read");
    }
    h.channel_headers.push_back({TextField(&c[8], 24), LoadF64LE(&c[56])});
  }
  return h;
}

bool ReadBaikalHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                      std::string* why) {
  info.Reset();
  const std::optional<TBaikalHeader> h = ReadBaikalFields(path, why);
  if (!h) return false;
  info.Station = h->station;
  info.SampRate = 1.0 / h->interval;
  info.Start = h->start;
  info.ChannelCount = static_cast<int32_t>(h->channel_headers.size());
  for (size_t i = 0; i < h->channel_headers.size(); ++i) {
    info.ChannelNames[i] = ShortName(h->channel_headers[i].name);
    info.ChannelCoefs[i] = 1e6 / UsableCoefficient(h->channel_headers[i].coefficient);
  }
  info.SampleCount = h->samples;
  info.BlockSamples = h->samples;
  info.BlockCount = 1;
  return true;
}

void BuildBaikalSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const std::optional<TBaikalHeader> h = ReadBaikalFields(path);
  if (!h) return;
  for (size_t i = 0; i < h->channel_headers.size(); ++i) {
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = h->station;
    seg.Location = "00";
    seg.Channel = h->channel_headers[i].name;
    seg.StartTime = h->start;
    seg.SampRate = 1.0 / h->interval;
    seg.Count = h->samples;
    seg.DataType = h->bytes_per_sample == 2 ? kSampleI2 : kSampleI4;
    seg.Offset = static_cast<int32_t>(h->data_start);
    seg.Skip = static_cast<int32_t>(i) * h->bytes_per_sample;
    seg.Stride = h->channels * h->bytes_per_sample;
    seg.Calib = UsableCoefficient(h->channel_headers[i].coefficient) / 1e6;
    list.Add(std::move(seg));
  }
}

}  // namespace tarvik

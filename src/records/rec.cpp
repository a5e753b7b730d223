#include "records/rec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "common/bytes.h"
#include "common/text_encoding.h"
#include "common/ui_host.h"
#include "records/read_samples.h"

namespace tarvik {

namespace {

constexpr FormatTag kBlockHTX = MakeTag("[HTX");

// A "[HTX" length longer than this many digits cannot be an int32 and marks a damaged head.
constexpr int kMaxLengthDigits = 10;

// Reads inside one block body: offsets are relative to the body and never leave it or the file.
class BodyReader {
 public:
  BodyReader(BinaryFile& file, const RecBlock& block)
      : file_(file),
        base_(block.BodyOffset),
        size_(std::max<int64_t>(0, std::min(block.Length, file.Size() - block.BodyOffset))) {}

  int64_t size() const { return size_; }

  bool Read(int64_t offset, void* dst, size_t n) {
    if (offset < 0 || offset + static_cast<int64_t>(n) > size_) return false;
    return file_.ReadExact(base_ + offset, dst, n);
  }

  // A short string: a length byte and up to 7 characters in Windows-1251; "" when absent.
  std::string ShortString(int64_t offset) {
    uint8_t raw[8];
    if (!Read(offset, raw, sizeof raw)) return {};
    const size_t len = std::min<size_t>(raw[0], kShortNameLength);
    return Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(raw + 1), len));
  }

 private:
  BinaryFile& file_;
  int64_t base_;
  int64_t size_;
};

// The raw channel count of a header block (not cut to 32); -1 when it cannot be read.
int64_t HeaderBlockChannels(BinaryFile& file, const RecBlock& block) {
  BodyReader body(file, block);
  uint8_t raw[4];
  if (block.Tag == kTagRec2) {
    if (!body.Read(12, raw, 4)) return -1;
    return std::max<int64_t>(0, LoadI32LE(raw));
  }
  if (block.Tag == kTagRec1) {
    if (!body.Read(52, raw, 1)) return -1;
    return raw[0];
  }
  return -1;
}

// The "[HD1" body: fixed fields, sensor records, then one 30-byte entry per channel.
bool ParseHeader1(BinaryFile& file, const RecBlock& block, TFileRecordInfo& info) {
  BodyReader body(file, block);
  uint8_t fixed[76];
  if (!body.Read(0, fixed, sizeof fixed)) return false;
  info.Station = body.ShortString(0);
  info.BlockSamples = std::max<int32_t>(0, LoadI16LE(fixed + 50));
  const int channels = fixed[52];
  const int sensors = fixed[53];
  const int bits = fixed[54];
  info.Start = LoadF64LE(fixed + 60);
  info.SampRate = LoadF64LE(fixed + 68);

  constexpr int64_t kSensorsAt = 84;
  constexpr int64_t kSensorSize = 308;
  constexpr int64_t kEntrySize = 30;
  const int kept_sensors = std::min(sensors, kMaxChannels);
  std::array<std::string, kMaxChannels> sensor_names{};
  for (int s = 0; s < kept_sensors; ++s) {
    sensor_names[static_cast<size_t>(s)] = body.ShortString(kSensorsAt + kSensorSize * s + 9);
  }
  const int64_t entries_at = kSensorsAt + kSensorSize * sensors;
  const int kept = std::min(channels, kMaxChannels);
  const double full_range = std::ldexp(1.0, bits - 1);
  for (int i = 0; i < kept; ++i) {
    uint8_t entry[10];
    if (!body.Read(entries_at + kEntrySize * i, entry, sizeof entry)) return false;
    const int sensor = entry[0];
    if (sensor < kept_sensors) info.ChannelNames[static_cast<size_t>(i)] = sensor_names[sensor];
    const double full_scale = LoadF64LE(entry + 2);
    double coef = full_range / full_scale;
    // A zero or damaged full-scale value would give an infinite coefficient that poisons every
    // later division; 1 leaves the samples in counts.
    if (!std::isfinite(coef) || coef == 0.0) coef = 1.0;
    info.ChannelCoefs[static_cast<size_t>(i)] = coef;
  }
  info.ChannelCount = kept;
  return true;
}

// The "[HD2" body: fixed fields, 20-byte channel entries, then the names they point to.
bool ParseHeader2(BinaryFile& file, const RecBlock& block, TFileRecordInfo& info) {
  BodyReader body(file, block);
  uint8_t fixed[32];
  if (!body.Read(0, fixed, sizeof fixed)) return false;
  info.Station = body.ShortString(0);
  info.BlockSamples = std::max<int32_t>(0, LoadI32LE(fixed + 8));
  const int64_t channels = std::max<int32_t>(0, LoadI32LE(fixed + 12));
  const int64_t names = std::max<int32_t>(0, LoadI32LE(fixed + 16));
  info.Start = LoadF64LE(fixed + 24);

  constexpr int64_t kEntriesAt = 32;
  constexpr int64_t kEntrySize = 20;
  constexpr int64_t kNameSize = 8;
  const int kept = static_cast<int>(std::min<int64_t>(channels, kMaxChannels));
  const int64_t kept_names = std::min<int64_t>(names, kMaxChannels);
  const int64_t names_at = kEntriesAt + kEntrySize * channels;
  for (int i = 0; i < kept; ++i) {
    uint8_t entry[kEntrySize];
    if (!body.Read(kEntriesAt + kEntrySize * i, entry, sizeof entry)) return false;
    const int32_t name_index = LoadI32LE(entry);
    if (i == 0) info.SampRate = LoadF64LE(entry + 4);
    info.ChannelCoefs[static_cast<size_t>(i)] = LoadF64LE(entry + 12);
    if (name_index >= 0 && name_index < kept_names) {
      info.ChannelNames[static_cast<size_t>(i)] =
          body.ShortString(names_at + kNameSize * name_index);
    }
  }
  info.ChannelCount = kept;
  return true;
}

// Why a header block's fields cannot describe a recording; empty when they can.
TStatus HeaderProblem(const TFileRecordInfo& info) {
  if (!(info.SampRate > 0.0) || !std::isfinite(info.SampRate)) {
    return Refusal(TCode::kRefuseRecRate);
  }
  // Days since 1899-12-30, up to the year 2200.
  if (!(std::fabs(info.Start) < 110000.0)) return Refusal(TCode::kRefuseRecStart);
  if (info.BlockSamples <= 0) return Refusal(TCode::kRefuseRecBlockSamples);
  return {};
}

bool ReadRecHeader(const std::string& path, TFileRecordInfo& info, FormatTag header_tag,
                   TStatus* why) {
  info.Reset();
  BinaryFile file;
  if (!file.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
  bool have_header = false;
  int64_t blocks = 0;
  RecBlock block;
  for (int64_t at = 0; ReadRecBlockAt(file, at, block); at = NextRecBlockOffset(block)) {
    if (IsRecDataTag(block.Tag)) {
      ++blocks;
    } else if (block.Tag == header_tag && !have_header) {
      have_header = header_tag == kTagRec1 ? ParseHeader1(file, block, info)
                                           : ParseHeader2(file, block, info);
      TStatus problem = have_header ? HeaderProblem(info) : Refusal(TCode::kRefuseRecHeaderCut);
      if (!problem.Ok()) {
        info.Reset();
        return RefuseFile(why, std::move(problem));
      }
    }
  }
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  info.BlockCount = static_cast<int32_t>(std::min(blocks, kMax));
  info.SampleCount = static_cast<int32_t>(std::min(blocks * info.BlockSamples, kMax));
  if (!have_header)
    return RefuseFile(why, Refusal(TCode::kRefuseRecNoHeader, {TagText(header_tag)}));
  return true;
}

template <typename T>
int32_t LoadSample(const uint8_t* p) {
  if constexpr (std::is_same_v<T, int16_t>) return LoadI16LE(p);
  if constexpr (std::is_same_v<T, uint16_t>) return LoadU16LE(p);
  if constexpr (std::is_same_v<T, int32_t>) return LoadI32LE(p);
}

// "[DM?": n frames of one sample per channel.
template <typename T>
void DecodeFrames(std::span<const uint8_t> body, int64_t layout_channels, int64_t n, TData32& out) {
  constexpr int64_t kSize = sizeof(T);
  const int64_t frame = layout_channels * kSize;
  const int64_t frames = std::min<int64_t>(n, static_cast<int64_t>(body.size()) / frame);
  if (frames <= 0) return;
  for (size_t c = 0; c < out.size(); ++c) {
    std::vector<int32_t>& dst = out[c];
    dst.resize(static_cast<size_t>(frames));
    const uint8_t* p = body.data() + static_cast<int64_t>(c) * kSize;
    for (int64_t i = 0; i < frames; ++i) dst[static_cast<size_t>(i)] = LoadSample<T>(p + i * frame);
  }
}

// "[DS?": one run of n samples per channel.
template <typename T>
void DecodeRuns(std::span<const uint8_t> body, int64_t n, TData32& out) {
  constexpr int64_t kSize = sizeof(T);
  const auto bytes = static_cast<int64_t>(body.size());
  for (size_t c = 0; c < out.size(); ++c) {
    const int64_t start = static_cast<int64_t>(c) * n * kSize;
    const int64_t count = std::clamp<int64_t>((bytes - start) / kSize, 0, n);
    std::vector<int32_t>& dst = out[c];
    dst.resize(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
      dst[static_cast<size_t>(i)] = LoadSample<T>(body.data() + start + i * kSize);
    }
  }
}

// "[DSZ": per channel a 4-byte size and that many bytes of bzip2.
void DecodeCompressedRuns(std::span<const uint8_t> body, int64_t max_samples, TData32& out) {
  size_t at = 0;
  const size_t max_bytes = static_cast<size_t>(std::max<int64_t>(0, max_samples)) * 4;
  for (std::vector<int32_t>& dst : out) {
    if (body.size() - at < 4) break;
    const int32_t packed = LoadI32LE(body.data() + at);
    at += 4;
    if (packed < 0) break;
    const size_t size = std::min(static_cast<size_t>(packed), body.size() - at);
    const std::vector<uint8_t> raw = Bzip2Decompress(body.data() + at, size, max_bytes);
    at += size;
    dst.resize(raw.size() / 4);
    for (size_t i = 0; i < dst.size(); ++i) dst[i] = LoadI32LE(&raw[i * 4]);
  }
}

void PutShortString(std::vector<uint8_t>& out, const std::string& text) {
  std::string bytes = Utf8ToCp1251(text);
  if (bytes.size() > kShortNameLength) bytes.resize(kShortNameLength);
  out.push_back(static_cast<uint8_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
  out.resize(out.size() + kShortNameLength - bytes.size(), 0);
}

void PutI32(std::vector<uint8_t>& out, int32_t v) {
  uint8_t b[4];
  StoreU32LE(b, static_cast<uint32_t>(v));
  out.insert(out.end(), b, b + 4);
}

void PutF64(std::vector<uint8_t>& out, double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void PutHead(std::vector<uint8_t>& out, FormatTag tag, int32_t length) {
  PutI32(out, static_cast<int32_t>(tag));
  PutI32(out, length);
}

}  // namespace

bool IsRecDataTag(FormatTag tag) {
  return (tag & 0xFFu) == '[' && ((tag >> 8) & 0xFFu) == 'D';
}

bool ReadRecBlockAt(BinaryFile& file, int64_t offset, RecBlock& block) {
  uint8_t head[kRecBlockHeadSize];
  if (offset < 0 || !file.ReadExact(offset, head, 4)) return false;
  block.Tag = LoadU32LE(head);
  block.HeadOffset = offset;
  if (block.Tag == kBlockHTX) {
    // The length is spelled in digits; the first character that is not a digit ends the head.
    uint8_t text[kMaxLengthDigits + 1];
    const size_t got = file.ReadAt(offset + 4, text, sizeof text);
    int64_t length = 0;
    size_t i = 0;
    while (i < got && text[i] >= '0' && text[i] <= '9') {
      if (i == kMaxLengthDigits) return false;
      length = length * 10 + (text[i] - '0');
      ++i;
    }
    if (length > std::numeric_limits<int32_t>::max()) return false;
    block.Length = length;
    block.BodyOffset = offset + 4 + static_cast<int64_t>(std::min(got, i + 1));
    return true;
  }
  if (!file.ReadExact(offset + 4, head + 4, 4)) return false;
  block.Length = LoadI32LE(head + 4);
  block.BodyOffset = offset + kRecBlockHeadSize;
  return block.Length >= 0;
}

FormatTag ReadFirstBlockTag(const std::string& path) {
  BinaryFile file;
  uint8_t head[kRecBlockHeadSize];
  if (!file.Open(path) || !file.ReadExact(0, head, sizeof head)) return 0;
  return LoadU32LE(head);
}

bool ReadRecHeader1(const std::string& path, TFileRecordInfo& info, double, TStatus* why) {
  return ReadRecHeader(path, info, kTagRec1, why);
}

bool ReadRecHeader2(const std::string& path, TFileRecordInfo& info, double, TStatus* why) {
  return ReadRecHeader(path, info, kTagRec2, why);
}

TData32 DecodeRecDataBlock(FormatTag tag, std::span<const uint8_t> body, int channels,
                           int64_t block_samples, int64_t max_samples) {
  const int64_t layout = std::max(0, channels);
  TData32 out(static_cast<size_t>(std::min<int64_t>(layout, kMaxChannels)));
  if (out.empty()) return out;
  // No layout stores more samples per channel than the body has bytes.
  const int64_t n = std::clamp<int64_t>(std::min(block_samples, max_samples), 0,
                                        static_cast<int64_t>(body.size()));
  switch (tag) {
    case kBlockDMU:
    case kBlockDMV:
      DecodeFrames<int16_t>(body, layout, n, out);
      break;
    case kBlockDMW:
      DecodeFrames<uint16_t>(body, layout, n, out);
      break;
    case kBlockDMX:
      DecodeFrames<int32_t>(body, layout, n, out);
      break;
    case kBlockDSV:
      DecodeRuns<int16_t>(body, n, out);
      break;
    case kBlockDSW:
      DecodeRuns<uint16_t>(body, n, out);
      break;
    case kBlockDSX:
      DecodeRuns<int32_t>(body, n, out);
      break;
    case kBlockDSZ:
      DecodeCompressedRuns(body, max_samples, out);
      break;
    default:
      break;
  }
  return out;
}

void ReadRecInto(const std::string& path, LoadTarget& target) {
  BinaryFile file;
  if (target.Data == nullptr || !file.Open(path)) return;
  const int64_t block_samples = std::max(0, target.First.BlockSamples);
  // The blocks are laid out by the file's own channel count; it differs from the record's only
  // when the header names more channels than a record keeps, and then only the first are kept.
  int64_t layout_channels = std::clamp(target.First.ChannelCount, 0, kMaxChannels);
  const int64_t size = file.Size();
  int percent = -1;

  RecBlock block;
  for (int64_t at = 0; ReadRecBlockAt(file, at, block); at = NextRecBlockOffset(block)) {
    if (block.Tag == kTagRec1 || block.Tag == kTagRec2) {
      const int64_t own = HeaderBlockChannels(file, block);
      if (own > kMaxChannels) layout_channels = std::min<int64_t>(own, 1 << 20);
      continue;
    }
    if (!IsRecDataTag(block.Tag)) continue;
    const int64_t room = std::max<int64_t>(0, target.Length() - target.Position);
    int64_t advance = block_samples;
    if (room > 0) {
      const int64_t body_at = block.BodyOffset + kRecDataHeaderSize;
      const int64_t body_size =
          std::clamp<int64_t>(std::min(block.Length - kRecDataHeaderSize, size - body_at), 0, size);
      const std::vector<uint8_t> body = file.ReadBytes(body_at, static_cast<size_t>(body_size));
      const TData32 samples = DecodeRecDataBlock(block.Tag, body, static_cast<int>(layout_channels),
                                                 block_samples, room);
      if (block.Tag == kBlockDSZ) advance = 0;
      for (size_t c = 0; c < samples.size(); ++c) {
        target.Write(static_cast<int>(c), target.Position, samples[c]);
        if (block.Tag == kBlockDSZ) advance = std::max<int64_t>(advance, samples[c].size());
      }
    } else if (block.Tag == kBlockDSZ) {
      advance = 0;  // nothing fits any more; its length is unknown without decompressing it
    }
    target.Position += advance;
    if (target.Host != nullptr && size > 0) {
      const int now = static_cast<int>(NextRecBlockOffset(block) * 100 / size);
      if (now != percent) {
        percent = std::min(now, 100);
        target.Host->SetProgress(percent, 100);
      }
    }
  }
}

std::vector<uint8_t> MakeRecHeader2Block(const TFileRecordInfo& info, int32_t format_word) {
  const int32_t n = std::clamp(info.ChannelCount, 0, kMaxChannels);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(kRecBlockHeadSize + 32 + 28 * n));
  PutHead(out, kTagRec2, 32 + 20 * n + 8 * n);
  PutShortString(out, info.Station);
  PutI32(out, info.BlockSamples);
  PutI32(out, n);
  PutI32(out, n);
  PutI32(out, format_word);
  PutF64(out, info.Start);
  for (int32_t i = 0; i < n; ++i) {
    PutI32(out, i);
    PutF64(out, info.SampRate);
    PutF64(out, info.ChannelCoefs[static_cast<size_t>(i)]);
  }
  for (int32_t i = 0; i < n; ++i) PutShortString(out, info.ChannelNames[static_cast<size_t>(i)]);
  return out;
}

std::vector<uint8_t> MakeDszBlock(std::span<const std::vector<int32_t>> channels,
                                  const RecDataHeader& data_header) {
  std::vector<uint8_t> out;
  PutHead(out, kBlockDSZ, 0);
  for (const TDateTime t : data_header) PutF64(out, t);
  const size_t used = std::min<size_t>(channels.size(), kMaxChannels);
  std::vector<uint8_t> raw;
  for (size_t c = 0; c < used; ++c) {
    const std::vector<int32_t>& samples = channels[c];
    raw.resize(samples.size() * 4);
    for (size_t i = 0; i < samples.size(); ++i) {
      StoreU32LE(&raw[i * 4], static_cast<uint32_t>(samples[i]));
    }
    const std::vector<uint8_t> packed = Bzip2Compress(raw.data(), raw.size());
    if (packed.empty()) return {};
    PutI32(out, static_cast<int32_t>(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
    if (out.size() - kRecBlockHeadSize > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
      return {};
    }
  }
  StoreU32LE(out.data() + 4, static_cast<uint32_t>(out.size() - kRecBlockHeadSize));
  return out;
}

std::vector<uint8_t> MakeDszBlock(const TData32& data, int64_t first, int64_t count,
                                  const RecDataHeader& data_header) {
  TData32 slice(data.size());
  for (size_t c = 0; c < data.size(); ++c) {
    const auto length = static_cast<int64_t>(data[c].size());
    const int64_t from = std::clamp<int64_t>(first, 0, length);
    const int64_t to = from + std::clamp<int64_t>(count, 0, length - from);
    slice[c].assign(data[c].begin() + from, data[c].begin() + to);
  }
  return MakeDszBlock(slice, data_header);
}

}  // namespace tarvik

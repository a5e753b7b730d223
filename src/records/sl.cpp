#include "records/sl.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/paths.h"
#include "common/ui_host.h"

namespace tarvik {

namespace {

// Codes of the recorder's block layouts that the variant rule matches the header against.
constexpr std::array<int64_t, 14> kKnownCodes = {
    3, 18, 91, 182, 1092, 2185, 5462, 10924, 32772, 65544, 131089, 196633, 393266, 786532};

// True when R is one of the codes with index in [lo, min(hi, 8)], or, for hi >= 9, the extended
// code (R + 65536 when extended_by_one, else X * 65536 + R) one of those in [max(lo, 9), hi].
bool Known(int lo, int hi, bool extended_by_one, int64_t r, int64_t x) {
  for (int i = lo; i <= std::min(hi, 8); ++i) {
    if (kKnownCodes[static_cast<size_t>(i)] == r) return true;
  }
  if (hi >= 9) {
    const int64_t code = extended_by_one ? r + 65536 : x * 65536 + r;
    for (int i = std::max(lo, 9); i <= hi; ++i) {
      if (kKnownCodes[static_cast<size_t>(i)] == code) return true;
    }
  }
  return false;
}

struct SlAdc {
  uint32_t Mask;
  int32_t Offset;
};

SlAdc AdcFor(int bits) {
  if (bits >= 16) return {0xFFFFu, 32767};
  bits = std::max(bits, 1);
  return {(1u << bits) - 1u, static_cast<int32_t>(1u << (bits - 1))};
}

}  // namespace

FormatTag SlVariant(std::span<const uint8_t, kSlHeaderSize> header, int* sub_kind) {
  const int64_t r = LoadU16LE(&header[16]);
  const int c = header[18];
  const int64_t x = header[19];

  const bool a = r == 0 || r == 1 || r == 2 || r == 4 || r == 5 || r == 6 || r == 7 || r == 9;
  const bool p = c == 4 || c == 8 || c == 16;
  const bool q = c == 3 || c == 6 || c == 12;
  const bool z = c == 0 && x == 0;
  const bool f4 = (c < 3 || q) && x == 0 && Known(4, 13, false, r, x);
  const bool f = (c < 3 || p) && x == 0 && Known(0, 9, true, r, x);
  const bool l = f4 && (z || Known(10, 13, false, r, x));
  const bool o = f && (Known(1, 3, true, r, x) || (Known(4, 8, true, r, x) && !z));
  const bool s = r < 10 && (p || c < 3);
  const bool t = s && (x != 0 || a);

  int kind = 0;
  FormatTag tag = kTagSL0;
  if (l || (f4 && !f && !s)) {
    tag = kTagSL2;
  } else if (o || (f && !f4 && !s)) {
    tag = kTagSL3;
  } else if (t || (s && !f4 && !f)) {
    tag = kTagSL4;
  } else if (f && s && !f4) {
    kind = 6;
  } else if (f4 && s && !f) {
    kind = 5;
  } else if (f4 && f && !s) {
    kind = 3;
  }
  if (sub_kind != nullptr) *sub_kind = kind;
  return tag;
}

FormatTag RecognizeSl(const std::string& path, int* sub_kind) {
  if (sub_kind != nullptr) *sub_kind = 0;
  BinaryFile file;
  if (!file.Open(path) || file.Size() <= kSlHeaderSize) return 0;
  std::array<uint8_t, kSlHeaderSize> header{};
  if (!file.ReadExact(0, header.data(), header.size())) return kTagSlProvisional;
  return SlVariant(header, sub_kind);
}

std::string SlChannelFileName(const std::string& header_path, int channel) {
  char ext[16];
  std::snprintf(ext, sizeof ext, ".%2.2d", channel);
  return ReplaceExtension(header_path, ext);
}

bool ReadSlHeader(const std::string& path, TFileRecordInfo& info, double, TStatus* why) {
  info.Reset();
  BinaryFile file;
  uint8_t h[kSlHeaderSize];
  // A header field out of its range, named by its first and last byte.
  const auto field = [why](TCode code, int first, int last) {
    return RefuseFile(why, Refusal(code, {std::to_string(first), std::to_string(last)}, first));
  };
  if (!file.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
  if (!file.ReadExact(0, h, sizeof h)) {
    return RefuseFile(why, Refusal(TCode::kRefuseShorterThanHeader, {std::to_string(sizeof h)}));
  }
  const int year = LoadU16LE(h + 6), month = h[5], day = h[4];
  if (year < 1970 || year > 2100 || month < 1 || month > 12 || day < 1 || day > 31 || h[11] > 23 ||
      h[10] > 59 || h[9] > 59 || h[8] > 99) {
    return field(TCode::kRefuseHeaderFieldNotDateTime, 4, 11);
  }
  if (LoadU16LE(h) == 0) return field(TCode::kRefuseHeaderRateWordZero, 0, 1);
  if (LoadU16LE(h + 2) == 0) return field(TCode::kRefuseHeaderNoChannel, 2, 3);
  info.Station = "Sta";
  info.Start = EncodeDateTime(LoadU16LE(h + 6), h[5], h[4], h[11], h[10], h[9], h[8] * 10);
  info.SampRate = LoadU16LE(h) * kSlRateUnit;
  info.ChannelCount = std::min<int>(LoadU16LE(h + 2), kMaxChannels);
  for (int i = 0; i < info.ChannelCount; ++i) {
    info.ChannelNames[static_cast<size_t>(i)] = std::to_string(i + 1);
    info.ChannelCoefs[static_cast<size_t>(i)] = 400.0;
  }
  info.BlockSamples = kSlBlockWords;
  BinaryFile first_channel;
  const int64_t blocks =
      first_channel.Open(SlChannelFileName(path, 0)) ? first_channel.Size() / kSlBlockBytes : 0;
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  info.BlockCount = static_cast<int32_t>(std::min(blocks, kMax));
  info.SampleCount = static_cast<int32_t>(std::min(blocks * kSlBlockWords, kMax));
  return true;
}

int DecodeSlBlock(std::span<const uint8_t> block, int marker_length, int adc_bits,
                  std::vector<int32_t>& out) {
  std::array<uint16_t, kSlBlockWords> w{};
  const size_t words = std::min<size_t>(block.size() / 2, kSlBlockWords);
  for (size_t k = 0; k < words; ++k) w[k] = LoadU16LE(&block[2 * k]);

  const SlAdc adc = AdcFor(adc_bits);
  const int x = std::clamp(marker_length, 0, kSlBlockWords - 1);
  // The marker is the first word of the marker area with a bit outside the ADC's range; without
  // one, the word just after the area decides whether the area is dropped.
  int i = 0;
  while (i < x && (w[static_cast<size_t>(i)] & ~adc.Mask) == 0) ++i;
  uint16_t marker = 0;
  if (i == x) {
    i = 0;
    marker = w[static_cast<size_t>(x)];
  } else {
    marker = w[static_cast<size_t>(i)];
  }
  const int d = (marker & 0x8000u) != 0 ? x - i : (i > 0 ? 1 : 0);
  // The marker area is a ring that starts at the marker.
  std::rotate(w.begin(), w.begin() + i, w.begin() + x);
  out.reserve(out.size() + static_cast<size_t>(kSlBlockWords - d));
  for (int k = d; k < kSlBlockWords; ++k) {
    out.push_back(static_cast<int32_t>(w[static_cast<size_t>(k)] & adc.Mask) - adc.Offset);
  }
  return d;
}

void ReadSlInto(const std::string& path, LoadTarget& target) {
  BinaryFile header_file;
  uint8_t h[kSlHeaderSize];
  if (target.Data == nullptr || !header_file.Open(path) || !header_file.ReadExact(0, h, sizeof h)) {
    return;
  }
  const int channels = std::min<int>(LoadU16LE(h + 2), kMaxChannels);
  const int marker_length = h[19];
  std::vector<BinaryFile> files(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) files[static_cast<size_t>(c)].Open(SlChannelFileName(path, c));
  const int64_t blocks = channels > 0 && files[0].IsOpen() ? files[0].Size() / kSlBlockBytes : 0;

  std::vector<uint8_t> raw(static_cast<size_t>(kSlBlockBytes));
  std::vector<int32_t> samples;
  int percent = -1;
  for (int64_t k = 0; k < blocks; ++k) {
    // The block heads in the header file carry nothing the samples need.
    int d = 0;
    for (int c = 0; c < channels; ++c) {
      BinaryFile& f = files[static_cast<size_t>(c)];
      if (!f.IsOpen() || !f.ReadExact(k * kSlBlockBytes, raw.data(), raw.size())) continue;
      samples.clear();
      d = DecodeSlBlock(raw, marker_length, kSlAdcBits, samples);
      target.Write(c, target.Position, samples);
    }
    target.Position += kSlBlockWords - d;
    if (target.Host != nullptr) {
      const int now = static_cast<int>((k + 1) * 100 / blocks);
      if (now != percent) target.Host->SetProgress(percent = now, 100);
    }
  }
}

}  // namespace tarvik

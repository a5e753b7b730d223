#include "records/steim.h"

#include <algorithm>

#include "common/bytes.h"

namespace tarvik {

namespace {

constexpr size_t kFrameBytes = 64;
constexpr int kWordsPerFrame = 16;

// The signed value of the low `bits` bits of v.
template <int Bits>
inline int32_t SignExtend(uint32_t v) {
  return static_cast<int32_t>(v << (32 - Bits)) >> (32 - Bits);
}

// Splits one data word into its differences, most significant field first. Returns how many it
// holds; -1 for a word that no Steim encoder writes (the frames are damaged from there on).
template <int Level>
inline int UnpackWord(uint32_t code, uint32_t w, int32_t* d) {
  if (code == 1) {
    d[0] = SignExtend<8>(w >> 24);
    d[1] = SignExtend<8>(w >> 16);
    d[2] = SignExtend<8>(w >> 8);
    d[3] = SignExtend<8>(w);
    return 4;
  }
  if constexpr (Level == 1) {
    if (code == 2) {
      d[0] = SignExtend<16>(w >> 16);
      d[1] = SignExtend<16>(w);
      return 2;
    }
    d[0] = static_cast<int32_t>(w);
    return 1;
  } else {
    const uint32_t dnib = w >> 30;
    if (code == 2) {
      switch (dnib) {
        case 1:
          d[0] = SignExtend<30>(w);
          return 1;
        case 2:
          d[0] = SignExtend<15>(w >> 15);
          d[1] = SignExtend<15>(w);
          return 2;
        case 3:
          d[0] = SignExtend<10>(w >> 20);
          d[1] = SignExtend<10>(w >> 10);
          d[2] = SignExtend<10>(w);
          return 3;
        default:
          return -1;
      }
    }
    switch (dnib) {
      case 0:
        for (int i = 0; i < 5; ++i) d[i] = SignExtend<6>(w >> (24 - 6 * i));
        return 5;
      case 1:
        for (int i = 0; i < 6; ++i) d[i] = SignExtend<5>(w >> (25 - 5 * i));
        return 6;
      case 2:
        for (int i = 0; i < 7; ++i) d[i] = SignExtend<4>(w >> (24 - 4 * i));
        return 7;
      default:
        return -1;
    }
  }
}

// Decodes whole frames into out; returns the samples written. Sums run in unsigned arithmetic
// so that damaged differences wrap instead of overflowing.
template <int Level>
size_t DecodeFrames(const uint8_t* p, size_t frame_count, int32_t* out, size_t n) {
  uint32_t last = LoadU32BE(p + 4);  // forward integration constant: sample 0
  out[0] = static_cast<int32_t>(last);
  size_t k = 1;
  bool skip_first = true;  // the first difference links to the previous record
  int32_t d[8];
  for (size_t f = 0; f < frame_count; ++f, p += kFrameBytes) {
    const uint32_t control = LoadU32BE(p);
    for (int i = f == 0 ? 3 : 1; i < kWordsPerFrame; ++i) {
      const uint32_t code = (control >> (30 - 2 * i)) & 3u;
      if (code == 0) continue;
      int m = UnpackWord<Level>(code, LoadU32BE(p + 4 * i), d);
      if (m < 0) return k;
      int j = 0;
      if (skip_first) {
        skip_first = false;
        j = 1;
      }
      const size_t room = n - k;
      if (static_cast<size_t>(m - j) >= room) {
        m = j + static_cast<int>(room);
        for (; j < m; ++j) {
          last += static_cast<uint32_t>(d[j]);
          out[k++] = static_cast<int32_t>(last);
        }
        return k;
      }
      for (; j < m; ++j) {
        last += static_cast<uint32_t>(d[j]);
        out[k++] = static_cast<int32_t>(last);
      }
    }
  }
  return k;
}

}  // namespace

size_t DecodeSteim(std::span<const uint8_t> frames, int level, std::span<int32_t> out) {
  const size_t n = out.size();
  if (n == 0) return 0;
  size_t k = 0;
  const size_t frame_count = frames.size() / kFrameBytes;  // a partial last frame is not data
  if (frame_count > 0 && level == 1) {
    k = DecodeFrames<1>(frames.data(), frame_count, out.data(), n);
  } else if (frame_count > 0 && level == 2) {
    k = DecodeFrames<2>(frames.data(), frame_count, out.data(), n);
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(k), out.end(), 0);
  if (k < n && frames.size() >= 12) out[n - 1] = LoadI32BE(frames.data() + 8);
  return k;
}

}  // namespace tarvik

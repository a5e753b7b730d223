#include "records/steim.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/bytes.h"

namespace tarvik {

namespace {

constexpr size_t kFrameBytes = 64;
constexpr int kWordsPerFrame = 16;

// The signed value of the low `bits` bits of v.
template <int kBits>
inline int32_t SignExtend(uint32_t v) {
  return static_cast<int32_t>(v << (32 - kBits)) >> (32 - kBits);
}

// Splits one data word into its differences, most significant field first. Returns how many it
// holds; -1 for a word that no Steim encoder writes (the frames are damaged from there on).
template <int kLevel>
inline int UnpackWord(uint32_t code, uint32_t w, int32_t* d) {
  if (code == 1) {
    d[0] = SignExtend<8>(w >> 24);
    d[1] = SignExtend<8>(w >> 16);
    d[2] = SignExtend<8>(w >> 8);
    d[3] = SignExtend<8>(w);
    return 4;
  }
  if constexpr (kLevel == 1) {
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

// How to cut a data word into differences without branching on its layout: the word is shifted
// left so that field j stands at the top, then arithmetically right so that it is sign-extended;
// fields past the word's count are masked to 0. Indexed by the two-bit code and the word's top
// two bits (which select the layout of Steim-2 codes 2 and 3).
struct WordLayout {
  int Count = 0;  // differences in the word; -1 for a layout no encoder writes
  int Right = 0;  // 32 - field width
  std::array<uint8_t, 7> Left{};
  std::array<uint32_t, 7> Mask{};
};

constexpr WordLayout Layout(int count, int bits) {
  WordLayout l;
  l.Count = count;
  l.Right = 32 - bits;
  for (int j = 0; j < count; ++j) {
    // Fields run from the most significant down to bit 0.
    const int shift = (count - 1 - j) * bits;
    l.Left[static_cast<size_t>(j)] = static_cast<uint8_t>(32 - bits - shift);
    l.Mask[static_cast<size_t>(j)] = ~0u;
  }
  return l;
}

constexpr WordLayout Invalid() {
  WordLayout l;
  l.Count = -1;
  return l;
}

template <int kLevel>
constexpr std::array<WordLayout, 16> MakeLayouts() {
  std::array<WordLayout, 16> t{};
  for (int top = 0; top < 4; ++top) {
    t[static_cast<size_t>(4 + top)] = Layout(4, 8);
    if (kLevel == 1) {
      t[static_cast<size_t>(8 + top)] = Layout(2, 16);
      t[static_cast<size_t>(12 + top)] = Layout(1, 32);
    }
  }
  if (kLevel == 2) {
    t[8] = Invalid();
    t[9] = Layout(1, 30);
    t[10] = Layout(2, 15);
    t[11] = Layout(3, 10);
    t[12] = Layout(5, 6);
    t[13] = Layout(6, 5);
    t[14] = Layout(7, 4);
    t[15] = Invalid();
  }
  return t;
}

template <int kLevel>
constexpr std::array<WordLayout, 16> kLayouts = MakeLayouts<kLevel>();

// Adds the differences of one data word to the running sum, writing seven samples to o of which
// the first count are the word's (the rest are overwritten by the next word); returns count, or
// -1 for a word no encoder writes (then last is not to be used).
template <int kLevel>
inline int EmitWord(uint32_t code, uint32_t w, uint32_t& last, int32_t* o) {
  const WordLayout& l = kLayouts<kLevel>[(code << 2) | (w >> 30)];
  uint32_t sum = last;
  auto step = [&](size_t j) {
    const int32_t d = static_cast<int32_t>(w << l.Left[j]) >> l.Right;
    sum += static_cast<uint32_t>(d) & l.Mask[j];
    o[j] = static_cast<int32_t>(sum);
  };
  step(0);
  step(1);
  step(2);
  step(3);
  // Words of five to seven differences are the rarer ones in seismic noise.
  if (l.Count > 4) {
    step(4);
    step(5);
    step(6);
  }
  last = sum;
  return l.Count;
}

// The most samples one frame can write: seven differences in each of 15 words (the seven writes
// of its last word included).
constexpr size_t kMaxFrameSamples = 7 * 15;

// Decodes whole frames into out; returns the samples written. Sums run in unsigned arithmetic
// so that damaged differences wrap instead of overflowing.
template <int kLevel>
size_t DecodeFrames(const uint8_t* p, size_t frame_count, int32_t* out, size_t n) {
  uint32_t last = LoadU32BE(p + 4);  // forward integration constant: sample 0
  out[0] = static_cast<int32_t>(last);
  size_t k = 1;
  bool skip_first = true;  // the first difference links to the previous record
  int32_t d[8] = {};
  for (size_t f = 0; f < frame_count; ++f, p += kFrameBytes) {
    const uint32_t control = LoadU32BE(p);
    const int first_word = f == 0 ? 3 : 1;
    if (!skip_first && n - k >= kMaxFrameSamples) {
      // Room for the whole frame: samples go straight to out.
      for (int i = first_word; i < kWordsPerFrame; ++i) {
        const uint32_t code = (control >> (30 - 2 * i)) & 3u;
        if (code == 0) continue;
        const int m = EmitWord<kLevel>(code, LoadU32BE(p + 4 * i), last, out + k);
        if (m < 0) return k;
        k += static_cast<size_t>(m);
      }
      continue;
    }
    for (int i = first_word; i < kWordsPerFrame; ++i) {
      const uint32_t code = (control >> (30 - 2 * i)) & 3u;
      if (code == 0) continue;
      int m = UnpackWord<kLevel>(code, LoadU32BE(p + 4 * i), d);
      if (m < 0) return k;
      int j = 0;
      if (skip_first) {
        skip_first = false;
        j = 1;
      }
      const size_t room = n - k;
      const bool last_word = static_cast<size_t>(m - j) >= room;
      if (last_word) m = j + static_cast<int>(room);
      for (; j < m; ++j) {
        last += static_cast<uint32_t>(d[j]);
        out[k++] = static_cast<int32_t>(last);
      }
      if (last_word) return k;
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

size_t SteimSoundSamples(std::span<const uint8_t> frames, std::span<const int32_t> out,
                         size_t decoded) {
  const size_t n = out.size();
  if (decoded < n) return decoded;
  if (n == 0 || frames.size() < 12) return n;
  return out[n - 1] == LoadI32BE(frames.data() + 8) ? n : 0;
}

}  // namespace tarvik

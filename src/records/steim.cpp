#include "records/steim.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/bytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// GCC and Clang on x86-64 build a second copy of the frame unpacking for processors with AVX2
// (a shift per lane in one instruction) and pick it at run time; the build itself stays for
// the baseline instruction set.
#if defined(__GNUC__) && defined(__x86_64__)
#define TARVIK_STEIM_AVX2 1
#endif

namespace tarvik {

namespace {

constexpr size_t kFrameBytes = 64;
constexpr int kWordsPerFrame = 16;
// Differences written per data word at once: the most a word holds (seven) rounded up, so
// that a word's store never needs to know its count.
constexpr size_t kLanes = 8;

// How to cut a data word into differences without branching on its layout: the word is shifted
// left so that field j stands at the top, then arithmetically right so that it is sign-extended.
// Indexed by the two-bit code and the word's top two bits (which select the layout of Steim-2
// codes 2 and 3). Lanes past the count yield values that the next word overwrites.
struct alignas(32) WordLayout {
  std::array<uint32_t, kLanes> Left{};
  int32_t Count = 0;  // differences in the word: 0 for code 0, -1 for a layout no encoder writes
  int32_t Right = 0;  // 32 - field width
};

constexpr WordLayout Layout(int count, int bits) {
  WordLayout l;
  l.Count = count;
  l.Right = 32 - bits;
  for (int j = 0; j < count; ++j) {
    // Fields run from the most significant down to bit 0.
    const int shift = (count - 1 - j) * bits;
    l.Left[static_cast<size_t>(j)] = static_cast<uint32_t>(32 - bits - shift);
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

// Stores a word's differences to out[0, kLanes): one field by one, on any processor.
struct PlainStore {
  [[gnu::always_inline]] static void Put(uint32_t w, const WordLayout& l, int32_t* out) {
    // Words of five to seven differences are the rarer ones in seismic noise.
    for (size_t j = 0; j < 4; ++j) out[j] = static_cast<int32_t>(w << l.Left[j]) >> l.Right;
    if (l.Count > 4) {
      for (size_t j = 4; j < 7; ++j) out[j] = static_cast<int32_t>(w << l.Left[j]) >> l.Right;
    }
  }
};

#if defined(TARVIK_STEIM_AVX2)
// The same, all lanes at once: a shift per lane, then one arithmetic shift of all.
struct VectorStore {
  using U32x8 = uint32_t __attribute__((vector_size(32)));
  using I32x8 = int32_t __attribute__((vector_size(32)));
  [[gnu::always_inline]] static void Put(uint32_t w, const WordLayout& l, int32_t* out) {
    U32x8 left;
    std::memcpy(&left, l.Left.data(), sizeof left);
    const U32x8 word = U32x8{} + w;
    const I32x8 d = reinterpret_cast<I32x8>(word << left) >> l.Right;
    std::memcpy(out, &d, sizeof d);
  }
};
#endif

// Writes the differences of every data word of the frames to out, one position per difference
// and the record's first difference (which links to the previous record) at position 0.
// Returns the positions written: fewer than n when the frames end, or at a word no encoder
// writes (the frames are damaged from there on). Whole words are stored at once while kLanes
// positions are left; the last few go one by one so that nothing is written past n.
template <int kLevel, class Store>
[[gnu::always_inline]] inline size_t UnpackFrames(const uint8_t* p, size_t frame_count,
                                                  int32_t* out, size_t n) {
  size_t k = 0;
  for (size_t f = 0; f < frame_count; ++f, p += kFrameBytes) {
    const uint32_t control = LoadU32BE(p);
    // Words 1 and 2 of the first frame hold the integration constants.
    for (int i = f == 0 ? 3 : 1; i < kWordsPerFrame; ++i) {
      const uint32_t w = LoadU32BE(p + 4 * i);
      const uint32_t code = (control >> (30 - 2 * i)) & 3u;
      const WordLayout& l = kLayouts<kLevel>[(code << 2) | (w >> 30)];
      if (l.Count < 0) return k;
      if (n - k >= kLanes) {
        Store::Put(w, l, out + k);
        k += static_cast<size_t>(l.Count);
        continue;
      }
      const size_t m = std::min(static_cast<size_t>(l.Count), n - k);
      for (size_t j = 0; j < m; ++j) out[k + j] = static_cast<int32_t>(w << l.Left[j]) >> l.Right;
      k += m;
      if (k == n) return k;
    }
  }
  return k;
}

size_t UnpackPlain(int level, const uint8_t* p, size_t frame_count, int32_t* out, size_t n) {
  return level == 1 ? UnpackFrames<1, PlainStore>(p, frame_count, out, n)
                    : UnpackFrames<2, PlainStore>(p, frame_count, out, n);
}

#if defined(TARVIK_STEIM_AVX2)
__attribute__((target("avx2"))) size_t UnpackAvx2(int level, const uint8_t* p, size_t frame_count,
                                                  int32_t* out, size_t n) {
  return level == 1 ? UnpackFrames<1, VectorStore>(p, frame_count, out, n)
                    : UnpackFrames<2, VectorStore>(p, frame_count, out, n);
}
#endif

size_t Unpack(SteimUnpack unpack, int level, const uint8_t* p, size_t frame_count, int32_t* out,
              size_t n) {
#if defined(TARVIK_STEIM_AVX2)
  if (unpack == SteimUnpack::kFastest && __builtin_cpu_supports("avx2")) {
    return UnpackAvx2(level, p, frame_count, out, n);
  }
#else
  (void)unpack;
#endif
  return UnpackPlain(level, p, frame_count, out, n);
}

// x[i] = x[0] + ... + x[i] for i < n, in 32-bit arithmetic that wraps (as the encoder's
// differences do), four lanes at a time where SSE2 is there.
void RunningSum(int32_t* x, size_t n) {
  size_t i = 0;
  uint32_t carry = 0;
#if defined(__SSE2__)
  __m128i c = _mm_setzero_si128();
  for (; i + 4 <= n; i += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
    v = _mm_add_epi32(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi32(v, _mm_slli_si128(v, 8));
    v = _mm_add_epi32(v, c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(x + i), v);
    c = _mm_shuffle_epi32(v, 0xFF);
  }
  carry = static_cast<uint32_t>(_mm_cvtsi128_si32(c));
#endif
  for (; i < n; ++i) {
    carry += static_cast<uint32_t>(x[i]);
    x[i] = static_cast<int32_t>(carry);
  }
}

}  // namespace

size_t DecodeSteim(std::span<const uint8_t> frames, int level, std::span<int32_t> out,
                   SteimUnpack unpack) {
  const size_t n = out.size();
  if (n == 0) return 0;
  size_t k = 0;
  const size_t frame_count = frames.size() / kFrameBytes;  // a partial last frame is not data
  if (frame_count > 0 && (level == 1 || level == 2)) {
    // The differences go to out in place, then one running sum from the forward integration
    // constant (sample 0, in the place of the first difference) turns them into samples.
    k = std::max<size_t>(Unpack(unpack, level, frames.data(), frame_count, out.data(), n), 1);
    out[0] = LoadI32BE(frames.data() + 4);
    RunningSum(out.data(), k);
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

// The fast transform: decimation in time on split real/imaginary arrays. A twiddle-free first
// pass of radix 2, 4 or 8 reads the input in natural order and writes each block's small DFT at
// its bit-reversed place, so no separate reordering pass is needed; radix-4 passes then join
// blocks of h into blocks of 4h. Loops run over two lanes at once (GCC/Clang vector
// extensions, 128-bit registers); on x86-64 processors with AVX2 the same kernels are compiled
// for four lanes in 256-bit registers and chosen when a plan is made.
#include <bit>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "spectral/transforms.h"

#if defined(__GNUC__) || defined(__clang__)
#define TARVIK_FFT_VECTORS 1
#define TARVIK_FFT_INLINE inline __attribute__((always_inline))
#if defined(__x86_64__)
#define TARVIK_FFT_WIDE 1
#endif
#else
#define TARVIK_FFT_INLINE inline
#endif

namespace tarvik {

namespace {

constexpr double kSqrtHalf = 0.70710678118654752440;

uint32_t ReverseBits(uint32_t v, int bits) {
  uint32_t r = 0;
  for (int b = 0; b < bits; ++b) {
    r = (r << 1) | (v & 1u);
    v >>= 1;
  }
  return r;
}

// Lane operations. Values are passed by reference only, so that no vector crosses a call
// boundary whatever the instruction set of the including kernel.
struct ScalarLanes {
  using V = double;
  static constexpr size_t kWidth = 1;
  static TARVIK_FFT_INLINE void Load(V& v, const double* p) { v = *p; }
  static TARVIK_FFT_INLINE void Store(double* p, const V& v) { *p = v; }
  static TARVIK_FFT_INLINE void Splat(V& v, double x) { v = x; }
  static TARVIK_FFT_INLINE void LoadReversed(V& v, const double* p) { v = *p; }
  static TARVIK_FFT_INLINE void StoreReversed(double* p, const V& v) { *p = v; }
  // Entries 0 and 1 of p: the real and imaginary part of one complex value.
  static TARVIK_FFT_INLINE void LoadPairs(V& re, V& im, const double* p) {
    re = p[0];
    im = p[1];
  }
  // Writes the four outputs of one block at out + blockSize·dst[0] + offset.
  static TARVIK_FFT_INLINE void StoreBlocks(double* out, const uint32_t* dst, size_t blockSize,
                                            size_t offset, const V& p0, const V& p1, const V& p2,
                                            const V& p3) {
    double* o = out + blockSize * dst[0] + offset;
    o[0] = p0, o[1] = p1, o[2] = p2, o[3] = p3;
  }
};

#if TARVIK_FFT_VECTORS
typedef double Vec4 __attribute__((vector_size(32)));

// Four lanes, for 256-bit registers.
struct QuadLanes {
  using V = Vec4;
  static constexpr size_t kWidth = 4;
  static TARVIK_FFT_INLINE void Load(V& v, const double* p) { std::memcpy(&v, p, sizeof v); }
  static TARVIK_FFT_INLINE void Store(double* p, const V& v) { std::memcpy(p, &v, sizeof v); }
  static TARVIK_FFT_INLINE void Splat(V& v, double x) { v = V{x, x, x, x}; }
  // v = p[3], p[2], p[1], p[0].
  static TARVIK_FFT_INLINE void LoadReversed(V& v, const double* p) {
    V t;
    Load(t, p);
    v = __builtin_shufflevector(t, t, 3, 2, 1, 0);
  }
  static TARVIK_FFT_INLINE void StoreReversed(double* p, const V& v) {
    const V t = __builtin_shufflevector(v, v, 3, 2, 1, 0);
    Store(p, t);
  }
  // Four complex values stored as re, im pairs in p[0..7].
  static TARVIK_FFT_INLINE void LoadPairs(V& re, V& im, const double* p) {
    V a, b;
    Load(a, p);
    Load(b, p + 4);
    re = __builtin_shufflevector(a, b, 0, 2, 4, 6);
    im = __builtin_shufflevector(a, b, 1, 3, 5, 7);
  }
  // Lane l of p0..p3 are the four outputs of block dst[l]: transpose, then one store per lane.
  static TARVIK_FFT_INLINE void StoreBlocks(double* out, const uint32_t* dst, size_t blockSize,
                                            size_t offset, const V& p0, const V& p1, const V& p2,
                                            const V& p3) {
    const V t0 = __builtin_shufflevector(p0, p1, 0, 4, 2, 6);
    const V t1 = __builtin_shufflevector(p0, p1, 1, 5, 3, 7);
    const V t2 = __builtin_shufflevector(p2, p3, 0, 4, 2, 6);
    const V t3 = __builtin_shufflevector(p2, p3, 1, 5, 3, 7);
    const V r0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    const V r1 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    const V r2 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    const V r3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    Store(out + blockSize * dst[0] + offset, r0);
    Store(out + blockSize * dst[1] + offset, r1);
    Store(out + blockSize * dst[2] + offset, r2);
    Store(out + blockSize * dst[3] + offset, r3);
  }
};

typedef double Vec2 __attribute__((vector_size(16)));

// Two lanes: the width every 64-bit x86 and ARM processor has registers for.
struct PairLanes {
  using V = Vec2;
  static constexpr size_t kWidth = 2;
  static TARVIK_FFT_INLINE void Load(V& v, const double* p) { std::memcpy(&v, p, sizeof v); }
  static TARVIK_FFT_INLINE void Store(double* p, const V& v) { std::memcpy(p, &v, sizeof v); }
  static TARVIK_FFT_INLINE void Splat(V& v, double x) { v = V{x, x}; }
  static TARVIK_FFT_INLINE void LoadReversed(V& v, const double* p) {
    V t;
    Load(t, p);
    v = __builtin_shufflevector(t, t, 1, 0);
  }
  static TARVIK_FFT_INLINE void StoreReversed(double* p, const V& v) {
    const V t = __builtin_shufflevector(v, v, 1, 0);
    Store(p, t);
  }
  static TARVIK_FFT_INLINE void LoadPairs(V& re, V& im, const double* p) {
    V a, b;
    Load(a, p);
    Load(b, p + 2);
    re = __builtin_shufflevector(a, b, 0, 2);
    im = __builtin_shufflevector(a, b, 1, 3);
  }
  static TARVIK_FFT_INLINE void StoreBlocks(double* out, const uint32_t* dst, size_t blockSize,
                                            size_t offset, const V& p0, const V& p1, const V& p2,
                                            const V& p3) {
    double* o0 = out + blockSize * dst[0] + offset;
    double* o1 = out + blockSize * dst[1] + offset;
    const V a0 = __builtin_shufflevector(p0, p1, 0, 2), b0 = __builtin_shufflevector(p2, p3, 0, 2);
    const V a1 = __builtin_shufflevector(p0, p1, 1, 3), b1 = __builtin_shufflevector(p2, p3, 1, 3);
    Store(o0, a0), Store(o0 + 2, b0);
    Store(o1, a1), Store(o1 + 2, b1);
  }
};
// Without AVX2 the four-lane type would be split into pieces; two lanes map onto SSE2 directly.
using BaseLanes = PairLanes;
#else
using BaseLanes = ScalarLanes;
#endif

// Input element q: from split arrays, or (kPairs) from interleaved re, im pairs at in[2q].
template <class O, bool kPairs>
TARVIK_FFT_INLINE void LoadInput(typename O::V& re, typename O::V& im, const double* inRe,
                                 const double* inIm, size_t q) {
  if constexpr (kPairs) {
    O::LoadPairs(re, im, inRe + 2 * q);
  } else {
    O::Load(re, inRe + q);
    O::Load(im, inIm + q);
  }
}

template <class O, bool kPairs>
TARVIK_FFT_INLINE void FirstPass2(const detail::FftCore& c, const double* inRe, const double* inIm,
                                  double* outRe, double* outIm) {
  // Only n = 2 uses this pass: one block, no lanes to spare.
  (void)c;
  double ar, ai, br, bi;
  LoadInput<ScalarLanes, kPairs>(ar, ai, inRe, inIm, 0);
  LoadInput<ScalarLanes, kPairs>(br, bi, inRe, inIm, 1);
  outRe[0] = ar + br, outIm[0] = ai + bi;
  outRe[1] = ar - br, outIm[1] = ai - bi;
}

template <class O, bool kPairs>
TARVIK_FFT_INLINE void FirstPass4(const detail::FftCore& c, const double* inRe, const double* inIm,
                                  double* outRe, double* outIm) {
  using V = typename O::V;
  const size_t q4 = c.n / 4;
  const uint32_t* dst = c.firstDst.data();
  for (size_t q = 0; q < q4; q += O::kWidth) {
    V a0r, a0i, a1r, a1i, a2r, a2i, a3r, a3i;
    LoadInput<O, kPairs>(a0r, a0i, inRe, inIm, q);
    LoadInput<O, kPairs>(a1r, a1i, inRe, inIm, q + q4);
    LoadInput<O, kPairs>(a2r, a2i, inRe, inIm, q + 2 * q4);
    LoadInput<O, kPairs>(a3r, a3i, inRe, inIm, q + 3 * q4);
    const V s02r = a0r + a2r, s02i = a0i + a2i, d02r = a0r - a2r, d02i = a0i - a2i;
    const V s13r = a1r + a3r, s13i = a1i + a3i, d13r = a1r - a3r, d13i = a1i - a3i;
    O::StoreBlocks(outRe, dst + q, 4, 0, s02r + s13r, d02r + d13i, s02r - s13r, d02r - d13i);
    O::StoreBlocks(outIm, dst + q, 4, 0, s02i + s13i, d02i - d13r, s02i - s13i, d02i + d13r);
  }
}

template <class O, bool kPairs>
TARVIK_FFT_INLINE void FirstPass8(const detail::FftCore& c, const double* inRe, const double* inIm,
                                  double* outRe, double* outIm) {
  using V = typename O::V;
  const size_t q8 = c.n / 8;
  const uint32_t* dst = c.firstDst.data();
  V sqrtHalf;
  O::Splat(sqrtHalf, kSqrtHalf);
  for (size_t q = 0; q < q8; q += O::kWidth) {
    V ar[8], ai[8];
    for (size_t m = 0; m < 8; ++m) LoadInput<O, kPairs>(ar[m], ai[m], inRe, inIm, q + m * q8);
    // 4-point DFTs of the even and of the odd inputs, then one radix-2 step.
    const V e02r = ar[0] + ar[4], e02i = ai[0] + ai[4];
    const V f02r = ar[0] - ar[4], f02i = ai[0] - ai[4];
    const V e13r = ar[2] + ar[6], e13i = ai[2] + ai[6];
    const V f13r = ar[2] - ar[6], f13i = ai[2] - ai[6];
    const V E0r = e02r + e13r, E0i = e02i + e13i;
    const V E2r = e02r - e13r, E2i = e02i - e13i;
    const V E1r = f02r + f13i, E1i = f02i - f13r;
    const V E3r = f02r - f13i, E3i = f02i + f13r;

    const V o02r = ar[1] + ar[5], o02i = ai[1] + ai[5];
    const V g02r = ar[1] - ar[5], g02i = ai[1] - ai[5];
    const V o13r = ar[3] + ar[7], o13i = ai[3] + ai[7];
    const V g13r = ar[3] - ar[7], g13i = ai[3] - ai[7];
    const V O0r = o02r + o13r, O0i = o02i + o13i;
    const V O2r = o02r - o13r, O2i = o02i - o13i;
    const V O1r = g02r + g13i, O1i = g02i - g13r;
    const V O3r = g02r - g13i, O3i = g02i + g13r;

    // Twiddles W8^p for p = 1, 2, 3: (1 − i)/√2, −i, −(1 + i)/√2.
    const V T1r = sqrtHalf * (O1r + O1i), T1i = sqrtHalf * (O1i - O1r);
    const V T2r = O2i, T2i = -O2r;
    const V T3r = sqrtHalf * (O3i - O3r), T3i = -(sqrtHalf * (O3r + O3i));

    O::StoreBlocks(outRe, dst + q, 8, 0, E0r + O0r, E1r + T1r, E2r + T2r, E3r + T3r);
    O::StoreBlocks(outRe, dst + q, 8, 4, E0r - O0r, E1r - T1r, E2r - T2r, E3r - T3r);
    O::StoreBlocks(outIm, dst + q, 8, 0, E0i + O0i, E1i + T1i, E2i + T2i, E3i + T3i);
    O::StoreBlocks(outIm, dst + q, 8, 4, E0i - O0i, E1i - T1i, E2i - T2i, E3i - T3i);
  }
}

// One lane group of the radix-4 step: the values at offsets 0, h, 2h, 3h from re/im.
template <class O>
TARVIK_FFT_INLINE void Butterfly4(double* re, double* im, size_t h, const typename O::V& c1r,
                                  const typename O::V& c1i, const typename O::V& c2r,
                                  const typename O::V& c2i, const typename O::V& c3r,
                                  const typename O::V& c3i) {
  using V = typename O::V;
  V x0r, x0i, x1r, x1i, x2r, x2i, x3r, x3i;
  O::Load(x0r, re), O::Load(x0i, im);
  O::Load(x1r, re + h), O::Load(x1i, im + h);
  O::Load(x2r, re + 2 * h), O::Load(x2i, im + 2 * h);
  O::Load(x3r, re + 3 * h), O::Load(x3i, im + 3 * h);
  const V t1r = x2r * c1r - x2i * c1i, t1i = x2r * c1i + x2i * c1r;
  const V t2r = x1r * c2r - x1i * c2i, t2i = x1r * c2i + x1i * c2r;
  const V t3r = x3r * c3r - x3i * c3i, t3i = x3r * c3i + x3i * c3r;
  const V s02r = x0r + t2r, s02i = x0i + t2i, d02r = x0r - t2r, d02i = x0i - t2i;
  const V s13r = t1r + t3r, s13i = t1i + t3i, d13r = t1r - t3r, d13i = t1i - t3i;
  O::Store(re, s02r + s13r), O::Store(im, s02i + s13i);
  O::Store(re + h, d02r + d13i), O::Store(im + h, d02i - d13r);
  O::Store(re + 2 * h, s02r - s13r), O::Store(im + 2 * h, s02i - s13i);
  O::Store(re + 3 * h, d02r - d13i), O::Store(im + 3 * h, d02i + d13r);
}

// Joins four blocks of h (in bit-reversed order: the DFTs of residues 0, 2, 1, 3) into one
// block of 4h: X[j + m·h] = Σ_l W^(l·j)·A_l[j]·(−i)^(l·m).
template <class O>
TARVIK_FFT_INLINE void Radix4Pass(double* re, double* im, size_t n, size_t h, const double* w1r,
                                  const double* w1i, const double* w2r, const double* w2i,
                                  const double* w3r, const double* w3i) {
  using V = typename O::V;
  if (h == O::kWidth) {
    // One lane group per block: the twiddles stay in registers for the whole pass.
    V c1r, c1i, c2r, c2i, c3r, c3i;
    O::Load(c1r, w1r), O::Load(c1i, w1i);
    O::Load(c2r, w2r), O::Load(c2i, w2i);
    O::Load(c3r, w3r), O::Load(c3i, w3i);
    for (size_t b = 0; b < n; b += 4 * h) {
      Butterfly4<O>(re + b, im + b, h, c1r, c1i, c2r, c2i, c3r, c3i);
    }
    return;
  }
  for (size_t b = 0; b < n; b += 4 * h) {
    for (size_t j = 0; j < h; j += O::kWidth) {
      V c1r, c1i, c2r, c2i, c3r, c3i;
      O::Load(c1r, w1r + j), O::Load(c1i, w1i + j);
      O::Load(c2r, w2r + j), O::Load(c2i, w2i + j);
      O::Load(c3r, w3r + j), O::Load(c3i, w3i + j);
      Butterfly4<O>(re + b + j, im + b + j, h, c1r, c1i, c2r, c2i, c3r, c3i);
    }
  }
}

// The unscaled forward transform of c.n input values into out (which must not overlap in).
template <class O, bool kPairs>
TARVIK_FFT_INLINE void RunCore(const detail::FftCore& c, const double* inRe, const double* inIm,
                               double* outRe, double* outIm) {
  const size_t blocks = c.firstRadix > 0 ? c.n / static_cast<size_t>(c.firstRadix) : 0;
  const bool lanes = blocks % O::kWidth == 0;
  switch (c.firstRadix) {
    case 1:
      if (c.n == 1) {
        outRe[0] = inRe[0];
        outIm[0] = kPairs ? inRe[1] : inIm[0];
      }
      return;
    case 2:
      FirstPass2<O, kPairs>(c, inRe, inIm, outRe, outIm);
      break;
    case 4:
      if (lanes) {
        FirstPass4<O, kPairs>(c, inRe, inIm, outRe, outIm);
      } else {
        FirstPass4<ScalarLanes, kPairs>(c, inRe, inIm, outRe, outIm);
      }
      break;
    default:
      if (lanes) {
        FirstPass8<O, kPairs>(c, inRe, inIm, outRe, outIm);
      } else {
        FirstPass8<ScalarLanes, kPairs>(c, inRe, inIm, outRe, outIm);
      }
      break;
  }
  for (size_t p = 0; p < c.passOffsets.size(); ++p) {
    const size_t o = c.passOffsets[p];
    // Every pass has h >= 4 (the first pass has radix 4 or 8), a multiple of the lane count.
    Radix4Pass<O>(outRe, outIm, c.n, c.passQuarters[p], c.w1r.data() + o, c.w1i.data() + o,
                  c.w2r.data() + o, c.w2i.data() + o, c.w3r.data() + o, c.w3i.data() + o);
  }
}

template <class O>
TARVIK_FFT_INLINE void ScaledCopy(double* dst, const double* src, size_t n, double scale) {
  using V = typename O::V;
  size_t k = 0;
  if (n % O::kWidth == 0) {
    V s;
    O::Splat(s, scale);
    for (; k < n; k += O::kWidth) {
      V v;
      O::Load(v, src + k);
      O::Store(dst + k, v * s);
    }
  }
  for (; k < n; ++k) dst[k] = src[k] * scale;
}

struct TransformArgs {
  const detail::FftCore* core;
  double* re;
  double* im;
  double* scratchRe;
  double* scratchIm;
  bool forward;
};

template <class O>
TARVIK_FFT_INLINE void TransformKernel(const TransformArgs& a) {
  const size_t n = a.core->n;
  if (a.forward) {
    RunCore<O, false>(*a.core, a.re, a.im, a.scratchRe, a.scratchIm);
    const double scale = 1.0 / static_cast<double>(n);
    ScaledCopy<O>(a.re, a.scratchRe, n, scale);
    ScaledCopy<O>(a.im, a.scratchIm, n, scale);
  } else {
    // The inverse is the forward kernel with real and imaginary parts exchanged on both sides.
    RunCore<O, false>(*a.core, a.im, a.re, a.scratchIm, a.scratchRe);
    std::memcpy(a.re, a.scratchRe, n * sizeof(double));
    std::memcpy(a.im, a.scratchIm, n * sizeof(double));
  }
}

struct RealArgs {
  const detail::FftCore* half;
  const double* twRe;  // e^(−2πik/M), k = 0..M/4
  const double* twIm;
  double* re;
  double* im;
  double* zr;
  double* zi;
  size_t M;
};

// X[k] = E + W^k·O and X[N−k] = conj(E − W^k·O) for the lines k, k+1, ... of a lane group;
// E = (Z[k] + conj Z[N−k])/2, O = −i(Z[k] − conj Z[N−k])/2, both with the 1/M scale. The lines
// above M/2 are the conjugates of those below: X[M−k] and X[N+k] are written at the same time.
template <class O>
TARVIK_FFT_INLINE void UnpackLines(const RealArgs& a, size_t k, double halfScale) {
  using V = typename O::V;
  const size_t M = a.M;
  const size_t N = M / 2;
  const size_t last = O::kWidth - 1;
  const size_t m = N - k - last;  // lowest of the mirrored indices N−k−(W−1)..N−k
  V zkr, zki, zmr, zmi, wr, wi, h;
  O::Load(zkr, a.zr + k), O::Load(zki, a.zi + k);
  O::LoadReversed(zmr, a.zr + m), O::LoadReversed(zmi, a.zi + m);
  O::Load(wr, a.twRe + k), O::Load(wi, a.twIm + k);
  O::Splat(h, halfScale);
  const V er = (zkr + zmr) * h, ei = (zki - zmi) * h;
  const V odr = (zki + zmi) * h, odi = (zmr - zkr) * h;
  const V tr = wr * odr - wi * odi, ti = wr * odi + wi * odr;
  const V lowR = er + tr, lowI = ei + ti;    // X[k + lane]
  const V highR = er - tr, highI = ti - ei;  // X[N − k − lane]
  O::Store(a.re + k, lowR), O::Store(a.im + k, lowI);
  O::StoreReversed(a.re + m, highR), O::StoreReversed(a.im + m, highI);
  O::StoreReversed(a.re + M - k - last, lowR), O::StoreReversed(a.im + M - k - last, -lowI);
  O::Store(a.re + N + k, highR), O::Store(a.im + N + k, -highI);
}

template <class O>
TARVIK_FFT_INLINE void ForwardRealKernel(const RealArgs& a) {
  const size_t M = a.M;
  const size_t N = M / 2;
  // The even samples are the real and the odd samples the imaginary part of an N-point signal.
  RunCore<O, true>(*a.half, a.re, nullptr, a.zr, a.zi);

  const double scale = 1.0 / static_cast<double>(M);
  const double halfScale = 0.5 * scale;
  const double z0r = a.zr[0], z0i = a.zi[0];
  a.re[0] = (z0r + z0i) * scale, a.im[0] = 0.0;
  a.re[N] = (z0r - z0i) * scale, a.im[N] = 0.0;
  size_t k = 1;
  for (; k + O::kWidth - 1 <= N / 2; k += O::kWidth) UnpackLines<O>(a, k, halfScale);
  for (; k <= N / 2; ++k) UnpackLines<ScalarLanes>(a, k, halfScale);
}

void TransformBase(const TransformArgs& a) {
  TransformKernel<BaseLanes>(a);
}
void ForwardRealBase(const RealArgs& a) {
  ForwardRealKernel<BaseLanes>(a);
}

#if TARVIK_FFT_WIDE
__attribute__((target("avx2"))) void TransformWide(const TransformArgs& a) {
  TransformKernel<QuadLanes>(a);
}
__attribute__((target("avx2"))) void ForwardRealWide(const RealArgs& a) {
  ForwardRealKernel<QuadLanes>(a);
}
#endif

bool ProcessorIsWide() {
#if TARVIK_FFT_WIDE
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace

void detail::FftCore::Build(size_t size) {
  n = size;
  const int log2n = std::countr_zero(n);
  if (n <= 1) {
    firstRadix = 1;
  } else if (log2n == 1) {
    firstRadix = 2;
  } else {
    firstRadix = log2n % 2 == 0 ? 4 : 8;
  }
  const size_t blocks = n / static_cast<size_t>(firstRadix);
  const int blockBits = std::countr_zero(blocks);
  firstDst.resize(blocks);
  for (size_t q = 0; q < blocks; ++q) {
    firstDst[q] = ReverseBits(static_cast<uint32_t>(q), blockBits);
  }

  for (auto* table : {&w1r, &w1i, &w2r, &w2i, &w3r, &w3i}) table->clear();
  passOffsets.clear();
  passQuarters.clear();
  for (size_t h = static_cast<size_t>(firstRadix); firstRadix > 2 && h < n; h *= 4) {
    passOffsets.push_back(w1r.size());
    passQuarters.push_back(h);
    for (size_t j = 0; j < h; ++j) {
      const auto [c1, s1] = UnitRoot(j, 4 * h);
      const auto [c2, s2] = UnitRoot(2 * j, 4 * h);
      const auto [c3, s3] = UnitRoot(3 * j, 4 * h);
      w1r.push_back(c1), w1i.push_back(s1);
      w2r.push_back(c2), w2i.push_back(s2);
      w3r.push_back(c3), w3i.push_back(s3);
    }
  }
}

TFftPlan::TFftPlan(size_t M, TFftKernels kernels)
    : size_(M), wide_(kernels == TFftKernels::kFastest && ProcessorIsWide()) {
  if (M == 0 || !std::has_single_bit(M) || M > (size_t{1} << 31)) {
    throw std::invalid_argument("FFT length must be a power of two");
  }
  full_.Build(M);
  half_.Build(M / 2);
  realTwRe_.resize(M / 4 + 1);
  realTwIm_.resize(M / 4 + 1);
  for (size_t k = 0; k <= M / 4; ++k) {
    std::tie(realTwRe_[k], realTwIm_[k]) = detail::UnitRoot(k, M);
  }
  // Both halves start on a cache line; the imaginary half is moved one more line along so
  // that equal indices of the two halves do not share the low address bits.
  scratch_.resize(2 * M + 24);
  const auto base = reinterpret_cast<uintptr_t>(scratch_.data());
  scratchAlign_ = ((64 - base % 64) % 64) / sizeof(double);
}

bool TFftPlan::Transform(std::span<double> re, std::span<double> im, bool forward) {
  if (re.size() != size_ || im.size() != size_) return false;
  double* scratch = scratch_.data() + scratchAlign_;
  const TransformArgs args{&full_, re.data(), im.data(), scratch, scratch + size_ + 8, forward};
#if TARVIK_FFT_WIDE
  if (wide_) {
    TransformWide(args);
    return true;
  }
#endif
  TransformBase(args);
  return true;
}

bool TFftPlan::ForwardReal(std::span<double> re, std::span<double> im) {
  if (re.size() != size_ || im.size() != size_) return false;
  if (size_ == 1) {
    im[0] = 0.0;
    return true;
  }
  double* scratch = scratch_.data() + scratchAlign_;
  const RealArgs args{&half_,    realTwRe_.data(), realTwIm_.data(),    re.data(),
                      im.data(), scratch,          scratch + size_ + 8, size_};
#if TARVIK_FFT_WIDE
  if (wide_) {
    ForwardRealWide(args);
    return true;
  }
#endif
  ForwardRealBase(args);
  return true;
}

bool FFT(std::span<double> re, std::span<double> im, bool forward) {
  if (re.size() != im.size()) return false;
  if (re.empty()) return true;
  if (!std::has_single_bit(re.size()) || re.size() > (size_t{1} << 31)) return false;
  TFftPlan plan(re.size());
  return plan.Transform(re, im, forward);
}

}  // namespace tarvik

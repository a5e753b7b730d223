#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace tarvik {

using TDoubleDynArray = std::vector<double>;

// A complex signal is two arrays of equal length M, real and imaginary parts. The forward
// transform is X[k] = (1/M)·Σ x[j]·e^(−2πi·jk/M); the inverse uses e^(+2πi·jk/M) and does not
// scale, so inverse(forward(x)) = x.

namespace detail {

// cos and sin of −2π·num/den.
std::pair<double, double> UnitRoot(size_t num, size_t den);

// Tables of one complex power-of-two transform on split arrays: a twiddle-free first pass of
// radix 2, 4 or 8 that also does the bit-reversal reordering, then radix-4 passes.
struct FftCore {
  size_t n = 0;
  int firstRadix = 1;              // 1 (n = 1), 2, 4 or 8
  std::vector<uint32_t> firstDst;  // first-pass block q -> output block (bit-reversed q)
  // Twiddles W^j, W^2j, W^3j (W = e^(−2πi/4h), j < h) of every radix-4 pass, pass after pass.
  std::vector<double> w1r, w1i, w2r, w2i, w3r, w3i;
  std::vector<size_t> passOffsets;
  std::vector<size_t> passQuarters;  // h of each pass: it joins blocks of h into blocks of 4h

  void Build(size_t size);
};

}  // namespace detail

// Which kernels a fast-transform plan runs: the fastest the processor supports, or the portable
// ones every processor runs (both give the same values within rounding).
enum class TFftKernels { kFastest, kPortable };

// Fast transform for one power-of-two length. Holds its twiddle tables and scratch
// space, so repeated transforms allocate nothing; one plan serves one thread at a time.
class TFftPlan {
 public:
  // M must be a power of two (1, 2, 4, ... 2^31); otherwise throws std::invalid_argument.
  explicit TFftPlan(size_t M, TFftKernels kernels = TFftKernels::kFastest);

  size_t Size() const { return size_; }

  // Transforms re/im (each of Size() values) in place. Returns false, changing nothing, when
  // the arrays are not of the plan's length.
  bool Transform(std::span<double> re, std::span<double> im, bool forward);

  // Forward transform of a real signal: re holds the signal on entry (im is not read), and on
  // return re/im hold all M lines of X, the same values Transform gives for a zero imaginary
  // part. About twice as fast as Transform. Returns false when the lengths differ from Size().
  bool ForwardReal(std::span<double> re, std::span<double> im);

 private:
  size_t size_ = 0;
  bool wide_ = false;                        // the processor runs the 256-bit kernels
  detail::FftCore full_;                     // length M, for Transform
  detail::FftCore half_;                     // length M/2, for ForwardReal
  std::vector<double> realTwRe_, realTwIm_;  // e^(−2πik/M), k = 0..M/4
  std::vector<double> scratch_;
  size_t scratchAlign_ = 0;  // scratch_ index of the cache-line aligned real half
};

// Ordinary discrete transform for any length M >= 1, with the angle of term j·k reduced
// exactly (j·k mod M) into a table of M cosines and sines computed once per plan.
class TDftPlan {
 public:
  explicit TDftPlan(size_t M);

  size_t Size() const { return size_; }

  // Transforms re/im in place; false, changing nothing, when their lengths differ from Size().
  bool Transform(std::span<double> re, std::span<double> im, bool forward);

 private:
  size_t size_ = 0;
  std::vector<double> cos_, sin_;  // cos and sin of 2πm/M, m = 0..M-1
  std::vector<double> outRe_, outIm_;
};

// One-off transforms (a plan is built per call). FFT needs a power-of-two length. Both return
// false, changing nothing, when re and im differ in length or (FFT) the length is not a power
// of two; an empty signal is left as it is.
bool FFT(std::span<double> re, std::span<double> im, bool forward);
bool DFT(std::span<double> re, std::span<double> im, bool forward);

// One-sided spectra of a forward transform X of length M: M div 2 + 1 values, value k at
// frequency k·fs/M. Amplitude |X[k]|·M/fs, power |X[k]|²·M/fs; every value is doubled for its
// mirror image except the first and, for an even M, the last (the Nyquist line). Both take only
// re/im[0 .. M div 2], so a caller may pass M.
TDoubleDynArray AmplitudeSpectrum(std::span<const double> re, std::span<const double> im,
                                  double fs);
TDoubleDynArray PowerSpectrum(std::span<const double> re, std::span<const double> im, double fs);
// The same into a caller's array of M div 2 + 1 values (nothing is written when it differs).
bool AmplitudeSpectrum(std::span<const double> re, std::span<const double> im, double fs,
                       std::span<double> out);
bool PowerSpectrum(std::span<const double> re, std::span<const double> im, double fs,
                   std::span<double> out);

// Frequency of line k of an M-point transform at sampling rate fs.
double LineFrequency(int64_t k, int64_t M, double fs);

// Arithmetic mean of values[first..last]; last < 0 means the last entry. The range is limited
// to the array; an empty range gives 0.
double Mean(std::span<const int32_t> values, int64_t first, int64_t last);

struct TMinMax {
  int32_t Min = 0;
  int32_t Max = 0;
};
// Smallest and largest of values[first..last]; last < 0 means the last entry. The range is
// limited to the array; an empty range gives {0, 0}.
TMinMax MinMax(std::span<const int32_t> values, int64_t first, int64_t last);

// Sorts ascending in place (quicksort with the middle pivot; recursion depth stays logarithmic).
void Sort(std::span<double> values);

// Median of values, sorted first when sortFirst (the array is assumed sorted otherwise): the
// middle value, or the mean of the two middle values for an even count; 0 for an empty array.
double Median(std::span<double> values, bool sortFirst);

}  // namespace tarvik

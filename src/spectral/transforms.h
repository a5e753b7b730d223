#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct fftw_plan_s;

namespace tarvik {

using TDoubleDynArray = std::vector<double>;

// A complex signal is two arrays of equal length M, real and imaginary parts. The forward
// transform is X[k] = (1/M)·Σ x[j]·e^(−2πi·jk/M); the inverse uses e^(+2πi·jk/M) and does not
// scale, so inverse(forward(x)) = x.

// The transforms run FFTW's plans, made once per length and kept for the whole process; any
// number of transform objects may run on any threads at once, each object on one thread at a
// time.

// Forward transform of a real signal of any length M >= 1: lines 0..M div 2 of
// Σ x[j]·e^(−2πi·jk/M), not scaled. The object owns its input and output arrays; it may hold
// several inputs, all transformed by the same plan, so that signals prepared together (the
// channels of one segment) are transformed alike.
class TRealTransform {
 public:
  // transforms: how many transforms of this length the caller is about to run. Once a process
  // has announced enough of them for one length (a long run), the transforms of that length
  // made from then on run a plan measured on this machine, about a tenth faster. inputs: how
  // many input arrays the object holds (at least one). M above 2^40 or 0 throws
  // std::invalid_argument.
  explicit TRealTransform(size_t M, int64_t transforms = 0, size_t inputs = 1);
  ~TRealTransform();
  TRealTransform(const TRealTransform&) = delete;
  TRealTransform& operator=(const TRealTransform&) = delete;

  size_t Size() const { return size_; }
  size_t Inputs() const { return inputs_; }
  // The M values of input `which` (0 at first; a `which` past the last names the last);
  // Execute reads them and leaves them as they are.
  std::span<double> Input(size_t which = 0) {
    return {in_ + std::min(which, inputs_ - 1) * stride_, size_};
  }
  // Transforms input `which` (named as by Input): M div 2 + 1 lines as real, imaginary pairs
  // (2·(M div 2 + 1) values, valid until the next Execute).
  std::span<const double> Execute(size_t which = 0);

 private:
  size_t size_ = 0;
  size_t inputs_ = 1;
  size_t stride_ = 0;  // distance between the inputs: whole cache lines, so all align alike
  fftw_plan_s* plan_ = nullptr;
  double* in_ = nullptr;
  double* out_ = nullptr;
};

// Discrete transform of a complex signal of any length M >= 0, forward scaled by 1/M as above.
class TDftPlan {
 public:
  explicit TDftPlan(size_t M);
  ~TDftPlan();
  TDftPlan(const TDftPlan&) = delete;
  TDftPlan& operator=(const TDftPlan&) = delete;

  size_t Size() const { return size_; }

  // Transforms re/im in place; false, changing nothing, when their lengths differ from Size().
  bool Transform(std::span<double> re, std::span<double> im, bool forward);

 private:
  size_t size_ = 0;
  fftw_plan_s* plan_ = nullptr;
  size_t stride_ = 0;
  double* buffer_ = nullptr;  // input and output, real and imaginary parts, stride_ apart
};

// Transforms of one power-of-two length.
class TFftPlan {
 public:
  // M must be a power of two (1, 2, 4, ... 2^31); otherwise throws std::invalid_argument.
  explicit TFftPlan(size_t M);

  size_t Size() const { return real_.Size(); }

  // Transforms re/im (each of Size() values) in place. Returns false, changing nothing, when
  // the arrays are not of the plan's length.
  bool Transform(std::span<double> re, std::span<double> im, bool forward);

  // Forward transform of a real signal: re holds the signal on entry (im is not read), and on
  // return re/im hold all M lines of X, the same values Transform gives for a zero imaginary
  // part. Returns false when the lengths differ from Size().
  bool ForwardReal(std::span<double> re, std::span<double> im);

 private:
  TDftPlan complex_;
  TRealTransform real_;
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
double Median(std::span<double> values, bool sort_first);

}  // namespace tarvik

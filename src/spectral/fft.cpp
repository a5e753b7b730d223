// The Fourier transforms, by FFTW. Every transform object owns its arrays (fftw_malloc'd, so
// their alignment is the one the plans were made for) and runs a shared plan on them through
// FFTW's new-array execute functions, which may be called from any number of threads at once.
#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#include "spectral/transforms.h"

namespace tarvik {

namespace {

// Distance between the arrays of a split-array transform of length n: whole cache lines, so that
// each array is aligned as the first.
size_t SplitStride(size_t n) {
  return (n + 7) / 8 * 8;
}

// The plans of the process, one per kind and length, made on first use and kept until exit.
//
// This is the one shared object of the transforms, on purpose: FFTW's planner is itself one
// process-wide state that only one thread at a time may use, so the mutex that guards plan
// making has to be process-wide whatever owns the plans; and a plan, once made, is never
// changed, and executing it on other arrays is safe from any thread. Keeping the plans here
// rather than in the engine's objects lets every record and every worker thread of a run use
// the plan made once for its length. The values a transform gives depend on the cache only
// through which plan runs it, and then within rounding.
//
// A plan is made with FFTW_ESTIMATE, which is instantaneous. FFTW_MEASURE times candidate
// algorithms on this machine (a quarter to a third of a second for 8192 points) for a plan
// about a tenth faster, which pays off only after some hundred thousand segments; the
// real-input transform of a length is therefore measured once the transforms announced for it
// reach kMeasureAfterSamples transformed samples, and from then on every new transform object
// of that length gets the measured plan. Measured plans are not reproducible from process to
// process (the timings choose), so short runs, tests among them, keep the estimated ones.
class FftwPlans {
 public:
  enum class Kind { kRealForward, kSplitForward };

  static FftwPlans& Instance() {
    static FftwPlans plans;
    return plans;
  }

  // The plan for transforms of length n, counting `transforms` more of them.
  fftw_plan Get(Kind kind, size_t n, int64_t transforms) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& e = entries_[{kind, n}];
    if (transforms > 0) {
      const uint64_t samples = static_cast<uint64_t>(transforms) * n;
      const bool overflow = n != 0 && samples / n != static_cast<uint64_t>(transforms);
      e.Samples = overflow || e.Samples > kMax - samples ? kMax : e.Samples + samples;
    }
    if (kind == Kind::kRealForward && e.Samples >= kMeasureAfterSamples) {
      if (e.Measured == nullptr) e.Measured = Make(kind, n, FFTW_MEASURE);
      return e.Measured;
    }
    if (e.Estimated == nullptr) e.Estimated = Make(kind, n, FFTW_ESTIMATE);
    return e.Estimated;
  }

  ~FftwPlans() {
    for (auto& [key, e] : entries_) {
      if (e.Estimated != nullptr) fftw_destroy_plan(e.Estimated);
      if (e.Measured != nullptr) fftw_destroy_plan(e.Measured);
    }
  }

 private:
  static constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  // About 130 000 transforms of 8192 points: six weeks of three channels at 100 Hz.
  static constexpr uint64_t kMeasureAfterSamples = uint64_t{1} << 30;

  struct Entry {
    fftw_plan Estimated = nullptr;
    fftw_plan Measured = nullptr;  // kept beside the estimated one, which others may still run
    uint64_t Samples = 0;          // transformed samples announced for this length
  };

  // Plans on arrays of its own (measuring overwrites them); the transforms run the plan on
  // theirs, allocated alike.
  static fftw_plan Make(Kind kind, size_t n, unsigned flags) {
    const fftw_iodim64 dim{static_cast<ptrdiff_t>(n), 1, 1};
    fftw_plan plan = nullptr;
    if (kind == Kind::kRealForward) {
      double* in = fftw_alloc_real(n);
      fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
      if (in != nullptr && out != nullptr) {
        plan = fftw_plan_guru64_dft_r2c(1, &dim, 0, nullptr, in, out, flags | FFTW_PRESERVE_INPUT);
      }
      fftw_free(in);
      fftw_free(out);
    } else {
      // Split arrays laid out as TDftPlan lays out its own: a plan may only run on arrays whose
      // imaginary parts lie as far from the real parts as those it was made on.
      const size_t stride = SplitStride(n);
      double* buffer = fftw_alloc_real(4 * stride);
      if (buffer != nullptr) {
        plan = fftw_plan_guru64_split_dft(1, &dim, 0, nullptr, buffer, buffer + stride,
                                          buffer + 2 * stride, buffer + 3 * stride,
                                          flags | FFTW_PRESERVE_INPUT);
      }
      fftw_free(buffer);
    }
    if (plan == nullptr) throw std::bad_alloc();
    return plan;
  }

  std::mutex mutex_;
  std::map<std::pair<Kind, size_t>, Entry> entries_;
};

template <class T>
T* Allocate(size_t count) {
  void* p = fftw_malloc(count * sizeof(T));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

// FFTW takes lengths as ptrdiff_t; the transforms here stop well short of that.
constexpr size_t kMaxLength = size_t{1} << 40;

}  // namespace

// ---------------------------------------------------------------------------------------------

TRealTransform::TRealTransform(size_t M, int64_t transforms, size_t inputs)
    : size_(M), inputs_(std::max<size_t>(inputs, 1)), stride_(SplitStride(M)) {
  if (M == 0 || M > kMaxLength) {
    throw std::invalid_argument("transform length must be from 1 to 2^40");
  }
  if (inputs_ > kMaxLength / stride_) throw std::bad_alloc();
  plan_ = FftwPlans::Instance().Get(FftwPlans::Kind::kRealForward, M, transforms);
  in_ = Allocate<double>(inputs_ * stride_);
  try {
    out_ = Allocate<double>(2 * (M / 2 + 1));
  } catch (...) {
    fftw_free(in_);
    throw;
  }
  std::memset(in_, 0, inputs_ * stride_ * sizeof(double));
}

TRealTransform::~TRealTransform() {
  fftw_free(in_);
  fftw_free(out_);
}

std::span<const double> TRealTransform::Execute(size_t which) {
  fftw_execute_dft_r2c(plan_, in_ + std::min(which, inputs_ - 1) * stride_,
                       reinterpret_cast<fftw_complex*>(out_));
  return {out_, 2 * (size_ / 2 + 1)};
}

// ---------------------------------------------------------------------------------------------

TDftPlan::TDftPlan(size_t M) : size_(M) {
  if (M > kMaxLength) throw std::invalid_argument("transform length must be at most 2^40");
  if (M == 0) return;
  plan_ = FftwPlans::Instance().Get(FftwPlans::Kind::kSplitForward, M, 0);
  stride_ = SplitStride(M);
  buffer_ = Allocate<double>(4 * stride_);
}

TDftPlan::~TDftPlan() {
  fftw_free(buffer_);
}

bool TDftPlan::Transform(std::span<double> re, std::span<double> im, bool forward) {
  const size_t M = size_;
  if (re.size() != M || im.size() != M) return false;
  if (M == 0) return true;
  // The inverse is the forward transform with real and imaginary parts exchanged on both
  // sides; the parts are exchanged as they are copied, so that the plan always sees its own
  // layout.
  double* in = buffer_;
  double* out = buffer_ + 2 * stride_;
  std::memcpy(forward ? in : in + stride_, re.data(), M * sizeof(double));
  std::memcpy(forward ? in + stride_ : in, im.data(), M * sizeof(double));
  fftw_execute_split_dft(plan_, in, in + stride_, out, out + stride_);
  const double* out_re = forward ? out : out + stride_;
  const double* out_im = forward ? out + stride_ : out;
  const double scale = forward ? 1.0 / static_cast<double>(M) : 1.0;
  for (size_t k = 0; k < M; ++k) re[k] = out_re[k] * scale, im[k] = out_im[k] * scale;
  return true;
}

bool DFT(std::span<double> re, std::span<double> im, bool forward) {
  if (re.size() != im.size()) return false;
  if (re.empty()) return true;
  TDftPlan plan(re.size());
  return plan.Transform(re, im, forward);
}

// ---------------------------------------------------------------------------------------------

namespace {

size_t PowerOfTwo(size_t M) {
  if (M == 0 || !std::has_single_bit(M) || M > (size_t{1} << 31)) {
    throw std::invalid_argument("FFT length must be a power of two");
  }
  return M;
}

}  // namespace

TFftPlan::TFftPlan(size_t M) : complex_(PowerOfTwo(M)), real_(M) {}

bool TFftPlan::Transform(std::span<double> re, std::span<double> im, bool forward) {
  return complex_.Transform(re, im, forward);
}

bool TFftPlan::ForwardReal(std::span<double> re, std::span<double> im) {
  const size_t M = real_.Size();
  if (re.size() != M || im.size() != M) return false;
  std::memcpy(real_.Input().data(), re.data(), M * sizeof(double));
  const std::span<const double> x = real_.Execute();
  const double scale = 1.0 / static_cast<double>(M);
  for (size_t k = 0; k <= M / 2; ++k) re[k] = x[2 * k] * scale, im[k] = x[2 * k + 1] * scale;
  // The lines above M/2 are the conjugates of those below.
  for (size_t k = M / 2 + 1; k < M; ++k) re[k] = re[M - k], im[k] = -im[M - k];
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

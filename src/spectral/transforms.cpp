#include "spectral/transforms.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tarvik {

namespace {

template <bool kPower>
bool OneSided(std::span<const double> re, std::span<const double> im, double fs,
              std::span<double> out) {
  const size_t M = re.size();
  const size_t L = M / 2 + 1;
  if (M == 0 || im.size() != M || out.size() != L) return false;
  const double factor = static_cast<double>(M) / fs;
  for (size_t k = 0; k < L; ++k) {
    const double squares = re[k] * re[k] + im[k] * im[k];
    double v = squares;
    if constexpr (!kPower) {
      // While the squares neither overflow nor leave the normal range, the square root of their
      // sum is the modulus within rounding at a fraction of the cost of hypot.
      v = squares >= std::numeric_limits<double>::min() &&
                  squares <= std::numeric_limits<double>::max()
              ? std::sqrt(squares)
              : std::hypot(re[k], im[k]);
    }
    out[k] = v * factor;
  }
  // Line 0 and, for an even M, the Nyquist line M/2 have no mirror image among the negative
  // frequencies; every other line stands for itself and its mirror. For an odd M the last line
  // lies below the Nyquist frequency and line M − k mirrors it like any other.
  const size_t mirrored_end = M % 2 == 0 ? L - 1 : L;
  for (size_t k = 1; k < mirrored_end; ++k) out[k] *= 2.0;
  return true;
}

}  // namespace

bool AmplitudeSpectrum(std::span<const double> re, std::span<const double> im, double fs,
                       std::span<double> out) {
  return OneSided<false>(re, im, fs, out);
}

bool PowerSpectrum(std::span<const double> re, std::span<const double> im, double fs,
                   std::span<double> out) {
  return OneSided<true>(re, im, fs, out);
}

TDoubleDynArray AmplitudeSpectrum(std::span<const double> re, std::span<const double> im,
                                  double fs) {
  if (re.empty() || re.size() != im.size()) return {};
  TDoubleDynArray out(re.size() / 2 + 1);
  OneSided<false>(re, im, fs, out);
  return out;
}

TDoubleDynArray PowerSpectrum(std::span<const double> re, std::span<const double> im, double fs) {
  if (re.empty() || re.size() != im.size()) return {};
  TDoubleDynArray out(re.size() / 2 + 1);
  OneSided<true>(re, im, fs, out);
  return out;
}

double LineFrequency(int64_t k, int64_t M, double fs) {
  return static_cast<double>(k) * fs / static_cast<double>(M);
}

namespace {

// Limits first..last (last < 0: the last entry) to the array; false when nothing is left.
bool ClampRange(size_t size, int64_t& first, int64_t& last) {
  const auto n = static_cast<int64_t>(size);
  if (last < 0 || last >= n) last = n - 1;
  if (first < 0) first = 0;
  return first <= last;
}

}  // namespace

double Mean(std::span<const int32_t> values, int64_t first, int64_t last) {
  if (!ClampRange(values.size(), first, last)) return 0.0;
  int64_t sum = 0;
  for (int64_t i = first; i <= last; ++i) sum += values[static_cast<size_t>(i)];
  return static_cast<double>(sum) / static_cast<double>(last - first + 1);
}

TMinMax MinMax(std::span<const int32_t> values, int64_t first, int64_t last) {
  if (!ClampRange(values.size(), first, last)) return {};
  TMinMax r{values[static_cast<size_t>(first)], values[static_cast<size_t>(first)]};
  for (int64_t i = first + 1; i <= last; ++i) {
    const int32_t v = values[static_cast<size_t>(i)];
    r.Min = std::min(r.Min, v);
    r.Max = std::max(r.Max, v);
  }
  return r;
}

namespace {

// Hoare partition around the middle element; recursion goes to the smaller side and the
// larger side is handled by the loop, so the depth stays within log2 of the length. The scans
// compare with < and > only, so NaN entries stop them early instead of letting them run off.
void QuickSort(double* a, ptrdiff_t first, ptrdiff_t last) {
  while (first < last) {
    ptrdiff_t i = first;
    ptrdiff_t j = last;
    const double pivot = a[last - (last - first) / 2];
    do {
      while (a[i] < pivot) ++i;
      while (a[j] > pivot) --j;
      if (i <= j) {
        std::swap(a[i], a[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - first < last - i) {
      QuickSort(a, first, j);
      first = i;
    } else {
      QuickSort(a, i, last);
      last = j;
    }
  }
}

}  // namespace

void Sort(std::span<double> values) {
  if (values.size() < 2) return;
  QuickSort(values.data(), 0, static_cast<ptrdiff_t>(values.size()) - 1);
}

double Median(std::span<double> values, bool sort_first) {
  if (values.empty()) return 0.0;
  if (sort_first) Sort(values);
  const size_t h = values.size() / 2;
  if (values.size() % 2 == 1) return values[h];
  return (values[h - 1] + values[h]) / 2.0;
}

}  // namespace tarvik

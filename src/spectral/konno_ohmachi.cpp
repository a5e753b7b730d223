#include "spectral/konno_ohmachi.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvik {

std::vector<double> LogGrid(double fmin, double fmax, int n) {
  std::vector<double> grid;
  if (!std::isfinite(fmin) || !std::isfinite(fmax) || fmin <= 0.0 || fmax < fmin || n < 1) {
    return grid;
  }
  grid.resize(static_cast<size_t>(n));
  const double lo = std::log(fmin);
  const double span = std::log(fmax) - lo;
  for (int i = 0; i < n; ++i) {
    grid[static_cast<size_t>(i)] = n == 1 ? fmin : std::exp(lo + span * i / (n - 1));
  }
  grid.front() = fmin;
  if (n > 1) grid.back() = fmax;
  return grid;
}

double KonnoOhmachiWeight(double f, double fc, double b) {
  if (!(f > 0.0) || !(fc > 0.0)) return 0.0;
  const double x = b * std::log10(f / fc);
  if (std::fabs(x) >= std::numbers::pi) return 0.0;
  if (std::fabs(x) < 1e-8) return 1.0;  // sin x / x = 1 − x²/6 + …, 1 to double precision
  const double s = std::sin(x) / x;
  const double s2 = s * s;
  return s2 * s2;
}

std::span<const double> TSpectralSmoother::Weights(size_t g) const {
  return std::span<const double>(weights_).subspan(offset_[g], offset_[g + 1] - offset_[g]);
}

void TSpectralSmoother::AddPoint(size_t first, std::vector<double> weights) {
  first_.push_back(first);
  weights_.insert(weights_.end(), weights.begin(), weights.end());
  offset_.push_back(weights_.size());
}

void TSpectralSmoother::AddInterpolated(double line_step, double fc) {
  if (lines_ == 0) {
    AddPoint(0, {});
    return;
  }
  const double pos = std::clamp(fc / line_step, 0.0, static_cast<double>(lines_ - 1));
  const auto k = std::min(static_cast<size_t>(pos), lines_ - 1);
  const double t = pos - static_cast<double>(k);
  if (k + 1 >= lines_ || t == 0.0) {
    AddPoint(k, {1.0});
  } else {
    AddPoint(k, {1.0 - t, t});
  }
}

TSpectralSmoother TSpectralSmoother::Interpolation(double line_step, size_t lines,
                                                   std::span<const double> grid) {
  TSpectralSmoother s;
  s.lines_ = lines;
  for (double fc : grid) s.AddInterpolated(line_step, fc);
  return s;
}

TSpectralSmoother TSpectralSmoother::KonnoOhmachi(double line_step, size_t lines,
                                                  std::span<const double> grid, double b) {
  TSpectralSmoother s;
  s.lines_ = lines;
  // The main lobe of the window centred on fc spans fc·10^(±π/b).
  const double reach = std::pow(10.0, std::numbers::pi / b);
  for (double fc : grid) {
    const double lo = std::max(1.0, std::ceil(fc / reach / line_step));
    const double hi =
        std::min(static_cast<double>(lines) - 1.0, std::floor(fc * reach / line_step));
    std::vector<double> w;
    double sum = 0.0;
    size_t first = 0;
    if (std::isfinite(lo) && std::isfinite(hi) && lo <= hi) {
      first = static_cast<size_t>(lo);
      const auto last = static_cast<size_t>(hi);
      w.reserve(last - first + 1);
      for (size_t k = first; k <= last; ++k) {
        w.push_back(KonnoOhmachiWeight(static_cast<double>(k) * line_step, fc, b));
        sum += w.back();
      }
    }
    if (!(sum > 0.0)) {
      s.AddInterpolated(line_step, fc);
      continue;
    }
    for (double& v : w) v /= sum;
    s.AddPoint(first, std::move(w));
  }
  return s;
}

bool TSpectralSmoother::Apply(std::span<const double> in, std::span<double> out) const {
  if (in.size() != lines_ || out.size() != first_.size()) return false;
  for (size_t g = 0; g < first_.size(); ++g) {
    const double* x = in.data() + first_[g];
    const double* w = weights_.data() + offset_[g];
    const size_t n = offset_[g + 1] - offset_[g];
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += w[i] * x[i];
    out[g] = sum;
  }
  return true;
}

bool TSpectralSmoother::Apply(std::span<const double> in1, std::span<const double> in2,
                              std::span<double> out1, std::span<double> out2) const {
  if (in1.size() != lines_ || in2.size() != lines_ || out1.size() != first_.size() ||
      out2.size() != first_.size()) {
    return false;
  }
  // Four grid points at a time: eight sums in flight instead of two keep the processor's
  // arithmetic units busy. Each sum still adds its terms one by one in line order, so the
  // values are the same to the last bit as those of one point at a time.
  constexpr size_t kPoints = 4;
  const size_t points = first_.size();
  size_t g = 0;
  for (; g + kPoints <= points; g += kPoints) {
    const double* x[kPoints];
    const double* y[kPoints];
    const double* w[kPoints];
    size_t n[kPoints];
    for (size_t k = 0; k < kPoints; ++k) {
      x[k] = in1.data() + first_[g + k];
      y[k] = in2.data() + first_[g + k];
      w[k] = weights_.data() + offset_[g + k];
      n[k] = offset_[g + k + 1] - offset_[g + k];
    }
    const size_t common = std::min({n[0], n[1], n[2], n[3]});
    double sx0 = 0.0, sx1 = 0.0, sx2 = 0.0, sx3 = 0.0;
    double sy0 = 0.0, sy1 = 0.0, sy2 = 0.0, sy3 = 0.0;
    for (size_t i = 0; i < common; ++i) {
      sx0 += w[0][i] * x[0][i];
      sy0 += w[0][i] * y[0][i];
      sx1 += w[1][i] * x[1][i];
      sy1 += w[1][i] * y[1][i];
      sx2 += w[2][i] * x[2][i];
      sy2 += w[2][i] * y[2][i];
      sx3 += w[3][i] * x[3][i];
      sy3 += w[3][i] * y[3][i];
    }
    double sx[kPoints] = {sx0, sx1, sx2, sx3};
    double sy[kPoints] = {sy0, sy1, sy2, sy3};
    for (size_t k = 0; k < kPoints; ++k) {
      for (size_t i = common; i < n[k]; ++i) {
        sx[k] += w[k][i] * x[k][i];
        sy[k] += w[k][i] * y[k][i];
      }
      out1[g + k] = sx[k];
      out2[g + k] = sy[k];
    }
  }
  for (; g < points; ++g) {
    const double* x = in1.data() + first_[g];
    const double* y = in2.data() + first_[g];
    const double* w = weights_.data() + offset_[g];
    const size_t n = offset_[g + 1] - offset_[g];
    double sx = 0.0, sy = 0.0;
    for (size_t i = 0; i < n; ++i) {
      sx += w[i] * x[i];
      sy += w[i] * y[i];
    }
    out1[g] = sx;
    out2[g] = sy;
  }
  return true;
}

}  // namespace tarvik

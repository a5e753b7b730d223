#pragma once

// Smoothing of a one-sided spectrum onto a logarithmic frequency grid. The smoothing is a
// linear map from the spectrum's lines to the grid points; each grid point reads only the run of
// lines its window reaches, so applying it costs the lines that matter, not lines × points.

#include <cstdint>
#include <span>
#include <vector>

namespace tarvik {

// n frequencies from fmin to fmax, equally spaced in log f (fmin alone when n is 1). Empty when
// fmin or fmax is not a finite number above 0, fmax < fmin, or n < 1.
std::vector<double> LogGrid(double fmin, double fmax, int n);

// The Konno–Ohmachi window of bandwidth b centred on fc (Konno & Ohmachi 1998):
//   W(f, fc) = [sin(b·log10(f/fc)) / (b·log10(f/fc))]^4, W(fc, fc) = 1,
// 0 outside its main lobe |b·log10(f/fc)| < π (the side lobes beyond the first zeros hold
// under 0.3 % of the window's weight) and for f or fc not above 0.
double KonnoOhmachiWeight(double f, double fc, double b);

// A sparse map from spectrum lines (line k at k·line_step Hz, k = 0..lines − 1) to grid points.
class TSpectralSmoother {
 public:
  TSpectralSmoother() = default;

  // Konno–Ohmachi smoothing: grid point fc gets Σ W(f_k, fc)·S_k / Σ W(f_k, fc) over the lines
  // k ≥ 1 of the window's main lobe. A grid point whose main lobe holds no line (it is narrower
  // than the line spacing there) is interpolated linearly between its neighbouring lines.
  static TSpectralSmoother KonnoOhmachi(double line_step, size_t lines,
                                        std::span<const double> grid, double b);
  // No smoothing: each grid point is interpolated linearly between its two neighbouring lines.
  static TSpectralSmoother Interpolation(double line_step, size_t lines,
                                         std::span<const double> grid);

  // out[g] for every grid point from the spectrum in (lines values). Returns false, changing
  // nothing, when the sizes do not fit.
  bool Apply(std::span<const double> in, std::span<double> out) const;
  // Two spectra in one pass over the weights.
  bool Apply(std::span<const double> in1, std::span<const double> in2, std::span<double> out1,
             std::span<double> out2) const;

  size_t GridSize() const { return first_.size(); }
  size_t Lines() const { return lines_; }
  // Weights held, summed over the grid points: the work of one Apply.
  size_t Entries() const { return weights_.size(); }
  // The first line and the weights grid point g reads.
  size_t FirstLine(size_t g) const { return first_[g]; }
  std::span<const double> Weights(size_t g) const;

 private:
  void AddPoint(size_t first, std::vector<double> weights);
  void AddInterpolated(double line_step, double fc);

  size_t lines_ = 0;
  std::vector<size_t> first_;
  std::vector<size_t> offset_{0};
  std::vector<double> weights_;
};

}  // namespace tarvik

#include "spectral/konno_ohmachi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarvik {
namespace {

constexpr double kStep = 0.01;   // Hz between lines
constexpr size_t kLines = 1001;  // 0..10 Hz

// A single line of 1 at 1.0 Hz (line 100), smoothed with b = 40: W(1.0, fc) over the sum of the
// main-lobe weights of lines 1..1000. Computed with numpy (weights of every line from the
// window formula, those with |b·log10(f/fc)| >= π set to 0, then w[100]/w.sum()).
struct SingleLineCase {
  double Fc;
  double Expected;
};
constexpr SingleLineCase kSingleLine[] = {{0.95, 0.05076782428115937},
                                          {1.0, 0.0831004325469275},
                                          {1.03, 0.06756831401633821},
                                          {1.08, 0.021566583246179986},
                                          {0.5, 0.0}};

TEST(KonnoOhmachi, SingleLineMatchesIndependentWeights) {
  std::vector<double> spectrum(kLines, 0.0);
  spectrum[100] = 1.0;
  std::vector<double> grid;
  for (const auto& c : kSingleLine) grid.push_back(c.Fc);
  const TSpectralSmoother s = TSpectralSmoother::KonnoOhmachi(kStep, kLines, grid, 40.0);
  std::vector<double> out(grid.size());
  ASSERT_TRUE(s.Apply(spectrum, out));
  for (size_t i = 0; i < grid.size(); ++i) {
    EXPECT_NEAR(out[i], kSingleLine[i].Expected, 1e-12) << grid[i];
  }
}

TEST(KonnoOhmachi, ConstantSpectrumStaysConstantUpToTheLastLine) {
  // Near 10 Hz the window is cut by the end of the lines; the weights still sum to 1. Line 0
  // (0 Hz) never takes part, so its value does not matter.
  std::vector<double> spectrum(kLines, 3.5);
  spectrum[0] = 1e9;
  for (double b : {10.0, 40.0, 100.0}) {
    const std::vector<double> grid = LogGrid(0.05, 10.0, 64);
    const TSpectralSmoother s = TSpectralSmoother::KonnoOhmachi(kStep, kLines, grid, b);
    std::vector<double> out(grid.size());
    ASSERT_TRUE(s.Apply(spectrum, out));
    for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(out[i], 3.5, 1e-12) << b << " " << grid[i];
  }
}

TEST(KonnoOhmachi, WorkIsTheLinesUnderEachMainLobe) {
  // b = 40: the main lobe reaches fc·10^(±π/40), about 0.835..1.198·fc, so a grid point at fc
  // reads about 0.363·fc/step lines, never the whole spectrum.
  const std::vector<double> grid = LogGrid(0.1, 10.0, 256);
  const TSpectralSmoother s = TSpectralSmoother::KonnoOhmachi(kStep, kLines, grid, 40.0);
  double expected = 0.0;
  for (double fc : grid) expected += std::max(1.0, 0.363 * fc / kStep);
  EXPECT_LT(static_cast<double>(s.Entries()), 1.1 * expected + 2.0 * grid.size());
  EXPECT_LT(s.Entries(), grid.size() * kLines / 10);
  // At 5 Hz: lines 418..599.
  const std::vector<double> at5 = {5.0};
  const TSpectralSmoother five = TSpectralSmoother::KonnoOhmachi(kStep, kLines, at5, 40.0);
  EXPECT_EQ(five.FirstLine(0), 418u);
  EXPECT_EQ(five.Weights(0).size(), 599u - 418u + 1u);
}

TEST(KonnoOhmachi, LobeNarrowerThanTheLinesIsInterpolated) {
  // With lines 1 Hz apart, the main lobe at 2.5 Hz (2.09..2.99 Hz) holds no line.
  std::vector<double> spectrum = {0.0, 1.0, 2.0, 4.0, 8.0};
  const std::vector<double> grid = {2.5};
  const TSpectralSmoother s = TSpectralSmoother::KonnoOhmachi(1.0, spectrum.size(), grid, 40.0);
  std::vector<double> out(1);
  ASSERT_TRUE(s.Apply(spectrum, out));
  EXPECT_NEAR(out[0], 3.0, 1e-12);
}

TEST(SpectralSmoother, InterpolationIsExactForLinearSpectraAndRefusesWrongSizes) {
  std::vector<double> spectrum(kLines);
  for (size_t k = 0; k < kLines; ++k) spectrum[k] = 2.0 + 3.0 * kStep * static_cast<double>(k);
  const std::vector<double> grid = LogGrid(0.013, 10.0, 40);
  const TSpectralSmoother s = TSpectralSmoother::Interpolation(kStep, kLines, grid);
  std::vector<double> out(grid.size());
  ASSERT_TRUE(s.Apply(spectrum, out));
  for (size_t i = 0; i < grid.size(); ++i) EXPECT_NEAR(out[i], 2.0 + 3.0 * grid[i], 1e-9);
  std::vector<double> short_out(3);
  EXPECT_FALSE(s.Apply(spectrum, short_out));
  EXPECT_FALSE(s.Apply(std::vector<double>(10), out));
}

TEST(LogGrid, EndsExactlyAndRefusesNonsense) {
  const std::vector<double> g = LogGrid(0.1, 50.0, 256);
  ASSERT_EQ(g.size(), 256u);
  EXPECT_EQ(g.front(), 0.1);
  EXPECT_EQ(g.back(), 50.0);
  EXPECT_NEAR(g[1] / g[0], std::pow(500.0, 1.0 / 255.0), 1e-12);
  EXPECT_TRUE(LogGrid(0.0, 1.0, 5).empty());
  EXPECT_TRUE(LogGrid(2.0, 1.0, 5).empty());
  EXPECT_TRUE(LogGrid(1.0, NAN, 5).empty());
  EXPECT_TRUE(LogGrid(1.0, 2.0, 0).empty());
}

}  // namespace
}  // namespace tarvik

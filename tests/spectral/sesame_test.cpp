#include "spectral/sesame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "spectral/konno_ohmachi.h"

namespace tarvik {
namespace {

// A curve designed around a peak: 1 far from f0, A0 at f0, a Lorentzian in log f between, with
// the spread σ_ln everywhere; 3.0 Hz lies on no grid point, so f0 is the grid point nearest it.
struct Designed {
  std::vector<double> grid = LogGrid(0.1, 50.0, 256);
  std::vector<double> mean, sigma;
  size_t peak = 0;
  double lw = 60.0;
  int windows = 30;
  double sigma_f = 0.05;

  Designed(double f0, double a0, double sigma_ln) {
    peak = 0;
    for (size_t i = 0; i < grid.size(); ++i) {
      if (std::fabs(std::log(grid[i] / f0)) < std::fabs(std::log(grid[peak] / f0))) peak = i;
    }
    for (double f : grid) {
      const double x = std::log(f / grid[peak]) / 0.15;
      mean.push_back(1.0 + (a0 - 1.0) / (1.0 + x * x));
    }
    sigma.assign(grid.size(), sigma_ln);
  }
  double f0() const { return grid[peak]; }
  TSesameResult Evaluate() const {
    TSesameInput in;
    in.Grid = grid;
    in.Mean = mean;
    in.SigmaLn = sigma;
    in.Peak = peak;
    in.WindowSeconds = lw;
    in.Windows = windows;
    in.SigmaF = sigma_f;
    in.HasSigmaF = windows >= 2;
    in.BandLo = 0;
    in.BandHi = grid.size() - 1;
    return EvaluateSesame(in);
  }
};

constexpr double kJustAbove = 1.0 + 1e-9;
constexpr double kJustBelow = 1.0 - 1e-9;

TEST(Sesame, DesignedClearPeakPassesEveryCriterion) {
  const Designed d(3.0, 5.0, 0.2);
  const TSesameResult r = d.Evaluate();
  EXPECT_EQ(r.ReliablePassed, 3);
  EXPECT_EQ(r.ClearPassed, 6);
  EXPECT_TRUE(r.Reliable());
  EXPECT_TRUE(r.Clear());
  for (const auto& c : r.Clarity) EXPECT_TRUE(c.Evaluated) << c.Id;
  EXPECT_EQ(r.Reliability[0].Value, d.f0());
  EXPECT_DOUBLE_EQ(r.Reliability[0].Threshold, 10.0 / 60.0);
  EXPECT_DOUBLE_EQ(r.Reliability[1].Value, 60.0 * 30 * d.f0());
}

TEST(Sesame, WindowLengthAndCyclesAtTheirThresholds) {
  Designed d(3.0, 5.0, 0.2);
  d.lw = 10.0 / d.f0() * kJustAbove;  // 10/lw just below f0
  EXPECT_TRUE(d.Evaluate().Reliability[0].Pass);
  d.lw = 10.0 / d.f0() * kJustBelow;
  EXPECT_FALSE(d.Evaluate().Reliability[0].Pass);
  d.lw = 10.0;
  d.windows = 7;  // nc = 10·7·f0 ≈ 210
  d.lw = 200.0 / (d.windows * d.f0()) * kJustAbove;
  EXPECT_TRUE(d.Evaluate().Reliability[1].Pass);
  d.lw = 200.0 / (d.windows * d.f0()) * kJustBelow;
  EXPECT_FALSE(d.Evaluate().Reliability[1].Pass);
}

TEST(Sesame, SpreadOverTheOctavesAroundF0) {
  // σA < 2 between f0/2 and 2·f0 (strictly inside); outside that range it is not looked at.
  for (double f0 : {3.0, 0.3}) {
    const double limit = f0 > 0.5 ? 2.0 : 3.0;
    Designed d(f0, 5.0, 0.1);
    const size_t near = d.peak + 20;  // f0·1.63
    d.sigma[near] = std::log(limit) - 1e-9;
    EXPECT_TRUE(d.Evaluate().Reliability[2].Pass) << f0;
    EXPECT_DOUBLE_EQ(d.Evaluate().Reliability[2].Threshold, limit);
    d.sigma[near] = std::log(limit);
    EXPECT_FALSE(d.Evaluate().Reliability[2].Pass) << f0;
    d.sigma[near] = 0.1;
    d.sigma[d.peak + 40] = 5.0;  // f0·2.66: outside
    EXPECT_TRUE(d.Evaluate().Reliability[2].Pass) << f0;
  }
}

TEST(Sesame, HalfAmplitudeBelowAndAboveF0) {
  // The designed curve falls far below A0/2; lift both flanks to exactly A0/2, then let one
  // point drop below.
  Designed d(3.0, 5.0, 0.2);
  for (size_t i = 0; i < d.grid.size(); ++i) {
    if (i != d.peak) d.mean[i] = std::max(d.mean[i], 2.5);
  }
  TSesameResult r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[0].Pass);
  EXPECT_FALSE(r.Clarity[1].Pass);
  EXPECT_DOUBLE_EQ(r.Clarity[0].Value, 2.5);
  EXPECT_DOUBLE_EQ(r.Clarity[0].Threshold, 2.5);
  const size_t below = d.peak - 50;  // f0/3.4: inside [f0/4, f0)
  const size_t above = d.peak + 50;  // f0·3.4: inside (f0, 4·f0]
  d.mean[below] = 2.5 * kJustBelow;
  d.mean[above] = 2.5 * kJustBelow;
  r = d.Evaluate();
  EXPECT_TRUE(r.Clarity[0].Pass);
  EXPECT_TRUE(r.Clarity[1].Pass);
  // Points beyond f0/4 and 4·f0 do not count.
  d.mean[below] = d.mean[above] = 2.5;
  d.mean[d.peak - 70] = d.mean[d.peak + 70] = 0.1;  // f0/5.5 and f0·5.5
  r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[0].Pass);
  EXPECT_FALSE(r.Clarity[1].Pass);
}

TEST(Sesame, PeakAmplitudeAtTwo) {
  Designed above(3.0, 2.0 * kJustAbove, 0.2);
  EXPECT_TRUE(above.Evaluate().Clarity[2].Pass);
  Designed at(3.0, 2.0, 0.2);
  EXPECT_FALSE(at.Evaluate().Clarity[2].Pass);
}

TEST(Sesame, PeaksOfTheSpreadCurvesWithinFivePercent) {
  // A large σ_ln at one grid point makes it the peak of A·σA. One grid step is 2.47 %, two are
  // 4.997 % (inside), three 7.6 % (outside).
  for (size_t steps : {1u, 2u, 3u}) {
    Designed d(3.0, 5.0, 0.2);
    d.sigma[d.peak + steps] = 1.5;
    const TSesameResult r = d.Evaluate();
    EXPECT_EQ(r.Clarity[3].Pass, steps < 3) << steps;
    EXPECT_NEAR(r.Clarity[3].Value, d.grid[d.peak + steps] / d.f0() - 1.0, 1e-12);
  }
  // No peak of A/σA (σ_ln growing so fast that A/σA falls everywhere): not evaluated, failed.
  Designed d(3.0, 1.2, 0.0);
  for (size_t i = 0; i < d.grid.size(); ++i) d.sigma[i] = 0.05 * static_cast<double>(i);
  const TSesameResult r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[3].Evaluated);
  EXPECT_FALSE(r.Clarity[3].Pass);
}

TEST(Sesame, FrequencyAndAmplitudeStabilityAtTheirThresholds) {
  Designed d(3.0, 5.0, 0.2);  // f0 ≥ 2 Hz: ε = 0.05·f0, θ = 1.58
  d.sigma_f = 0.05 * d.f0() * kJustBelow;
  d.sigma[d.peak] = std::log(1.58) - 1e-9;
  TSesameResult r = d.Evaluate();
  EXPECT_TRUE(r.Clarity[4].Pass);
  EXPECT_TRUE(r.Clarity[5].Pass);
  EXPECT_DOUBLE_EQ(r.Clarity[4].Threshold, 0.05 * d.f0());
  EXPECT_DOUBLE_EQ(r.Clarity[5].Threshold, 1.58);
  d.sigma_f = 0.05 * d.f0();
  d.sigma[d.peak] = std::log(1.58) + 1e-9;
  r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[4].Pass);
  EXPECT_FALSE(r.Clarity[5].Pass);
}

TEST(Sesame, OneWindowLeavesTheSpreadCriteriaUntested) {
  Designed d(3.0, 5.0, 0.0);
  d.windows = 1;
  const TSesameResult r = d.Evaluate();
  EXPECT_FALSE(r.Reliability[2].Evaluated);
  EXPECT_FALSE(r.Clarity[3].Evaluated);
  EXPECT_FALSE(r.Clarity[5].Evaluated);
  EXPECT_LE(r.ClearPassed, 3);
}

struct TableCase {
  double f0;
  double epsilon_factor;
  double theta;
};

class SesameTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(SesameTable, BandEdges) {
  const TableCase c = GetParam();
  const TSesameThresholds t = SesameThresholds(c.f0);
  EXPECT_DOUBLE_EQ(t.Epsilon, c.epsilon_factor * c.f0) << c.f0;
  EXPECT_DOUBLE_EQ(t.Theta, c.theta) << c.f0;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SesameTable,
    ::testing::Values(TableCase{0.05, 0.25, 3.0}, TableCase{0.19999, 0.25, 3.0},
                      TableCase{0.2, 0.20, 2.5}, TableCase{0.49999, 0.20, 2.5},
                      TableCase{0.5, 0.15, 2.0}, TableCase{0.99999, 0.15, 2.0},
                      TableCase{1.0, 0.10, 1.78}, TableCase{1.99999, 0.10, 1.78},
                      TableCase{2.0, 0.05, 1.58}, TableCase{30.0, 0.05, 1.58}));

TEST(HighestPeak, LocalMaximaOnly) {
  const std::vector<double> flat(10, 1.0);
  EXPECT_FALSE(HighestPeak(flat, 0, 9));
  const std::vector<double> rising = {1, 2, 3, 4, 5};
  EXPECT_FALSE(HighestPeak(rising, 0, 4));  // the end is no peak
  const std::vector<double> two = {1, 3, 1, 5, 1, 9};
  EXPECT_EQ(HighestPeak(two, 0, 5), 3u);  // 9 at the end does not count
  EXPECT_EQ(HighestPeak(two, 0, 2), 1u);  // band limits the search
  EXPECT_FALSE(HighestPeak(two, 4, 5));
  const std::vector<double> plateau = {1, 2, 2, 2, 1};
  EXPECT_EQ(HighestPeak(plateau, 0, 4), 1u);
  const std::vector<double> shelf = {1, 2, 2, 3};
  EXPECT_FALSE(HighestPeak(shelf, 0, 3));
  EXPECT_FALSE(HighestPeak(std::vector<double>{}, 0, 0));
  const std::vector<double> nan_curve = {1, NAN, 1};
  EXPECT_FALSE(HighestPeak(nan_curve, 0, 2));
}

}  // namespace
}  // namespace tarvik

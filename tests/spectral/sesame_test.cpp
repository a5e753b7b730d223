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
  std::vector<double> Grid = LogGrid(0.1, 50.0, 256);
  std::vector<double> Mean, Sigma;
  size_t Peak = 0;
  double Lw = 60.0;
  int Windows = 30;
  double SigmaF = 0.05;

  Designed(double f0, double a0, double sigma_ln) {
    Peak = 0;
    for (size_t i = 0; i < Grid.size(); ++i) {
      if (std::fabs(std::log(Grid[i] / f0)) < std::fabs(std::log(Grid[Peak] / f0))) Peak = i;
    }
    for (double f : Grid) {
      const double x = std::log(f / Grid[Peak]) / 0.15;
      Mean.push_back(1.0 + (a0 - 1.0) / (1.0 + x * x));
    }
    Sigma.assign(Grid.size(), sigma_ln);
  }
  double F0() const { return Grid[Peak]; }
  TSesameResult Evaluate() const {
    TSesameInput in;
    in.Grid = Grid;
    in.Mean = Mean;
    in.SigmaLn = Sigma;
    in.Peak = Peak;
    in.WindowSeconds = Lw;
    in.Windows = Windows;
    in.SigmaF = SigmaF;
    in.HasSigmaF = Windows >= 2;
    in.BandLo = 0;
    in.BandHi = Grid.size() - 1;
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
  EXPECT_EQ(r.Reliability[0].Value, d.F0());
  EXPECT_DOUBLE_EQ(r.Reliability[0].Threshold, 10.0 / 60.0);
  EXPECT_DOUBLE_EQ(r.Reliability[1].Value, 60.0 * 30 * d.F0());
}

TEST(Sesame, WindowLengthAndCyclesAtTheirThresholds) {
  Designed d(3.0, 5.0, 0.2);
  d.Lw = 10.0 / d.F0() * kJustAbove;  // 10/lw just below f0
  EXPECT_TRUE(d.Evaluate().Reliability[0].Pass);
  d.Lw = 10.0 / d.F0() * kJustBelow;
  EXPECT_FALSE(d.Evaluate().Reliability[0].Pass);
  d.Lw = 10.0;
  d.Windows = 7;  // nc = 10·7·f0 ≈ 210
  d.Lw = 200.0 / (d.Windows * d.F0()) * kJustAbove;
  EXPECT_TRUE(d.Evaluate().Reliability[1].Pass);
  d.Lw = 200.0 / (d.Windows * d.F0()) * kJustBelow;
  EXPECT_FALSE(d.Evaluate().Reliability[1].Pass);
}

TEST(Sesame, SpreadOverTheOctavesAroundF0) {
  // σA < 2 between f0/2 and 2·f0 (strictly inside); outside that range it is not looked at.
  for (double f0 : {3.0, 0.3}) {
    const double limit = f0 > 0.5 ? 2.0 : 3.0;
    Designed d(f0, 5.0, 0.1);
    const size_t near = d.Peak + 20;  // f0·1.63
    d.Sigma[near] = std::log(limit) - 1e-9;
    EXPECT_TRUE(d.Evaluate().Reliability[2].Pass) << f0;
    EXPECT_DOUBLE_EQ(d.Evaluate().Reliability[2].Threshold, limit);
    d.Sigma[near] = std::log(limit);
    EXPECT_FALSE(d.Evaluate().Reliability[2].Pass) << f0;
    d.Sigma[near] = 0.1;
    d.Sigma[d.Peak + 40] = 5.0;  // f0·2.66: outside
    EXPECT_TRUE(d.Evaluate().Reliability[2].Pass) << f0;
  }
}

TEST(Sesame, HalfAmplitudeBelowAndAboveF0) {
  // The designed curve falls far below A0/2; lift both flanks to exactly A0/2, then let one
  // point drop below.
  Designed d(3.0, 5.0, 0.2);
  for (size_t i = 0; i < d.Grid.size(); ++i) {
    if (i != d.Peak) d.Mean[i] = std::max(d.Mean[i], 2.5);
  }
  TSesameResult r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[0].Pass);
  EXPECT_FALSE(r.Clarity[1].Pass);
  EXPECT_DOUBLE_EQ(r.Clarity[0].Value, 2.5);
  EXPECT_DOUBLE_EQ(r.Clarity[0].Threshold, 2.5);
  const size_t below = d.Peak - 50;  // f0/3.4: inside [f0/4, f0)
  const size_t above = d.Peak + 50;  // f0·3.4: inside (f0, 4·f0]
  d.Mean[below] = 2.5 * kJustBelow;
  d.Mean[above] = 2.5 * kJustBelow;
  r = d.Evaluate();
  EXPECT_TRUE(r.Clarity[0].Pass);
  EXPECT_TRUE(r.Clarity[1].Pass);
  // Points beyond f0/4 and 4·f0 do not count.
  d.Mean[below] = d.Mean[above] = 2.5;
  d.Mean[d.Peak - 70] = d.Mean[d.Peak + 70] = 0.1;  // f0/5.5 and f0·5.5
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
    d.Sigma[d.Peak + steps] = 1.5;
    const TSesameResult r = d.Evaluate();
    EXPECT_EQ(r.Clarity[3].Pass, steps < 3) << steps;
    EXPECT_NEAR(r.Clarity[3].Value, d.Grid[d.Peak + steps] / d.F0() - 1.0, 1e-12);
  }
  // No peak of A/σA (σ_ln growing so fast that A/σA falls everywhere): not evaluated, failed.
  Designed d(3.0, 1.2, 0.0);
  for (size_t i = 0; i < d.Grid.size(); ++i) d.Sigma[i] = 0.05 * static_cast<double>(i);
  const TSesameResult r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[3].Evaluated);
  EXPECT_FALSE(r.Clarity[3].Pass);
}

TEST(Sesame, FrequencyAndAmplitudeStabilityAtTheirThresholds) {
  Designed d(3.0, 5.0, 0.2);  // f0 ≥ 2 Hz: ε = 0.05·f0, θ = 1.58
  d.SigmaF = 0.05 * d.F0() * kJustBelow;
  d.Sigma[d.Peak] = std::log(1.58) - 1e-9;
  TSesameResult r = d.Evaluate();
  EXPECT_TRUE(r.Clarity[4].Pass);
  EXPECT_TRUE(r.Clarity[5].Pass);
  EXPECT_DOUBLE_EQ(r.Clarity[4].Threshold, 0.05 * d.F0());
  EXPECT_DOUBLE_EQ(r.Clarity[5].Threshold, 1.58);
  d.SigmaF = 0.05 * d.F0();
  d.Sigma[d.Peak] = std::log(1.58) + 1e-9;
  r = d.Evaluate();
  EXPECT_FALSE(r.Clarity[4].Pass);
  EXPECT_FALSE(r.Clarity[5].Pass);
}

TEST(Sesame, OneWindowLeavesTheSpreadCriteriaUntested) {
  Designed d(3.0, 5.0, 0.0);
  d.Windows = 1;
  const TSesameResult r = d.Evaluate();
  EXPECT_FALSE(r.Reliability[2].Evaluated);
  EXPECT_FALSE(r.Clarity[3].Evaluated);
  EXPECT_FALSE(r.Clarity[5].Evaluated);
  EXPECT_LE(r.ClearPassed, 3);
}

struct TableCase {
  double F0;
  double EpsilonFactor;
  double Theta;
};

class SesameTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(SesameTable, BandEdges) {
  const TableCase c = GetParam();
  const TSesameThresholds t = SesameThresholds(c.F0);
  EXPECT_DOUBLE_EQ(t.Epsilon, c.EpsilonFactor * c.F0) << c.F0;
  EXPECT_DOUBLE_EQ(t.Theta, c.Theta) << c.F0;
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

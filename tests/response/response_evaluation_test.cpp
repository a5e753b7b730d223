#include "response/response_evaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace tarvik {
namespace {

constexpr double kPi = std::numbers::pi;

struct FapCase {
  const char* What;
  TFAPFilter Table;
  double F;
  double Amplitude;
  double Phase;
};

class FapInterpolation : public ::testing::TestWithParam<FapCase> {};

TEST_P(FapInterpolation, AmplitudeAndPhase) {
  const FapCase& c = GetParam();
  const TComplex h = EvaluateFAP(c.Table, c.F);
  EXPECT_NEAR(std::abs(h), std::fabs(c.Amplitude), 1e-12 * std::fabs(c.Amplitude)) << c.What;
  if (c.Amplitude != 0.0) {
    EXPECT_NEAR(std::arg(h), c.Phase, 1e-12) << c.What;
  }
}

const TFAPFilter kGeometric = {{1, 1, 0}, {10, 100, 0}};
const TFAPFilter kFromZero = {{0, 1, 0}, {10, 3, 0}};

INSTANTIATE_TEST_SUITE_P(
    Rules, FapInterpolation,
    ::testing::Values(
        FapCase{"geometric inside", kGeometric, 5.5, 10.0, 0.0},
        // Beyond the table the end segment goes on: 100^t with t = 19/9 and t = -1/18.
        FapCase{"above the table", kGeometric, 20.0, std::pow(100.0, 19.0 / 9.0), 0.0},
        FapCase{"below the table", kGeometric, 0.5, std::pow(100.0, -1.0 / 18.0), 0.0},
        FapCase{"a 0 Hz row forces linear", kFromZero, 5.0, 2.0, 0.0},
        FapCase{"linear above", kFromZero, 20.0, 5.0, 0.0},
        FapCase{"phase geometric", {{1, 1, 0.5}, {10, 1, 2.0}}, 5.5, 1.0, 1.0},
        // Two phase lags: the mirror of the positive case, not a logarithm of a negative.
        FapCase{"negative phases", {{1, 1, -0.5}, {10, 1, -2.0}}, 5.5, 1.0, -1.0},
        FapCase{"phases of both signs", {{1, 1, 0.5}, {10, 1, -0.5}}, 5.5, 1.0, 0.0},
        FapCase{"one row", {{5, 2, 0.3}}, 123.0, 2.0, 0.3},
        // A table padded with copies of its last row: flat beyond it, not 0/0.
        FapCase{"padded, above", {{1, 1, 0}, {10, 100, 0.2}, {10, 100, 0.2}}, 20.0, 100.0, 0.2},
        FapCase{"padded, inside", {{1, 1, 0}, {10, 100, 0}, {10, 100, 0}}, 5.5, 10.0, 0.0},
        FapCase{"doubled first row, below", {{1, 3, 0}, {1, 3, 0}, {10, 30, 0}}, 0.5, 3.0, 0.0}));

TEST(EvaluateFAP, EmptyTableIsNeutral) {
  EXPECT_EQ(EvaluateFAP({}, 3.0), TComplex(1.0, 0.0));
}

TComplexFilter OnePoleFilter(int32_t norm_type, double norm_value, double norm_factor) {
  TComplexFilter zp;
  zp.Kind = 'S';
  zp.NormType = norm_type;
  zp.NormValue = norm_value;
  zp.NormFactor = norm_factor;
  zp.NormFrequency = 1.0;
  zp.PoleCount = 1;
  zp.Poles[0] = {-2.0 * kPi, 0.0};
  return zp;
}

TEST(NormalizeZP, TypesReconcileValueAndFactor) {
  // |1/(j2π − (−2π))| at 1 Hz = 1/(2π√2).
  const double h0 = 1.0 / (2.0 * kPi * std::sqrt(2.0));
  struct Case {
    int32_t Type;
    double Value, Factor;
    double WantValue, WantModulusAt1hz;
  };
  for (const Case& c :
       {Case{0, 7.0, 3.0, 1.0, 1.0}, Case{1, 7.0, 3.0, 7.0, 7.0},
        Case{2, 7.0, 3.0, 3.0 * h0, 3.0 * h0}, Case{5, 7.0, 3.0, 3.0 * h0, 3.0 * h0}}) {
    TComplexFilter zp = OnePoleFilter(c.Type, c.Value, c.Factor);
    EXPECT_TRUE(NormalizeZP(zp));
    EXPECT_NEAR(zp.NormValue, c.WantValue, 1e-12 * c.WantValue) << "type " << c.Type;
    EXPECT_NEAR(std::abs(EvaluateZP(zp, 1.0)), c.WantModulusAt1hz, 1e-12 * c.WantValue)
        << "type " << c.Type;
  }
}

TEST(NormalizeZP, NoRootsTypeOneGivesUnitResponse) {
  TComplexFilter zp;
  zp.NormType = 1;
  zp.NormValue = 1.0;
  zp.NormFrequency = 1.0;
  EXPECT_TRUE(NormalizeZP(zp));
  EXPECT_EQ(zp.NormFactor, 1.0);
  for (double f : {0.0, 0.01, 1.0, 250.0}) EXPECT_EQ(EvaluateZP(zp, f), TComplex(1.0, 0.0));
}

TEST(NormalizeZP, ZeroAtNormFrequencyReportsFailure) {
  TComplexFilter zp;
  zp.NormType = 1;
  zp.NormValue = -4.0;
  zp.NormFrequency = 0.0;
  zp.ZeroCount = 1;  // a zero at 0 rad/s: the response vanishes at 0 Hz
  EXPECT_FALSE(NormalizeZP(zp));
  EXPECT_EQ(zp.NormFactor, 4.0);
}

TPolyCascades HighPassCascade() {
  TPolyCascades c;
  c.Count = 1;
  c.Items[0].Order = 2;
  c.Items[0].Numerator = {0.0, 0.0, 1.0};
  c.Items[0].Denominator[1] = 1.0;  // D2
  return c;
}

TEST(EvaluateCascades, SecondOrderCascadeIsSSquaredOverOnePlusSSquared) {
  const TPolyCascades c = HighPassCascade();
  TBiquadCascade same;  // the same function as one analog biquad section
  same.Count = 1;
  same.Sections[0].B2 = 1.0;
  same.Sections[0].A2 = 1.0;
  for (double f : {0.0, 0.05, 0.3, 1.0, 7.0}) {
    const TComplex s(0.0, 2.0 * kPi * f);
    const TComplex want = s * s / (1.0 + s * s);
    EXPECT_NEAR(std::abs(EvaluateCascades(c, f) - want), 0.0, 1e-12 * (1.0 + std::abs(want)));
    EXPECT_NEAR(std::abs(EvaluateSections(same, f) - want), 0.0, 1e-12 * (1.0 + std::abs(want)));
  }
}

TEST(EvaluatePack, UsesTheFirstAvailableDescription) {
  TFilterPack pack;
  pack.ZP = OnePoleFilter(2, 1.0, 3.0);  // 3/(s + 2π)
  pack.FAP = {{0, 5, 0}, {100, 5, 0}};
  pack.Cascades = HighPassCascade();
  pack.BiCascade.Count = 1;
  pack.BiCascade.Sections[0] = {2.0, 0.0, 0.0, 0.0, 0.0};  // the constant 2
  const double f = 0.5;
  const TComplex zp = EvaluateZP(pack.ZP, f);
  const TComplex cascade = EvaluateCascades(pack.Cascades, f);
  struct Case {
    bool Zp, Bi, Cascade, Fap;
    TComplex Want;
  };
  for (const Case& c :
       {Case{true, true, true, true, zp}, Case{false, true, true, true, 2.0},
        Case{false, false, true, true, cascade}, Case{false, false, false, true, 5.0},
        Case{false, false, false, false, 1.0}}) {
    pack.Device.ZPAvailable = c.Zp;
    pack.Device.BiCascadeAvailable = c.Bi;
    pack.Device.CascadeAvailable = c.Cascade;
    pack.Device.FAPAvailable = c.Fap;
    EXPECT_EQ(EvaluatePack(pack, f), c.Want) << c.Zp << c.Bi << c.Cascade << c.Fap;
  }
}

TEST(EvaluateChain, IsTheProductOfItsPacksAndOneWhenEmpty) {
  TCombinedFilter chain;
  EXPECT_EQ(EvaluateChain(chain, 3.0), TComplex(1.0, 0.0));
  TFilterPack sensor;
  sensor.Device.ZPAvailable = true;
  sensor.ZP = OnePoleFilter(2, 1.0, 3.0);
  TFilterPack amplifier;
  amplifier.Device.FAPAvailable = true;
  amplifier.FAP = {{1, 10, 0.25}};
  AppendPack(sensor, chain);
  AppendPack(amplifier, chain);
  AppendPack(TFilterPack{}, chain);  // no description: 1
  ASSERT_EQ(chain.size(), 3u);
  const TComplex want =
      EvaluateZP(sensor.ZP, 3.0) * TComplex(10 * std::cos(0.25), 10 * std::sin(0.25));
  EXPECT_NEAR(std::abs(EvaluateChain(chain, 3.0) - want), 0.0, 1e-15);
}

TEST(ResponseModulus, UnevaluableResponsesBecomeInfinite) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ResponseModulus({3.0, -4.0}), 5.0);
  TComplexFilter zp = OnePoleFilter(2, 1.0, 1.0);
  zp.Poles[0] = {0.0, 0.0};
  EXPECT_EQ(ResponseModulus(EvaluateZP(zp, 0.0)), kInf);  // the pole itself
  EXPECT_EQ(ResponseModulus({std::nan(""), 0.0}), kInf);
  EXPECT_EQ(ResponseModulus({1.5e308, 1.5e308}), kInf);
}

}  // namespace
}  // namespace tarvik

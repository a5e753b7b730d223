#include "records/float_samples.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace tarvik {
namespace {

struct ScaleCase {
  const char* Name;
  std::vector<double> Values;
  double Scale;
};

class FloatScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(FloatScaleTest, PowerOfTenThatKeepsTheLargestWithin2To23) {
  const ScaleCase& c = GetParam();
  FloatScale scale;
  for (double v : c.Values) scale.Add(v);
  EXPECT_EQ(scale.Scale(), c.Scale);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, FloatScaleTest,
    ::testing::Values(ScaleCase{"Nothing", {}, 1.0}, ScaleCase{"AllZero", {0.0, -0.0}, 1.0},
                      ScaleCase{"WholeNumbersStayCounts", {3.0, -7.0, 4e6}, 1.0},
                      ScaleCase{"HalfNeedsSevenDigits", {0.5}, 1e7},
                      ScaleCase{"OneFractionMakesAllScaled", {1.0, 0.5, 100.0}, 1e4},
                      ScaleCase{"JustAbove2To23", {8388608.5}, 0.1},
                      ScaleCase{"WholeButBeyondInt32", {3e9}, 1e-3},
                      ScaleCase{"NegativeLargest", {-0.002, 0.001}, 1e9},
                      ScaleCase{"NotFiniteLeftOut", {kNaN, kInf, -kInf, 0.25}, 1e7},
                      ScaleCase{"TinyValuesStayWithinADouble", {4.9e-324}, 1e300}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ScaleSamples, RoundedToNearestEvenAndClamped) {
  EXPECT_EQ(ScaleSample(-2.5, 1.0), -2);
  EXPECT_EQ(ScaleSample(3.5, 1.0), 4);
  EXPECT_EQ(ScaleSample(0.0012346, 1e6), 1235);
  EXPECT_EQ(ScaleSample(kNaN, 1.0), 0);
  EXPECT_EQ(ScaleSample(kInf, 1.0), 0);
  EXPECT_EQ(ScaleSample(3.0, 1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ScaleSample(-3.0, 1e300), std::numeric_limits<int32_t>::min());
  const std::vector<float> values = {0.25f, -1.0f};
  EXPECT_EQ(ScaleSamples(values, 1e7), (std::vector<int32_t>{2500000, -10000000}));
}

}  // namespace
}  // namespace tarvik

#include "spectral/hv_peak.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tarvik {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(RatioPeak, HighestMaximumInsideTheBand) {
  const std::vector<double> f = {0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0};
  const struct {
    const char* Name;
    std::vector<double> Values;
    double Fmin, Fmax;
    bool Found;
    double F0, A0;
  } cases[] = {
      {"one peak", {1, 2, 5, 3, 2, 1, 1, 1}, 0, 0, true, 1.5, 5},
      {"the higher of two", {1, 3, 1, 1, 6, 2, 1, 1}, 0, 0, true, 2.5, 6},
      {"the band leaves the higher out", {1, 3, 1, 1, 6, 2, 1, 1}, 0.5, 2.0, true, 1.0, 3},
      {"the band's upper end", {1, 3, 1, 1, 6, 2, 1, 1}, 2.2, 0, true, 2.5, 6},
      {"rising to the end", {1, 2, 3, 4, 5, 6, 7, 8}, 0, 0, false, 0, 0},
      {"falling from the start", {8, 7, 6, 5, 4, 3, 2, 1}, 0, 0, false, 0, 0},
      {"a plateau", {1, 2, 4, 4, 4, 2, 1, 1}, 0, 0, true, 1.5, 4},
      {"next to a gap", {1, 2, 9, kNaN, 1, 3, 1, 1}, 0, 0, true, 3.0, 3},
      {"a zero is no neighbour", {1, 0, 9, 1, 1, 1, 1, 1}, 0, 0, false, 0, 0},
      {"infinite values are no peak", {1, 2, INFINITY, 2, 1, 1, 1, 1}, 0, 0, false, 0, 0},
      {"a band holding no point", {1, 2, 5, 3, 2, 1, 1, 1}, 1.6, 1.9, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TRatioPeak p = FindRatioPeak(f, c.Values, c.Fmin, c.Fmax);
    ASSERT_EQ(p.Found, c.Found);
    if (!c.Found) continue;
    EXPECT_DOUBLE_EQ(p.F0, c.F0);
    EXPECT_DOUBLE_EQ(p.A0, c.A0);
    EXPECT_DOUBLE_EQ(f[p.Index], c.F0);
  }
}

TEST(RatioPeak, ShortOrMismatchedCurves) {
  EXPECT_FALSE(FindRatioPeak(std::vector<double>{1, 2}, std::vector<double>{1, 3}).Found);
  // Only as many points as both columns hold are looked at.
  const std::vector<double> f = {1, 2, 3};
  const TRatioPeak p = FindRatioPeak(f, std::vector<double>{1, 4, 2, 9, 1});
  ASSERT_TRUE(p.Found);
  EXPECT_DOUBLE_EQ(p.F0, 2.0);
}

}  // namespace
}  // namespace tarvik

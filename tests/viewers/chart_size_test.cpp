#include "viewers/chart_size.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarvik {
namespace {

TEST(ChartSize, ReadsTheSidesAsAPersonTypesThem) {
  struct Case {
    std::string Text;
    std::optional<std::pair<int, int>> Size;
  };
  const Case cases[] = {
      {"1200x800", std::pair{1200, 800}},
      {" 1200 x 800 ", std::pair{1200, 800}},
      {"1200×800", std::pair{1200, 800}},
      {"1200х800", std::pair{1200, 800}},  // Cyrillic "х"
      {"1200*800", std::pair{1200, 800}},
      {"1200 800", std::pair{1200, 800}},
      {"100x10000", std::pair{100, 10000}},
      {"99x800", std::nullopt},
      {"1200x10001", std::nullopt},
      {"1200", std::nullopt},
      {"", std::nullopt},
      {"x800", std::nullopt},
      {"1200x", std::nullopt},
      {"-1200x800", std::nullopt},
      {"12a0x800", std::nullopt},
      {"1200x800x600", std::nullopt},
      {"99999999999x800", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const std::optional<TChartSize> got = ParseChartSize(c.Text);
    ASSERT_EQ(got.has_value(), c.Size.has_value());
    if (got) {
      EXPECT_EQ(got->Width, c.Size->first);
      EXPECT_EQ(got->Height, c.Size->second);
      EXPECT_EQ(ParseChartSize(ChartSizeText(*got))->Width, got->Width);
    }
  }
}

}  // namespace
}  // namespace tarvik

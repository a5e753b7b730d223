#include "viewers/chart_size.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarvik {
namespace {

TEST(ChartSize, ReadsTheSidesAsAPersonTypesThem) {
  struct Case {
    std::string text;
    std::optional<std::pair<int, int>> size;
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
    SCOPED_TRACE(c.text);
    const std::optional<TChartSize> got = ParseChartSize(c.text);
    ASSERT_EQ(got.has_value(), c.size.has_value());
    if (got) {
      EXPECT_EQ(got->Width, c.size->first);
      EXPECT_EQ(got->Height, c.size->second);
      EXPECT_EQ(ParseChartSize(ChartSizeText(*got))->Width, got->Width);
    }
  }
}

}  // namespace
}  // namespace tarvik

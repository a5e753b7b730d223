#include "viewers/spectrum_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace tarvik {
namespace {

int Channel(TRgb rgb, int shift) {
  return static_cast<int>((rgb >> shift) & 0xFF);
}

// Distance of two colours: the largest difference of a channel.
int Distance(TRgb a, TRgb b) {
  int d = 0;
  for (int shift : {16, 8, 0}) d = std::max(d, std::abs(Channel(a, shift) - Channel(b, shift)));
  return d;
}

TEST(SeriesColor, EveryIndexItsOwnColourReadableOnWhite) {
  // Many stations in one chart: no two series alike, the first dozen far apart.
  std::set<TRgb> seen;
  for (int i = 0; i < 400; ++i) {
    const TRgb c = SeriesColor(i);
    EXPECT_TRUE(seen.insert(c).second) << "index " << i << " repeats " << std::hex << c;
    // Thin lines on a white chart: no colour close to white.
    const double luma = 0.299 * Channel(c, 16) + 0.587 * Channel(c, 8) + 0.114 * Channel(c, 0);
    EXPECT_LT(luma, 200.0) << "index " << i;
    for (int j = std::max(0, i - 3); j < i; ++j) {
      EXPECT_GE(Distance(c, SeriesColor(j)), 40) << i << " and " << j;
    }
  }
  for (int i = 0; i < 12; ++i) {
    for (int j = 0; j < i; ++j) EXPECT_GE(Distance(SeriesColor(i), SeriesColor(j)), 90) << i << j;
  }
  EXPECT_EQ(SeriesColor(-5), SeriesColor(0));
}

TEST(LogAxisTicks, AtLeastThreeLabelsInsideAnyRange) {
  const struct {
    double Lo, Hi;
    bool Plain;
    std::vector<double> Expected;  // empty: only the general rules are checked
  } cases[] = {
      {1e-10, 1e-4, false, {1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4}},
      {0.5, 60.0, true, {0.5, 1, 2, 5, 10, 20, 50}},  // two powers of ten only
      {0.05, 200.0, false, {0.1, 1, 10, 100}},
      {0.9, 3.5, true, {0.9, 1, 2, 3}},  // H/V ratios: whole mantissas
      {1.0, 1.6, true, {}},              // narrower still: round numbers
      {0.0031, 0.0042, true, {}},
      {1e-30, 1e30, false, {}},  // sixty decades: thinned to a readable count
      {3e5, 7e7, true, {}},
  };
  for (const auto& c : cases) {
    const TLogTicks ticks = LogAxisTicks(c.Lo, c.Hi);
    EXPECT_EQ(ticks.Plain, c.Plain) << c.Lo << ".." << c.Hi;
    EXPECT_GE(ticks.Values.size(), 3u) << c.Lo << ".." << c.Hi;
    EXPECT_LE(ticks.Values.size(), 16u) << c.Lo << ".." << c.Hi;
    EXPECT_TRUE(std::is_sorted(ticks.Values.begin(), ticks.Values.end()));
    for (double t : ticks.Values) {
      EXPECT_GE(t, c.Lo * (1 - 1e-9)) << c.Lo << ".." << c.Hi;
      EXPECT_LE(t, c.Hi * (1 + 1e-9)) << c.Lo << ".." << c.Hi;
    }
    if (c.Expected.empty()) continue;
    ASSERT_EQ(ticks.Values.size(), c.Expected.size()) << c.Lo << ".." << c.Hi;
    for (size_t i = 0; i < c.Expected.size(); ++i) {
      EXPECT_DOUBLE_EQ(ticks.Values[i], c.Expected[i]) << c.Lo << ".." << c.Hi;
    }
  }
  EXPECT_TRUE(LogAxisTicks(0.0, 10.0).Values.empty());
  EXPECT_TRUE(LogAxisTicks(5.0, 5.0).Values.empty());
}

TEST(ColorGrid, CellsEvenInLogOrLinearSteps) {
  TColorGrid grid;
  grid.Resize(4, 2);
  grid.X0 = 0.1;
  grid.X1 = 1000.0;  // four decades: one per column
  grid.LogX = true;
  grid.Y0 = -150.0;
  grid.Y1 = -140.0;
  const struct {
    double X;
    int Column;
  } columns[] = {{0.1, 0},    {0.99, 0},  {1.01, 1},    {50.0, 2}, {999.0, 3},
                 {1000.0, 3}, {0.09, -1}, {1001.0, -1}, {0.0, -1}, {-3.0, -1}};
  for (const auto& c : columns) EXPECT_EQ(grid.ColumnOf(c.X), c.Column) << c.X;
  EXPECT_EQ(grid.RowOf(-150.0), 0);
  EXPECT_EQ(grid.RowOf(-145.1), 0);
  EXPECT_EQ(grid.RowOf(-144.9), 1);
  EXPECT_EQ(grid.RowOf(-139.0), -1);
  EXPECT_NEAR(grid.ColumnMiddle(1), std::sqrt(10.0), 1e-12);
  EXPECT_DOUBLE_EQ(grid.RowMiddle(1), -142.5);
  EXPECT_EQ(grid.FilledCells(), 0u);
  grid.At(3, 1) = 7.0;
  EXPECT_EQ(grid.FilledCells(), 1u);
  EXPECT_EQ(grid.Values[7], 7.0);
  grid.Resize(0, 5);
  EXPECT_EQ(grid.Columns, 0);
  EXPECT_TRUE(grid.Values.empty());
  EXPECT_EQ(grid.ColumnOf(1.0), -1);
}

TEST(GradientColor, InterpolatesBetweenStops) {
  const std::vector<TColorStop> gradient = {{0.0, 0x000000}, {0.5, 0xFF0000}, {1.0, 0xFFFFFF}};
  const struct {
    double T;
    TRgb Color;
  } cases[] = {{-1.0, 0x000000}, {0.0, 0x000000}, {0.25, 0x800000}, {0.5, 0xFF0000},
               {0.75, 0xFF8080}, {1.0, 0xFFFFFF}, {2.0, 0xFFFFFF}};
  for (const auto& c : cases) EXPECT_EQ(GradientColor(gradient, c.T), c.Color) << c.T;
  EXPECT_EQ(GradientColor({}, 0.5), 0u);
}

TEST(UnitLabel, LengthUnitAndTimePartWithTheirOwnLetters) {
  const struct {
    int Out, Item;
    const char* Label;
  } cases[] = {{0, 0, "м"},      {0, 1, "см"},    {1, 2, "мм/c"}, {1, 3, "мкм/c"},
               {2, 4, "нм/с^2"}, {2, 0, "м/с^2"}, {7, 9, "м"}};
  for (const auto& c : cases) EXPECT_EQ(UnitLabel(c.Out, c.Item), c.Label) << c.Out << c.Item;
  // Velocity has the Latin c (0x63); acceleration the Cyrillic с (0xD1 0x81 in UTF-8).
  EXPECT_EQ(UnitLabel(1, 0), "\xD0\xBC/c");
  EXPECT_EQ(UnitLabel(2, 0), "\xD0\xBC/\xD1\x81^2");
  EXPECT_EQ(SpectrumAxisTitle(false, 1, 3), "Амплитуда, (мкм/c)/Гц");
  EXPECT_EQ(SpectrumAxisTitle(true, 0, 1), "Мощность, (см)^2/Гц");
}

TEST(UnitLabel, UnitItemOfTheSettingsFactor) {
  EXPECT_EQ(UnitItemOfFactor(1.0), 0);
  EXPECT_EQ(UnitItemOfFactor(0.01), 1);
  EXPECT_EQ(UnitItemOfFactor(1e-6), 3);
  EXPECT_EQ(UnitItemOfFactor(1e-9), 4);
  EXPECT_EQ(UnitItemOfFactor(0.5), 0);
  EXPECT_EQ(UnitFactor(3), 1e-6);
}

TEST(SetupSeries, KindsGiveTheirSeriesColoursAndChoices) {
  TSpectrumView view;
  view.Selection = 2;
  SetupSeries(view, 4, kSpectrumSet, {"E", "E_S", "N", "N_S"});
  ASSERT_EQ(view.Series.size(), 4u);
  EXPECT_EQ(view.Series[1].Kind, TSeriesKind::kPoints);
  EXPECT_EQ(view.Series[1].Color, SeriesColor(0));
  EXPECT_EQ(view.Series[2].Color, SeriesColor(1));
  EXPECT_TRUE(view.Series[3].Checked);
  EXPECT_EQ(view.Choices,
            (std::vector<std::string>{"E", "N", "Среднее E,N", "Среднее E,N,Z", "Среднее"}));
  EXPECT_EQ(view.Selection, -1);
  EXPECT_TRUE(view.ChoicesEnabled);

  SetupSeries(view, 3, kResponseSet, {"A", "B"});
  ASSERT_EQ(view.Series.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(view.Series[static_cast<size_t>(i)].Kind, TSeriesKind::kLine);
    EXPECT_EQ(view.Series[static_cast<size_t>(i)].Color, SeriesColor(i));
  }
  EXPECT_EQ(view.Series[2].Title, "");
  EXPECT_TRUE(view.Choices.empty());
  EXPECT_FALSE(view.ChoicesEnabled);
}

}  // namespace
}  // namespace tarvik

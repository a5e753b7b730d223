#include "viewers/spectrum_chart.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(SeriesColor, SixteenColoursInTurn) {
  const TRgb expected[] = {0xFF0000, 0x0000FF, 0x000000, 0x008000, 0x800000, 0x000080,
                           0x808000, 0x800080, 0x008080, 0x808080, 0x00FF00, 0xFFFF00,
                           0xC0C0C0, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(SeriesColor(i), expected[i]) << i;
    EXPECT_EQ(SeriesColor(i + 32), expected[i]) << i;
  }
}

TEST(UnitLabel, LengthUnitAndTimePartWithTheirOwnLetters) {
  const struct {
    int out, item;
    const char* label;
  } cases[] = {{0, 0, "м"},      {0, 1, "см"},    {1, 2, "мм/c"}, {1, 3, "мкм/c"},
               {2, 4, "нм/с^2"}, {2, 0, "м/с^2"}, {7, 9, "м"}};
  for (const auto& c : cases) EXPECT_EQ(UnitLabel(c.out, c.item), c.label) << c.out << c.item;
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

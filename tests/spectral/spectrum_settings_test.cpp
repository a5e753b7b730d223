#include "spectral/spectrum_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "project/settings_page.h"

namespace tarvik {
namespace {

struct GeometryCase {
  const char* Name;
  bool UseFft;
  bool FillByZero;
  int32_t Window;
  double B;
  double SilenceDur;
  int32_t Segment, Transform, Offset;
  double Normalization;  // computed with numpy (scipy.special.i0 for Kaiser) where not exact
};

class GeometryTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(GeometryTest, DerivesLengthsOffsetAndNormalization) {
  const GeometryCase& g = GetParam();
  TSpectrumSettings s = DefaultSpectrumSettings(0);
  s.UseFFT = g.UseFft;
  s.FillByZero = g.FillByZero;
  s.WindowType = g.Window;
  s.B = g.B;
  s.SilenceDur = g.SilenceDur;
  std::string message;
  ASSERT_TRUE(DeriveGeometry(s, 100.0, &message)) << message;
  EXPECT_EQ(s.SegmentLength, g.Segment);
  EXPECT_EQ(s.TransformLength, g.Transform);
  EXPECT_EQ(s.DataOffset, g.Offset);
  EXPECT_NEAR(s.Normalization, g.Normalization, 1e-12 * g.Normalization);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeometryTest,
    ::testing::Values(
        // Hann over whole periods: Σw² = 3M/8.
        GeometryCase{"HannMoreData", true, false, kWindowHann, 6, 20, 2048, 2048, 0, 8.0 / 3},
        GeometryCase{"HannZeros", true, true, kWindowHann, 6, 20, 2000, 2048, 24,
                     2.666666728039591},
        GeometryCase{"HannOrdinary", false, true, kWindowHann, 6, 20, 2000, 2000, 0, 8.0 / 3},
        GeometryCase{"RectangleMoreData", true, false, kWindowRectangle, 6, 20, 2048, 2048, 0, 1},
        GeometryCase{"RectangleZeros", true, true, kWindowRectangle, 6, 20, 2000, 2048, 24,
                     2048.0 / 2000},
        GeometryCase{"TukeyFlat", true, false, kWindowTukey, 100, 20, 2048, 2048, 0, 1},
        GeometryCase{"TukeyAbove100", true, false, kWindowTukey, 150, 20, 2048, 2048, 0,
                     1.231324214640012},
        GeometryCase{"KaiserZero", true, false, kWindowKaiser, 0, 20, 2048, 2048, 0, 1},
        GeometryCase{"Kaiser6", true, false, kWindowKaiser, 6, 20, 2048, 2048, 0,
                     2.726705921484929},
        GeometryCase{"PowerOfTwoExactly", true, true, kWindowRectangle, 6, 81.92, 8192, 8192, 0, 1},
        GeometryCase{"OneAbove", true, true, kWindowRectangle, 6, 81.93, 8193, 16384, 4095,
                     16384.0 / 8193},
        GeometryCase{"TwoSamples", true, false, kWindowRectangle, 6, 0.02, 2, 2, 0, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(GeometryTest, NoiseGapOnlyForTheBartlettEstimate) {
  TSpectrumSettings s = DefaultSpectrumSettings(0);
  s.NoiseDur = 7;
  ASSERT_TRUE(DeriveGeometry(s, 50.0));
  EXPECT_EQ(s.NoiseGap, 350);
  s.NoiseDur = -3;  // from a damaged project: the search must never step backwards
  ASSERT_TRUE(DeriveGeometry(s, 50.0));
  EXPECT_EQ(s.NoiseGap, 0);
  TSpectrumSettings d = DefaultSpectrumSettings(1);
  d.NoiseGap = 123;
  ASSERT_TRUE(DeriveGeometry(d, 50.0));
  EXPECT_EQ(d.NoiseGap, 123);
}

TEST(GeometryTest, RefusesUnusableSegmentsAndKeepsTheSettings) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double SilenceDur, Fs, B;
    int32_t Window;
    TCode Code;
  };
  constexpr TCode kShort = TCode::kSegmentTooShort;
  for (const Case& c :
       {Case{0.01, 100, 6, kWindowHann, kShort}, Case{0.014, 100, 6, kWindowHann, kShort},
        Case{0, 100, 6, kWindowHann, kShort}, Case{-20, 100, 6, kWindowHann, kShort},
        Case{20, 0, 6, kWindowHann, kShort}, Case{nan, 100, 6, kWindowHann, kShort},
        Case{20, nan, 6, kWindowHann, kShort},
        Case{1e9, 100, 6, kWindowHann, TCode::kSegmentTooLong},
        Case{20, 100, 1e4, kWindowKaiser, TCode::kWindowHasNoWeight}}) {
    TSpectrumSettings s = DefaultSpectrumSettings(0);
    s.SilenceDur = c.SilenceDur;
    s.WindowType = c.Window;
    s.B = c.B;
    const TSpectrumSettings before = s;
    std::string message;
    EXPECT_FALSE(DeriveGeometry(s, c.Fs, &message)) << c.SilenceDur << " " << c.Fs;
    EXPECT_EQ(message, CatalogueText(c.Code, TLanguage::kRussian));
    TSpectrumSettings again = before;
    EXPECT_EQ(DeriveSegmentGeometry(again, c.Fs).Code, c.Code) << c.SilenceDur << " " << c.Fs;
    EXPECT_EQ(s.SegmentLength, before.SegmentLength);
    EXPECT_EQ(s.TransformLength, before.TransformLength);
    EXPECT_EQ(s.Normalization, before.Normalization);
  }
}

TEST(NextPowerOfTwoTest, SmallestPowerNotBelow) {
  const std::pair<int64_t, int64_t> cases[] = {{-5, 0},
                                               {0, 0},
                                               {1, 1},
                                               {2, 2},
                                               {3, 4},
                                               {2000, 2048},
                                               {8192, 8192},
                                               {8193, 16384},
                                               {1LL << 62, 1LL << 62},
                                               {(1LL << 62) + 1, 0}};
  for (const auto& [n, p] : cases) EXPECT_EQ(NextPowerOfTwo(n), p) << n;
}

TEST(BesselI0Test, SeriesValuesAndNoHang) {
  // scipy.special.i0
  EXPECT_EQ(BesselI0(0), 1.0);
  EXPECT_NEAR(BesselI0(1), 1.2660658777520082, 1e-10);  // the series stops below 1e-8
  EXPECT_NEAR(BesselI0(-6), 67.23440697647797, 1e-9);
  EXPECT_NEAR(BesselI0(20), 43558282.559553534, 1e-6);
  EXPECT_EQ(BesselI0(1e4), std::numeric_limits<double>::infinity());
  EXPECT_EQ(BesselI0(std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(BesselI0(std::numeric_limits<double>::quiet_NaN())));
}

TEST(WindowTest, ShapesAtCentreEdgeAndTaper) {
  const int64_t M = 100;
  const double b = 3;
  // (type, w(0), w(M/2)): every window is 1 at the centre (e = 0).
  const double edge[kWindowTypeCount] = {1, 0, 0, 0.08, std::exp(-4.5), 1 / BesselI0(3), 0, 0};
  for (int32_t type = 0; type < kWindowTypeCount; ++type) {
    EXPECT_NEAR(WindowValue(0, M, type, b), edge[type], 1e-15) << type;
    EXPECT_NEAR(WindowValue(M / 2, M, type, b), 1.0, 1e-15) << type;
    if (type != kWindowTukey) {
      // Periodic windows: symmetric about M/2.
      EXPECT_NEAR(WindowValue(30, M, type, b), WindowValue(70, M, type, b), 1e-15) << type;
    }
    std::vector<double> w(M);
    FillWindow(w, type, b);
    for (int64_t i = 0; i < M; ++i) EXPECT_EQ(w[i], WindowValue(i, M, type, b)) << type;
  }
  EXPECT_EQ(WindowValue(-1, M, kWindowRectangle, b), 0.0);
  EXPECT_EQ(WindowValue(M, M, kWindowHann, b), 0.0);
  EXPECT_EQ(WindowValue(3, M, 42, b), 1.0);
  // Tapered cosine, b = 50: L = 25, flat from 25 to 74, tapers to 0 at 0 and 99.
  EXPECT_LT(WindowValue(24, M, kWindowTukey, 50), 1.0);
  EXPECT_EQ(WindowValue(25, M, kWindowTukey, 50), 1.0);
  EXPECT_EQ(WindowValue(74, M, kWindowTukey, 50), 1.0);
  EXPECT_NEAR(WindowValue(75, M, kWindowTukey, 50), (1 + std::cos(49 * std::numbers::pi / 25)) / 2,
              1e-15);
  EXPECT_NEAR(WindowValue(99, M, kWindowTukey, 50), 0.0, 1e-15);
}

TEST(DefaultsTest, RestoreCopiesTheEditedSetsTable) {
  TSpectrumSettings s = DefaultSpectrumSettings(0);
  s.B = 42;
  RestoreDefaults(s, 1);
  EXPECT_EQ(s.B, 6.0);
  EXPECT_EQ(s.EstimationType,
            TEstimationType::kDaniell);  // the event set uses the Daniell estimate
  RestoreDefaults(s, 0);
  EXPECT_EQ(s.EstimationType, TEstimationType::kBartlett);
}

TEST(SettingsPageTest, RefreshShowsLengthFormulaAndChart) {
  TSpectrumSettings s = DefaultSpectrumSettings(0);
  s.FillByZero = true;
  settings_page::TPageRefresh page = settings_page::RefreshPage(s, 100.0);
  EXPECT_TRUE(page.GeometryError.empty());
  EXPECT_EQ(page.SilenceLengthText, "20.000");
  EXPECT_FALSE(page.BEnabled);
  EXPECT_EQ(page.FormulaLabel, "Формула:\r\nw[i]=0.5*(1+cos(pi*i/N))\r\ni=[-N,N]");
  ASSERT_EQ(page.WindowChart.size(), 2048u);
  EXPECT_EQ(page.WindowChart.front().X, -1024);
  EXPECT_EQ(page.WindowChart.back().X, 1023);
  EXPECT_EQ(page.WindowChart[23].Y, 0.0);
  EXPECT_EQ(page.WindowChart[24].Y, WindowValue(24, 2048, kWindowHann, 6));
  EXPECT_EQ(page.WindowChart[2023].Y, WindowValue(2023, 2048, kWindowHann, 6));
  EXPECT_EQ(page.WindowChart[2024].Y, 0.0);

  s.FillByZero = false;
  s.WindowType = kWindowTukey;
  page = settings_page::RefreshPage(s, 100.0);
  EXPECT_EQ(page.SilenceLengthText, "20.480");
  EXPECT_TRUE(page.BEnabled);
  EXPECT_EQ(page.BHint,
            "Параметр, используемый при расчете весовой функции (доля неизменяемых данных в %)");
  EXPECT_EQ(page.WindowChart[5].Y, WindowValue(5, 2048, kWindowTukey, 6));
  EXPECT_EQ(page.WindowChart[1024].Y, 1.0);

  s.SilenceDur = 0.001;
  page = settings_page::RefreshPage(s, 100.0);
  EXPECT_FALSE(page.GeometryError.empty());
  EXPECT_TRUE(page.WindowChart.empty());
  EXPECT_TRUE(page.SilenceLengthText.empty());
}

TEST(SettingsPageTest, NoiseSpinFollowsTheEstimationType) {
  TSpectrumSettings s = DefaultSpectrumSettings(0);
  s.NoiseDur = 4.5;  // shown rounded half to even
  s.DanielWin = 9;
  settings_page::TNoiseSpin spin = settings_page::NoiseSpin(s);
  EXPECT_EQ(spin.Label, "Помех, с");
  EXPECT_EQ(spin.Value, 4);
  settings_page::SetNoiseSpinValue(s, 12);
  EXPECT_EQ(s.NoiseDur, 12.0);
  EXPECT_EQ(s.DanielWin, 9);

  s.EstimationType = TEstimationType::kDaniell;
  spin = settings_page::NoiseSpin(s);
  EXPECT_EQ(spin.Hint, "Количество точек суммирования для получения оценки Даниэля");
  EXPECT_EQ(spin.Value, 9);
  settings_page::SetNoiseSpinValue(s, 3);
  EXPECT_EQ(s.DanielWin, 3);
  EXPECT_EQ(s.NoiseDur, 12.0);

  EXPECT_EQ(settings_page::UnitCoefOfItem(3), 1e-6);
  EXPECT_EQ(settings_page::UnitCoefOfItem(7), 1.0);
  EXPECT_EQ(settings_page::WindowItem(9), "Прямоугольник");
}

}  // namespace
}  // namespace tarvik

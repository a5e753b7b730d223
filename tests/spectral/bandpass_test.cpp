#include "spectral/bandpass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace tarvik {
namespace {

double Gain(const TBiquadCascade& c, double fs, double f) {
  return std::abs(EvaluateDigitalSections(c, fs, f));
}

struct DesignCase {
  int Sections;
  double FLow, FHigh, Fs;
  // |H| at fLow/2, fLow, √(fLow·fHigh), fHigh, 2·fHigh from
  // scipy.signal.sosfreqz(scipy.signal.butter(sections, [fLow, fHigh], 'band', fs=fs,
  // output='sos'), [...], fs=fs).
  double Gains[5];
};

class DesignTest : public ::testing::TestWithParam<DesignCase> {};

TEST_P(DesignTest, MatchesAnIndependentButterworthDesign) {
  const DesignCase& d = GetParam();
  TBiquadCascade c;
  DesignBandPass(d.Sections, c, d.FHigh, d.FLow, d.Fs / 2);
  ASSERT_EQ(c.Count, d.Sections);
  const double f0 = std::sqrt(d.FLow * d.FHigh);
  const double at[5] = {d.FLow / 2, d.FLow, f0, d.FHigh, 2 * d.FHigh};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(Gain(c, d.Fs, at[i]), d.Gains[i], 1e-8 * d.Gains[i]) << "f=" << at[i];
  }
  EXPECT_NEAR(Gain(c, d.Fs, f0), 1.0, 1e-12);
  EXPECT_EQ(Gain(c, d.Fs, 0.0), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Bands, DesignTest,
    ::testing::Values(
        // NoiseOrder 6 (3 sections) and EdgeOrder 6 (6 sections); 0.5..10 Hz is wider than the
        // 5.8:1 at which the real pole of an odd order splits into two real band-pass poles.
        DesignCase{
            3, 0.5, 10, 100, {0.111022942638, 0.707106781186, 1, 0.707106781187, 0.0791180337796}},
        DesignCase{6,
                   0.5,
                   10,
                   100,
                   {0.0124789507361, 0.707106781186, 1, 0.707106781187, 0.00629896850737}},
        DesignCase{
            3, 2, 4, 50, {0.0239178918062, 0.707106781187, 1, 0.707106781187, 0.0187687015073}},
        DesignCase{
            6, 2, 4, 50, {0.000572392900996, 0.707106781187, 1, 0.707106781187, 0.000352388268156}},
        DesignCase{
            3, 0.1, 20, 100, {0.12284796254, 0.707106781188, 1, 0.707106781187, 0.0129939928223}}));

TEST(DesignBandPassTest, UnusableBandsGiveTheIdentity) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int N;
    double FHigh, FLow, FNyquist;
  };
  for (const Case& k : {Case{0, 10, 1, 50}, Case{-3, 10, 1, 50}, Case{3, 1, 10, 50},
                        Case{3, 5, 5, 50}, Case{3, 10, 0, 50}, Case{3, 10, -1, 50},
                        Case{3, nan, 1, 50}, Case{3, 10, 1, 0}, Case{3, 60, 49.9, 50}}) {
    TBiquadCascade c;
    DesignBandPass(3, c, 10, 1, 50);  // a previous design must not survive
    DesignBandPass(k.N, c, k.FHigh, k.FLow, k.FNyquist);
    EXPECT_EQ(c.Count, 0) << k.N << " " << k.FHigh << " " << k.FLow << " " << k.FNyquist;
    EXPECT_EQ(Gain(c, 100, 3.0), 1.0);
  }
}

TEST(DesignBandPassTest, LimitsOrderAndUpperCorner) {
  TBiquadCascade c;
  DesignBandPass(50, c, 10, 1, 50);
  EXPECT_EQ(c.Count, kMaxBiquadSections);
  EXPECT_NEAR(Gain(c, 100, std::sqrt(10.0)), 1.0, 1e-9);
  // An upper corner beyond the Nyquist frequency becomes 0.99 of it.
  DesignBandPass(3, c, 80, 1, 50);
  ASSERT_EQ(c.Count, 3);
  // (The gain is set to 1 at √(1·49.5) Hz, not at the warped centre, hence the tolerance.)
  EXPECT_NEAR(Gain(c, 100, 49.5), std::sqrt(0.5), 1e-5);
  EXPECT_NEAR(Gain(c, 100, 1.0), std::sqrt(0.5), 1e-5);
}

// The passes exactly as written out: one section after another over the whole buffer, the
// terms summed in formula order.
void SectionBySection(std::vector<double>& y, const TBiquadCascade& c, bool bidirectional) {
  const auto N = static_cast<ptrdiff_t>(y.size());
  if (N <= 2) return;
  for (int s = 0; s < c.Count; ++s) {
    const TBiquadSection& k = c.Sections[s];
    double x1 = y[1], x2 = y[0];
    for (ptrdiff_t i = 2; i < N; ++i) {
      const double x = y[i];
      y[i] = k.B0 * x + k.B1 * x1 + k.B2 * x2 - k.A1 * y[i - 1] - k.A2 * y[i - 2];
      x2 = x1, x1 = x;
    }
  }
  if (!bidirectional) return;
  for (int s = 0; s < c.Count; ++s) {
    const TBiquadSection& k = c.Sections[s];
    double x1 = y[N - 2], x2 = y[N - 1];
    for (ptrdiff_t i = N - 3; i >= 0; --i) {
      const double x = y[i];
      y[i] = k.B0 * x + k.B1 * x1 + k.B2 * x2 - k.A1 * y[i + 1] - k.A2 * y[i + 2];
      x2 = x1, x1 = x;
    }
  }
}

TEST(FilterBufferTest, EqualsSectionBySectionPasses) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {1, 2, 3, 4, 5, 7, 20}) {
    for (size_t N : {size_t{0}, size_t{2}, size_t{3}, size_t{4}, size_t{500}}) {
      TBiquadCascade c;
      DesignBandPass(n, c, 12, 0.3, 50);
      c.Sections[0].B1 = 0.01;  // a general section, not only the designed b1 = 0
      std::vector<double> x(N);
      for (double& v : x) v = 1000 * u(rng);
      for (bool both : {false, true}) {
        std::vector<double> got = x, want = x;
        FilterBuffer(got, c, both);
        SectionBySection(want, c, both);
        for (size_t i = 0; i < N; ++i) {
          EXPECT_NEAR(got[i], want[i], 1e-9 * (1 + std::abs(want[i])))
              << "n=" << n << " N=" << N << " both=" << both << " i=" << i;
        }
        if (N <= 2) {
          EXPECT_EQ(got, x);
        }
      }
    }
  }
}

TEST(FilterSamplesTest, ZeroPhaseWithSquaredMagnitude) {
  // Tones at the centre and an octave above the upper corner: forward and backward the centre
  // tone comes through unchanged and in phase, the other one damped by |H|².
  const double fs = 100, f_low = 0.5, f_high = 10;
  TBiquadCascade c;
  DesignBandPass(3, c, f_high, f_low, fs / 2);
  for (double f : {std::sqrt(f_low * f_high), 2 * f_high}) {
    const double gain = Gain(c, fs, f);
    std::vector<int32_t> x(20000);
    for (size_t i = 0; i < x.size(); ++i) {
      x[i] = static_cast<int32_t>(std::lround(1e6 * std::sin(2 * std::numbers::pi * f * i / fs)));
    }
    const std::vector<int32_t> y = FilterSamples(x, c, true);
    ASSERT_EQ(y.size(), x.size() + 4);
    for (size_t i = 8000; i < 12000; ++i) {
      ASSERT_NEAR(y[i], gain * gain * x[i], 2.0 + 1e-4 * 1e6) << "f=" << f << " i=" << i;
    }
  }
}

TEST(FilterSamplesTest, IdentityKeepsSamplesAndAppendsFourZeros) {
  TBiquadCascade c;
  DesignBandPass(6 / 2, c, 10, 20, 50);  // fHigh <= fLow
  DesignBandPass(1 / 2, c, 10, 1, 50);   // NoiseOrder 1: no sections
  ASSERT_EQ(c.Count, 0);
  const std::vector<int32_t> x = {5, -7, 2147483647, -2147483647 - 1, 0};
  EXPECT_EQ(FilterSamples(x, c, true),
            (std::vector<int32_t>{5, -7, 2147483647, -2147483647 - 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(FilterSamples(std::vector<int32_t>{}, c, true), std::vector<int32_t>(4, 0));
}

TEST(FilterSamplesTest, ClampsAndRoundsHalfToEven) {
  TBiquadCascade gain4;  // y = 4·x
  gain4.Count = 1;
  gain4.Sections[0].B0 = 4;
  const std::vector<int32_t> big = {1000000000, -1000000000, 536870911, -536870912};
  EXPECT_EQ(
      FilterSamples(big, gain4, false),
      (std::vector<int32_t>{2147483647, -2147483647 - 1, 2147483644, -2147483647 - 1, 0, 0, 0, 0}));
  TBiquadCascade half;  // y = x/2 each way: x/4 both ways
  half.Count = 1;
  half.Sections[0].B0 = 0.5;
  EXPECT_EQ(FilterSamples(std::vector<int32_t>{3, 5, -3, -5}, half, false),
            (std::vector<int32_t>{2, 2, -2, -2, 0, 0, 0, 0}));
  EXPECT_EQ(FilterSamples(std::vector<int32_t>{10, 6, 2}, half, true),
            (std::vector<int32_t>{2, 2, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace tarvik

#include "spectral/transforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <thread>
#include <vector>

namespace tarvik {
namespace {

struct Signal {
  std::vector<double> Re, Im;
};

Signal Noise(size_t M, unsigned seed, bool real = false) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1000.0, 1000.0);
  Signal s{std::vector<double>(M), std::vector<double>(M, 0.0)};
  for (size_t j = 0; j < M; ++j) {
    s.Re[j] = u(rng);
    if (!real) s.Im[j] = u(rng);
  }
  return s;
}

double MaxAbs(const Signal& s) {
  double m = 0.0;
  for (size_t k = 0; k < s.Re.size(); ++k) m = std::max(m, std::hypot(s.Re[k], s.Im[k]));
  return m;
}

// Largest distance between two signals relative to the largest line of the reference.
double RelativeError(const Signal& got, const Signal& ref) {
  double e = 0.0;
  for (size_t k = 0; k < ref.Re.size(); ++k) {
    e = std::max(e, std::hypot(got.Re[k] - ref.Re[k], got.Im[k] - ref.Im[k]));
  }
  return e / MaxAbs(ref);
}

// The transform with every term's angle computed afresh in extended precision.
Signal PerTermTransform(const Signal& x, bool forward) {
  const size_t M = x.Re.size();
  const long double sigma = forward ? -1.0L : 1.0L;
  Signal out{std::vector<double>(M), std::vector<double>(M)};
  for (size_t k = 0; k < M; ++k) {
    long double sr = 0.0L, si = 0.0L;
    for (size_t j = 0; j < M; ++j) {
      const long double theta = 2.0L * std::numbers::pi_v<long double> *
                                static_cast<long double>((j * k) % M) / static_cast<long double>(M);
      const long double c = std::cos(theta), s = sigma * std::sin(theta);
      sr += x.Re[j] * c - x.Im[j] * s;
      si += x.Re[j] * s + x.Im[j] * c;
    }
    const long double scale = forward ? static_cast<long double>(M) : 1.0L;
    out.Re[k] = static_cast<double>(sr / scale);
    out.Im[k] = static_cast<double>(si / scale);
  }
  return out;
}

class PowerOfTwoTest : public ::testing::TestWithParam<size_t> {};

TEST_P(PowerOfTwoTest, FastAndOrdinaryTransformsAgreeBothWays) {
  const size_t M = GetParam();
  const Signal x = Noise(M, static_cast<unsigned>(M));
  TDftPlan dft(M);
  TFftPlan fft(M);
  for (bool forward : {true, false}) {
    Signal want = x;
    ASSERT_TRUE(dft.Transform(want.Re, want.Im, forward));
    Signal got = x;
    ASSERT_TRUE(fft.Transform(got.Re, got.Im, forward));
    EXPECT_LT(RelativeError(got, want), 1e-12) << "M=" << M << " forward=" << forward;
  }
}

TEST_P(PowerOfTwoTest, RealInputPathGivesTheComplexResult) {
  const size_t M = GetParam();
  const Signal x = Noise(M, static_cast<unsigned>(M) + 1, /*real=*/true);
  TFftPlan plan(M);
  Signal complex = x;
  ASSERT_TRUE(plan.Transform(complex.Re, complex.Im, true));
  Signal real{x.Re, std::vector<double>(M, std::numeric_limits<double>::quiet_NaN())};
  ASSERT_TRUE(plan.ForwardReal(real.Re, real.Im));
  EXPECT_LT(RelativeError(real, complex), 1e-13) << "M=" << M;
}

TEST_P(PowerOfTwoTest, ForwardThenInverseReturnsTheInput) {
  const size_t M = GetParam();
  const Signal x = Noise(M, static_cast<unsigned>(M) + 2);
  Signal y = x;
  ASSERT_TRUE(FFT(y.Re, y.Im, true));
  ASSERT_TRUE(FFT(y.Re, y.Im, false));
  EXPECT_LT(RelativeError(y, x), 1e-13) << "M=" << M;
}

INSTANTIATE_TEST_SUITE_P(Lengths, PowerOfTwoTest,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384));

TEST(FastTransformTest, MatchesExtendedPrecisionOracle) {
  for (size_t M : {size_t{8}, size_t{32}, size_t{512}}) {
    const Signal x = Noise(M, 7);
    Signal y = x;
    ASSERT_TRUE(FFT(y.Re, y.Im, true));
    EXPECT_LT(RelativeError(y, PerTermTransform(x, true)), 1e-14) << "M=" << M;
    y = x;
    ASSERT_TRUE(FFT(y.Re, y.Im, false));
    EXPECT_LT(RelativeError(y, PerTermTransform(x, false)), 1e-14) << "M=" << M;
  }
}

TEST(FastTransformTest, RefusesMismatchedLengths) {
  EXPECT_THROW(TFftPlan(12), std::invalid_argument);
  EXPECT_THROW(TFftPlan(0), std::invalid_argument);
  EXPECT_THROW(TRealTransform(0), std::invalid_argument);
  std::vector<double> re(12, 1.0), im(12, 0.0);
  EXPECT_FALSE(FFT(re, im, true));
  EXPECT_EQ(re, std::vector<double>(12, 1.0));
  std::vector<double> short_im(8, 0.0), re8(8, 1.0);
  EXPECT_FALSE(FFT(re, short_im, true));
  EXPECT_FALSE(DFT(re, short_im, true));
  TFftPlan plan(8);
  EXPECT_FALSE(plan.Transform(re, im, true));
  EXPECT_FALSE(plan.ForwardReal(re8, im));
  EXPECT_EQ(re8, std::vector<double>(8, 1.0));
}

TEST(OrdinaryTransformTest, LengthWithoutPowerOfTwoMatchesPerTermSums) {
  const size_t M = 2000;
  const Signal x = Noise(M, 11, /*real=*/true);
  const Signal ref = PerTermTransform(x, true);
  Signal y = x;
  TDftPlan plan(M);
  ASSERT_TRUE(plan.Transform(y.Re, y.Im, true));
  EXPECT_LT(RelativeError(y, ref), 1e-14);
  ASSERT_TRUE(plan.Transform(y.Re, y.Im, false));
  EXPECT_LT(RelativeError(y, x), 1e-13);
}

TEST(OrdinaryTransformTest, OddAndPrimeLengthsRoundTrip) {
  for (size_t M : {size_t{1}, size_t{3}, size_t{5}, size_t{97}, size_t{1000}, size_t{1009}}) {
    const Signal x = Noise(M, 3);
    Signal y = x;
    ASSERT_TRUE(DFT(y.Re, y.Im, true));
    EXPECT_LT(RelativeError(y, PerTermTransform(x, true)), 1e-14) << M;
    ASSERT_TRUE(DFT(y.Re, y.Im, false));
    EXPECT_LT(RelativeError(y, x), 1e-13) << M;
  }
}

// Lines 0..M/2 of the real-input transform, scaled by 1/M as the complex transforms are.
Signal HalfSpectrum(TRealTransform& t, const std::vector<double>& x) {
  std::copy(x.begin(), x.end(), t.Input().begin());
  const std::span<const double> lines = t.Execute();
  const size_t L = t.Size() / 2 + 1;
  EXPECT_EQ(lines.size(), 2 * L);
  Signal out{std::vector<double>(L), std::vector<double>(L)};
  for (size_t k = 0; k < L; ++k) {
    out.Re[k] = lines[2 * k] / static_cast<double>(t.Size());
    out.Im[k] = lines[2 * k + 1] / static_cast<double>(t.Size());
  }
  return out;
}

Signal FirstLines(Signal s, size_t L) {
  s.Re.resize(L);
  s.Im.resize(L);
  return s;
}

TEST(RealTransformTest, AnyLengthMatchesPerTermSumsAndKeepsItsInput) {
  // Powers of two, lengths a spectrum segment of a whole number of seconds gives, odd and prime.
  for (size_t M : {size_t{1}, size_t{2}, size_t{7}, size_t{12}, size_t{97}, size_t{1000},
                   size_t{1024}, size_t{1009}, size_t{1500}}) {
    const Signal x = Noise(M, 5, /*real=*/true);
    TRealTransform t(M);
    const Signal got = HalfSpectrum(t, x.Re);
    EXPECT_LT(RelativeError(got, FirstLines(PerTermTransform(x, true), M / 2 + 1)), 1e-14)
        << "M=" << M;
    EXPECT_EQ(std::vector<double>(t.Input().begin(), t.Input().end()), x.Re) << "M=" << M;
  }
}

// The inputs of one object are arrays of their own: writing or transforming one leaves the
// others as they were, and each transforms to exactly what an object of one input gives it,
// odd lengths included (the inputs after the first must be aligned as the plan expects).
TEST(RealTransformTest, SeveralInputsAreSeparateAndTransformAlike) {
  for (size_t M : {size_t{1}, size_t{7}, size_t{97}, size_t{1000}, size_t{1009}, size_t{4096}}) {
    TRealTransform t(M, 0, 3);
    ASSERT_EQ(t.Inputs(), 3u);
    std::vector<Signal> x;
    for (unsigned i = 0; i < 3; ++i) {
      x.push_back(Noise(M, 20 + i, /*real=*/true));
      std::copy(x[i].Re.begin(), x[i].Re.end(), t.Input(i).begin());
    }
    for (size_t i : {size_t{2}, size_t{0}, size_t{1}}) {
      const std::span<const double> got = t.Execute(i);
      TRealTransform alone(M);
      std::copy(x[i].Re.begin(), x[i].Re.end(), alone.Input().begin());
      const std::span<const double> want = alone.Execute();
      EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin(), want.end()))
          << "M=" << M << ", input " << i;
    }
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(std::vector<double>(t.Input(i).begin(), t.Input(i).end()), x[i].Re)
          << "M=" << M << ", input " << i;
    }
  }
  // No input asked for still gives one.
  EXPECT_EQ(TRealTransform(8, 0, 0).Inputs(), 1u);
}

TEST(RealTransformTest, ThreadsShareThePlansOfALength) {
  // Several threads transform at once, each with its own objects, while a long run of the same
  // length is announced, so that the measured plan is made and handed out meanwhile; every
  // result must equal the one computed alone within rounding.
  const size_t M = 4096;
  const Signal x = Noise(M, 9, /*real=*/true);
  TRealTransform alone(M);
  const Signal want = HalfSpectrum(alone, x.Re);
  std::vector<double> worst(4, 0.0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < worst.size(); ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 20; ++round) {
        TRealTransform t(M, i == 0 && round == 0 ? int64_t{1} << 20 : 0);
        for (int r = 0; r < 5; ++r) {
          worst[i] = std::max(worst[i], RelativeError(HalfSpectrum(t, x.Re), want));
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < worst.size(); ++i) EXPECT_LT(worst[i], 1e-14) << "thread " << i;
}

TEST(OneSidedSpectrumTest, InteriorLinesAreDoubled) {
  // X = 1 + 1i on every line of an 8-point transform: |X| = √2, |X|² = 2, scale M/fs = 4.
  const std::vector<double> re(8, 1.0), im(8, 1.0);
  const TDoubleDynArray amplitude = AmplitudeSpectrum(re, im, 2.0);
  const TDoubleDynArray power = PowerSpectrum(re, im, 2.0);
  ASSERT_EQ(amplitude.size(), 5u);
  ASSERT_EQ(power.size(), 5u);
  for (size_t k = 0; k < 5; ++k) {
    const double doubling = (k == 0 || k == 4) ? 1.0 : 2.0;
    EXPECT_DOUBLE_EQ(amplitude[k], doubling * std::sqrt(2.0) * 4.0) << k;
    EXPECT_DOUBLE_EQ(power[k], doubling * 2.0 * 4.0) << k;
  }
}

TEST(OneSidedSpectrumTest, OddLengthHasNoNyquistLine) {
  // M = 5: lines 0..2; line 2 is not a Nyquist line (line 3 is its mirror), so only 0 stays
  // single.
  const std::vector<double> re(5, 3.0), im(5, 4.0);
  const TDoubleDynArray a = AmplitudeSpectrum(re, im, 5.0);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_DOUBLE_EQ(a[0], 5.0);
  EXPECT_DOUBLE_EQ(a[1], 10.0);
  EXPECT_DOUBLE_EQ(a[2], 10.0);
  EXPECT_DOUBLE_EQ(PowerSpectrum(re, im, 5.0)[2], 50.0);
  // Moduli whose squares would overflow or underflow.
  const std::vector<double> tiny = {3e-200, 3e-200}, huge = {4e200, 4e200};
  const std::vector<double> tiny_im = {4e-200, 4e-200}, huge_im = {3e200, 3e200};
  EXPECT_NEAR(AmplitudeSpectrum(tiny, tiny_im, 2.0)[0], 5e-200, 1e-214);
  EXPECT_NEAR(AmplitudeSpectrum(huge, huge_im, 2.0)[1], 5e200, 1e186);
  std::vector<double> wrong_size(4);
  EXPECT_FALSE(PowerSpectrum(re, im, 5.0, wrong_size));
  EXPECT_TRUE(AmplitudeSpectrum(std::vector<double>{}, std::vector<double>{}, 1.0).empty());
}

TEST(OneSidedSpectrumTest, ToneAmplitudeInInputUnitsTimesSeconds) {
  // A tone of amplitude 3 on line 16 of 256 samples at 50 Hz: A = 2·|Σ x e^..|/fs = 3·M/fs.
  const size_t M = 256;
  const double fs = 50.0;
  std::vector<double> re(M), im(M);
  for (size_t j = 0; j < M; ++j) {
    re[j] = 3.0 * std::sin(2.0 * std::numbers::pi * 16.0 * static_cast<double>(j) / M + 0.3);
  }
  TFftPlan plan(M);
  ASSERT_TRUE(plan.ForwardReal(re, im));
  const TDoubleDynArray a = AmplitudeSpectrum(re, im, fs);
  EXPECT_NEAR(a[16], 3.0 * M / fs, 1e-12);
  EXPECT_NEAR(a[15], 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(LineFrequency(16, M, fs), 3.125);
}

TEST(ArrayRoutinesTest, MeanAndMinMaxOverARange) {
  const std::vector<int32_t> v = {4, -7, 2147483647, 2147483647, 0, -2147483647 - 1};
  EXPECT_DOUBLE_EQ(Mean(v, 2, 3), 2147483647.0);  // no overflow of the sum
  EXPECT_DOUBLE_EQ(Mean(v, 0, 1), -1.5);
  EXPECT_DOUBLE_EQ(Mean(v, 4, -1), -1073741824.0);  // last < 0: to the end
  EXPECT_DOUBLE_EQ(Mean(std::vector<int32_t>{}, 0, -1), 0.0);
  EXPECT_DOUBLE_EQ(Mean(v, 3, 2), 0.0);
  EXPECT_DOUBLE_EQ(Mean(v, 5, 100), -2147483648.0);  // limited to the array

  const TMinMax all = MinMax(v, 0, -1);
  EXPECT_EQ(all.Min, -2147483647 - 1);
  EXPECT_EQ(all.Max, 2147483647);
  const TMinMax head = MinMax(v, 0, 1);
  EXPECT_EQ(head.Min, -7);
  EXPECT_EQ(head.Max, 4);
  const TMinMax one = MinMax(v, 1, 1);
  EXPECT_EQ(one.Min, -7);
  EXPECT_EQ(one.Max, -7);
  const TMinMax none = MinMax(std::vector<int32_t>{}, 0, -1);
  EXPECT_EQ(none.Min, 0);
  EXPECT_EQ(none.Max, 0);
}

struct MedianCase {
  std::vector<double> Values;
  double Median;
};

class MedianTest : public ::testing::TestWithParam<MedianCase> {};

TEST_P(MedianTest, SortsAscendingAndTakesTheMiddle) {
  std::vector<double> v = GetParam().Values;
  std::vector<double> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_DOUBLE_EQ(Median(v, true), GetParam().Median);
  EXPECT_EQ(v, sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MedianTest,
    ::testing::Values(MedianCase{{1, 2, 3}, 2.0}, MedianCase{{1, 2, 3, 4}, 2.5},
                      MedianCase{{3, 1, 2}, 2.0}, MedianCase{{4, 3, 2, 1}, 2.5},
                      MedianCase{{5, 5, 5, 5, 5}, 5.0}, MedianCase{{7}, 7.0},
                      MedianCase{{2, 1}, 1.5}, MedianCase{{9, 8, 7, 6, 5, 4, 3, 2, 1}, 5.0},
                      MedianCase{{-1, 1e300, -1e300, 0, 0, 0}, 0.0}, MedianCase{{}, 0.0}));

TEST(SortTest, LargeAndAdversarialInputs) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> small(0, 3);
  for (size_t n : {size_t{2}, size_t{3}, size_t{17}, size_t{1000}, size_t{100000}}) {
    std::vector<double> random(n), equal(n, 1.0), reversed(n), few(n);
    for (size_t i = 0; i < n; ++i) {
      random[i] = std::uniform_real_distribution<double>(-1, 1)(rng);
      reversed[i] = static_cast<double>(n - i);
      few[i] = small(rng);
    }
    for (auto* v : {&random, &equal, &reversed, &few}) {
      std::vector<double> want = *v;
      std::sort(want.begin(), want.end());
      Sort(*v);
      EXPECT_EQ(*v, want) << n;
    }
  }
}

TEST(SortTest, NaNEntriesDoNotRunOutOfTheArray) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> v = {nan, 3, nan, 1, 2, nan, nan, 0};
  Sort(v);  // the order around NaN is unspecified; the run must stay inside the array
  std::vector<double> finite;
  for (double x : v) {
    if (!std::isnan(x)) finite.push_back(x);
  }
  std::sort(finite.begin(), finite.end());
  EXPECT_EQ(finite, (std::vector<double>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace tarvik

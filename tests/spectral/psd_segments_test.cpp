// Segment PSDs against signals whose density is known and against a plain reference of the
// method on real data.
#include "spectral/psd_segments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>

#include "common/ui_host.h"
#include "records/assembly.h"
#include "records/load_record.h"
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "test_files.h"

namespace tarvik {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct GeometryCase {
  double Seconds, Rate;
  int32_t Nfft, Windows;
  double Shortest, Longest;
};

TEST(PsdGeometry, WindowIsTheLargestPowerOfTwoInAQuarterSegment) {
  const GeometryCase cases[] = {
      // 360000 samples: a quarter is 90000, so 65536; (360000 - 65536) / 16384 + 1 windows.
      {3600, 100, 65536, 18, 0.02, 655.36},
      {3600, 1, 512, 25, 2.0, 512.0},
      {1024, 1, 256, 13, 2.0, 256.0},
      {1023, 1, 128, 28, 2.0, 128.0},
  };
  for (const GeometryCase& c : cases) {
    TPsdGeometry g;
    ASSERT_TRUE(MakePsdGeometry({c.Seconds, 0.5}, c.Rate, g, nullptr)) << c.Seconds;
    EXPECT_EQ(g.Nfft, c.Nfft) << c.Seconds;
    EXPECT_EQ(g.Windows, c.Windows) << c.Seconds;
    EXPECT_DOUBLE_EQ(g.Periods.front(), c.Shortest);
    EXPECT_LE(g.Periods.back(), c.Longest * (1 + 1e-9));
    EXPECT_GT(g.Periods.back() * std::exp2(0.125), c.Longest);
    for (size_t j = 1; j < g.Periods.size(); ++j) {
      EXPECT_NEAR(g.Periods[j] / g.Periods[j - 1], std::exp2(0.125), 1e-12);
    }
  }
  // Settings or a rate that give no segments, each refused with its own reason.
  struct Refused {
    TPsdSettings Settings;
    double Rate;
    TCode Code;
  };
  const Refused refused[] = {
      {{10, 0.5}, 1.0, TCode::kPsdSegmentTooShort},
      {{3600, 1.0}, 100.0, TCode::kPsdOverlapOutOfRange},
      {{3600, -0.1}, 100.0, TCode::kPsdOverlapOutOfRange},
      {{-5, 0.5}, 100.0, TCode::kPsdSegmentNotPositive},
      {{std::numeric_limits<double>::infinity(), 0.5}, 100.0, TCode::kPsdSegmentNotPositive},
      {{3600, 0.5}, 0.0, TCode::kPsdNoSamplingRate},
  };
  for (const Refused& c : refused) {
    TPsdGeometry g;
    TStatus why;
    EXPECT_FALSE(MakePsdGeometry(c.Settings, c.Rate, g, &why));
    EXPECT_EQ(why.Code, c.Code) << c.Settings.SegmentSeconds << " " << c.Rate;
  }
  TPsdGeometry g;
  TStatus why;
  ASSERT_FALSE(MakePsdGeometry({10, 0.5}, 1.0, g, &why));
  EXPECT_EQ(Text(why, TLanguage::kEnglish),
            "a segment of 10.000000 s holds too few samples at this rate (at least 64 are "
            "needed)");
}

// Through a unit response the acceleration density is the counts' density times (2πf)².
TEST(PsdSegments, WhiteNoiseOfKnownVarianceGivesItsDensity) {
  const double rate = 100.0, sigma = 1000.0;
  TPsdGeometry g;
  ASSERT_TRUE(MakePsdGeometry({3600, 0.5}, rate, g, nullptr));
  std::mt19937_64 random(7);
  std::normal_distribution<double> normal(0.0, sigma);
  std::vector<int32_t> samples(static_cast<size_t>(g.SegmentSamples));
  for (int32_t& s : samples) s = static_cast<int32_t>(std::lround(normal(random)));
  const std::vector<double> factors = AccelerationFactors({}, 1.0, g);
  TPsdCalculator calc(g);
  std::vector<float> full, grid;
  calc.Compute(samples.data(), factors, full, grid);

  const double counts_density = 2.0 * sigma * sigma / rate;
  int checked = 0;
  for (size_t j = 0; j < g.Periods.size(); ++j) {
    const int32_t lines = g.LineLast[j] - g.LineFirst[j] + 1;
    // Enough independent values that the estimate's spread stays well inside 0.1 dB.
    if (lines * g.Windows < 60000) continue;
    double sum = 0.0;
    for (int32_t k = g.LineFirst[j]; k <= g.LineLast[j]; ++k) {
      const double w = kTwoPi * k * rate / g.Nfft;
      sum += counts_density * w * w;
    }
    EXPECT_NEAR(grid[j], 10.0 * std::log10(sum / lines), 0.1) << g.Periods[j];
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

TEST(PsdSegments, SineOfKnownAmplitudeGivesItsPower) {
  const double rate = 100.0, amplitude = 5000.0;
  TPsdGeometry g;
  ASSERT_TRUE(MakePsdGeometry({3600, 0.5}, rate, g, nullptr));
  for (const int line : {300, 6553, 20000}) {  // on a line of the transform
    const double f = line * rate / g.Nfft;
    std::vector<int32_t> samples(static_cast<size_t>(g.SegmentSamples));
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] =
          static_cast<int32_t>(std::lround(amplitude * std::sin(kTwoPi * f * i / rate + 0.3)));
    }
    TPsdCalculator calc(g);
    std::vector<float> full, grid;
    calc.Compute(samples.data(), AccelerationFactors({}, 1.0, g), full, grid);
    // The tapered peak spreads over a few lines; their sum in counts² is the mean square A²/2.
    double power = 0.0;
    for (int k = line - 8; k <= line + 8; ++k) {
      const double w = kTwoPi * k * rate / g.Nfft;
      power += std::pow(10.0, full[static_cast<size_t>(k)] / 10.0) / (w * w) * rate / g.Nfft;
    }
    EXPECT_NEAR(10.0 * std::log10(power), 10.0 * std::log10(amplitude * amplitude / 2.0), 0.1) << f;
  }
}

// The method written out plainly: least-squares line by its normal equations, the taper by its
// definition, the transform as a direct sum, the density scaled as a one-sided periodogram;
// the octave averages over lines picked by their period.
std::vector<double> ReferencePsd(const std::vector<int32_t>& x, size_t first, double rate,
                                 size_t seg, const TCombinedFilter& chain, double adc,
                                 const std::vector<double>& periods) {
  size_t nfft = 1;
  while (nfft * 2 <= seg / 4) nfft *= 2;
  const size_t step = nfft / 4;
  std::vector<double> taper(nfft);
  const size_t edge = static_cast<size_t>(std::floor(0.1 * nfft + 0.5));
  for (size_t i = 0; i < nfft; ++i) {
    const size_t from_end = std::min(i, nfft - 1 - i);
    taper[i] = from_end >= edge
                   ? 1.0
                   : std::pow(std::sin(std::numbers::pi / 2 * from_end / (edge - 1)), 2);
  }
  double w2 = 0.0;
  for (double w : taper) w2 += w * w;
  const size_t lines = nfft / 2 + 1;
  std::vector<double> p(lines, 0.0);
  std::vector<std::complex<long double>> turn(nfft);
  for (size_t m = 0; m < nfft; ++m) {
    const long double arg = -2.0L * std::numbers::pi_v<long double> * m / nfft;
    turn[m] = {std::cos(arg), std::sin(arg)};
  }
  size_t count = 0;
  for (size_t start = first; start + nfft <= first + seg; start += step, ++count) {
    double st = 0, sy = 0, stt = 0, sty = 0;
    for (size_t i = 0; i < nfft; ++i) {
      const double t = static_cast<double>(i), y = x[start + i];
      st += t, sy += y, stt += t * t, sty += t * y;
    }
    const double n = static_cast<double>(nfft);
    const double b = (n * sty - st * sy) / (n * stt - st * st);
    const double a = (sy - b * st) / n;
    std::vector<double> v(nfft);
    for (size_t i = 0; i < nfft; ++i) v[i] = (x[start + i] - a - b * i) * taper[i];
    for (size_t k = 0; k < lines; ++k) {
      std::complex<long double> sum = 0;
      for (size_t i = 0; i < nfft; ++i) {
        sum += static_cast<long double>(v[i]) * turn[(k * i) % nfft];
      }
      p[k] += static_cast<double>(std::norm(sum));
    }
  }
  std::vector<double> out;
  for (double period : periods) {
    double sum = 0;
    int used = 0;
    for (size_t k = 1; k < lines; ++k) {
      const double f = k * rate / nfft;
      if (1.0 / f < period / std::sqrt(2.0) * (1 - 1e-9) ||
          1.0 / f > period * std::sqrt(2.0) * (1 + 1e-9))
        continue;
      const double one_sided = (k == nfft / 2 ? 1.0 : 2.0) * p[k] / count / (rate * w2);
      const double h = std::abs(EvaluateChain(chain, f)) * adc;
      sum += one_sided * std::pow(kTwoPi * f, 2) / (h * h);
      ++used;
    }
    out.push_back(used ? 10.0 * std::log10(sum / used) : NAN);
  }
  return out;
}

TEST(PsdSegments, RealRecordMatchesAPlainReferenceOfTheMethod) {
  // A day of a real broadband channel (1 Hz) divided by a real seismometer's response listing.
  const std::string data = testing::RealFile("mseed/CH.BALST..LHE.D.2025.314.mseed");
  TFileRecords records = FormRecordsFrom(data, AssemblySettings{});
  ASSERT_FALSE(records.empty());
  TFileRecord record = records[0];
  TData32 samples;
  NullUiHost host;
  LoadReport report;
  ASSERT_TRUE(LoadRecord(record, samples, host, LoadSettings{}, &report));
  TFilterPack pack;
  ASSERT_TRUE(LoadResponse(testing::RealFile("stationxml/RESP.ANMO.IU.00.BHZ"), pack).Ok());
  const TCombinedFilter chain = {pack};
  const double adc = 1.0;

  TPsdGeometry g;
  ASSERT_TRUE(MakePsdGeometry({3600, 0.5}, record.SampRate, g, nullptr));
  TPsdCalculator calc(g);
  const std::vector<double> factors = AccelerationFactors(chain, adc, g);
  int compared = 0;
  for (size_t first = 0; first + g.SegmentSamples <= samples[0].size() && compared < 3;
       first += 5 * g.SegmentSamples) {
    bool gap = false;
    for (const auto& [a, b] : report.Unread.empty() ? TRecordRanges{} : report.Unread[0]) {
      gap = gap || (b >= static_cast<int64_t>(first) &&
                    a < static_cast<int64_t>(first + g.SegmentSamples));
    }
    if (gap) continue;
    std::vector<float> full, grid;
    calc.Compute(samples[0].data() + first, factors, full, grid);
    const std::vector<double> expected =
        ReferencePsd(samples[0], first, record.SampRate, static_cast<size_t>(g.SegmentSamples),
                     chain, adc, g.Periods);
    for (size_t j = 0; j < g.Periods.size(); ++j) {
      ASSERT_TRUE(std::isfinite(expected[j])) << g.Periods[j];
      EXPECT_NEAR(grid[j], expected[j], 0.5)
          << "period " << g.Periods[j] << " s, segment at " << first;
    }
    ++compared;
  }
  EXPECT_EQ(compared, 3);
}

}  // namespace
}  // namespace tarvik

#include "viewers/noise_models.h"

#include <cmath>
#include <numbers>

namespace tarvik {

const std::array<TNoiseModelPoint, 13> kHighNoiseModel = {{
    {1e-05, 3600},
    {0.0001, 0.025},
    {0.0028, 8e-10},
    {0.05, 1.4e-13},
    {0.0649, 6e-12},
    {0.1265, 7.1e-12},
    {0.1587, 8e-11},
    {0.2174, 1.2e-10},
    {0.263, 5.8e-11},
    {1.25, 1.6e-14},
    {3.125, 2.3e-14},
    {4.5454, 2.2e-13},
    {10, 1.8e-13},
}};

const std::array<TNoiseModelPoint, 22> kLowNoiseModel = {{
    {1e-05, 0.012},   {0.0001, 3.5e-14}, {0.0017, 3.2e-15}, {0.003, 4.9e-16},  {0.0065, 1.8e-16},
    {0.01, 9.7e-17},  {0.0142, 2.2e-17}, {0.0222, 9.1e-18}, {0.0316, 7.9e-18}, {0.0456, 2.2e-17},
    {0.064, 3.8e-16}, {0.083, 8.7e-17},  {0.1, 1e-16},      {0.167, 1.1e-15},  {0.2, 4.9e-15},
    {0.232, 3.6e-15}, {0.417, 2e-16},    {0.806, 1.7e-18},  {1.25, 1.9e-19},   {2.5, 8.7e-20},
    {5.88, 1.6e-20},  {10, 4.1e-21},
}};

namespace {

// The models' own colour: grey, so that they stay behind the record's curves.
constexpr TRgb kModelColor = 0x808080;

template <size_t kN>
TChartSeries ModelSeries(const char* title, const std::array<TNoiseModelPoint, kN>& model,
                         int unit_item, int unit_out) {
  TChartSeries s;
  s.Title = title;
  s.Color = kModelColor;
  s.Kind = TSeriesKind::kLine;
  s.Dashed = true;
  s.Width = 2.0;
  s.Checked = false;
  s.FitsAxes = false;
  for (const TNoiseModelPoint& p : model) {
    s.Add(p.Frequency, NoiseDensityIn(p.Frequency, p.Density, unit_out, unit_item));
  }
  return s;
}

}  // namespace

double NoiseDensityIn(double f, double density, int unit_out, int unit_item) {
  const double w2 = std::pow(2.0 * std::numbers::pi * f, 2);
  double p = density;
  if (unit_out == kDisplacement) {
    p /= w2;
  } else if (unit_out == kAcceleration) {
    p *= w2;
  }
  const double u = UnitFactor(unit_item);
  return p / (u * u);
}

void ShowNoiseModels(TSpectrumView& view, int unit_item, int unit_out) {
  view.Series.push_back(ModelSeries("NHNM", kHighNoiseModel, unit_item, unit_out));
  view.Series.push_back(ModelSeries("NLNM", kLowNoiseModel, unit_item, unit_out));
}

}  // namespace tarvik

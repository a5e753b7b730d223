#pragma once

// The standard high- and low-noise models of the Earth (NHNM, NLNM) as the viewer draws them
// beside power spectra.

#include <array>

#include "viewers/spectrum_chart.h"

namespace tarvik {

// A corner of a model: frequency in Hz and power spectral density of ground velocity in
// (m/s)²/Hz.
struct TNoiseModelPoint {
  double Frequency;
  double Density;
};

extern const std::array<TNoiseModelPoint, 13> kHighNoiseModel;
extern const std::array<TNoiseModelPoint, 22> kLowNoiseModel;

// A velocity density at f in the shown quantity and unit: divided by (2πf)² for displacement,
// multiplied by it for acceleration, and divided by the square of the unit item's factor.
double NoiseDensityIn(double f, double density, int unit_out, int unit_item);

// Appends "NHNM" and "NLNM" as dashed lines of width 2, unchecked (the user checks them to see
// them); the axes stay fitted to the record's curves.
void ShowNoiseModels(TSpectrumView& view, int unit_item, int unit_out);

}  // namespace tarvik

#pragma once

// Power spectral densities of ground acceleration over long recordings, segment by segment, for
// station-noise statistics: each segment of SegmentSeconds is cut into windows of a power-of-two
// length (the largest not above a quarter of the segment) overlapping by three quarters; each
// window is detrended (least-squares line), tapered (cosine over its first and last tenth) and
// transformed, the window powers are averaged (Welch), divided by the squared modulus of the
// channel's chain and multiplied by (2πf)² to give acceleration in dB re 1 (m/s²)²/Hz. The
// result is kept at every line, and smoothed over one octave on a grid of periods spaced an
// eighth of an octave apart, from the Nyquist period up to the window length.
//
// Nothing here keeps state between calls; a TPsdCalculator is used by one thread at a time.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "response/response_model.h"
#include "spectral/transforms.h"

namespace tarvik {

struct TPsdSettings {
  double SegmentSeconds = 3600.0;
  // Share of a segment the next one overlaps, 0 <= Overlap < 1.
  double Overlap = 0.5;
};

// False, with the reason, when the settings cannot give segments.
bool CheckPsdSettings(const TPsdSettings& settings, TStatus* why);

// The sizes the settings give at one sampling rate.
struct TPsdGeometry {
  double Rate = 0.0;
  int64_t SegmentSamples = 0;
  int32_t Nfft = 0;        // window length, a power of two
  int32_t WindowStep = 0;  // Nfft / 4
  int32_t Windows = 0;     // windows averaged per segment
  // Centre periods of the smoothing grid (s), ascending; grid point j averages the lines whose
  // frequency lies in [1/(T·√2), √2/T], lines LineFirst[j]..LineLast[j] (LineFirst > LineLast
  // when there is none).
  std::vector<double> Periods;
  std::vector<int32_t> LineFirst;
  std::vector<int32_t> LineLast;

  int32_t Lines() const { return Nfft / 2 + 1; }
};

// The geometry at rate; false with the reason when a segment holds too few samples for windows
// of 16 samples or more.
bool MakePsdGeometry(const TPsdSettings& settings, double rate, TPsdGeometry& geometry,
                     TStatus* why);

// What the power of each line (in counts²/Hz) is multiplied by to give acceleration power:
// (2πf)² / (|chain(f)|·|adc_coef|)²; 0 where the chain gives no usable value (line 0 always).
std::vector<double> AccelerationFactors(const TCombinedFilter& chain, double adc_coef,
                                        const TPsdGeometry& geometry);

// Not-a-number marks a value that could not be computed (line 0, an unusable chain, a grid
// point without lines).
float PsdMissing();

// The PSD of single segments. Owns its transform and buffers.
class TPsdCalculator {
 public:
  // transforms: how many windows the caller expects to transform (lets FFTW measure a plan for
  // a long run).
  TPsdCalculator(const TPsdGeometry& geometry, int64_t transforms = 0);

  // The segment's PSD from geometry.SegmentSamples samples: full gets Lines() values, grid one
  // per period, in dB re 1 (m/s²)²/Hz.
  void Compute(const int32_t* samples, std::span<const double> factors, std::vector<float>& full,
               std::vector<float>& grid);

 private:
  const TPsdGeometry& geometry_;
  TRealTransform transform_;
  std::vector<double> taper_;
  std::vector<double> power_;
  std::vector<double> prefix_;
  std::vector<int32_t> usable_;
  std::vector<int64_t> block_y_;
  std::vector<int64_t> block_iy_;
  double scale_ = 0.0;
  int32_t taper_edge_ = 0;  // the taper is 1 from here to Nfft − taper_edge_
};

}  // namespace tarvik

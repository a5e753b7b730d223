#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "response/biquad.h"

namespace tarvik {

// Designs a Butterworth band-pass from fLow to fHigh Hz for sampling rate 2·fNyquist: the
// bilinear transform of an order-n low-pass prototype with pre-warped corners, as n second-order
// sections (band-pass order 2n) scaled to gain 1 at √(fLow·fHigh). The cascade is reset first
// and stays the identity (Count 0) when n <= 0 or the band is unusable: fHigh <= fLow, fLow <= 0,
// a rate <= 0 or a value that is not finite. n above 20 is limited to 20. A corner at or above
// fNyquist, beyond which the pre-warp has no meaning, is taken as 0.99·fNyquist.
void DesignBandPass(int32_t n, TBiquadCascade& cascade, double f_high, double f_low,
                    double f_nyquist);

// Runs the cascade over y in place: each section in turn forward over entries 2..N−1, and when
// bidirectional then each section backward over entries N−3..0, which squares the magnitude
// response and cancels the phase. Entries 0 and 1 keep their values in the forward passes, the
// last two in the backward passes; a buffer of two entries or fewer is left as it is.
void FilterBuffer(std::span<double> y, const TBiquadCascade& cascade, bool bidirectional);

// Filters integer samples: the samples framed by two zeros on each side go through FilterBuffer,
// and out gets L + 4 values: the L filtered samples rounded (ties to even) and clamped to the
// 32-bit range, then four zeros. The workspace holds the double buffer; a caller filtering
// channel after channel passes the same one and saves an allocation per channel.
void FilterSamples(std::span<const int32_t> values, const TBiquadCascade& cascade,
                   bool bidirectional, std::vector<int32_t>& out, std::vector<double>& workspace);
void FilterSamples(std::span<const int32_t> values, const TBiquadCascade& cascade,
                   bool bidirectional, std::vector<int32_t>& out);
std::vector<int32_t> FilterSamples(std::span<const int32_t> values, const TBiquadCascade& cascade,
                                   bool bidirectional);

}  // namespace tarvik

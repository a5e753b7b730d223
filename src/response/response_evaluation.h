#pragma once

// Complex responses of the model at a frequency f in Hz (s = j·2πf). Biquad sections, analog
// and digital, are evaluated by biquad.h.
//
// Nothing here throws. A pole at s itself or an overflow gives an infinite or NaN value;
// ResponseModulus turns any such value into +∞, so a caller that divides by the modulus gets 0
// at that frequency instead of a wrong number.

#include "response/biquad.h"
#include "response/response_model.h"

namespace tarvik {

// NormFactor · Π(s − zᵢ) / Π(s − pₖ).
TComplex EvaluateZP(const TComplexFilter& zp, double f);

// Product of the cascades' rational functions; 1 when Count is 0.
TComplex EvaluateCascades(const TPolyCascades& cascades, double f);

// A(f)·e^(jφ(f)) interpolated in the table: geometric in amplitude (and phase) between rows of
// non-zero frequency and non-zero values of one sign, linear otherwise; the end segments are
// extended. A one-row table gives that row at every frequency; an empty table gives 1.
TComplex EvaluateFAP(const TFAPFilter& table, double f);

// The digital stage's response at f Hz (z = e^(j·2πf/Rate)); NaN for a rate that is not
// positive.
TComplex EvaluateDigitalStage(const TDigitalStage& stage, double f);

// The response of one device: the first available of ZP, sections, cascades, FAP (else 1),
// times its digital stages.
TComplex EvaluatePack(const TFilterPack& pack, double f);

// The product of the chain's packs in order; 1 for an empty chain.
TComplex EvaluateChain(const TCombinedFilter& chain, double f);

// √(re² + im²); +∞ when that is not finite (a response that could not be evaluated, or one
// beyond 1e154 where the squares overflow).
double ResponseModulus(TComplex h);

// Reconciles NormValue and NormFactor from the unscaled response H0 at NormFrequency:
// type 2 or more keeps NormFactor and sets NormValue = |NormFactor·H0|; type 1 sets
// NormFactor = |NormValue / |H0||; type 0 does the same after setting NormValue to 1.
// Returns false when |H0| is 0 or not finite (NormFactor is then |NormValue|).
bool NormalizeZP(TComplexFilter& zp);

}  // namespace tarvik

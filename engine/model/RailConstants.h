#pragma once
// Model scales a layout can be planned in: names, ratio, track gauge and
// default rail width. Lengths are millimetres.

#include <string>

namespace URailConstants {

constexpr int kModelScaleZ = 11;
constexpr int kModelScaleN = 12;
constexpr int kModelScaleTT = 13;
constexpr int kModelScaleH0e = 14;
constexpr int kModelScaleH0m = 15;
constexpr int kModelScaleH0 = 16;
constexpr int kModelScale0 = 17;
constexpr int kModelScaleI = 18;
constexpr int kModelScaleIIm = 19;
constexpr int kModelScaleCustom = 20;
constexpr int kModelScaleS = 21;
constexpr int kModelScale00 = 22;
// The result of a failed parse.
constexpr int kModelScaleUnknown = 23;

constexpr int kFirstModelScale = kModelScaleZ;
constexpr int kLastModelScale = kModelScale00;

// Lookups with a code outside 11..22 log "Unsupported model scale %d in %s"
// and give "???" or 1.0.

// The short name ("H0"), followed by the ratio (" (1:87)") unless
// `shortForm` is set.
std::string GetModelScaleAsString(int modelScale, bool shortForm);
// 1 / denominator, so 1/87 for H0.
double GetFactorForModelScale(int modelScale);
double GetGaugeForModelScale(int modelScale);
double GetDefaultRailWidthForModelScale(int modelScale);

// The code whose short name, or one of its "/"-separated pieces, equals the
// text ignoring ASCII case; kModelScaleUnknown with a warning otherwise. The
// text is not trimmed.
int ParseModelScaleString(const std::string& text);

}  // namespace URailConstants

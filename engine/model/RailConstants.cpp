#include "engine/model/RailConstants.h"

#include "engine/services/Logger.h"
#include "platform/foundation/AsciiText.h"

#include <string_view>

namespace URailConstants {

namespace {

struct ModelScale {
    int code;
    const char* shortName;
    const char* ratioText;
    double denominator;
    double gauge;
    double defaultRailWidth;
};

constexpr ModelScale kModelScales[] = {
    {kModelScaleZ, "Z", " (1:220)", 220.0, 6.5, 0.5},
    {kModelScaleN, "N", " (1:160)", 160.0, 9.0, 0.7},
    {kModelScaleTT, "TT", " (1:120)", 120.0, 12.0, 0.8},
    {kModelScaleH0e, "H0e / H0n30", " (1:87)", 87.0, 9.0, 0.9},
    {kModelScaleH0m, "H0m / H0n3\u00BD", " (1:87)", 87.0, 12.0, 0.9},
    {kModelScaleH0, "H0", " (1:87)", 87.0, 16.5, 0.9},
    {kModelScale0, "0", " (1:45)", 45.0, 32.0, 1.6},
    {kModelScaleI, "I", " (1:32)", 32.0, 45.0, 2.3},
    {kModelScaleIIm, "IIm / G", " (1:22,5)", 22.5, 45.0, 1.3},
    {kModelScaleCustom, "Custom Scale", "", 1.0, 50.0, 5.0},
    {kModelScaleS, "S", " (1:64)", 64.0, 22.45, 1.1},
    {kModelScale00, "00", " (1:76)", 76.0, 16.5, 1.1},
};

static_assert(sizeof(kModelScales) / sizeof(kModelScales[0]) == kLastModelScale - kFirstModelScale + 1);

// The table row of a code, or null after the warning naming `signature`.
const ModelScale* Find(int modelScale, const char* signature) {
    if (modelScale >= kFirstModelScale && modelScale <= kLastModelScale)
        return &kModelScales[modelScale - kFirstModelScale];
    LogWarning("Unsupported model scale %d in %s", modelScale, signature);
    return nullptr;
}

}  // namespace

std::string GetModelScaleAsString(int modelScale, bool shortForm) {
    const ModelScale* scale = Find(modelScale, "std::string URailConstants::GetModelScaleAsString(int, bool)");
    if (scale == nullptr) return "???";
    std::string text = scale->shortName;
    if (!shortForm) text += scale->ratioText;
    return text;
}

double GetFactorForModelScale(int modelScale) {
    const ModelScale* scale = Find(modelScale, "double URailConstants::GetFactorForModelScale(int)");
    return 1.0 / (scale != nullptr ? scale->denominator : 1.0);
}

double GetGaugeForModelScale(int modelScale) {
    const ModelScale* scale = Find(modelScale, "double URailConstants::GetGaugeForModelScale(int)");
    return scale != nullptr ? scale->gauge : 1.0;
}

double GetDefaultRailWidthForModelScale(int modelScale) {
    const ModelScale* scale = Find(modelScale, "double URailConstants::GetDefaultRailWidthForModelScale(int)");
    return scale != nullptr ? scale->defaultRailWidth : 1.0;
}

int ParseModelScaleString(const std::string& text) {
    const std::string wanted = platform::ascii::lowercased(text);
    for (const ModelScale& scale : kModelScales) {
        const std::string name = platform::ascii::lowercased(scale.shortName);
        if (name == wanted) return scale.code;
        std::string_view rest = name;
        while (true) {
            const std::size_t slash = rest.find('/');
            if (platform::ascii::trimmed(rest.substr(0, slash)) == wanted) return scale.code;
            if (slash == std::string_view::npos) break;
            rest.remove_prefix(slash + 1);
        }
    }
    LogWarning("Failed to parse model scale string '%s'", wanted.c_str());
    return kModelScaleUnknown;
}

}  // namespace URailConstants

#include "app/Utilities/Strings/VKMFormattingHelper.h"

#include "engine/model/RailConstants.h"

#include <string>

std::string VKMFormattingHelper::formattedModelScaleTxt(const std::string& modelScaleText) {
    const int scale = URailConstants::ParseModelScaleString(modelScaleText);
    if (scale == URailConstants::kModelScaleCustom || scale == URailConstants::kModelScaleUnknown) {
        return modelScaleText;
    }
    const auto ratio = static_cast<int>(1.0 / URailConstants::GetFactorForModelScale(scale));
    return modelScaleText + " (1:" + std::to_string(ratio) + ")";
}

std::string VKMFormattingHelper::adaptiveStringFromNumber(std::int64_t number) {
    if (number < 1000) return std::to_string(number);
    return std::to_string(number / 1000) + "." + std::to_string(number / 100 % 10) + "k";
}

#include "engine/services/TextCalculationService.h"

#include "platform/foundation/TextEncoding.h"
#include "platform/graphics/TextMeasure.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kRadiansPerDegree = 0.017453292519943295;
}

tDoubleRect VKMTextCalculationService::GetTextBounds(std::string font, int size, std::string text, double angle) {
    if (font.empty() || text.empty() || size < 1 || !std::isfinite(angle)) return tDoubleRect{};

    // Every byte sequence reads as Mac Roman, so unlike a platform string
    // object this conversion cannot fail and there is no error path here.
    const std::string utf8 = platform::isValidUtf8(text) ? text : platform::macRomanToUtf8(text);
    const platform::TextSize measured = platform::measureText(utf8, font, static_cast<double>(size));
    const double w = measured.width;
    const double h = measured.height;

    // The box (0, 0, w, h) rotated about the origin; only the extent counts,
    // callers place the box themselves.
    const double radians = angle * kRadiansPerDegree;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double xs[4] = {0.0, w * c, -h * s, w * c - h * s};
    const double ys[4] = {0.0, w * s, h * c, w * s + h * c};
    const auto [minX, maxX] = std::minmax_element(std::begin(xs), std::end(xs));
    const auto [minY, maxY] = std::minmax_element(std::begin(ys), std::end(ys));

    tDoubleRect bounds;
    bounds.maxY = *maxY - *minY;
    bounds.maxX = *maxX - *minX;
    return bounds;
}

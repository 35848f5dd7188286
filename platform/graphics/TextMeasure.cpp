#include "platform/graphics/TextMeasure.h"

#include "platform/graphics/detail/PangoText.h"

#include <algorithm>
#include <cmath>

namespace platform {

const std::string& systemFontFamily() {
    static const std::string family = "DejaVu Sans";
    return family;
}

bool fontExists(const std::string& fontName) {
    std::lock_guard lock(detail::pangoMutex());
    return detail::fontExistsLocked(fontName);
}

TextSize measureText(const std::string& utf8, const std::string& fontName, double pointSize) {
    if (!std::isfinite(pointSize) || pointSize <= 0) return {};
    const double laidOutSize = std::min(pointSize, detail::kLargestLaidOutSize);
    const double scale = pointSize / laidOutSize;

    std::lock_guard lock(detail::pangoMutex());
    PangoLayout* layout = detail::makeLayoutLocked(utf8, fontName, laidOutSize);
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);

    return TextSize{scale * logical.width / PANGO_SCALE, scale * logical.height / PANGO_SCALE};
}

}  // namespace platform

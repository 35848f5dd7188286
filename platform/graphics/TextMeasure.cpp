#include "platform/graphics/TextMeasure.h"

#include "platform/foundation/RecentCache.h"
#include "platform/graphics/detail/PangoText.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>

namespace platform {

const std::string& systemFontFamily() {
    // Never destroyed: text may still be laid out while the process exits.
    static const auto& family = *new std::string("DejaVu Sans");
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

    // Laying text out is costly and the same texts are measured again and
    // again (every move and turn of an element with a text); the sizes of
    // recent ones are kept, a bounded number, the least used going first.
    constexpr std::size_t kMostKeptSizes = 8192;
    // Never destroyed: text may still be measured while statics go away.
    static auto* keptSizes = new RecentCache<TextSize>(kMostKeptSizes);
    std::string key = utf8;
    key.push_back('\0');
    key += fontName;
    key.push_back('\0');
    key.append(reinterpret_cast<const char*>(&laidOutSize), sizeof laidOutSize);

    // The kept sizes have a lock of their own: threads measuring a layout's
    // texts side by side (an open's) mostly find them, and queued for
    // Pango's lock only to look they waited far longer than the look takes.
    static auto* keptMutex = new std::shared_mutex;
    TextSize laidOut;
    {
        std::shared_lock lock(*keptMutex);
        if (const TextSize* kept = keptSizes->find(key)) {
            laidOut = *kept;
            return TextSize{scale * laidOut.width, scale * laidOut.height};
        }
    }
    {
        std::lock_guard lock(detail::pangoMutex());
        PangoLayout* layout = detail::keptLayoutLocked(utf8, fontName, laidOutSize);
        PangoRectangle logical{};
        pango_layout_get_extents(layout, nullptr, &logical);
        g_object_unref(layout);
        laidOut = TextSize{static_cast<double>(logical.width) / PANGO_SCALE,
                           static_cast<double>(logical.height) / PANGO_SCALE};
    }
    {
        std::unique_lock lock(*keptMutex);
        keptSizes->insert(std::move(key), laidOut);
    }
    return TextSize{scale * laidOut.width, scale * laidOut.height};
}

FontMetrics fontMetrics(const std::string& fontName, double pointSize) {
    if (!std::isfinite(pointSize) || pointSize <= 0) return {};
    const double laidOutSize = std::min(pointSize, detail::kLargestLaidOutSize);
    const double scale = pointSize / laidOutSize;
    std::lock_guard lock(detail::pangoMutex());
    // An empty line is as tall as the font's own line, with its baseline.
    PangoLayout* layout = detail::makeLayoutLocked("", fontName, laidOutSize);
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    const double baseline = static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
    g_object_unref(layout);
    const double height = static_cast<double>(logical.height) / PANGO_SCALE;
    return FontMetrics{scale * baseline, scale * (baseline - height), scale * height};
}

}  // namespace platform

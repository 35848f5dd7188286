#include "platform/ui/core/GradientLayer.h"

#include "platform/graphics/Context.h"
#include "platform/ui/core/detail/KeyPath.h"

namespace platform::ui {

std::shared_ptr<Layer> GradientLayer::makeCopy() const { return copyOf(*this); }

void GradientLayer::setColors(std::vector<Color> colors) { changeProperty("colors", mColors, colors, true); }

void GradientLayer::setLocations(std::vector<double> locations) {
    changeProperty("locations", mLocations, locations, true);
}

void GradientLayer::setStartPoint(Point point) { changeProperty("startPoint", mStartPoint, point, true); }

void GradientLayer::setEndPoint(Point point) { changeProperty("endPoint", mEndPoint, point, true); }

void GradientLayer::drawInContext(Context& context) {
    const Rect box = bounds();
    if (mColors.empty() || box.isEmpty()) return;
    const std::size_t count = mColors.size();
    const bool placed = mLocations.size() == count;
    std::vector<GradientStop> stops;
    stops.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double even = count > 1 ? static_cast<double>(i) / static_cast<double>(count - 1) : 0;
        stops.push_back({placed ? mLocations[i] : even, mColors[i]});
    }
    const Point start{box.x + mStartPoint.x * box.width, box.y + mStartPoint.y * box.height};
    const Point end{box.x + mEndPoint.x * box.width, box.y + mEndPoint.y * box.height};
    context.save();
    context.clipToRect(box);
    context.drawLinearGradient(stops, start, end, true);
    context.restore();
}

const detail::KeyPath* GradientLayer::findKeyPath(std::string_view keyPath) const {
    using detail::fieldKeyPath;
    static constexpr detail::KeyPath kEntries[] = {
        fieldKeyPath<&GradientLayer::mStartPoint>("startPoint", false, true),
        fieldKeyPath<&GradientLayer::mEndPoint>("endPoint", false, true),
    };
    static constexpr detail::KeyPathTable kKeyPaths(kEntries);
    if (const detail::KeyPath* found = kKeyPaths.find(keyPath)) return found;
    return Layer::findKeyPath(keyPath);
}

}  // namespace platform::ui

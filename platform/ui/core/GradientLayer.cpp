#include "platform/ui/core/GradientLayer.h"

#include "platform/graphics/Context.h"

namespace platform::ui {

std::shared_ptr<Layer> GradientLayer::makeCopy() const { return std::shared_ptr<Layer>(new GradientLayer(*this)); }

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

bool GradientLayer::keyPathAffectsContent(std::string_view keyPath) const {
    return keyPath == "startPoint" || keyPath == "endPoint";
}

std::optional<AnimationValue> GradientLayer::valueForKeyPath(std::string_view keyPath) const {
    if (keyPath == "startPoint") return mStartPoint;
    if (keyPath == "endPoint") return mEndPoint;
    return Layer::valueForKeyPath(keyPath);
}

bool GradientLayer::assignValue(std::string_view keyPath, const AnimationValue& value) {
    if (keyPath == "startPoint" || keyPath == "endPoint") {
        if (!std::holds_alternative<Point>(value)) return false;
        (keyPath == "startPoint" ? mStartPoint : mEndPoint) = std::get<Point>(value);
        return true;
    }
    return Layer::assignValue(keyPath, value);
}

}  // namespace platform::ui

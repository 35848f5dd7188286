#include "widgets/Kits/KitResizing.h"

#include "platform/graphics/Context.h"

#include <algorithm>
#include <cmath>

namespace KitResizing {

namespace {

constexpr double kDesignSide = 100;

}  // namespace

platform::Rect apply(KitResizingBehavior behavior, const platform::Rect& rect, const platform::Rect& target) {
    if (rect == target || target == platform::Rect{}) return rect;
    double sx = std::fabs(target.width / rect.width);
    double sy = std::fabs(target.height / rect.height);
    switch (behavior) {
        case KitResizingBehavior::aspectFit: sx = sy = std::min(sx, sy); break;
        case KitResizingBehavior::aspectFill: sx = sy = std::max(sx, sy); break;
        case KitResizingBehavior::stretch: break;
        case KitResizingBehavior::center: sx = sy = 1; break;
    }
    const double width = std::fabs(rect.width) * sx;
    const double height = std::fabs(rect.height) * sy;
    return {target.x + (target.width - width) / 2, target.y + (target.height - height) / 2, width, height};
}

void drawInDesignBox(platform::Context& context, const platform::Rect& frame, KitResizingBehavior behavior,
                     const std::function<void(platform::Context&)>& draw) {
    context.save();
    const platform::Rect box = apply(behavior, {0, 0, kDesignSide, kDesignSide}, frame);
    context.translate(box.x, box.y);
    context.scale(box.width / kDesignSide, box.height / kDesignSide);
    context.beginPath();
    draw(context);
    context.restore();
}

void addPolygon(platform::Context& context, std::initializer_list<platform::Point> points) {
    bool first = true;
    for (const platform::Point& point : points) {
        if (first) {
            context.moveTo(point);
            first = false;
        } else {
            context.lineTo(point);
        }
    }
    context.closePath();
}

}  // namespace KitResizing

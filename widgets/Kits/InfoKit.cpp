#include "widgets/Kits/InfoKit.h"

#include "platform/graphics/Context.h"

#include <numbers>

void InfoKit::drawInfo(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                       const platform::Color& fillColor) {
    constexpr double kHalfTurn = std::numbers::pi;
    KitResizing::drawInDesignBox(context, frame, resizing, [&](platform::Context& c) {
        // The ring: the inner circle turns the other way, so the non-zero
        // rule leaves it empty.
        c.addEllipseInRect({1, 1, 98, 98});
        c.moveTo({89.2, 50});
        c.addArc({50, 50}, 39.2, 0, kHalfTurn, false);
        c.addArc({50, 50}, 39.2, kHalfTurn, 0, false);
        c.closePath();
        // The stem and the dot of the i, as wide as each other.
        KitResizing::addPolygon(c, {{45.1, 41.2}, {54.9, 41.2}, {54.9, 74.5}, {45.1, 74.5}});
        c.addEllipseInRect({45.1, 25.5, 9.8, 9.8});
        c.setFillColor(fillColor);
        c.fill(platform::FillRule::nonZero);
    });
}

void InfoKit::drawInfo(platform::Context& context, const platform::Color& fillColor) {
    drawInfo(context, {0, 0, 100, 100}, KitResizingBehavior::stretch, fillColor);
}

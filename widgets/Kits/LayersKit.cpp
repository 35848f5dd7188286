#include "widgets/Kits/LayersKit.h"

#include "platform/graphics/Context.h"

void LayersKit::drawLayersCanvas(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                                 const platform::Color& fillColor) {
    KitResizing::drawInDesignBox(context, frame, resizing, [&](platform::Context& c) {
        // The top layer, with its side steps on the lower edges.
        KitResizing::addPolygon(c, {{50, 1}, {98, 36.97}, {89.25, 43.5}, {50, 72.95}, {10.69, 43.5}, {2, 36.97}});
        // The layer below: the lower half of the same rhombus, moved down
        // and cut to a band as high as the gap above it.
        KitResizing::addPolygon(c, {{2, 63.03}, {50, 99}, {98, 63.03}, {89.25, 56.5}, {50, 85.95}, {10.69, 56.5}});
        c.setFillColor(fillColor);
        c.fill();
    });
}

void LayersKit::drawLayersCanvas(platform::Context& context, const platform::Color& fillColor) {
    drawLayersCanvas(context, {0, 0, 100, 100}, KitResizingBehavior::stretch, fillColor);
}

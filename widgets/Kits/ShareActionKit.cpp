#include "widgets/Kits/ShareActionKit.h"

#include "platform/graphics/Context.h"

void ShareActionKit::drawShare(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                               const platform::Color& fillColor) {
    KitResizing::drawInDesignBox(context, frame, resizing, [&](platform::Context& c) {
        // The arrow: a chevron head of even thickness on a narrow shaft.
        KitResizing::addPolygon(c, {{50.3, 1},
                                    {65.3, 16},
                                    {62.3, 19},
                                    {52.51, 9.21},
                                    {52.51, 63},
                                    {48.09, 63},
                                    {48.09, 9.21},
                                    {38.3, 19},
                                    {35.3, 16}});
        // The tray, its walls as thick as the shaft, open at the top where
        // the arrow leaves it.
        KitResizing::addPolygon(c, {{37.06, 27.7},
                                    {15, 27.7},
                                    {15, 99.05},
                                    {85.6, 99.05},
                                    {85.6, 27.7},
                                    {63.54, 27.7},
                                    {63.54, 32.12},
                                    {81.18, 32.12},
                                    {81.18, 94.63},
                                    {19.42, 94.63},
                                    {19.42, 32.12},
                                    {37.06, 32.12}});
        c.setFillColor(fillColor);
        c.fill();
    });
}

void ShareActionKit::drawShare(platform::Context& context, const platform::Color& fillColor) {
    drawShare(context, {0, 0, 100, 100}, KitResizingBehavior::stretch, fillColor);
}

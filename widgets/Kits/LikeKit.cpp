#include "widgets/Kits/LikeKit.h"

#include "platform/graphics/Context.h"
#include "platform/graphics/Path.h"

namespace {

// Symmetric about x 50; the lobes meet their extremes with level or upright
// tangents, so the heart spans x 5 to 95 and y 7 to 90.
platform::Path heart() {
    platform::Path path;
    path.moveTo({50, 90});
    path.addCurveTo({38, 79}, {5, 56}, {5, 36});
    path.addCurveTo({5, 18}, {15, 7}, {27.5, 7});
    path.addCurveTo({38, 7}, {46, 10.5}, {50, 16.45});
    path.addCurveTo({54, 10.5}, {62, 7}, {72.5, 7});
    path.addCurveTo({85, 7}, {95, 18}, {95, 36});
    path.addCurveTo({95, 56}, {62, 79}, {50, 90});
    path.closePath();
    return path;
}

}  // namespace

void LikeKit::drawLike(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                       const platform::Color& strokeColor, const platform::Color& fillColor) {
    KitResizing::drawInDesignBox(context, frame, resizing, [&](platform::Context& c) {
        static const platform::Path shape = heart();
        c.setFillColor(fillColor);
        c.fillPath(shape);
        c.setStrokeColor(strokeColor);
        c.setLineWidth(9.0);
        c.setMiterLimit(4.0);
        c.strokePath(shape);
    });
}

void LikeKit::drawLike(platform::Context& context, const platform::Color& strokeColor,
                       const platform::Color& fillColor) {
    drawLike(context, {0, 0, 100, 100}, KitResizingBehavior::stretch, strokeColor, fillColor);
}

#include "widgets/Kits/CircularImageViewKit.h"

#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"

void CircularImageViewKit::drawCircularImage(platform::Context& context, const platform::Rect& frame,
                                             KitResizingBehavior resizing, const platform::Color& strokeColor,
                                             double strokeWidth, const platform::Image* image, double widthHeight) {
    context.save();
    const platform::Rect box = KitResizing::apply(resizing, {0, 0, 200, 200}, frame);
    context.translate(box.x, box.y);

    const double side = widthHeight;
    platform::Path circle;
    circle.addEllipseInRect({0.25, 0.25, side, side});
    if (image != nullptr) {
        // Our contexts draw images upright in their y-down space, so no
        // flip is needed here.
        context.save();
        context.clipToPath(circle);
        context.drawImage(*image, {0, 0, side, side});
        context.restore();
    }
    context.setStrokeColor(strokeColor);
    context.setLineWidth(strokeWidth);
    context.strokePath(circle);
    context.restore();
}

void CircularImageViewKit::drawCircularImage(platform::Context& context, const platform::Color& strokeColor,
                                             const platform::Image* image, double widthHeight) {
    drawCircularImage(context, {0, 0, 200, 200}, KitResizingBehavior::stretch, strokeColor, 10.0, image, widthHeight);
}

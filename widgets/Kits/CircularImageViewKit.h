#pragma once
// A portrait drawn in code: an image clipped to a circle of `widthHeight`
// points with the circle stroked around it. The 200 x 200 design box only
// places the portrait in the frame; the portrait keeps its own size.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "widgets/Kits/KitResizing.h"

namespace platform {
class Context;
class Image;
}  // namespace platform

class CircularImageViewKit {
public:
    // A null image draws the ring alone.
    static void drawCircularImage(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                                  const platform::Color& strokeColor, double strokeWidth, const platform::Image* image,
                                  double widthHeight);
    // The design box itself, stretched, with a ring 10 points wide.
    static void drawCircularImage(platform::Context& context, const platform::Color& strokeColor,
                                  const platform::Image* image, double widthHeight);
};

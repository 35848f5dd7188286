#pragma once
// The share icon drawn in code: an upward arrow over an open-topped tray,
// filled in one colour. Design box 100 x 100.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "widgets/Kits/KitResizing.h"

namespace platform {
class Context;
}

class ShareActionKit {
public:
    static void drawShare(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                          const platform::Color& fillColor);
    // The design box itself, stretched.
    static void drawShare(platform::Context& context, const platform::Color& fillColor);
};

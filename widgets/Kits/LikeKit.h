#pragma once
// The like icon drawn in code: a heart filled in one colour and outlined in
// another (9 units wide in the 100 x 100 design box). A clear fill gives
// the outline alone.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "widgets/Kits/KitResizing.h"

namespace platform {
class Context;
}

class LikeKit {
public:
    static void drawLike(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                         const platform::Color& strokeColor, const platform::Color& fillColor);
    // The design box itself, stretched.
    static void drawLike(platform::Context& context, const platform::Color& strokeColor,
                         const platform::Color& fillColor);
};

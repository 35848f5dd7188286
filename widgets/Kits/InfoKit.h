#pragma once
// The info icon drawn in code: a ring with the letter i inside, filled in
// one colour. Design box 100 x 100.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "widgets/Kits/KitResizing.h"

namespace platform {
class Context;
}

class InfoKit {
public:
    static void drawInfo(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                         const platform::Color& fillColor);
    // The design box itself, stretched.
    static void drawInfo(platform::Context& context, const platform::Color& fillColor);
};

#pragma once
// The layers icon drawn in code: a rhombus for the top layer over a
// chevron for the one below, filled in one colour. Design box 100 x 100.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "widgets/Kits/KitResizing.h"

namespace platform {
class Context;
}

class LayersKit {
public:
    static void drawLayersCanvas(platform::Context& context, const platform::Rect& frame, KitResizingBehavior resizing,
                                 const platform::Color& fillColor);
    // The design box itself, stretched.
    static void drawLayersCanvas(platform::Context& context, const platform::Color& fillColor);
};

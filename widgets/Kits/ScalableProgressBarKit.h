#pragma once
// A progress bar drawn in code at any size: a rounded track and, over it, a
// rounded gauge of the same height.

#include "platform/graphics/Color.h"

namespace platform {
class Context;
}

class ScalableProgressBarKit {
public:
    // Both rectangles start at the origin and have fully rounded ends
    // (corner radius height / 2).
    static void drawProgressBarWithBackground(platform::Context& context, const platform::Color& background,
                                              const platform::Color& gauge, double width, double height,
                                              double gaugeWidth);
};

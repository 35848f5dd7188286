#pragma once
// Distances in from each edge of a rectangle (safe areas, margins), in
// points; y grows downwards, so `top` is the edge of smaller y.

#include "platform/graphics/Geometry.h"

namespace platform::ui {

struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;

    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

// `rect` made smaller by the insets (larger for negative ones). A side
// that would go below zero is left at zero, centred where the two edges
// cross.
Rect insetRect(const Rect& rect, const EdgeInsets& insets);

}  // namespace platform::ui

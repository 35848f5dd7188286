#pragma once
// How the icon kits fit their design box into the frame a caller gives, and
// the drawing pattern they share: the box scaled into the frame, the path
// built in design coordinates.

#include "platform/graphics/Geometry.h"

#include <functional>
#include <initializer_list>

namespace platform {
class Context;
}

// Numbered as stored in the kits' callers.
enum class KitResizingBehavior { aspectFit = 0, aspectFill = 1, stretch = 2, center = 3 };

namespace KitResizing {

// The design rectangle scaled by the behaviour and centred in `target`.
// Unchanged when the two are equal or `target` is the zero rectangle.
platform::Rect apply(KitResizingBehavior behavior, const platform::Rect& rect, const platform::Rect& target);

// Saves the graphics state, maps the 100 x 100 design box into `frame`,
// runs `draw` in design coordinates and restores the state.
void drawInDesignBox(platform::Context& context, const platform::Rect& frame, KitResizingBehavior behavior,
                     const std::function<void(platform::Context&)>& draw);

// A closed sub-path through the points, added to the current path.
void addPolygon(platform::Context& context, std::initializer_list<platform::Point> points);

}  // namespace KitResizing

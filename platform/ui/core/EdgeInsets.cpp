#include "platform/ui/core/EdgeInsets.h"

namespace platform::ui {

Rect insetRect(const Rect& rect, const EdgeInsets& insets) {
    Rect r{rect.minX() + insets.left, rect.minY() + insets.top, 0, 0};
    const double width = (rect.maxX() - insets.right) - r.x;
    const double height = (rect.maxY() - insets.bottom) - r.y;
    if (width < 0) r.x += width / 2;
    if (height < 0) r.y += height / 2;
    r.width = width < 0 ? 0 : width;
    r.height = height < 0 ? 0 : height;
    return r;
}

}  // namespace platform::ui

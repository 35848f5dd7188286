#include "platform/graphics/Geometry.h"

#include <algorithm>

namespace platform {

double Rect::minX() const { return std::min(x, x + width); }
double Rect::minY() const { return std::min(y, y + height); }
double Rect::maxX() const { return std::max(x, x + width); }
double Rect::maxY() const { return std::max(y, y + height); }

bool Rect::isEmpty() const { return !(width != 0 && height != 0); }

bool Rect::intersects(const Rect& other) const {
    if (isEmpty() || other.isEmpty()) return false;
    return minX() < other.maxX() && other.minX() < maxX() && minY() < other.maxY() && other.minY() < maxY();
}

bool Rect::contains(Point p) const {
    if (isEmpty()) return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

Rect Rect::movedWith(const Rect& from, const Rect& to) const {
    if (from.width == 0 || from.height == 0) return *this;
    const double sx = to.width / from.width;
    const double sy = to.height / from.height;
    return {to.x + (x - from.x) * sx, to.y + (y - from.y) * sy, width * sx, height * sy};
}

}  // namespace platform

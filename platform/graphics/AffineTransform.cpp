#include "platform/graphics/AffineTransform.h"

#include <algorithm>
#include <cmath>

namespace platform {

AffineTransform AffineTransform::translation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }

AffineTransform AffineTransform::scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }

AffineTransform AffineTransform::rotation(double radians) {
    const double s = std::sin(radians);
    const double co = std::cos(radians);
    return {co, s, -s, co, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& t1, const AffineTransform& t2) {
    return {t1.a * t2.a + t1.b * t2.c, t1.a * t2.b + t1.b * t2.d,           t1.c * t2.a + t1.d * t2.c,
            t1.c * t2.b + t1.d * t2.d, t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

AffineTransform AffineTransform::translated(double x, double y) const { return concat(translation(x, y), *this); }

AffineTransform AffineTransform::scaled(double sx, double sy) const { return concat(scale(sx, sy), *this); }

AffineTransform AffineTransform::rotated(double radians) const { return concat(rotation(radians), *this); }

Point AffineTransform::apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }

Rect AffineTransform::applyToRect(const Rect& r) const {
    const Point corners[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                              apply(Point{r.maxX(), r.maxY()}), apply(Point{r.minX(), r.maxY()})};
    double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (const Point& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

std::optional<AffineTransform> AffineTransform::inverted() const {
    const double det = determinant();
    if (det == 0 || !std::isfinite(det) || !std::isfinite(tx) || !std::isfinite(ty)) return std::nullopt;
    return AffineTransform{d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
}

}  // namespace platform

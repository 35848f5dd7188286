#include "platform/graphics/AffineTransform.h"

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

std::optional<AffineTransform> AffineTransform::inverted() const {
    const double det = determinant();
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    return AffineTransform{d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
}

Point AffineTransform::apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }

}  // namespace platform

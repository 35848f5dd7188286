#pragma once
// A 2-D affine transform in the platform's convention: a point (x, y) maps to
// (a*x + c*y + tx, b*x + d*y + ty). `concat(t1, t2)` applies t1 first, then t2.

#include "platform/graphics/Geometry.h"

#include <optional>

namespace platform {

struct AffineTransform {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double tx, double ty);
    static AffineTransform scale(double sx, double sy);
    // Angle in radians; positive angles turn +x towards +y (clockwise on a
    // y-down screen).
    static AffineTransform rotation(double radians);

    // `first` applied first, then `second`.
    static AffineTransform concat(const AffineTransform& first, const AffineTransform& second);

    // These prepend, as a context's transform does: translated(…) moves the
    // user space before this transform maps it.
    AffineTransform translated(double x, double y) const;
    AffineTransform scaled(double sx, double sy) const;
    AffineTransform rotated(double radians) const;

    Point apply(Point p) const;
    // The bounding box of the rectangle's transformed corners.
    Rect applyToRect(const Rect& r) const;
    double determinant() const { return a * d - b * c; }
    // None when the transform collapses the plane or is not finite.
    std::optional<AffineTransform> inverted() const;
    bool isIdentity() const { return *this == AffineTransform{}; }

    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

}  // namespace platform

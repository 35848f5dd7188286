#include "engine/geometry/BoundsAccumulator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>


namespace {

constexpr double kMinimumExtent = 0.001;

// Angle in [0, 360). fmod rather than repeated adding keeps huge angles from
// looping for ever; the last step catches a tiny negative that rounds to 360.
double NormalizeAngle(double angle) {
    double result = std::fmod(angle, 360.0);
    if (result < 0.0) result += 360.0;
    if (result >= 360.0) result -= 360.0;
    return result;
}

// Whether the counter-clockwise arc from `start` over `sweep` (0 <= sweep <
// 360) passes the direction `direction`: shifting both ends back by it, the
// arc wraps past 0 exactly when its normalised start lies after its end.
bool PassesDirection(double start, double sweep, double direction) {
    return NormalizeAngle(start - direction) > NormalizeAngle(start + sweep - direction);
}

}  // namespace

tDoubleRect EmptyRect() { return tDoubleRect{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX}; }

CBoundsAccumulator::CBoundsAccumulator(tDoubleRect& rect) : mRect(rect) { mRect = EmptyRect(); }

void CBoundsAccumulator::AddPoints(const std::vector<CPoint>& points) {
    for (const CPoint& point : points) AddPoint(point);
}

void CBoundsAccumulator::AddRect(const tDoubleRect& rect) {
    // Written so that a NaN extent is ignored as well.
    if (!(rect.Width() >= kMinimumExtent) || !(rect.Height() >= kMinimumExtent)) return;
    mRect.minY = std::min(mRect.minY, rect.minY);
    mRect.minX = std::min(mRect.minX, rect.minX);
    mRect.maxY = std::max(mRect.maxY, rect.maxY);
    mRect.maxX = std::max(mRect.maxX, rect.maxX);
}

void CBoundsAccumulator::AddBoundsOf(const CBoundsAccumulator& other) {
    const tDoubleRect& rect = other.mRect;
    mRect.minY = std::min(mRect.minY, rect.minY);
    mRect.minX = std::min(mRect.minX, rect.minX);
    mRect.maxY = std::max(mRect.maxY, rect.maxY);
    mRect.maxX = std::max(mRect.maxX, rect.maxX);
}

bool CBoundsAccumulator::AddArc(const CPoint& centre, double startAngle, double sweepAngle, double radius) {
    const double cx = centre.x;
    const double cy = centre.y;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(startAngle) || !std::isfinite(sweepAngle) ||
        !std::isfinite(radius)) {
        return false;
    }

    tDoubleRect arc;
    if (std::fabs(sweepAngle) >= 360.0) {
        const double r = std::fabs(radius);
        arc = tDoubleRect{cy - r, cx - r, cy + r, cx + r};
    } else {
        // A clockwise arc covers the same points as the counter-clockwise arc
        // from its end back to its start.
        double start = startAngle;
        double sweep = sweepAngle;
        if (sweep < 0.0) {
            start += sweep;
            sweep = -sweep;
        }
        // A negative radius puts every point opposite the centre: the same
        // arc as the positive radius half a turn on.
        double r = radius;
        if (r < 0.0) {
            r = -r;
            start += 180.0;
        }

        CPoint first(cx, cy - r, 0.0);
        first.Rotate(centre, start);
        CPoint last(cx, cy - r, 0.0);
        last.Rotate(centre, start + sweep);

        arc.minY = PassesDirection(start, sweep, 0.0) ? cy - r : std::min(first.y, last.y);
        arc.maxX = PassesDirection(start, sweep, 90.0) ? cx + r : std::max(first.x, last.x);
        arc.maxY = PassesDirection(start, sweep, 180.0) ? cy + r : std::max(first.y, last.y);
        arc.minX = PassesDirection(start, sweep, 270.0) ? cx - r : std::min(first.x, last.x);
    }

    mRect.minY = std::min(mRect.minY, arc.minY);
    mRect.minX = std::min(mRect.minX, arc.minX);
    mRect.maxY = std::max(mRect.maxY, arc.maxY);
    mRect.maxX = std::max(mRect.maxX, arc.maxX);
    return true;
}

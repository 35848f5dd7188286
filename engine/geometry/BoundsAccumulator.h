#pragma once
// CBoundsAccumulator: grows a plan rectangle from points, rectangles and
// circular arcs. It is bound to a tDoubleRect that it does not own and
// empties it when made.

#include <vector>

#include "engine/geometry/DoubleRect.h"
#include "engine/geometry/Point.h"

// The empty rectangle: minima at the largest double, maxima at the lowest, so
// that the first point or rectangle added sets every side.
tDoubleRect EmptyRect();

class CBoundsAccumulator {
public:
    // Binds `rect` (which must outlive the accumulator) and empties it.
    explicit CBoundsAccumulator(tDoubleRect& rect);

    // Moves each side out to hold the point's (x, y); z is ignored.
    // A side moves only for a coordinate strictly beyond it (a NaN never
    // moves it), written so that it compiles without branches.
    void AddPoint(const CPoint& point) {
        mRect.minY = point.y < mRect.minY ? point.y : mRect.minY;
        mRect.minX = point.x < mRect.minX ? point.x : mRect.minX;
        mRect.maxY = mRect.maxY < point.y ? point.y : mRect.maxY;
        mRect.maxX = mRect.maxX < point.x ? point.x : mRect.maxX;
    }
    void AddPoints(const std::vector<CPoint>& points);
    // Ignores a rectangle less than 0.001 wide or high (an empty one too).
    void AddRect(const tDoubleRect& rect);
    // Moves each side out to hold the other accumulator's rectangle, however
    // thin it is.
    void AddBoundsOf(const CBoundsAccumulator& other);
    // Grows the rectangle to hold the circular arc about `centre` of `radius`
    // from `startAngle` over `sweepAngle` (degrees). Angle 0 points to -y and
    // angles grow counter-clockwise, so 90 points to +x. A negative sweep runs
    // clockwise; a sweep of 360 or more is the whole circle. An arc with a
    // value that is not finite is ignored, and false returned.
    bool AddArc(const CPoint& centre, double startAngle, double sweepAngle, double radius);

private:
    tDoubleRect& mRect;
};

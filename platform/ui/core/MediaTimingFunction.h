#pragma once
// The pace of an animation: a cubic Bézier from (0, 0) to (1, 1) whose x is
// the fraction of time gone and y the fraction of the change made. y may
// leave 0 to 1 (an overshoot); x is solved for exactly, not sampled.

#include "platform/graphics/Geometry.h"

namespace platform::ui {

class MediaTimingFunction {
public:
    // The platform's named curves.
    static MediaTimingFunction linear() { return {{0, 0}, {1, 1}}; }
    static MediaTimingFunction easeIn() { return {{0.42, 0}, {1, 1}}; }
    static MediaTimingFunction easeOut() { return {{0, 0}, {0.58, 1}}; }
    static MediaTimingFunction easeInEaseOut() { return {{0.42, 0}, {0.58, 1}}; }
    // The curve of implicit animations.
    static MediaTimingFunction defaultTiming() { return {{0.25, 0.1}, {0.25, 1}}; }

    // Control points; x is clamped to 0 to 1 (so that the curve is a
    // function of time), y is kept. Values that are not finite become the
    // linear curve's.
    MediaTimingFunction(Point control1, Point control2);

    Point control1() const { return mControl1; }
    Point control2() const { return mControl2; }

    // y at time fraction x (clamped to 0 to 1).
    double valueAt(double x) const;

    friend bool operator==(const MediaTimingFunction&, const MediaTimingFunction&) = default;

private:
    Point mControl1;
    Point mControl2;
};

}  // namespace platform::ui

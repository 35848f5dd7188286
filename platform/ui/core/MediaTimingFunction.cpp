#include "platform/ui/core/MediaTimingFunction.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

// One coordinate of the Bézier with end points 0 and 1 at parameter s.
double bezier(double c1, double c2, double s) {
    const double u = 1 - s;
    return 3 * u * u * s * c1 + 3 * u * s * s * c2 + s * s * s;
}

double bezierSlope(double c1, double c2, double s) {
    const double u = 1 - s;
    return 3 * u * u * c1 + 6 * u * s * (c2 - c1) + 3 * s * s * (1 - c2);
}

}  // namespace

MediaTimingFunction::MediaTimingFunction(Point control1, Point control2) {
    const bool finite = std::isfinite(control1.x) && std::isfinite(control1.y) && std::isfinite(control2.x) &&
                        std::isfinite(control2.y);
    if (!finite) {
        control1 = {0, 0};
        control2 = {1, 1};
    }
    mControl1 = {std::clamp(control1.x, 0.0, 1.0), control1.y};
    mControl2 = {std::clamp(control2.x, 0.0, 1.0), control2.y};
}

double MediaTimingFunction::valueAt(double x) const {
    if (std::isnan(x)) return 0;
    x = std::clamp(x, 0.0, 1.0);
    if (x == 0 || x == 1) return x;
    // With both x controls in 0 to 1, x(s) never falls, so there is one s;
    // Newton's method, kept inside a shrinking bracket by bisection.
    double low = 0;
    double high = 1;
    double s = x;
    for (int i = 0; i < 64; ++i) {
        const double error = bezier(mControl1.x, mControl2.x, s) - x;
        if (std::abs(error) < 1e-14) break;
        if (error > 0) {
            high = s;
        } else {
            low = s;
        }
        const double slope = bezierSlope(mControl1.x, mControl2.x, s);
        double next = slope > 1e-12 ? s - error / slope : (low + high) / 2;
        if (!(next > low && next < high)) next = (low + high) / 2;
        s = next;
    }
    return bezier(mControl1.y, mControl2.y, s);
}

}  // namespace platform::ui

#include "widgets/CountingLabel/CountingCurve.h"

#include <cmath>

namespace {

float cube(float x) { return std::pow(x, 3.0f); }

float bounce(float t) {
    constexpr float k = 7.5625f;
    if (t < 4 / 11.0f) return k * t * t;
    if (t < 8 / 11.0f) {
        const float u = t - 6 / 11.0f;
        return k * u * u + 0.75f;
    }
    if (t < 10 / 11.0f) {
        const float u = t - 9 / 11.0f;
        return k * u * u + 0.9375f;
    }
    const float u = t - 21 / 22.0f;
    return k * u * u + 0.984375f;
}

}  // namespace

double CountingCurveEaseInOut::update(double t) const {
    const float u = static_cast<float>(2 * t);
    if (u < 1) return 0.5f * cube(u);
    return 0.5f * (2 - cube(2 - u));
}

double CountingCurveEaseIn::update(double t) const { return cube(static_cast<float>(t)); }

double CountingCurveEaseOut::update(double t) const { return 1 - cube(1 - static_cast<float>(t)); }

double CountingCurveLinear::update(double t) const { return t; }

double CountingCurveEaseInBounce::update(double t) const { return 1 - bounce(1 - static_cast<float>(t)); }

double CountingCurveEaseOutBounce::update(double t) const { return bounce(static_cast<float>(t)); }

std::unique_ptr<CountingCurve> makeCountingCurve(unsigned method) {
    switch (method) {
        case 0: return std::make_unique<CountingCurveEaseInOut>();
        case 1: return std::make_unique<CountingCurveEaseIn>();
        case 2: return std::make_unique<CountingCurveEaseOut>();
        case 4: return std::make_unique<CountingCurveEaseInBounce>();
        case 5: return std::make_unique<CountingCurveEaseOutBounce>();
        default: return std::make_unique<CountingCurveLinear>();
    }
}

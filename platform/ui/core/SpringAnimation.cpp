#include "platform/ui/core/SpringAnimation.h"

#include <cmath>
#include <limits>

namespace platform::ui {

namespace {

// Within this much of the change the spring counts as settled.
constexpr double kSettled = 0.001;
// Settling is found to this resolution.
constexpr double kSettlingStep = 0.001;

// The displacement from the target of a unit spring released at 1 with
// velocity `v` (towards the target when negative), after t seconds.
struct Oscillator {
    double omega;  // undamped angular frequency
    double zeta;   // damping ratio
    double v;

    double at(double t) const {
        if (zeta < 1) {
            const double omegaD = omega * std::sqrt(1 - zeta * zeta);
            const double b = (zeta * omega + v) / omegaD;
            return std::exp(-zeta * omega * t) * (std::cos(omegaD * t) + b * std::sin(omegaD * t));
        }
        if (zeta == 1) return (1 + (v + omega) * t) * std::exp(-omega * t);
        const double root = omega * std::sqrt(zeta * zeta - 1);
        const double r1 = -zeta * omega + root;
        const double r2 = -zeta * omega - root;
        const double c2 = (v - r1) / (r2 - r1);
        return (1 - c2) * std::exp(r1 * t) + c2 * std::exp(r2 * t);
    }

    // A time beyond which the displacement never again exceeds kSettled.
    double bound() const {
        if (zeta < 1) {
            if (zeta <= 0) return std::numeric_limits<double>::infinity();
            const double omegaD = omega * std::sqrt(1 - zeta * zeta);
            const double b = (zeta * omega + v) / omegaD;
            const double amplitude = std::sqrt(1 + b * b);
            return std::max(0.0, std::log(amplitude / kSettled) / (zeta * omega));
        }
        // Over- and critically damped: at most one crossing, then a decay
        // slower than any exponential bound we could guess; search.
        double t = 1 / omega;
        while (t < 1e6 && (std::abs(at(t)) >= kSettled || std::abs(at(2 * t)) >= kSettled)) t *= 2;
        return 2 * t;
    }
};

bool usable(double v) { return std::isfinite(v) && v > 0; }

}  // namespace

void SpringAnimation::setMass(double mass) {
    if (usable(mass)) mMass = mass;
}

void SpringAnimation::setStiffness(double stiffness) {
    if (usable(stiffness)) mStiffness = stiffness;
}

void SpringAnimation::setDamping(double damping) {
    if (std::isfinite(damping) && damping >= 0) mDamping = damping;
}

void SpringAnimation::setInitialVelocity(double velocity) {
    if (std::isfinite(velocity)) mInitialVelocity = velocity;
}

double SpringAnimation::springProgress(double seconds) const {
    if (!(seconds > 0)) return 0;
    const double omega = std::sqrt(mStiffness / mMass);
    const double zeta = mDamping / (2 * std::sqrt(mStiffness * mMass));
    return 1 - Oscillator{omega, zeta, -mInitialVelocity}.at(seconds);
}

double SpringAnimation::settlingDuration() const {
    const double omega = std::sqrt(mStiffness / mMass);
    const double zeta = mDamping / (2 * std::sqrt(mStiffness * mMass));
    const Oscillator spring{omega, zeta, -mInitialVelocity};
    const double bound = spring.bound();
    if (!std::isfinite(bound)) return bound;
    // Back from the bound to the last time the value was out of reach.
    for (double t = std::ceil(bound / kSettlingStep) * kSettlingStep; t > 0; t -= kSettlingStep) {
        if (std::abs(spring.at(t)) >= kSettled) return t + kSettlingStep;
    }
    return 0;
}

}  // namespace platform::ui

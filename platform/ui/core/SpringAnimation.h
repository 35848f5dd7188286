#pragma once
// A basic animation that moves as a mass on a damped spring: the value
// leaves `from` with the initial velocity (in whole changes per second,
// positive towards `to`) and swings about `to` until the spring's damping
// settles it. The motion follows the spring in seconds of the animation's
// own time, whatever the duration (which only decides when it is cut off:
// set it to settlingDuration() to see it come to rest); the timing function
// is not used.

#include "platform/ui/core/BasicAnimation.h"

namespace platform::ui {

class SpringAnimation : public BasicAnimation {
public:
    static std::shared_ptr<SpringAnimation> make(std::string keyPath) {
        return std::make_shared<SpringAnimation>(std::move(keyPath));
    }
    explicit SpringAnimation(std::string keyPath) : BasicAnimation(std::move(keyPath)) {}

    // The platform's defaults: mass 1, stiffness 100, damping 10, at rest.
    // Values that are not positive (mass, stiffness) or negative (damping)
    // or not finite are ignored.
    double mass() const { return mMass; }
    void setMass(double mass);
    double stiffness() const { return mStiffness; }
    void setStiffness(double stiffness);
    double damping() const { return mDamping; }
    void setDamping(double damping);
    double initialVelocity() const { return mInitialVelocity; }
    void setInitialVelocity(double velocity);

    // The fraction of the change made after `seconds`: 0 at the start, 1 at
    // rest, beyond 1 while an underdamped spring overshoots.
    double springProgress(double seconds) const;
    // The time after which the value stays within a thousandth of the
    // change of `to`.
    double settlingDuration() const;

    double progressAt(double simpleTime) const override { return springProgress(simpleTime); }

private:
    double mMass = 1;
    double mStiffness = 100;
    double mDamping = 10;
    double mInitialVelocity = 0;
};

}  // namespace platform::ui

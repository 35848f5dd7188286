#pragma once
// A pinch: two fingers moving apart or together. Continuous: began once
// their distance has changed by more than kHysteresis from when the second
// came down, changed with each move, ended when one lifts. Fails when the
// fingers lift first, or a third comes down before it begins.
//
// The scale is the fingers' distance over their distance when the second
// came down (setScale rebases it); the velocity is the scale's change per
// second over the last tenth of a second.

#include "platform/ui/input/GestureRecognizer.h"

#include <deque>

namespace platform::ui {

class PinchGestureRecognizer : public GestureRecognizer {
public:
    static constexpr double kHysteresis = 8;        // points
    static constexpr double kVelocityWindow = 0.1;  // seconds

    PinchGestureRecognizer() = default;

    double scale() const { return mScale; }
    void setScale(double scale);
    double velocity() const { return mVelocity; }

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    // The distance of the first two fingers down; none with fewer.
    bool distance(double& d) const;
    void sample(double time);

    double mStartDistance = 0;  // distance at scale 1
    double mTouchDownDistance = 0;
    double mScale = 1;
    double mVelocity = 0;
    std::deque<std::pair<double, double>> mSamples;  // time, scale
};

}  // namespace platform::ui

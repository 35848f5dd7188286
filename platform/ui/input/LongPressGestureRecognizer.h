#pragma once
// A long press: the fingers required held down for minimumPressDuration
// without moving more than allowableMovement. Continuous: began when the
// time is up, changed as the fingers move, ended when one lifts. Fails
// when a finger lifts or moves too far first, or more come down.

#include "platform/ui/input/GestureRecognizer.h"

#include <map>

namespace platform::ui {

class LongPressGestureRecognizer : public GestureRecognizer {
public:
    LongPressGestureRecognizer() = default;

    double minimumPressDuration() const { return mMinimumPressDuration; }
    void setMinimumPressDuration(double seconds) { mMinimumPressDuration = seconds; }
    double allowableMovement() const { return mAllowableMovement; }
    void setAllowableMovement(double points) { mAllowableMovement = points; }
    int numberOfTouchesRequired() const { return mTouchesRequired; }
    void setNumberOfTouchesRequired(int touches) { mTouchesRequired = touches < 1 ? 1 : touches; }

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    double mMinimumPressDuration = 0.5;
    double mAllowableMovement = 10;
    int mTouchesRequired = 1;
    bool mTiming = false;
    std::map<const Touch*, Point> mStarts;  // window coordinates
};

}  // namespace platform::ui

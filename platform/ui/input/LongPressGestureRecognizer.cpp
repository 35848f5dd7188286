#include "platform/ui/input/LongPressGestureRecognizer.h"

#include "platform/ui/input/Touch.h"

#include <cmath>

namespace platform::ui {

void LongPressGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
    (void)event;
    if (state() != State::possible) return;  // more fingers once begun change nothing
    for (const auto& touch : touches) mStarts[touch.get()] = touch->locationInWindow();
    const auto down = static_cast<int>(numberOfTouches());
    if (down > mTouchesRequired) {
        setState(State::failed);
        return;
    }
    if (down < mTouchesRequired || mTiming) return;
    mTiming = true;
    startTimer(mMinimumPressDuration, [this] {
        if (state() == State::possible && static_cast<int>(numberOfTouches()) == mTouchesRequired) {
            setState(State::began);
        }
    });
}

void LongPressGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
    (void)event;
    if (state() == State::began || state() == State::changed) {
        setState(State::changed);
        return;
    }
    for (const auto& touch : touches) {
        const auto start = mStarts.find(touch.get());
        if (start == mStarts.end()) continue;
        const Point p = touch->locationInWindow();
        if (std::hypot(p.x - start->second.x, p.y - start->second.y) > mAllowableMovement) {
            setState(State::failed);
            return;
        }
    }
}

void LongPressGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
    setState(state() == State::possible ? State::failed : State::ended);
}

void LongPressGestureRecognizer::reset() {
    mTiming = false;
    mStarts.clear();
}

}  // namespace platform::ui

#include "platform/ui/input/TapGestureRecognizer.h"

#include "platform/ui/input/Touch.h"

#include <cmath>

namespace platform::ui {

namespace {

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

void TapGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
    (void)event;
    const bool newTap = mDown == 0;
    for (const auto& touch : touches) {
        mStarts[touch.get()] = touch->locationInWindow();
        if (mHasFirstTap && distance(touch->locationInWindow(), mFirstTap) > kMaximumSeparation) {
            setState(State::failed);
            return;
        }
    }
    mDown += static_cast<int>(touches.size());
    mMostDown = std::max(mMostDown, mDown);
    if (mDown > mTouchesRequired) {
        setState(State::failed);
        return;
    }
    if (!newTap) return;
    // A new tap: the wait for it is over; it must lift in time.
    const int tap = mTapsDone;
    startTimer(kMaximumPressDuration, [this, tap] {
        if (state() == State::possible && mTapsDone == tap && mDown > 0) setState(State::failed);
    });
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
    (void)event;
    for (const auto& touch : touches) {
        const auto start = mStarts.find(touch.get());
        if (start != mStarts.end() && distance(touch->locationInWindow(), start->second) > kMaximumMovement) {
            setState(State::failed);
            return;
        }
    }
}

void TapGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
    touchesMoved(touches, event);
    if (state() != State::possible) return;
    mDown -= static_cast<int>(touches.size());
    if (mDown > 0) return;
    mDown = 0;
    if (mMostDown != mTouchesRequired) {
        setState(State::failed);
        return;
    }
    if (!mHasFirstTap) {
        mHasFirstTap = true;
        mFirstTap = centroidInWindow();
    }
    mMostDown = 0;
    ++mTapsDone;
    if (mTapsDone >= mTapsRequired) {
        setState(State::recognized);
        return;
    }
    const int tap = mTapsDone;
    startTimer(kMaximumInterval, [this, tap] {
        if (state() == State::possible && mTapsDone == tap && mDown == 0) setState(State::failed);
    });
}

void TapGestureRecognizer::reset() {
    mTapsDone = 0;
    mDown = 0;
    mMostDown = 0;
    mHasFirstTap = false;
    mStarts.clear();
}

}  // namespace platform::ui

#include "platform/ui/input/PinchGestureRecognizer.h"

#include "platform/ui/input/Touch.h"

#include <cmath>

namespace platform::ui {

bool PinchGestureRecognizer::distance(double& d) const {
    const Touch* a = nullptr;
    const Touch* b = nullptr;
    for (const auto& touch : trackedTouches()) {
        if (!touch->isActive()) continue;
        if (!a) {
            a = touch.get();
        } else {
            b = touch.get();
            break;
        }
    }
    if (!a || !b) return false;
    const Point p = a->locationInWindow();
    const Point q = b->locationInWindow();
    d = std::hypot(p.x - q.x, p.y - q.y);
    return true;
}

void PinchGestureRecognizer::sample(double time) {
    if (!mSamples.empty() && time < mSamples.back().first) time = mSamples.back().first;
    mSamples.emplace_back(time, mScale);
    while (mSamples.size() > 2 && time - mSamples[1].first >= kVelocityWindow) mSamples.pop_front();
    if (mSamples.size() >= 2) {
        const double dt = time - mSamples.front().first;
        if (dt > 0) mVelocity = (mScale - mSamples.front().second) / dt;
    }
}

void PinchGestureRecognizer::setScale(double scale) {
    double d = 0;
    if (distance(d) && scale > 0 && std::isfinite(scale)) mStartDistance = d / scale;
    mScale = scale;
    mSamples.clear();
}

void PinchGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
    (void)touches;
    const bool begun = state() == State::began || state() == State::changed;
    if (!begun && numberOfTouches() > 2) {
        setState(State::failed);
        return;
    }
    double d = 0;
    if (!distance(d) || d <= 0) return;
    if (begun) {
        mStartDistance = d / mScale;  // the scale carries on with the new pair
    } else {
        mStartDistance = d;
        mTouchDownDistance = d;
        mScale = 1;
    }
    mSamples.clear();
    sample(event.timestamp());
}

void PinchGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
    (void)touches;
    double d = 0;
    if (!distance(d) || !(mStartDistance > 0)) return;
    mScale = d / mStartDistance;
    sample(event.timestamp());
    if (state() == State::began || state() == State::changed) {
        setState(State::changed);
    } else if (std::abs(d - mTouchDownDistance) > kHysteresis) {
        setState(State::began);
    }
}

void PinchGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
    if (state() == State::began || state() == State::changed) {
        setState(State::ended);
    } else if (numberOfTouches() == 0) {
        setState(State::failed);
    }
}

void PinchGestureRecognizer::reset() {
    mStartDistance = 0;
    mTouchDownDistance = 0;
    mScale = 1;
    mVelocity = 0;
    mSamples.clear();
}

}  // namespace platform::ui

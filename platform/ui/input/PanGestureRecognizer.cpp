#include "platform/ui/input/PanGestureRecognizer.h"

#include "platform/ui/input/Touch.h"

#include <cmath>

namespace platform::ui {

std::size_t PanGestureRecognizer::counted() const { return numberOfTouches(); }

void PanGestureRecognizer::sample(double time) {
    const Point c = centroidInWindow();
    if (!mSamples.empty() && time < mSamples.back().time) time = mSamples.back().time;
    mSamples.push_back({time, c});
    while (mSamples.size() > 2 && time - mSamples[1].time >= kVelocityWindow) mSamples.pop_front();
    if (mSamples.size() >= 2) {
        const Sample& first = mSamples.front();
        const double dt = time - first.time;
        if (dt > 0) mVelocity = {(c.x - first.centroid.x) / dt, (c.y - first.centroid.y) / dt};
    }
    mCentroid = c;
}

void PanGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
    const bool begun = state() == State::began || state() == State::changed;
    if (!begun && counted() > mMaximumTouches) {
        setState(State::failed);
        return;
    }
    const Point before = mCentroid;
    const bool first = !mStarted;
    mStarted = true;
    const Point now = centroidInWindow();
    if (first) {
        mStart = now;
    } else {
        // The centroid jumps with the new finger; the translation does not.
        mStart.x += now.x - before.x;
        mStart.y += now.y - before.y;
    }
    mCentroid = now;
    mSamples.clear();
    sample(event.timestamp());
    (void)touches;
}

void PanGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
    (void)touches;
    sample(event.timestamp());
    if (state() == State::began || state() == State::changed) {
        setState(State::changed);
        return;
    }
    const Point t = translation();
    if (counted() >= mMinimumTouches && std::hypot(t.x - mOffset.x, t.y - mOffset.y) > kHysteresis) {
        setState(State::began);
    }
}

void PanGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
    (void)touches;
    const bool begun = state() == State::began || state() == State::changed;
    const std::size_t left = counted();
    if (left < mMinimumTouches || left == 0) {
        if (!begun) {
            setState(State::failed);
            return;
        }
        sample(event.timestamp());
        setState(State::ended);
        return;
    }
    // Fingers remain: the translation carries on from where it is.
    const Point before = mCentroid;
    const Point now = centroidInWindow();
    mStart.x += now.x - before.x;
    mStart.y += now.y - before.y;
    mCentroid = now;
    mSamples.clear();
    sample(event.timestamp());
}

Point PanGestureRecognizer::translation() const {
    return {mCentroid.x - mStart.x + mOffset.x, mCentroid.y - mStart.y + mOffset.y};
}

Point PanGestureRecognizer::translationInView(const View* view) const {
    return windowVectorInView(translation(), view);
}

void PanGestureRecognizer::setTranslation(Point translation, const View* view) {
    const Point wanted = viewVectorInWindow(translation, view);
    mOffset = {wanted.x - (mCentroid.x - mStart.x), wanted.y - (mCentroid.y - mStart.y)};
}

Point PanGestureRecognizer::velocityInView(const View* view) const { return windowVectorInView(mVelocity, view); }

void PanGestureRecognizer::reset() {
    mStarted = false;
    mStart = {};
    mOffset = {};
    mCentroid = {};
    mSamples.clear();
    mVelocity = {};
}

}  // namespace platform::ui

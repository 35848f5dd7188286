#include "platform/ui/input/SwipeGestureRecognizer.h"

#include "platform/ui/input/Touch.h"

#include <cmath>

namespace platform::ui {

void SwipeGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
    if (static_cast<int>(numberOfTouches()) > mTouchesRequired) {
        setState(State::failed);
        return;
    }
    mStart = centroidInWindow();
    if (mStarted) return;
    mStarted = true;
    startTimer(kMaximumDuration, [this] {
        if (state() == State::possible) setState(State::failed);
    });
}

void SwipeGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
    if (static_cast<int>(numberOfTouches()) != mTouchesRequired) return;
    const Point c = centroidInWindow();
    const double dx = c.x - mStart.x;
    const double dy = c.y - mStart.y;
    const struct {
        SwipeGestureRecognizerDirection direction;
        double along;
        double across;
    } ways[] = {{SwipeGestureRecognizerDirection::right, dx, dy},
                {SwipeGestureRecognizerDirection::left, -dx, dy},
                {SwipeGestureRecognizerDirection::down, dy, dx},
                {SwipeGestureRecognizerDirection::up, -dy, dx}};
    bool strays = true;
    for (const auto& way : ways) {
        if (!(static_cast<unsigned>(mDirection) & static_cast<unsigned>(way.direction))) continue;
        if (way.along > -kMinimumDistance / 2 && std::abs(way.across) <= std::max(kMinimumDistance, way.along) / 2) {
            strays = false;
        }
        if (way.along >= kMinimumDistance && std::abs(way.across) <= way.along / 2) {
            setState(State::recognized);
            return;
        }
    }
    if (strays) setState(State::failed);
}

void SwipeGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
    if (state() == State::possible) setState(State::failed);
}

void SwipeGestureRecognizer::reset() {
    mStarted = false;
    mStart = {};
}

}  // namespace platform::ui

#pragma once
// A swipe: the fingers required moving quickly in one of the allowed
// directions. Discrete: recognised as soon as their centroid has moved
// kMinimumDistance that way, straying sideways no more than half as far;
// fails when it has not within kMaximumDuration, when the fingers lift
// first, when it strays (sideways, or backwards by half the distance), or
// when more fingers come down.

#include "platform/ui/input/GestureRecognizer.h"

namespace platform::ui {

// The platform's values; several may be allowed at once.
enum class SwipeGestureRecognizerDirection : unsigned { right = 1 << 0, left = 1 << 1, up = 1 << 2, down = 1 << 3 };
constexpr SwipeGestureRecognizerDirection operator|(SwipeGestureRecognizerDirection a,
                                                    SwipeGestureRecognizerDirection b) {
    return static_cast<SwipeGestureRecognizerDirection>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

class SwipeGestureRecognizer : public GestureRecognizer {
public:
    static constexpr double kMinimumDistance = 50;   // points
    static constexpr double kMaximumDuration = 0.5;  // seconds

    SwipeGestureRecognizer() = default;

    // Right by default.
    SwipeGestureRecognizerDirection direction() const { return mDirection; }
    void setDirection(SwipeGestureRecognizerDirection direction) { mDirection = direction; }
    int numberOfTouchesRequired() const { return mTouchesRequired; }
    void setNumberOfTouchesRequired(int touches) { mTouchesRequired = touches < 1 ? 1 : touches; }

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    SwipeGestureRecognizerDirection mDirection = SwipeGestureRecognizerDirection::right;
    int mTouchesRequired = 1;
    bool mStarted = false;
    Point mStart;
};

}  // namespace platform::ui

#pragma once
// A pan: fingers (between the minimum and maximum number) dragged across
// the view. Continuous: began once their centroid has moved more than
// kHysteresis from where it came down, changed with each move, ended when
// the fingers down fall below the minimum. Fails when they lift first, or
// more than the maximum come down before it begins (once begun, more are
// ignored).
//
// The translation is the centroid's movement since it came down (its jump
// when fingers come or go is taken out), as a vector in a view's
// coordinates; the velocity is that of its last tenth of a second, in
// points per second.

#include "platform/ui/input/GestureRecognizer.h"

#include <deque>
#include <limits>

namespace platform::ui {

class PanGestureRecognizer : public GestureRecognizer {
public:
    static constexpr double kHysteresis = 10;       // points
    static constexpr double kVelocityWindow = 0.1;  // seconds

    PanGestureRecognizer() = default;

    std::size_t minimumNumberOfTouches() const { return mMinimumTouches; }
    void setMinimumNumberOfTouches(std::size_t touches) { mMinimumTouches = touches < 1 ? 1 : touches; }
    std::size_t maximumNumberOfTouches() const { return mMaximumTouches; }
    void setMaximumNumberOfTouches(std::size_t touches) { mMaximumTouches = touches; }

    // In `view`'s coordinates (null: the window's).
    Point translationInView(const View* view) const;
    // Makes the translation read `translation` in `view`'s coordinates now.
    void setTranslation(Point translation, const View* view);
    Point velocityInView(const View* view) const;

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    struct Sample {
        double time;
        Point centroid;
    };
    void sample(double time);
    // The translation in window coordinates.
    Point translation() const;
    std::size_t counted() const;

    std::size_t mMinimumTouches = 1;
    std::size_t mMaximumTouches = std::numeric_limits<std::size_t>::max();
    bool mStarted = false;
    Point mStart;   // where the centroid started, moved to take out jumps
    Point mOffset;  // from setTranslation
    Point mCentroid;
    std::deque<Sample> mSamples;
    Point mVelocity;
};

}  // namespace platform::ui

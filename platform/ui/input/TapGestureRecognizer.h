#pragma once
// A tap: the number of fingers required coming down together (near each
// other) and lifting, the number of times required. Discrete: recognised
// when the last tap lifts; fails when a finger moves more than
// kMaximumMovement, a press lasts longer than kMaximumPressDuration, the
// next tap does not come within kMaximumInterval of the last lift or lands
// more than kMaximumSeparation from the first, or more fingers come down
// than required.

#include "platform/ui/input/GestureRecognizer.h"

#include <map>

namespace platform::ui {

class TapGestureRecognizer : public GestureRecognizer {
public:
    static constexpr double kMaximumMovement = 10;        // points
    static constexpr double kMaximumPressDuration = 1.5;  // seconds
    static constexpr double kMaximumInterval = 0.35;      // seconds between taps
    static constexpr double kMaximumSeparation = 45;      // points from the first tap

    TapGestureRecognizer() = default;

    int numberOfTapsRequired() const { return mTapsRequired; }
    // At least 1.
    void setNumberOfTapsRequired(int taps) { mTapsRequired = taps < 1 ? 1 : taps; }
    int numberOfTouchesRequired() const { return mTouchesRequired; }
    void setNumberOfTouchesRequired(int touches) { mTouchesRequired = touches < 1 ? 1 : touches; }

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    int mTapsRequired = 1;
    int mTouchesRequired = 1;
    int mTapsDone = 0;
    int mDown = 0;
    int mMostDown = 0;
    bool mHasFirstTap = false;
    Point mFirstTap;
    std::map<const Touch*, Point> mStarts;  // window coordinates
};

}  // namespace platform::ui

#pragma once
// The mark under one finger: an image view tagged with its touch's
// identifier, that knows when its touch last moved and whether it is on its
// way out. Main thread only.

#include "platform/ui/views/ImageView.h"

#include <memory>
#include <string>

class TouchMarkView : public platform::ui::ImageView {
public:
    using platform::ui::ImageView::ImageView;

    // The time of the touch's last event (the clock's monotonic seconds).
    double timestamp() const { return mTimestamp; }
    void setTimestamp(double timestamp) { mTimestamp = timestamp; }
    // The touch may end where the window never hears of it, so the mark
    // goes by itself once its touch has been still for a while.
    bool shouldAutomaticallyRemoveAfterTimeout() const { return mShouldAutomaticallyRemoveAfterTimeout; }
    void setShouldAutomaticallyRemoveAfterTimeout(bool remove) { mShouldAutomaticallyRemoveAfterTimeout = remove; }
    bool isFadingOut() const { return mFadingOut; }
    void setFadingOut(bool fadingOut) { mFadingOut = fadingOut; }

    std::string className() const override { return "TouchMarkView"; }

private:
    double mTimestamp = 0;
    bool mShouldAutomaticallyRemoveAfterTimeout = false;
    bool mFadingOut = false;
};

#pragma once
// Touches and the events that carry them. A touch is one finger (or the
// pencil) on the screen from the moment it comes down until it lifts or
// the system cancels it: the same object through every phase, its location
// kept in its window's coordinates. An event holds the touches that changed
// at one moment (and those that did not, as stationary).
//
// Event sources (TouchSynth, the desktop backend) make touches with
// Touch::make, move them through their phases with update() and hand the
// window an Event; the window sets the view and the recognisers. Main
// thread only.

#include "platform/graphics/Geometry.h"
#include "platform/ui/input/Responder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

class GestureRecognizer;
class View;
class Window;

namespace detail {
class TouchRouter;
}

enum class TouchPhase { began, moved, stationary, ended, cancelled };

enum class TouchType { finger, pencil };

class Touch {
public:
    // A touch coming down at `locationInWindow`, in phase began, stamped
    // with the clock's time.
    static std::shared_ptr<Touch> make(const std::shared_ptr<Window>& window, Point locationInWindow,
                                       TouchType type = TouchType::finger);
    // A touch that goes to the view under `aim` (hit tested there), wherever
    // it comes down: a touchpad's fingers, which act on what lies under the
    // pointer.
    static std::shared_ptr<Touch> makeAimed(const std::shared_ptr<Window>& window, Point locationInWindow, Point aim);

    // Moves the touch on: the location it had becomes the previous one and
    // the time is the clock's.
    void update(TouchPhase phase, Point locationInWindow);

    // Unique in the process.
    std::uint64_t identifier() const { return mIdentifier; }
    TouchPhase phase() const { return mPhase; }
    TouchType type() const { return mType; }
    // Seconds on the clock's monotonic face (currentMediaTime()).
    double timestamp() const { return mTimestamp; }
    // 1 for a single tap; 2 when it came down near where the last one lifted,
    // soon after, and so on.
    int tapCount() const { return mTapCount; }
    // True while down: began, moved or stationary.
    bool isActive() const { return mPhase != TouchPhase::ended && mPhase != TouchPhase::cancelled; }

    std::shared_ptr<Window> window() const { return mWindow.lock(); }
    // The view it came down in (by hit testing); null outside any.
    std::shared_ptr<View> view() const { return mView.lock(); }
    // The recognisers that receive it: those of its view and the views
    // above, nearest first, that took it.
    const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return mRecognizers; }

    // In `view`'s coordinates; null means the window's.
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;
    Point locationInWindow() const { return mLocation; }

private:
    friend class detail::TouchRouter;

    Touch() = default;

    std::uint64_t mIdentifier = 0;
    TouchPhase mPhase = TouchPhase::began;
    TouchType mType = TouchType::finger;
    double mTimestamp = 0;
    int mTapCount = 1;
    Point mLocation;
    Point mPreviousLocation;
    std::optional<Point> mAim;
    std::weak_ptr<Window> mWindow;
    std::weak_ptr<View> mView;
    std::vector<std::shared_ptr<GestureRecognizer>> mRecognizers;
};

class Event {
public:
    // The touches of the event; their phases say what changed.
    explicit Event(TouchSet touches);

    double timestamp() const { return mTimestamp; }
    const TouchSet& allTouches() const { return mTouches; }
    TouchSet touchesForView(const View* view) const;
    TouchSet touchesForWindow(const Window* window) const;
    TouchSet touchesForGestureRecognizer(const GestureRecognizer* recognizer) const;

private:
    TouchSet mTouches;
    double mTimestamp = 0;
};

}  // namespace platform::ui

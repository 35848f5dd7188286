#pragma once
// Gesture recognisers, with the platform's state machine. A recogniser
// watches the touches of its view (and of the views below it) and tells
// its targets when it recognises its gesture.
//
// States: a discrete gesture (tap, swipe) goes from possible to recognized
// (= ended) or to failed; a continuous one (long press, pan, pinch) from
// possible to began, changed as often as it changes, then ended or
// cancelled; or from possible to failed. Targets hear began, changed,
// ended (recognized) and cancelled. After a final state the recogniser is
// reset to possible once the touches it tracks have lifted (at the end of
// the event, or on the main loop's next turn after a timer decided).
//
// Between recognisers:
// - requireGestureRecognizerToFail(other): while `other` is still possible
//   and has touches of its own, this one holds its recognition back (its
//   state stays possible); it goes ahead when `other` fails and fails when
//   `other` recognises.
// - Of recognisers that share a touch, one recognises: when one begins or
//   recognises, the others still possible fail, and none can begin while
//   another has begun, unless a delegate lets the two recognise
//   simultaneously.
// - Before leaving possible a recogniser asks its delegate
//   (gestureRecognizerShouldBegin) and the view its touch came down in
//   and its own view (View::gestureRecognizerShouldBegin); a no fails it.
// - A touch reaches a recogniser only when it is enabled and its delegate
//   agrees (gestureRecognizerShouldReceiveTouch).
//
// Touches of the view: recognisers see every phase first. One that
// recognises with cancelsTouchesInView (the default) has its touches
// cancelled for their view. delaysTouchesBegan holds the view's began and
// moved calls back while the recogniser is possible; delaysTouchesEnded
// (the default) holds the view's ended call back likewise; held calls are
// made once it fails, and dropped (or cancelled) once it recognises.
//
// Time limits run on clock timers of the main loop in every mode. Main
// thread only.

#include "platform/graphics/Geometry.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/input/Responder.h"
#include "platform/ui/input/TargetAction.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace platform::ui {

class Event;
class GestureRecognizer;
class Touch;
class View;
class Window;

namespace detail {
class TouchRouter;
}

enum class GestureRecognizerState { possible, began, changed, ended, cancelled, failed, recognized = ended };

// Optional answers; held weakly by the recogniser.
class GestureRecognizerDelegate {
public:
    virtual ~GestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
        (void)recognizer;
        return true;
    }
    virtual bool gestureRecognizerShouldReceiveTouch(GestureRecognizer& recognizer, const Touch& touch) {
        (void)recognizer;
        (void)touch;
        return true;
    }
    virtual bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer& recognizer,
                                                                GestureRecognizer& other) {
        (void)recognizer;
        (void)other;
        return false;
    }
};

class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
public:
    using State = GestureRecognizerState;
    using ActionId = TargetActions<GestureRecognizer>::Id;

    virtual ~GestureRecognizer();
    GestureRecognizer(const GestureRecognizer&) = delete;
    GestureRecognizer& operator=(const GestureRecognizer&) = delete;

    State state() const { return mState; }
    std::shared_ptr<View> view() const { return mView.lock(); }

    // `action` on `target` for as long as the target lives; the action may
    // take the recogniser as its own class (it is not called for another).
    template <typename Target, typename Sender>
    ActionId addTarget(const std::shared_ptr<Target>& target, void (Target::*action)(Sender&)) {
        static_assert(std::is_base_of_v<GestureRecognizer, Sender>);
        std::weak_ptr<Target> weak = target;
        return addAction([weak, action](GestureRecognizer& recognizer) {
            auto strong = weak.lock();
            auto* sender = dynamic_cast<Sender*>(&recognizer);
            if (strong && sender) ((*strong).*action)(*sender);
        });
    }
    // A closure, owned by the recogniser (it must not own the recogniser).
    ActionId addAction(std::function<void(GestureRecognizer&)> action) { return mActions.add(std::move(action)); }
    void removeAction(ActionId id) { mActions.remove(id); }

    std::shared_ptr<GestureRecognizerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { mDelegate = std::move(delegate); }

    // A recogniser that is disabled takes no touches; disabling one that
    // has begun cancels it, one that is possible fails.
    bool isEnabled() const { return mEnabled; }
    void setEnabled(bool enabled);
    bool cancelsTouchesInView() const { return mCancelsTouchesInView; }
    void setCancelsTouchesInView(bool cancels) { mCancelsTouchesInView = cancels; }
    bool delaysTouchesBegan() const { return mDelaysTouchesBegan; }
    void setDelaysTouchesBegan(bool delays) { mDelaysTouchesBegan = delays; }
    bool delaysTouchesEnded() const { return mDelaysTouchesEnded; }
    void setDelaysTouchesEnded(bool delays) { mDelaysTouchesEnded = delays; }
    const std::string& name() const { return mName; }
    void setName(std::string name) { mName = std::move(name); }

    // Held weakly; see above.
    void requireGestureRecognizerToFail(const std::shared_ptr<GestureRecognizer>& other);

    // The centroid of the touches down (after they lift, of the last ones),
    // in `view`'s coordinates (null: the window's).
    Point locationInView(const View* view) const;
    // Touches down.
    std::size_t numberOfTouches() const;
    // The touch at `index` of those down, in `view`'s coordinates; the
    // centroid when there is no such touch.
    Point locationOfTouch(std::size_t index, const View* view) const;

protected:
    GestureRecognizer();

    // Subclasses move the state machine: see above for the transitions
    // that count; others are ignored. Targets hear of began, changed (each
    // time it is set), ended and cancelled.
    void setState(State state);

    // The touches of this recogniser in the event, by phase. The defaults
    // do nothing, except touchesCancelled: a begun gesture is cancelled,
    // a possible one fails.
    virtual void touchesBegan(const TouchSet& touches, const Event& event);
    virtual void touchesMoved(const TouchSet& touches, const Event& event);
    virtual void touchesEnded(const TouchSet& touches, const Event& event);
    virtual void touchesCancelled(const TouchSet& touches, const Event& event);
    // Back to possible: forget what the gesture gathered.
    virtual void reset() {}

    // The touches the recogniser tracks since its last reset, lifted ones
    // included, in the order they came.
    const TouchSet& trackedTouches() const { return mTouches; }
    // The centroid of the touches down in window coordinates (of the last
    // ones down, after they lift).
    Point centroidInWindow() const;
    // A point or a vector of the window's coordinates in `view`'s.
    Point windowPointInView(Point point, const View* view) const;
    Point windowVectorInView(Point vector, const View* view) const;
    Point viewVectorInWindow(Point vector, const View* view) const;

    // Calls `fire` after `seconds` on the main loop (in every mode) unless
    // the recogniser is reset first.
    void startTimer(double seconds, std::function<void()> fire);

private:
    friend class View;
    friend class detail::TouchRouter;

    bool isFinal() const { return mState == State::ended || mState == State::cancelled || mState == State::failed; }
    bool isTracking() const { return !mTouches.empty(); }
    bool isWaiting() const { return mPending.has_value(); }
    bool tracks(const Touch* touch) const;
    void attachTo(const std::shared_ptr<View>& view);
    void leavePossible(State state);
    bool mayRecognize();
    bool waitsForOthers() const;
    void recognize(State state);
    void fail();
    void otherFailed();
    // After a final state: reset once the touches tracked have lifted (now,
    // or on the next turn).
    void resetIfDone();
    void scheduleReset();
    void resetNow();
    std::shared_ptr<Window> window() const;
    std::vector<std::shared_ptr<GestureRecognizer>> sharingTouches() const;
    bool simultaneousWith(GestureRecognizer& other);

    State mState = State::possible;
    std::optional<State> mPending;  // a recognition held back for others to fail
    std::weak_ptr<View> mView;
    std::weak_ptr<GestureRecognizerDelegate> mDelegate;
    TargetActions<GestureRecognizer> mActions;
    bool mEnabled = true;
    bool mCancelsTouchesInView = true;
    bool mDelaysTouchesBegan = false;
    bool mDelaysTouchesEnded = true;
    std::string mName;
    std::vector<std::weak_ptr<GestureRecognizer>> mRequiredToFail;
    std::vector<std::weak_ptr<GestureRecognizer>> mDependents;  // those that wait for this one
    TouchSet mTouches;
    Point mLastCentroid;
    std::vector<RunLoop::Timer> mTimers;
};

}  // namespace platform::ui

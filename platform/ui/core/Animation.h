#pragma once
// Animations of layer properties, as the platform's layers run them.
//
// An animation changes only what is shown: the layer's model value changes
// at once when set, and the presentation (Layer::presentationLayer(time))
// is the model with every running animation applied at that time, a pure
// function of the time. Animations are added to a layer under a key
// (Layer::addAnimation); the layer holds the very object added, not a
// copy, so one animation may run on several layers (its begin time is
// resolved for each) and must not be changed once added.
//
// Timing, in the time of what holds the animation (the layer's media time,
// or the parent group's local time):
// - beginTime: 0 means "when added"; otherwise an absolute time
//   (currentMediaTime() + delay), or for a group's child the offset into
//   the group.
// - duration: one pass; 0 means 0.25 s, as on the platform.
// - speed: how fast the animation's time runs against the holder's (0, or
//   less, freezes it at its start).
// - repeatCount (fractional allowed; infinity, or more passes than fit in
//   a billion seconds, runs for ever) or repeatDuration; autoreverses plays
//   each pass forwards then backwards.
// - fillMode: what shows before the begin (backwards, both) and after the
//   end (forwards, both) while the animation stays on the layer.
// - removedOnCompletion: the layer drops the animation when it ends.
//
// The delegate hears animationDidStart when the animation begins and
// animationDidStop once: with finished true when it runs to its end, false
// when it is removed (or replaced under its key, or its layer goes) first.
// Both come from the main run loop, on timers at the begin and the end, so
// advancing a virtual clock delivers them in time order; never from inside
// the call that added or removed the animation.

#include "platform/ui/core/AnimationValue.h"
#include "platform/ui/core/MediaTimingFunction.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

class Animation;
class Layer;

namespace detail {
class AnimationRun;
struct AnimationAccess;
}  // namespace detail

enum class FillMode { removed, forwards, backwards, both };

// Optional callbacks; not owned by the animation (keep the delegate alive
// as long as its calls matter). An animation may be its own delegate.
class AnimationDelegate {
public:
    virtual ~AnimationDelegate() = default;
    virtual void animationDidStart(Animation& animation) { (void)animation; }
    virtual void animationDidStop(Animation& animation, bool finished) {
        (void)animation;
        (void)finished;
    }
};

class Animation : public std::enable_shared_from_this<Animation> {
public:
    // The platform's duration for an animation of duration 0.
    static constexpr double kDefaultDuration = 0.25;

    virtual ~Animation();
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;

    double beginTime() const { return mBeginTime; }
    void setBeginTime(double seconds) { mBeginTime = seconds; }
    double duration() const { return mDuration; }
    void setDuration(double seconds) { mDuration = seconds; }
    double speed() const { return mSpeed; }
    void setSpeed(double speed) { mSpeed = speed; }
    double repeatCount() const { return mRepeatCount; }
    void setRepeatCount(double count) { mRepeatCount = count; }
    double repeatDuration() const { return mRepeatDuration; }
    void setRepeatDuration(double seconds) { mRepeatDuration = seconds; }
    bool autoreverses() const { return mAutoreverses; }
    void setAutoreverses(bool autoreverses) { mAutoreverses = autoreverses; }
    FillMode fillMode() const { return mFillMode; }
    void setFillMode(FillMode mode) { mFillMode = mode; }
    bool isRemovedOnCompletion() const { return mRemovedOnCompletion; }
    void setRemovedOnCompletion(bool removed) { mRemovedOnCompletion = removed; }
    // None is linear.
    const std::optional<MediaTimingFunction>& timingFunction() const { return mTimingFunction; }
    void setTimingFunction(std::optional<MediaTimingFunction> function) { mTimingFunction = std::move(function); }

    std::shared_ptr<AnimationDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<AnimationDelegate> delegate) { mDelegate = std::move(delegate); }

    // One pass in the animation's own time: the duration, or the default.
    double simpleDuration() const;
    // From the begin to the end of the last pass, in the holder's time;
    // infinity when it runs for ever or its speed is 0.
    double activeDuration() const;
    // Where in its pass (0 to simpleDuration()) the animation is at `time`
    // of the holder, having begun at `begin`; none when it has no effect
    // then (before the begin or after the end without the fill for it).
    std::optional<double> simpleTimeAt(double time, double begin) const;

protected:
    Animation() = default;

private:
    friend struct detail::AnimationAccess;
    // What runs on one layer: made when the animation is added, from the
    // layer's presentation just before (and, for an action, the value the
    // property showed before it changed).
    virtual std::unique_ptr<detail::AnimationRun> makeRun(const Layer& presentation,
                                                          const std::optional<AnimationValue>& previous) const = 0;

    double mBeginTime = 0;
    double mDuration = 0;
    double mSpeed = 1;
    double mRepeatCount = 0;
    double mRepeatDuration = 0;
    bool mAutoreverses = false;
    FillMode mFillMode = FillMode::removed;
    bool mRemovedOnCompletion = true;
    std::optional<MediaTimingFunction> mTimingFunction;
    std::weak_ptr<AnimationDelegate> mDelegate;
};

// An animation of one property, named by its key path ("opacity",
// "position", "transform.scale.x", …; Layer lists them). A key path that
// names no property animates nothing but runs its time and calls its
// delegate all the same.
class PropertyAnimation : public Animation {
public:
    const std::string& keyPath() const { return mKeyPath; }
    void setKeyPath(std::string keyPath) { mKeyPath = std::move(keyPath); }

protected:
    explicit PropertyAnimation(std::string keyPath) : mKeyPath(std::move(keyPath)) {}

private:
    std::string mKeyPath;
};

}  // namespace platform::ui

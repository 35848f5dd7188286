#pragma once
// Transitions between controllers: what an animator is handed (the
// transition context), the animator itself, the transitioning delegate a
// presented controller names, and the coordinator that lets others animate
// alongside a transition (a presentation, a push, a change of size).
//
// A transition runs on the main loop's clock: an animator animates with
// View::animate (or layer animations) and calls completeTransition when its
// last animation ends, so advancing a virtual clock steps it. Main thread
// only.

#include "platform/graphics/Geometry.h"

#include <functional>
#include <memory>

namespace platform::ui {

class PresentationController;
class View;
class ViewController;

enum class TransitionKey { from, to };

class ViewControllerContextTransitioning {
public:
    virtual ~ViewControllerContextTransitioning() = default;

    // The view the transition happens in; the animator adds the to view.
    virtual std::shared_ptr<View> containerView() const = 0;
    virtual std::shared_ptr<ViewController> viewControllerForKey(TransitionKey key) const = 0;
    // The controller's view, when the transition moves it (a presented
    // controller's, a pushed one's); null for a presenter that stays.
    virtual std::shared_ptr<View> viewForKey(TransitionKey key) const = 0;
    // In the container's coordinates; empty when not known (a presenter
    // that stays put, the from view's end of a presentation).
    virtual Rect initialFrameForViewController(const ViewController& controller) const = 0;
    virtual Rect finalFrameForViewController(const ViewController& controller) const = 0;
    virtual bool isAnimated() const = 0;
    virtual bool transitionWasCancelled() const = 0;
    // The animator's last call: false puts everything back as it was.
    virtual void completeTransition(bool didComplete) = 0;
};

class ViewControllerAnimatedTransitioning {
public:
    virtual ~ViewControllerAnimatedTransitioning() = default;
    virtual double transitionDuration(const ViewControllerContextTransitioning* context) = 0;
    virtual void animateTransition(ViewControllerContextTransitioning& context) = 0;
    virtual void animationEnded(bool transitionCompleted) { (void)transitionCompleted; }
};

// Named by a presented controller (weakly): supplies the animators and the
// presentation controller of a custom presentation. Null means the
// toolkit's own.
class ViewControllerTransitioningDelegate {
public:
    virtual ~ViewControllerTransitioningDelegate() = default;
    virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        ViewController& presented, ViewController& presenting, ViewController& source) {
        (void)presented, (void)presenting, (void)source;
        return nullptr;
    }
    virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        ViewController& dismissed) {
        (void)dismissed;
        return nullptr;
    }
    virtual std::shared_ptr<PresentationController> presentationControllerForPresentedViewController(
        const std::shared_ptr<ViewController>& presented, const std::shared_ptr<ViewController>& presenting,
        ViewController& source) {
        (void)presented, (void)presenting, (void)source;
        return nullptr;
    }
};

// Lets code animate beside a running transition: `animation` runs inside
// an animation block of the transition's duration as the transition starts
// (at once when it has started), `completion` once it has ended. Both hear
// the transition's context. Without an animated transition both run at
// once, in order.
class ViewControllerTransitionCoordinator {
public:
    using Block = std::function<void(ViewControllerContextTransitioning&)>;
    virtual ~ViewControllerTransitionCoordinator() = default;
    virtual bool animateAlongsideTransition(Block animation, Block completion) = 0;
    virtual double transitionDuration() const = 0;
    virtual bool isAnimated() const = 0;
    virtual bool isCancelled() const = 0;
};

}  // namespace platform::ui

#pragma once
// One object that animates present, dismiss, push and pop, as the
// transitioning delegate of a presented controller and as the delegate of
// a navigation controller: either a circular reveal that grows (present,
// push) or shrinks (dismiss, pop) about a point of the frame, or a slide
// from one edge. The delegate call that hands the animator out says which
// way the next transition goes; one animator serves one transition at a
// time. Main thread only.

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/views/ViewControllerTransitioning.h"

#include <memory>
#include <optional>

class TransitionAnimator : public platform::ui::ViewControllerAnimatedTransitioning,
                           public platform::ui::ViewControllerTransitioningDelegate,
                           public platform::ui::NavigationControllerDelegate,
                           public std::enable_shared_from_this<TransitionAnimator> {
public:
    // Style bits: a circle, and the edge (left, bottom, right, top). A
    // style is one edge alone (a slide from it), or the circle alone (about
    // the centre) or with one edge (about the middle of that edge).
    static constexpr unsigned kCircle = 1;
    static constexpr unsigned kLeft = 2;
    static constexpr unsigned kBottom = 4;
    static constexpr unsigned kRight = 8;
    static constexpr unsigned kTop = 16;
    // The radius the circle shrinks to, or grows from.
    static constexpr double kSmallRadius = 1.0;

    // Half a second, a slide from the left.
    TransitionAnimator() = default;

    double transitionDuration() const { return mTransitionDuration; }
    void setTransitionDuration(double seconds) { mTransitionDuration = seconds; }
    // A value that is none of the nine styles makes every transition end
    // at once, without animation.
    unsigned transitionStyle() const { return mTransitionStyle; }
    void setTransitionStyle(unsigned style) { mTransitionStyle = style; }
    bool isDismiss() const { return mIsDismiss; }
    void setIsDismiss(bool dismiss) { mIsDismiss = dismiss; }
    bool isNavigationTransition() const { return mIsNavigationTransition; }
    void setIsNavigationTransition(bool navigation) { mIsNavigationTransition = navigation; }

    // The circle's centre for a style and a frame (in the frame's
    // coordinates); none for the slides and for values outside the styles.
    static std::optional<platform::Point> circleCenter(unsigned style, const platform::Rect& frame);
    // The radius that reaches the corner of the frame farthest from the
    // centre, so that the grown circle covers the whole frame.
    static double largeRadius(const platform::Point& center, const platform::Rect& frame);
    // A full circle, clockwise from angle 0.
    static platform::Path circlePath(const platform::Point& center, double radius);

    // --- transitioning --------------------------------------------------
    double transitionDuration(const platform::ui::ViewControllerContextTransitioning* context) override;
    // The dismiss animation when isDismiss, else the present animation.
    void animateTransition(platform::ui::ViewControllerContextTransitioning& context) override;

    // --- handing the animator out ---------------------------------------
    // A presentation: not a navigation transition, not a dismissal.
    std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        platform::ui::ViewController& presented, platform::ui::ViewController& presenting,
        platform::ui::ViewController& source) override;
    // A dismissal: not a navigation transition.
    std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        platform::ui::ViewController& dismissed) override;
    // A push or a pop: a dismissal when the from controller stands higher
    // in the navigation stack than the to controller (or has left it, as a
    // popped one has); the operation is not consulted.
    std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning> animationControllerForOperation(
        platform::ui::NavigationController& navigation, platform::ui::NavigationControllerOperation operation,
        platform::ui::ViewController& from, platform::ui::ViewController& to) override;

private:
    void animatePresent(platform::ui::ViewControllerContextTransitioning& context);
    void animateDismiss(platform::ui::ViewControllerContextTransitioning& context);
    // Where a slide starts (present) or ends (dismiss): the frame moved off
    // by the style's edge.
    platform::Rect offscreenFrame(const platform::Rect& frame) const;
    // Animates the path of a mask on `view` from one circle to the other,
    // then takes the mask away and completes the transition.
    void animateReveal(platform::ui::ViewControllerContextTransitioning& context, platform::ui::View& view,
                       const platform::Rect& maskBounds, const platform::Rect& frame, bool growing);

    double mTransitionDuration = 0.5;
    unsigned mTransitionStyle = kLeft;
    bool mIsDismiss = false;
    bool mIsNavigationTransition = false;
};

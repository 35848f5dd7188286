#include "widgets/Transitions/TransitionAnimator.h"

#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "widgets/Transitions/BasicAnimation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

using platform::Path;
using platform::Point;
using platform::Rect;
using platform::ui::TransitionKey;
using platform::ui::View;
using platform::ui::ViewController;
using platform::ui::ViewControllerContextTransitioning;

namespace {

double midX(const Rect& r) { return (r.minX() + r.maxX()) / 2; }
double midY(const Rect& r) { return (r.minY() + r.maxY()) / 2; }

bool isSlide(unsigned style) {
    return style == TransitionAnimator::kLeft || style == TransitionAnimator::kBottom ||
           style == TransitionAnimator::kRight || style == TransitionAnimator::kTop;
}

// The circle alone, or with one edge.
bool isCircle(unsigned style) {
    return style == TransitionAnimator::kCircle || ((style & TransitionAnimator::kCircle) && isSlide(style - 1));
}

// A frame the context does not know is the whole screen.
Rect frameOrScreen(const Rect& frame) { return frame.isEmpty() ? platform::ui::Screen::mainScreen()->bounds() : frame; }

std::size_t indexInStack(const std::vector<std::shared_ptr<ViewController>>& stack, const ViewController& controller) {
    const auto found = std::find_if(stack.begin(), stack.end(), [&](const auto& c) { return c.get() == &controller; });
    return found == stack.end() ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(found - stack.begin());
}

void finish(ViewControllerContextTransitioning& context) {
    context.completeTransition(!context.transitionWasCancelled());
}

}  // namespace

std::optional<Point> TransitionAnimator::circleCenter(unsigned style, const Rect& frame) {
    switch (style) {
        case kCircle: return Point{midX(frame), midY(frame)};
        case kCircle | kLeft: return Point{frame.minX(), midY(frame)};
        case kCircle | kBottom: return Point{midX(frame), frame.maxY()};
        case kCircle | kRight: return Point{frame.maxX(), midY(frame)};
        case kCircle | kTop: return Point{midX(frame), frame.minY()};
        default: return std::nullopt;
    }
}

double TransitionAnimator::largeRadius(const Point& center, const Rect& frame) {
    const double dx = std::max(std::abs(center.x - frame.minX()), std::abs(frame.maxX() - center.x));
    const double dy = std::max(std::abs(center.y - frame.minY()), std::abs(frame.maxY() - center.y));
    return std::hypot(dx, dy);
}

Path TransitionAnimator::circlePath(const Point& center, double radius) {
    Path path;
    path.addArc(center, radius, 0, 2 * std::numbers::pi, true);
    return path;
}

double TransitionAnimator::transitionDuration(const ViewControllerContextTransitioning*) { return mTransitionDuration; }

void TransitionAnimator::animateTransition(ViewControllerContextTransitioning& context) {
    if (mIsDismiss) {
        animateDismiss(context);
    } else {
        animatePresent(context);
    }
}

Rect TransitionAnimator::offscreenFrame(const Rect& frame) const {
    Rect moved = frame;
    switch (mTransitionStyle) {
        case kLeft: moved.x -= frame.width; break;
        case kBottom: moved.y += frame.height; break;
        case kRight: moved.x += frame.width; break;
        case kTop: moved.y -= frame.height; break;
        default: break;
    }
    return moved;
}

void TransitionAnimator::animatePresent(ViewControllerContextTransitioning& context) {
    const auto container = context.containerView();
    const auto to = context.viewControllerForKey(TransitionKey::to);
    auto toView = context.viewForKey(TransitionKey::to);
    if (!toView && to) toView = to->view();
    if (!container || !to || !toView) {
        finish(context);
        return;
    }
    container->addSubview(toView);
    const Rect frame = frameOrScreen(context.finalFrameForViewController(*to));
    toView->setFrame(frame);
    if (isCircle(mTransitionStyle)) {
        animateReveal(context, *toView, toView->bounds(), frame, true);
    } else if (isSlide(mTransitionStyle)) {
        toView->setFrame(offscreenFrame(frame));
        View::animate(
            mTransitionDuration, [&] { toView->setFrame(frame); }, [&context](bool) { finish(context); });
    } else {
        finish(context);
    }
}

void TransitionAnimator::animateDismiss(ViewControllerContextTransitioning& context) {
    const auto container = context.containerView();
    const auto from = context.viewControllerForKey(TransitionKey::from);
    const auto to = context.viewControllerForKey(TransitionKey::to);
    auto fromView = context.viewForKey(TransitionKey::from);
    if (!fromView && from) fromView = from->view();
    auto toView = context.viewForKey(TransitionKey::to);
    if (!toView && to) toView = to->view();
    if (!container || !from || !fromView) {
        finish(context);
        return;
    }
    if (mIsNavigationTransition) {
        if (toView) container->addSubview(toView);
        container->addSubview(fromView);
    }
    if (isCircle(mTransitionStyle)) {
        const Rect frame = frameOrScreen(context.initialFrameForViewController(*from));
        animateReveal(context, *fromView, (toView ? toView : fromView)->bounds(), frame, false);
    } else if (isSlide(mTransitionStyle)) {
        const Rect away = offscreenFrame(frameOrScreen(to ? context.finalFrameForViewController(*to) : Rect{}));
        View::animate(
            mTransitionDuration, [&] { fromView->setFrame(away); }, [&context](bool) { finish(context); });
    } else {
        finish(context);
    }
}

void TransitionAnimator::animateReveal(ViewControllerContextTransitioning& context, View& view, const Rect& maskBounds,
                                       const Rect& frame, bool growing) {
    // The circle is placed in the view's own coordinates, at the frame's size.
    const Rect area{view.bounds().x, view.bounds().y, frame.width, frame.height};
    const Point center = *circleCenter(mTransitionStyle, area);
    const Path small = circlePath(center, kSmallRadius);
    const Path large = circlePath(center, largeRadius(center, area));

    auto mask = platform::ui::ShapeLayer::make();
    mask->setBounds(maskBounds);
    mask->setPosition({midX(maskBounds), midY(maskBounds)});
    mask->setFillColor(platform::Color{0, 0, 0, 1});
    mask->setPath(growing ? large : small);
    view.layer()->setMask(mask);

    auto animation = BasicAnimation::animationWithKeyPath("path");
    animation->setFromValue(growing ? small : large);
    animation->setToValue(growing ? large : small);
    animation->setDuration(mTransitionDuration);
    animation->setRemovedOnCompletion(true);
    std::weak_ptr<platform::ui::Layer> layer = view.layer();
    animation->setCompletion([layer, &context](bool) {
        if (const auto shown = layer.lock()) shown->setMask(nullptr);
        finish(context);
    });
    mask->addAnimation(animation, "path");
}

std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning>
TransitionAnimator::animationControllerForPresentedController(ViewController&, ViewController&, ViewController&) {
    mIsNavigationTransition = false;
    mIsDismiss = false;
    return shared_from_this();
}

std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning>
TransitionAnimator::animationControllerForDismissedController(ViewController&) {
    mIsNavigationTransition = false;
    mIsDismiss = true;
    return shared_from_this();
}

std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning> TransitionAnimator::animationControllerForOperation(
    platform::ui::NavigationController& navigation, platform::ui::NavigationControllerOperation, ViewController& from,
    ViewController& to) {
    const auto stack = navigation.viewControllers();
    mIsDismiss = indexInStack(stack, from) > indexInStack(stack, to);
    mIsNavigationTransition = true;
    return shared_from_this();
}

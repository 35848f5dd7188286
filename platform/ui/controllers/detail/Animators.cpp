// The toolkit's own transition animators.

#include "platform/ui/controllers/detail/ControllerTransitions.h"

namespace platform::ui::detail {

namespace {

class ModalAnimator final : public ViewControllerAnimatedTransitioning {
public:
    ModalAnimator(bool dismissing, bool fade) : mDismissing(dismissing), mFade(fade) {}

    double transitionDuration(const ViewControllerContextTransitioning*) override { return mFade ? 0.2 : 0.3; }

    void animateTransition(ViewControllerContextTransitioning& context) override {
        const auto container = context.containerView();
        const auto view = context.viewForKey(mDismissing ? TransitionKey::from : TransitionKey::to);
        const auto controller = context.viewControllerForKey(mDismissing ? TransitionKey::from : TransitionKey::to);
        const double duration = transitionDuration(&context);
        auto done = [&context](bool) { context.completeTransition(!context.transitionWasCancelled()); };
        if (!view || !container) {
            context.completeTransition(true);
            return;
        }
        const Rect shown = mDismissing ? context.initialFrameForViewController(*controller)
                                       : context.finalFrameForViewController(*controller);
        Rect hidden = shown;
        hidden.y = container->bounds().maxY();
        if (!mDismissing) {
            if (view->superview() != container) container->addSubview(view);
            view->setFrame(mFade ? shown : hidden);
            if (mFade) view->setAlpha(0);
        }
        View::animate(
            duration, 0, ViewAnimationOptions::curveEaseInOut,
            [&] {
                if (mFade) {
                    view->setAlpha(mDismissing ? 0 : 1);
                } else {
                    view->setFrame(mDismissing ? hidden : shown);
                }
            },
            done);
    }

private:
    bool mDismissing;
    bool mFade;
};

class PushAnimator final : public ViewControllerAnimatedTransitioning {
public:
    explicit PushAnimator(bool popping) : mPopping(popping) {}

    double transitionDuration(const ViewControllerContextTransitioning*) override { return 0.35; }

    void animateTransition(ViewControllerContextTransitioning& context) override {
        const auto container = context.containerView();
        const auto fromView = context.viewForKey(TransitionKey::from);
        const auto toView = context.viewForKey(TransitionKey::to);
        const auto to = context.viewControllerForKey(TransitionKey::to);
        const Rect final = context.finalFrameForViewController(*to);
        const double width = container->bounds().width;
        Rect start = final;
        start.x += mPopping ? -width / 3 : width;
        if (mPopping) {
            container->insertSubviewBelowSubview(toView, fromView.get());
        } else {
            container->addSubview(toView);
        }
        toView->setFrame(start);
        auto done = [&context](bool) { context.completeTransition(!context.transitionWasCancelled()); };
        View::animate(
            transitionDuration(&context), 0, ViewAnimationOptions::curveEaseInOut,
            [&] {
                toView->setFrame(final);
                if (fromView) {
                    Rect away = fromView->frame();
                    away.x += mPopping ? width : -width / 3;
                    fromView->setFrame(away);
                }
            },
            done);
    }

private:
    bool mPopping;
};

}  // namespace

std::shared_ptr<ViewControllerAnimatedTransitioning> makeModalAnimator(bool dismissing, bool fade) {
    return std::make_shared<ModalAnimator>(dismissing, fade);
}

std::shared_ptr<ViewControllerAnimatedTransitioning> makePushAnimator(bool popping) {
    return std::make_shared<PushAnimator>(popping);
}

}  // namespace platform::ui::detail

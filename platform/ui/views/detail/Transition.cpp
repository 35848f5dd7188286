#include "platform/ui/views/detail/Transition.h"

#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"

namespace platform::ui::detail {

void Transition::start() {
    mStarted = true;
    const auto self = shared_from_this();
    mDuration = animated && animator ? animator->transitionDuration(this) : 0;
    if (!mAlongside.empty()) {
        auto blocks = std::move(mAlongside);
        mAlongside.clear();
        View::animate(mDuration, [&] {
            for (auto& block : blocks) block(*this);
        });
    }
    if (animated && animator) {
        animator->animateTransition(*this);
        return;
    }
    if (toView && container && !toFinal.isEmpty()) toView->setFrame(toFinal);
    completeTransition(true);
}

Rect Transition::initialFrameForViewController(const ViewController& controller) const {
    if (&controller == from.get()) return fromInitial;
    if (&controller == to.get()) return toInitial;
    return {};
}

Rect Transition::finalFrameForViewController(const ViewController& controller) const {
    if (&controller == from.get()) return fromFinal;
    if (&controller == to.get()) return toFinal;
    return {};
}

void Transition::completeTransition(bool didComplete) {
    if (mEnded) return;
    mEnded = true;
    mCancelled = !didComplete;
    const auto keep = shared_from_this();
    auto completions = std::move(mCompletions);
    mCompletions.clear();
    for (auto& block : completions) block(*this);
    if (finish) finish(didComplete);
    if (animator) animator->animationEnded(didComplete);
}

bool Transition::animateAlongsideTransition(Block animation, Block completion) {
    if (mEnded) {
        if (animation) animation(*this);
        if (completion) completion(*this);
        return false;
    }
    if (animation) {
        if (mStarted) {
            View::animate(mDuration, [&] { animation(*this); });
        } else {
            mAlongside.push_back(std::move(animation));
        }
    }
    if (completion) mCompletions.push_back(std::move(completion));
    return true;
}

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

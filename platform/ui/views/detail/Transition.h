#pragma once
// Private to platform/ui: one running transition between two controllers
// (a presentation, a dismissal, a push, a pop, a page turn, a change of
// size), which is both the animator's context and the coordinator others
// animate alongside. The owner fills the fields, then calls start(); the
// animator (or, without one or unanimated, the transition itself) ends it
// with completeTransition, which runs the alongside completions, then
// `finish`, then `then`. The controllers' side (presentations, the
// toolkit's animators) is in controllers/detail/ControllerTransitions.h.

#include "platform/ui/views/View.h"
#include "platform/ui/views/ViewControllerTransitioning.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform::ui::detail {

class Transition final : public ViewControllerContextTransitioning,
                         public ViewControllerTransitionCoordinator,
                         public std::enable_shared_from_this<Transition> {
public:
    std::shared_ptr<View> container;
    std::shared_ptr<ViewController> from, to;
    std::shared_ptr<View> fromView, toView;
    Rect fromInitial, fromFinal, toInitial, toFinal;
    bool animated = false;
    std::shared_ptr<ViewControllerAnimatedTransitioning> animator;
    // Bookkeeping once the animator is done: true when it completed.
    std::function<void(bool)> finish;
    // Last, once the animator has heard the end: what was asked of the
    // controllers while the transition ran.
    std::function<void()> then;

    // Runs the alongside animations, then the animator (or, without one,
    // puts the to view at its final frame and completes at once).
    void start();
    bool hasEnded() const { return mEnded; }

    std::shared_ptr<View> containerView() const override { return container; }
    std::shared_ptr<ViewController> viewControllerForKey(TransitionKey key) const override {
        return key == TransitionKey::from ? from : to;
    }
    std::shared_ptr<View> viewForKey(TransitionKey key) const override {
        return key == TransitionKey::from ? fromView : toView;
    }
    Rect initialFrameForViewController(const ViewController& controller) const override;
    Rect finalFrameForViewController(const ViewController& controller) const override;
    bool isAnimated() const override { return animated; }
    bool transitionWasCancelled() const override { return mCancelled; }
    void completeTransition(bool didComplete) override;

    bool animateAlongsideTransition(Block animation, Block completion) override;
    double transitionDuration() const override { return mDuration; }
    bool isCancelled() const override { return mCancelled; }

private:
    std::vector<Block> mAlongside;
    std::vector<Block> mCompletions;
    double mDuration = 0;
    bool mStarted = false;
    bool mEnded = false;
    bool mCancelled = false;
};

}  // namespace platform::ui::detail

#pragma once
// Private to platform/ui: one running transition between two controllers
// (a presentation, a dismissal, a push, a pop, a page turn, a change of
// size), which is both the animator's context and the coordinator others
// animate alongside. The owner fills the fields, then calls start(); the
// animator (or, without one or unanimated, the transition itself) ends it
// with completeTransition, which runs the alongside completions and then
// `finish`.

#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/ViewControllerTransitioning.h"

#include <functional>
#include <memory>
#include <utility>
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

// The toolkit's own animators: a modal sheet rising from the bottom (or a
// popover fading in), and a push sliding in from the right; each reversed
// when `dismissing`.
std::shared_ptr<ViewControllerAnimatedTransitioning> makeModalAnimator(bool dismissing, bool fade);
std::shared_ptr<ViewControllerAnimatedTransitioning> makePushAnimator(bool popping);

// Presentations and dismissals (ViewController's two entry points).
class PresentationTransition {
public:
    static void present(ViewController& source, const std::shared_ptr<ViewController>& controller, bool animated,
                        std::function<void()> completion);
    static void dismiss(ViewController& source, bool animated, std::function<void()> completion);
};

struct ControllerAccess {
    static void viewMovedToWindow(ViewController& c, bool inWindow) { c.viewMovedToWindow(inWindow); }
    static void notifyTraitChange(ViewController& c, const TraitCollection& previous) { c.notifyTraitChange(previous); }
    static void setCoordinator(ViewController& c, std::shared_ptr<ViewControllerTransitionCoordinator> coordinator) {
        c.mCoordinator = std::move(coordinator);
    }
    static std::shared_ptr<ViewController>& presented(ViewController& c) { return c.mPresented; }
    static std::weak_ptr<ViewController>& presenting(ViewController& c) { return c.mPresenting; }
    static bool& beingPresented(ViewController& c) { return c.mBeingPresented; }
    static bool& beingDismissed(ViewController& c) { return c.mBeingDismissed; }
    static std::shared_ptr<PresentationController>& presentation(ViewController& c) {
        return c.mPresentationController;
    }
};

// The view over a window that a presentation happens in: it lays the
// presented view out as the presentation controller says.
std::shared_ptr<View> makePresentationContainer(const Rect& frame,
                                                const std::shared_ptr<PresentationController>& controller);

// Hooks from the views and the layout pass to the controller whose root
// view a view is.
void controllerViewMovedToWindow(View& view, bool inWindow);
void controllerWillLayout(View& view);
void controllerDidLayout(View& view);

}  // namespace platform::ui::detail

#pragma once
// Private to platform/ui: the controllers' side of transitions (see
// views/detail/Transition.h): presentations and dismissals, the toolkit's
// own animators, and the doors into controllers that windows and
// transitions use.

#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/ViewControllerTransitioning.h"
#include "platform/ui/views/detail/Transition.h"

#include <functional>
#include <memory>
#include <utility>

namespace platform::ui::detail {

// The toolkit's own animators: a modal sheet rising from the bottom (or a
// popover fading in), and a push sliding in from the right; each reversed
// when `dismissing`.
std::shared_ptr<ViewControllerAnimatedTransitioning> makeModalAnimator(bool dismissing, bool fade);
std::shared_ptr<ViewControllerAnimatedTransitioning> makePushAnimator(bool popping);

// Presentations and dismissals (ViewController's two entry points). A
// dismissal asked while a transition moves the controller (it slides in,
// or out already) waits for that transition's end: then the controller is
// dismissed if it is still shown, and every waiting completion runs once
// it has gone. So no request is lost to a transition the caller cannot see.
class PresentationTransition {
public:
    static void present(ViewController& source, const std::shared_ptr<ViewController>& controller, bool animated,
                        std::function<void()> completion);
    static void dismiss(ViewController& source, bool animated, std::function<void()> completion);

private:
    static void waitForTransition(PresentationController& presentation, bool animated,
                                  std::function<void()> completion);
    static void afterTransition(const std::shared_ptr<ViewController>& presenter,
                                const std::shared_ptr<ViewController>& presented, PresentationController& presentation);
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

}  // namespace platform::ui::detail

// Presenting and dismissing controllers: the bookkeeping around a
// transition (see ViewController.h and PresentationController.h).

#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/controllers/detail/ControllerTransitions.h"

#include <cstdio>

namespace platform::ui::detail {

namespace {

using Access = ControllerAccess;

std::shared_ptr<ViewController> rootOfParents(ViewController& controller) {
    auto top = controller.sharedController();
    while (auto parent = top->parentViewController()) top = parent;
    return top;
}

std::shared_ptr<Window> windowOf(ViewController& controller) {
    const auto view = controller.viewIfLoaded();
    return view ? view->window() : nullptr;
}

// Takes the presenter's view out of the window once a full-screen
// presentation is shown, noting where it was.
void takeOut(ViewController& presenter, std::weak_ptr<View>& from, std::size_t& index) {
    const auto view = presenter.viewIfLoaded();
    const auto super = view ? view->superview() : nullptr;
    if (!super) return;
    const auto siblings = super->subviews();
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] == view) index = i;
    }
    from = super;
    view->removeFromSuperview();
}

// Puts it back where it was as the presentation is dismissed.
void putBack(ViewController& presenter, std::weak_ptr<View>& from, std::size_t index) {
    const auto view = presenter.viewIfLoaded();
    const auto super = from.lock();
    from.reset();
    if (!view || !super || view->superview()) return;
    super->insertSubview(view, index);
}

}  // namespace

void PresentationTransition::present(ViewController& source, const std::shared_ptr<ViewController>& controller,
                                     bool animated, std::function<void()> completion) {
    if (!controller) return;
    const auto presenter = rootOfParents(source);
    const auto window = windowOf(*presenter);
    const char* refusal = nullptr;
    if (Access::presented(*presenter)) {
        refusal = "it already presents a controller";
    } else if (presenter->isBeingPresented() || presenter->isBeingDismissed()) {
        refusal = "a transition is running";
    } else if (controller->presentingViewController() || controller->parentViewController() ||
               controller.get() == presenter.get()) {
        refusal = "the controller is already shown";
    } else if (!window) {
        refusal = "its view is not in a window";
    }
    if (refusal) {
        std::fprintf(stderr, "Not presenting %s on %s: %s\n", controller->className().c_str(),
                     presenter->className().c_str(), refusal);
        return;
    }

    Access::presented(*presenter) = controller;
    Access::presenting(*controller) = presenter;
    Access::beingPresented(*controller) = true;

    auto& presentation = Access::presentation(*controller);
    const auto delegate = controller->transitioningDelegate();
    const ModalPresentationStyle style = controller->modalPresentationStyle();
    std::shared_ptr<PresentationController> made;
    if (style == ModalPresentationStyle::custom && delegate) {
        made = delegate->presentationControllerForPresentedViewController(controller, presenter, source);
    }
    if (!made && style == ModalPresentationStyle::popover) {
        made = controller->popoverPresentationController();
    }
    if (!made) made = std::make_shared<PresentationController>(controller, presenter);
    presentation = made;
    presentation->mPresenting = presenter;
    presentation->mStyleInForce = presentation->adaptivePresentationStyle(window->traitCollection());

    auto container = makePresentationContainer(window->bounds(), presentation);
    presentation->mContainerView = container;
    window->addSubview(container);
    presentation->presentationTransitionWillBegin();
    presentation->installSheetChrome(animated);

    const bool removesPresenter = presentation->shouldRemovePresentersView();
    if (removesPresenter) presenter->beginAppearanceTransition(false, animated);
    controller->beginAppearanceTransition(true, animated);

    auto transition = std::make_shared<Transition>();
    transition->container = container;
    transition->from = presenter;
    transition->to = controller;
    transition->toView = presentation->presentedView();
    transition->toFinal = presentation->frameOfPresentedViewInContainerView();
    transition->animated = animated;
    if (animated) {
        if (delegate) {
            transition->animator = delegate->animationControllerForPresentedController(*controller, *presenter, source);
        }
        if (!transition->animator) {
            transition->animator =
                makeModalAnimator(false, presentation->styleInForce() == ModalPresentationStyle::popover);
        }
    } else if (transition->toView && transition->toView->superview() != container) {
        container->addSubview(transition->toView);
    }
    Access::setCoordinator(*controller, transition);
    Access::setCoordinator(*presenter, transition);
    std::weak_ptr<Transition> weakTransition = transition;
    transition->then = [presenter, controller, presentation] { afterTransition(presenter, controller, *presentation); };
    transition->finish = [presenter, controller, presentation, removesPresenter, container,
                          completion = std::move(completion)](bool completed) {
        Access::setCoordinator(*controller, nullptr);
        Access::setCoordinator(*presenter, nullptr);
        Access::beingPresented(*controller) = false;
        if (!completed) {
            controller->beginAppearanceTransition(false, false);
            controller->endAppearanceTransition();
            if (removesPresenter) {
                presenter->beginAppearanceTransition(true, false);
                presenter->endAppearanceTransition();
            }
            container->removeFromSuperview();
            presentation->sheetDismissalDidEnd(true);
            presentation->presentationTransitionDidEnd(false);
            presentation->mContainerView = nullptr;
            Access::presented(*presenter) = nullptr;
            Access::presenting(*controller).reset();
            return;
        }
        if (removesPresenter) takeOut(*presenter, presentation->mPresenterSuperview, presentation->mPresenterIndex);
        presentation->presentationTransitionDidEnd(true);
        if (removesPresenter) presenter->endAppearanceTransition();
        controller->endAppearanceTransition();
        controller->setNeedsStatusBarAppearanceUpdate();
        if (completion) completion();
    };
    transition->start();
}

void PresentationTransition::dismiss(ViewController& source, bool animated, std::function<void()> completion) {
    const auto host = rootOfParents(source);
    auto presenter = Access::presented(*host) ? host : host->presentingViewController();
    if (!presenter) return;
    const auto presented = Access::presented(*presenter);
    if (presented->isBeingPresented() || presented->isBeingDismissed()) {
        waitForTransition(*Access::presentation(*presented), animated, std::move(completion));
        return;
    }
    // Those presented above go first, at once (once a transition of theirs
    // has ended), then this one.
    if (Access::presented(*presented)) {
        dismiss(*presented, false, [presenter, presented, animated, completion = std::move(completion)]() mutable {
            if (Access::presented(*presenter) == presented) {
                dismiss(*presenter, animated, std::move(completion));
            } else if (completion) {
                completion();
            }
        });
        return;
    }

    const auto presentation = Access::presentation(*presented);
    const auto container = presentation->containerView();
    const bool removedPresenter = presentation->shouldRemovePresentersView();
    Access::beingDismissed(*presented) = true;
    presentation->dismissalTransitionWillBegin();
    presentation->sheetDismissalWillBegin(animated);
    presented->beginAppearanceTransition(false, animated);
    if (removedPresenter) presenter->beginAppearanceTransition(true, animated);
    if (removedPresenter) putBack(*presenter, presentation->mPresenterSuperview, presentation->mPresenterIndex);

    auto transition = std::make_shared<Transition>();
    transition->container = container;
    transition->from = presented;
    transition->to = presenter;
    transition->fromView = presentation->presentedView();
    if (transition->fromView) transition->fromInitial = transition->fromView->frame();
    transition->animated = animated;
    if (animated) {
        if (const auto delegate = presented->transitioningDelegate()) {
            transition->animator = delegate->animationControllerForDismissedController(*presented);
        }
        if (!transition->animator) {
            transition->animator =
                makeModalAnimator(true, presentation->styleInForce() == ModalPresentationStyle::popover);
        }
    }
    Access::setCoordinator(*presented, transition);
    Access::setCoordinator(*presenter, transition);
    transition->then = [presenter, presented, presentation] { afterTransition(presenter, presented, *presentation); };
    transition->finish = [presenter, presented, presentation, removedPresenter, container,
                          completion = std::move(completion)](bool completed) {
        Access::setCoordinator(*presented, nullptr);
        Access::setCoordinator(*presenter, nullptr);
        Access::beingDismissed(*presented) = false;
        if (!completed) {
            presented->beginAppearanceTransition(true, false);
            presented->endAppearanceTransition();
            if (removedPresenter) {
                presenter->beginAppearanceTransition(false, false);
                presenter->endAppearanceTransition();
                takeOut(*presenter, presentation->mPresenterSuperview, presentation->mPresenterIndex);
            }
            presentation->sheetDismissalDidEnd(false);
            presentation->dismissalTransitionDidEnd(false);
            return;
        }
        if (container) container->removeFromSuperview();
        presentation->sheetDismissalDidEnd(true);
        if (auto view = presented->viewIfLoaded()) view->removeFromSuperview();
        presentation->dismissalTransitionDidEnd(true);
        presentation->mContainerView = nullptr;
        Access::presented(*presenter) = nullptr;
        Access::presenting(*presented).reset();
        presented->endAppearanceTransition();
        if (removedPresenter) presenter->endAppearanceTransition();
        presenter->setNeedsStatusBarAppearanceUpdate();
        if (completion) completion();
    };
    transition->start();
}

void PresentationTransition::waitForTransition(PresentationController& presentation, bool animated,
                                               std::function<void()> completion) {
    presentation.mDismissalWaiting = true;
    // One that must be gone at once (a window given a new root) is not
    // made to wait for an animation.
    presentation.mWaitingDismissalAnimated = presentation.mWaitingDismissalAnimated && animated;
    if (completion) presentation.mWaitingCompletions.push_back(std::move(completion));
}

void PresentationTransition::afterTransition(const std::shared_ptr<ViewController>& presenter,
                                             const std::shared_ptr<ViewController>& presented,
                                             PresentationController& presentation) {
    if (!presentation.mDismissalWaiting) return;
    const bool animated = presentation.mWaitingDismissalAnimated;
    auto completions = std::move(presentation.mWaitingCompletions);
    presentation.mDismissalWaiting = false;
    presentation.mWaitingDismissalAnimated = true;
    presentation.mWaitingCompletions.clear();
    auto all = [completions = std::move(completions)] {
        for (const auto& completion : completions) completion();
    };
    // Still shown (presented, or a dismissal taken back): dismissed now;
    // gone already: the completions alone.
    if (Access::presented(*presenter) == presented) {
        dismiss(*presenter, animated, std::move(all));
    } else {
        all();
    }
}

}  // namespace platform::ui::detail

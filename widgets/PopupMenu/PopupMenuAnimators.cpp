#include "widgets/PopupMenu/PopupMenuAnimators.h"

#include "platform/graphics/AffineTransform.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/View.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <memory>

using platform::Rect;
using namespace platform::ui;

namespace {

// The menu of the transition, with its root view put over the whole
// container; null for any other controller.
std::shared_ptr<PopupMenuViewController> menuInContainer(ViewControllerContextTransitioning& context,
                                                         TransitionKey key) {
    auto menu = std::dynamic_pointer_cast<PopupMenuViewController>(context.viewControllerForKey(key));
    if (!menu) return nullptr;
    const auto container = context.containerView();
    const auto root = menu->view();
    root->setFrame(container->frame());
    container->addSubview(root);
    return menu;
}

void placePanel(PopupMenuViewController& menu, const Rect& frame) {
    menu.contentLeftConstraint()->setConstant(frame.x);
    menu.contentTopConstraint()->setConstant(frame.y);
    menu.contentWidthConstraint()->setConstant(frame.width);
    menu.contentHeightConstraint()->setConstant(frame.height);
}

}  // namespace

double PopupMenuAnimationController::transitionDuration(const ViewControllerContextTransitioning*) { return mDuration; }

void PopupMenuPresentAnimationController::animateTransition(ViewControllerContextTransitioning& context) {
    const auto menu = menuInContainer(context, TransitionKey::to);
    if (!menu) return;
    menu->containerView()->setAlpha(0);
    menu->backgroundView()->setAlpha(0);
    if (sourceFrame()) placePanel(*menu, *sourceFrame());
    // The panel starts over the source, or at its place when there is none,
    // not at the empty frame of a view never laid out.
    menu->view()->layoutIfNeeded();
    View::animate(
        kDuration, 0, ViewAnimationOptions::none,
        [&] {
            menu->containerView()->setAlpha(1);
            menu->backgroundView()->setAlpha(1);
            placePanel(*menu, menu->contentFrame());
            menu->containerView()->layoutIfNeeded();
        },
        [&context](bool) { context.completeTransition(!context.transitionWasCancelled()); });
}

void PopupMenuDismissAnimationController::animateTransition(ViewControllerContextTransitioning& context) {
    const auto menu = menuInContainer(context, TransitionKey::from);
    if (!menu) return;
    View::animate(
        kDuration, 0, ViewAnimationOptions::none,
        [&] {
            menu->containerView()->setAlpha(0);
            menu->backgroundView()->setAlpha(0);
            menu->containerView()->setTransform(platform::AffineTransform::scale(kEndScale, kEndScale));
        },
        [&context](bool) { context.completeTransition(!context.transitionWasCancelled()); });
}

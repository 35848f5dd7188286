#include "LayoutModule/LayoutDetails/VKMLayoutDetailsPresentationViewController.h"

#include <map>
#include <string>

#include "DocPickerModule/Preview/VKMCloudLayoutPreviewHelper.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/views/ViewControllerTransitioning.h"
#include "platform/ui/views/VisualEffectView.h"

using namespace platform::ui;

platform::Rect VKMLayoutDetailsPresentationViewController::frameOfPresentedViewInContainerView() const {
    const auto container = containerView();
    const platform::Rect bounds = container ? container->bounds() : platform::Rect{};
    const double height = presentedHeight();
    return {0, bounds.height - height, bounds.width, height};
}

void VKMLayoutDetailsPresentationViewController::presentationTransitionWillBegin() {
    const auto container = containerView();
    if (container) {
        auto visualEffectView = std::make_shared<VisualEffectView>(BlurEffectStyle::dark);
        visualEffectView->setUserInteractionEnabled(true);
        auto tap = std::make_shared<TapGestureRecognizer>();
        const std::weak_ptr<PresentationController> weak = weak_from_this();
        tap->addAction([weak](GestureRecognizer&) {
            if (auto self = std::static_pointer_cast<VKMLayoutDetailsPresentationViewController>(weak.lock()))
                self->blurViewTapped();
        });
        visualEffectView->addGestureRecognizer(tap);
        visualEffectView->setAlpha(0);
        visualEffectView->setTranslatesAutoresizingMaskIntoConstraints(false);
        mBackgroundFxView = visualEffectView;
        container->insertSubview(visualEffectView, 0);
        const std::map<std::string, std::shared_ptr<View>> views{{"visualEffectView", visualEffectView}};
        LayoutConstraint::activateConstraints(
            LayoutConstraint::constraintsWithVisualFormat("|[visualEffectView]|", {}, views));
        LayoutConstraint::activateConstraints(
            LayoutConstraint::constraintsWithVisualFormat("V:|[visualEffectView]|", {}, views));
        VKMCloudLayoutPreviewHelper::addPreviewImageViewToSuperview(visualEffectView->contentView(), presentedHeight());
        const std::weak_ptr<VisualEffectView> blur = visualEffectView;
        const auto presented = presentedViewController();
        const auto coordinator = presented ? presented->transitionCoordinator() : nullptr;
        auto show = [blur] {
            if (auto view = blur.lock()) view->setAlpha(1);
        };
        // Without a coordinator yet, a fade of the transition's length.
        if (!coordinator ||
            !coordinator->animateAlongsideTransition([show](ViewControllerContextTransitioning&) { show(); }, {}))
            View::animate(kFadeDuration, show);
    }
    PresentationController::presentationTransitionWillBegin();
}

void VKMLayoutDetailsPresentationViewController::dismissalTransitionWillBegin() {
    const auto presented = presentedViewController();
    const auto coordinator = presented ? presented->transitionCoordinator() : nullptr;
    const std::weak_ptr<VisualEffectView> blur = mBackgroundFxView;
    auto fade = [blur] {
        if (auto view = blur.lock()) view->setAlpha(0);
    };
    auto remove = [blur] {
        if (auto view = blur.lock()) view->removeFromSuperview();
    };
    if (!coordinator ||
        !coordinator->animateAlongsideTransition([fade](ViewControllerContextTransitioning&) { fade(); },
                                                 [remove](ViewControllerContextTransitioning&) { remove(); }))
        View::animate(kFadeDuration, fade, [remove](bool) { remove(); });
    PresentationController::dismissalTransitionWillBegin();
}

void VKMLayoutDetailsPresentationViewController::blurViewTapped() {
    if (auto presented = presentedViewController()) presented->dismissViewController(true);
}

#pragma once
// Presents item details at the bottom edge of the window over a darkly
// blurred backdrop that shows the layout's preview above them; a tap on the
// backdrop dismisses the details. Main thread only.

#include <memory>

#include "platform/ui/controllers/PresentationController.h"

namespace platform::ui {
class VisualEffectView;
}

class VKMLayoutDetailsPresentationViewController : public platform::ui::PresentationController {
public:
    static constexpr double kTallHeight = 300;
    static constexpr double kShortHeight = kTallHeight - 20;
    // The backdrop's fade when no transition coordinator is at hand.
    static constexpr double kFadeDuration = 0.3;

    using platform::ui::PresentationController::PresentationController;

    bool isTallDetailsView() const { return mTall; }
    void setTallDetailsView(bool tall) { mTall = tall; }
    double presentedHeight() const { return mTall ? kTallHeight : kShortHeight; }

    // Full width at the bottom, presentedHeight() high.
    platform::Rect frameOfPresentedViewInContainerView() const override;
    void presentationTransitionWillBegin() override;
    void dismissalTransitionWillBegin() override;
    void blurViewTapped();

    const std::shared_ptr<platform::ui::VisualEffectView>& backgroundFxView() const { return mBackgroundFxView; }

private:
    bool mTall = false;
    std::shared_ptr<platform::ui::VisualEffectView> mBackgroundFxView;
};

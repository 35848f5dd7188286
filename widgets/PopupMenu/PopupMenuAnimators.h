#pragma once
// The menu's own modal transitions: the panel grows out of the control that
// opened it while the background fades in (0.138 s); on closing both fade
// out while the panel shrinks to 55 % about its centre (0.0982 s). One
// animator per transition; both do nothing for a controller that is not a
// pop-up menu, and report completion unless the transition was cancelled.

#include "platform/graphics/Geometry.h"
#include "platform/ui/ViewControllerTransitioning.h"

#include <optional>

class PopupMenuPresentAnimationController : public platform::ui::ViewControllerAnimatedTransitioning {
public:
    static constexpr double kDuration = 0.138;

    // In window coordinates: where the panel starts; absent, it only fades in.
    explicit PopupMenuPresentAnimationController(std::optional<platform::Rect> sourceFrame)
        : mSourceFrame(sourceFrame) {}
    const std::optional<platform::Rect>& sourceFrame() const { return mSourceFrame; }

    double transitionDuration(const platform::ui::ViewControllerContextTransitioning* context) override;
    void animateTransition(platform::ui::ViewControllerContextTransitioning& context) override;

private:
    const std::optional<platform::Rect> mSourceFrame;
};

class PopupMenuDismissAnimationController : public platform::ui::ViewControllerAnimatedTransitioning {
public:
    static constexpr double kDuration = 0.0982;
    static constexpr double kEndScale = 0.55;

    // The source frame is kept but not used.
    explicit PopupMenuDismissAnimationController(std::optional<platform::Rect> sourceFrame)
        : mSourceFrame(sourceFrame) {}
    const std::optional<platform::Rect>& sourceFrame() const { return mSourceFrame; }

    double transitionDuration(const platform::ui::ViewControllerContextTransitioning* context) override;
    void animateTransition(platform::ui::ViewControllerContextTransitioning& context) override;

private:
    const std::optional<platform::Rect> mSourceFrame;
};

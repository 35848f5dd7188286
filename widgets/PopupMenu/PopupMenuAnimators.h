#pragma once
// The menu's own modal transitions: the panel grows out of the control that
// opened it while the background fades in (0.138 s); on closing both fade
// out while the panel shrinks to 55 % about its centre (0.0982 s). One
// animator per transition; both do nothing for a controller that is not a
// pop-up menu, and report completion unless the transition was cancelled.

#include "platform/graphics/Geometry.h"
#include "platform/ui/views/ViewControllerTransitioning.h"

#include <optional>

// What both animators hold: where the menu's source was, in window
// coordinates, and how long they take.
class PopupMenuAnimationController : public platform::ui::ViewControllerAnimatedTransitioning {
public:
    const std::optional<platform::Rect>& sourceFrame() const { return mSourceFrame; }
    double transitionDuration(const platform::ui::ViewControllerContextTransitioning* context) override;

protected:
    PopupMenuAnimationController(std::optional<platform::Rect> sourceFrame, double duration)
        : mSourceFrame(sourceFrame), mDuration(duration) {}

private:
    const std::optional<platform::Rect> mSourceFrame;
    const double mDuration;
};

class PopupMenuPresentAnimationController : public PopupMenuAnimationController {
public:
    static constexpr double kDuration = 0.138;

    // Absent: the panel only fades in.
    explicit PopupMenuPresentAnimationController(std::optional<platform::Rect> sourceFrame)
        : PopupMenuAnimationController(sourceFrame, kDuration) {}
    void animateTransition(platform::ui::ViewControllerContextTransitioning& context) override;
};

class PopupMenuDismissAnimationController : public PopupMenuAnimationController {
public:
    static constexpr double kDuration = 0.0982;
    static constexpr double kEndScale = 0.55;

    // The source frame is kept but not used.
    explicit PopupMenuDismissAnimationController(std::optional<platform::Rect> sourceFrame)
        : PopupMenuAnimationController(sourceFrame, kDuration) {}
    void animateTransition(platform::ui::ViewControllerContextTransitioning& context) override;
};

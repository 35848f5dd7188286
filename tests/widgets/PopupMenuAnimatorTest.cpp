// The menu's transitions stepped on the virtual clock: growing from its
// source while the background fades in, only fading without a source,
// shrinking about its centre while fading out, and a cancelled transition.

#include <gtest/gtest.h>

#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/View.h"
#include "tests/widgets/support/PopupMenuStage.h"
#include "widgets/PopupMenu/PopupMenuAnimators.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <memory>
#include <vector>

using namespace popupmenutest;
using platform::Rect;
using namespace platform::ui;

namespace {

// The panel as shown at `time`, in the menu's root view.
Rect shownFrame(const View& view, double time) { return view.layer()->presentationLayer(time)->frame(); }
double shownOpacity(const View& view, double time) { return view.layer()->presentationLayer(time)->opacity(); }

void expectNear(const Rect& a, const Rect& b, double tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.width, b.width, tolerance);
    EXPECT_NEAR(a.height, b.height, tolerance);
}

// A transition that a test drives by hand, and may call cancelled.
class HandContext : public ViewControllerContextTransitioning {
public:
    HandContext(std::shared_ptr<ViewController> controller, bool cancelled)
        : mController(std::move(controller)), mCancelled(cancelled) {}
    std::shared_ptr<View> containerView() const override { return mContainer; }
    std::shared_ptr<ViewController> viewControllerForKey(TransitionKey) const override { return mController; }
    std::shared_ptr<View> viewForKey(TransitionKey) const override { return mController->view(); }
    Rect initialFrameForViewController(const ViewController&) const override { return {}; }
    Rect finalFrameForViewController(const ViewController&) const override { return mContainer->bounds(); }
    bool isAnimated() const override { return true; }
    bool transitionWasCancelled() const override { return mCancelled; }
    void completeTransition(bool didComplete) override { completions.push_back(didComplete); }

    std::vector<bool> completions;

private:
    std::shared_ptr<View> mContainer = std::make_shared<View>(Rect{0, 0, 390, 844});
    std::shared_ptr<ViewController> mController;
    bool mCancelled;
};

}  // namespace

TEST(PopupMenuAnimators, PresentingGrowsThePanelFromItsSourceWhileTheBackgroundFadesIn) {
    Stage s;
    Rows rows({"Type", "Layer", "Height"});
    const Rect source{40, 300, 44, 44};
    auto menu = PopupMenuViewController::make(s.sourceAt(source), rows.actions);
    const double start = currentMediaTime();
    s.root->presentViewController(menu, true);
    const Rect end = menu->contentFrame();
    const auto& panel = *menu->containerView();
    const auto& background = *menu->backgroundView();

    expectNear(shownFrame(panel, start), source, 0.5);
    EXPECT_NEAR(shownOpacity(panel, start), 0, 1e-9);
    EXPECT_NEAR(shownOpacity(background, start), 0, 1e-9);
    // Half way on the default ease-in-out curve: half of each change.
    const double half = start + PopupMenuPresentAnimationController::kDuration / 2;
    EXPECT_NEAR(shownOpacity(background, half), 0.5, 1e-6);
    EXPECT_NEAR(shownOpacity(panel, half), 0.5, 1e-6);
    expectNear(shownFrame(panel, half),
               Rect{(source.x + end.x) / 2, (source.y + end.y) / 2, (source.width + end.width) / 2,
                    (source.height + end.height) / 2},
               0.5);

    s.advance(0.137);
    EXPECT_EQ(s.root->presentedViewController(), menu);
    EXPECT_TRUE(menu->isBeingPresented()) << "not done before 0.138 s";
    s.advance(0.002);
    EXPECT_FALSE(menu->isBeingPresented());
    expectNear(shownFrame(panel, currentMediaTime()), end, 0.5);
    EXPECT_EQ(shownOpacity(background, currentMediaTime()), 1);
}

TEST(PopupMenuAnimators, WithoutASourceThePanelOnlyFadesInAtItsPlace) {
    Stage s;
    Rows rows({"Type", "Layer"});
    auto menu = PopupMenuViewController::make(nullptr, rows.actions);
    const double start = currentMediaTime();
    s.root->presentViewController(menu, true);
    const Rect end = menu->contentFrame();
    for (const double t : {0.0, 0.05, 0.1}) {
        SCOPED_TRACE(t);
        expectNear(shownFrame(*menu->containerView(), start + t), end, 0.5);
    }
    EXPECT_NEAR(shownOpacity(*menu->backgroundView(), start + 0.069), 0.5, 1e-6);
    s.advance(0.2);
    EXPECT_FALSE(menu->isBeingPresented());
}

TEST(PopupMenuAnimators, DismissingFadesBothOutAndShrinksThePanelAboutItsCentre) {
    Stage s;
    Rows rows({"Type", "Layer"});
    auto menu = PopupMenuViewController::make(s.sourceAt({150, 400, 44, 44}), rows.actions);
    s.present(menu);
    const Rect shown = menu->containerView()->frame();
    const double start = currentMediaTime();
    menu->dismissViewController(true);
    const auto& panel = *menu->containerView();
    const double end = start + PopupMenuDismissAnimationController::kDuration;
    const auto scaleAt = [&](double time) { return panel.layer()->presentationLayer(time)->transform().m11; };
    EXPECT_NEAR(scaleAt(start), 1, 1e-9);
    EXPECT_NEAR(scaleAt((start + end) / 2), (1 + 0.55) / 2, 1e-6);
    EXPECT_NEAR(scaleAt(end - 1e-6), 0.55, 1e-4);
    EXPECT_NEAR(shownOpacity(*menu->backgroundView(), (start + end) / 2), 0.5, 1e-6);
    // About its centre: the middle stays where it was.
    const Rect half = shownFrame(panel, (start + end) / 2);
    EXPECT_NEAR(half.x + half.width / 2, shown.x + shown.width / 2, 1e-6);
    EXPECT_NEAR(half.y + half.height / 2, shown.y + shown.height / 2, 1e-6);
    EXPECT_NEAR(half.width, shown.width * 0.775, 1e-6);

    s.advance(0.098);
    EXPECT_EQ(s.root->presentedViewController(), menu) << "not gone before 0.0982 s";
    s.advance(0.001);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
}

TEST(PopupMenuAnimators, ACancelledTransitionReportsNotCompletedAndOtherControllersAreLeftAlone) {
    Stage s;
    Rows rows({"Type"});
    for (const bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled ? "cancelled" : "not cancelled");
        auto menu = PopupMenuViewController::make(nullptr, rows.actions);
        HandContext presenting(menu, cancelled);
        PopupMenuPresentAnimationController(std::nullopt).animateTransition(presenting);
        EXPECT_EQ(menu->view()->superview(), presenting.containerView());
        EXPECT_EQ(menu->view()->frame(), presenting.containerView()->frame());
        s.advance(0.2);
        EXPECT_EQ(presenting.completions, (std::vector<bool>{!cancelled}));

        HandContext dismissing(menu, cancelled);
        PopupMenuDismissAnimationController(std::nullopt).animateTransition(dismissing);
        s.advance(0.2);
        EXPECT_EQ(dismissing.completions, (std::vector<bool>{!cancelled}));
    }
    auto plain = std::make_shared<ViewController>();
    HandContext other(plain, false);
    PopupMenuPresentAnimationController(std::nullopt).animateTransition(other);
    s.advance(0.2);
    EXPECT_FALSE(plain->isViewLoaded());
    EXPECT_TRUE(other.completions.empty());

    auto menu = PopupMenuViewController::make(nullptr, {});
    PopupMenuPresentAnimationController animator(std::nullopt);
    EXPECT_EQ(animator.transitionDuration(nullptr), 0.138);
    EXPECT_EQ(PopupMenuDismissAnimationController(std::nullopt).transitionDuration(nullptr), 0.0982);
    EXPECT_TRUE(std::dynamic_pointer_cast<PopupMenuPresentAnimationController>(
        menu->animationControllerForPresentedController(*menu, *s.root, *s.root)));
    EXPECT_TRUE(std::dynamic_pointer_cast<PopupMenuDismissAnimationController>(
        menu->animationControllerForDismissedController(*menu)));
}

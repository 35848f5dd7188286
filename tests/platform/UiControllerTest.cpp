// View controllers: the life cycle in a window, in presentations (full
// screen, popover, custom) and in containers (navigation, tabs, a custom
// parent), traits and size changes, popover placement and adaptation per
// idiom, and transitions stepped on the virtual clock.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using platform::Point;
using platform::Rect;
using platform::Size;
using namespace platform::ui;

namespace {

using Log = std::vector<std::string>;

class Logged : public ViewController {
public:
    Logged(Log& log, std::string name) : mLog(log), mName(std::move(name)) {}
    void loadView() override {
        note("loadView");
        ViewController::loadView();
    }
    void viewDidLoad() override { note("viewDidLoad"); }
    void viewWillAppear(bool) override { note("willAppear"); }
    void viewDidAppear(bool) override { note("didAppear"); }
    void viewWillDisappear(bool) override { note("willDisappear"); }
    void viewDidDisappear(bool) override { note("didDisappear"); }
    void willMoveToParentViewController(ViewController* parent) override {
        note(parent ? "willMoveToParent" : "willMoveToNoParent");
    }
    void didMoveToParentViewController(ViewController* parent) override {
        note(parent ? "didMoveToParent" : "didMoveToNoParent");
    }
    void traitCollectionDidChange(const TraitCollection& previous) override {
        note(std::string("traits ") + (previous.verticalSizeClass == UserInterfaceSizeClass::regular ? "R" : "C") +
             "->" + (traitCollection().verticalSizeClass == UserInterfaceSizeClass::regular ? "R" : "C"));
    }
    void viewWillTransitionToSize(Size size, ViewControllerTransitionCoordinator& coordinator) override {
        note("willTransitionTo " + std::to_string(static_cast<int>(size.width)));
        coordinator.animateAlongsideTransition(
            nullptr, [this](ViewControllerContextTransitioning&) { note("sizeTransitionDone"); });
        ViewController::viewWillTransitionToSize(size, coordinator);
    }
    void didReceiveMemoryWarning() override { note("memoryWarning"); }
    std::string className() const override { return mName; }

    void note(const std::string& what) { mLog.push_back(mName + "." + what); }

private:
    Log& mLog;
    std::string mName;
};

struct ControllerStage {
    testsupport::VirtualTime time;
    Log log;
    std::shared_ptr<Window> window;

    explicit ControllerStage(UserInterfaceIdiom idiom = UserInterfaceIdiom::phone, Size size = {390, 844}) {
        Device::currentDevice().setUserInterfaceIdiom(idiom);
        window = std::make_shared<Window>(Rect{0, 0, size.width, size.height});
    }
    ~ControllerStage() { Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone); }

    std::shared_ptr<Logged> make(const std::string& name) { return std::make_shared<Logged>(log, name); }
    Log take() {
        Log out = std::move(log);
        log.clear();
        return out;
    }
    void advance(double seconds) {
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
};

}  // namespace

TEST(UiController, TheWindowsRootLoadsOnceAndAppearsAndAChildInACustomContainerFollowsIt) {
    ControllerStage s;
    auto root = s.make("root");
    auto child = s.make("child");
    s.window->setRootViewController(root);
    EXPECT_EQ(s.take(), (Log{"root.loadView", "root.viewDidLoad", "root.willAppear", "root.didAppear"}));
    EXPECT_EQ(root->view()->superview(), s.window);
    EXPECT_EQ(root->view()->frame(), s.window->bounds());

    // A custom container: add the child, add its view, tell it.
    root->addChildViewController(child);
    root->view()->addSubview(child->view());
    child->didMoveToParentViewController(root.get());
    EXPECT_EQ(s.take(), (Log{"child.willMoveToParent", "child.loadView", "child.viewDidLoad", "child.willAppear",
                             "child.didAppear", "child.didMoveToParent"}));
    EXPECT_EQ(child->view()->nextResponder(), child);
    EXPECT_EQ(child->nextResponder(), root->view());

    // Replacing the root: the old one and its child go, in order.
    auto other = s.make("other");
    s.window->setRootViewController(other);
    EXPECT_EQ(s.take(), (Log{"root.willDisappear", "child.willDisappear", "other.loadView", "other.viewDidLoad",
                             "other.willAppear", "root.didDisappear", "child.didDisappear", "other.didAppear"}));
    EXPECT_EQ(root->view()->window(), nullptr);

    child->willMoveToParentViewController(nullptr);
    child->view()->removeFromSuperview();
    child->removeFromParentViewController();
    EXPECT_EQ(s.take(), (Log{"child.willMoveToNoParent", "child.didMoveToNoParent"})) << "it had disappeared already";
    EXPECT_TRUE(root->childViewControllers().empty());

    ViewController::sendMemoryWarning();  // the window was never made key: no warning reaches it
    s.window->makeKeyAndVisible();
    ViewController::sendMemoryWarning();
    EXPECT_EQ(s.take(), (Log{"other.memoryWarning"}));
}

TEST(UiController, AFullScreenPresentationSlidesUpOnTheClockAndDismissesWithItsCompletionLast) {
    ControllerStage s;
    auto root = s.make("root");
    auto sheet = s.make("sheet");
    s.window->setRootViewController(root);
    s.take();
    bool presented = false;
    root->presentViewController(sheet, true, [&] { presented = true; });
    EXPECT_EQ(s.take(), (Log{"root.willDisappear", "sheet.loadView", "sheet.viewDidLoad", "sheet.willAppear"}));
    EXPECT_TRUE(sheet->isBeingPresented());
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_EQ(sheet->presentingViewController(), root);
    ASSERT_TRUE(sheet->transitionCoordinator());
    EXPECT_DOUBLE_EQ(sheet->transitionCoordinator()->transitionDuration(), 0.3);

    // Half way, the sheet is on its way up from below the window.
    const double start = currentMediaTime();
    s.advance(0.15);
    const double shownY = sheet->view()->layer()->presentationLayer(start + 0.15)->position().y;
    EXPECT_GT(shownY, 422 + 100) << "below its place";
    EXPECT_LT(shownY, 422 + 844) << "above where it started";
    EXPECT_FALSE(presented);
    EXPECT_TRUE(s.take().empty());
    s.advance(0.15);
    EXPECT_EQ(s.take(), (Log{"root.didDisappear", "sheet.didAppear"}));
    EXPECT_TRUE(presented);
    EXPECT_FALSE(sheet->isBeingPresented());
    EXPECT_EQ(root->view()->window(), nullptr) << "full screen takes the presenter's view out";
    EXPECT_EQ(sheet->view()->frame(), s.window->bounds());

    // A second presentation on the same presenter is refused.
    auto extra = s.make("extra");
    bool extraDone = false;
    root->presentViewController(extra, false, [&] { extraDone = true; });
    EXPECT_FALSE(extraDone);
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_FALSE(extra->isViewLoaded());

    bool dismissed = false;
    sheet->dismissViewController(true, [&] {
        dismissed = true;
        s.log.push_back("completion");
    });
    EXPECT_TRUE(sheet->isBeingDismissed());
    EXPECT_EQ(s.take(), (Log{"sheet.willDisappear", "root.willAppear"}));
    EXPECT_EQ(root->view()->window(), s.window) << "back beneath the sheet as it leaves";
    s.advance(0.3);
    EXPECT_EQ(s.take(), (Log{"sheet.didDisappear", "root.didAppear", "completion"}));
    EXPECT_TRUE(dismissed);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(sheet->presentingViewController(), nullptr);
    EXPECT_EQ(sheet->view()->window(), nullptr);
    EXPECT_EQ(s.window->subviews().size(), 1u) << "the container has gone";
}

TEST(UiController, StackedPresentationsDismissFromBelowAndTheTopMostIsFound) {
    ControllerStage s;
    auto root = s.make("root");
    auto a = s.make("a");
    auto b = s.make("b");
    a->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
    s.window->setRootViewController(root);
    root->presentViewController(a, false);
    a->presentViewController(b, false);
    EXPECT_EQ(root->topmostPresentedViewController(), b);
    EXPECT_EQ(root->view()->window(), s.window) << "over full screen keeps the presenter shown";
    s.take();
    bool done = false;
    root->dismissViewController(false, [&] { done = true; });
    EXPECT_EQ(s.take(), (Log{"b.willDisappear", "a.willAppear", "b.didDisappear", "a.didAppear", "a.willDisappear",
                             "a.didDisappear"}))
        << "b goes first; root never disappeared under an over-full-screen a";
    EXPECT_TRUE(done);
    EXPECT_EQ(root->topmostPresentedViewController(), root);

    // A new root takes the old one's presentations away.
    root->presentViewController(a, false);
    a->presentViewController(b, false);
    auto other = s.make("other");
    s.window->setRootViewController(other);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(s.window->subviews(), (std::vector<std::shared_ptr<View>>{other->view()}));
    EXPECT_EQ(b->appearanceState(), AppearanceState::disappeared);
}

namespace {

class PopoverChoice : public PopoverPresentationControllerDelegate {
public:
    std::optional<ModalPresentationStyle> adaptivePresentationStyleForPresentationController(
        PresentationController&, const TraitCollection&) override {
        return ModalPresentationStyle::none;
    }
    bool popoverPresentationControllerShouldDismissPopover(PopoverPresentationController&) override {
        ++asked;
        return allow;
    }
    void presentationControllerDidDismiss(PresentationController&) override { ++dismissed; }
    int asked = 0;
    int dismissed = 0;
    bool allow = false;
};

std::shared_ptr<View> addButtonView(ViewController& root, const Rect& frame) {
    auto button = std::make_shared<View>(frame);
    root.view()->addSubview(button);
    return button;
}

}  // namespace

TEST(UiController, APopoverPointsAtItsSourceOnATabletAndShowsAsASheetOnAPhone) {
    {
        ControllerStage s(UserInterfaceIdiom::tablet, {1024, 768});
        auto root = s.make("root");
        s.window->setRootViewController(root);
        const auto button = addButtonView(*root, {900, 20, 44, 44});
        auto content = s.make("content");
        content->setModalPresentationStyle(ModalPresentationStyle::popover);
        content->setPreferredContentSize({400, 525});
        auto popover = content->popoverPresentationController();
        ASSERT_TRUE(popover);
        popover->setSourceView(button->superview());
        popover->setSourceRect({902.5, 20, 44, 44});  // the button moved 2.5 points right
        popover->setPermittedArrowDirections(PopoverArrowDirection::up | PopoverArrowDirection::left);
        s.take();
        root->presentViewController(content, true);
        EXPECT_EQ(s.take(), (Log{"content.loadView", "content.viewDidLoad", "content.willAppear"}))
            << "the presenter stays: no disappearance";
        s.advance(0.2);
        EXPECT_EQ(s.take(), (Log{"content.didAppear"}));
        EXPECT_EQ(popover->arrowDirection(), PopoverArrowDirection::up);
        const Rect frame = content->view()->convertRectToView(content->view()->bounds(), nullptr);
        EXPECT_EQ(frame.y, 64 + PopoverPresentationController::kArrowHeight) << "below the source, past the arrow";
        EXPECT_EQ(frame.width, 400);
        EXPECT_EQ(frame.height, 525);
        EXPECT_EQ(frame.x + frame.width, 1024 - PopoverPresentationController::kScreenMargin)
            << "pushed in from the right edge";
        EXPECT_EQ(root->view()->window(), s.window);
        // The arrow, between the source and the box, in the popover's colour.
        popover->setBackgroundColor(platform::Color{1, 0, 0, 1});
        const auto shot = s.window->snapshot();
        const double scale = shot->pixelWidth() / 1024.0;
        const auto arrow = shot->pixel(static_cast<int>(924.5 * scale), static_cast<int>(73 * scale));
        ASSERT_TRUE(arrow);
        EXPECT_EQ(arrow->red, 255);
        EXPECT_EQ(arrow->green, 0);
        const auto beside = shot->pixel(static_cast<int>(960 * scale), static_cast<int>(70 * scale));
        EXPECT_LT(beside->alpha, 40) << "nothing beside the arrow but a faint shadow";

        // Taller than the room below: with only left permitted it goes left
        // of the source, shrunk to the window's height.
        content->setPreferredContentSize({400, 900});
        popover->setPermittedArrowDirections(PopoverArrowDirection::right);
        content->setPreferredContentSize({400, 901});
        EXPECT_EQ(popover->arrowDirection(), PopoverArrowDirection::right);
        const Rect left = content->view()->convertRectToView(content->view()->bounds(), nullptr);
        EXPECT_EQ(left.x + left.width, 902.5 - PopoverPresentationController::kArrowHeight);
        EXPECT_EQ(left.height, 768 - 2 * PopoverPresentationController::kScreenMargin);

        // A tap outside dismisses, when the delegate agrees.
        auto choice = std::make_shared<PopoverChoice>();
        popover->setPopoverDelegate(choice);
        TouchSynth touches(s.window);
        touches.tap({20, 700});
        s.advance(0.5);
        EXPECT_EQ(choice->asked, 1);
        EXPECT_EQ(root->presentedViewController(), content) << "the delegate said no";
        choice->allow = true;
        touches.tap({20, 700});
        s.advance(0.5);
        EXPECT_EQ(root->presentedViewController(), nullptr);
        EXPECT_EQ(choice->dismissed, 1);
        EXPECT_EQ(s.take(), (Log{"content.willDisappear", "content.didDisappear"}));
    }
    {
        // The same popover on a phone shows as a sheet below the status
        // bar, which a drag down can dismiss; the presenter stays beneath.
        ControllerStage s(UserInterfaceIdiom::phone);
        auto root = s.make("root");
        s.window->setRootViewController(root);
        auto content = s.make("content");
        content->setModalPresentationStyle(ModalPresentationStyle::popover);
        content->setPreferredContentSize({400, 525});
        content->popoverPresentationController()->setSourceView(root->view());
        s.take();
        root->presentViewController(content, false);
        EXPECT_EQ(s.take(),
                  (Log{"content.loadView", "content.viewDidLoad", "content.willAppear", "content.didAppear"}));
        EXPECT_EQ(content->presentationController()->styleInForce(), ModalPresentationStyle::pageSheet);
        EXPECT_EQ(content->popoverPresentationController()->arrowDirection(), PopoverArrowDirection::unknown);
        EXPECT_EQ(content->view()->frame(), (Rect{0, PresentationController::kSheetTopGap, 390, 844 - 10}));
        EXPECT_EQ(root->view()->window(), s.window);
        content->dismissViewController(false);
    }
    {
        // Unless the delegate keeps it a popover.
        ControllerStage s(UserInterfaceIdiom::phone);
        auto root = s.make("root");
        s.window->setRootViewController(root);
        auto content = s.make("content");
        content->setModalPresentationStyle(ModalPresentationStyle::popover);
        content->setPreferredContentSize({225, 120});
        auto choice = std::make_shared<PopoverChoice>();
        auto popover = content->popoverPresentationController();
        popover->setPopoverDelegate(choice);
        popover->setSourceView(root->view());
        popover->setSourceRect({200, 780, 1, 1});
        root->presentViewController(content, false);
        EXPECT_EQ(popover->styleInForce(), ModalPresentationStyle::popover);
        EXPECT_EQ(popover->arrowDirection(), PopoverArrowDirection::down) << "no room below the point";
        const Rect frame = content->view()->convertRectToView(content->view()->bounds(), nullptr);
        EXPECT_EQ(frame.y + frame.height, 780 - PopoverPresentationController::kArrowHeight);
        EXPECT_EQ(root->view()->window(), s.window);
    }
}

namespace {

// Fades the presented view in over 0.5 s; a dismissal reports itself cancelled
// when told to.
class FadeAnimator : public ViewControllerAnimatedTransitioning {
public:
    explicit FadeAnimator(bool dismissing, bool cancel = false) : mDismissing(dismissing), mCancel(cancel) {}
    double transitionDuration(const ViewControllerContextTransitioning*) override { return 0.5; }
    void animateTransition(ViewControllerContextTransitioning& context) override {
        auto view = context.viewForKey(mDismissing ? TransitionKey::from : TransitionKey::to);
        if (!mDismissing) {
            context.containerView()->addSubview(view);
            view->setFrame(context.finalFrameForViewController(*context.viewControllerForKey(TransitionKey::to)));
            view->setAlpha(0);
        }
        const bool cancel = mCancel;
        View::animate(
            0.5, [&] { view->setAlpha(mDismissing ? 0 : 1); },
            [&context, cancel](bool) { context.completeTransition(!cancel); });
    }
    void animationEnded(bool completed) override { ended.push_back(completed); }
    std::vector<bool> ended;

private:
    bool mDismissing;
    bool mCancel;
};

class BottomSheet : public PresentationController {
public:
    using PresentationController::PresentationController;
    Rect frameOfPresentedViewInContainerView() const override {
        const Rect c = containerView() ? containerView()->bounds() : Rect{};
        return {0, c.height - 300, c.width, 300};
    }
    bool shouldRemovePresentersView() const override { return false; }
    bool shouldPresentInFullscreen() const override { return false; }
    void dismissalTransitionWillBegin() override { ++dismissals; }
    int dismissals = 0;
};

class Transitions : public ViewControllerTransitioningDelegate {
public:
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        ViewController&, ViewController&, ViewController&) override {
        return present;
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        ViewController&) override {
        return dismiss;
    }
    std::shared_ptr<PresentationController> presentationControllerForPresentedViewController(
        const std::shared_ptr<ViewController>& presented, const std::shared_ptr<ViewController>& presenting,
        ViewController&) override {
        sheet = std::make_shared<BottomSheet>(presented, presenting);
        return sheet;
    }
    std::shared_ptr<FadeAnimator> present = std::make_shared<FadeAnimator>(false);
    std::shared_ptr<FadeAnimator> dismiss = std::make_shared<FadeAnimator>(true);
    std::shared_ptr<BottomSheet> sheet;
};

}  // namespace

TEST(UiController, ACustomPresentationRunsItsAnimatorsOnTheClockAndACancelledDismissalKeepsItShown) {
    ControllerStage s;
    auto root = s.make("root");
    s.window->setRootViewController(root);
    auto details = s.make("details");
    auto transitions = std::make_shared<Transitions>();
    details->setModalPresentationStyle(ModalPresentationStyle::custom);
    details->setTransitioningDelegate(transitions);
    s.take();
    int alongside = 0;
    root->presentViewController(details, true);
    details->transitionCoordinator()->animateAlongsideTransition(
        nullptr, [&](ViewControllerContextTransitioning&) { ++alongside; });
    EXPECT_EQ(s.take(), (Log{"details.loadView", "details.viewDidLoad", "details.willAppear"}));
    ASSERT_TRUE(transitions->sheet);
    EXPECT_EQ(details->presentationController(), transitions->sheet);
    EXPECT_EQ(details->view()->frame(), (Rect{0, 844 - 300, 390, 300}));
    const double start = currentMediaTime();
    s.advance(0.25);
    EXPECT_NEAR(details->view()->layer()->presentationLayer(start + 0.25)->opacity(), 0.5, 0.2);
    EXPECT_EQ(alongside, 0);
    s.advance(0.25);
    EXPECT_EQ(s.take(), (Log{"details.didAppear"}));
    EXPECT_EQ(alongside, 1);
    EXPECT_EQ(transitions->present->ended, (std::vector<bool>{true}));

    transitions->dismiss = std::make_shared<FadeAnimator>(true, true);
    bool completion = false;
    details->dismissViewController(true, [&] { completion = true; });
    s.advance(0.5);
    EXPECT_EQ(s.take(), (Log{"details.willDisappear", "details.willAppear", "details.didAppear"}));
    EXPECT_FALSE(completion) << "a cancelled dismissal does not complete";
    EXPECT_EQ(root->presentedViewController(), details);
    EXPECT_EQ(transitions->dismiss->ended, (std::vector<bool>{false}));
    EXPECT_EQ(transitions->sheet->dismissals, 1);

    transitions->dismiss = std::make_shared<FadeAnimator>(true);
    details->dismissViewController(true, [&] { completion = true; });
    s.advance(0.5);
    EXPECT_TRUE(completion);
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

// A dismissal asked while a transition moves the controller is done when
// it ends; each request's completion runs once the controller has gone.
TEST(UiController, ADismissalAskedDuringATransitionIsDoneWhenItEnds) {
    struct Case {
        const char* name;
        // Presents and asks for dismissals; the clock then runs two seconds.
        std::function<void(ControllerStage&, ViewController& root, const std::shared_ptr<Transitions>& custom)> run;
        Log expected;  // the appearances (not the root's) and completions, in order
    };
    auto done = [](ControllerStage& s, const char* name) { return [&s, name] { s.log.push_back(name); }; };
    auto customSheet = [](ControllerStage& s, const std::shared_ptr<Transitions>& custom) {
        auto sheet = s.make("sheet");
        sheet->setModalPresentationStyle(ModalPresentationStyle::custom);
        sheet->setTransitioningDelegate(custom);
        return sheet;
    };
    const Case cases[] = {
        {"asked twice as it slides in",
         [&](ControllerStage& s, ViewController& root, const std::shared_ptr<Transitions>&) {
             root.presentViewController(s.make("sheet"), true, done(s, "presented"));
             s.advance(0.15);
             root.topmostPresentedViewController()->dismissViewController(true, done(s, "first"));
             root.dismissViewController(true, done(s, "second"));
         },
         {"sheet.willAppear", "sheet.didAppear", "presented", "sheet.willDisappear", "sheet.didDisappear", "first",
          "second"}},
        {"asked again as it slides out",
         [&](ControllerStage& s, ViewController& root, const std::shared_ptr<Transitions>&) {
             root.presentViewController(s.make("sheet"), false);
             root.dismissViewController(true, done(s, "first"));
             s.advance(0.15);
             root.dismissViewController(false, done(s, "second"));
         },
         {"sheet.willAppear", "sheet.didAppear", "sheet.willDisappear", "sheet.didDisappear", "first", "second"}},
        {"asked as its slide-in is called off",
         [&](ControllerStage& s, ViewController& root, const std::shared_ptr<Transitions>& custom) {
             auto sheet = customSheet(s, custom);
             custom->present = std::make_shared<FadeAnimator>(false, true);
             root.presentViewController(sheet, true, done(s, "presented"));
             s.advance(0.25);
             sheet->dismissViewController(true, done(s, "first"));
         },
         {"sheet.willAppear", "sheet.willDisappear", "sheet.didDisappear", "first"}},
        {"asked as a slide-out is called off",
         [&](ControllerStage& s, ViewController& root, const std::shared_ptr<Transitions>& custom) {
             auto sheet = customSheet(s, custom);
             root.presentViewController(sheet, false);
             custom->dismiss = std::make_shared<FadeAnimator>(true, true);
             sheet->dismissViewController(true, done(s, "cancelled"));
             s.advance(0.25);
             sheet->dismissViewController(true, done(s, "second"));
             custom->dismiss = std::make_shared<FadeAnimator>(true);
         },
         {"sheet.willAppear", "sheet.didAppear", "sheet.willDisappear", "sheet.willAppear", "sheet.didAppear",
          "sheet.willDisappear", "sheet.didDisappear", "second"}},
        {"the presenter's asked as the one above slides in",
         [&](ControllerStage& s, ViewController& root, const std::shared_ptr<Transitions>&) {
             auto below = s.make("below");
             below->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
             root.presentViewController(below, false);
             below->presentViewController(s.make("sheet"), true);
             s.advance(0.15);
             root.dismissViewController(true, done(s, "both"));
         },
         {"below.willAppear", "below.didAppear", "below.willDisappear", "sheet.willAppear", "below.didDisappear",
          "sheet.didAppear", "sheet.willDisappear", "below.willAppear", "sheet.didDisappear", "below.didAppear",
          "below.willDisappear", "below.didDisappear", "both"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerStage s;
        auto root = s.make("root");
        s.window->setRootViewController(root);
        auto custom = std::make_shared<Transitions>();
        c.run(s, *root, custom);
        s.advance(2);
        Log seen;
        for (const auto& line : s.take()) {
            if (line.rfind("root.", 0) != 0 && line.find("oad") == std::string::npos) seen.push_back(line);
        }
        EXPECT_EQ(seen, c.expected);
        EXPECT_EQ(root->presentedViewController(), nullptr);
        EXPECT_EQ(s.window->subviews(), (std::vector<std::shared_ptr<View>>{root->view()}));
    }
}

TEST(UiController, ANavigationStackPushesAndPopsWithAppearanceInOrderAndItsDoneButtonWorks) {
    ControllerStage s;
    auto first = s.make("first");
    auto second = s.make("second");
    auto third = s.make("third");
    first->setTitle("First");
    auto navigation = NavigationController::make(first);
    s.window->setRootViewController(navigation);
    s.window->layoutIfNeeded();
    EXPECT_EQ(s.take(), (Log{"first.willMoveToParent", "first.didMoveToParent", "first.loadView", "first.viewDidLoad",
                             "first.willAppear", "first.didAppear"}));
    EXPECT_EQ(first->navigationController(), navigation);
    const auto inWindow = [](const std::shared_ptr<View>& view) {
        return view->convertRectToView(view->bounds(), nullptr);
    };
    EXPECT_EQ(inWindow(first->view()).y, NavigationBar::kHeight) << "below the bar";

    navigation->pushViewController(second, true);
    EXPECT_EQ(s.take(), (Log{"second.willMoveToParent", "first.willDisappear", "second.loadView", "second.viewDidLoad",
                             "second.willAppear"}));
    s.advance(0.35);
    EXPECT_EQ(s.take(), (Log{"first.didDisappear", "second.didAppear", "second.didMoveToParent"}));
    EXPECT_EQ(navigation->navigationBar()->backButton()->currentTitle(), "First");
    EXPECT_EQ(first->view()->window(), nullptr);
    EXPECT_EQ(inWindow(second->view()), (Rect{0, NavigationBar::kHeight, 390, 844 - NavigationBar::kHeight}));

    navigation->pushViewController(third, false);
    s.take();
    const auto popped = navigation->popToRootViewController(true);
    EXPECT_EQ(popped, (std::vector<std::shared_ptr<ViewController>>{second, third}));
    s.advance(0.35);
    EXPECT_EQ(s.take(),
              (Log{"second.willMoveToNoParent", "second.didMoveToNoParent", "third.willDisappear", "first.willAppear",
                   "third.didDisappear", "first.didAppear", "third.willMoveToNoParent", "third.didMoveToNoParent"}))
        << "second never showed again; first was a child all along";
    EXPECT_EQ(navigation->viewControllers(), (std::vector<std::shared_ptr<ViewController>>{first}));

    // A Done item on the right: a tap on its button sends its action.
    auto done = std::make_shared<BarButtonItem>(BarButtonSystemItem::done);
    int taps = 0;
    done->actions().add([&](BarButtonItem&) { ++taps; });
    first->navigationItem().setRightBarButtonItem(done);
    navigation->setViewControllers({first}, false);
    navigation->view()->layoutIfNeeded();
    ASSERT_TRUE(done->view());
    const Rect frame = done->view()->convertRectToView(done->view()->bounds(), nullptr);
    EXPECT_GT(frame.x, 300);
    TouchSynth(s.window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    EXPECT_EQ(taps, 1);
}

TEST(UiController, TabsSwapTheirControllersViewsAndAppearanceAndKeepTheSelectionOnInsert) {
    ControllerStage s;
    auto a = s.make("a");
    auto b = s.make("b");
    auto c = s.make("c");
    a->tabBarItem().setTitle("Catalogue");
    const auto plain = platform::BitmapContext::createForPointSize(Size{2, 2}, 1)->makeImage();
    const auto filled = platform::BitmapContext::createForPointSize(Size{2, 2}, 1)->makeImage();
    b->tabBarItem() = TabBarItem("Layout", plain, filled);
    auto tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({a, b});
    s.window->setRootViewController(tabs);
    EXPECT_EQ(s.take(), (Log{"a.willMoveToParent", "a.didMoveToParent", "b.willMoveToParent", "b.didMoveToParent",
                             "a.loadView", "a.viewDidLoad", "a.willAppear", "a.didAppear"}));
    EXPECT_EQ(tabs->selectedIndex(), 0u);
    EXPECT_EQ(tabs->tabBar()->buttons().at(0)->currentTitle(), "Catalogue");
    EXPECT_EQ(tabs->tabBar()->buttons().at(1)->currentImage(), plain);

    s.window->layoutIfNeeded();
    const auto second = tabs->tabBar()->buttons().at(1);
    const Rect frame = second->convertRectToView(second->bounds(), nullptr);
    EXPECT_EQ(frame.y, 844 - TabBar::kHeight);
    TouchSynth(s.window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    EXPECT_EQ(s.take(),
              (Log{"a.willDisappear", "b.loadView", "b.viewDidLoad", "b.willAppear", "a.didDisappear", "b.didAppear"}));
    EXPECT_EQ(tabs->selectedViewController(), b);
    EXPECT_EQ(a->view()->window(), nullptr);
    EXPECT_EQ(tabs->tabBar()->buttons().at(1)->currentImage(), filled) << "the selected image when selected";

    tabs->setViewControllers({c, a, b});
    EXPECT_EQ(tabs->selectedIndex(), 2u) << "b stays selected";
    EXPECT_EQ(s.take(), (Log{"c.willMoveToParent", "c.didMoveToParent"}));
    tabs->setViewControllers({c, a});
    EXPECT_EQ(tabs->selectedViewController(), a) << "the same index, held to the list";
    EXPECT_EQ(s.take(), (Log{"b.willDisappear", "a.willAppear", "b.didDisappear", "a.didAppear", "b.willMoveToNoParent",
                             "b.didMoveToNoParent"}));
    EXPECT_EQ(b->parentViewController(), nullptr);
}

TEST(UiController, TurningThePhoneTellsControllersOfTheSizeThenOfTheirTraits) {
    ControllerStage s;
    auto root = s.make("root");
    auto sheet = s.make("sheet");
    sheet->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
    s.window->setRootViewController(root);
    root->presentViewController(sheet, false);
    EXPECT_EQ(root->traitCollection().horizontalSizeClass, UserInterfaceSizeClass::compact);
    EXPECT_EQ(root->traitCollection().verticalSizeClass, UserInterfaceSizeClass::regular);
    s.take();
    s.window->transitionToSize({844, 390});
    EXPECT_EQ(s.take(), (Log{"root.willTransitionTo 844", "sheet.willTransitionTo 844"}));
    EXPECT_EQ(s.window->bounds().size(), (Size{844, 390})) << "the model changes at once";
    s.advance(0.2);
    EXPECT_TRUE(s.take().empty()) << "the transition takes its 0.3 s";
    s.advance(0.1);
    EXPECT_EQ(s.take(),
              (Log{"root.sizeTransitionDone", "sheet.sizeTransitionDone", "root.traits R->C", "sheet.traits R->C"}));
    EXPECT_EQ(sheet->view()->frame(), (Rect{0, 0, 844, 390})) << "the presentation follows the window";

    // A style override on the root reaches what it presents only through the window.
    root->setOverrideUserInterfaceStyle(UserInterfaceStyle::dark);
    EXPECT_EQ(root->traitCollection().userInterfaceStyle, UserInterfaceStyle::dark);
    s.window->setUserInterfaceStyle(UserInterfaceStyle::dark);
    EXPECT_EQ(sheet->traitCollection().userInterfaceStyle, UserInterfaceStyle::dark);
}

namespace {

// One animator for both pushes and pops, told which by the stack's order,
// as the screens' transition animator is.
class Sliding : public NavigationControllerDelegate, public ViewControllerAnimatedTransitioning {
public:
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForOperation(
        NavigationController& navigation, NavigationControllerOperation, ViewController& from,
        ViewController& to) override {
        const auto stack = navigation.viewControllers();
        auto index = [&](ViewController& c) {
            for (std::size_t i = 0; i < stack.size(); ++i) {
                if (stack[i].get() == &c) return static_cast<int>(i);
            }
            return static_cast<int>(stack.size());  // left the stack: above the rest
        };
        popping = index(from) > index(to);
        return std::shared_ptr<ViewControllerAnimatedTransitioning>(self.lock(), this);
    }
    void didShowViewController(NavigationController&, ViewController& c, bool) override {
        shown.push_back(c.className());
    }
    double transitionDuration(const ViewControllerContextTransitioning*) override { return 0.5; }
    void animateTransition(ViewControllerContextTransitioning& context) override {
        auto container = context.containerView();
        auto to = context.viewForKey(TransitionKey::to);
        auto from = context.viewForKey(TransitionKey::from);
        container->addSubview(popping ? from : to);
        if (popping) container->insertSubviewBelowSubview(to, from.get());
        const Rect final = context.finalFrameForViewController(*context.viewControllerForKey(TransitionKey::to));
        to->setFrame(final);
        auto moving = popping ? from : to;
        Rect start = final;
        start.x = popping ? 0 : -final.width;
        moving->setFrame(start);
        Rect end = final;
        end.x = popping ? -final.width : 0;
        View::animate(
            0.5, [&] { moving->setFrame(end); },
            [&context](bool) { context.completeTransition(!context.transitionWasCancelled()); });
    }
    std::weak_ptr<Sliding> self;
    bool popping = false;
    std::vector<std::string> shown;
};

class Measured : public Logged {
public:
    using Logged::Logged;
    void viewWillLayoutSubviews() override { note("willLayout"); }
    void viewDidLayoutSubviews() override { note("didLayout"); }
    StatusBarStyle preferredStatusBarStyle() const override { return StatusBarStyle::lightContent; }
};

}  // namespace

TEST(UiController, ANavigationDelegatesAnimatorSlidesPushesAndPopsOnTheClock) {
    ControllerStage s;
    auto first = s.make("first");
    auto second = s.make("second");
    auto sliding = std::make_shared<Sliding>();
    sliding->self = sliding;
    auto navigation = NavigationController::make(first);
    navigation->setDelegate(sliding);
    s.window->setRootViewController(navigation);
    s.window->layoutIfNeeded();
    navigation->pushViewController(second, true);
    EXPECT_FALSE(sliding->popping);
    const double start = currentMediaTime();
    s.advance(0.25);
    const double x = second->view()->layer()->presentationLayer(start + 0.25)->position().x;
    EXPECT_GT(x, -195);
    EXPECT_LT(x, 195) << "on its way in from the left";
    EXPECT_EQ(second->appearanceState(), AppearanceState::appearing);
    s.advance(0.25);
    EXPECT_EQ(second->appearanceState(), AppearanceState::appeared);
    EXPECT_EQ(first->appearanceState(), AppearanceState::disappeared);

    s.take();
    EXPECT_EQ(navigation->popViewController(true), second);
    EXPECT_TRUE(sliding->popping) << "second was above first";
    s.advance(0.5);
    EXPECT_EQ(s.take(), (Log{"second.willDisappear", "first.willAppear", "second.didDisappear", "first.didAppear",
                             "second.willMoveToNoParent", "second.didMoveToNoParent"}));
    EXPECT_EQ(sliding->shown, (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(second->parentViewController(), nullptr);

    // A stack not yet shown keeps its children to the stack too.
    auto unseen = NavigationController::make(s.make("a"));
    auto b = s.make("b");
    unseen->pushViewController(b, true);
    EXPECT_EQ(unseen->popViewController(true), b);
    EXPECT_EQ(b->parentViewController(), nullptr);
    EXPECT_EQ(unseen->childViewControllers().size(), 1u);
    EXPECT_FALSE(b->isViewLoaded());
}

TEST(UiController, AFormSheetCentresOnATabletAndLayoutAndStatusBarCallsFollowThePresentation) {
    ControllerStage s(UserInterfaceIdiom::tablet, {1024, 768});
    s.window->makeKeyAndVisible();
    auto root = s.make("root");
    s.window->setRootViewController(root);
    auto form = std::make_shared<Measured>(s.log, "form");
    form->setModalPresentationStyle(ModalPresentationStyle::formSheet);
    form->setPreferredContentSize({600, 435});
    Application::sharedApplication().setStatusBarStyle(StatusBarStyle::defaultStyle);
    s.take();
    root->presentViewController(form, false);
    EXPECT_EQ(form->view()->frame(), (Rect{212, 166.5, 600, 435}));
    EXPECT_EQ(root->view()->window(), s.window) << "a form sheet leaves the presenter";
    EXPECT_EQ(Application::sharedApplication().statusBarStyle(), StatusBarStyle::defaultStyle)
        << "a form sheet does not cover the screen";
    s.window->layoutIfNeeded();
    EXPECT_EQ(s.take(), (Log{"form.loadView", "form.viewDidLoad", "form.willAppear", "form.didAppear",
                             "form.willLayout", "form.didLayout"}));
    form->dismissViewController(false);

    // Full screen speaks for the status bar.
    auto cover = std::make_shared<Measured>(s.log, "cover");
    root->presentViewController(cover, false);
    EXPECT_EQ(Application::sharedApplication().statusBarStyle(), StatusBarStyle::lightContent);
    cover->dismissViewController(false);
    EXPECT_EQ(Application::sharedApplication().statusBarStyle(), StatusBarStyle::defaultStyle);
    s.window->setRootViewController(nullptr);
}

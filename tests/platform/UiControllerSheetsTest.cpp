// Alerts tapped by title, the share sheet, document picker and review
// recorders driven as a test would, page view controllers turning by swipe,
// the blurred backdrop of a visual effect view, sheets that dim and follow
// a drag down, popovers edged and shadowed, the share sheet's copy and
// save, and the document picker's folders walked and files picked by taps.

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/PageControl.h"
#include "platform/ui/controllers/PageViewController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/VisualEffectView.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "tests/support/PixelCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using platform::Color;
using platform::Rect;
using platform::Size;
using namespace platform::ui;

namespace {

struct Stage {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window;
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();

    explicit Stage(UserInterfaceIdiom idiom = UserInterfaceIdiom::phone) {
        Device::currentDevice().setUserInterfaceIdiom(idiom);
        window =
            std::make_shared<Window>(idiom == UserInterfaceIdiom::phone ? Rect{0, 0, 390, 844} : Rect{0, 0, 1024, 768});
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~Stage() {
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
        window->setRootViewController(nullptr);
    }
    void advance(double seconds) {
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
};

}  // namespace

TEST(UiControllerSheets, AnAlertRunsTheTappedActionOnceItHasGoneAndOnlyOnce) {
    Stage s;
    std::vector<std::string> ran;
    auto alert = std::make_shared<AlertController>("Import", "Please select a file", AlertControllerStyle::alert);
    alert->addAction(std::make_shared<AlertAction>("OK", AlertActionStyle::defaultStyle, [&](AlertAction& a) {
        ran.push_back(a.title());
        EXPECT_TRUE(AlertController::presentedAlerts().empty()) << "gone before the handler";
    }));
    alert->addAction(std::make_shared<AlertAction>("Cancel", AlertActionStyle::cancel,
                                                   [&](AlertAction& a) { ran.push_back(a.title()); }));
    EXPECT_FALSE(alert->tapActionWithTitle("OK")) << "not shown yet";
    s.root->presentViewController(alert, true);
    EXPECT_EQ(s.root->view()->window(), s.window) << "the screen stays beneath the dimming";
    s.advance(0.3);
    ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(AlertController::presentedAlerts()[0]->title(), "Import");

    EXPECT_FALSE(alert->tapActionWithTitle("Nope"));
    EXPECT_TRUE(alert->tapActionWithTitle("OK"));
    EXPECT_FALSE(alert->tapActionWithTitle("Cancel")) << "already on its way out";
    EXPECT_TRUE(ran.empty());
    s.advance(0.3);
    EXPECT_EQ(ran, (std::vector<std::string>{"OK"}));
    EXPECT_EQ(s.root->presentedViewController(), nullptr);

    // A finger on the button does the same.
    auto again = std::make_shared<AlertController>("Again", "", AlertControllerStyle::alert);
    again->addAction(std::make_shared<AlertAction>("Cancel", AlertActionStyle::cancel,
                                                   [&](AlertAction& a) { ran.push_back(a.title()); }));
    s.root->presentViewController(again, false);
    s.window->layoutIfNeeded();
    const auto button = again->view()->findViewWithAccessibilityIdentifier("Cancel");
    ASSERT_TRUE(button);
    const Rect frame = button->convertRectToView(button->bounds(), nullptr);
    EXPECT_NEAR(frame.x + frame.width / 2, 195, 0.5) << "centred";
    TouchSynth(s.window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    s.advance(0.3);
    EXPECT_EQ(ran, (std::vector<std::string>{"OK", "Cancel"}));
}

TEST(UiControllerSheets, AnActionSheetIsAPopoverOnATabletAndASheetOnAPhone) {
    {
        Stage s(UserInterfaceIdiom::tablet);
        auto button = std::make_shared<View>(Rect{500, 700, 40, 40});
        s.root->view()->addSubview(button);
        auto sheet = std::make_shared<AlertController>("", "", AlertControllerStyle::actionSheet);
        sheet->addAction(std::make_shared<AlertAction>("Fit", AlertActionStyle::defaultStyle));
        sheet->addAction(std::make_shared<AlertAction>("Delete", AlertActionStyle::destructive));
        ASSERT_TRUE(sheet->popoverPresentationController());
        sheet->popoverPresentationController()->setSourceView(button);
        sheet->popoverPresentationController()->setPermittedArrowDirections(PopoverArrowDirection::down);
        s.root->presentViewController(sheet, false);
        EXPECT_EQ(sheet->popoverPresentationController()->arrowDirection(), PopoverArrowDirection::down);
        EXPECT_EQ(sheet->view()->frame().height, 2 * AlertController::kButtonHeight);
        sheet->dismissViewController(false);
    }
    {
        Stage s(UserInterfaceIdiom::phone);
        auto sheet = std::make_shared<AlertController>("", "", AlertControllerStyle::actionSheet);
        sheet->addAction(std::make_shared<AlertAction>("Fit", AlertActionStyle::defaultStyle));
        EXPECT_EQ(sheet->popoverPresentationController(), nullptr);
        s.root->presentViewController(sheet, false);
        s.window->layoutIfNeeded();
        const auto fit = sheet->view()->findViewWithAccessibilityIdentifier("Fit");
        const Rect frame = fit->convertRectToView(fit->bounds(), nullptr);
        EXPECT_EQ(frame.y + frame.height, 844 - 8) << "at the bottom";
    }
}

TEST(UiControllerSheets, ATapBesideAPhonesSheetClosesItAsItsCancelWouldButAnAlertStays) {
    Stage s(UserInterfaceIdiom::phone);
    std::vector<std::string> ran;
    const auto note = [&](AlertAction& a) { ran.push_back(a.title()); };
    const auto present = [&](AlertControllerStyle style, bool withCancel) {
        auto shown = std::make_shared<AlertController>("", "", style);
        shown->addAction(std::make_shared<AlertAction>("Fit", AlertActionStyle::defaultStyle, note));
        if (withCancel) shown->addAction(std::make_shared<AlertAction>("Cancel", AlertActionStyle::cancel, note));
        s.root->presentViewController(shown, true);
        s.advance(0.5);
        s.window->layoutIfNeeded();
        return shown;
    };
    const platform::Point beside{195, 100};  // high above a sheet at the bottom, beside an alert's box

    // Without a cancel action: gone, nothing run; shown again, gone again.
    for (int round = 0; round < 2; ++round) {
        present(AlertControllerStyle::actionSheet, false);
        ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
        TouchSynth(s.window).tap(beside);
        s.advance(0.5);
        EXPECT_TRUE(AlertController::presentedAlerts().empty()) << "round " << round;
    }
    EXPECT_TRUE(ran.empty());

    // With one: it runs, once, after the sheet has gone.
    present(AlertControllerStyle::actionSheet, true);
    TouchSynth(s.window).tap(beside);
    TouchSynth(s.window).tap(beside);
    s.advance(0.5);
    EXPECT_TRUE(AlertController::presentedAlerts().empty());
    EXPECT_EQ(ran, (std::vector<std::string>{"Cancel"}));

    // A row of the sheet still runs its own action.
    auto sheet = present(AlertControllerStyle::actionSheet, true);
    const auto fit = sheet->view()->findViewWithAccessibilityIdentifier("Fit");
    ASSERT_TRUE(fit);
    const Rect frame = fit->convertRectToView(fit->bounds(), nullptr);
    TouchSynth(s.window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    s.advance(0.5);
    EXPECT_EQ(ran, (std::vector<std::string>{"Cancel", "Fit"}));

    // An alert must be answered.
    auto alert = present(AlertControllerStyle::alert, true);
    TouchSynth(s.window).tap(beside);
    s.advance(0.5);
    EXPECT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(ran.size(), 2u);
    alert->dismissViewController(false);
}

namespace {

class Picked : public DocumentPickerDelegate {
public:
    void documentPickerDidPickDocumentsAtURLs(DocumentPickerViewController&,
                                              const std::vector<std::string>& picked) override {
        urls = picked;
    }
    void documentPickerWasCancelled(DocumentPickerViewController&) override { ++cancelled; }
    std::vector<std::string> urls;
    int cancelled = 0;
};

}  // namespace

TEST(UiControllerSheets, TheShareSheetAndDocumentPickerRecordWhatTheAppAskedAndTellItWhatTheTestChose) {
    Stage s(UserInterfaceIdiom::tablet);
    auto shareButton = std::make_shared<View>(Rect{900, 10, 44, 44});
    s.root->view()->addSubview(shareButton);
    auto image =
        std::make_shared<ActivityViewController>(std::vector<ActivityItem>{{"", nullptr, "file:///a.png", ""}});
    image->setExcludedActivityTypes({activity::kAssignToContact, activity::kSaveToCameraRoll});
    std::vector<std::string> heard;
    image->setCompletionWithItemsHandler([&](std::optional<std::string> kind, bool completed) {
        heard.push_back(kind.value_or("none") + (completed ? " done" : " not done"));
    });
    image->setModalPresentationStyle(ModalPresentationStyle::popover);
    image->popoverPresentationController()->setSourceView(shareButton->superview());
    image->popoverPresentationController()->setSourceRect(shareButton->frame());
    s.root->presentViewController(image, true);
    s.advance(0.2);

    const auto shown = presentedControllers<ActivityViewController>();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->activityItems().at(0).url, "file:///a.png");
    EXPECT_EQ(shown[0]->popoverPresentationController()->sourceRect(), (Rect{900, 10, 44, 44}));
    EXPECT_FALSE(image->complete(std::string(activity::kSaveToCameraRoll))) << "excluded";
    EXPECT_TRUE(image->complete(std::string(activity::kMail), true));
    EXPECT_TRUE(heard.empty());
    s.advance(0.2);
    EXPECT_EQ(heard, (std::vector<std::string>{"mail done"}));
    EXPECT_TRUE(presentedControllers<ActivityViewController>().empty());

    auto picked = std::make_shared<Picked>();
    auto picker = std::make_shared<DocumentPickerViewController>(std::vector<std::string>{"org.vekmont.layout"}, true);
    picker->setDelegate(picked);
    s.root->presentViewController(picker, false);
    EXPECT_EQ(presentedControllers<DocumentPickerViewController>().at(0)->contentTypes().at(0), "org.vekmont.layout");
    EXPECT_FALSE(picker->pick({"file:///x.layout", "file:///y.layout"})) << "one file unless several are allowed";
    EXPECT_TRUE(picker->pick({"file:///x.layout"}));
    s.advance(0.3);
    EXPECT_EQ(picked->urls, (std::vector<std::string>{"file:///x.layout"}));
    s.root->presentViewController(picker, false);
    picker->cancel();
    s.advance(0.3);
    EXPECT_EQ(picked->cancelled, 1);

    StoreReviewController::resetRequestCount();
    StoreReviewController::requestReview();
    EXPECT_EQ(StoreReviewController::requestCount(), 1);
}

namespace {

class Pages : public PageViewControllerDataSource, public PageViewControllerDelegate {
public:
    explicit Pages(int count) {
        for (int i = 0; i < count; ++i) pages.push_back(std::make_shared<ViewController>());
    }
    int indexOf(ViewController& c) const {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (pages[i].get() == &c) return static_cast<int>(i);
        }
        return -1;
    }
    std::shared_ptr<ViewController> viewControllerBefore(PageViewController&, ViewController& c) override {
        const int i = indexOf(c);
        return i > 0 ? pages[static_cast<std::size_t>(i - 1)] : nullptr;
    }
    std::shared_ptr<ViewController> viewControllerAfter(PageViewController&, ViewController& c) override {
        const int i = indexOf(c);
        return i >= 0 && i + 1 < static_cast<int>(pages.size()) ? pages[static_cast<std::size_t>(i + 1)] : nullptr;
    }
    int presentationCount(PageViewController&) override {
        return pages.size() == 1 ? 0 : static_cast<int>(pages.size());
    }
    int presentationIndex(PageViewController& p) override {
        return p.viewControllers().empty() ? 0 : indexOf(*p.viewControllers()[0]);
    }
    void didFinishAnimating(PageViewController&, bool, const std::vector<std::shared_ptr<ViewController>>& previous,
                            bool completed) override {
        finished.push_back(completed && previous.size() == 1 ? indexOf(*previous[0]) : -1);
    }
    std::vector<std::shared_ptr<ViewController>> pages;
    std::vector<int> finished;
};

}  // namespace

TEST(UiControllerSheets, PagesTurnBySwipeWithinTheDataSourceAndThePageControlFollows) {
    Stage s;
    auto source = std::make_shared<Pages>(3);
    auto pager = std::make_shared<PageViewController>();
    pager->setDataSource(source);
    pager->setDelegate(source);
    // Set from the last to the first, as the description pages are.
    for (int i = 2; i >= 0; --i) {
        pager->setViewControllers({source->pages[static_cast<std::size_t>(i)]},
                                  PageViewControllerNavigationDirection::forward, false);
    }
    s.window->setRootViewController(pager);
    s.window->layoutIfNeeded();
    EXPECT_EQ(pager->viewControllers().at(0), source->pages[0]);
    EXPECT_EQ(source->pages[0]->appearanceState(), AppearanceState::appeared);
    EXPECT_EQ(pager->childViewControllers().size(), 1u) << "the pages set before went";
    ASSERT_TRUE(pager->pageControl());
    EXPECT_FALSE(pager->pageControl()->isHidden());
    EXPECT_EQ(pager->pageControl()->numberOfPages(), 3);

    TouchSynth touches(s.window);
    touches.swipe({300, 400}, {100, 400});  // to the left: the next page
    s.advance(0.4);
    EXPECT_EQ(pager->viewControllers().at(0), source->pages[1]);
    EXPECT_EQ(source->pages[0]->appearanceState(), AppearanceState::disappeared);
    EXPECT_EQ(source->pages[1]->appearanceState(), AppearanceState::appeared);
    EXPECT_EQ(pager->pageControl()->currentPage(), 1);
    EXPECT_EQ(source->finished, (std::vector<int>{0}));

    EXPECT_TRUE(pager->showNextPage());
    s.advance(0.4);
    EXPECT_FALSE(pager->showNextPage()) << "no page after the last";
    touches.swipe({100, 400}, {300, 400});  // to the right: back one
    s.advance(0.4);
    EXPECT_EQ(pager->viewControllers().at(0), source->pages[1]);
    EXPECT_EQ(pager->pageControl()->currentPage(), 1);

    auto single = std::make_shared<Pages>(1);
    pager->setDataSource(single);
    EXPECT_TRUE(pager->pageControl()->isHidden()) << "one page shows no indicator";
}

TEST(UiControllerSheets, AVisualEffectViewBlursWhatLiesBeneathOnceAndNotWhatIsAbove) {
    Stage s;
    s.root->view()->setBackgroundColor(Color{1, 1, 1, 1});
    auto black = std::make_shared<View>(Rect{0, 0, 195, 844});  // the left half black
    black->setBackgroundColor(Color{0, 0, 0, 1});
    s.root->view()->addSubview(black);
    auto effect = std::make_shared<VisualEffectView>(BlurEffectStyle::light, Rect{0, 0, 390, 844});
    auto above = std::make_shared<View>(Rect{0, 0, 390, 844});
    above->setBackgroundColor(Color{1, 0, 0, 1});
    above->setHidden(false);
    s.root->view()->addSubview(effect);
    s.root->view()->addSubview(above);
    EXPECT_EQ(effect->backdropRenderCount(), 0) << "drawn on the next turn";
    s.advance(0.01);
    EXPECT_EQ(effect->backdropRenderCount(), 1);
    const auto backdrop = effect->layer()->contents();
    ASSERT_TRUE(backdrop);
    // Blurred at fewer pixels, kept at the screen's, so that a frame copies
    // it rather than stretching it again.
    EXPECT_EQ(backdrop->pixelWidth(), 390 * 2);
    const double scale = backdrop->pixelWidth() / 390.0;
    EXPECT_EQ(backdrop->pixelHeight(), static_cast<int>(844 * scale));
    const auto px = [&](int x) {
        return backdrop->pixel(static_cast<int>(x * scale), static_cast<int>(400 * scale))->red;
    };
    EXPECT_LT(px(20), 100) << "black far left, under a light tint";
    EXPECT_GT(px(370), 240) << "white far right";
    EXPECT_GT(px(195), px(20) + 40) << "the edge blurred";
    EXPECT_LT(px(195), px(370) - 40);
    const auto right = *backdrop->pixel(static_cast<int>(370 * scale), static_cast<int>(400 * scale));
    EXPECT_EQ(right.green, right.red) << "nothing of the red view above";

    for (int frame = 0; frame < 10; ++frame) {
        s.window->snapshot();
        s.advance(1.0 / 60);
    }
    EXPECT_EQ(effect->backdropRenderCount(), 1) << "not per frame";
    effect->setFrame({0, 0, 390, 400});
    s.window->layoutIfNeeded();
    s.advance(0.01);
    EXPECT_EQ(effect->backdropRenderCount(), 2) << "again for a new size";
}

namespace {

class SheetChoice : public AdaptivePresentationControllerDelegate {
public:
    bool presentationControllerShouldDismiss(PresentationController&) override {
        ++asked;
        return allow;
    }
    void presentationControllerDidDismiss(PresentationController&) override { ++dismissed; }
    bool allow = true;
    int asked = 0;
    int dismissed = 0;
};

std::shared_ptr<ViewController> whiteContent() {
    auto content = std::make_shared<ViewController>();
    content->view()->setBackgroundColor(Color{1, 1, 1, 1});
    return content;
}

int redAt(const platform::Image& shot, double x, double y) {
    const double scale = shot.pixelWidth() / 390.0;
    return shot.pixel(static_cast<int>(x * scale), static_cast<int>(y * scale))->red;
}

}  // namespace

TEST(UiControllerSheets, APopoverOnAPhoneIsADimmedSheetThatADragDownDismissesAndAShortOneLeaves) {
    Stage s;
    s.root->view()->setBackgroundColor(Color{1, 1, 1, 1});
    auto content = whiteContent();
    content->setModalPresentationStyle(ModalPresentationStyle::popover);
    content->popoverPresentationController()->setSourceView(s.root->view());
    auto choice = std::make_shared<SheetChoice>();
    content->popoverPresentationController()->setDelegate(choice);
    s.root->presentViewController(content, true);
    s.advance(0.5);
    const auto presentation = content->presentationController();
    EXPECT_EQ(presentation->styleInForce(), ModalPresentationStyle::pageSheet);
    EXPECT_EQ(content->view()->frame(), (Rect{0, 10, 390, 834}));
    EXPECT_EQ(s.root->view()->window(), s.window) << "the screen stays beneath";
    ASSERT_TRUE(presentation->dimmingView());
    const auto shot = s.window->snapshot();
    EXPECT_NEAR(redAt(*shot, 195, 5), 255 * (1 - PresentationController::kDimmingAlpha), 3) << "dimmed above";
    EXPECT_EQ(redAt(*shot, 195, 400), 255) << "the sheet itself";

    TouchSynth touches(s.window);
    // A short, slow drag: the sheet follows, then springs back.
    const auto finger = touches.touchDown({195, 200});
    for (int y = 210; y <= 260; y += 10) {
        touches.wait(TouchSynth::kFrame * 4);
        touches.move({finger}, {{195, static_cast<double>(y)}});
    }
    EXPECT_EQ(content->view()->frame().y, 70) << "follows the finger";
    touches.wait(0.3);
    touches.lift({finger});
    s.advance(0.5);
    EXPECT_EQ(s.root->presentedViewController(), content);
    EXPECT_EQ(content->view()->frame().y, 10) << "sprung back";
    EXPECT_EQ(choice->asked, 0);

    // Upwards nothing moves.
    touches.pan({{195, 400}, {195, 200}}, 0.5);
    s.advance(0.5);
    EXPECT_EQ(content->view()->frame().y, 10);

    // Far down, but the delegate says no.
    choice->allow = false;
    touches.pan({{195, 200}, {195, 700}}, 1);
    s.advance(0.5);
    EXPECT_EQ(choice->asked, 1);
    EXPECT_EQ(s.root->presentedViewController(), content);
    EXPECT_EQ(content->view()->frame().y, 10);

    // Far down, but the sheet is modal: not even the delegate is asked.
    choice->allow = true;
    content->setModalInPresentation(true);
    touches.pan({{195, 200}, {195, 700}}, 1);
    s.advance(0.5);
    EXPECT_EQ(choice->asked, 1);
    EXPECT_EQ(s.root->presentedViewController(), content);
    EXPECT_EQ(content->view()->frame().y, 10);
    content->setModalInPresentation(false);

    // Far down (past a third of its height, slowly): gone, and the delegate hears.
    touches.pan({{195, 200}, {195, 500}}, 1);
    s.advance(0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(choice->dismissed, 1);
    EXPECT_EQ(redAt(*s.window->snapshot(), 195, 5), 255) << "the dimming went with it";

    // A quick flick a little way down dismisses too.
    s.root->presentViewController(content, true);
    s.advance(0.5);
    touches.swipe({195, 200}, {195, 330});
    s.advance(0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(choice->dismissed, 2);
}

TEST(UiControllerSheets, AFormSheetOnATabletIsDimmedBehindTakesNoTapOutsideAndFollowsADragDown) {
    Stage s(UserInterfaceIdiom::tablet);
    s.root->view()->setBackgroundColor(Color{1, 1, 1, 1});
    int tapped = 0;
    auto button = std::make_shared<Button>(ButtonType::system, Rect{0, 0, 200, 100});
    button->addAction([&](Control&) { ++tapped; }, ControlEvents::touchUpInside);
    s.root->view()->addSubview(button);
    auto form = whiteContent();
    form->setModalPresentationStyle(ModalPresentationStyle::formSheet);
    form->setPreferredContentSize({400, 300});
    s.root->presentViewController(form, true);
    s.advance(0.5);
    EXPECT_EQ(form->presentationController()->styleInForce(), ModalPresentationStyle::formSheet);
    const auto shot = s.window->snapshot();
    const double scale = shot->pixelWidth() / 1024.0;
    EXPECT_NEAR(shot->pixel(static_cast<int>(500 * scale), static_cast<int>(150 * scale))->red,
                255 * (1 - PresentationController::kDimmingAlpha), 3)
        << "dimmed behind";
    TouchSynth touches(s.window);
    touches.tap({50, 50});
    s.advance(0.5);
    EXPECT_EQ(tapped, 0) << "the screen behind takes no tap";
    EXPECT_EQ(s.root->presentedViewController(), form) << "nor does a tap outside dismiss it";
    const Rect frame = form->view()->frame();
    touches.pan({{512, frame.y + 20}, {512, frame.y + 220}}, 1);
    s.advance(0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
}

TEST(UiControllerSheets, APopoverHasAHairlineEdgeAndAShadowOverAWhiteScreen) {
    Stage s(UserInterfaceIdiom::tablet);
    platform::ui::Screen::mainScreen()->setScale(2);
    s.root->view()->setBackgroundColor(Color{1, 1, 1, 1});
    auto source = std::make_shared<View>(Rect{500, 100, 40, 40});
    s.root->view()->addSubview(source);
    auto content = whiteContent();
    content->setModalPresentationStyle(ModalPresentationStyle::popover);
    content->setPreferredContentSize({300, 200});
    content->popoverPresentationController()->setSourceView(source);
    content->popoverPresentationController()->setPermittedArrowDirections(PopoverArrowDirection::up);
    s.root->presentViewController(content, false);
    s.window->layoutIfNeeded();
    const Rect box = content->view()->convertRectToView(content->view()->bounds(), nullptr);
    ASSERT_EQ(box.y, 140 + PopoverPresentationController::kArrowHeight);
    const auto shot = s.window->snapshot();
    const auto red = [&](double x, double y) {
        return shot->pixel(static_cast<int>(x * 2), static_cast<int>(y * 2))->red;
    };
    EXPECT_EQ(red(box.x + 150, box.y + 100), 255) << "inside";
    EXPECT_LT(red(box.x - 0.25, box.y + 100), 235) << "an edge on the left";
    EXPECT_LT(red(box.x + 150, box.maxY() + 0.25), 235) << "and at the bottom";
    EXPECT_LT(red(box.x + 150, box.maxY() + 6), 250) << "a shadow beneath";
    EXPECT_EQ(red(box.x + 150, box.maxY() + 60), 255) << "nothing further away";
    EXPECT_EQ(red(520, 140 + PopoverPresentationController::kArrowHeight / 2 + 2), 255) << "the arrow's inside";
    EXPECT_LT(red(520 - PopoverPresentationController::kArrowBase / 4 - 0.5,
                  140 + PopoverPresentationController::kArrowHeight / 2),
              250)
        << "its edge";
}

namespace {

std::shared_ptr<platform::Image> plainImage(int width, int height) {
    std::vector<platform::Pixel> pixels(static_cast<std::size_t>(width * height), platform::Pixel{255, 0, 0, 255});
    return platform::Image::fromPixels(width, height, pixels);
}

struct Outcome {
    std::vector<std::string> heard;
    ActivityViewController::Completion completion() {
        return [this](std::optional<std::string> kind, bool completed) {
            heard.push_back(kind.value_or("none") + (completed ? " done" : " not done"));
        };
    }
};

void tapIdentified(Stage& s, ViewController& controller, const std::string& identifier) {
    s.window->layoutIfNeeded();
    const auto view = controller.view()->findViewWithAccessibilityIdentifier(identifier);
    ASSERT_TRUE(view) << identifier;
    const Rect frame = view->convertRectToView(view->bounds(), nullptr);
    TouchSynth(s.window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    s.advance(0.5);
}

// Runs the main loop until the sheet's save has ended.
void waitForSave(const ActivityViewController& sheet) {
    EXPECT_TRUE(platform::RunLoop::main()->runUntil(
        [&] { return sheet.statusText() != ActivityViewController::kSavingStatus; }, std::chrono::seconds(10)));
}

}  // namespace

TEST(UiControllerSheets, TheShareSheetCopiesOrSavesUnderAFreeNameAndReportsOnceHoweverItCloses) {
    namespace fs = std::filesystem;
    Stage s(UserInterfaceIdiom::tablet);
    auto source = std::make_shared<View>(Rect{900, 10, 44, 44});
    s.root->view()->addSubview(source);
    const auto picture = plainImage(30, 20);
    Outcome outcome;
    const auto present = [&] {
        auto sheet =
            std::make_shared<ActivityViewController>(std::vector<ActivityItem>{{"", picture, "", "Green Valley/../x"}});
        sheet->setExcludedActivityTypes({activity::kSaveToCameraRoll});
        sheet->setCompletionWithItemsHandler(outcome.completion());
        sheet->setModalPresentationStyle(ModalPresentationStyle::popover);
        sheet->popoverPresentationController()->setSourceView(source);
        s.root->presentViewController(sheet, true);
        s.advance(0.5);
        return sheet;
    };

    // Copy: on the pasteboard, the sheet says so long enough to be read
    // (doing nothing more meanwhile), then goes.
    auto sheet = present();
    EXPECT_EQ(sheet->offeredActivityTypes(),
              (std::vector<std::string>{activity::kCopyToPasteboard, activity::kSaveToFiles}));
    Pasteboard::generalPasteboard().setString("before");
    tapIdentified(s, *sheet, activity::kCopyToPasteboard);  // and 0.5 s
    EXPECT_EQ(Pasteboard::generalPasteboard().image(), picture);
    EXPECT_FALSE(Pasteboard::generalPasteboard().hasStrings());
    EXPECT_EQ(sheet->statusText(), "Copied");
    const auto bar = std::dynamic_pointer_cast<Button>(sheet->view()->findViewWithAccessibilityIdentifier("cancel"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->currentTitle(), "Done");
    const auto save =
        std::dynamic_pointer_cast<Button>(sheet->view()->findViewWithAccessibilityIdentifier(activity::kSaveToFiles));
    ASSERT_NE(save, nullptr);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(sheet->perform(activity::kSaveToFiles)) << "closing";
    s.advance(ActivityViewController::kCopiedShowTime - 0.5 - 0.1);
    EXPECT_EQ(s.root->presentedViewController(), sheet) << "still saying it";
    EXPECT_TRUE(outcome.heard.empty());
    s.advance(0.1 + 0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(outcome.heard, (std::vector<std::string>{"copyToPasteboard done"}));

    // Save: a PNG in the documents folder under the name, which stays to say
    // where; the next save takes the next free name, passing over one there.
    const fs::path documents = platform::Paths::documents();
    const fs::path first = documents / "Green Valley .. x.png";
    ASSERT_FALSE(fs::exists(first));
    std::ofstream(documents / "Green Valley .. x 2.png") << "not mine";
    sheet = present();
    tapIdentified(s, *sheet, activity::kSaveToFiles);
    waitForSave(*sheet);
    ASSERT_TRUE(fs::exists(first));
    const auto saved = platform::Image::fromFile(first);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->pixelWidth(), 30);
    EXPECT_EQ(saved->pixel(3, 3)->red, 255);
    EXPECT_EQ(sheet->statusText(), "Saved to " + first.string());
    EXPECT_EQ(s.root->presentedViewController(), sheet) << "still shown, saying where";
    // The picture is encoded and written off the main thread: the line
    // says so until the main loop hears, and a second save waits its turn.
    EXPECT_TRUE(sheet->perform(activity::kSaveToFiles));
    EXPECT_EQ(sheet->statusText(), ActivityViewController::kSavingStatus);
    EXPECT_FALSE(sheet->perform(activity::kSaveToFiles)) << "one at a time";
    waitForSave(*sheet);
    EXPECT_EQ(sheet->statusText(), "Saved to " + (documents / "Green Valley .. x 3.png").string());
    EXPECT_TRUE(fs::exists(documents / "Green Valley .. x 3.png"));
    EXPECT_FALSE(fs::exists(documents / "Green Valley .. x 4.png"));
    std::string kept;
    std::getline(std::ifstream(documents / "Green Valley .. x 2.png"), kept);
    EXPECT_EQ(kept, "not mine") << "not overwritten";
    EXPECT_EQ(outcome.heard.size(), 1u) << "nothing until it closes";
    // A tap outside closes it: the save is reported, once.
    TouchSynth(s.window).tap({20, 700});
    s.advance(0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(outcome.heard, (std::vector<std::string>{"copyToPasteboard done", "saveToFiles done"}));

    // Closed while saving: heard once the save has ended, with the save.
    sheet = present();
    EXPECT_TRUE(sheet->perform(activity::kSaveToFiles));
    sheet->dismissViewController(false);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(outcome.heard.size(), 2u) << "not before the save has ended";
    waitForSave(*sheet);
    EXPECT_TRUE(fs::exists(documents / "Green Valley .. x 4.png"));

    // A save that fails says where it could not, and nothing was done.
    fs::remove_all(documents);
    std::ofstream(documents) << "not a folder";
    sheet = present();
    EXPECT_TRUE(sheet->perform(activity::kSaveToFiles));
    waitForSave(*sheet);
    EXPECT_EQ(sheet->statusText(), "Could not save the image in " + documents.string());
    fs::remove(documents);
    fs::create_directories(documents);

    // Cancel, or a dismissal from elsewhere (a key): cancelled.
    tapIdentified(s, *sheet, "cancel");
    sheet = present();
    s.root->topmostPresentedViewController()->dismissViewController(true);
    s.advance(0.5);
    EXPECT_EQ(outcome.heard, (std::vector<std::string>{"copyToPasteboard done", "saveToFiles done", "saveToFiles done",
                                                       "none not done", "none not done"}));

    // Excluded: not offered.
    sheet = std::make_shared<ActivityViewController>(std::vector<ActivityItem>{{"", picture, "", "x"}});
    sheet->setExcludedActivityTypes({activity::kSaveToFiles});
    EXPECT_EQ(sheet->offeredActivityTypes(), (std::vector<std::string>{activity::kCopyToPasteboard}));
    EXPECT_FALSE(sheet->perform(activity::kSaveToFiles));
}

// A sheet shown while its picture is still being made says so and does
// nothing with the stand-in; the picture, when it comes, can be copied;
// items that could not be made leave only closing.
TEST(UiControllerSheets, AShareSheetShownBeforeItsPictureSaysSoUntilItComes) {
    Stage s(UserInterfaceIdiom::phone);
    const auto picture = plainImage(30, 20);
    Outcome outcome;
    const auto present = [&] {
        auto sheet = std::make_shared<ActivityViewController>(std::vector<ActivityItem>{{"", nullptr, "", "Plan"}});
        sheet->setExcludedActivityTypes({activity::kSaveToCameraRoll});
        sheet->setCompletionWithItemsHandler(outcome.completion());
        sheet->waitForItems("Drawing the picture…");
        s.root->presentViewController(sheet, true);
        s.advance(0.5);
        return sheet;
    };
    const auto button = [](ActivityViewController& sheet, const std::string& identifier) {
        return std::dynamic_pointer_cast<Button>(sheet.view()->findViewWithAccessibilityIdentifier(identifier));
    };

    auto sheet = present();
    EXPECT_TRUE(sheet->isWaitingForItems());
    EXPECT_EQ(sheet->statusText(), "Drawing the picture…");
    const auto status = std::dynamic_pointer_cast<Label>(sheet->view()->findViewWithAccessibilityIdentifier("status"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), "Drawing the picture…");
    // What can be done is shown, greyed.
    EXPECT_EQ(sheet->offeredActivityTypes(),
              (std::vector<std::string>{activity::kCopyToPasteboard, activity::kSaveToFiles}));
    for (const char* activity : {activity::kCopyToPasteboard, activity::kSaveToFiles}) {
        const auto shown = button(*sheet, activity);
        ASSERT_NE(shown, nullptr) << activity;
        EXPECT_FALSE(shown->isHidden()) << activity;
        EXPECT_FALSE(shown->isEnabled()) << activity;
        EXPECT_FALSE(sheet->perform(activity)) << activity;
    }
    Pasteboard::generalPasteboard().setString("before");
    tapIdentified(s, *sheet, activity::kCopyToPasteboard);
    EXPECT_TRUE(Pasteboard::generalPasteboard().hasStrings()) << "nothing copied";
    EXPECT_FALSE(sheet->complete(std::string(activity::kMail))) << "nothing to share yet";

    // The picture arrives: shown, the line cleared, and Copy copies it.
    sheet->setActivityItems({{"", picture, "", "Plan"}});
    EXPECT_FALSE(sheet->isWaitingForItems());
    EXPECT_EQ(sheet->statusText(), "");
    EXPECT_TRUE(button(*sheet, activity::kCopyToPasteboard)->isEnabled());
    tapIdentified(s, *sheet, activity::kCopyToPasteboard);
    EXPECT_EQ(Pasteboard::generalPasteboard().image(), picture);
    EXPECT_EQ(sheet->statusText(), "Copied");
    // Closed with Done before the sheet closes itself, and shown again: the
    // close timed for the first showing leaves the second alone.
    tapIdentified(s, *sheet, "cancel");
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    s.root->presentViewController(sheet, false);
    s.advance(ActivityViewController::kCopiedShowTime + 0.5);
    EXPECT_EQ(s.root->presentedViewController(), sheet);
    EXPECT_TRUE(sheet->perform(activity::kCopyToPasteboard)) << "usable again";
    s.advance(ActivityViewController::kCopiedShowTime + 0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(outcome.heard, (std::vector<std::string>{"copyToPasteboard done", "copyToPasteboard done"}));

    // Items that could not be made: the line says why, nothing is offered,
    // and closing is a cancel. So is closing while waiting.
    sheet = present();
    sheet->setActivityItems({}, "No picture");
    EXPECT_EQ(sheet->statusText(), "No picture");
    EXPECT_TRUE(sheet->offeredActivityTypes().empty());
    EXPECT_TRUE(button(*sheet, activity::kCopyToPasteboard)->isHidden());
    EXPECT_TRUE(button(*sheet, activity::kSaveToFiles)->isHidden());
    tapIdentified(s, *sheet, "cancel");
    sheet = present();
    tapIdentified(s, *sheet, "cancel");
    EXPECT_EQ(outcome.heard, (std::vector<std::string>{"copyToPasteboard done", "copyToPasteboard done",
                                                       "none not done", "none not done"}));
}

// A picture of millions of pixels is reduced to the preview's pixels on the
// pool: the main thread never draws it whole. The sheet offers it with its
// preview, which looks as the whole picture drawn into the frame does.
namespace {

// A share sheet shown while its picture is still drawn, laid out; with its
// preview.
std::pair<std::shared_ptr<ActivityViewController>, std::shared_ptr<ImageView>> presentWaitingShareSheet(Stage& s) {
    auto sheet = std::make_shared<ActivityViewController>(std::vector<ActivityItem>{{"", nullptr, "", "Plan"}});
    sheet->waitForItems("Drawing the picture…");
    s.root->presentViewController(sheet, false);
    s.advance(0.5);
    s.window->layoutIfNeeded();
    return {sheet, std::dynamic_pointer_cast<ImageView>(sheet->view()->findViewWithAccessibilityIdentifier("preview"))};
}

}  // namespace

TEST(UiControllerSheets, AShareSheetShowsALargePictureReducedOffTheMainThread) {
    Stage s(UserInterfaceIdiom::tablet);
    platform::ui::Screen::mainScreen()->setScale(2);
    // A green column a pixel wide between red and blue.
    auto canvas = platform::BitmapContext::create(3000, 1000, 1);
    for (const auto& [x, width, colour] :
         {std::tuple{0, 1500, Color{1, 0, 0, 1}}, {1500, 1, Color{0, 1, 0, 1}}, {1501, 1499, Color{0, 0, 1, 1}}}) {
        canvas->setFillColor(colour);
        canvas->fillRect({static_cast<double>(x), 0, static_cast<double>(width), 1000});
    }
    const auto picture = platform::BitmapContext::takeImage(std::move(canvas));
    const auto [sheet, preview] = presentWaitingShareSheet(s);
    ASSERT_NE(preview, nullptr);

    sheet->setActivityItems({{"", picture, "", "Plan"}});
    EXPECT_TRUE(sheet->isWaitingForItems()) << "offered with its preview";
    EXPECT_EQ(preview->image(), nullptr) << "not the whole picture, nor reduced here";
    ASSERT_TRUE(
        platform::RunLoop::main()->runUntil([&] { return !sheet->isWaitingForItems(); }, std::chrono::seconds(20)));
    EXPECT_EQ(sheet->statusText(), "");
    ASSERT_NE(preview->image(), nullptr);
    EXPECT_EQ(preview->image()->pixelWidth(), static_cast<int>(std::ceil(preview->bounds().width * 2)));

    // What the window shows of it, beside the whole picture drawn into an
    // image view of the same frame in a window of its own.
    const Rect box = preview->convertRectToView(preview->bounds(), nullptr);
    const auto plain = std::make_shared<Window>(Rect{0, 0, box.maxX() + 10, box.maxY() + 10});
    plain->setBackgroundColor(Color{1, 1, 1, 1});
    auto whole = std::make_shared<ImageView>(box);
    whole->setContentMode(ViewContentMode::scaleAspectFit);
    whole->setImage(picture);
    plain->addSubview(whole);
    const auto inBox = [&](const std::shared_ptr<platform::Image>& shot) {
        return shot ? shot->cropped(static_cast<int>(box.x * 2), static_cast<int>(box.y * 2),
                                    static_cast<int>(box.width * 2), static_cast<int>(box.height * 2))
                    : nullptr;
    };
    const auto shown = inBox(s.window->snapshot());
    const auto expected = inBox(plain->snapshot());
    ASSERT_TRUE(shown && expected);
    EXPECT_EQ(testsupport::DifferingPixels(*shown, *expected, 1), 0) << "the preview looks as the whole picture would";
    EXPECT_EQ(shown->pixel(shown->pixelWidth() / 4, shown->pixelHeight() / 2), (platform::Pixel{255, 0, 0, 255}));

    ASSERT_TRUE(sheet->perform(activity::kCopyToPasteboard));
    EXPECT_EQ(Pasteboard::generalPasteboard().image(), picture) << "copy hands over the whole picture";
}

// A window dragged through sizes while the preview is reduced: no more
// reductions meanwhile, then one for the last size, which is shown.
TEST(UiControllerSheets, AShareSheetResizedWhileItsPreviewIsReducedReducesItOnceMoreForTheLastSize) {
    Stage s(UserInterfaceIdiom::phone);
    platform::ui::Screen::mainScreen()->setScale(2);
    const auto [sheet, preview] = presentWaitingShareSheet(s);
    ASSERT_NE(preview, nullptr);

    sheet->setActivityItems({{"", plainImage(3000, 1000), "", "Plan"}});
    // What the pool makes reaches the sheet once the main loop runs: after
    // every size below.
    for (const double width : {380.0, 360.0, 340.0}) {
        s.window->transitionToSize({width, 844}, 0);
        s.window->layoutIfNeeded();
        ASSERT_EQ(preview->bounds().width, width - 2 * ActivityViewController::kMargin);
    }
    EXPECT_EQ(sheet->previewReductions(), 1u) << "none started while one runs";
    ASSERT_TRUE(
        platform::RunLoop::main()->runUntil([&] { return !sheet->isWaitingForItems(); }, std::chrono::seconds(20)));
    EXPECT_EQ(sheet->previewReductions(), 2u) << "one more, for the last size";
    ASSERT_NE(preview->image(), nullptr);
    EXPECT_EQ(preview->image()->pixelWidth(), 2 * 308);
}

TEST(UiControllerSheets, SavedPicturesTakeAFreeNameAndNeverLeaveTheFolder) {
    namespace fs = std::filesystem;
    const fs::path folder = platform::Paths::tmp() / "saved";
    const auto picture = plainImage(4, 4);
    EXPECT_EQ(savePNGUnderFreeName(*picture, folder, "Plan"), folder / "Plan.png");
    EXPECT_EQ(savePNGUnderFreeName(*picture, folder, "Plan"), folder / "Plan 2.png");
    EXPECT_EQ(savePNGUnderFreeName(*picture, folder, "../../Plan"), folder / "Plan 3.png");
    EXPECT_EQ(savePNGUnderFreeName(*picture, folder, ""), folder / "Image.png");
    EXPECT_EQ(savePNGUnderFreeName(*picture, folder, "a\nb"), folder / "a b.png");
    EXPECT_EQ(savePNGUnderFreeName(*picture, folder / "Plan.png", "x"), std::nullopt) << "not a folder";
}

TEST(UiControllerSheets, ADragDownInAListAtItsTopPullsTheSheetAndOneScrolledDownScrollsTheList) {
    Stage s;
    auto content = whiteContent();
    auto list = std::make_shared<ScrollView>(Rect{0, 0, 390, 834});
    list->setContentSize({390, 3000});
    content->view()->addSubview(list);
    content->setModalPresentationStyle(ModalPresentationStyle::formSheet);
    s.root->presentViewController(content, true);
    s.advance(0.5);
    ASSERT_EQ(content->presentationController()->styleInForce(), ModalPresentationStyle::pageSheet);
    TouchSynth touches(s.window);

    // Scrolled down: the list scrolls back, the sheet stays.
    list->setContentOffset({0, 200});
    touches.pan({{195, 300}, {195, 450}}, 0.6);
    s.advance(1);
    EXPECT_EQ(s.root->presentedViewController(), content);
    EXPECT_LT(list->contentOffset().y, 100);
    EXPECT_EQ(content->view()->frame().y, 10);

    // At its top: the sheet follows and goes, the list stays at its top.
    list->setContentOffset({0, 0});
    const auto finger = touches.touchDown({195, 300});
    for (int y = 320; y <= 600; y += 20) {
        touches.wait(TouchSynth::kFrame * 3);
        touches.move({finger}, {{195, static_cast<double>(y)}});
    }
    EXPECT_EQ(content->view()->frame().y, 310) << "the sheet under the finger";
    touches.lift({finger});
    s.advance(1);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(list->contentOffset().y, 0);
}

namespace {

// What the picker's list shows, top to bottom.
std::vector<std::string> rowsShown(Stage& s, DocumentPickerViewController& picker) {
    s.window->layoutIfNeeded();
    const auto table = picker.view()->findView<TableView>();
    if (!table) return {};
    auto cells = table->visibleCells();
    std::sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) { return a->frame().y < b->frame().y; });
    std::vector<std::string> rows;
    for (const auto& cell : cells) rows.push_back(cell->textLabel()->text());
    return rows;
}

std::string folderShown(DocumentPickerViewController& picker) {
    const auto title = std::dynamic_pointer_cast<Label>(picker.view()->findViewWithAccessibilityIdentifier("folder"));
    return title ? title->text() : "?";
}

void tapRow(Stage& s, DocumentPickerViewController& picker, const std::string& row) {
    s.window->layoutIfNeeded();
    const auto table = picker.view()->findView<TableView>();
    ASSERT_TRUE(table);
    const auto cell = table->findViewWithAccessibilityIdentifier(row);
    ASSERT_TRUE(cell) << row;
    const Rect frame = cell->convertRectToView(cell->bounds(), nullptr);
    TouchSynth(s.window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    s.advance(0.5);
}

void touch(const std::filesystem::path& file) { std::ofstream(file) << "x"; }

}  // namespace

TEST(UiControllerSheets, TheDocumentPickerListsFoldersThenItsFilesAndWalksDownAndUpNoHigherThanHome) {
    namespace fs = std::filesystem;
    // A home given with a trailing separator is the same folder.
    const fs::path home = platform::Paths::root();
    platform::Paths::setRoot(home.string() + "/");
    const fs::path documents = platform::Paths::documents();
    fs::create_directories(documents / "b plans" / "inner");
    fs::create_directories(documents / "A plans");
    fs::create_directories(documents / ".hidden");
    for (const char* name :
         {"Zeta.wkst", "alpha.WKST", "beta.wkst", "Beta.wkst", "notes.txt", "wkst", ".secret.wkst"}) {
        touch(documents / name);
    }
    touch(documents / "b plans" / "deep.wkst");
    touch(documents / "b plans" / "deep.png");

    Stage s;
    auto picked = std::make_shared<Picked>();
    auto picker =
        std::make_shared<DocumentPickerViewController>(std::vector<std::string>{"com.vekmont.app.layout"}, true);
    picker->setDelegate(picked);
    s.root->presentViewController(picker, true);
    s.advance(0.5);
    EXPECT_EQ(picker->presentationController()->styleInForce(), ModalPresentationStyle::pageSheet) << "a sheet";
    EXPECT_EQ(folderShown(*picker), "Documents");
    EXPECT_EQ(rowsShown(s, *picker), (std::vector<std::string>{"..", "A plans", "b plans", "alpha.WKST", "Beta.wkst",
                                                               "beta.wkst", "Zeta.wkst"}))
        << "names equal but for case in byte order";

    tapRow(s, *picker, "b plans");
    EXPECT_EQ(folderShown(*picker), "b plans");
    EXPECT_EQ(rowsShown(s, *picker), (std::vector<std::string>{"..", "inner", "deep.wkst"}));
    tapRow(s, *picker, "..");
    tapRow(s, *picker, "..");
    EXPECT_EQ(picker->directoryShown(), home);
    const auto top = rowsShown(s, *picker);
    ASSERT_FALSE(top.empty());
    EXPECT_NE(top.front(), "..") << "nothing above home";
    EXPECT_NE(std::find(top.begin(), top.end(), "Documents"), top.end());
    EXPECT_EQ(s.root->presentedViewController(), picker);
    EXPECT_EQ(picked->cancelled, 0);

    // A tap on a file picks it, as a file URL; the picker goes first.
    touch(documents / "b plans" / "Green Valley #2.wkst");
    tapRow(s, *picker, "Documents");
    tapRow(s, *picker, "b plans");
    tapRow(s, *picker, "Green Valley #2.wkst");
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(picked->urls,
              (std::vector<std::string>{"file://" + documents.string() + "/b%20plans/Green%20Valley%20%232.wkst"}));
    EXPECT_EQ(picked->cancelled, 0);

    // A folder gone (or become a file) since it was listed shows nothing.
    s.root->presentViewController(picker, true);
    s.advance(0.5);
    EXPECT_EQ(picker->directoryShown(), documents / "b plans") << "where it was left";
    fs::remove_all(documents / "b plans" / "inner");
    tapRow(s, *picker, "inner");
    EXPECT_EQ(rowsShown(s, *picker), (std::vector<std::string>{".."}));
    tapRow(s, *picker, "..");
    tapRow(s, *picker, "..");
    fs::remove_all(documents / "A plans");
    touch(documents / "A plans");
    tapRow(s, *picker, "A plans");
    EXPECT_EQ(rowsShown(s, *picker), (std::vector<std::string>{".."}));
    EXPECT_EQ(picked->cancelled, 0);
    platform::Paths::setRoot(home);
}

TEST(UiControllerSheets, TheDocumentPickerReportsCancelledOnceHoweverItGoesWithoutAPick) {
    Stage s(UserInterfaceIdiom::tablet);
    auto picked = std::make_shared<Picked>();
    auto picker = std::make_shared<DocumentPickerViewController>(std::vector<std::string>{"x.layout"}, true);
    picker->setDelegate(picked);
    const auto present = [&] {
        s.root->presentViewController(picker, true);
        s.advance(0.5);
        ASSERT_EQ(s.root->presentedViewController(), picker);
    };
    present();
    EXPECT_EQ(picker->presentationController()->styleInForce(), ModalPresentationStyle::formSheet);
    tapIdentified(s, *picker, "cancel");
    EXPECT_EQ(picked->cancelled, 1);
    present();
    s.root->topmostPresentedViewController()->dismissViewController(true);
    s.advance(0.5);
    EXPECT_EQ(picked->cancelled, 2);
    present();
    const Rect frame = picker->view()->frame();
    TouchSynth(s.window).pan({{512, frame.y + 20}, {512, frame.y + 320}}, 1);
    s.advance(0.5);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(picked->cancelled, 3);
    present();
    picker->cancel();
    picker->cancel();
    s.advance(0.5);
    EXPECT_EQ(picked->cancelled, 4);
    present();
    EXPECT_TRUE(picker->pick({"file:///x.wkst"}));
    s.advance(0.5);
    EXPECT_EQ(picked->cancelled, 4) << "a pick is no cancel";
    EXPECT_EQ(picked->urls, (std::vector<std::string>{"file:///x.wkst"}));
}

TEST(UiControllerSheets, TheFileExtensionsOfATypeAreThoseTheBundleDeclares) {
    namespace fs = std::filesystem;
    const fs::path folder = platform::Paths::tmp() / "bundle";
    fs::create_directories(folder);
    std::ofstream(folder / "Info.json") << R"({"UTExportedTypeDeclarations": [
        {"UTTypeIdentifier": "org.example.plan", "UTTypeTagSpecification": {"public.filename-extension": ["PLN", ".plan", 3]}},
        {"UTTypeIdentifier": "org.example.note", "UTTypeTagSpecification": {"public.filename-extension": "note"}},
        {"UTTypeIdentifier": "org.example.bare"}, 7]})";
    const platform::Bundle bundle(folder);
    EXPECT_EQ(fileExtensionsForContentType("org.example.plan", &bundle), (std::vector<std::string>{"pln", "plan"}));
    EXPECT_EQ(fileExtensionsForContentType("org.example.note", &bundle), (std::vector<std::string>{"note"}));
    EXPECT_TRUE(fileExtensionsForContentType("org.example.bare", &bundle).empty());
    EXPECT_TRUE(fileExtensionsForContentType("org.example.other", &bundle).empty());
    EXPECT_TRUE(fileExtensionsForContentType("org.example.plan", nullptr).empty());
}

// Alerts tapped by title, the share sheet, document picker and review
// recorders driven as a test would, page view controllers turning by swipe,
// and the blurred backdrop of a visual effect view.

#include "platform/graphics/Image.h"
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
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/VisualEffectView.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
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
    auto image = std::make_shared<ActivityViewController>(std::vector<ActivityItem>{{"", nullptr, "file:///a.png"}});
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

// The layout details from the info button: the description pages per
// language, the summary's facts of a shared and of a local layout, a file
// that can no longer be read, scenes that cannot be made, and the bottom
// presentation over a blurred backdrop.

#include <gtest/gtest.h>

#include <filesystem>

#include "LayoutModule/Info/VKMLayoutInfoHelper.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDescriptionViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDetailsPresentationViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutSummaryViewController.h"
#include "LayoutModule/LayoutDetails/VKMSpecificLanguageDescriptionViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "SharingModule/Model/QLLocalizedLayoutDescriptionHelper.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Session/VKMLayoutSession.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/foundation/Locale.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/PageControl.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/SegmentedControl.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/views/TextView.h"
#include "platform/ui/views/ViewControllerTransitioning.h"
#include "platform/ui/views/VisualEffectView.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/TabFixture.h"

using namespace platform::ui;
using platform::Value;
using sidetest::TabFixture;

namespace {

const char* const kDetailedScenario = R"(version 13
param text407 "R7"
layer "Plan"
straight length=800 at=100,250 angle=0 tunnel=20,80
straight length=400
rect size=100,50 at=0,0
group 0 1
layer "Boards" type=baseboard
baseboard "Board" rect=0,0,1000,500
layer "Pictures" type=image
image "Pic" at=0,0 size=100,100
)";

const char* const kPlainScenario = R"(version 13
layer "Plan"
straight length=500 at=0,0 angle=0
)";

void ShareLayout(Value::Dictionary summary) {
    std::optional<platform::Error> error;
    const auto entity =
        QLLayoutEntity::entityWithJSON(Value(Value::Dictionary{{"id", "L1"},
                                                               {"title", "Green_Valley"},
                                                               {"tags", Value::Array{"branch", "steam"}},
                                                               {"modelScales", Value::Array{"H0", "N"}},
                                                               {"numberOfTracks", 42},
                                                               {"uploadDate", "2024-05-01T10:00:00Z"},
                                                               {"summary", std::move(summary)}}),
                                       error);
    ASSERT_NE(entity, nullptr);
    VKMLayoutEntityCache::sharedInstance().setObject(entity, "L1");
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("L1"));
}

std::shared_ptr<VKMLayoutDetailsViewController> TapInfo(TabFixture& screen) {
    const auto info = screen.controller->outlets.infoButton.lock();
    EXPECT_NE(info, nullptr);
    VKMLayoutInfoHelper::presentLayoutInfoWithInfoButton(info);
    screen.advance(0.5);
    screen.window->layoutIfNeeded();
    const auto shown = presentedControllers<VKMLayoutDetailsViewController>();
    return shown.empty() ? nullptr : shown.front();
}

void TapSegment(TabFixture& screen, VKMLayoutDetailsViewController& details, int segment) {
    const auto segments = details.outlets.pageControl.lock();
    ASSERT_NE(segments, nullptr);
    const platform::Rect rect = segments->convertRectToView(segments->rectForSegment(segment), nullptr);
    screen.synth->tap({rect.x + rect.width / 2, rect.y + rect.height / 2});
    screen.advance(0.3);
    screen.window->layoutIfNeeded();
}

std::string Text(const std::weak_ptr<Label>& outlet) { return outlet.lock() ? outlet.lock()->text() : "<none>"; }
bool Hidden(const std::weak_ptr<Label>& outlet) { return outlet.lock() && outlet.lock()->isHidden(); }

}  // namespace

TEST(LayoutDetails, TheInfoButtonShowsOneDescriptionPagePerLanguage) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        TabFixture screen;
        screen.show(idiom);
        screen.open(kPlainScenario, "pages.wkst");
        ShareLayout({{"de", "Hallo"}, {"en", "Hello"}, {"xq", "Unknown tongue"}});
        const auto details = TapInfo(screen);
        ASSERT_NE(details, nullptr);
        EXPECT_EQ(details->preferredContentSize().width, 600);
        if (idiom == UserInterfaceIdiom::tablet) {
            EXPECT_EQ(details->popoverPresentationController()->sourceView(),
                      screen.controller->outlets.infoButton.lock());
        }
        const auto pages =
            std::dynamic_pointer_cast<VKMLayoutDescriptionViewController>(details->currentChildViewController());
        ASSERT_NE(pages, nullptr);
        const auto& list = pages->specificDescriptionViewControllers();
        ASSERT_EQ(list.size(), 3u);
        const std::string german =
            QLLocalizedLayoutDescriptionHelper::localizedLanguageNameForTwoLetterCode("de").value_or("?");
        EXPECT_EQ(list[0]->titleString(), "Description (" + german + ")");
        EXPECT_EQ(list[0]->layoutDescription(), "Hallo");
        // A code the language list does not know names the page itself.
        EXPECT_EQ(list[2]->titleString(), "Description (xq)");
        EXPECT_EQ(list[2]->outlets.titleLabel.lock()->text(), "Description (xq)");
        // The heading is drawn: ink where the first page's title label sits.
        const auto shot = screen.window->snapshot();
        ASSERT_NE(shot, nullptr);
        const auto title = list[0]->outlets.titleLabel.lock();
        const platform::Rect box = title->convertRectToView(title->bounds(), nullptr);
        EXPECT_GT(layouttest::CountNear(*shot, static_cast<int>(box.x * 2), static_cast<int>(box.y * 2),
                                        static_cast<int>((box.x + 200) * 2), static_cast<int>((box.y + box.height) * 2),
                                        0, 0, 0, 90),
                  20);

        // The first page shows; swiping back from it and on from the last does nothing.
        EXPECT_EQ(pages->displayedViewController(), list[0]);
        EXPECT_EQ(pages->presentationCount(*pages), 3);
        EXPECT_FALSE(pages->showPreviousPage());
        EXPECT_TRUE(pages->showNextPage());
        screen.advance(1);
        EXPECT_TRUE(pages->showNextPage());
        screen.advance(1);
        EXPECT_EQ(pages->viewControllers().front(), list[2]);
        EXPECT_FALSE(pages->showNextPage());
    }
}

TEST(LayoutDetails, DescriptionPagesTurnByADragAcrossTheTextAndTheirDotsFollowAndTakeTaps) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kPlainScenario, "drag.wkst");
    std::string longText;
    for (int i = 0; i < 80; ++i) longText += "A line of the layout's description that runs on.\n";
    ShareLayout({{"de", longText}, {"en", longText}, {"fr", longText}});
    const auto details = TapInfo(screen);
    ASSERT_NE(details, nullptr);
    const auto pages =
        std::dynamic_pointer_cast<VKMLayoutDescriptionViewController>(details->currentChildViewController());
    ASSERT_NE(pages, nullptr);
    const auto& list = pages->specificDescriptionViewControllers();
    ASSERT_EQ(list.size(), 3u);
    const auto dots = pages->pageControl();
    ASSERT_NE(dots, nullptr);
    EXPECT_EQ(dots->currentPage(), 0);
    const auto shown = [&] { return pages->viewControllers().front(); };

    // A slow drag to the left across the text, over half the page.
    const auto text = list[0]->outlets.descriptionTextView.lock();
    ASSERT_NE(text, nullptr);
    const platform::Rect area = text->convertRectToView(text->bounds(), nullptr);
    const platform::Point mid{area.x + area.width / 2, area.y + area.height / 2};
    const double width = pages->view()->bounds().width;
    screen.synth->pan({{mid.x + width / 4, mid.y}, {mid.x - width / 4, mid.y + 4}}, 1.5);
    screen.advance(1);
    EXPECT_TRUE(shown() == list[1]);
    EXPECT_EQ(dots->currentPage(), 1);
    // A short one springs back; a drag down scrolls the text, no page.
    screen.synth->pan({{mid.x + 20, mid.y}, {mid.x - 40, mid.y}}, 1.0);
    screen.advance(1);
    EXPECT_TRUE(shown() == list[1]);
    EXPECT_EQ(list[1]->view()->frame().x, pages->view()->bounds().x);
    const auto secondText = list[1]->outlets.descriptionTextView.lock();
    screen.synth->pan({{mid.x, mid.y + 100}, {mid.x + 5, mid.y - 100}}, 1.0);
    screen.advance(1);
    EXPECT_TRUE(shown() == list[1]);
    EXPECT_GT(secondText->contentOffset().y, 50);

    // Taps beside the current dot turn one page that way.
    const platform::Rect bar = dots->convertRectToView(dots->bounds(), nullptr);
    const platform::Point current = dots->convertPointToView(dots->dotCenter(1), nullptr);
    screen.synth->tap({current.x + 40, bar.y + bar.height / 2});
    screen.advance(1);
    EXPECT_TRUE(shown() == list[2]);
    EXPECT_EQ(dots->currentPage(), 2);
    screen.synth->tap({current.x - 40, bar.y + bar.height / 2});
    screen.advance(1);
    EXPECT_TRUE(shown() == list[1]);
    EXPECT_EQ(dots->currentPage(), 1);
}

TEST(LayoutDetails, OneLanguageHasNoPageDotsAndALocalLayoutHasNoPages) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kPlainScenario, "one.wkst");
    ShareLayout({{"en", "Hello"}});
    auto details = TapInfo(screen);
    ASSERT_NE(details, nullptr);
    auto pages = std::dynamic_pointer_cast<VKMLayoutDescriptionViewController>(details->currentChildViewController());
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->specificDescriptionViewControllers().size(), 1u);
    EXPECT_EQ(pages->presentationCount(*pages), 0);
    details->dismissViewController(false);

    VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
    const long before = layouttest::CountWarnings("Assert: Condition not satisfied");
    details = TapInfo(screen);
    ASSERT_NE(details, nullptr);
    pages = std::dynamic_pointer_cast<VKMLayoutDescriptionViewController>(details->currentChildViewController());
    ASSERT_NE(pages, nullptr);
    EXPECT_TRUE(pages->specificDescriptionViewControllers().empty());
    EXPECT_EQ(layouttest::CountWarnings("Assert: Condition not satisfied") - before, 2);
}

TEST(LayoutDetails, TheSummaryShowsTheSharedLayoutsFactsAndTheDocumentsFigures) {
    platform::Locale::setCurrent("en_GB");
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kDetailedScenario, "summary.wkst");
    ShareLayout({{"en", "Hello"}});
    const auto details = TapInfo(screen);
    ASSERT_NE(details, nullptr);
    TapSegment(screen, *details, 1);
    const auto summary =
        std::dynamic_pointer_cast<VKMLayoutSummaryViewController>(details->currentChildViewController());
    ASSERT_NE(summary, nullptr);
    const auto& o = summary->outlets;
    EXPECT_EQ(Text(o.titleLabel), "Green_Valley");
    EXPECT_EQ(Text(o.tagsLabel), "branch, steam");
    EXPECT_EQ(Text(o.modelScaleLabel), "H0, N");
    EXPECT_EQ(Text(o.trackCountLabel), "42");
    EXPECT_NE(Text(o.uploadDateLabel).find("2024"), std::string::npos) << Text(o.uploadDateLabel);
    EXPECT_EQ(Text(o.revisionLabel), "R7");
    EXPECT_FALSE(Hidden(o.revisionTitleLabel));
    EXPECT_TRUE(Hidden(o.cacheDateLabel));
    EXPECT_EQ(Text(o.trackLengthLabel), "120 cm");
    EXPECT_EQ(Text(o.tunnelSectionsLabel), "1");
    EXPECT_EQ(Text(o.groupsLabel), "1");
    // Whole millimetres: the board's outline reaches half a millimetre out.
    EXPECT_EQ(Text(o.contentDimensionLabel), "130.1 cm x 50.1 cm");
    EXPECT_EQ(Text(o.elementCountLabel), "3");
    EXPECT_EQ(Text(o.imageCountLabel), "1");
    EXPECT_FALSE(Hidden(o.imagesTitleLabel));
    EXPECT_EQ(Text(o.baseboardCountLabel), "1");
    EXPECT_EQ(Text(o.layerCountLabel), "3");
    const auto bytes = std::filesystem::file_size(CCurrentCloudLayout::Instance().Layout()->GetFilePath());
    ASSERT_GT(bytes, 1000u);
    EXPECT_NE(Text(o.fileSizeLabel).find("KB"), std::string::npos) << Text(o.fileSizeLabel);
}

TEST(LayoutDetails, ALocalLayoutWithoutImagesOrBaseboardsAndAnUnreadableFile) {
    platform::Locale::setCurrent("en_GB");
    TabFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kPlainScenario, "local.wkst");
    std::filesystem::remove(CCurrentCloudLayout::Instance().Layout()->GetFilePath());
    auto summary = VKMLayoutScenes::instantiate<VKMLayoutSummaryViewController>(VKMLayoutScenes::kLayoutSummaryId);
    summary->loadViewIfNeeded();
    const auto& o = summary->outlets;
    for (const auto* empty : {&o.titleLabel, &o.tagsLabel, &o.uploadDateLabel, &o.modelScaleLabel, &o.trackCountLabel})
        EXPECT_EQ(Text(*empty), "");
    EXPECT_EQ(Text(o.elementCountLabel), "1");
    EXPECT_EQ(Text(o.trackLengthLabel), "50 cm");
    EXPECT_TRUE(Hidden(o.imageCountLabel));
    EXPECT_TRUE(Hidden(o.imagesTitleLabel));
    EXPECT_TRUE(Hidden(o.baseboardCountLabel));
    EXPECT_TRUE(Hidden(o.baseboardsTitleLabel));
    EXPECT_TRUE(Hidden(o.revisionLabel));
    // No size is known, which is not a file of no bytes.
    EXPECT_EQ(Text(o.fileSizeLabel), "");
}

TEST(LayoutDetails, TunnelSectionsCountBoresNotTheirPieces) {
    // A bore of four connected pieces, one of two, and a single piece.
    const char* const bores = R"(version 13
layer "Plan"
straight length=200 at=0,0 angle=0 tunnel=0,100
straight length=200 tunnel=0,100
straight length=200 tunnel=0,100
straight length=200 tunnel=0,100
straight length=200
straight length=200 tunnel=0,100
straight length=200 tunnel=0,100
straight length=200
straight length=200 tunnel=0,100
)";
    TabFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(bores, "bores.wkst");
    auto summary = VKMLayoutScenes::instantiate<VKMLayoutSummaryViewController>(VKMLayoutScenes::kLayoutSummaryId);
    summary->loadViewIfNeeded();
    EXPECT_EQ(Text(summary->outlets.tunnelSectionsLabel), "3");
    EXPECT_EQ(Text(summary->outlets.elementCountLabel), "9");
}

TEST(LayoutDetails, ScenesThatCannotBeMadeShowNothing) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kPlainScenario, "missing.wkst");
    ShareLayout({{"en", "Hello"}});
    Storyboard::removeScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutSummaryId);
    const auto details = TapInfo(screen);
    ASSERT_NE(details, nullptr);
    TapSegment(screen, *details, 1);
    EXPECT_EQ(details->currentChildViewController(), nullptr);
    EXPECT_TRUE(details->outlets.containerView.lock()->subviews().empty());
    EXPECT_TRUE(details->childViewControllers().empty());
    details->dismissViewController(false);

    Storyboard::removeScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutDetailsId);
    EXPECT_EQ(TapInfo(screen), nullptr);
    EXPECT_TRUE(ViewController::allPresentedViewControllers().empty());
}

TEST(LayoutDetails, WithoutATabBarAtTheRootTheInfoIsNotShown) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.window->setRootViewController(screen.controller);
    screen.advance(0.1);
    VKMLayoutInfoHelper::presentLayoutInfoWithInfoButton(screen.controller->outlets.infoButton.lock());
    screen.advance(0.5);
    EXPECT_TRUE(ViewController::allPresentedViewControllers().empty());
}

namespace {

class BottomDetails : public ViewControllerTransitioningDelegate {
public:
    std::shared_ptr<PresentationController> presentationControllerForPresentedViewController(
        const std::shared_ptr<ViewController>& presented, const std::shared_ptr<ViewController>& presenting,
        ViewController& source) override {
        (void)source;
        made = std::make_shared<VKMLayoutDetailsPresentationViewController>(presented, presenting);
        made->setTallDetailsView(tall);
        return made;
    }
    bool tall = false;
    std::shared_ptr<VKMLayoutDetailsPresentationViewController> made;
};

}  // namespace

TEST(LayoutDetails, DetailsAtTheBottomOverABlurThatATapDismisses) {
    for (const bool tall : {false, true}) {
        TabFixture screen;
        screen.show(UserInterfaceIdiom::phone);
        auto delegate = std::make_shared<BottomDetails>();
        delegate->tall = tall;
        auto presented = std::make_shared<ViewController>();
        presented->setModalPresentationStyle(ModalPresentationStyle::custom);
        presented->setTransitioningDelegate(delegate);
        screen.tabs->presentViewController(presented, true);
        screen.advance(1);
        screen.window->layoutIfNeeded();
        ASSERT_NE(delegate->made, nullptr);
        const double height = tall ? 300 : 280;
        const platform::Rect frame = presented->view()->convertRectToView(presented->view()->bounds(), nullptr);
        EXPECT_EQ(frame.height, height);
        EXPECT_EQ(frame.y, 844 - height);
        EXPECT_EQ(frame.width, 390);
        const auto blur = delegate->made->backgroundFxView();
        ASSERT_NE(blur, nullptr);
        EXPECT_EQ(blur->superview(), delegate->made->containerView());
        EXPECT_EQ(blur->alpha(), 1);
        EXPECT_EQ(blur->effect(), BlurEffectStyle::dark);
        EXPECT_NE(blur->contentView()->viewWithTag(100), nullptr);
        // Above the details the white screen shows darkened by the blur.
        const auto shot = screen.window->snapshot();
        ASSERT_NE(shot, nullptr);
        const auto above = shot->pixel(40, 200);
        ASSERT_TRUE(above.has_value());
        EXPECT_LT(above->red, 160);

        screen.synth->tap({195, 100});
        screen.advance(1);
        EXPECT_EQ(screen.tabs->presentedViewController(), nullptr);
        EXPECT_EQ(blur->superview(), nullptr);
    }
}

// The layout screen in a headless window: a generated layout opens fitted
// and centred at phone and tablet sizes, gestures and the zoom sheet stay
// within the zoom limits, the notifications of its reaction table redraw or
// refit, and the session forgets a document that goes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <future>

#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "LayoutModule/Zoom/VKMLayoutZoomHelper.h"
#include "LayoutModule/Zoom/VKMZoomButton.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/VKMNotificationNames.h"
#include "platform/ui/views/Button.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/Views/ZDThreeDotProgressView.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Image.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/StackView.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"
#include "tests/support/LogWatch.h"

using namespace platform::ui;
using layouttest::ScreenFixture;

namespace {

// A red board of 1000 x 500 mm with a track across it.
const char* const kBoardScenario = R"(version 13
param grid off
layer "Plan"
rect size=1000,500 at=0,0 color=1,0,0 color2=1,0,0
straight length=800 at=100,250 angle=0
)";

// Content of 20 x 10 mm: the fitting zoom would be far beyond the limit.
const char* const kTinyScenario = R"(version 13
layer "Plan"
rect size=20,10 at=0,0 color=0,0,1 color2=0,0,1
)";


double Distance(const platform::Pixel& a, const platform::Pixel& b) {
    return std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

// Pixels of the window's snapshot right of its first quarter and in its
// middle half of the height (away from the buttons over the drawing) that differ from the layout drawn straight into a
// bitmap at the screen's offset and zoom; and how many were compared.
std::pair<int, int> DifferingFromDirectDrawing(ScreenFixture& screen) {
    const platform::Rect bounds = screen.window->bounds();
    const auto shot = screen.window->snapshot();
    auto direct = platform::BitmapContext::createForPointSize({bounds.width, bounds.height}, 2);
    VKMLayoutView::drawLayout(*direct, bounds, &screen.layout(),
                              screen.controller->outlets.layoutView.lock()->renderData().get(),
                              screen.controller->contentOffset());
    const auto reference = direct->makeImage();
    int differing = 0;
    int compared = 0;
    for (int y = shot->pixelHeight() / 4; y < shot->pixelHeight() * 3 / 4; y += 3) {
        for (int x = shot->pixelWidth() / 4; x < shot->pixelWidth(); x += 3) {
            ++compared;
            if (Distance(*shot->pixel(x, y), *reference->pixel(x, y)) > 24) ++differing;
        }
    }
    return {differing, compared};
}

}  // namespace

TEST(LayoutScreen, AGeneratedLayoutOpensFittedAndCentredAtPhoneAndTabletSizes) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const char* name = idiom == UserInterfaceIdiom::phone ? "phone" : "tablet";
        ScreenFixture screen;
        screen.show(idiom);
        screen.open(kBoardScenario, std::string("board-") + name + ".wkst");
        const platform::Rect bounds = screen.window->bounds();

        // The board (1000 mm wide, a little more with its outline) fills 90 %
        // of the shorter side of the view.
        const double expectedZoom = std::min(bounds.width, bounds.height) / 1000 * 0.9;
        EXPECT_NEAR(screen.zoom(), expectedZoom, expectedZoom * 0.01) << name;
        ASSERT_NE(screen.controller->zoomButton(), nullptr) << name;
        EXPECT_EQ(screen.controller->zoomButton()->currentZoomFactor(), screen.zoom()) << name;
        EXPECT_EQ(screen.controller->actionsStack()->arrangedSubviews().size(), 4u) << name;

        // Centred: the board's middle lies in the view's middle, and as much
        // of the view is left of it as right of it.
        const auto shot = screen.window->snapshot();
        ASSERT_NE(shot, nullptr) << name;
        const int cx = shot->pixelWidth() / 2;
        const int cy = shot->pixelHeight() / 2;
        EXPECT_TRUE(layouttest::PixelNear(*shot, cx, cy - 20, 255, 0, 0, 255)) << name << ": board in the middle";
        const int boardHalf = static_cast<int>(500 * screen.zoom() * 2);
        EXPECT_TRUE(layouttest::PixelNear(*shot, cx - boardHalf + 6, cy - 20, 255, 0, 0, 255)) << name;
        EXPECT_TRUE(layouttest::PixelNear(*shot, cx + boardHalf - 6, cy - 20, 255, 0, 0, 255)) << name;
        EXPECT_TRUE(layouttest::PixelNear(*shot, cx - boardHalf - 6, cy + 20, 255, 255, 255, 255)) << name;
        EXPECT_TRUE(layouttest::PixelNear(*shot, cx + boardHalf + 6, cy + 20, 255, 255, 255, 255)) << name;

        // The snapshot agrees with the layout drawn straight into a bitmap at
        // the same offset and zoom, away from the buttons over it; so it
        // does after a pan (the tiles moved, the uncovered ones drawn) and
        // after a pinch (stretched while it lasts, sharpened once the tiles
        // its end asks for are placed).
        const auto [differing, compared] = DifferingFromDirectDrawing(screen);
        EXPECT_LT(differing, compared / 100) << name << ": snapshot and direct drawing differ";
        platform::UserDefaults::standard().setBool(VKMLayoutView::kDarkBackgroundKey, true);
        platform::NotificationCenter::defaultCenter().postNotificationName("QLLayoutPropertiesChangedNotification",
                                                                           nullptr);
        screen.window->snapshot();
        screen.controller->setTouchDownContentOffset(screen.controller->contentOffset());
        screen.controller->panContentWithDelta({150.5, -21});
        const auto [afterPan, comparedAfterPan] = DifferingFromDirectDrawing(screen);
        EXPECT_LT(afterPan, comparedAfterPan / 100) << name << ": after a pan";
        const auto view = screen.controller->outlets.layoutView.lock();
        view->setInteractiveZoom(true);
        screen.controller->setTouchDownScale(screen.zoom());
        screen.controller->zoomContentWithPinchScale(1.3);
        screen.window->snapshot();
        view->setInteractiveZoom(false);
        screen.window->snapshot();
        ASSERT_TRUE(view->waitForTiles()) << name;
        const auto [afterPinch, comparedAfterPinch] = DifferingFromDirectDrawing(screen);
        EXPECT_LT(afterPinch, comparedAfterPinch / 100) << name << ": after a pinch";
        platform::UserDefaults::standard().removeObject(VKMLayoutView::kDarkBackgroundKey);
    }
}

TEST(LayoutScreen, PinchPanAndDoubleTapStayWithinTheZoomLimits) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "limits.wkst");
    VKMLayoutViewController& controller = *screen.controller;
    const double fitting = controller.fittingZoomFactor();
    layouttest::Heard zoomed(VKMLayoutViewController::kLayoutZoomedNotification);

    // Zooming from 1 to 2 about (100, 100) from offset (0, 0).
    controller.changeZoomTo(1);
    controller.setContentOffset({0, 0});
    controller.setTouchDownLocation({100, 100});
    controller.changeZoomTo(2);
    EXPECT_EQ(controller.contentOffset().x, -100);
    EXPECT_EQ(controller.contentOffset().y, -100);
    EXPECT_EQ(zoomed.count, 2);

    // Out of range from any source changes nothing.
    for (const double wrong : {0.005, 13.0, std::nan("")}) {
        controller.changeZoomTo(wrong);
        EXPECT_EQ(screen.zoom(), 2) << wrong;
    }
    EXPECT_EQ(zoomed.count, 2);

    // Pinching out from 10 by 2 stops at 12.5; in below the fitting zoom
    // stops there.
    controller.changeZoomTo(10);
    controller.setTouchDownScale(10);
    controller.zoomContentWithPinchScale(2);
    EXPECT_EQ(screen.zoom(), 12.5);
    controller.setTouchDownScale(fitting);
    controller.zoomContentWithPinchScale(0.1);
    EXPECT_EQ(screen.zoom(), fitting);

    // Real fingers: spreading far keeps within the limit, and the offset
    // never turns positive.
    const platform::Point mid{195, 422};
    screen.synth->pinch({mid.x - 20, mid.y}, {mid.x + 20, mid.y}, {mid.x - 180, mid.y}, {mid.x + 180, mid.y}, 0.5);
    EXPECT_GT(screen.zoom(), fitting);
    EXPECT_LE(screen.zoom(), 12.5);
    screen.synth->pinch({mid.x - 180, mid.y}, {mid.x + 180, mid.y}, {mid.x - 5, mid.y}, {mid.x + 5, mid.y}, 0.5);
    EXPECT_EQ(screen.zoom(), fitting);
    EXPECT_LE(controller.contentOffset().x, 0);
    EXPECT_LE(controller.contentOffset().y, 0);

    // Panning right or down from (0, 0) keeps (0, 0); left moves it.
    controller.setContentOffset({0, 0});
    screen.synth->pan({{100, 300}, {250, 450}}, 0.3);
    EXPECT_EQ(controller.contentOffset().x, 0);
    EXPECT_EQ(controller.contentOffset().y, 0);
    screen.synth->pan({{250, 450}, {150, 450}}, 0.3);
    EXPECT_LT(controller.contentOffset().x, -50);
    EXPECT_EQ(controller.contentOffset().y, 0);

    // Each double tap zooms in by half, up to the limit.
    screen.synth->wait(1);
    controller.changeZoomTo(4);
    screen.synth->doubleTap({200, 400});
    screen.synth->wait(0.5);
    EXPECT_NEAR(screen.zoom(), 6, 1e-9);
    for (int i = 0; i < 4; ++i) {
        screen.synth->doubleTap({200, 400});
        screen.synth->wait(0.5);
    }
    EXPECT_EQ(screen.zoom(), 12.5);
}

TEST(LayoutScreen, ATinyLayoutFitsAtTheZoomLimitAndCanStillBePinched) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kTinyScenario, "tiny.wkst");
    EXPECT_EQ(screen.zoom(), 12.5);
    EXPECT_EQ(screen.controller->fittingZoomFactor(), 12.5);
    // A pinch in is taken (not refused as out of range) and keeps the limit.
    screen.controller->setTouchDownScale(12.5);
    screen.controller->zoomContentWithPinchScale(0.5);
    EXPECT_EQ(screen.zoom(), 12.5);
    screen.controller->changeZoomTo(3);
    EXPECT_EQ(screen.zoom(), 3);
}

TEST(LayoutScreen, TouchesOnTheLayoutAreLoggedAtDebugLevelOnly) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kTinyScenario, "touches.wkst");
    {
        testsupport::LogWatch log;
        screen.synth->tap({200, 400});
        screen.synth->wait(0.5);
        EXPECT_EQ(log.Count("Tapped view: VKMLayoutView"), 0);
    }
    // With debug lines kept, each recogniser that takes the touch says so.
    testsupport::ScopedLogLevel debug(1);
    const int before = testsupport::CountLogged(1, "Tapped view: VKMLayoutView");
    screen.synth->tap({200, 400});
    screen.synth->wait(0.5);
    EXPECT_GE(testsupport::CountLogged(1, "Tapped view: VKMLayoutView") - before, 1);
}

TEST(LayoutScreen, TheZoomSheetOffersSevenLevelsThatPostTheirZoomAndRedraw) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        platform::Locale::setCurrent("en_US");
        ScreenFixture screen;
        screen.show(idiom);
        screen.open(kBoardScenario, "sheet.wkst");
        layouttest::Heard change(VKMLayoutZoomHelper::kChangeZoomFactorNotification);
        const auto button = screen.controller->zoomButton();
        ASSERT_NE(button, nullptr);
        const platform::Rect frame = button->convertRectToView(button->bounds(), nullptr);
        screen.synth->tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
        screen.synth->wait(1);
        const auto alerts = AlertController::presentedAlerts();
        ASSERT_EQ(alerts.size(), 1u);
        const auto sheet = alerts.front();
        EXPECT_EQ(sheet->preferredStyle(), AlertControllerStyle::actionSheet);
        std::vector<std::string> titles;
        for (const auto& action : sheet->actions()) titles.push_back(action->title());
        EXPECT_EQ(titles, (std::vector<std::string>{"1,000%", "750%", "500%", "250%", "100%", "50%", "25%"}));
        if (idiom == UserInterfaceIdiom::tablet) {
            ASSERT_NE(sheet->popoverPresentationController(), nullptr);
            EXPECT_EQ(sheet->popoverPresentationController()->sourceView(), button);
        }
        const auto renderData = screen.controller->outlets.layoutView.lock()->renderData();
        EXPECT_TRUE(sheet->tapActionWithTitle("25%"));
        screen.synth->wait(1);
        EXPECT_EQ(change.count, 1);
        EXPECT_EQ(change.last.find(VKMLayoutZoomHelper::kNewZoomFactorKey)->numberAsDouble(), 0.25);
        EXPECT_EQ(screen.zoom(), 0.25);
        EXPECT_EQ(button->zoomLabel()->text(), "25%");
        // A zoom notification out of range changes nothing.
        platform::NotificationCenter::defaultCenter().postNotificationName(
            VKMLayoutZoomHelper::kChangeZoomFactorNotification, nullptr,
            platform::Value(platform::Value::Dictionary{{VKMLayoutZoomHelper::kNewZoomFactorKey, 13.0}}));
        EXPECT_EQ(screen.zoom(), 0.25);
    }
    // Percentages in the user's number format.
    EXPECT_EQ(VKMZoomButton::formattedPercentage(0.36), "36%");
    EXPECT_EQ(VKMZoomButton::formattedPercentage(12.5), "1,250%");
    platform::Locale::setCurrent("de_DE");
    EXPECT_EQ(VKMZoomButton::formattedPercentage(0.36), "36\u00a0%");
    EXPECT_EQ(VKMZoomButton::formattedPercentage(12.5), "1.250\u00a0%");
    platform::Locale::setCurrent("en_US");
}

TEST(LayoutScreen, OnAPhoneATapBesideTheZoomSheetClosesItAndTheZoomStays) {
    platform::Locale::setCurrent("en_US");
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "outside.wkst");
    layouttest::Heard change(VKMLayoutZoomHelper::kChangeZoomFactorNotification);
    const double zoom = screen.zoom();
    const auto button = screen.controller->zoomButton();
    ASSERT_NE(button, nullptr);
    const platform::Rect frame = button->convertRectToView(button->bounds(), nullptr);
    const platform::Point onButton{frame.x + frame.width / 2, frame.y + frame.height / 2};
    for (int round = 0; round < 2; ++round) {
        screen.synth->tap(onButton);
        screen.synth->wait(1);
        ASSERT_EQ(AlertController::presentedAlerts().size(), 1u) << "round " << round;
        // High on the screen, above the sheet at the bottom.
        screen.synth->tap({frame.x + frame.width / 2, 40});
        screen.synth->wait(1);
        EXPECT_TRUE(AlertController::presentedAlerts().empty()) << "round " << round;
    }
    EXPECT_EQ(change.count, 0) << "no level was chosen";
    EXPECT_EQ(screen.zoom(), zoom);
    // The sheet's own rows still take their taps.
    screen.synth->tap(onButton);
    screen.synth->wait(1);
    const auto alerts = AlertController::presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    const auto row = alerts.front()->view()->findViewWithAccessibilityIdentifier("50%");
    ASSERT_NE(row, nullptr);
    const platform::Rect rowFrame = row->convertRectToView(row->bounds(), nullptr);
    screen.synth->tap({rowFrame.x + rowFrame.width / 2, rowFrame.y + rowFrame.height / 2});
    screen.synth->wait(1);
    EXPECT_TRUE(AlertController::presentedAlerts().empty());
    EXPECT_EQ(change.count, 1);
    EXPECT_EQ(screen.zoom(), 0.5);
}

TEST(LayoutScreen, TheZoomButtonGreysWhenDimmed) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    auto button = VKMZoomButton::make();
    const auto normal = button->backgroundColor();
    button->setTintAdjustmentMode(TintAdjustmentMode::dimmed);
    EXPECT_NEAR(button->backgroundColor()->alpha, 0.3, 1e-9);
    button->setTintAdjustmentMode(TintAdjustmentMode::normal);
    EXPECT_EQ(button->backgroundColor(), normal);
    EXPECT_EQ(button->intrinsicContentSize(), (platform::Size{54, 25}));
}

TEST(LayoutScreen, NotificationsOfTheReactionTableRedrawOrRefit) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "reactions.wkst");
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto view = screen.controller->outlets.layoutView.lock();

    // Display changes rebuild the render data at once.
    for (const char* name : {"QLPropertyDidChangeForLayerNotification", "QLLayoutGridSettingChangedNotification",
                             "QLLayoutPropertiesChangedNotification", kApplicationWillEnterForegroundNotification}) {
        const auto before = view->renderData()->elementsData();
        center.postNotificationName(name, nullptr);
        EXPECT_NE(view->renderData()->elementsData(), before) << name;
    }

    // A colour change refits the workspace and keeps the drawing where it
    // was: the offset moves by the shift the refit made.
    screen.layout().SetWorkspaceSize(100000, 100000);
    const platform::Point offset = screen.controller->contentOffset();
    const auto before = view->renderData()->elementsData();
    center.postNotificationName("QLLayoutElementColorChangedNotification", nullptr);
    EXPECT_NE(view->renderData()->elementsData(), before);
    EXPECT_LT(screen.layout().GetParameters().mWorkspaceWidth, 100000);
    EXPECT_EQ(screen.controller->contentOffset().x, offset.x);  // already fitted: no shift

    // Rotations to an upright or flat orientation: only the first refresh.
    for (const auto& [orientation, refreshes] :
         {std::pair{DeviceOrientation::faceUp, false}, std::pair{DeviceOrientation::landscapeLeft, true}}) {
        Device::currentDevice().setOrientation(orientation);
        const auto drawn = view->renderData()->elementsData();
        screen.advance(0.05);
        EXPECT_EQ(view->renderData()->elementsData(), drawn);
        screen.advance(0.1);
        EXPECT_EQ(view->renderData()->elementsData() != drawn, refreshes) << static_cast<int>(orientation);
    }
    Device::currentDevice().setOrientation(DeviceOrientation::portrait);

    // Closing clears the drawing and takes the overlay controls away.
    EXPECT_NE(VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare), nullptr);
    VKMLayoutDocumentHelper::closeCurrentLayout();
    EXPECT_TRUE(view->renderData()->elementsData() == nullptr ||
                view->renderData()->elementsData()->drawingInstructions()->empty());
    EXPECT_EQ(screen.controller->zoomButton(), nullptr);
    EXPECT_EQ(screen.controller->actionsStack(), nullptr);
    EXPECT_EQ(VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare), nullptr);
    EXPECT_TRUE(screen.controller->outlets.layoutInfoStackView.lock()->isHidden());

    // A memory warning is logged with the screen's class.
    testsupport::LogWatch log;
    Application::sharedApplication().receiveMemoryWarning();
    EXPECT_EQ(log.Count("Memory warning received in VKMLayoutViewController"), 1);
}

TEST(LayoutScreen, TheProgressViewShowsWhileLoadingAndFadesWhenLoaded) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    auto& center = platform::NotificationCenter::defaultCenter();
    center.postNotificationName(VKMLayoutViewController::kLayoutIsLoadingNotification, nullptr);
    screen.advance(0.2);
    EXPECT_EQ(screen.controller->progressHUD(), nullptr) << "not before 0.25 s";
    screen.advance(0.1);
    ASSERT_NE(screen.controller->progressHUD(), nullptr);
    const auto progress = screen.controller->progressHUD();
    screen.open(kBoardScenario, "progress.wkst");
    EXPECT_EQ(screen.controller->progressHUD(), nullptr);
    EXPECT_EQ(progress->superview(), nullptr);
    EXPECT_TRUE(screen.controller->outlets.emptyStateStackView.lock()->isHidden());
    // A drawn document shows no progress view when another load starts.
    center.postNotificationName(VKMLayoutViewController::kLayoutIsLoadingNotification, nullptr);
    screen.advance(0.5);
    EXPECT_EQ(screen.controller->progressHUD(), nullptr);
}

TEST(LayoutScreen, TheSessionForgetsTheDocumentWhenItIsClosedOrReplaced) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    for (const bool replace : {false, true}) {
        screen.open(kBoardScenario, "first.wkst");
        CCompositeGeometry* element = screen.layout().GetElements().at(0);
        session.setLayout(&screen.layout());
        session.setCurrentElement(element);
        session.setLastContextMenuElement(element);
        session.setIsDirty(true);
        if (replace) {
            screen.open(kTinyScenario, "second.wkst");
        } else {
            VKMLayoutDocumentHelper::closeCurrentLayout();
        }
        EXPECT_EQ(session.layout(), nullptr) << replace;
        EXPECT_EQ(session.currentElement(), nullptr) << replace;
        EXPECT_EQ(session.lastContextMenuElement(), nullptr) << replace;
        EXPECT_FALSE(session.isDirty()) << replace;
    }
}

TEST(LayoutScreen, TheDebugMarkerIsDrawnButLeavesTheDocument) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "marker.wkst");
    const tElements before = screen.layout().GetElements();
    const auto view = screen.controller->outlets.layoutView.lock();
    const std::size_t drawn = view->renderData()->elementsData()->drawingInstructions()->size();
    screen.controller->addDebugTapLocationIndicatorAt({50, 50});
    EXPECT_EQ(screen.layout().GetElements(), before);
    EXPECT_GT(view->renderData()->elementsData()->drawingInstructions()->size(), drawn);
}

TEST(LayoutScreen, TheViewSizesItselfByTheZoomAndRefreshesOnlyWithALayout) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "size.wkst");
    const auto view = screen.controller->outlets.layoutView.lock();
    screen.layout().SetZoom(0.5);
    screen.layout().SetWorkspaceSize(3000, 1200);
    EXPECT_EQ(view->intrinsicContentSize(), (platform::Size{1500, 600}));

    auto lone = std::make_shared<VKMLayoutView>(platform::Rect{0, 0, 100, 100});
    EXPECT_EQ(lone->intrinsicContentSize(), (platform::Size{kViewNoIntrinsicMetric, kViewNoIntrinsicMetric}));
    lone->refreshLayoutRenderData();
    EXPECT_FALSE(lone->hasRenderData());
}

TEST(LayoutScreen, ASharedLayoutShowsItsTitleAndTheAuthorTapFiltersTheCatalogue) {
    ScreenFixture screen;
    std::optional<platform::Error> error;
    const auto json = platform::Value::fromJson(
        R"({"id":"L9","title":"Harbour_Town_2","author":"u1","uploadDate":"2024-06-01T10:00:00Z","likeUsers":[],)"
        R"("blobName":"L9.layout"})");
    const auto entity = QLLayoutEntity::entityWithJSON(*json, error);
    ASSERT_NE(entity, nullptr);
    VKMLayoutEntityCache::sharedInstance().setObject(entity, "L9");
    screen.show(UserInterfaceIdiom::phone);
    // A local file shows no title.
    screen.open(kBoardScenario, "local.wkst");
    EXPECT_TRUE(screen.controller->outlets.layoutInfoStackView.lock()->isHidden());
    EXPECT_FALSE(screen.controller->likedByUser());

    VKMLayoutSession::sharedSession().setCloudLayoutId("L9");
    screen.open(kBoardScenario, "shared.wkst");
    VKMLayoutSession::sharedSession().setCloudLayoutId("L9");
    screen.controller->refreshTitleAuthorLabel();
    EXPECT_EQ(screen.controller->outlets.layoutTitleLabel.lock()->text(), "Harbour Town 2");
    // The author's name is not known yet: no title on the button.
    EXPECT_EQ(screen.controller->outlets.authorButton.lock()->currentTitle().value_or(""), "");
    EXPECT_FALSE(screen.controller->outlets.layoutInfoStackView.lock()->isHidden());
    EXPECT_NE(screen.controller->outlets.likeButton.lock()->currentImage(), nullptr);

    layouttest::Heard filter(VKMNotificationNames::kChangeCatalogFilter);
    screen.controller->authorTapped();
    ASSERT_EQ(filter.count, 1);
    EXPECT_EQ(*filter.last.find("QLKeyModelScale")->asString(), "User#u1");
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
}

TEST(LayoutScreen, ADocumentOpenedBeforeTheScreenWasMadeIsShown) {
    ScreenFixture screen;
    // Opened as the app opens a file handed in at launch: before the layout
    // tab's screen exists.
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(layouttest::WriteScenario(kBoardScenario, "early.wkst")));
    screen.show(UserInterfaceIdiom::phone);
    screen.advance(1);
    screen.window->layoutIfNeeded();
    EXPECT_TRUE(screen.controller->outlets.emptyStateStackView.lock()->isHidden());
    EXPECT_TRUE(screen.controller->outlets.layoutView.lock()->hasRenderData());
}

TEST(LayoutScreen, AResizedWindowFitsAndCentresAFittedLayoutAgain) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "resized.wkst");
    // Panned away at the fitted zoom first.
    screen.synth->pan({{250, 450}, {130, 490}}, 0.3);
    screen.advance(0.5);
    ASSERT_NE(screen.controller->contentOffset().x, 0);

    // A desktop window dragged wider and lower, as the desktop resizes it.
    screen.window->screen()->setSize({700, 500});
    screen.window->transitionToSize({700, 500}, 0);
    screen.advance(0.2);
    EXPECT_NEAR(screen.zoom(), 500.0 / 1000 * 0.9, 0.45 * 0.01) << "the shorter side is now the height";
    EXPECT_EQ(screen.controller->zoomButton()->currentZoomFactor(), screen.zoom());
    const auto shot = screen.window->snapshot();
    ASSERT_NE(shot, nullptr);
    ASSERT_EQ(shot->pixelWidth(), 1400);
    const int cx = shot->pixelWidth() / 2;
    const int cy = shot->pixelHeight() / 2;
    const int boardHalf = static_cast<int>(500 * screen.zoom() * 2);
    EXPECT_TRUE(layouttest::PixelNear(*shot, cx, cy - 20, 255, 0, 0, 255)) << "board in the middle";
    EXPECT_TRUE(layouttest::PixelNear(*shot, cx - boardHalf + 6, cy - 20, 255, 0, 0, 255));
    EXPECT_TRUE(layouttest::PixelNear(*shot, cx + boardHalf - 6, cy - 20, 255, 0, 0, 255));
    EXPECT_TRUE(layouttest::PixelNear(*shot, cx - boardHalf - 6, cy + 20, 255, 255, 255, 255));
    EXPECT_TRUE(layouttest::PixelNear(*shot, cx + boardHalf + 6, cy + 20, 255, 255, 255, 255));
}

// A zoom the user chose survives a resize of the window or a turn of the
// tablet, and the point of the layout in the middle of the view stays
// there; a layout shown fitted is fitted to the new size.
TEST(LayoutScreen, AResizeKeepsAChosenZoomAndTheMiddleAndRefitsAFittedLayout) {
    struct Case {
        const char* name;
        UserInterfaceIdiom idiom;
        bool zoomed;
        platform::Size to;
        double duration;  // 0: a desktop window's edge dragged; else a turn
    };
    const Case cases[] = {
        {"phone window made wider", UserInterfaceIdiom::phone, true, {700, 500}, 0},
        {"phone window made narrower", UserInterfaceIdiom::phone, true, {320, 700}, 0},
        {"tablet window made smaller", UserInterfaceIdiom::tablet, true, {600, 900}, 0},
        {"tablet turned", UserInterfaceIdiom::tablet, true, {1180, 820}, 0.3},
        {"fitted tablet turned", UserInterfaceIdiom::tablet, false, {1180, 820}, 0.3},
        {"fitted phone window made wider", UserInterfaceIdiom::phone, false, {700, 500}, 0},
    };
    for (const Case& c : cases) {
        ScreenFixture screen;
        screen.show(c.idiom);
        screen.open(kBoardScenario, "kept.wkst");
        VKMLayoutViewController& controller = *screen.controller;
        const auto view = controller.outlets.layoutView.lock();
        const platform::Rect before = view->bounds();
        const platform::Point mid{before.width / 2, before.height / 2};
        if (c.zoomed) {
            // Spread and moved as fingers do: well past the fitting zoom,
            // the layout's middle off the view's.
            screen.synth->pinch({mid.x - 20, mid.y}, {mid.x + 20, mid.y}, {mid.x - 60, mid.y}, {mid.x + 60, mid.y},
                                0.5);
            screen.synth->pan({{mid.x, mid.y}, {mid.x + 90, mid.y - 70}}, 0.3);
            screen.advance(0.5);
            ASSERT_GT(screen.zoom(), controller.fittingZoomFactor() * 1.5) << c.name;
        }
        const double zoom = screen.zoom();
        const platform::Point offset = controller.contentOffset();
        const platform::Point middle{(mid.x - offset.x) / zoom, (mid.y - offset.y) / zoom};

        screen.window->screen()->setSize(c.to);
        screen.window->transitionToSize(c.to, c.duration);
        if (c.duration > 0) {
            Device::currentDevice().setOrientation(c.to.width > c.to.height ? DeviceOrientation::landscapeLeft
                                                                            : DeviceOrientation::portrait);
        }
        screen.advance(0.5);
        const platform::Rect after = view->bounds();
        ASSERT_NE(after.size(), before.size()) << c.name;
        const platform::Point now = controller.contentOffset();
        if (c.zoomed) {
            EXPECT_EQ(screen.zoom(), zoom) << c.name;
            const platform::Point shown{(after.width / 2 - now.x) / zoom, (after.height / 2 - now.y) / zoom};
            EXPECT_NEAR(shown.x, middle.x, 1e-6) << c.name << ": the layout's point in the middle";
            EXPECT_NEAR(shown.y, middle.y, 1e-6) << c.name;
        } else {
            // Fitted and centred anew (a turned tablet keeps its shorter
            // side, and so its zoom).
            const CLayoutParameters& workspace = screen.layout().GetParameters();
            const double fitted = screen.zoom();
            EXPECT_DOUBLE_EQ(fitted, controller.fittingZoomFactor()) << c.name;
            EXPECT_NEAR(now.x, -(fitted * workspace.mWorkspaceWidth - after.width) / 2, 1e-6) << c.name;
            EXPECT_NEAR(now.y, -(fitted * workspace.mWorkspaceHeight - after.height) / 2, 1e-6) << c.name;
        }
        EXPECT_EQ(controller.zoomButton()->currentZoomFactor(), screen.zoom()) << c.name;
        Device::currentDevice().setOrientation(DeviceOrientation::portrait);
    }
}

// A file is read off the main thread: the screen keeps its frames coming and
// shows its busy view meanwhile, and the document arrives whole. A read that
// fails while a layout is open leaves the screen as it is with no layout,
// and the user is told.
TEST(LayoutScreen, AFileReadInTheBackgroundKeepsTheScreenGoingAndShowsItIsBusy) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kTinyScenario, "shown.wkst");
    const auto emptyState = screen.controller->outlets.emptyStateStackView.lock();
    ASSERT_TRUE(emptyState->isHidden());
    const auto done = [] {
        return platform::RunLoop::main()->runUntil([] { return !VKMLayoutDocumentHelper::isLoading(); },
                                                   std::chrono::seconds(20));
    };

    // The read waits behind a block that holds the load queue.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    VKMLayoutDocumentHelper::loadQueue().async([released] { released.wait(); });
    int frames = 0;
    platform::DisplayLink link([&frames](const platform::DisplayLink::Frame&) { ++frames; });
    link.addToRunLoop(platform::RunLoop::main(), platform::RunLoopMode::Common);
    VKMFileManager::openFileAtURL(layouttest::WriteScenario(kBoardScenario, "big.wkst"));
    EXPECT_TRUE(VKMLayoutDocumentHelper::isLoading());
    EXPECT_TRUE(screen.layout().GetElements().empty()) << "the old document is closed, the new one not here yet";
    screen.advance(0.2);
    EXPECT_EQ(screen.controller->progressHUD(), nullptr) << "not before 0.25 s";
    screen.advance(0.3);
    ASSERT_NE(screen.controller->progressHUD(), nullptr);
    const auto progress = screen.controller->progressHUD();
    EXPECT_GE(frames, 25) << "frames go on while the file is read";
    EXPECT_TRUE(screen.layout().GetElements().empty());
    release.set_value();
    ASSERT_TRUE(done());
    EXPECT_FALSE(screen.layout().GetElements().empty());
    // The busy view stays until the tiles drawn aside show the layout.
    screen.advance(0.2);
    ASSERT_TRUE(screen.controller->outlets.layoutView.lock()->waitForTiles());
    screen.advance(1);
    EXPECT_EQ(screen.controller->progressHUD(), nullptr);
    EXPECT_EQ(progress->superview(), nullptr);
    EXPECT_TRUE(emptyState->isHidden());
    link.invalidate();

    // A file cut short, opened over the drawn layout.
    const std::string good = layouttest::WriteScenario(kBoardScenario, "cut.wkst");
    std::filesystem::resize_file(good, std::filesystem::file_size(good) / 2);
    VKMFileManager::openFileAtURL(good);
    ASSERT_TRUE(done());
    screen.advance(0.5);
    EXPECT_TRUE(screen.layout().GetElements().empty());
    EXPECT_EQ(screen.controller->progressHUD(), nullptr) << "no busy view for a read that has ended";
    EXPECT_FALSE(emptyState->isHidden()) << "the screen with no layout, not a blank one";
    EXPECT_TRUE(screen.controller->outlets.layoutInfoStackView.lock()->isHidden());
    const auto alerts = AlertController::presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "Operation failed");
    alerts[0]->dismissViewController(false);
}

namespace {

// The render data the view shows, drawn against a build made afresh from
// the document as it is: pixels that differ.
int StalePixels(ScreenFixture& screen) {
    const auto view = screen.controller->outlets.layoutView.lock();
    std::shared_ptr<VKMLayoutRenderData> fresh;
    VKMLayoutView::buildRenderData(fresh, screen.layout(), screen.controller->transientEditActions(), false);
    const platform::Rect rect = screen.window->bounds();
    const platform::Point offset = screen.controller->contentOffset();
    auto shown = platform::BitmapContext::createForPointSize(rect.size(), 0.5);
    auto reference = platform::BitmapContext::createForPointSize(rect.size(), 0.5);
    VKMLayoutView::drawLayout(*shown, rect, &screen.layout(), view->renderData().get(), offset);
    VKMLayoutView::drawLayout(*reference, rect, &screen.layout(), fresh.get(), offset);
    int differing = 0;
    for (int y = 0; y < reference->pixelHeight(); ++y) {
        for (int x = 0; x < reference->pixelWidth(); ++x) {
            differing += *shown->pixel(x, y) == *reference->pixel(x, y) ? 0 : 1;
        }
    }
    return differing;
}

}  // namespace

// A file an open reads is fitted and its elements built on the load queue;
// the screen takes those layers when it centres the document, unless the
// document, its display edits or the background style changed meanwhile.
TEST(LayoutScreen, TheElementsBuiltWithTheReadAreShownOnlyWhileTheyHold) {
    enum class Change { none, moved, darkened, edited };
    CTracksOnlyEditAction tracksOnly;
    for (const Change change : {Change::none, Change::moved, Change::darkened, Change::edited}) {
        SCOPED_TRACE(static_cast<int>(change));
        ScreenFixture screen;
        screen.show(UserInterfaceIdiom::phone);
        const auto view = screen.controller->outlets.layoutView.lock();
        VKMFileManager::openFileAtURL(layouttest::WriteScenario(kBoardScenario, "read.wkst"));
        ASSERT_TRUE(platform::RunLoop::main()->runUntil([] { return !VKMLayoutDocumentHelper::isLoading(); },
                                                        std::chrono::seconds(20)));
        ASSERT_FALSE(screen.layout().GetElements().empty());
        // Fitted with the read: the board moved off the origin already.
        EXPECT_GT(screen.layout().GetElements().front()->GetPosition().x, 0);
        switch (change) {
            case Change::none: break;
            case Change::moved: {
                CCompositeGeometry* board = screen.layout().GetElements().front();
                board->SetPosition(CPoint(board->GetPosition().x + 150, board->GetPosition().y, 0));
                break;
            }
            case Change::darkened:
                platform::UserDefaults::standard().setBool(VKMLayoutView::kDarkBackgroundKey, true);
                break;
            case Change::edited:
                UTransientEditActions::Add(CCurrentCloudLayout::Instance().GetTransientEditActions(), &tracksOnly);
                break;
        }
        const auto elementsBefore = view->renderData() ? view->renderData()->elementsData() : nullptr;
        screen.advance(0.15);
        ASSERT_TRUE(view->waitForTiles());
        screen.advance(0.1);
        EXPECT_EQ(StalePixels(screen), 0);
        EXPECT_NE(view->renderData()->elementsData(), elementsBefore);
        platform::UserDefaults::standard().removeObject(VKMLayoutView::kDarkBackgroundKey);
    }
}

TEST(LayoutScreen, AnOpenedLayoutsPicturesAreDecodedWithTheReadBeforeTheMainThreadHasIt) {
    // Large pictures take seconds to decode: on the main thread no frame
    // would come meanwhile, so they are decoded with the read, those of a
    // hidden layer too.
    const char* const scenario = R"(version 13
param grid off
layer "Plan"
straight length=800 at=100,250 angle=0
layer "Plans" type=image
image "North" at=0,0 size=400,300 pixels=64,48
image "South" at=0,400 size=400,300 pixels=64,48
layer "Hidden plans" type=image hidden
image "Sketch" at=500,0 size=400,300
)";
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    std::vector<std::string> undecoded;
    int loaded = 0;
    auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        VKMLayoutDocumentHelper::kDocumentLoadedNotification, nullptr, [&](const platform::Notification&) {
            ++loaded;
            for (const CImageElement* image : CCurrentCloudLayout::Instance().Layout()->GetImages()) {
                if (!image->IsPictureDecoded()) undecoded.push_back(image->GetName());
            }
        });
    VKMFileManager::openFileAtURL(layouttest::WriteScenario(scenario, "pictures.wkst"));
    ASSERT_TRUE(platform::RunLoop::main()->runUntil([] { return !VKMLayoutDocumentHelper::isLoading(); },
                                                    std::chrono::seconds(20)));
    platform::NotificationCenter::defaultCenter().removeObserver(token);
    ASSERT_EQ(loaded, 1);
    ASSERT_EQ(screen.layout().GetImages().size(), 3u);
    EXPECT_TRUE(undecoded.empty()) << undecoded.size() << " undecoded, first " << undecoded.front();
}

TEST(LayoutScreen, TheElementsBuiltDuringTheOpensPauseAreShownOnlyWhileTheyHold) {
    for (const bool moved : {false, true}) {
        ScreenFixture screen;
        screen.show(UserInterfaceIdiom::phone);
        ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(layouttest::WriteScenario(kBoardScenario, "pause.wkst")));
        const auto view = screen.controller->outlets.layoutView.lock();
        screen.advance(0.15);
        ASSERT_TRUE(view->hasPreparedRenderData()) << "built during the pause";
        EXPECT_TRUE(!view->renderData()->elementsData() ||
                    view->renderData()->elementsData()->drawingInstructions()->empty())
            << "shown before the pause ended";
        if (moved) {
            // Moved without a word to the screen: the count of changes says it.
            CCompositeGeometry* board = screen.layout().GetElements().front();
            board->SetPosition(CPoint(board->GetPosition().x + 150, board->GetPosition().y, 0));
        }
        screen.advance(0.1);
        EXPECT_FALSE(view->hasPreparedRenderData());
        EXPECT_EQ(StalePixels(screen), 0) << (moved ? "the elements from before the move" : "as built at once");
    }
}

namespace {

std::string EmptyStateText(VKMLayoutViewController& controller) {
    const auto image = controller.view()->viewWithTag(VKMLayoutViewController::kEmptyStateImageTag);
    const auto stack = image ? image->superview() : nullptr;
    if (!stack || stack->isHidden()) return "<not shown>";
    for (const auto& view : stack->subviews()) {
        if (auto label = std::dynamic_pointer_cast<Label>(view)) return label->text();
    }
    return "<no label>";
}

}  // namespace

TEST(LayoutScreen, TheEmptyScreenSaysNoLayoutIsOpenInTheUsersLanguage) {
    platform::Bundle* bundle = platform::Bundle::main();
    ASSERT_NE(bundle, nullptr);
    // The app makes this screen before its services are up (in a process
    // of its own, as ctest runs each test, none are yet).
    bundle->setPreferredLanguage(std::string("de"));
    VKMLayoutScenes::registerScenes();
    const auto early =
        Storyboard(VKMLayoutScenes::kStoryboard)
            .instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(EmptyStateText(*early), "Kein Gleisplan geöffnet");

    // Every language the app ships has the text.
    for (const std::string& language : bundle->localizations()) {
        bundle->setPreferredLanguage(language);
        const auto text = bundle->localizedString("NoLayoutOpen", "QLStrings");
        EXPECT_TRUE(text.has_value() && !text->empty()) << language;
    }
    VKMLayoutDocumentHelper::closeCurrentLayout();
    for (const auto& [language, expected] : {std::pair<std::string, std::string>{"en", "No layout open"},
                                             std::pair<std::string, std::string>{"de", "Kein Gleisplan geöffnet"}}) {
        bundle->setPreferredLanguage(language);
        ScreenFixture screen;
        screen.show(UserInterfaceIdiom::phone);
        EXPECT_EQ(EmptyStateText(*screen.controller), expected) << language;
    }
    bundle->setPreferredLanguage(std::string("en"));
}

// The column of action buttons over the drawn layout and the colourise
// menu its Colorize button opens: the buttons in their order and places,
// what their taps and long presses do, what is left once they are removed,
// and the web page Browse opens.

#include <gtest/gtest.h>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/AutoColorize/VKMAutoColorizeOptionsPopupMenuManager.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsTableViewController.h"
#include "LayoutModule/Zoom/VKMZoomButton.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "widgets/HoverNotification/VKMBouncyMessageTextView.h"
#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/Views/UIViewVekmont.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"
#include "tests/LayoutModule/TabFixture.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

using namespace platform::ui;
using Helper = VKMLayoutActionButtonHelper;

namespace {

// Two tracks on two layers, both white.
const char* const kScenario = R"(version 13
layer "One"
straight length=300 at=0,0 color=1,1,1
layer "Two"
straight length=300 at=0,200 color=1,1,1
)";


platform::Point CentreInWindow(const View& view) {
    const platform::Rect frame = view.convertRectToView(view.bounds(), nullptr);
    return {frame.x + frame.width / 2, frame.y + frame.height / 2};
}

std::vector<std::string> Names(const StackView& stack) {
    std::vector<std::string> names;
    for (const auto& view : stack.arrangedSubviews()) names.push_back(view->accessibilityIdentifier());
    return names;
}

long CountEvents(const std::string& name) {
    const auto& events = testsupport::Analytics().events;
    return std::count_if(events.begin(), events.end(), [&](const auto& event) { return event.first == name; });
}

}  // namespace

TEST(ActionButtons, TheColumnHoldsItsButtonsInOrderAndBrowseGoesTopRightOnATablet) {
    layouttest::ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kScenario, "column.wkst");
    const auto stack = screen.controller->actionsStack();
    ASSERT_NE(stack, nullptr);
    EXPECT_EQ(Names(*stack), (std::vector<std::string>{"share", "settings", "layer", "colorize"}));
    EXPECT_EQ(Helper::button(Helper::kBrowse), nullptr);
    EXPECT_EQ(Helper::button(Helper::kShare)->bounds().size(), (platform::Size{40, 40}));

    // On a tablet the browse button leaves the column for the top right
    // corner of the drawing.
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::tablet);
    const auto parent = screen.controller->outlets.layoutView.lock();
    const auto column =
        Helper::addOverlayButtonsTo(parent, screen.controller->outlets.layoutInfoStackView.lock(), true);
    screen.window->layoutIfNeeded();
    EXPECT_EQ(Names(*column), (std::vector<std::string>{"share", "settings", "layer", "colorize"}));
    const auto browse = Helper::button(Helper::kBrowse);
    ASSERT_NE(browse, nullptr);
    EXPECT_EQ(browse->superview(), parent);
    EXPECT_EQ(browse->frame().y, 35);
    EXPECT_EQ(parent->bounds().width - (browse->frame().x + browse->frame().width), 17.5);
    EXPECT_EQ(browse->bounds().size(), (platform::Size{45, 45}));
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    column->removeFromSuperview();
}

TEST(ActionButtons, TapsAndLongPressesDoWhatEachButtonIsFor) {
    layouttest::ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kScenario, "taps.wkst");
    layouttest::Heard share(VKMLayoutViewController::kShareLayoutNotification);
    layouttest::Heard options(VKMLayoutViewController::kShowColorizeOptionsNotification);
    layouttest::Heard coloured(kQLLayoutPropertiesChangedNotification);

    screen.synth->tap(CentreInWindow(*Helper::button(Helper::kShare)));
    screen.synth->wait(0.5);
    EXPECT_EQ(share.count, 1);
    EXPECT_EQ(share.object, Helper::button(Helper::kShare).get());
    // The screen answers with the share sheet at once, and gives it the
    // picture once it is drawn; the test waits for it, so that no drawing
    // outlives the test.
    const auto dismissShareSheet = [&screen] {
        // The document is copied in turns of the main loop, then drawn.
        screen.advance(0.1);
        const auto ready = [] {
            const auto sheets = presentedControllers<ActivityViewController>();
            return !sheets.empty() && !sheets.front()->isWaitingForItems();
        };
        platform::RunLoop::main()->runUntil(ready, std::chrono::seconds(30));
        const auto sheets = presentedControllers<ActivityViewController>();
        ASSERT_EQ(sheets.size(), 1u);
        EXPECT_FALSE(sheets.front()->isWaitingForItems());
        screen.advance(1);
        sheets.front()->dismissViewController(false);
    };
    dismissShareSheet();

    // A tap colours by type; a long press opens the options once, at its
    // start, and colours nothing.
    const long byType = CountEvents("AutoColorized");
    screen.synth->tap(CentreInWindow(*Helper::button(Helper::kColorize)));
    screen.synth->wait(0.5);
    EXPECT_EQ(coloured.count, 1);
    EXPECT_EQ(CountEvents("AutoColorized"), byType + 1);
    screen.synth->longPress(CentreInWindow(*Helper::button(Helper::kColorize)), 1.5);
    screen.synth->wait(0.5);
    EXPECT_EQ(options.count, 1);
    EXPECT_EQ(options.object, Helper::button(Helper::kColorize).get());
    EXPECT_EQ(coloured.count, 1);
    if (auto menu = screen.controller->presentedViewController()) screen.controller->dismissViewController(false);

    // Settings opens its scene at its button and counts the event. The
    // settings present on the selected tab of a tab bar at the root, and a
    // phone shows them in a navigation controller (for its Done button).
    const long settingsOpened = CountEvents("LayoutSettingsOpened");
    auto tabs = std::make_shared<TabBarController>();
    screen.window->setRootViewController(nullptr);
    tabs->setViewControllers({screen.controller});
    screen.window->setRootViewController(tabs);
    screen.synth->tap(CentreInWindow(*Helper::button(Helper::kSettings)));
    screen.synth->wait(1);
    const auto navigation = std::dynamic_pointer_cast<NavigationController>(tabs->presentedViewController());
    ASSERT_NE(navigation, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<VKMLayoutSettingsTableViewController>(navigation->topViewController()),
              nullptr);
    EXPECT_EQ(CountEvents("LayoutSettingsOpened"), settingsOpened + 1);
    tabs->dismissViewController(false);

    // Once removed, an old settings or layer button does nothing and an old
    // share button posts without an object.
    const auto oldSettings = Helper::button(Helper::kSettings);
    const auto oldLayer = Helper::button(Helper::kLayer);
    const auto oldShare = Helper::button(Helper::kShare);
    Helper::removeActionButtons();
    EXPECT_EQ(oldShare->superview(), nullptr);
    oldSettings->buttonTapped();
    oldLayer->buttonTapped();
    screen.synth->wait(1);
    EXPECT_EQ(tabs->presentedViewController(), nullptr);
    EXPECT_EQ(CountEvents("LayoutSettingsOpened"), settingsOpened + 1);
    oldShare->buttonTapped();
    EXPECT_EQ(share.count, 2);
    EXPECT_EQ(share.object, nullptr);
    dismissShareSheet();

    // A dimmed tint greys the circle's outline.
    auto button = VKMLayoutActionButton::make();
    const platform::Color normal = button->circleShapeLayer()->strokeColor();
    button->setTintAdjustmentMode(TintAdjustmentMode::dimmed);
    EXPECT_EQ(button->circleShapeLayer()->strokeColor(), (platform::Color{2.0 / 3, 2.0 / 3, 2.0 / 3, 0.5}));
    button->setTintAdjustmentMode(TintAdjustmentMode::normal);
    EXPECT_EQ(button->circleShapeLayer()->strokeColor(), normal);
}

TEST(ActionButtons, TheLongPressOpensTheColouriseMenuBesideItsButtonAndColoursByTheChoice) {
    for (const char* language : {"en", "de"}) {
        testsupport::RegisterLocalization(language);
        layouttest::ScreenFixture screen;
        screen.show(UserInterfaceIdiom::phone);
        screen.open(kScenario, std::string("menu-") + language + ".wkst");
        layouttest::Heard coloured(kQLLayoutPropertiesChangedNotification);
        const auto colorize = Helper::button(Helper::kColorize);
        screen.synth->longPress(CentreInWindow(*colorize), 1);
        screen.synth->wait(1);
        const auto menu =
            std::dynamic_pointer_cast<PopupMenuViewController>(screen.controller->presentedViewController());
        ASSERT_NE(menu, nullptr) << language;
        EXPECT_EQ(menu->sourceViewAsUIView(), colorize);
        std::vector<std::string> titles;
        for (const auto& action : menu->actions()) titles.push_back(action->title().value_or(""));
        const std::vector<std::string> expected =
            std::string(language) == "en"
                ? std::vector<std::string>{"By height",         "By layer",  "By manufacturer",
                                           "By product number", "By radius", "By type"}
                : std::vector<std::string>{"Nach Artikelnummer", "Nach Ebene",  "Nach Hersteller",
                                           "Nach Höhe",          "Nach Radius", "Nach Typ"};
        EXPECT_EQ(titles, expected) << language;
        // The menu sits beside the button: its panel starts within reach.
        const platform::Rect panel = menu->contentFrame();
        const platform::Rect anchor = colorize->convertRectToView(colorize->bounds(), nullptr);
        EXPECT_LT(std::abs(panel.y - anchor.y), 200) << language;

        // Choosing "by layer" colours the two tracks apart.
        testsupport::LogWatch log;
        const std::size_t byLayer =
            std::find(titles.begin(), titles.end(), std::string(language) == "en" ? "By layer" : "Nach Ebene") -
            titles.begin();
        screen.synth->tap(CentreInWindow(*menu->actions().at(byLayer)->view()));
        screen.synth->wait(1);
        EXPECT_EQ(log.Count("Colorize popup menu action selected: Type 2"), 1) << language;
        EXPECT_EQ(coloured.count, 1) << language;
        const tElements& elements = screen.layout().GetElements();
        EXPECT_NE(elements[0]->GetFirstColor(), elements[1]->GetFirstColor()) << language;
    }
    testsupport::RegisterLocalization("en");

    // Dismissed without a choice, nothing is coloured.
    layouttest::ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kScenario, "menu-none.wkst");
    layouttest::Heard coloured(kQLLayoutPropertiesChangedNotification);
    screen.synth->longPress(CentreInWindow(*Helper::button(Helper::kColorize)), 1);
    screen.synth->wait(1);
    ASSERT_NE(screen.controller->presentedViewController(), nullptr);
    screen.synth->tap({380, 830});
    screen.synth->wait(1);
    EXPECT_EQ(screen.controller->presentedViewController(), nullptr);
    EXPECT_EQ(coloured.count, 0);
}

// The message a colour tap shows stands clear of the zoom button below the
// drawing on the layout tab, from its pop to its fade.
TEST(ActionButtons, TheMessageAfterColouringLeavesTheZoomButtonInSight) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        sidetest::TabFixture screen;
        screen.show(idiom);
        screen.open(kScenario, "message.wkst");
        const auto zoom = screen.controller->zoomButton();
        ASSERT_NE(zoom, nullptr);
        screen.window->layoutIfNeeded();
        // Inside its rounded corners, where only the button itself shows.
        const platform::Rect box = zoom->convertRectToView(zoom->bounds(), nullptr);
        const int x0 = static_cast<int>((box.x + 4) * 2), x1 = static_cast<int>((box.maxX() - 4) * 2);
        const int y0 = static_cast<int>((box.y + 4) * 2), y1 = static_cast<int>((box.maxY() - 4) * 2);
        const auto before = screen.window->snapshot();
        ASSERT_NE(before, nullptr);

        screen.tap(*Helper::button(Helper::kColorize));
        ASSERT_FALSE(UIViewVekmont::subViewsOfKind<VKMBouncyMessageTextView>(*screen.window).empty())
            << "a message is shown";
        std::vector<double> covered;
        for (double t = 0; t < VKMBouncyMessageTextView::kDuration; t += 0.05) {
            const auto shot = screen.window->snapshot();
            int changed = 0;
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x) {
                    const auto a = *shot->pixel(x, y);
                    const auto b = *before->pixel(x, y);
                    if (std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)}) >
                        40)
                        ++changed;
                }
            }
            if (changed > 0) covered.push_back(t);
            screen.advance(0.05);
        }
        EXPECT_TRUE(covered.empty()) << static_cast<int>(idiom) << ": covered " << covered.size() << " times, first at "
                                     << (covered.empty() ? 0 : covered.front()) << " s";
    }
}

TEST(ActionButtons, BrowseOpensOnlyWebAddressesAndKeepsValidOnesAsTheyAre) {
    const struct {
        const char* weburl;
        std::optional<std::string> opened;
    } cases[] = {
        {"https://plans.example.org/layout/42", "https://plans.example.org/layout/42"},
        {"  http://plans.example.org/a?id=3\n", "http://plans.example.org/a?id=3"},
        {"https://plans.example.org/a%20b", "https://plans.example.org/a%20b"},
        {"https://plans.example.org/a b/Ölberg", "https://plans.example.org/a%20b/%C3%96lberg"},
        {"HTTPS://plans.example.org/", "HTTPS://plans.example.org/"},
        {"javascript:alert(1)", std::nullopt},
        {"file:///etc/passwd", std::nullopt},
        {"ftp://plans.example.org/a", std::nullopt},
        {"vekmont://open", std::nullopt},
        {"http://", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Helper::browseURLFromWebURL(c.weburl), c.opened) << c.weburl;

    // Through the button: the open shared layout's page, and the event.
    layouttest::ScreenFixture screen;
    std::optional<platform::Error> error;
    const auto json = platform::Value::fromJson(
        R"({"id":"L7","title":"Harbour","author":"u1","uploadDate":"2024-06-01T10:00:00Z","likeUsers":[],)"
        R"("blobName":"L7.layout","weburl":"https://plans.example.org/L7"})");
    const auto entity = QLLayoutEntity::entityWithJSON(*json, error);
    ASSERT_NE(entity, nullptr);
    VKMLayoutEntityCache::sharedInstance().setObject(entity, "L7");
    VKMLayoutSession::sharedSession().setCloudLayoutId("L7");
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kScenario, "browse.wkst");
    VKMLayoutSession::sharedSession().setCloudLayoutId("L7");
    screen.controller->installActionsStackView();
    const auto browse = Helper::button(Helper::kBrowse);
    ASSERT_NE(browse, nullptr);
    const std::size_t opened = Application::sharedApplication().openedURLs().size();
    browse->buttonTapped();
    ASSERT_EQ(Application::sharedApplication().openedURLs().size(), opened + 1);
    EXPECT_EQ(Application::sharedApplication().openedURLs().back(), "https://plans.example.org/L7");
    EXPECT_EQ(CountEvents("LayoutURLBrowsed"), 1);
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
}

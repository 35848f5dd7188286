// Where the menu's panel goes: beside its source at every edge of the
// screen on a phone and a tablet, centred without a source, its height by
// the number of rows (scrolling from six), its width by the longest title,
// and again after a change of size.

#include <gtest/gtest.h>

#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/StackView.h"
#include "tests/widgets/support/PopupMenuStage.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <string>
#include <vector>

using namespace popupmenutest;
using platform::Rect;
using platform::Size;
using platform::ui::UserInterfaceIdiom;

namespace {

const std::vector<std::string> kTitles{"By type", "By layer", "By height"};

struct PlacementScreen {
    const char* name;
    UserInterfaceIdiom idiom;
    Size size;
    double bottomInset;
};

const PlacementScreen kScreens[] = {
    {"phone", UserInterfaceIdiom::phone, {390, 844}, 34},
    {"tablet", UserInterfaceIdiom::tablet, {820, 1180}, 20},
};

}  // namespace

TEST(PopupMenuPlacement, ThePanelSitsOnItsSourceAndStaysOnScreenAtEveryEdgeOfPhoneAndTablet) {
    for (const PlacementScreen& screen : kScreens) {
        const double W = screen.size.width;
        const double H = screen.size.height;
        // Three rows: 150 high; as wide as the longest title with its
        // paddings and the icon's room.
        const double w = 50 + labelWidth("By height") + 27;
        const double h = 150;
        const double inset = screen.bottomInset;
        struct Case {
            std::string name;
            Rect source;
            double x;
            double y;
        };
        const std::vector<Case> cases{
            {"in the middle: centred on the source, top on its top", {W / 2 - 22, 300, 44, 44}, W / 2 - w / 2, 300},
            {"top left corner: held at 5 % of the width", {4, 50, 44, 44}, 0.05 * W, 50},
            {"top right corner: ends at 95 % of the width", {W - 48, 50, 44, 44}, 0.95 * W - w, 50},
            {"left edge", {0, H / 2, 30, 30}, 0.05 * W, H / 2},
            {"right edge", {W - 30, H / 2, 30, 30}, 0.95 * W - w, H / 2},
            {"bottom edge: lifted to end the safe-area inset above the bottom",
             {W / 2 - 22, H - 60, 44, 44},
             W / 2 - w / 2,
             H - h - inset},
            {"bottom right corner", {W - 48, H - 48, 44, 44}, 0.95 * W - w, H - h - inset},
            {"bottom left corner", {4, H - 48, 44, 44}, 0.05 * W, H - h - inset},
            {"ending exactly at the bottom counts as off screen",
             {W / 2 - 22, H - h, 44, 44},
             W / 2 - w / 2,
             H - h - inset},
            {"a source below the screen puts the panel 8 points from the side", {60, H + 40, 44, 44}, 8, H - h - inset},
            {"a source above the screen, right of centre: to the side and to the bottom",
             {W - 100, -200, 44, 44},
             W - w - 8,
             H - h - inset},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(screen.name) + ": " + c.name);
            Stage s(screen.idiom, screen.size, inset);
            Rows rows(kTitles);
            auto menu = PopupMenuViewController::make(s.sourceAt(c.source), rows.actions);
            ASSERT_TRUE(menu->absoluteSourceFrame());
            EXPECT_EQ(*menu->absoluteSourceFrame(), c.source);
            s.present(menu);
            const Rect expected{c.x, c.y, w, h};
            const Rect frame = menu->contentFrame();
            EXPECT_DOUBLE_EQ(frame.x, expected.x);
            EXPECT_DOUBLE_EQ(frame.y, expected.y);
            EXPECT_DOUBLE_EQ(frame.width, expected.width);
            EXPECT_DOUBLE_EQ(frame.height, expected.height);
            // The panel on screen, to the pixel.
            const Rect shown = windowFrame(*menu->containerView());
            EXPECT_NEAR(shown.x, expected.x, 0.5);
            EXPECT_NEAR(shown.y, expected.y, 0.5);
            EXPECT_NEAR(shown.width, expected.width, 0.5);
            EXPECT_NEAR(shown.height, expected.height, 0.5);
        }
    }
}

TEST(PopupMenuPlacement, WithoutASourceOrWithAnItemOutsideABarThePanelIsCentred) {
    for (const PlacementScreen& screen : kScreens) {
        SCOPED_TRACE(screen.name);
        Stage s(screen.idiom, screen.size, screen.bottomInset);
        Rows rows(kTitles);
        const double w = 50 + labelWidth("By height") + 27;
        auto item = std::make_shared<platform::ui::BarButtonItem>("Colour");
        for (const PopupMenuSource& source : {PopupMenuSource(), PopupMenuSource(item)}) {
            auto menu = PopupMenuViewController::make(source, rows.actions);
            EXPECT_FALSE(menu->absoluteSourceFrame());
            menu->loadViewIfNeeded();
            EXPECT_EQ(menu->contentFrame(), (Rect{screen.size.width / 2 - w / 2, screen.size.height / 2 - 75, w, 150}));
        }
    }
}

TEST(PopupMenuPlacement, ABarButtonItemInABarOpensTheMenuAtItsButton) {
    Stage s;
    auto content = std::make_shared<platform::ui::ViewController>();
    auto item = std::make_shared<platform::ui::BarButtonItem>("Colour");
    content->navigationItem().setRightBarButtonItem(item);
    auto navigation = platform::ui::NavigationController::make(content);
    s.window->setRootViewController(navigation);
    s.window->layoutIfNeeded();
    ASSERT_TRUE(item->view());
    Rows rows(kTitles);
    auto menu = PopupMenuViewController::make(item, rows.actions);
    ASSERT_TRUE(menu->absoluteSourceFrame());
    EXPECT_EQ(*menu->absoluteSourceFrame(), windowFrame(*item->view()));
}

TEST(PopupMenuPlacement, RowsScrollFromSixOnAndThePanelShowsPartOfTheLastVisibleRow) {
    Stage s;
    struct Case {
        std::size_t rows;
        double height;
        bool scrolls;
    };
    for (const Case& c : {Case{5, 250, false}, Case{6, 280, true}, Case{8, 280, true}}) {
        SCOPED_TRACE(std::to_string(c.rows) + " rows");
        std::vector<std::string> titles;
        for (std::size_t i = 0; i < c.rows; ++i) titles.push_back("Row " + std::to_string(i));
        Rows rows(titles);
        auto menu = PopupMenuViewController::make(nullptr, rows.actions);
        s.present(menu);
        EXPECT_EQ(menu->contentFrame().height, c.height);
        EXPECT_EQ(windowFrame(*menu->containerView()).height, c.height);
        const auto& scroll = menu->actionsScrollView();
        EXPECT_EQ(scroll != nullptr, c.scrolls);
        // Sliding selection only where the rows do not scroll.
        EXPECT_EQ(menu->actionsView()->gestureRecognizers().empty(), c.scrolls);
        if (scroll) {
            EXPECT_EQ(scroll->contentSize().height, 50.0 * c.rows);
            EXPECT_EQ(scroll->indicatorStyle(), platform::ui::ScrollViewIndicatorStyle::white);
            EXPECT_TRUE(scroll->showsVerticalScrollIndicator());
            EXPECT_FALSE(scroll->showsHorizontalScrollIndicator());
            // Scrolled to its end, the last row ends at the panel's bottom.
            scroll->setContentOffset({0, 50.0 * c.rows - c.height});
            s.window->layoutIfNeeded();
            const Rect last = windowFrame(*rows.actions.back()->view());
            const Rect panel = windowFrame(*menu->containerView());
            EXPECT_NEAR(last.y + last.height, panel.y + panel.height, 0.5);
            EXPECT_NEAR(last.width, panel.width, 0.5);
        } else {
            // Rows share the panel less a 4-point margin above and below.
            const Rect first = windowFrame(*rows.actions.front()->view());
            EXPECT_NEAR(first.y, windowFrame(*menu->containerView()).y + 4, 0.5);
            EXPECT_NEAR(first.height, (c.height - 8) / c.rows, 0.5);
        }
        menu->dismissViewController(false);
    }
}

TEST(PopupMenuPlacement, TheWidthFollowsTheLongestTitleUpToNineTenthsOfTheScreen) {
    Stage s;
    const auto make = [](std::vector<std::optional<std::string>> titles) {
        std::vector<std::shared_ptr<PopupMenuAction>> actions;
        for (auto& title : titles) actions.push_back(PopupMenuDefaultAction::make(std::move(title)));
        return PopupMenuViewController::make(nullptr, actions);
    };
    struct Case {
        const char* name;
        std::vector<std::optional<std::string>> titles;
        double width;
    };
    const std::string veryLong(200, 'W');
    const std::vector<Case> cases{
        {"no rows", {}, 50},
        {"the longest title", {"ab", "abcdef", "abcd"}, 50 + labelWidth("abcdef") + 27},
        {"a tie keeps the first", {"iiii", "WWWW"}, 50 + labelWidth("iiii") + 27},
        {"a first row without a title is never replaced", {std::nullopt, "abcdef"}, 50 + 27},
        {"capped at 0.9 of the screen", {"a", veryLong}, 0.9 * 390},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto menu = make(c.titles);
        menu->loadViewIfNeeded();
        EXPECT_DOUBLE_EQ(menu->contentFrame().width, c.width);
    }
    EXPECT_EQ(make({})->contentFrame().height, 0) << "an empty menu is 0 high";
}

TEST(PopupMenuPlacement, AChangeOfSizePlacesThePanelAgainForTheNewSize) {
    Stage s;
    Rows rows(kTitles);
    const double w = 50 + labelWidth("By height") + 27;
    auto menu = PopupMenuViewController::make(s.sourceAt({300, 600, 44, 44}), rows.actions);
    s.present(menu);
    EXPECT_EQ(menu->contentFrame(), (Rect{0.95 * 390 - w, 600, w, 150}));

    platform::ui::Screen::mainScreen()->setSize({844, 390});
    s.window->transitionToSize({844, 390}, 0);
    s.window->layoutIfNeeded();
    // The source now lies below the screen: to the side, lifted above the
    // inset.
    const Rect expected{8, 390 - 150 - 34, w, 150};
    EXPECT_EQ(menu->contentFrame(), expected);
    EXPECT_EQ(windowFrame(*menu->containerView()), expected);
    EXPECT_EQ(menu->backgroundView()->frame(), (Rect{0, 0, 844, 390}));
}

// Choosing and closing: a finger sliding over the rows with a selection
// haptic per new row, lifting to choose without the press; a tap on a row;
// the background tap and the panel's margin; the delegate and didDismiss;
// the manager's ways to present; the status bar style.

#include <gtest/gtest.h>

#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/VisualEffectView.h"
#include "tests/widgets/support/PopupMenuStage.h"
#include "widgets/PopupMenu/PopupMenuHaptic.h"
#include "widgets/PopupMenu/PopupMenuManager.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <string>
#include <vector>

using namespace popupmenutest;
using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::Application;
using platform::ui::HapticEvent;
using platform::ui::TouchSynth;

namespace {

const HapticEvent kSelection{HapticEvent::Kind::selection, 0};
const HapticEvent kMediumImpact{HapticEvent::Kind::impact, 2};

struct Chosen : PopupMenuViewControllerDelegate {
    std::vector<std::ptrdiff_t> indexes;
    void popupMenuDidSelectItem(PopupMenuViewController&, std::ptrdiff_t index) override { indexes.push_back(index); }
};

std::vector<bool> highlights(const Rows& rows) {
    std::vector<bool> flags;
    for (const auto& action : rows.actions) flags.push_back(action->highlighted());
    return flags;
}

Point rowMiddle(const Rows& rows, std::size_t index) { return middle(windowFrame(*rows.actions[index]->view())); }

}  // namespace

TEST(PopupMenuInteraction, SlidingHighlightsOneRowAtATimeAndLiftingChoosesItWithoutThePress) {
    Stage s;
    Rows rows({"Type", "Layer", "Height", "Radius"});
    auto chosen = std::make_shared<Chosen>();
    std::vector<bool> dismissed;
    auto menu = PopupMenuViewController::make(nullptr, rows.actions);
    menu->setDelegate(chosen);
    menu->setDidDismiss([&](bool selected) { dismissed.push_back(selected); });
    s.present(menu);
    Application::sharedApplication().clearRecords();

    TouchSynth touch(s.window);
    const Point first = rowMiddle(rows, 0);
    auto finger = touch.touchDown(first);
    touch.wait(TouchSynth::kFrame);
    touch.move({finger}, {{first.x, first.y + 12}});
    EXPECT_EQ(highlights(rows), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(Application::sharedApplication().haptics(), (std::vector<HapticEvent>{kSelection}));
    for (std::size_t i : {1u, 2u, 3u}) {
        touch.wait(TouchSynth::kFrame);
        touch.move({finger}, {rowMiddle(rows, i)});
        std::vector<bool> expected(4, false);
        expected[i] = true;
        EXPECT_EQ(highlights(rows), expected);
        touch.wait(TouchSynth::kFrame);
        touch.move({finger}, {{rowMiddle(rows, i).x + 5, rowMiddle(rows, i).y}});
        EXPECT_EQ(Application::sharedApplication().haptics().size(), i + 1) << "no haptic while on the same row";
    }
    touch.wait(TouchSynth::kFrame);
    touch.lift({finger});
    EXPECT_EQ(highlights(rows), (std::vector<bool>(4, false)));
    EXPECT_EQ(rows.chosen, (std::vector<std::string>{"Radius"}));
    EXPECT_EQ(chosen->indexes, (std::vector<std::ptrdiff_t>{3}));
    EXPECT_EQ(Application::sharedApplication().haptics(),
              (std::vector<HapticEvent>{kSelection, kSelection, kSelection, kSelection, kMediumImpact}));
    s.advance(0.001);
    EXPECT_NE(rows.actions[3]->view()->transform().a, 0.915) << "no press after a slide";
    EXPECT_TRUE(dismissed.empty()) << "heard once the menu has gone";
    s.advance(0.1);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(dismissed, (std::vector<bool>{true}));
}

TEST(PopupMenuInteraction, ATapChoosesARowWithThePressAndWithoutHapticsWhenTheyAreOff) {
    Stage s;
    Rows rows({"Type", "Layer", "Height"});
    auto menu = PopupMenuViewController::make(nullptr, rows.actions);
    menu->setShouldEnableHaptics(false);
    s.present(menu);
    Application::sharedApplication().clearRecords();

    TouchSynth(s.window).tap(rowMiddle(rows, 1));
    EXPECT_EQ(rows.chosen, (std::vector<std::string>{"Layer"}));
    EXPECT_TRUE(Application::sharedApplication().haptics().empty());
    s.advance(0.001);
    EXPECT_EQ(rows.actions[1]->view()->transform().a, 0.915) << "pressed";
    s.advance(0.2);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
}

TEST(PopupMenuInteraction, TheMenuClosesOnABackgroundTapOnlyAndReportsHowItClosed) {
    Stage s;
    Rows rows({"Type", "Layer"});
    std::vector<bool> dismissed;
    auto menu = PopupMenuViewController::make(s.sourceAt({100, 200, 44, 44}), rows.actions);
    menu->setDidDismiss([&](bool selected) { dismissed.push_back(selected); });
    s.present(menu);
    const Rect panel = windowFrame(*menu->containerView());
    TouchSynth touch(s.window);

    // The 4-point margin above the first row belongs to the panel.
    touch.tap({panel.x + panel.width / 2, panel.y + 2});
    s.advance(0.2);
    EXPECT_EQ(s.root->presentedViewController(), menu);
    EXPECT_TRUE(rows.chosen.empty());

    touch.tap({20, 780});
    s.advance(0.2);
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(dismissed, (std::vector<bool>{false}));

    // Closed by its owner: nothing is heard.
    auto again = PopupMenuViewController::make(nullptr, rows.actions);
    again->setDidDismiss([&](bool selected) { dismissed.push_back(selected); });
    s.present(again);
    again->dismissViewController(true);
    s.advance(0.2);
    EXPECT_EQ(dismissed.size(), 1u);
}

TEST(PopupMenuInteraction, AMenuThatStaysOpenOnSelectionAndOneWithoutSlidingKeepTheirRules) {
    Stage s;
    Rows rows({"Type", "Layer", "Height"});
    auto menu = PopupMenuViewController::make(nullptr, rows.actions);
    menu->setShouldDismissOnSelection(false);
    menu->setShouldEnablePanGesture(false);
    s.present(menu);
    TouchSynth touch(s.window);
    touch.tap(rowMiddle(rows, 0));
    s.advance(0.2);
    EXPECT_EQ(s.root->presentedViewController(), menu);
    EXPECT_EQ(rows.chosen, (std::vector<std::string>{"Type"}));

    touch.pan({rowMiddle(rows, 0), rowMiddle(rows, 2)}, 0.3);
    s.advance(0.2);
    EXPECT_EQ(rows.chosen.size(), 1u) << "sliding is off";
    EXPECT_EQ(highlights(rows), (std::vector<bool>(3, false)));
}

TEST(PopupMenuInteraction, TheBackgroundDimsOrBlursAndThePanelIsColouredByItsColours) {
    Stage s;
    Rows rows({"Type"});
    auto dimmed = PopupMenuViewController::make(nullptr, rows.actions);
    dimmed->loadViewIfNeeded();
    EXPECT_EQ(dimmed->backgroundView()->backgroundColor(), (Color{0, 0, 0, 0.4}));
    EXPECT_EQ(dimmed->backgroundView()->findView<platform::ui::VisualEffectView>(), nullptr);
    EXPECT_EQ(dimmed->contentView()->gradientLayer().colors(),
              (std::vector<Color>{Color::white(43.0 / 255), Color::white(55.0 / 255)}));
    EXPECT_EQ(dimmed->contentView()->layer()->opacity(), 0.8);
    EXPECT_EQ(dimmed->contentView()->gradientLayer().startPoint(), (Point{0, 0})) << "diagonal";

    auto appearance = std::make_shared<PopupMenuAppearance>();
    appearance->setPopupMenuBackgroundStyle(PopupMenuBackgroundStyle::blurred(platform::ui::BlurEffectStyle::light));
    appearance->setPopupMenuColor(PopupMenuColor::configure(PopupMenuActionBackgroundColor::solid({1, 0, 0, 1}),
                                                            PopupMenuActionColor::tint(Color::white(0))));
    auto blurred = PopupMenuViewController::make(nullptr, rows.actions, appearance);
    blurred->loadViewIfNeeded();
    const auto blur = blurred->backgroundView()->findView<platform::ui::VisualEffectView>();
    ASSERT_TRUE(blur);
    EXPECT_EQ(blur->effect(), platform::ui::BlurEffectStyle::light);
    EXPECT_EQ(blurred->backgroundView()->backgroundColor(), Color::clear());
    EXPECT_EQ(blurred->contentView()->backgroundColor(), (Color{1, 0, 0, 0.9})) << "solid, at 0.9";
    EXPECT_EQ(blurred->contentView()->layer()->opacity(), 1);
    EXPECT_EQ(rows.actions[0]->tintColor(), Color::white(0));
}

TEST(PopupMenuInteraction, SeparatorsGoBelowEveryRowButTheLastAndOnlyWhenVisible) {
    Stage s;
    Rows plain({"Type", "Layer", "Height"});
    auto menu = PopupMenuViewController::make(nullptr, plain.actions);
    menu->loadViewIfNeeded();
    for (const auto& action : plain.actions) {
        EXPECT_EQ(action->view()->subviews().size(), 1u) << "the title only";
    }
    Rows lined({"Type", "Layer", "Height"});
    auto appearance = std::make_shared<PopupMenuAppearance>();
    appearance->setPopupMenuItemSeparator(PopupMenuActionSeparator::fill(Color::white(1), 1));
    auto withLines = PopupMenuViewController::make(nullptr, lined.actions, appearance);
    s.present(withLines);
    EXPECT_EQ(lined.actions[0]->view()->subviews().size(), 2u);
    EXPECT_EQ(lined.actions[1]->view()->subviews().size(), 2u);
    EXPECT_EQ(lined.actions[2]->view()->subviews().size(), 1u) << "none below the last row";
    const auto line = lined.actions[0]->view()->subviews().back();
    const Rect row = lined.actions[0]->view()->bounds();
    EXPECT_NEAR(line->frame().y, row.height - 1, 0.5) << "at the bottom, to the pixel";
    EXPECT_EQ(line->frame().width, row.width);
    EXPECT_EQ(line->frame().height, 1);
}

TEST(PopupMenuInteraction, TheStatusBarFollowsTheBackground) {
    using platform::ui::BlurEffectStyle;
    using platform::ui::StatusBarStyle;
    struct Case {
        const char* name;
        PopupMenuBackgroundStyle background;
        std::optional<StatusBarStyle> set;
        StatusBarStyle expected;
    };
    const Case cases[] = {
        {"dimmed black", PopupMenuBackgroundStyle::dimmed(Color::white(0), 0.4), {}, StatusBarStyle::lightContent},
        {"dimmed white", PopupMenuBackgroundStyle::dimmed(Color::white(1), 0.4), {}, StatusBarStyle::defaultStyle},
        {"dark blur", PopupMenuBackgroundStyle::blurred(BlurEffectStyle::dark), {}, StatusBarStyle::lightContent},
        {"light blur", PopupMenuBackgroundStyle::blurred(BlurEffectStyle::light), {}, StatusBarStyle::defaultStyle},
        {"none", PopupMenuBackgroundStyle::none(), {}, StatusBarStyle::lightContent},
        {"set", PopupMenuBackgroundStyle::none(), StatusBarStyle::darkContent, StatusBarStyle::darkContent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto appearance = std::make_shared<PopupMenuAppearance>();
        appearance->setPopupMenuBackgroundStyle(c.background);
        appearance->setPopupMenuStatusBarStyle(c.set);
        EXPECT_EQ(PopupMenuViewController::make(nullptr, {}, appearance)->preferredStatusBarStyle(), c.expected);
    }
}

TEST(PopupMenuManager, PresentsOnTheGivenControllerOrTheTopmostOneWithItsSettings) {
    Stage s;
    PopupMenuManager manager(std::make_shared<PopupMenuAppearance>());
    Rows rows({"Type", "Layer"});
    for (const auto& action : rows.actions) manager.addAction(action);
    std::vector<bool> dismissed;
    manager.setPopupMenuDidDismiss([&](bool selected) { dismissed.push_back(selected); });
    manager.setPopupMenuShouldEnableHaptics(false);

    // Tabs, a navigation stack in the selected tab, a sheet on top of it.
    auto inTab = std::make_shared<platform::ui::ViewController>();
    auto navigation = platform::ui::NavigationController::make(inTab);
    auto tabs = std::make_shared<platform::ui::TabBarController>();
    tabs->setViewControllers({std::make_shared<platform::ui::ViewController>(), navigation});
    tabs->setSelectedIndex(1);
    s.window->setRootViewController(tabs);
    auto sheet = std::make_shared<platform::ui::ViewController>();
    sheet->setModalPresentationStyle(platform::ui::ModalPresentationStyle::overFullScreen);
    inTab->presentViewController(sheet, false);
    EXPECT_EQ(PopupMenuManager::topmostViewController(tabs), sheet);

    bool completed = false;
    manager.present(nullptr, nullptr, true, [&] { completed = true; });
    auto first = manager.popupMenu();
    ASSERT_TRUE(first);
    EXPECT_EQ(sheet->presentedViewController(), first);
    EXPECT_EQ(first->appearance(), manager.popupMenuAppearance()) << "the same object";
    EXPECT_FALSE(first->shouldEnableHaptics());
    EXPECT_EQ(first->actions().size(), 2u);
    s.advance(0.2);
    EXPECT_TRUE(completed);

    // A delegate set now reaches the open menu; a row added now goes to it.
    auto chosen = std::make_shared<Chosen>();
    manager.setPopupMenuDelegate(chosen);
    EXPECT_EQ(first->delegate(), chosen);
    manager.addAction(PopupMenuDefaultAction::make("Radius"));
    EXPECT_EQ(first->actions().size(), 3u);
    EXPECT_EQ(manager.actions().size(), 2u);
    first->actionDidSelect(1, false);
    s.advance(0.2);
    EXPECT_EQ(chosen->indexes, (std::vector<std::ptrdiff_t>{1}));
    EXPECT_EQ(dismissed, (std::vector<bool>{true}));

    // On a given controller, whatever the key window shows.
    auto other = std::make_shared<platform::ui::Window>(Rect{0, 0, 390, 844});
    auto elsewhere = std::make_shared<platform::ui::ViewController>();
    other->setRootViewController(elsewhere);
    manager.present(nullptr, elsewhere, false);
    EXPECT_NE(manager.popupMenu(), first);
    EXPECT_EQ(elsewhere->presentedViewController(), manager.popupMenu());
    EXPECT_EQ(sheet->presentedViewController(), nullptr);
}

TEST(PopupMenuManager, WithoutAKeyWindowOrASelectedTabNothingIsPresented) {
    Stage s;
    PopupMenuManager manager(std::make_shared<PopupMenuAppearance>());
    auto tabs = std::make_shared<platform::ui::TabBarController>();
    s.window->setRootViewController(tabs);
    EXPECT_EQ(PopupMenuManager::topmostViewController(tabs), nullptr);
    bool completed = false;
    manager.present(nullptr, nullptr, false, [&] { completed = true; });
    EXPECT_TRUE(manager.popupMenu()) << "the new menu is kept";
    EXPECT_FALSE(manager.popupMenu()->presentingViewController());
    EXPECT_FALSE(completed);

    auto navigation = std::make_shared<platform::ui::NavigationController>();
    EXPECT_EQ(PopupMenuManager::topmostViewController(navigation), nullptr);
    EXPECT_EQ(&PopupMenuManager::defaultManager(), &PopupMenuManager::defaultManager());
    EXPECT_EQ(PopupMenuManager::defaultManager().popupMenuAppearance()->popupMenuActionHeight(), 50);
}

TEST(PopupMenuInteraction, AClosedMenuLetsItsViewsAndRowsGo) {
    Stage s;
    std::weak_ptr<PopupMenuViewController> menuLeft;
    std::weak_ptr<PopupMenuAction> rowLeft;
    std::weak_ptr<platform::ui::View> viewLeft;
    {
        Rows rows({"A", "B", "C", "D", "E", "F", "G"});
        auto appearance = std::make_shared<PopupMenuAppearance>();
        appearance->setPopupMenuBackgroundStyle(PopupMenuBackgroundStyle::blurred(platform::ui::BlurEffectStyle::dark));
        auto menu = PopupMenuViewController::make(s.sourceAt({10, 10, 40, 40}), rows.actions, appearance);
        menu->setDidDismiss([](bool) {});
        s.present(menu);
        TouchSynth(s.window).tap(rowMiddle(rows, 1));
        menuLeft = menu;
        rowLeft = rows.actions[1];
        viewLeft = menu->view();
    }
    s.advance(1);
    EXPECT_TRUE(menuLeft.expired());
    EXPECT_TRUE(rowLeft.expired());
    EXPECT_TRUE(viewLeft.expired());
}

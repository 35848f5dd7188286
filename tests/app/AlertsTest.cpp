// Alerts on the top-most screen: buttons in order, their blocks run by a
// finger on the button, and where the alert goes when screens are stacked.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Utilities/VKMAlerts.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/TabBarController.h"
#include "tests/app/support/AppStage.h"
#include "tests/support/EngineServices.h"

using platform::ui::AlertActionStyle;
using platform::ui::AlertController;
using platform::ui::ViewController;

namespace {

std::shared_ptr<AlertController> OnlyAlert() {
    const auto alerts = AlertController::presentedAlerts();
    return alerts.size() == 1 ? alerts[0] : nullptr;
}

std::vector<std::string> Titles(const AlertController& alert) {
    std::vector<std::string> titles;
    for (const auto& action : alert.actions()) titles.push_back(action->title());
    return titles;
}

}  // namespace

TEST(Alerts, EachKindShowsItsButtonsInOrderAndATapRunsOnlyItsOwnBlock) {
    testsupport::RegisterServices("de");
    testsupport::AppStage stage;
    std::vector<std::string> ran;

    VKMAlerts::showAlertWithTitle("Import", "Please pick a file", "OK", [&] { ran.push_back("ok"); });
    stage.advance(0.5);
    auto alert = OnlyAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->presentingViewController(), stage.root);
    EXPECT_EQ(alert->title(), "Import");
    EXPECT_EQ(alert->message(), "Please pick a file");
    EXPECT_EQ(alert->preferredStyle(), platform::ui::AlertControllerStyle::alert);
    EXPECT_EQ(Titles(*alert), std::vector<std::string>{"OK"});
    EXPECT_TRUE(ran.empty());
    ASSERT_TRUE(stage.tapAlertButton(alert, "OK"));
    EXPECT_EQ(ran, std::vector<std::string>{"ok"});
    EXPECT_EQ(OnlyAlert(), nullptr);

    // The cancel button is translated and only closes the alert.
    VKMAlerts::askYesNoWithTitle("Delete?", "", "Delete", [&] { ran.push_back("delete"); });
    stage.advance(0.5);
    alert = OnlyAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(Titles(*alert), (std::vector<std::string>{"Delete", "Abbrechen"}));
    EXPECT_EQ(alert->actions()[0]->style(), AlertActionStyle::defaultStyle);
    EXPECT_EQ(alert->actions()[1]->style(), AlertActionStyle::cancel);
    ASSERT_TRUE(stage.tapAlertButton(alert, "Abbrechen"));
    EXPECT_EQ(ran, std::vector<std::string>{"ok"});

    VKMAlerts::askYesNoWithTitle(
        "Log out?", "Really", "Yes", "No", [&] { ran.push_back("yes"); }, [&] { ran.push_back("no"); });
    stage.advance(0.5);
    alert = OnlyAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(Titles(*alert), (std::vector<std::string>{"Yes", "No"}));
    ASSERT_TRUE(stage.tapAlertButton(alert, "No"));
    VKMAlerts::askYesNoWithTitle(
        "Log out?", "Really", "Yes", "No", [&] { ran.push_back("yes"); }, [&] { ran.push_back("no"); });
    stage.advance(0.5);
    ASSERT_TRUE(OnlyAlert());
    ASSERT_TRUE(stage.tapAlertButton(OnlyAlert(), "Yes"));
    EXPECT_EQ(ran, (std::vector<std::string>{"ok", "no", "yes"}));

    // An action left empty is a button that only closes.
    VKMAlerts::showAlertWithTitle("Done", "", "OK", {});
    stage.advance(0.5);
    ASSERT_TRUE(OnlyAlert());
    ASSERT_TRUE(stage.tapAlertButton(OnlyAlert(), "OK"));
    EXPECT_EQ(OnlyAlert(), nullptr);
}

TEST(Alerts, GoOverWhatIsPresentedAndIntoTheSelectedTabsNavigationStack) {
    testsupport::RegisterServices();
    testsupport::AppStage stage;

    auto modal = std::make_shared<ViewController>();
    stage.root->presentViewController(modal, false);
    EXPECT_EQ(VKMAlerts::topMostViewController(), modal);
    VKMAlerts::showAlertWithTitle("On the modal", "", "OK", {});
    stage.advance(0.5);
    ASSERT_TRUE(OnlyAlert());
    EXPECT_EQ(OnlyAlert()->presentingViewController(), modal);
    ASSERT_TRUE(stage.tapAlertButton(OnlyAlert(), "OK"));
    modal->dismissViewController(false);

    auto first = std::make_shared<ViewController>();
    auto pushed = std::make_shared<ViewController>();
    auto navigation = platform::ui::NavigationController::make(first);
    navigation->pushViewController(pushed, false);
    auto tabs = std::make_shared<platform::ui::TabBarController>();
    tabs->setViewControllers({std::make_shared<ViewController>(), navigation});
    tabs->setSelectedIndex(1);
    stage.window->setRootViewController(tabs);
    EXPECT_EQ(VKMAlerts::topMostViewController(), pushed);

    // A window made key later wins over the first one.
    auto other = std::make_shared<platform::ui::Window>(platform::Rect{0, 0, 390, 844});
    auto otherRoot = std::make_shared<ViewController>();
    other->setRootViewController(otherRoot);
    other->makeKeyAndVisible();
    EXPECT_EQ(VKMAlerts::topMostViewController(), otherRoot);
    other->setRootViewController(nullptr);
}

TEST(Alerts, WithoutAScreenNothingIsShownAndNoBlockRuns) {
    testsupport::RegisterServices();
    testsupport::VirtualTime time;
    bool ran = false;
    VKMAlerts::showAlertWithTitle("Nowhere", "", "OK", [&] { ran = true; });
    EXPECT_EQ(VKMAlerts::topMostViewController(), nullptr);
    EXPECT_TRUE(AlertController::presentedAlerts().empty());

    // A window without a root controller has no screen to show it on.
    auto window = std::make_shared<platform::ui::Window>(platform::Rect{0, 0, 390, 844});
    window->makeKeyAndVisible();
    VKMAlerts::askYesNoWithTitle(
        "Nowhere", "", "OK", "No", [&] { ran = true; }, [&] { ran = true; });
    EXPECT_TRUE(AlertController::presentedAlerts().empty());
    time.clock->advance(std::chrono::seconds(1));
    EXPECT_FALSE(ran);
}

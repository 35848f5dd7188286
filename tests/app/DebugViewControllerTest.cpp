// The debug screen made from its scene and driven with a finger: the two
// switches flip their user defaults and announce it, the actions sign the
// user out, clear the caches and dump the counters, the log table shows the
// newest line first, the counter table asks at most every five seconds and
// fills only four-field lines, and a rotation sizes the log table anew.

#include "app/Debug/VKMDebugViewController.h"

#include "SharingModule/Model/VKMSharedLayouts.h"
#include "app/Debug/VKMLogTableDataSource.h"
#include "app/Debug/VKMPerfCounterTableDataSource.h"
#include "app/VKMNotificationNames.h"
#include "engine/services/Logger.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ServiceLocator.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace platform::ui;
using platform::Rect;

namespace {

class DebugScreen : public ::testing::Test {
protected:
    void SetUp() override {
        // Registered once per process and never freed, as the start-up does.
        counters = new QLPerformanceCountersService();
        CServiceLocator::Instance().RegisterService(counters);
        VKMDebugViewController::registerScene();
        screen = Storyboard(VKMDebugViewController::kStoryboard)
                     .instantiateViewControllerAs<VKMDebugViewController>(VKMDebugViewController::kSceneIdentifier);
        ASSERT_TRUE(screen);
    }
    void TearDown() override {
        if (window) window->setRootViewController(nullptr);
    }

    void show() {
        window = std::make_shared<Window>(Rect{0, 0, 390, 844});
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        advance(0.1);
        window->layoutIfNeeded();
    }
    void advance(double seconds) {
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
    void tap(const std::shared_ptr<View>& view) {
        ASSERT_TRUE(view);
        const Rect frame = view->convertRectToView(view->bounds(), nullptr);
        TouchSynth(window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
        advance(0.1);
    }
    std::shared_ptr<View> button(const std::string& title) {
        return screen->view()->findViewWithAccessibilityIdentifier(title);
    }

    testsupport::VirtualTime time;
    QLPerformanceCountersService* counters = nullptr;
    std::shared_ptr<VKMDebugViewController> screen;
    std::shared_ptr<Window> window;
};

TEST_F(DebugScreen, SwitchesShowTheirDefaultsAndATapFlipsTheStoredValue) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(VKMDebugViewController::kLogNotificationsKey, true);
    show();
    EXPECT_FALSE(screen->debugSwitchOne()->isOn());
    EXPECT_TRUE(screen->debugSwitchTwo()->isOn());

    std::vector<const void*> posters;
    auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        VKMNotificationNames::kDebugSettingsChanged, nullptr,
        [&](const platform::Notification& n) { posters.push_back(n.object()); });
    testsupport::LogWatch log;
    tap(screen->debugSwitchOne());
    tap(screen->debugSwitchTwo());
    EXPECT_EQ(defaults.boolValue(VKMDebugViewController::kClearCachesOnLaunchKey), true);
    EXPECT_EQ(defaults.boolValue(VKMDebugViewController::kLogNotificationsKey), false);
    EXPECT_EQ(posters, (std::vector<const void*>{screen.get(), screen.get()}));
    EXPECT_EQ(log.Count("User default 'VKMUserDefaultClearCachesOnLaunch' changed to 1"), 1);
    EXPECT_EQ(log.Count("User default 'VKMUserDefaultLogNotifications' changed to 0"), 1);

    // The stored value flips, whatever the switch shows.
    defaults.setBool(VKMDebugViewController::kClearCachesOnLaunchKey, false);
    tap(screen->debugSwitchOne());
    EXPECT_FALSE(screen->debugSwitchOne()->isOn());
    EXPECT_EQ(defaults.boolValue(VKMDebugViewController::kClearCachesOnLaunchKey), true);
}

TEST_F(DebugScreen, ActionsSignOutClearTheCachesAndDumpTheCounters) {
    platform::UserDefaults::standard().setString("VKMSharingUserID", "ada");
    show();
    std::vector<const void*> loggedOut;
    auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        VKMNotificationNames::kUserLoggedOut, nullptr,
        [&](const platform::Notification& n) { loggedOut.push_back(n.object()); });
    testsupport::LogWatch log;

    tap(button("Reset user"));
    EXPECT_EQ(VKMSharedLayouts::sharedLayoutsUser()->userID(), std::optional<std::string>(""));
    EXPECT_EQ(loggedOut, (std::vector<const void*>{screen.get()}));
    EXPECT_EQ(log.Count("VKMDebugViewController: Resetting current user"), 1);
    // The action reloads the log table: its newest line comes first.
    window->layoutIfNeeded();
    auto first = screen->logTableView()->cellForRowAtIndexPath({0, 0});
    ASSERT_TRUE(first);
    EXPECT_NE(first->textLabel()->text().find("Resetting current user"), std::string::npos)
        << first->textLabel()->text();

    tap(button("Clear caches"));
    EXPECT_EQ(log.Count("VKMDebugViewController: Clearing cloud caches"), 1);
    tap(button("Dump counters"));
    EXPECT_EQ(log.Count("VKMDebugViewController: Dumping performance counters"), 1);
}

TEST(DebugLogTable, HasNoRowsForAnEmptyLog) {
    VKMLogTableDataSource empty;
    TableView table;
    EXPECT_EQ(empty.numberOfRowsInSection(table, 0), 0) << "nothing logged yet in this process";
    LogInfo("one line");
    EXPECT_EQ(empty.numberOfRowsInSection(table, 0), 1);
}

TEST_F(DebugScreen, LogTableShowsTheNewestLineFirst) {
    show();
    const auto lines = VKMLogTableDataSource::recentLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Entering VKMDebugViewController"), std::string::npos) << lines.back();
    for (int i = 0; i < 250; ++i) LogInfo("filler %d", i);
    EXPECT_EQ(VKMLogTableDataSource::recentLogLines().size(), 200u);
    screen->logTableView()->reloadData();
    window->layoutIfNeeded();
    EXPECT_EQ(screen->logTableView()->numberOfRowsInSection(0), 200);
    auto newest = screen->logTableView()->cellForRowAtIndexPath({0, 0});
    auto older = screen->logTableView()->cellForRowAtIndexPath({0, 1});
    ASSERT_TRUE(newest && older);
    EXPECT_NE(newest->textLabel()->text().find("filler 249"), std::string::npos);
    EXPECT_NE(older->textLabel()->text().find("filler 248"), std::string::npos);
}

TEST_F(DebugScreen, CounterTableAsksAtMostEveryFiveSecondsAndFillsOnlyFourFieldLines) {
    counters->Enable();
    QLPerformanceCounters::addToCounter("LoadLayout", 12);
    QLPerformanceCounters::addToCounter("Draw, with a comma", 3);
    show();

    auto source = screen->perfCounterTableDataSource();
    ASSERT_TRUE(source->cachedCounterStrings());
    const auto fetchedAt = *source->lastRefreshTimestamp();
    QLPerformanceCounters::addToCounter("LoadLayout", 30);
    advance(4);
    screen->perfCounterTableView()->reloadData();
    screen->perfCounterTableView()->reloadData();
    EXPECT_EQ(*source->lastRefreshTimestamp(), fetchedAt) << "fetched once within five seconds";
    advance(1.5);
    screen->perfCounterTableView()->reloadData();
    EXPECT_GT(*source->lastRefreshTimestamp(), fetchedAt);

    const auto lines = *source->cachedCounterStrings();
    ASSERT_EQ(lines.size(), 3u);
    window->layoutIfNeeded();
    auto labelsOf = [&](int row) {
        std::vector<std::string> texts;
        auto cell = screen->perfCounterTableView()->cellForRowAtIndexPath({0, row});
        for (int tag = 1; tag <= 4; ++tag) {
            auto label = cell ? std::dynamic_pointer_cast<Label>(cell->viewWithTag(tag)) : nullptr;
            texts.push_back(label ? label->text() : "<none>");
        }
        return texts;
    };
    // Sorted by name: "Draw, with a comma" (five fields) before "LoadLayout".
    EXPECT_EQ(labelsOf(0), (std::vector<std::string>{"Name", "Calls", "Total (ms)", "Average (ms)"}));
    EXPECT_EQ(labelsOf(1), (std::vector<std::string>{"", "", "", ""})) << lines[1];
    EXPECT_EQ(labelsOf(2), (std::vector<std::string>{"LoadLayout", "2\u00D7", "42", "21.0"}));
}

TEST_F(DebugScreen, LogTableIsAQuarterOfTheScreenAndFollowsARotation) {
    show();
    EXPECT_EQ(screen->tableViewHeightConstraint()->constant(), 844.0 / 4);
    EXPECT_NEAR(screen->logTableView()->frame().height, 211, 0.5);
    testsupport::ScopedLogLevel debug(1);
    testsupport::LogWatch log;
    window->transitionToSize({844, 390}, 0.3);
    advance(0.5);
    EXPECT_EQ(screen->tableViewHeightConstraint()->constant(), 390.0 / 4);
    EXPECT_EQ(log.Count("Log table height adjusted to 97"), 1);
}

}  // namespace

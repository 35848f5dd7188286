// Page views from screens: the page name of a screen class, screens that
// appear while automatic page tracking is on, and the page view missed
// while the service was off.

#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/ScreenAppearance.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/ViewController.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMPageLog.h"
#include "telemetry/TelemetryAnalytics/TLMAnalyticsCategory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::vector<std::string> calls;

class MyListViewController final : public platform::ui::ViewController {
public:
    std::string className() const override { return "MyListViewController"; }
    void viewWillAppear(bool animated) override {
        ViewController::viewWillAppear(animated);
        calls.push_back("viewWillAppear");
    }
};

class DetailViewController final : public platform::ui::ViewController {
public:
    std::string className() const override { return "App.DetailViewController"; }
};

std::vector<std::string> storedPages() {
    std::vector<std::string> names;
    for (const auto& log : testsupport::storedLogs(*TLMTelemetry::sharedInstance().channelGroup(), "Analytics")) {
        if (const auto* page = dynamic_cast<const TLMPageLog*>(log.get())) names.push_back(page->name());
    }
    return names;
}

void appear(const std::shared_ptr<platform::ui::ViewController>& controller) {
    controller->beginAppearanceTransition(true, false);
    controller->endAppearanceTransition();
}

void disappear(const std::shared_ptr<platform::ui::ViewController>& controller) {
    controller->beginAppearanceTransition(false, false);
    controller->endAppearanceTransition();
}

}  // namespace

TEST(TLMPageViews, PageNamesOfScreenClasses) {
    EXPECT_EQ(TLMAnalyticsCategory::pageNameForClassName("MyListViewController"), std::optional<std::string>("MyList"));
    EXPECT_EQ(TLMAnalyticsCategory::pageNameForClassName("App.DetailViewController"),
              std::optional<std::string>("Detail"));
    EXPECT_EQ(TLMAnalyticsCategory::pageNameForClassName("ViewController"),
              std::optional<std::string>("ViewController"));
    EXPECT_EQ(TLMAnalyticsCategory::pageNameForClassName("Settings"), std::optional<std::string>("Settings"));
    for (const char* container : {"NavigationController", "TabBarController", "SplitViewController",
                                  "InputWindowController", "PageViewController"}) {
        EXPECT_EQ(TLMAnalyticsCategory::pageNameForClassName(container), std::nullopt) << container;
    }
}

TEST(TLMPageViews, AppearingScreensAreTrackedAfterTheirOwnViewWillAppear) {
    testsupport::ClientRig rig;
    TLMTelemetry::start("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3", {&TLMAnalytics::sharedInstance});
    TLMAnalyticsCategory::activateCategory();
    TLMAnalyticsCategory::activateCategory();  // once per process
    platform::addScreenWillAppearObserver([](const std::string& className) { calls.push_back("hook " + className); });

    auto list = std::make_shared<MyListViewController>();
    appear(list);  // automatic page tracking is off by default
    EXPECT_TRUE(storedPages().empty());

    TLMAnalytics::setAutoPageTrackingEnabled(true);
    calls.clear();
    disappear(list);
    appear(list);
    appear(std::make_shared<DetailViewController>());
    appear(std::make_shared<platform::ui::NavigationController>());
    EXPECT_EQ(storedPages(), (std::vector<std::string>{"MyList", "Detail"}));
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "viewWillAppear");
    EXPECT_EQ(calls[1], "hook MyListViewController");

    // Off: the page is remembered, then tracked once the service is back.
    TLMAnalytics::setEnabled(false);
    appear(std::make_shared<DetailViewController>());
    EXPECT_EQ(TLMAnalyticsCategory::missedPageViewName(), "Detail");
    TLMAnalytics::setEnabled(true);
    EXPECT_TRUE(platform::RunLoop::main()->runUntil([] { return storedPages().size() == 1; }, 5s));
    EXPECT_EQ(storedPages(), std::vector<std::string>{"Detail"});
}

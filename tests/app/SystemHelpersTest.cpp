#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Utilities/System/PreferredLocaleHelper.h"
#include "app/Utilities/System/QLDateStringHelper.h"
#include "app/Utilities/System/QLNotificationObserverTracker.h"
#include "app/Utilities/System/ZDNetworkUtils.h"
#include "engine/services/Logger.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/TimeZone.h"
#include "platform/net/Reachability.h"
#include "tests/support/LogWatch.h"

using namespace std::chrono_literals;

namespace {

void post(const std::string& name) {
    platform::NotificationCenter::defaultCenter().postNotificationName(name, nullptr);
}

// Every flag the links are asked for is the one the test set.
class FixedReachability final : public platform::net::ReachabilitySource {
public:
    explicit FixedReachability(std::optional<std::uint32_t> flags) : mFlags(flags) {}
    std::optional<std::uint32_t> flagsFor(const platform::net::ReachabilityTarget& target) override {
        asked.push_back(target.hostName);
        return mFlags;
    }
    bool startWatching(std::function<void()>) override { return false; }
    void stopWatching() override {}
    std::vector<std::string> asked;

private:
    std::optional<std::uint32_t> mFlags;
};

}  // namespace

TEST(NotificationTracker, ObserversGoWithTheTracker) {
    std::vector<std::string> heard;
    {
        QLNotificationObserverTracker tracker;
        EXPECT_TRUE(tracker.observeNotifications({"QLLayoutDocumentLoaded", "QLLayoutDocumentClosed"},
                                                 [&](const platform::Notification& n) { heard.push_back(n.name()); }));
        post("QLLayoutDocumentLoaded");
        post("QLLayoutDocumentClosed");
        post("SomethingElse");
        EXPECT_EQ(tracker.notificationObservers().size(), 2u);
    }
    post("QLLayoutDocumentLoaded");
    EXPECT_EQ(heard, (std::vector<std::string>{"QLLayoutDocumentLoaded", "QLLayoutDocumentClosed"}));
}

TEST(NotificationTracker, RegisteringANameAgainReplacesItsObserver) {
    QLNotificationObserverTracker tracker;
    int first = 0;
    int second = 0;
    tracker.observeNotification("QLUserLoggedIn", [&](const platform::Notification&) { ++first; });
    tracker.observeNotification("QLUserLoggedIn", [&](const platform::Notification&) { ++second; });
    post("QLUserLoggedIn");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(tracker.notificationObservers().size(), 1u);

    tracker.removeObservers();
    post("QLUserLoggedIn");
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(tracker.notificationObservers().empty());
}

TEST(NotificationTracker, ANamelessObserverIsRefusedRatherThanHearingEverything) {
    QLNotificationObserverTracker tracker;
    int heard = 0;
    testsupport::LogWatch watch;
    EXPECT_FALSE(tracker.observeNotification("", [&](const platform::Notification&) { ++heard; }));
    EXPECT_FALSE(tracker.observeNotification("QLUserLoggedOut", nullptr));
    EXPECT_FALSE(
        tracker.observeNotifications({"QLUserLoggedOut", ""}, [&](const platform::Notification&) { ++heard; }));
    post("QLUserLoggedOut");
    post("AnyOtherName");
    EXPECT_EQ(heard, 1);  // only the named one of the list
    EXPECT_EQ(watch.Count("refused an observer"), 3);
    EXPECT_EQ(tracker.notificationObservers().count(""), 0u);
}

TEST(NotificationTracker, RemovingOneNameKeepsTheOthersAndTheDebugSwitchLogsReleases) {
    CDebugFlags::Get().Set(16, true);
    testsupport::ScopedLogLevel debug(1);
    testsupport::LogWatch watch;
    int loaded = 0;
    int closed = 0;
    QLNotificationObserverTracker tracker;
    tracker.observeNotification("Loaded", [&](const platform::Notification&) { ++loaded; });
    tracker.observeNotification("Closed", [&](const platform::Notification&) { ++closed; });
    tracker.removeObserverForName("Loaded");
    tracker.removeObserverForName("NeverRegistered");
    post("Loaded");
    post("Closed");
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(closed, 1);
    tracker.removeObservers();
    EXPECT_EQ(watch.Count("  1 observer released"), 1);
    EXPECT_EQ(watch.Count("  1 observers released"), 1);
}

TEST(NetworkUtils, ReachableOnlyWithoutAConnectionStillToBeMade) {
    using namespace platform::net;
    struct Case {
        const char* name;
        std::optional<std::uint32_t> flags;
        bool reachable;
    };
    const Case cases[] = {
        {"reachable", ReachabilityFlagReachable, true},
        {"reachable over the cellular network", ReachabilityFlagReachable | ReachabilityFlagIsWWAN, true},
        {"on-demand VPN not yet connected",
         ReachabilityFlagReachable | ReachabilityFlagConnectionRequired | ReachabilityFlagConnectionOnDemand, false},
        {"not reachable", 0u, false},
    };
    for (const Case& c : cases) {
        auto source = std::make_shared<FixedReachability>(c.flags);
        ReachabilitySource::setShared(source);
        EXPECT_EQ(ZDNetworkUtils::isConnectedToNetwork(), c.reachable) << c.name;
        EXPECT_EQ(ZDNetworkUtils::isReachableURL("layouts.example.org"), c.reachable) << c.name;
        EXPECT_EQ(source->asked, (std::vector<std::string>{"", "layouts.example.org"})) << c.name;
    }

    ReachabilitySource::setShared(std::make_shared<FixedReachability>(std::nullopt));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ZDNetworkUtils::isConnectedToNetwork());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to retrieve network reachability flags"),
              std::string::npos);
    EXPECT_FALSE(ZDNetworkUtils::checkReachability(nullptr));
    EXPECT_FALSE(ZDNetworkUtils::isReachableURL(""));
    ReachabilitySource::setShared(nullptr);
}

TEST(DateStringHelper, ReadsTheFixedEnglishFormInLocalTimeOrGivesThePresent) {
    platform::TimeZone::setDefaultTimeZone(platform::TimeZone::named("Europe/Berlin"));
    const QLDateStringHelper::Date present{std::chrono::seconds(1'800'000'000)};
    platform::ScopedClock clock(std::make_shared<platform::VirtualClock>(present));

    // 14:30 in Berlin in December is 13:30 UTC.
    const QLDateStringHelper::Date expected{std::chrono::seconds(1'796'477'400)};
    EXPECT_EQ(QLDateStringHelper::dateStringHelperFromString("Dec 05. 2026, 14:30:00").dateTime(), expected);
    EXPECT_EQ(QLDateStringHelper("05.12.2026").dateTime(), present);
    EXPECT_EQ(QLDateStringHelper("Dec 05. 2026, 14:30:00 and more").dateTime(), present);
    EXPECT_EQ(QLDateStringHelper("Dez 05. 2026, 14:30:00").dateTime(), present);
    EXPECT_EQ(QLDateStringHelper("").dateTime(), present);

    QLDateStringHelper helper("Dec 05. 2026, 14:30:00");
    EXPECT_TRUE(helper.isNewerThan(expected - 1s));
    EXPECT_FALSE(helper.isNewerThan(expected));
    helper.setDateTimeFromString("garbage");
    EXPECT_EQ(helper.dateTime(), present);
    platform::TimeZone::setDefaultTimeZone(std::nullopt);
}

TEST(DateStringHelper, ShowsTheDateInTheLocalesOwnOrder) {
    platform::TimeZone::setDefaultTimeZone(platform::TimeZone::named("Europe/Berlin"));
    platform::Locale::setCurrent("en_GB");
    const QLDateStringHelper helper("Dec 05. 2026, 14:30:00");
    EXPECT_EQ(helper.dateStringForLocale(platform::Locale("de_DE")), "5. Dezember 2026");
    EXPECT_EQ(helper.dateStringForLocaleIdentifier("en_US"), "December 5, 2026");

    testsupport::LogWatch watch;
    EXPECT_EQ(helper.dateStringForLocaleIdentifier(""), "5 December 2026");
    EXPECT_EQ(watch.Count("Assert: Condition not satisfied - \"locale != nil\""), 1);
    platform::TimeZone::setDefaultTimeZone(std::nullopt);
}

TEST(PreferredLocale, TheFirstPreferredLanguageGivesTheCode) {
    for (const char* name : {"VEKMONT_LANGUAGE", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
    EXPECT_FALSE(PreferredLocaleHelper::preferredLanguageCode().has_value());

    setenv("LANG", "C.UTF-8", 1);
    EXPECT_FALSE(PreferredLocaleHelper::preferredLanguageCode().has_value());

    setenv("LANGUAGE", "fr_CH:en", 1);
    EXPECT_EQ(PreferredLocaleHelper::preferredLanguageCode(), "fr");

    setenv("VEKMONT_LANGUAGE", "de-CH", 1);
    EXPECT_EQ(PreferredLocaleHelper::preferredLanguageCode(), "de");
}

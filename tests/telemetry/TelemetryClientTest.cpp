// The telemetry client as the engine uses it: start, switch the analytics
// service, track events into its channel unit, and keep the switches across
// a restart. Every test runs in a process of its own, so each one starts
// with a client that was never configured.

#include "tests/telemetry/TLMLogCapture.h"

#include "platform/foundation/UserDefaults.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/Internals/Util/TLMUuid.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";
const char* const kNotStartedError =
    "Analytics service hasn't been started. You need to call [TLMTelemetry start:YOUR_APP_SECRET "
    "withServices:LIST_OF_SERVICES] first.";
const char* const kSdkDisabledError =
    "The SDK is disabled. Re-enable the whole SDK from Telemetry first before enabling Analytics service.";

void startClient() { TLMTelemetry::start(kAppSecret, {&TLMAnalytics::sharedInstance}); }

std::vector<TLMPendingLog> queuedEvents() {
    std::shared_ptr<TLMChannelUnitDefault> unit = TLMAnalytics::sharedInstance().channelUnit();
    return unit ? unit->pendingLogs() : std::vector<TLMPendingLog>{};
}

const TLMEventLog& asEvent(const TLMPendingLog& pending) {
    const auto* event = dynamic_cast<const TLMEventLog*>(pending.log.get());
    if (event == nullptr) throw std::runtime_error("queued log is not an event");
    return *event;
}

std::vector<std::string> queuedNames() {
    std::vector<std::string> names;
    for (const TLMPendingLog& pending : queuedEvents()) names.push_back(asEvent(pending).name());
    return names;
}

}  // namespace

TEST(TelemetryClient, StartedAnalyticsHandsEventsToItsUnitUnchanged) {
    EXPECT_FALSE(TLMTelemetry::sharedInstance().isSdkConfigured());
    startClient();
    ASSERT_TRUE(TLMTelemetry::sharedInstance().isSdkConfigured());
    // With no level chosen by the app, the client shows warnings and errors.
    EXPECT_EQ(TLMLogger::currentLogLevel(), TLMLogLevelWarning);
    TLMAnalytics::setEnabled(true);
    EXPECT_TRUE(TLMAnalytics::isEnabled());
    EXPECT_TRUE(TLMTelemetry::isEnabled());

    std::shared_ptr<TLMChannelUnitDefault> unit = TLMAnalytics::sharedInstance().channelUnit();
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->configuration().groupId(), "Analytics");
    EXPECT_EQ(unit->configuration().flushInterval(), 6u);
    EXPECT_EQ(unit->configuration().batchSizeLimit(), 50u);
    EXPECT_EQ(TLMTelemetry::sharedInstance().channelGroup()->channelUnitForGroupId("Analytics"), unit);

    const std::map<std::string, std::string> properties{
        {"URL", "https://layouts.example/api/v1/layouts?offset=20"}, {"ErrorCode", "404"}, {"Empty", ""}};
    const auto before = std::chrono::system_clock::now();
    TLMAnalytics::trackEvent("LayoutLoaded");
    TLMAnalytics::trackEvent("CloudAPIError", properties);
    const auto after = std::chrono::system_clock::now();

    const std::vector<TLMPendingLog> queued = queuedEvents();
    ASSERT_EQ(queued.size(), 2u);
    const TLMEventLog& loaded = asEvent(queued[0]);
    const TLMEventLog& failed = asEvent(queued[1]);
    EXPECT_EQ(loaded.type(), "event");
    EXPECT_EQ(loaded.name(), "LayoutLoaded");
    EXPECT_TRUE(loaded.properties().empty());
    EXPECT_EQ(failed.name(), "CloudAPIError");
    EXPECT_EQ(failed.properties(), properties);
    for (const TLMPendingLog& pending : queued) {
        const TLMEventLog& event = asEvent(pending);
        EXPECT_EQ(pending.flags, TLMFlagsNormal);
        EXPECT_TRUE(TLMIsUuidString(event.eventId())) << event.eventId();
        EXPECT_TRUE(TLMIsUuidString(pending.internalId)) << pending.internalId;
        EXPECT_NE(event.eventId(), pending.internalId);
        ASSERT_TRUE(event.timestamp().has_value());
        EXPECT_GE(*event.timestamp(), before);
        EXPECT_LE(*event.timestamp(), after);
    }
    EXPECT_NE(loaded.eventId(), failed.eventId());
    EXPECT_NE(queued[0].internalId, queued[1].internalId);
}

TEST(TelemetryClient, BeforeStartNothingChangesAndTheStartErrorIsLogged) {
    {
        TLMLogCapture capture;
        TLMAnalytics::setEnabled(false);
        TLMAnalytics::trackEvent("TooEarly");
        const std::vector<TLMCapturedLine> errors = capture.linesAt(TLMLogLevelError);
        ASSERT_EQ(errors.size(), 2u);
        for (const TLMCapturedLine& line : errors) {
            EXPECT_EQ(line.message, kNotStartedError);
            EXPECT_EQ(line.tag, "Telemetry");
        }
    }
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().objectForKey("AnalyticsIsEnabled").has_value());
    EXPECT_EQ(TLMAnalytics::sharedInstance().channelUnit(), nullptr);

    // The early switch-off did not stick: after start the service is on.
    startClient();
    EXPECT_TRUE(TLMAnalytics::isEnabled());
    TLMAnalytics::trackEvent("OnTime");
    EXPECT_EQ(queuedNames(), std::vector<std::string>{"OnTime"});
}

TEST(TelemetryClient, MalformedAppSecretConfiguresNothing) {
    struct Case {
        const char* name;
        std::string secret;
    };
    const Case cases[] = {
        {"empty", ""},
        {"blank inside", "7d3f0c21 9a4e"},
        {"only a newline", "\n"},
        {"control byte", std::string("abc\x01", 4)},
    };
    for (const Case& c : cases) {
        TLMLogCapture capture;
        TLMTelemetry::start(c.secret, {&TLMAnalytics::sharedInstance});
        EXPECT_FALSE(TLMTelemetry::sharedInstance().isSdkConfigured()) << c.name;
        EXPECT_FALSE(TLMAnalytics::sharedInstance().started()) << c.name;
        EXPECT_EQ(capture.linesAt(TLMLogLevelError).size(), 1u) << c.name;
    }
    EXPECT_FALSE(TLMTelemetry::isEnabled());

    startClient();
    EXPECT_TRUE(TLMTelemetry::sharedInstance().isSdkConfigured());
    EXPECT_EQ(TLMTelemetry::sharedInstance().appSecret(), std::optional<std::string>(kAppSecret));
    EXPECT_TRUE(TLMAnalytics::sharedInstance().started());
}

TEST(TelemetryClient, SecondStartKeepsTheFirstConfigurationAndUnit) {
    startClient();
    std::shared_ptr<TLMChannelUnitDefault> unit = TLMAnalytics::sharedInstance().channelUnit();
    TLMAnalytics::trackEvent("First");
    {
        TLMLogCapture capture;
        TLMTelemetry::start("another-secret", {&TLMAnalytics::sharedInstance});
        EXPECT_EQ(capture.linesAt(TLMLogLevelWarning).size(), 2u);  // secret ignored, service started already
    }
    EXPECT_EQ(TLMTelemetry::sharedInstance().appSecret(), std::optional<std::string>(kAppSecret));
    EXPECT_EQ(TLMAnalytics::sharedInstance().channelUnit(), unit);
    EXPECT_EQ(queuedNames(), std::vector<std::string>{"First"});
}

TEST(TelemetryClient, WithTheClientDisabledAnalyticsCannotBeSwitched) {
    startClient();
    TLMTelemetry::setEnabled(false);
    EXPECT_FALSE(TLMTelemetry::isEnabled());
    EXPECT_FALSE(TLMAnalytics::isEnabled());  // the client switched its services off with it

    {
        TLMLogCapture capture;
        TLMAnalytics::setEnabled(true);
        const std::vector<TLMCapturedLine> errors = capture.linesAt(TLMLogLevelError);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].message, kSdkDisabledError);
    }
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    EXPECT_EQ(TLMTelemetryUserDefaults::shared().objectForKey("AnalyticsIsEnabled"),
              std::optional<platform::Value>(false));
    TLMAnalytics::trackEvent("WhileOff");
    EXPECT_TRUE(queuedEvents().empty());

    // Switching the client back on brings its services back.
    TLMTelemetry::setEnabled(true);
    EXPECT_TRUE(TLMAnalytics::isEnabled());
    TLMAnalytics::trackEvent("BackOn");
    EXPECT_EQ(queuedNames(), std::vector<std::string>{"BackOn"});
}

TEST(TelemetryClient, DisabledAnalyticsDropsEventsAndDeletesWaitingOnes) {
    startClient();
    TLMAnalytics::trackEvent("Kept");
    ASSERT_EQ(queuedNames(), std::vector<std::string>{"Kept"});

    TLMLogCapture capture;
    TLMAnalytics::setEnabled(false);
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    EXPECT_TRUE(queuedEvents().empty());  // switching off deletes what was waiting

    TLMAnalytics::trackEvent("Dropped");
    TLMAnalytics::trackEvent("DroppedToo", {{"Key", "Value"}});
    EXPECT_TRUE(queuedEvents().empty());
    EXPECT_TRUE(capture.linesAt(TLMLogLevelError).empty());  // being off is no error
    EXPECT_TRUE(capture.linesAt(TLMLogLevelWarning).empty());

    TLMAnalytics::setEnabled(true);
    TLMAnalytics::trackEvent("After");
    EXPECT_EQ(queuedNames(), std::vector<std::string>{"After"});
}

TEST(TelemetryClient, ConcurrentTrackingLosesNoEvent) {
    startClient();
    constexpr int kThreads = 8;
    constexpr int kEventsPerThread = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEventsPerThread; ++i) {
                TLMAnalytics::trackEvent("Event", {{"Thread", std::to_string(t)}, {"Index", std::to_string(i)}});
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    const std::vector<TLMPendingLog> queued = queuedEvents();
    ASSERT_EQ(queued.size(), static_cast<std::size_t>(kThreads * kEventsPerThread));
    std::vector<int> nextIndex(kThreads, 0);
    std::set<std::string> eventIds;
    std::set<std::string> internalIds;
    for (const TLMPendingLog& pending : queued) {
        const TLMEventLog& event = asEvent(pending);
        const int thread = std::stoi(event.properties().at("Thread"));
        const int index = std::stoi(event.properties().at("Index"));
        EXPECT_EQ(index, nextIndex[thread]) << "events of one thread keep their order";
        nextIndex[thread] = index + 1;
        eventIds.insert(event.eventId());
        internalIds.insert(pending.internalId);
    }
    EXPECT_EQ(nextIndex, std::vector<int>(kThreads, kEventsPerThread));
    EXPECT_EQ(eventIds.size(), queued.size());
    EXPECT_EQ(internalIds.size(), queued.size());
}

// Runs `body` in a child process that shares this test's app root, as an
// earlier run of the app would; returns the child's exit code.
template <typename Body>
int runEarlierLaunch(Body body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(TelemetryClient, EnabledStatesSurviveARestart) {
    // Nothing of the client may exist in this process yet: the launches
    // below are forked from it.
    const int firstLaunch = runEarlierLaunch([] {
        startClient();
        TLMAnalytics::setEnabled(false);
        return TLMAnalytics::isEnabled() ? 10 : 0;
    });
    ASSERT_EQ(firstLaunch, 0);

    const int secondLaunch = runEarlierLaunch([] {
        startClient();
        if (TLMAnalytics::isEnabled()) return 20;  // the first launch's switch was lost
        TLMAnalytics::setEnabled(true);
        if (!TLMAnalytics::isEnabled()) return 21;
        TLMTelemetry::setEnabled(false);
        return TLMTelemetry::isEnabled() ? 22 : 0;
    });
    ASSERT_EQ(secondLaunch, 0);

    // The stored defaults as a fresh reader sees them: the app's own domain,
    // each key behind the client's prefix.
    platform::UserDefaults stored(platform::UserDefaults::standard().domain());
    EXPECT_EQ(stored.boolValue("TLTelemetryTelemetryIsEnabled"), std::optional<bool>(false));
    EXPECT_EQ(stored.boolValue("TLTelemetryAnalyticsIsEnabled"), std::optional<bool>(false));

    // This process is the third launch.
    startClient();
    EXPECT_FALSE(TLMTelemetry::isEnabled());
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    TLMTelemetry::setEnabled(true);
    EXPECT_TRUE(TLMAnalytics::isEnabled());

    TLMTelemetryUserDefaults::shared().reload();
    EXPECT_TRUE(TLMTelemetry::isEnabled());
    EXPECT_TRUE(TLMAnalytics::isEnabled());
}

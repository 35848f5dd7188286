// The telemetry client as the engine uses it: start, switch the analytics
// service, track events into its channel unit and on to the ingestion test
// server, and keep the switches across a restart. Every test runs in a
// process of its own, so each one starts with a client that was never
// configured.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUuid.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

using testsupport::IngestionRequest;

namespace {

const char* const kAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";
const char* const kNotStartedError =
    "Analytics service hasn't been started. You need to call [TLMTelemetry start:YOUR_APP_SECRET "
    "withServices:LIST_OF_SERVICES] first.";
const char* const kSdkDisabledError =
    "The SDK is disabled. Re-enable the whole SDK from Telemetry first before enabling Analytics service.";

void startClient(const std::string& startString = kAppSecret) {
    TLMTelemetry::start(startString, {&TLMAnalytics::sharedInstance});
}

using testsupport::ClientRig;

// The logs the unit of that group has stored, in order.
std::vector<std::shared_ptr<TLMAbstractLog>> stored(const std::string& groupId) {
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    return group ? testsupport::storedLogs(*group, groupId) : std::vector<std::shared_ptr<TLMAbstractLog>>{};
}

std::vector<std::shared_ptr<TLMEventLog>> storedEvents() {
    std::vector<std::shared_ptr<TLMEventLog>> events;
    for (const auto& log : stored("Analytics")) {
        auto event = std::dynamic_pointer_cast<TLMEventLog>(log);
        if (!event) throw std::runtime_error("stored log is not an event");
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<std::string> storedNames() {
    std::vector<std::string> names;
    for (const auto& event : storedEvents()) names.push_back(event->name());
    return names;
}

const IngestionRequest* requestWithLogType(const std::vector<IngestionRequest>& requests, const std::string& type) {
    for (const IngestionRequest& request : requests) {
        for (const platform::Value& log : request.logs) {
            const auto* fields = log.asDictionary();
            if (fields != nullptr && fields->at("type").asString() != nullptr && *fields->at("type").asString() == type)
                return &request;
        }
    }
    return nullptr;
}

}  // namespace

TEST(TelemetryClient, StartedAnalyticsStoresEventsUnchangedAndSendsThemAfterTheInterval) {
    ClientRig rig;
    const auto date = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    rig.clock->setDate(date);
    EXPECT_FALSE(TLMTelemetry::sharedInstance().isSdkConfigured());
    const TLMLogLevel levelBefore = TLMLogger::currentLogLevel();
    startClient(kAppSecret);
    ASSERT_TRUE(TLMTelemetry::sharedInstance().isSdkConfigured());
    // A store build keeps the level the app has.
    EXPECT_EQ(TLMLogger::currentLogLevel(), levelBefore);
    EXPECT_EQ(TLMTelemetry::sharedInstance().appSecret(), std::optional<std::string>(kAppSecret));
    EXPECT_EQ(TLMAnalytics::sharedInstance().defaultTransmissionTargetToken(), std::nullopt);
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
    TLMAnalytics::trackEvent("LayoutLoaded");
    TLMAnalytics::trackEvent("CloudAPIError", properties);

    const std::vector<std::shared_ptr<TLMEventLog>> events = storedEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]->type(), "event");
    EXPECT_EQ(events[0]->name(), "LayoutLoaded");
    EXPECT_EQ(events[0]->typedProperties(), nullptr);
    EXPECT_EQ(events[1]->name(), "CloudAPIError");
    EXPECT_EQ(testsupport::stringProperties(*events[1]), properties);
    for (const auto& event : events) {
        EXPECT_TRUE(TLMIsUuidString(event->eventId())) << event->eventId();
        EXPECT_EQ(event->timestamp(), std::optional(date));
    }
    EXPECT_NE(events[0]->eventId(), events[1]->eventId());

    // Nothing before the flush interval; then the start-service log and the
    // events, each from its own unit.
    ASSERT_EQ(stored(TLMTelemetry::kGroupId).size(), 1u);
    rig.clock->advance(std::chrono::milliseconds(5999));
    const auto group = TLMTelemetry::sharedInstance().channelGroup();
    ASSERT_TRUE(testsupport::drainSending(*group));
    EXPECT_EQ(testsupport::callsOnTheWire(*group->httpClient()), 0u);
    EXPECT_TRUE(rig.server.requests().empty());
    rig.clock->advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(rig.server.waitForRequests(2));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const IngestionRequest& request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, "/logs");
        EXPECT_EQ(request.query, "api-version=1.0.0");
        EXPECT_EQ(request.header("App-Secret"), std::optional<std::string>(kAppSecret));
        EXPECT_EQ(request.header("Install-ID"), std::optional<std::string>(TLMTelemetry::installId()));
        EXPECT_EQ(request.header("Content-Type"), std::optional<std::string>("application/json"));
        EXPECT_EQ(request.kind, IngestionRequest::Kind::Logs) << request.bodyError;
    }
    const IngestionRequest* startService = requestWithLogType(requests, "startService");
    ASSERT_NE(startService, nullptr);
    ASSERT_EQ(startService->logs.size(), 1u);
    const auto& startFields = *startService->logs[0].asDictionary();
    EXPECT_EQ(startFields.at("services"), platform::Value(platform::Value::Array{platform::Value("Analytics")}));
    EXPECT_EQ(startFields.at("isUnifiedCollectorEnabled"), platform::Value(false));
    const IngestionRequest* eventRequest = requestWithLogType(requests, "event");
    ASSERT_NE(eventRequest, nullptr);
    EXPECT_EQ(testsupport::eventNames(*eventRequest), (std::vector<std::string>{"LayoutLoaded", "CloudAPIError"}));
    EXPECT_EQ(eventRequest->logs[1].asDictionary()->at("timestamp"), platform::Value("2023-11-14T22:13:20.000Z"));

    // Sent logs leave the database.
    ASSERT_TRUE(testsupport::eventually([] { return stored("Analytics").empty(); }));
    EXPECT_TRUE(testsupport::eventually([] { return stored(TLMTelemetry::kGroupId).empty(); }));
}

TEST(TelemetryClient, AHostWithLatin1TextsSendsItsLogsWithThoseTextsMended) {
    // The locale from a Latin-1 LANG, the system from a Latin-1 os-release.
    unsetenv("LC_ALL");
    unsetenv("LC_MONETARY");
    setenv("LANG", "fr_F\xE9", 1);
    const std::filesystem::path osRelease = testsupport::processRoot() / "os-release";
    std::ofstream(osRelease) << "NAME=\"Syst\xE8me Libre\"\nVERSION_ID=2\n";
    TLMDeviceTracker::sharedInstance().setOsReleaseFiles({osRelease});
    ClientRig rig;
    TLMLogCapture capture;
    startClient(std::string("target=aaaa-token;appsecret=") + kAppSecret);
    TLMTelemetry::sharedInstance().unifiedCollectorChannelDelegate()->setLogUrl(rig.server.baseUrl());
    TLMAnalytics::trackEvent("LayoutLoaded");
    TLMTelemetry::sharedInstance().channelGroup()->logsDispatchQueue()->sync([] {});  // stored, timers running
    rig.clock->advance(std::chrono::seconds(6));

    // The start log goes to the regular endpoint, the event for the target
    // to the collector; both arrive whole.
    ASSERT_TRUE(rig.server.waitForRequests(2));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    const std::string mendedLocale = "fr_F\xEF\xBF\xBD";
    const std::string mendedName = "Syst\xEF\xBF\xBDme Libre";
    std::vector<IngestionRequest> regular;
    const IngestionRequest* unified = nullptr;
    for (const IngestionRequest& request : requests) {
        if (request.path == "/logs") regular.push_back(request);
        if (request.path == "/UnifiedCollector/1.0") unified = &request;
    }
    const IngestionRequest* startService = requestWithLogType(regular, "startService");
    ASSERT_NE(startService, nullptr);
    EXPECT_EQ(startService->bodyError, "");
    const auto& device = *startService->logs.at(0).asDictionary()->at("device").asDictionary();
    EXPECT_EQ(device.at("locale"), platform::Value(mendedLocale));
    EXPECT_EQ(device.at("osName"), platform::Value(mendedName));
    ASSERT_NE(unified, nullptr);
    EXPECT_EQ(unified->bodyError, "");
    ASSERT_EQ(unified->logs.size(), 1u);
    const auto& ext = *unified->logs[0].asDictionary()->at("ext").asDictionary();
    EXPECT_EQ(ext.at("user").asDictionary()->at("locale"), platform::Value("fr-F\xEF\xBF\xBD"));
    EXPECT_EQ(ext.at("os").asDictionary()->at("name"), platform::Value(mendedName));
    EXPECT_TRUE(capture.linesAt(TLMLogLevelError).empty());
    // Sent, they leave the database.
    EXPECT_TRUE(testsupport::eventually([] { return stored(TLMTelemetry::kGroupId).empty(); }));
    EXPECT_TRUE(testsupport::eventually([] { return stored("Analytics/unified").empty(); }));
}

TEST(TelemetryClient, BeforeStartNothingChangesAndTheStartErrorIsLogged) {
    ClientRig rig;
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
    EXPECT_EQ(storedNames(), std::vector<std::string>{"OnTime"});
}

TEST(TelemetryClient, MalformedStartStringsConfigureNothing) {
    ClientRig rig;
    struct Case {
        const char* name;
        std::string startString;
    };
    const Case cases[] = {
        {"empty", ""},
        {"blank inside", "7d3f0c21 9a4e"},
        {"only a newline", "\n"},
        {"control byte", std::string("abc\x01", 4)},
        {"empty parts", "appsecret=;target="},
    };
    for (const Case& c : cases) {
        TLMLogCapture capture;
        TLMTelemetry::start(c.startString, {&TLMAnalytics::sharedInstance});
        EXPECT_FALSE(TLMTelemetry::sharedInstance().isSdkConfigured()) << c.name;
        EXPECT_FALSE(TLMAnalytics::sharedInstance().started()) << c.name;
        EXPECT_EQ(capture.linesAt(TLMLogLevelError).size(), 1u) << c.name;
    }
    EXPECT_FALSE(TLMTelemetry::isEnabled());
    EXPECT_EQ(TLMTelemetry::sharedInstance().channelGroup(), nullptr);

    // A token alone is enough for analytics, which needs no secret.
    startClient("target=token-only");
    EXPECT_TRUE(TLMTelemetry::sharedInstance().isSdkConfigured());
    EXPECT_EQ(TLMTelemetry::sharedInstance().appSecret(), std::nullopt);
    EXPECT_TRUE(TLMAnalytics::sharedInstance().started());
}

TEST(TelemetryClient, SecondStartKeepsTheFirstConfigurationAndUnit) {
    ClientRig rig;
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
    EXPECT_EQ(storedNames(), std::vector<std::string>{"First"});
    EXPECT_EQ(stored(TLMTelemetry::kGroupId).size(), 1u);  // no second start-service log
}

// Tests that run one after another in a process let the client go; the one
// let go stores and sends nothing more, and the next is never configured.
TEST(TelemetryClient, AClientLetGoStoresAndSendsNothingMore) {
    ClientRig rig;
    startClient();
    TLMTelemetry& first = TLMTelemetry::sharedInstance();
    const std::shared_ptr<TLMChannelGroupDefault> group = first.channelGroup();
    const std::shared_ptr<TLMChannelUnitDefault> unit = TLMAnalytics::sharedInstance().channelUnit();
    TLMAnalytics::trackEvent("Before");
    TLMTelemetry::setDataResidencyRegion(std::string("westeurope"));
    const std::string installId = TLMTelemetry::installId();

    TLMTelemetry::resetSharedInstanceForTests();
    // What was on its way is stored; what comes later is dropped.
    unit->enqueueItem(testsupport::makeEvent("After"), TLMFlagsNormal);
    std::vector<std::string> names;
    for (const auto& log : testsupport::storedLogs(*group, "Analytics")) {
        names.push_back(dynamic_cast<const TLMEventLog&>(*log).name());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Before"});
    rig.clock->advance(std::chrono::seconds(6));
    ASSERT_TRUE(testsupport::drainSending(*group));
    EXPECT_TRUE(rig.server.requests().empty());

    TLMTelemetry& second = TLMTelemetry::sharedInstance();
    EXPECT_NE(&second, &first);
    EXPECT_FALSE(second.isSdkConfigured());
    EXPECT_EQ(second.channelGroup(), nullptr);
    EXPECT_EQ(TLMTelemetry::dataResidencyRegion(), std::nullopt);
    // The id is read again, from the defaults.
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(TLMNewUuidString()), "InstallId");
    EXPECT_NE(TLMTelemetry::installId(), installId);
}

TEST(TelemetryClient, WithTheClientDisabledAnalyticsCannotBeSwitched) {
    ClientRig rig;
    startClient();
    TLMTelemetry::setEnabled(false);
    EXPECT_FALSE(TLMTelemetry::isEnabled());
    EXPECT_FALSE(TLMAnalytics::isEnabled());              // the client switched its services off with it
    EXPECT_TRUE(stored(TLMTelemetry::kGroupId).empty());  // and deleted what they stored

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
    EXPECT_TRUE(storedEvents().empty());

    // Switching the client back on brings its services back.
    TLMTelemetry::setEnabled(true);
    EXPECT_TRUE(TLMAnalytics::isEnabled());
    TLMAnalytics::trackEvent("BackOn");
    EXPECT_EQ(storedNames(), std::vector<std::string>{"BackOn"});
}

TEST(TelemetryClient, AClientStartedDisabledAnnouncesItsServicesOnceEnabled) {
    ClientRig rig;
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(false), "TelemetryIsEnabled");
    startClient();
    EXPECT_TRUE(TLMAnalytics::sharedInstance().started());
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    EXPECT_TRUE(stored(TLMTelemetry::kGroupId).empty());

    TLMTelemetry::setEnabled(true);
    const auto logs = stored(TLMTelemetry::kGroupId);
    ASSERT_EQ(logs.size(), 1u);
    const auto* startService = dynamic_cast<const TLMStartServiceLog*>(logs[0].get());
    ASSERT_NE(startService, nullptr);
    EXPECT_EQ(startService->services(), std::optional(std::vector<std::string>{"Analytics"}));
    EXPECT_FALSE(startService->isUnifiedCollectorEnabled());
}

TEST(TelemetryClient, DisabledAnalyticsDropsEventsAndDeletesStoredOnes) {
    ClientRig rig;
    startClient();
    TLMAnalytics::trackEvent("Kept");
    ASSERT_EQ(storedNames(), std::vector<std::string>{"Kept"});

    TLMLogCapture capture;
    TLMAnalytics::setEnabled(false);
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    EXPECT_TRUE(storedEvents().empty());  // switching off deletes what was stored

    TLMAnalytics::trackEvent("Dropped");
    TLMAnalytics::trackEvent("DroppedToo", {{"Key", "Value"}});
    EXPECT_TRUE(storedEvents().empty());
    EXPECT_TRUE(capture.linesAt(TLMLogLevelError).empty());  // being off is no error
    EXPECT_TRUE(capture.linesAt(TLMLogLevelWarning).empty());

    TLMAnalytics::setEnabled(true);
    TLMAnalytics::trackEvent("After");
    EXPECT_EQ(storedNames(), std::vector<std::string>{"After"});
}

TEST(TelemetryClient, ConcurrentTrackingLosesNoEventOnTheWayToTheServer) {
    ClientRig rig;
    startClient();
    constexpr int kThreads = 8;
    constexpr int kEventsPerThread = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEventsPerThread; ++i) {
                TLMAnalytics::trackEvent("Event", {{"Thread", std::to_string(t)}, {"Index", std::to_string(i)}});
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    // Sent in full batches as they fill; none is left for the timer.
    constexpr std::size_t kBatches = kThreads * kEventsPerThread / 50;
    ASSERT_TRUE(rig.server.waitForRequests(kBatches));
    std::set<std::pair<int, int>> seen;
    for (const IngestionRequest& request : rig.server.requests()) {
        if (requestWithLogType({request}, "event") == nullptr) continue;
        EXPECT_EQ(request.logs.size(), 50u);
        EXPECT_TRUE(request.gzipped);
        std::vector<int> lastIndex(kThreads, -1);
        for (const platform::Value& log : request.logs) {
            const std::map<std::string, std::string> properties = testsupport::stringProperties(log);
            const int thread = std::stoi(properties.at("Thread"));
            const int index = std::stoi(properties.at("Index"));
            EXPECT_GT(index, lastIndex[thread]) << "events of one thread keep their order";
            lastIndex[thread] = index;
            EXPECT_TRUE(seen.insert({thread, index}).second) << "sent twice: " << thread << "/" << index;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEventsPerThread));
    EXPECT_TRUE(testsupport::eventually([] { return stored("Analytics").empty(); }));
}

TEST(TelemetryClient, NetworkRequestsSwitchHoldsLogsBackUntilAllowed) {
    ClientRig rig;
    EXPECT_TRUE(TLMTelemetry::sharedInstance().isNetworkRequestsAllowed());
    startClient();
    TLMTelemetry::sharedInstance().setNetworkRequestsAllowed(false);
    platform::UserDefaults stored(platform::UserDefaults::standard().domain());
    EXPECT_EQ(stored.boolValue("TLTelemetryNetworkRequestsAllowed"), std::optional<bool>(false));

    for (int i = 0; i < 60; ++i) TLMAnalytics::trackEvent("Held");
    const auto group = TLMTelemetry::sharedInstance().channelGroup();
    group->logsDispatchQueue()->sync([] {});  // stored, the flush timers running
    rig.clock->advance(std::chrono::seconds(60));
    ASSERT_TRUE(testsupport::drainSending(*group));
    EXPECT_EQ(testsupport::callsOnTheWire(*group->httpClient()), 0u);
    EXPECT_TRUE(rig.server.requests().empty());
    EXPECT_EQ(storedNames().size(), 60u);

    TLMTelemetry::sharedInstance().setNetworkRequestsAllowed(true);
    ASSERT_TRUE(rig.server.waitForRequests(2));  // a full batch and the other ten at once
    rig.clock->advance(std::chrono::seconds(6));
    ASSERT_TRUE(rig.server.waitForRequests(3));  // the start-service log after its interval
    std::size_t events = 0;
    for (const IngestionRequest& request : rig.server.requests()) {
        events += testsupport::eventNames(request).size();
    }
    EXPECT_EQ(events, 60u);
}

TEST(TelemetryClient, InstallIdIsMadeOnceAndReplacesAnUnreadableOne) {
    TLMTelemetryUserDefaults::shared().setObject(platform::Value("not-a-uuid"), "InstallId");
    const std::string installId = TLMTelemetry::installId();
    EXPECT_TRUE(TLMIsUuidString(installId)) << installId;
    EXPECT_EQ(TLMTelemetryUserDefaults::shared().objectForKey("InstallId"), std::optional<platform::Value>(installId));
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(TLMNewUuidString()), "InstallId");
    EXPECT_EQ(TLMTelemetry::installId(), installId);  // read once per process
}

TEST(TelemetryClient, TheDebuggerCheckReadsTheTracerPid) {
    struct Case {
        const char* name;
        const char* status;
        long tracerPid;
    };
    const Case cases[] = {
        {"not traced", "Name:\tvekmont\nState:\tR (running)\nTracerPid:\t0\nUid:\t1000\n", 0},
        {"traced", "Name:\tvekmont\nTracerPid:\t4242\nUid:\t1000\n", 4242},
        {"traced, last line", "Name:\tvekmont\nTracerPid:\t17", 17},
        {"no such line", "Name:\tvekmont\n", 0},
        {"not a number", "TracerPid:\tnone\n", 0},
        {"prefix of another key", "TracerPidX:\t5\n", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(TLMTelemetry::tracerPidFromStatus(c.status), c.tracerPid) << c.name;
    // The test runs without a debugger.
    EXPECT_FALSE(TLMTelemetry::isDebuggerAttached());
}

TEST(TelemetryClient, TheWillTerminateNotificationWaitsForStoring) {
    ClientRig rig;
    startClient();
    for (int i = 0; i < 20; ++i) TLMAnalytics::trackEvent("Late");
    platform::NotificationCenter::defaultCenter().postNotificationName(kTLMApplicationWillTerminateNotification,
                                                                       nullptr);
    // Read through a connection of our own, not through the logs queue.
    EXPECT_EQ(TLMLogDBStorage().countLogsWithGroupId("Analytics"), 20u);
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
    // below are forked from it. Nothing may leave for a real server either.
    const char* const closedPort = "http://127.0.0.1:9";
    const int firstLaunch = runEarlierLaunch([closedPort] {
        TLMTelemetry::setLogUrl(closedPort);
        startClient();
        TLMAnalytics::setEnabled(false);
        return TLMAnalytics::isEnabled() ? 10 : 0;
    });
    ASSERT_EQ(firstLaunch, 0);

    const int secondLaunch = runEarlierLaunch([closedPort] {
        TLMTelemetry::setLogUrl(closedPort);
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
    TLMTelemetry::setLogUrl(closedPort);
    startClient();
    EXPECT_FALSE(TLMTelemetry::isEnabled());
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    TLMTelemetry::setEnabled(true);
    EXPECT_TRUE(TLMAnalytics::isEnabled());

    TLMTelemetryUserDefaults::shared().reload();
    EXPECT_TRUE(TLMTelemetry::isEnabled());
    EXPECT_TRUE(TLMAnalytics::isEnabled());
}

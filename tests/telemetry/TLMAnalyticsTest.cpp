// The analytics service on the whole client: its two units and the flags
// that choose between them, the limits of names and properties, the
// transmission interval, sessions on its logs, switching off, and events
// for transmission targets on their way to the unified collector. Every
// test runs in a process of its own.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMPageLog.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMStartSessionLog.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMAnalyticsTransmissionTarget.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMPropertyConfigurator.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <string>
#include <vector>

using testsupport::ClientRig;
using testsupport::IngestionRequest;

namespace {

using namespace std::chrono_literals;

const char* const kAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";
const std::string kSmile = "\xF0\x9F\x98\x80";  // one character, two UTF-16 units

void startClient(const std::string& startString = kAppSecret) {
    TLMTelemetry::start(startString, {&TLMAnalytics::sharedInstance});
}

std::vector<std::shared_ptr<TLMAbstractLog>> stored(const std::string& groupId) {
    return testsupport::storedLogs(*TLMTelemetry::sharedInstance().channelGroup(), groupId);
}

template <typename Log>
std::vector<std::shared_ptr<Log>> storedOf(const std::string& groupId) {
    std::vector<std::shared_ptr<Log>> logs;
    for (const auto& log : stored(groupId)) {
        if (auto typed = std::dynamic_pointer_cast<Log>(log)) logs.push_back(std::move(typed));
    }
    return logs;
}

std::vector<std::string> eventNames(const std::string& groupId) {
    std::vector<std::string> names;
    for (const auto& event : storedOf<TLMEventLog>(groupId)) names.push_back(event->name());
    return names;
}

bool hasWarning(TLMLogCapture& capture, const std::string& message) {
    return capture.hasMessage(TLMLogLevelWarning, message);
}

// The one typed property of that name of the first stored event.
std::shared_ptr<TLMTypedProperty> typedProperty(const std::shared_ptr<TLMEventLog>& event, const std::string& name) {
    if (!event->typedProperties()) return nullptr;
    const auto properties = event->typedProperties()->properties();
    const auto found = properties.find(name);
    return found == properties.end() ? nullptr : found->second;
}

const platform::Value* field(const platform::Value& value, std::initializer_list<const char*> path) {
    const platform::Value* at = &value;
    for (const char* key : path) {
        const auto* dictionary = at->asDictionary();
        if (dictionary == nullptr || dictionary->count(key) == 0) return nullptr;
        at = &dictionary->at(key);
    }
    return at;
}

std::string textAt(const platform::Value& value, std::initializer_list<const char*> path) {
    const platform::Value* found = field(value, path);
    return found != nullptr && found->asString() != nullptr ? *found->asString() : std::string("<none>");
}

// The unified collector's batch among the requests the server took.
std::optional<IngestionRequest> collectorRequest(const std::vector<IngestionRequest>& requests) {
    for (const IngestionRequest& request : requests) {
        if (request.path == "/UnifiedCollector/1.0") return request;
    }
    return std::nullopt;
}

// What the service tells its delegate, in order.
class RecordingAnalyticsDelegate final : public TLMAnalyticsDelegate {
public:
    void analyticsWillSendEventLog(TLMAnalytics&, const std::shared_ptr<TLMEventLog>& log) override {
        record("will " + log->name());
    }
    void analyticsDidSucceedSendingEventLog(TLMAnalytics&, const std::shared_ptr<TLMEventLog>& log) override {
        record("sent " + log->name());
    }
    void analyticsWillSendPageLog(TLMAnalytics&, const std::shared_ptr<TLMPageLog>& log) override {
        record("will page " + log->name());
    }
    void analyticsDidSucceedSendingPageLog(TLMAnalytics&, const std::shared_ptr<TLMPageLog>& log) override {
        record("sent page " + log->name());
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mMutex);
        return mCalls;
    }

private:
    void record(std::string call) {
        std::lock_guard lock(mMutex);
        mCalls.push_back(std::move(call));
    }
    mutable std::mutex mMutex;
    std::vector<std::string> mCalls;
};

}  // namespace

TEST(TLMAnalytics, PausedUnitsHoldTheirLogsAndTheDelegateHearsOfSending) {
    ClientRig rig;
    startClient();
    auto delegate = std::make_shared<RecordingAnalyticsDelegate>();
    TLMAnalytics::setDelegate(delegate);
    TLMAnalytics::pause();
    TLMAnalytics::trackEvent("Held");
    TLMAnalytics::trackPage("HeldPage");
    ASSERT_EQ(stored("Analytics").size(), 2u);
    rig.clock->advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(1));  // the start-service log alone
    const auto group = TLMTelemetry::sharedInstance().channelGroup();
    ASSERT_TRUE(testsupport::eventually([&] { return testsupport::callsOnTheWire(*group->httpClient()) == 0; }));
    ASSERT_TRUE(testsupport::drainSending(*group));
    EXPECT_EQ(testsupport::callsOnTheWire(*group->httpClient()), 0u);
    EXPECT_EQ(rig.server.requests().size(), 1u);
    EXPECT_TRUE(delegate->calls().empty());

    // Resumed, the unit starts its interval again.
    TLMAnalytics::resume();
    stored("Analytics");
    rig.clock->advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(2));
    ASSERT_TRUE(testsupport::eventually([] { return stored("Analytics").empty(); }));
    EXPECT_EQ(delegate->calls(),
              (std::vector<std::string>{"will Held", "will page HeldPage", "sent Held", "sent page HeldPage"}));

    // A reset stops the old instance's sessions; the next use makes another.
    TLMAnalytics* old = &TLMAnalytics::sharedInstance();
    std::shared_ptr<TLMSessionTracker> oldTracker = old->sessionTracker();
    TLMAnalytics::resetSharedInstance();
    EXPECT_FALSE(oldTracker->isStarted());
    EXPECT_NE(&TLMAnalytics::sharedInstance(), old);
    EXPECT_FALSE(TLMAnalytics::sharedInstance().started());
}

TEST(TLMAnalytics, TheLowByteOfTheFlagsChoosesTheUnit) {
    ClientRig rig;
    startClient();
    auto critical = TLMAnalytics::sharedInstance().criticalChannelUnit();
    ASSERT_NE(critical, nullptr);
    EXPECT_EQ(critical->configuration().groupId(), "Analytics_critical");
    EXPECT_EQ(critical->configuration().flushInterval(), 6u);
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    EXPECT_NE(group->channelUnitForGroupId("Analytics_critical/unified"), nullptr);

    TLMLogCapture capture;
    TLMAnalytics::trackEvent("Critical", {}, TLMFlagsCritical);
    TLMAnalytics::trackEvent("Zero", {}, TLMFlagsNone);
    TLMAnalytics::trackEvent("Three", {}, static_cast<TLMFlags>(3));
    TLMAnalytics::trackEvent("HighBitsCritical", {}, static_cast<TLMFlags>(0x0102));
    // Straight to sendLog: 3 and 6 have the bit of 2 set, yet are no
    // critical priority.
    TLMAnalytics::sharedInstance().sendLog(testsupport::makeEvent("SentThree"), static_cast<TLMFlags>(3));
    TLMAnalytics::sharedInstance().sendLog(testsupport::makeEvent("SentSix"), static_cast<TLMFlags>(6));

    EXPECT_EQ(eventNames("Analytics"), (std::vector<std::string>{"Zero", "Three", "SentThree", "SentSix"}));
    EXPECT_EQ(eventNames("Analytics_critical"), (std::vector<std::string>{"Critical", "HighBitsCritical"}));
    EXPECT_TRUE(hasWarning(capture, "Invalid flags (0) received, using normal as a default."));
    EXPECT_TRUE(hasWarning(capture, "Invalid flags (3) received, using normal as a default."));
    EXPECT_EQ(capture.linesAt(TLMLogLevelWarning).size(), 2u);

    // Both units send after their interval.
    rig.clock->advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(3));
    std::vector<std::string> sent;
    for (const IngestionRequest& request : rig.server.requests()) {
        for (const std::string& name : testsupport::eventNames(request)) sent.push_back(name);
    }
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent,
              (std::vector<std::string>{"Critical", "HighBitsCritical", "SentSix", "SentThree", "Three", "Zero"}));
}

TEST(TLMAnalytics, NamesAreCutBetweenCharactersAndEmptyNamesDropTheLog) {
    ClientRig rig;
    startClient();
    TLMLogCapture capture;
    const std::string longName(257, 'n');
    TLMAnalytics::trackEvent(longName);
    TLMAnalytics::trackEvent("");
    TLMAnalytics::trackEvent(std::string(255, 'a') + kSmile);  // 257 units; 256 would split the pair
    TLMAnalytics::trackEvent(std::string(254, 'b') + kSmile);  // 256 units: whole
    TLMAnalytics::trackPage("");

    EXPECT_EQ(eventNames("Analytics"),
              (std::vector<std::string>{std::string(256, 'n'), std::string(255, 'a'), std::string(254, 'b') + kSmile}));
    EXPECT_TRUE(storedOf<TLMPageLog>("Analytics").empty());
    EXPECT_TRUE(hasWarning(capture, "event '" + longName +
                                        "' : name length cannot be longer than 256 characters. Name will be "
                                        "truncated."));
    // The channel refuses a log without a name before validation sees it.
    const std::vector<TLMCapturedLine> lines = capture.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const TLMCapturedLine& line) { return line.message == "Log is not valid."; }),
              2);
    EXPECT_EQ(TLMAnalytics::validateEventName("", "page"), std::nullopt);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "page name cannot be null or empty"));
}

TEST(TLMAnalytics, PropertiesAreKeptToTheirLimits) {
    ClientRig rig;
    startClient();
    TLMLogCapture capture;

    std::map<std::string, std::string> pageProperties;
    for (int i = 0; i < 21; ++i) pageProperties.emplace("p" + std::to_string(100 + i), "v");
    TLMAnalytics::trackPage("Props", pageProperties);
    const auto pages = storedOf<TLMPageLog>("Analytics");
    ASSERT_EQ(pages.size(), 1u);
    pageProperties.erase("p120");  // the last in the dictionary's order
    EXPECT_EQ(pages[0]->properties(), pageProperties);
    EXPECT_TRUE(
        hasWarning(capture, "page 'Props' : properties cannot contain more than 20 items. Skipping other properties."));

    auto typed = std::make_shared<TLMEventProperties>();
    typed->setString(std::string(126, 'v'), "longValue");
    typed->setString(std::string(125, 'w'), "exactValue");
    typed->setString(std::string(123, 'x') + kSmile, "pairAtTheEnd");            // 125 units: whole
    typed->setString(std::string(123, 'y') + kSmile + "z", "pairAcrossTheCut");  // 126 units
    typed->setInt64(7, std::string(125, 'k'));
    typed->setBool(true, std::string(126, 'l'));
    typed->setDouble(1.5, std::string(123, 'm') + kSmile + "m");
    TLMAnalytics::trackEventWithTypedProperties("Typed", typed);

    const auto events = storedOf<TLMEventLog>("Analytics");
    ASSERT_EQ(events.size(), 1u);
    const auto text = [&](const std::string& name) {
        auto property = std::dynamic_pointer_cast<TLMStringTypedProperty>(typedProperty(events[0], name));
        return property ? property->value().value_or("<none>") : std::string("<missing>");
    };
    EXPECT_EQ(text("longValue"), std::string(124, 'v'));
    EXPECT_EQ(text("exactValue"), std::string(125, 'w'));
    EXPECT_EQ(text("pairAtTheEnd"), std::string(123, 'x') + kSmile);
    EXPECT_EQ(text("pairAcrossTheCut"), std::string(123, 'y'));
    EXPECT_NE(typedProperty(events[0], std::string(125, 'k')), nullptr);
    EXPECT_NE(typedProperty(events[0], std::string(124, 'l')), nullptr);
    EXPECT_NE(typedProperty(events[0], std::string(123, 'm')), nullptr);
    EXPECT_EQ(events[0]->typedProperties()->count(), 7u);
    EXPECT_TRUE(hasWarning(capture,
                           "Typed property value length cannot exceed 125 characters. Property value will be "
                           "truncated."));
    EXPECT_TRUE(hasWarning(capture, "Typed property '" + std::string(126, 'l') +
                                        "': key length cannot exceed 125 characters. Property value will be "
                                        "truncated."));

    // More than 20: the first 20 in name order.
    capture.clear();
    auto many = std::make_shared<TLMEventProperties>();
    for (int i = 0; i < 25; ++i) many->setInt64(i, "n" + std::to_string(100 + i));
    TLMAnalytics::trackEventWithTypedProperties("Many", many);
    const auto all = storedOf<TLMEventLog>("Analytics");
    ASSERT_EQ(all.size(), 2u);
    const auto kept = all[1]->typedProperties()->properties();
    ASSERT_EQ(kept.size(), 20u);
    EXPECT_EQ(kept.begin()->first, "n100");
    EXPECT_EQ(kept.rbegin()->first, "n119");
    EXPECT_TRUE(hasWarning(capture, "Typed properties cannot contain more than 20 items. Skipping other properties."));
}

TEST(TLMAnalytics, TheTransmissionIntervalIsSetBeforeStartWithinADay) {
    ClientRig rig;
    TLMLogCapture capture;
    const std::string invalid =
        "The transmission interval is not valid, it should be between 6 second(s) and 86400 second(s) (1 day).";
    TLMAnalytics::setTransmissionInterval(5);
    TLMAnalytics::setTransmissionInterval(86401);
    EXPECT_EQ(TLMAnalytics::transmissionInterval(), 6u);
    EXPECT_EQ(capture.linesAt(TLMLogLevelError).size(), 2u);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, invalid));
    TLMAnalytics::setTransmissionInterval(86400);
    EXPECT_EQ(TLMAnalytics::transmissionInterval(), 86400u);
    TLMAnalytics::setTransmissionInterval(6);
    EXPECT_EQ(TLMAnalytics::transmissionInterval(), 6u);
    TLMAnalytics::setTransmissionInterval(60);

    startClient();
    TLMAnalytics::setTransmissionInterval(120);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError,
                                   "The transmission interval should be set before the TLMAnalytics service is "
                                   "started."));
    EXPECT_EQ(TLMAnalytics::transmissionInterval(), 60u);
    EXPECT_EQ(TLMAnalytics::sharedInstance().channelUnit()->configuration().flushInterval(), 60u);
    EXPECT_EQ(TLMAnalytics::sharedInstance().criticalChannelUnit()->configuration().flushInterval(), 6u);
}

TEST(TLMAnalytics, LogsCarryTheirSessionAndSwitchingOffDeletesLogsAndSessions) {
    ClientRig rig;
    // Offline, so that nothing stored is sent (and deleted) while the test
    // reads it back: the clock passes several flush intervals.
    rig.links.links().setFlags(0);
    auto application = std::make_shared<testsupport::StateApplication>(0);
    TLMUtility::setSharedApp(application);
    startClient();

    TLMAnalytics::trackEvent("First");
    TLMAnalytics::trackEvent("Urgent", {}, TLMFlagsCritical);
    TLMAnalytics::trackPage("Page");
    auto logs = stored("Analytics");
    std::string types;
    for (const auto& log : logs) types += log->type() + " ";
    ASSERT_EQ(logs.size(), 3u) << types;
    ASSERT_NE(std::dynamic_pointer_cast<TLMStartSessionLog>(logs[0]), nullptr);
    const std::string session = logs[0]->sid();
    EXPECT_TRUE(TLMIsUuidString(session)) << session;
    EXPECT_EQ(TLMSessionContext::sharedInstance().sessionId(), std::optional(session));
    EXPECT_EQ(logs[1]->sid(), session);
    EXPECT_EQ(logs[2]->sid(), session);
    EXPECT_EQ(stored("Analytics_critical").at(0)->sid(), session);

    // A short stay in the background keeps the session; a long one with no
    // log meanwhile starts the next.
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    center.postNotificationName("UIApplicationDidEnterBackgroundNotification", nullptr);
    rig.clock->advance(5s);
    center.postNotificationName("UIApplicationWillEnterForegroundNotification", nullptr);
    center.postNotificationName("UIApplicationDidEnterBackgroundNotification", nullptr);
    rig.clock->advance(25s);
    center.postNotificationName("UIApplicationWillEnterForegroundNotification", nullptr);
    TLMAnalytics::trackEvent("Second");
    logs = stored("Analytics");
    ASSERT_GE(logs.size(), 5u);
    ASSERT_NE(std::dynamic_pointer_cast<TLMStartSessionLog>(logs[logs.size() - 2]), nullptr);
    const std::string next = logs.back()->sid();
    EXPECT_NE(next, session);
    EXPECT_EQ(logs[logs.size() - 2]->sid(), next);

    TLMAnalytics::setEnabled(false);
    EXPECT_TRUE(stored("Analytics").empty());
    EXPECT_TRUE(stored("Analytics_critical").empty());
    EXPECT_EQ(TLMSessionContext::sharedInstance().sessionId(), std::nullopt);
    EXPECT_EQ(TLMSessionContext::sharedInstance().sessionIdAt(rig.clock->now()), std::nullopt);
    EXPECT_FALSE(TLMAnalytics::sharedInstance().sessionTracker()->isStarted());

    // Back on: a new session at once, in the foreground.
    TLMAnalytics::setEnabled(true);
    logs = stored("Analytics");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(std::dynamic_pointer_cast<TLMStartSessionLog>(logs[0]), nullptr);
    EXPECT_NE(logs[0]->sid(), next);
    TLMUtility::setSharedApp(nullptr);
}

TEST(TLMAnalytics, TargetEventsReachTheUnifiedCollectorWithTheConfiguredFields) {
    ClientRig rig;
    startClient(std::string("target=4dacd24d-aaaa-token;appsecret=") + kAppSecret);
    TLMTelemetry::sharedInstance().unifiedCollectorChannelDelegate()->setLogUrl(rig.server.baseUrl());
    TLMUserIdContext::sharedInstance().setUserId("alice");

    auto defaultTarget = TLMAnalytics::sharedInstance().defaultTransmissionTarget();
    ASSERT_NE(defaultTarget, nullptr);
    TLMPropertyConfigurator& configurator = *defaultTarget->propertyConfigurator();
    configurator.setAppVersion("2.5");
    configurator.setAppName("Vekmont");
    configurator.setAppLocale("de-CH");
    configurator.collectDeviceId();

    auto properties = std::make_shared<TLMEventProperties>();
    properties->setInt64(5, "a.b").setString("T", "baseType").setString("z", "baseData.y").setBool(true, "flag");
    TLMAnalytics::trackEventWithTypedProperties("Opened", properties);
    // Another top-level target: no user id from the context.
    TLMAnalytics::transmissionTargetForToken("77777777-other")->trackEvent("Elsewhere");

    EXPECT_TRUE(stored("Analytics").empty());  // not for the app's own ingestion
    rig.clock->advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(2));  // the collector's batch and the start-service log
    const std::optional<IngestionRequest> request = collectorRequest(rig.server.requests());
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->header("apikey"), std::optional<std::string>("4dacd24d-aaaa-token,77777777-other"));
    ASSERT_EQ(request->logs.size(), 2u);
    const platform::Value* opened = &request->logs[0];
    const platform::Value* elsewhere = &request->logs[1];
    if (textAt(*opened, {"name"}) != "Opened") std::swap(opened, elsewhere);

    EXPECT_EQ(textAt(*opened, {"name"}), "Opened");
    EXPECT_EQ(textAt(*opened, {"iKey"}), "o:4dacd24d");
    EXPECT_EQ(*field(*opened, {"data"}),
              platform::Value(platform::Value::Dictionary{
                  {"baseType", platform::Value("T")},
                  {"baseData", platform::Value(platform::Value::Dictionary{{"y", platform::Value("z")}})},
                  {"a", platform::Value(platform::Value::Dictionary{{"b", platform::Value(std::int64_t{5})}})},
                  {"flag", platform::Value(true)}}));
    EXPECT_EQ(*field(*opened, {"ext", "metadata"}),
              platform::Value(platform::Value::Dictionary{
                  {"f", platform::Value(platform::Value::Dictionary{
                            {"a", platform::Value(platform::Value::Dictionary{
                                      {"f", platform::Value(platform::Value::Dictionary{
                                                {"b", platform::Value(std::int64_t{4})}})}})}})}}));
    EXPECT_EQ(textAt(*opened, {"ext", "app", "ver"}), "2.5");
    EXPECT_EQ(textAt(*opened, {"ext", "app", "name"}), "Vekmont");
    EXPECT_EQ(textAt(*opened, {"ext", "app", "locale"}), "de-CH");
    EXPECT_EQ(textAt(*opened, {"ext", "user", "localId"}), "c:alice");
    EXPECT_EQ(textAt(*opened, {"ext", "device", "localId"}), TLMPropertyConfigurator::getDeviceIdentifier());
    EXPECT_TRUE(TLMIsUuidString(textAt(*opened, {"ext", "sdk", "epoch"})));

    EXPECT_EQ(textAt(*elsewhere, {"iKey"}), "o:77777777");
    EXPECT_EQ(field(*elsewhere, {"ext", "user", "localId"}), nullptr);
    EXPECT_EQ(field(*elsewhere, {"ext", "device", "localId"}), nullptr);
    EXPECT_EQ(field(*elsewhere, {"data"}), nullptr);

    // A user id set on the configurator wins over the context's.
    configurator.setUserId("bob");
    TLMAnalytics::trackEvent("Again");
    std::shared_ptr<TLMUnifiedSchemaLog> again;
    for (const auto& log : storedOf<TLMUnifiedSchemaLog>("Analytics/unified")) {
        if (log->name() == "Again") again = log;
    }
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->ext()->userExt()->localId(), "c:bob");
}

TEST(TLMAnalytics, UserIdsThatAreNotUtf8ReachTheUnifiedCollectorMended) {
    ClientRig rig;
    startClient(std::string("target=4dacd24d-aaaa-token;appsecret=") + kAppSecret);
    TLMTelemetry::sharedInstance().unifiedCollectorChannelDelegate()->setLogUrl(rig.server.baseUrl());
    // Host texts in a Latin-1 locale, for the app and for another target.
    TLMUserIdContext::sharedInstance().setUserId("b\xE9r");
    auto other = TLMAnalytics::transmissionTargetForToken("77777777-other");
    other->propertyConfigurator()->setUserId("\xE9ve");
    TLMAnalytics::trackEvent("ByTheApp");
    other->trackEvent("ByTheTarget");
    TLMTelemetry::sharedInstance().channelGroup()->logsDispatchQueue()->sync([] {});  // stored, timers running

    rig.clock->advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(2));  // the collector's batch and the start-service log
    const std::optional<IngestionRequest> request = collectorRequest(rig.server.requests());
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->bodyError, "");
    std::map<std::string, std::string> localIds;
    for (const platform::Value& log : request->logs) {
        localIds[textAt(log, {"name"})] = textAt(log, {"ext", "user", "localId"});
    }
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(localIds, (std::map<std::string, std::string>{{"ByTheApp", "c:b" + fffd + "r"},
                                                            {"ByTheTarget", "c:" + fffd + "ve"}}));
}

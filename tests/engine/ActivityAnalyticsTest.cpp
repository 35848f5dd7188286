// The activity analytics service between the engine and the telemetry
// client: what reaches the analytics unit, what is dropped and what the app
// log shows. Every test runs in a process of its own.

#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/Logger.h"
#include "engine/services/ServiceLocator.h"
#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMUuid.h"
#include "tests/support/LogWatch.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::CountWith;
using testsupport::RecentLinesAt;
using tProperties = std::map<std::string, std::string>;

void StartTelemetry() { TLMTelemetry::start("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3", {&TLMAnalytics::sharedInstance}); }

// Made once and registered for good, as at start-up.
VKMTelemetryActivityAnalyticsService* RegisterAnalyticsService() {
    auto* service = new VKMTelemetryActivityAnalyticsService();
    CServiceLocator::Instance().RegisterService(service);
    return service;
}

// The events the analytics unit has stored, oldest first, read on the logs
// queue once what was enqueued before has been stored.
std::vector<std::pair<std::string, tProperties>> QueuedEvents() {
    std::vector<std::pair<std::string, tProperties>> events;
    auto unit = TLMAnalytics::sharedInstance().channelUnit();
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    if (!unit || !group) return events;
    group->logsDispatchQueue()->sync([&] {
        auto& storage = dynamic_cast<TLMLogDBStorage&>(*group->storage());
        for (const auto& log : storage.logsFromDBWithGroupId(unit->configuration().groupId())) {
            const auto* event = dynamic_cast<const TLMEventLog*>(log.get());
            if (event == nullptr) continue;
            tProperties strings;
            if (event->typedProperties()) {
                for (const auto& [name, property] : event->typedProperties()->properties()) {
                    const auto* text = dynamic_cast<const TLMStringTypedProperty*>(property.get());
                    if (text != nullptr && text->value()) strings.emplace(name, *text->value());
                }
            }
            events.emplace_back(event->name(), strings);
        }
    });
    return events;
}

}  // namespace

TEST(ActivityAnalytics, ConstructionSwitchesAnalyticsOnAndEventsArriveUnchanged) {
    StartTelemetry();
    TLMAnalytics::setEnabled(false);
    ASSERT_FALSE(TLMAnalytics::isEnabled());

    RegisterAnalyticsService();
    EXPECT_TRUE(TLMAnalytics::isEnabled());

    CLogger::Instance().SetLevel(1);
    const tProperties cloudError{{"URL", "https://layouts.example/api/v1/layouts/42?x=\"a b\""},
                                 {"ErrorCode", "500"},
                                 {"Empty", ""},
                                 {"Unicode",
                                  "Gleis \xC3\xBC"
                                  "ber Br\xC3\xBC"
                                  "cke"}};
    QLActivityAnalytics::trackEvent("LayoutLoaded");
    QLActivityAnalytics::trackEvent("CloudAPIError", cloudError);

    const std::vector<std::pair<std::string, tProperties>> expected{{"LayoutLoaded", {}},
                                                                    {"CloudAPIError", cloudError}};
    EXPECT_EQ(QueuedEvents(), expected);
    const std::vector<std::string> debug = RecentLinesAt(1);
    EXPECT_EQ(CountWith(debug, "Activity Analytics service tracking <LayoutLoaded> event"), 1);
    EXPECT_EQ(CountWith(debug, "Activity Analytics service tracking <CloudAPIError> event"), 1);
    EXPECT_TRUE(RecentLinesAt(3).empty());
}

TEST(ActivityAnalytics, TrackingWhileAnalyticsIsOffWarnsOnceAndSendsNothing) {
    StartTelemetry();
    VKMTelemetryActivityAnalyticsService* service = RegisterAnalyticsService();
    TLMAnalytics::setEnabled(false);

    service->TrackEvent("LayoutLoadFailed");
    EXPECT_EQ(CountWith(RecentLinesAt(3), "TLAnalytics is disabled"), 1);
    service->TrackEvent("LayoutLoadFailed", {{"Reason", "FailedToOpenFile"}});
    EXPECT_EQ(CountWith(RecentLinesAt(3), "TLAnalytics is disabled"), 2);
    EXPECT_TRUE(QueuedEvents().empty());
}

TEST(ActivityAnalytics, WithoutAStartedClientEventsAreDroppedWithTheWarning) {
    // No TLMTelemetry::start: the constructor's switch-on cannot take.
    VKMTelemetryActivityAnalyticsService service;
    EXPECT_FALSE(TLMAnalytics::isEnabled());
    service.TrackEvent("LayoutLoaded");
    EXPECT_EQ(CountWith(RecentLinesAt(3), "TLAnalytics is disabled"), 1);
    EXPECT_TRUE(QueuedEvents().empty());
}

TEST(ActivityAnalytics, IntegrityFailureIsOneEventWithItsCheckType) {
    StartTelemetry();
    // Before the service is registered nothing happens.
    UActivityAnalytics::TrackIntegrityCheckFailure("AlreadyGrouped.AddMember.CGroup");
    EXPECT_TRUE(QueuedEvents().empty());

    RegisterAnalyticsService();
    UActivityAnalytics::TrackIntegrityCheckFailure("AlreadyGrouped.AddMember.CGroup");
    const std::vector<std::pair<std::string, tProperties>> expected{
        {"IntegrityCheckFailure", {{"IntegrityCheckType", "AlreadyGrouped.AddMember.CGroup"}}}};
    EXPECT_EQ(QueuedEvents(), expected);
}

TEST(ActivityAnalytics, ALookupBeforeRegistrationIsNotRemembered) {
    StartTelemetry();
    EXPECT_EQ(QLActivityAnalytics::activityAnalyticsService(), nullptr);
    QLActivityAnalytics::trackEvent("TooEarly");  // no service: nothing, and no crash
    QLActivityAnalytics::trackEvent("TooEarly", {{"Key", "Value"}});
    EXPECT_TRUE(QueuedEvents().empty());

    VKMTelemetryActivityAnalyticsService* service = RegisterAnalyticsService();
    EXPECT_EQ(QLActivityAnalytics::activityAnalyticsService(), service);
    QLActivityAnalytics::trackEvent("OnTime");
    const std::vector<std::pair<std::string, tProperties>> expected{{"OnTime", {}}};
    EXPECT_EQ(QueuedEvents(), expected);
}

TEST(ActivityAnalytics, EventsReachTheIngestionWithTheirSession) {
    testsupport::ClientRig rig;
    auto application = std::make_shared<testsupport::StateApplication>(0);  // in the foreground
    TLMUtility::setSharedApp(application);
    StartTelemetry();
    RegisterAnalyticsService();
    QLActivityAnalytics::trackEvent("LayoutLoadFailed", {{"Reason", "FailedToOpenFile"}});
    ASSERT_EQ(QueuedEvents().size(), 1u);  // stored, so its flush timer runs on the clock

    rig.clock->advance(std::chrono::seconds(6));
    ASSERT_TRUE(rig.server.waitForRequests(2));  // the client's start-service log and the analytics batch
    const platform::Value* event = nullptr;
    const platform::Value* startSession = nullptr;
    const std::vector<testsupport::IngestionRequest> requests = rig.server.requests();
    for (const auto& request : requests) {
        for (const platform::Value& log : request.logs) {
            const std::string type = *log.asDictionary()->at("type").asString();
            if (type == "event") event = &log;
            if (type == "startSession") startSession = &log;
        }
    }
    ASSERT_NE(event, nullptr);
    ASSERT_NE(startSession, nullptr);
    const auto& fields = *event->asDictionary();
    EXPECT_EQ(fields.at("name"), platform::Value("LayoutLoadFailed"));
    EXPECT_EQ(testsupport::stringProperties(*event), (tProperties{{"Reason", "FailedToOpenFile"}}));
    ASSERT_NE(fields.at("sid").asString(), nullptr);
    EXPECT_EQ(fields.at("sid"), startSession->asDictionary()->at("sid"));
    EXPECT_TRUE(TLMIsUuidString(*fields.at("sid").asString()));
    TLMUtility::setSharedApp(nullptr);
}

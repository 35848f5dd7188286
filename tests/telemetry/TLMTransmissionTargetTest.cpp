// Transmission targets: the tree of enabled flags, default properties and
// configured values inherited from parents, refused events, pausing, and
// the authentication provider's ticket key on their logs.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMAnalyticsTransmissionTarget.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMPropertyConfigurator.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Target = std::shared_ptr<TLMAnalyticsTransmissionTarget>;

void startClient() { TLMTelemetry::start("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3", {&TLMAnalytics::sharedInstance}); }

std::vector<std::shared_ptr<TLMUnifiedSchemaLog>> unifiedLogs() {
    std::vector<std::shared_ptr<TLMUnifiedSchemaLog>> logs;
    for (const auto& log :
         testsupport::storedLogs(*TLMTelemetry::sharedInstance().channelGroup(), "Analytics/unified")) {
        if (auto unified = std::dynamic_pointer_cast<TLMUnifiedSchemaLog>(log)) logs.push_back(std::move(unified));
    }
    return logs;
}

std::string dataJson(const TLMUnifiedSchemaLog& log) {
    return log.data() ? log.data()->serializeToDictionary().jsonText(false).value_or("<none>") : "<none>";
}

class CountingProvider final : public TLMAnalyticsAuthenticationProvider {
public:
    void acquireTokenAsync() override { ++acquired; }
    std::string ticketKeyHash() const override { return "ticket-key"; }
    void checkTokenExpiry() override { ++checked; }
    int acquired = 0;
    int checked = 0;
};

}  // namespace

TEST(TLMTransmissionTarget, EnabledFlagsFollowTheTree) {
    testsupport::ClientRig rig;
    startClient();
    TLMLogCapture capture;
    Target parent = TLMAnalytics::transmissionTargetForToken("11111111-parent");
    EXPECT_EQ(TLMAnalytics::transmissionTargetForToken("11111111-parent"), parent);
    EXPECT_EQ(parent->isEnabledKey(), "AnalyticsIsEnabled/11111111");
    Target child = parent->transmissionTargetForToken("22222222-child");
    Target grandchild = child->transmissionTargetForToken("33333333-grandchild");
    EXPECT_EQ(child->transmissionTargetForToken("33333333-grandchild"), grandchild);

    // Off at the top: every descendant with it, persisted.
    parent->setEnabled(false);
    EXPECT_FALSE(child->isEnabled());
    EXPECT_FALSE(grandchild->isEnabled());
    EXPECT_EQ(TLMTelemetryUserDefaults::shared().objectForKey("AnalyticsIsEnabled/33333333"),
              std::optional<platform::Value>(false));

    // A child made under a disabled parent starts disabled and cannot be
    // switched on alone.
    Target late = parent->transmissionTargetForToken("44444444-late");
    EXPECT_FALSE(late->isEnabled());
    late->setEnabled(true);
    EXPECT_FALSE(late->isEnabled());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning,
                                   "Can't enable; parent transmission target and/or Analytics service is disabled."));

    // Disabled targets refuse events and pauses.
    child->trackEvent("Refused");
    child->pause();
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "This transmission target is disabled."));
    EXPECT_TRUE(unifiedLogs().empty());

    parent->setEnabled(true);
    EXPECT_TRUE(child->isEnabled());
    EXPECT_TRUE(grandchild->isEnabled());
    EXPECT_TRUE(late->isEnabled());

    // The service switched off takes its targets with it.
    TLMAnalytics::setEnabled(false);
    EXPECT_FALSE(parent->isEnabled());
    EXPECT_FALSE(grandchild->isEnabled());
    TLMAnalytics::setEnabled(true);
    EXPECT_TRUE(grandchild->isEnabled());
}

TEST(TLMTransmissionTarget, NearerDefaultsWinAndValuesComeFromTheParents) {
    testsupport::ClientRig rig;
    startClient();
    Target parent = TLMAnalytics::transmissionTargetForToken("11111111-parent");
    Target child = parent->transmissionTargetForToken("22222222-child");
    TLMPropertyConfigurator& parentValues = *parent->propertyConfigurator();
    TLMPropertyConfigurator& childValues = *child->propertyConfigurator();
    parentValues.setEventPropertyString("parent", "shared");
    parentValues.setEventPropertyInt64(1, "onlyParent");
    childValues.setEventPropertyString("child", "shared");
    parentValues.setAppVersion("3.1");
    parentValues.setAppName("Parent");
    childValues.setAppName("Child");
    parentValues.setUserId("a:b");  // a prefix the collector does not take: ignored
    parentValues.setUserId("carol");
    parentValues.collectDeviceId();

    child->trackEvent("Defaults");
    child->trackEvent("Given", {{"shared", "event"}});
    const auto logs = unifiedLogs();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(dataJson(*logs[0]), R"({"onlyParent":1,"shared":"child"})");
    EXPECT_EQ(dataJson(*logs[1]), R"({"onlyParent":1,"shared":"event"})");
    const TLMCSExtensions& ext = *logs[0]->ext();
    EXPECT_EQ(ext.appExt()->ver(), "3.1");
    EXPECT_EQ(ext.appExt()->name(), "Child");
    EXPECT_EQ(ext.userExt()->localId(), "c:carol");
    EXPECT_EQ(ext.deviceExt()->localId(), "");  // collected on the parent only

    const std::string identifier = TLMPropertyConfigurator::getDeviceIdentifier();
    ASSERT_EQ(identifier.size(), 38u);
    EXPECT_EQ(identifier.substr(0, 2), "i:");
    EXPECT_TRUE(TLMIsUuidString(identifier.substr(2)));
    EXPECT_EQ(identifier.find_first_of("abcdef"), std::string::npos);

    TLMLogCapture capture;
    childValues.removeEventPropertyForKey("");
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Event property key to remove cannot be nil."));
    childValues.removeEventPropertyForKey("shared");
    child->trackEvent("Removed");
    EXPECT_EQ(dataJson(*unifiedLogs().back()), R"({"onlyParent":1,"shared":"parent"})");
}

TEST(TLMTransmissionTarget, TheProvidersTicketKeyGoesOnTheTargetsLogs) {
    testsupport::ClientRig rig;
    startClient();
    TLMLogCapture capture;
    TLMAnalyticsTransmissionTarget::addAuthenticationProvider(nullptr);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Authentication provider may not be null."));
    auto provider = std::make_shared<CountingProvider>();
    TLMAnalyticsTransmissionTarget::addAuthenticationProvider(provider);
    EXPECT_EQ(provider->acquired, 1);

    TLMAnalytics::transmissionTargetForToken("11111111-one")->trackEvent("WithTicket");
    const auto logs = unifiedLogs();
    ASSERT_EQ(logs.size(), 1u);
    ASSERT_NE(logs[0]->ext()->protocolExt(), nullptr);
    EXPECT_EQ(logs[0]->ext()->protocolExt()->ticketKeys(), std::optional(std::vector<std::string>{"ticket-key"}));
    EXPECT_EQ(provider->checked, 1);
    TLMAnalyticsTransmissionTarget::setAuthenticationProvider(nullptr);
}

TEST(TLMTransmissionTarget, APausedTargetsLogsWaitWhileOthersGo) {
    testsupport::ClientRig rig;
    startClient();
    TLMTelemetry::sharedInstance().unifiedCollectorChannelDelegate()->setLogUrl(rig.server.baseUrl());
    Target paused = TLMAnalytics::transmissionTargetForToken("11111111-paused");
    Target going = TLMAnalytics::transmissionTargetForToken("22222222-going");
    paused->pause();
    paused->trackEvent("Waits");
    going->trackEvent("Goes");
    ASSERT_EQ(unifiedLogs().size(), 2u);

    using namespace std::chrono_literals;
    rig.clock->advance(6s);
    ASSERT_TRUE(testsupport::eventually([] { return unifiedLogs().size() == 1; }));
    EXPECT_EQ(unifiedLogs()[0]->name(), "Waits");

    paused->resume();
    unifiedLogs();
    rig.clock->advance(6s);
    EXPECT_TRUE(testsupport::eventually([] { return unifiedLogs().empty(); }));
    std::vector<std::string> sent;
    for (const auto& request : rig.server.requests()) {
        if (request.path != "/UnifiedCollector/1.0") continue;
        for (const platform::Value& line : request.logs) sent.push_back(*line.asDictionary()->at("name").asString());
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"Goes", "Waits"}));
}

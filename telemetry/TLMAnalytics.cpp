#include "telemetry/TLMAnalytics.h"

#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"
#include "telemetry/Internals/Util/TLMUuid.h"
#include "telemetry/TLMLogger.h"

TLMAnalytics::TLMAnalytics() : TLMServiceAbstract("Analytics") {
    // Settings of earlier releases under their new keys.
    TLMTelemetryUserDefaults::shared().migrateKeys(
        {
            {"TLTelemetryAnalyticsIsEnabled", TLMUserDefaultsPrefixKey("kTLAnalyticsIsEnabledKey")},
            {"TLTelemetryPastSessions", "pastSessionsKey"},
        },
        "Analytics");
    // Stored events are read back before they are sent.
    TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses();
}

TLMAnalytics& TLMAnalytics::sharedInstance() {
    static TLMAnalytics instance;
    return instance;
}

bool TLMAnalytics::isEnabled() { return classIsEnabled(sharedInstance()); }

void TLMAnalytics::setEnabled(bool isEnabled) { classSetEnabled(sharedInstance(), isEnabled); }

void TLMAnalytics::trackEvent(const std::string& eventName) { trackEvent(eventName, Properties{}); }

void TLMAnalytics::trackEvent(const std::string& eventName, const Properties& properties) {
    TLMAnalytics& service = sharedInstance();
    std::lock_guard guard(service.lock());
    if (!service.canBeUsed() || !service.isInstanceEnabled()) return;

    auto log = std::make_shared<TLMEventLog>();
    log->setName(eventName);
    log->setEventId(TLMNewUuidString());
    if (!properties.empty()) log->setProperties(properties);
    service.sendLog(std::move(log), TLMFlagsDefault);
}

std::optional<TLMChannelUnitConfiguration> TLMAnalytics::channelUnitConfiguration() const {
    return mChannelUnitConfiguration;
}

void TLMAnalytics::startWithChannelGroup(std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                                         std::optional<std::string> appSecret,
                                         std::optional<std::string> transmissionTargetToken, bool fromApplication) {
    std::lock_guard guard(lock());
    mChannelUnitConfiguration = TLMChannelUnitConfiguration::makeDefaultConfiguration(groupId(), mFlushInterval);
    TLMServiceAbstract::startWithChannelGroup(std::move(channelGroup), std::move(appSecret),
                                              std::move(transmissionTargetToken), fromApplication);
    const std::string tag = logTag();
    TLMLogVerbose(tag, "Started Analytics service.");
}

void TLMAnalytics::applyEnabledState(bool isEnabled) {
    TLMServiceAbstract::applyEnabledState(isEnabled);
    const std::string tag = logTag();
    if (isEnabled) {
        TLMLogInfo(tag, "Analytics service has been enabled.");
    } else {
        TLMLogInfo(tag, "Analytics service has been disabled.");
    }
}

void TLMAnalytics::sendLog(std::shared_ptr<TLMAbstractLog> log, TLMFlags flags) {
    // Every event goes to the one "Analytics" unit; the low byte of the
    // flags is its stored priority.
    std::shared_ptr<TLMChannelUnitDefault> unit = channelUnit();
    if (unit) unit->enqueueItem(std::move(log), flags);
}

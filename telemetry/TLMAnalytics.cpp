#include "telemetry/TLMAnalytics.h"

#include "platform/dispatch/DispatchQueue.h"
#include "telemetry/Internals/Channel/TLMUnifiedCollectorChannelDelegate.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMPageLog.h"
#include "telemetry/TelemetryAnalytics/TLMAnalyticsCategory.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMAnalyticsTransmissionTarget.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <vector>

namespace {

const char* const kCriticalSuffix = "critical";
constexpr std::uint32_t kFlagsPriorityMask = 0xFF;

struct Instances {
    std::mutex mutex;
    std::shared_ptr<TLMAnalytics> current;
    // Reset instances: the client keeps the services it started.
    std::vector<std::shared_ptr<TLMAnalytics>> retired;
};

Instances& instances() {
    static auto* shared = new Instances();  // lives as long as the process
    return *shared;
}

std::string criticalGroupId(const std::string& groupId) { return groupId + "_" + kCriticalSuffix; }

}  // namespace

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
    mSessionTracker = std::make_shared<TLMSessionTracker>();
}

std::shared_ptr<TLMAnalytics> TLMAnalytics::sharedPointer() {
    Instances& shared = instances();
    std::lock_guard lock(shared.mutex);
    if (!shared.current) {
        shared.current.reset(new TLMAnalytics());
        shared.current->mSessionTracker->setDelegate(shared.current);
    }
    return shared.current;
}

TLMAnalytics& TLMAnalytics::sharedInstance() { return *sharedPointer(); }

void TLMAnalytics::resetSharedInstance() {
    std::shared_ptr<TLMAnalytics> old;
    {
        Instances& shared = instances();
        std::lock_guard lock(shared.mutex);
        old = std::move(shared.current);
        if (old) shared.retired.push_back(old);
    }
    if (!old) return;
    std::lock_guard guard(old->lock());
    old->mSessionTracker->stop();
    old->joinChannelGroup(false);
}

bool TLMAnalytics::isEnabled() { return classIsEnabled(sharedInstance()); }

void TLMAnalytics::setEnabled(bool isEnabled) { classSetEnabled(sharedInstance(), isEnabled); }

// ---- Tracking

void TLMAnalytics::trackEvent(const std::string& eventName) { trackEvent(eventName, Properties{}); }

void TLMAnalytics::trackEvent(const std::string& eventName, const Properties& properties) {
    trackEvent(eventName, properties, TLMFlagsDefault);
}

void TLMAnalytics::trackEvent(const std::string& eventName, const Properties& properties, TLMFlags flags) {
    trackEvent(eventName, properties, nullptr, flags);
}

void TLMAnalytics::trackEvent(const std::string& eventName, const Properties& properties, const TargetPointer& target,
                              TLMFlags flags) {
    // A map of texts holds no key or value of another kind, so nothing is
    // left to clean before the values become string typed properties.
    trackEventWithTypedProperties(eventName, std::make_shared<TLMEventProperties>(properties), target, flags);
}

void TLMAnalytics::trackEventWithTypedProperties(const std::string& eventName,
                                                 const std::shared_ptr<TLMEventProperties>& properties) {
    trackEventWithTypedProperties(eventName, properties, TLMFlagsDefault);
}

void TLMAnalytics::trackEventWithTypedProperties(const std::string& eventName,
                                                 const std::shared_ptr<TLMEventProperties>& properties,
                                                 TLMFlags flags) {
    trackEventWithTypedProperties(eventName, properties, nullptr, flags);
}

void TLMAnalytics::trackEventWithTypedProperties(const std::string& eventName,
                                                 const std::shared_ptr<TLMEventProperties>& properties,
                                                 const TargetPointer& target, TLMFlags flags) {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    if (!service->canBeUsed() || !service->isInstanceEnabled()) return;
    const std::string tag = service->logTag();

    const TargetPointer chosenTarget = target ? target : service->mDefaultTransmissionTarget;
    const std::uint32_t priority = flags & kFlagsPriorityMask;
    if (priority != TLMFlagsNormal && priority != TLMFlagsCritical) {
        TLMLogWarning(tag, "Invalid flags (%u) received, using normal as a default.", priority);
        flags = static_cast<TLMFlags>((flags & ~kFlagsPriorityMask) | TLMFlagsNormal);
    }

    auto log = std::make_shared<TLMEventLog>();
    std::shared_ptr<TLMEventProperties> eventProperties = properties;
    if (chosenTarget) {
        if (!chosenTarget->isEnabled()) {
            TLMLogError(tag, "This transmission target is disabled.");
            return;
        }
        log->addTransmissionTargetToken(chosenTarget->transmissionTargetToken());
        log->setTag(chosenTarget);
        if (chosenTarget == service->mDefaultTransmissionTarget) {
            log->setUserId(TLMUserIdContext::sharedInstance().userId().value_or(""));
        }
    } else if (eventProperties) {
        eventProperties = validateTelemetryEventProperties(*eventProperties);
    }
    log->setName(eventName);
    log->setEventId(TLMNewUuidString());
    if (eventProperties && !eventProperties->isEmpty()) log->setTypedProperties(std::move(eventProperties));
    service->sendLog(std::move(log), flags);
}

void TLMAnalytics::trackPage(const std::string& pageName) { trackPage(pageName, Properties{}); }

void TLMAnalytics::trackPage(const std::string& pageName, const Properties& properties) {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    if (!service->canBeUsed() || !service->isInstanceEnabled()) return;
    auto log = std::make_shared<TLMPageLog>();
    log->setName(pageName);
    if (!properties.empty()) log->setProperties(properties);
    service->sendLog(std::move(log), TLMFlagsNormal);
}

void TLMAnalytics::sendLog(std::shared_ptr<TLMAbstractLog> log, TLMFlags flags) {
    // Critical is a value of the low byte, not a bit: 3 is no critical log.
    const bool critical = (flags & kFlagsPriorityMask) == TLMFlagsCritical;
    const std::shared_ptr<TLMChannelUnitDefault> unit = critical ? criticalChannelUnit() : channelUnit();
    if (unit) unit->enqueueItem(std::move(log), flags);
}

void TLMAnalytics::sessionTrackerProcessLog(TLMSessionTracker&, const std::shared_ptr<TLMAbstractLog>& log) {
    sendLog(log, TLMFlagsNormal);
}

// ---- Pausing, sessions, pages, interval

void TLMAnalytics::pause() {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    if (service->canBeUsed()) service->setUnitsPaused(true);
}

void TLMAnalytics::resume() {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    if (service->canBeUsed()) service->setUnitsPaused(false);
}

void TLMAnalytics::setUnitsPaused(bool paused) {
    // The unified-collector delegate pauses and resumes the twins with them.
    for (const auto& unit : {channelUnit(), criticalChannelUnit()}) {
        if (!unit) continue;
        if (paused) {
            unit->pauseWithIdentifyingObject(this);
        } else {
            unit->resumeWithIdentifyingObject(this);
        }
    }
}

void TLMAnalytics::startSession() { sharedInstance().mSessionTracker->startSession(); }

void TLMAnalytics::enableManualSessionTracker() { sharedInstance().mSessionTracker->enableManualSessionTracker(); }

void TLMAnalytics::setAutoPageTrackingEnabled(bool isEnabled) { sharedInstance().mAutoPageTrackingEnabled = isEnabled; }

bool TLMAnalytics::isAutoPageTrackingEnabled() { return sharedInstance().mAutoPageTrackingEnabled.load(); }

std::uint64_t TLMAnalytics::transmissionInterval() { return sharedInstance().flushInterval(); }

void TLMAnalytics::setTransmissionInterval(std::uint64_t interval) {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    const std::string tag = service->logTag();
    if (service->started()) {
        TLMLogError(tag, "The transmission interval should be set before the TLMAnalytics service is started.");
        return;
    }
    if (interval < kMinFlushInterval || interval > kMaxFlushInterval) {
        TLMLogError(tag,
                    "The transmission interval is not valid, it should be between %u second(s) and %u second(s) "
                    "(%u day).",
                    static_cast<unsigned>(kMinFlushInterval), static_cast<unsigned>(kMaxFlushInterval), 1u);
        return;
    }
    service->mFlushInterval = interval;
    TLMLogDebug(tag, "Transmission interval set to %u second(s)", static_cast<unsigned>(interval));
}

void TLMAnalytics::setDelegate(std::shared_ptr<TLMAnalyticsDelegate> delegate) {
    TLMAnalytics& service = sharedInstance();
    std::lock_guard lock(service.mDelegateMutex);
    service.mDelegate = std::move(delegate);
}

std::shared_ptr<TLMAnalyticsDelegate> TLMAnalytics::delegate() const {
    std::lock_guard lock(mDelegateMutex);
    return mDelegate;
}

// ---- Transmission targets

TLMAnalytics::TargetPointer TLMAnalytics::transmissionTargetForToken(const std::string& token) {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    const std::string tag = service->logTag();
    const std::string targetKey = TLMUtility::targetKeyFromTargetToken(token).value_or("");
    if (const auto found = service->mTransmissionTargets.find(token); found != service->mTransmissionTargets.end()) {
        TLMLogDebug(tag, "Returning transmission target found with id %s.", targetKey.c_str());
        return found->second;
    }
    TargetPointer target = service->createTransmissionTargetForToken(token);
    service->mTransmissionTargets.emplace(token, target);
    return target;
}

TLMAnalytics::TargetPointer TLMAnalytics::createTransmissionTargetForToken(const std::string& token) {
    TargetPointer target = TLMAnalyticsTransmissionTarget::make(token, nullptr, channelGroup());
    const std::string tag = logTag();
    const std::string targetKey = TLMUtility::targetKeyFromTargetToken(token).value_or("");
    TLMLogDebug(tag, "Created transmission target with target key %s.", targetKey.c_str());
    return target;
}

TLMAnalytics::TargetPointer TLMAnalytics::defaultTransmissionTarget() const {
    std::lock_guard guard(lock());
    return mDefaultTransmissionTarget;
}

void TLMAnalytics::pauseTransmissionTargetForToken(const std::string& token) {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    for (const bool critical : {false, true}) {
        if (const auto unit = service->unifiedCollectorChannelUnit(critical)) unit->pauseSendingLogsWithToken(token);
    }
}

void TLMAnalytics::resumeTransmissionTargetForToken(const std::string& token) {
    const std::shared_ptr<TLMAnalytics> service = sharedPointer();
    std::lock_guard guard(service->lock());
    for (const bool critical : {false, true}) {
        if (const auto unit = service->unifiedCollectorChannelUnit(critical)) unit->resumeSendingLogsWithToken(token);
    }
}

std::shared_ptr<TLMChannelUnitDefault> TLMAnalytics::unifiedCollectorChannelUnit(bool critical) {
    std::shared_ptr<TLMChannelUnitDefault>& twin =
        critical ? mUnifiedCollectorCriticalChannelUnit : mUnifiedCollectorChannelUnit;
    const std::shared_ptr<TLMChannelGroupDefault> group = channelGroup();
    if (!twin && group) {
        const std::string id = critical ? criticalGroupId(groupId()) : groupId();
        twin = group->channelUnitForGroupId(id + TLMUnifiedCollectorChannelDelegate::kUnifiedGroupIdSuffix);
    }
    return twin;
}

// ---- The service

std::optional<TLMChannelUnitConfiguration> TLMAnalytics::channelUnitConfiguration() const {
    std::lock_guard guard(lock());
    return mChannelUnitConfiguration;
}

std::shared_ptr<TLMChannelUnitDefault> TLMAnalytics::criticalChannelUnit() const {
    std::lock_guard guard(lock());
    return mCriticalChannelUnit;
}

void TLMAnalytics::startWithChannelGroup(TLMServiceHost& host, std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                                         std::optional<std::string> appSecret,
                                         std::optional<std::string> transmissionTargetToken, bool fromApplication) {
    std::lock_guard guard(lock());
    mChannelUnitConfiguration = TLMChannelUnitConfiguration::makeDefaultConfiguration(groupId(), flushInterval());
    TLMServiceAbstract::startWithChannelGroup(host, channelGroup, std::move(appSecret), transmissionTargetToken,
                                              fromApplication);
    if (transmissionTargetToken)
        mDefaultTransmissionTarget = createTransmissionTargetForToken(*transmissionTargetToken);
    // After the base's start: its first switch-on finds no critical unit.
    if (channelGroup) {
        mCriticalChannelUnit = channelGroup->addChannelUnitWithConfiguration(
            TLMChannelUnitConfiguration::makeDefaultConfiguration(criticalGroupId(groupId())));
    }
    const std::string tag = logTag();
    TLMLogVerbose(tag, "Started Analytics service.");
}

void TLMAnalytics::updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
                                                    std::optional<std::string> transmissionTargetToken) {
    std::lock_guard guard(lock());
    TLMServiceAbstract::updateConfigurationWithAppSecret(std::move(appSecret), transmissionTargetToken);
    if (transmissionTargetToken && !mDefaultTransmissionTarget) {
        mDefaultTransmissionTarget = createTransmissionTargetForToken(*transmissionTargetToken);
    }
}

void TLMAnalytics::setInstanceEnabled(bool isEnabled) {
    std::lock_guard guard(lock());
    TLMServiceAbstract::setInstanceEnabled(isEnabled);
    for (const auto& entry : mTransmissionTargets) entry.second->setEnabled(isEnabled);
    if (mDefaultTransmissionTarget) mDefaultTransmissionTarget->setEnabled(isEnabled);
}

void TLMAnalytics::applyEnabledState(bool isEnabled) {
    std::lock_guard guard(lock());
    TLMServiceAbstract::applyEnabledState(isEnabled);
    if (mCriticalChannelUnit) mCriticalChannelUnit->setEnabled(isEnabled, true);
    const std::string tag = logTag();
    if (isEnabled) {
        if (isStartedFromApplication()) {
            setUnitsPaused(false);
            mSessionTracker->start();
            joinChannelGroup(true);
            if (mAutoPageTrackingEnabled) {
                // The page that appeared before the service could take it.
                platform::DispatchQueue::main().async([] {
                    const std::string missed = TLMAnalyticsCategory::missedPageViewName();
                    if (!missed.empty()) trackPage(missed);
                });
            }
        }
        TLMLogInfo(tag, "Analytics service has been enabled.");
    } else {
        if (isStartedFromApplication()) {
            joinChannelGroup(false);
            mSessionTracker->stop();
            TLMSessionContext::sharedInstance().clearSessionHistoryAndKeepCurrentSession(false);
        }
        TLMLogInfo(tag, "Analytics service has been disabled.");
    }
}

void TLMAnalytics::joinChannelGroup(bool join) {
    const std::shared_ptr<TLMChannelGroupDefault> group = channelGroup();
    if (!group) return;
    // Never twice in the list: each delegate stamps or checks a log once.
    group->removeDelegate(mSessionTracker.get());
    group->removeDelegate(this);
    if (!join) return;
    group->addDelegate(mSessionTracker);
    group->addDelegate(std::static_pointer_cast<TLMChannelDelegate>(shared_from_this()));
}

// ---- Sending callbacks

void TLMAnalytics::channelWillSendLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    const std::shared_ptr<TLMAnalyticsDelegate> listener = delegate();
    if (!listener) return;
    if (auto event = std::dynamic_pointer_cast<TLMEventLog>(log)) {
        listener->analyticsWillSendEventLog(*this, event);
    } else if (auto page = std::dynamic_pointer_cast<TLMPageLog>(log)) {
        listener->analyticsWillSendPageLog(*this, page);
    }
}

void TLMAnalytics::channelDidSucceedSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    const std::shared_ptr<TLMAnalyticsDelegate> listener = delegate();
    if (!listener) return;
    if (auto event = std::dynamic_pointer_cast<TLMEventLog>(log)) {
        listener->analyticsDidSucceedSendingEventLog(*this, event);
    } else if (auto page = std::dynamic_pointer_cast<TLMPageLog>(log)) {
        listener->analyticsDidSucceedSendingPageLog(*this, page);
    }
}

void TLMAnalytics::channelDidFailSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log,
                                            const platform::Error& error) {
    const std::shared_ptr<TLMAnalyticsDelegate> listener = delegate();
    if (!listener) return;
    if (auto event = std::dynamic_pointer_cast<TLMEventLog>(log)) {
        listener->analyticsDidFailSendingEventLog(*this, event, error);
    } else if (auto page = std::dynamic_pointer_cast<TLMPageLog>(log)) {
        listener->analyticsDidFailSendingPageLog(*this, page, error);
    }
}

#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMAnalyticsTransmissionTarget.h"

#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMPropertyConfigurator.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"

namespace {


struct ProviderSlot {
    std::mutex mutex;
    std::shared_ptr<TLMAnalyticsAuthenticationProvider> provider;
};

ProviderSlot& providerSlot() {
    static auto* slot = new ProviderSlot();  // lives as long as the process
    return *slot;
}

}  // namespace

std::shared_ptr<TLMAnalyticsTransmissionTarget> TLMAnalyticsTransmissionTarget::make(
    const std::string& token, std::shared_ptr<TLMAnalyticsTransmissionTarget> parent,
    std::shared_ptr<TLMChannelGroupDefault> channelGroup) {
    auto target = std::make_shared<TLMAnalyticsTransmissionTarget>(Key{}, token, std::move(parent), channelGroup);
    target->mPropertyConfigurator = std::make_shared<TLMPropertyConfigurator>(target);
    {
        std::lock_guard guard(TLMAnalytics::sharedInstance().lock());
        if (!target->isImmediateParent()) {
            TLMTelemetryUserDefaults::shared().setObject(platform::Value(false), target->mIsEnabledKey);
        }
    }
    if (channelGroup) {
        channelGroup->addDelegate(target->mPropertyConfigurator);
        channelGroup->addDelegate(std::static_pointer_cast<TLMChannelDelegate>(target));
    }
    return target;
}

TLMAnalyticsTransmissionTarget::TLMAnalyticsTransmissionTarget(Key, const std::string& token,
                                                               std::shared_ptr<TLMAnalyticsTransmissionTarget> parent,
                                                               std::shared_ptr<TLMChannelGroupDefault> channelGroup)
    : mTransmissionTargetToken(token),
      mIsEnabledKey(TLMAnalytics::sharedInstance().isEnabledKey() + "/" +
                    TLMUtility::targetKeyFromTargetToken(token).value_or("")),
      mParentTarget(std::move(parent)),
      mChannelGroup(std::move(channelGroup)) {}

void TLMAnalyticsTransmissionTarget::trackEvent(const std::string& eventName) {
    trackEventWithTypedProperties(eventName, nullptr, TLMFlagsDefault);
}

void TLMAnalyticsTransmissionTarget::trackEvent(const std::string& eventName, const Properties& properties) {
    trackEvent(eventName, properties, TLMFlagsDefault);
}

void TLMAnalyticsTransmissionTarget::trackEvent(const std::string& eventName, const Properties& properties,
                                                TLMFlags flags) {
    auto typed = std::make_shared<TLMEventProperties>();
    for (const auto& [key, value] : properties) typed->setString(value, key);
    trackEventWithTypedProperties(eventName, typed, flags);
}

void TLMAnalyticsTransmissionTarget::trackEventWithTypedProperties(
    const std::string& eventName, const std::shared_ptr<TLMEventProperties>& properties) {
    trackEventWithTypedProperties(eventName, properties, TLMFlagsDefault);
}

void TLMAnalyticsTransmissionTarget::trackEventWithTypedProperties(
    const std::string& eventName, const std::shared_ptr<TLMEventProperties>& properties, TLMFlags flags) {
    // Nearer targets first: a default they hold is not overwritten further up.
    auto merged = std::make_shared<TLMEventProperties>();
    for (const TLMAnalyticsTransmissionTarget* target = this; target != nullptr; target = target->mParentTarget.get()) {
        target->mPropertyConfigurator->mergeTypedPropertiesWith(*merged);
    }
    if (properties) {
        merged->mergeEventProperties(*properties);
    } else if (merged->isEmpty()) {
        merged = nullptr;
    }
    TLMAnalytics::trackEventWithTypedProperties(eventName, merged, shared_from_this(), flags);
}

std::shared_ptr<TLMAnalyticsTransmissionTarget> TLMAnalyticsTransmissionTarget::transmissionTargetForToken(
    const std::string& token) {
    // The service's lock, which making a target takes too.
    std::lock_guard guard(TLMAnalytics::sharedInstance().lock());
    auto& child = mChildTransmissionTargets[token];
    if (!child) child = make(token, shared_from_this(), mChannelGroup);
    return child;
}

std::vector<std::shared_ptr<TLMAnalyticsTransmissionTarget>> TLMAnalyticsTransmissionTarget::children() const {
    std::lock_guard guard(TLMAnalytics::sharedInstance().lock());
    std::vector<std::shared_ptr<TLMAnalyticsTransmissionTarget>> list;
    for (const auto& entry : mChildTransmissionTargets) list.push_back(entry.second);
    return list;
}

bool TLMAnalyticsTransmissionTarget::isEnabled() const {
    std::lock_guard guard(TLMAnalytics::sharedInstance().lock());
    return TLMTelemetryUserDefaults::shared().boolForKey(mIsEnabledKey, true);
}

bool TLMAnalyticsTransmissionTarget::isImmediateParent() const {
    return mParentTarget ? mParentTarget->isEnabled() : TLMAnalytics::isEnabled();
}

void TLMAnalyticsTransmissionTarget::setEnabled(bool isEnabled) {
    std::lock_guard guard(TLMAnalytics::sharedInstance().lock());
    if (isEnabled != this->isEnabled()) {
        if (isEnabled && !isImmediateParent()) {
            TLMLogWarning(kTLMAnalyticsLogTag,
                          "Can't enable; parent transmission target and/or Analytics service is disabled.");
            return;
        }
        TLMTelemetryUserDefaults::shared().setObject(platform::Value(isEnabled), mIsEnabledKey);
        if (isEnabled) resume();
    }
    for (const auto& child : children()) child->setEnabled(isEnabled);
}

void TLMAnalyticsTransmissionTarget::pause() {
    if (!isEnabled()) {
        TLMLogError(kTLMAnalyticsLogTag, "This transmission target is disabled.");
        return;
    }
    TLMAnalytics::pauseTransmissionTargetForToken(mTransmissionTargetToken);
}

void TLMAnalyticsTransmissionTarget::resume() {
    if (!isEnabled()) {
        TLMLogError(kTLMAnalyticsLogTag, "This transmission target is disabled.");
        return;
    }
    TLMAnalytics::resumeTransmissionTargetForToken(mTransmissionTargetToken);
}

void TLMAnalyticsTransmissionTarget::addAuthenticationProvider(
    std::shared_ptr<TLMAnalyticsAuthenticationProvider> provider) {
    ProviderSlot& slot = providerSlot();
    std::lock_guard lock(slot.mutex);
    if (!provider) {
        TLMLogError(kTLMAnalyticsLogTag, "Authentication provider may not be null.");
        return;
    }
    slot.provider = std::move(provider);
    slot.provider->acquireTokenAsync();
}

std::shared_ptr<TLMAnalyticsAuthenticationProvider> TLMAnalyticsTransmissionTarget::authenticationProvider() {
    ProviderSlot& slot = providerSlot();
    std::lock_guard lock(slot.mutex);
    return slot.provider;
}

void TLMAnalyticsTransmissionTarget::setAuthenticationProvider(
    std::shared_ptr<TLMAnalyticsAuthenticationProvider> provider) {
    ProviderSlot& slot = providerSlot();
    std::lock_guard lock(slot.mutex);
    slot.provider = std::move(provider);
}

void TLMAnalyticsTransmissionTarget::channelPrepareLog(TLMChannelUnitDefault&,
                                                       const std::shared_ptr<TLMAbstractLog>& log) {
    const auto tokens = log->transmissionTargetTokens();
    if (!tokens || tokens->count(mTransmissionTargetToken) == 0) return;
    auto* unified = dynamic_cast<TLMUnifiedSchemaLog*>(log.get());
    if (unified == nullptr) return;
    const std::shared_ptr<TLMAnalyticsAuthenticationProvider> provider = authenticationProvider();
    if (!provider || !isEnabled()) return;
    if (!unified->ext()) unified->setExt(std::make_shared<TLMCSExtensions>());
    if (!unified->ext()->protocolExt()) unified->ext()->setProtocolExt(std::make_shared<TLMProtocolExtension>());
    unified->ext()->protocolExt()->setTicketKeys(std::vector<std::string>{provider->ticketKeyHash()});
    provider->checkTokenExpiry();
}

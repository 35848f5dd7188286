#include "telemetry/TLMServiceAbstract.h"

#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

TLMServiceAbstract::TLMServiceAbstract(std::string groupId)
    : mGroupId(std::move(groupId)), mIsEnabledKey(mGroupId + "IsEnabled") {}

bool TLMServiceAbstract::isInstanceEnabled() const {
    return TLMTelemetryUserDefaults::shared().boolForKey(mIsEnabledKey, true);
}

void TLMServiceAbstract::setInstanceEnabled(bool isEnabled) {
    std::lock_guard guard(mLock);
    if (isEnabled == isInstanceEnabled()) return;
    applyEnabledState(isEnabled);
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(isEnabled), mIsEnabledKey);
}

void TLMServiceAbstract::applyEnabledState(bool isEnabled) {
    std::shared_ptr<TLMChannelUnitDefault> unit = channelUnit();
    if (unit) unit->setEnabled(isEnabled, true);
}

bool TLMServiceAbstract::canBeUsed() const {
    {
        std::lock_guard guard(mLock);
        if (mStarted && mHost != nullptr && mHost->isSdkConfigured()) return true;
    }
    const std::string name = serviceName();
    TLMLogError(TLMServiceHost::kLogTag,
                "%s service hasn't been started. You need to call [TLMTelemetry start:YOUR_APP_SECRET "
                "withServices:LIST_OF_SERVICES] first.",
                name.c_str());
    return false;
}

bool TLMServiceAbstract::isAvailable() const { return isInstanceEnabled() && started(); }

void TLMServiceAbstract::startWithChannelGroup(TLMServiceHost& host,
                                               std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                                               std::optional<std::string> appSecret,
                                               std::optional<std::string> transmissionTargetToken,
                                               bool fromApplication) {
    std::lock_guard guard(mLock);
    mHost = &host;
    mStartedFromApplication = fromApplication;
    mChannelGroup = std::move(channelGroup);
    mAppSecret = std::move(appSecret);
    mDefaultTransmissionTargetToken = std::move(transmissionTargetToken);
    mStarted = true;
    if (const auto configuration = channelUnitConfiguration(); configuration && mChannelGroup) {
        mChannelUnit = mChannelGroup->addChannelUnitWithConfiguration(*configuration);
    }
    if (isInstanceEnabled()) applyEnabledState(true);
}

void TLMServiceAbstract::updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
                                                          std::optional<std::string> transmissionTargetToken) {
    std::lock_guard guard(mLock);
    mStartedFromApplication = true;
    mAppSecret = std::move(appSecret);
    mDefaultTransmissionTargetToken = std::move(transmissionTargetToken);
    if (isInstanceEnabled()) applyEnabledState(true);
}

bool TLMServiceAbstract::started() const {
    std::lock_guard guard(mLock);
    return mStarted;
}

bool TLMServiceAbstract::isStartedFromApplication() const {
    std::lock_guard guard(mLock);
    return mStartedFromApplication;
}

std::shared_ptr<TLMChannelGroupDefault> TLMServiceAbstract::channelGroup() const {
    std::lock_guard guard(mLock);
    return mChannelGroup;
}

std::shared_ptr<TLMChannelUnitDefault> TLMServiceAbstract::channelUnit() const {
    std::lock_guard guard(mLock);
    return mChannelUnit;
}

std::optional<std::string> TLMServiceAbstract::appSecret() const {
    std::lock_guard guard(mLock);
    return mAppSecret;
}

std::optional<std::string> TLMServiceAbstract::defaultTransmissionTargetToken() const {
    std::lock_guard guard(mLock);
    return mDefaultTransmissionTargetToken;
}

bool TLMServiceAbstract::classIsEnabled(TLMServiceAbstract& instance) {
    std::lock_guard guard(instance.mLock);
    return instance.canBeUsed() && instance.isInstanceEnabled();
}

void TLMServiceAbstract::classSetEnabled(TLMServiceAbstract& instance, bool isEnabled) {
    std::lock_guard guard(instance.mLock);
    if (!instance.canBeUsed()) return;
    // Started, so the host is there.
    const TLMServiceHost& host = *instance.mHost;
    if (!host.isClientEnabled() && !host.isEnabledStateUpdating()) {
        const std::string name = instance.serviceName();
        const std::string tag = instance.logTag();
        TLMLogError(tag,
                    "The SDK is disabled. Re-enable the whole SDK from Telemetry first before enabling %s service.",
                    name.c_str());
        return;
    }
    instance.setInstanceEnabled(isEnabled);
}

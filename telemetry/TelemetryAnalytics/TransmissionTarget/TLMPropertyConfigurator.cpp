#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMPropertyConfigurator.h"

#include "platform/foundation/TextEncoding.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/TelemetryAnalytics/TransmissionTarget/TLMAnalyticsTransmissionTarget.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"

#include <algorithm>
#include <cctype>

namespace {


// The first value found walking from the target up through its parents.
std::optional<std::string> inherited(const TLMAnalyticsTransmissionTarget& target,
                                     std::optional<std::string> (TLMPropertyConfigurator::*read)() const) {
    for (const TLMAnalyticsTransmissionTarget* at = &target; at != nullptr; at = at->parentTarget().get()) {
        if (auto value = ((*at->propertyConfigurator()).*read)()) return value;
    }
    return std::nullopt;
}

}  // namespace

TLMPropertyConfigurator::TLMPropertyConfigurator(std::weak_ptr<TLMAnalyticsTransmissionTarget> transmissionTarget)
    : mTransmissionTarget(std::move(transmissionTarget)) {}

void TLMPropertyConfigurator::setAppVersion(std::optional<std::string> appVersion) {
    std::lock_guard lock(mMutex);
    mAppVersion = std::move(appVersion);
}

void TLMPropertyConfigurator::setAppName(std::optional<std::string> appName) {
    std::lock_guard lock(mMutex);
    mAppName = std::move(appName);
}

void TLMPropertyConfigurator::setAppLocale(std::optional<std::string> appLocale) {
    std::lock_guard lock(mMutex);
    mAppLocale = std::move(appLocale);
}

void TLMPropertyConfigurator::setUserId(const std::optional<std::string>& userId) {
    if (!TLMUserIdContext::isUserIdValidForUnifiedCollector(userId)) return;
    // As the app's user id: a host text that is not UTF-8 is mended, or no
    // log of the target could be written as JSON.
    std::lock_guard lock(mMutex);
    mUserId =
        TLMUserIdContext::prefixedUserIdFromUserId(userId ? std::optional(platform::validUtf8(*userId)) : std::nullopt);
}

std::optional<std::string> TLMPropertyConfigurator::appVersion() const {
    std::lock_guard lock(mMutex);
    return mAppVersion;
}

std::optional<std::string> TLMPropertyConfigurator::appName() const {
    std::lock_guard lock(mMutex);
    return mAppName;
}

std::optional<std::string> TLMPropertyConfigurator::appLocale() const {
    std::lock_guard lock(mMutex);
    return mAppLocale;
}

std::optional<std::string> TLMPropertyConfigurator::userId() const {
    std::lock_guard lock(mMutex);
    return mUserId;
}

std::optional<std::string> TLMPropertyConfigurator::deviceId() const {
    std::lock_guard lock(mMutex);
    return mDeviceId;
}

void TLMPropertyConfigurator::setEventPropertyString(const std::optional<std::string>& value, const std::string& key) {
    mEventProperties.setString(value, key);
}

void TLMPropertyConfigurator::setEventPropertyDouble(double value, const std::string& key) {
    mEventProperties.setDouble(value, key);
}

void TLMPropertyConfigurator::setEventPropertyInt64(std::int64_t value, const std::string& key) {
    mEventProperties.setInt64(value, key);
}

void TLMPropertyConfigurator::setEventPropertyBool(bool value, const std::string& key) {
    mEventProperties.setBool(value, key);
}

void TLMPropertyConfigurator::setEventPropertyDate(const std::optional<TLMEventProperties::Date>& value,
                                                   const std::string& key) {
    mEventProperties.setDate(value, key);
}

void TLMPropertyConfigurator::removeEventPropertyForKey(const std::string& key) {
    if (key.empty()) {
        TLMLogError(kTLMAnalyticsLogTag, "Event property key to remove cannot be nil.");
        return;
    }
    mEventProperties.removeProperty(key);
}

void TLMPropertyConfigurator::mergeTypedPropertiesWith(TLMEventProperties& properties) const {
    const TLMEventProperties::Properties held = properties.properties();
    for (const auto& [name, property] : mEventProperties.properties()) {
        if (held.count(name) == 0) properties.setProperty(property);
    }
}

void TLMPropertyConfigurator::collectDeviceId() {
    std::string deviceId = getDeviceIdentifier();
    std::lock_guard lock(mMutex);
    mDeviceId = std::move(deviceId);
}

std::string TLMPropertyConfigurator::getDeviceIdentifier() {
    std::string identifier = TLMTelemetry::installId();
    std::transform(identifier.begin(), identifier.end(), identifier.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return "i:" + identifier;
}

void TLMPropertyConfigurator::channelPrepareLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    const std::shared_ptr<TLMAnalyticsTransmissionTarget> target = mTransmissionTarget.lock();
    auto* unified = dynamic_cast<TLMUnifiedSchemaLog*>(log.get());
    if (!target || unified == nullptr || log->tag().get() != target.get() || !target->isEnabled()) return;
    if (!unified->ext()) unified->setExt(std::make_shared<TLMCSExtensions>());
    TLMCSExtensions& ext = *unified->ext();
    if (!ext.appExt()) ext.setAppExt(std::make_shared<TLMAppExtension>());
    if (auto version = inherited(*target, &TLMPropertyConfigurator::appVersion)) ext.appExt()->setVer(*version);
    if (auto name = inherited(*target, &TLMPropertyConfigurator::appName)) ext.appExt()->setName(*name);
    if (auto locale = inherited(*target, &TLMPropertyConfigurator::appLocale)) ext.appExt()->setLocale(*locale);
    if (auto userId = inherited(*target, &TLMPropertyConfigurator::userId)) {
        if (!ext.userExt()) ext.setUserExt(std::make_shared<TLMUserExtension>());
        ext.userExt()->setLocalId(*userId);
    }
    // Always this target's own device id, none included.
    if (!ext.deviceExt()) ext.setDeviceExt(std::make_shared<TLMDeviceExtension>());
    ext.deviceExt()->setLocalId(deviceId().value_or(""));
}
